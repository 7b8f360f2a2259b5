// Routines and statements of the code generator.
#include "scriptengine/codegen.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace qorsv::script::compiler_internal {
namespace {

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

void Codegen::BeginRoutine(Routine& routine) {
  routine_ = &routine;
  next_cell_ = routine.locals_end;
  free_plain_.clear();
  free_managed_.clear();
  free_sets_.clear();
  free_composites_.clear();
  composite_in_use_.clear();
  temp_state_.assign(static_cast<size_t>(next_cell_), 0);
  statement_temps_.clear();
  cleanup_.clear();
  labels_.clear();
  handlers_.clear();
  loops_.clear();
  window_top_ = 0;
  window_max_ = 0;
  exit_label_ = NewLabel();

  auto clean = [this](int32_t offset, const Type* type) {
    if (IsManaged(type))
      cleanup_.push_back({offset, -1});
    else if (type->managed)
      cleanup_.push_back({offset, RttiFor(type)});
  };
  for (const ParamInfo& param : routine.params) {
    if (!param.by_ref) clean(param.offset, param.type);
  }
  for (const Symbol* local : routine.locals) clean(local->offset, local->type);
}

void Codegen::EndRoutine(Routine& routine, ProcInfo& proc) {
  Bind(exit_label_);
  Ins(kRet, {});
  ThreadJumps(proc.entry);
  int32_t frame_cells = std::max(next_cell_, routine.locals_end);
  FixWindows(proc.entry, frame_cells);
  bool is_main = &routine == &checker_.main_routine();
  proc.name = routine.level == 1 && !is_main ? checker_.interner().Upper(routine.ident) : "";
  proc.callable = routine.level == 1 && !is_main;
  proc.param_cells = routine.param_cells;
  proc.frame_cells = frame_cells;
  proc.max_cells = frame_cells + window_max_ + 1;
  for (const ParamInfo& param : routine.params) {
    ValueDesc desc = DescFor(param.type);
    desc.by_ref = param.by_ref;
    desc.offset = param.offset;
    if (IsComposite(param.type) || param.type->kind == TypeKind::kDynArray) {
      desc.rtti =
          RttiFor(param.type->kind == TypeKind::kDynArray ? param.type->element : param.type);
    }
    proc.params.push_back(desc);
  }
  proc.result = DescFor(routine.result);
  if (routine.IsFunction()) {
    proc.result.offset = routine.result_offset;
    if (routine.result->managed) proc.result.rtti = RttiFor(routine.result);
  }
  proc.cleanup = cleanup_;
  routine_ = nullptr;
}

void Codegen::EmitRoutine(Routine& routine, Span<Stmt*> body, SourcePos) {
  if (procs_.size() <= static_cast<size_t>(routine.index)) procs_.resize(routine.index + 1);
  BeginRoutine(routine);
  ProcInfo proc;
  proc.entry = static_cast<int32_t>(code_.size());
  EmitStatements(body);
  EndRoutine(routine, proc);
  procs_[routine.index] = std::move(proc);
}

void Codegen::EmitMainBlock(Routine& main, Span<Stmt*> body, SourcePos) {
  main.index = static_cast<int32_t>(checker_.script_routines().size());
  if (procs_.size() <= static_cast<size_t>(main.index)) procs_.resize(main.index + 1);
  BeginRoutine(main);
  ProcInfo proc;
  proc.entry = static_cast<int32_t>(code_.size());
  EmitStatements(body);
  EndRoutine(main, proc);
  procs_[main.index] = std::move(proc);
  main_proc_ = main.index;
}

void Codegen::InitGlobal(const Symbol& variable, const ConstValue& value) {
  const Type* type = variable.type;
  if (type->IsOrdinal()) {
    AddInit(variable.offset, value.int_value);
  } else if (type->kind == TypeKind::kFloat) {
    GlobalInit init;
    init.kind = GlobalInit::Kind::kFloat;
    init.cell = variable.offset;
    std::memcpy(&init.value, &value.float_value, sizeof(double));
    inits_.push_back(init);
  } else if (type->kind == TypeKind::kString || type->kind == TypeKind::kPChar) {
    if (!value.string_value.empty()) AddStringInit(variable.offset, value.string_value);
  } else if (type->kind == TypeKind::kSet) {
    for (int i = 0; i < 4; ++i)
      AddInit(variable.offset + i, static_cast<int64_t>(value.set_bits[i]));
  }
}

ProgramImage Codegen::Finish() {
  if (main_proc_ < 0) {
    Routine& main = checker_.main_routine();
    EmitMainBlock(main, {}, {});
  }
  ProgramImage image;
  image.code = std::move(code_);
  image.procs = std::move(procs_);
  image.imports = std::move(imports_);
  for (const Symbol* global : checker_.globals()) {
    GlobalInfo info;
    info.name = checker_.interner().Upper(global->ident);
    info.value = DescFor(global->type);
    info.value.offset = global->offset;
    if (global->type->managed || IsComposite(global->type)) info.value.rtti = RttiFor(global->type);
    info.host_object = global->host_object;
    image.globals.push_back(std::move(info));
  }
  image.rtti = std::move(rtti_);
  image.inits = std::move(inits_);
  image.string_pool = std::move(string_pool_);
  image.global_cells = checker_.global_cells();
  image.main_proc = main_proc_;
  return image;
}

// ---- Statements ----

void Codegen::EmitStatements(Span<Stmt*> body) {
  for (Stmt* stmt : body) EmitStatement(stmt);
}

void Codegen::EmitStatement(Stmt* stmt) {
  size_t mark = statement_temps_.size();
  size_t composite_mark = composite_in_use_.size();
  int32_t window_mark = window_top_;
  switch (stmt->kind) {
    case StmtKind::kEmpty:
      break;
    case StmtKind::kAssign:
      EmitAssign(static_cast<AssignStmt*>(stmt));
      break;
    case StmtKind::kCall:
      EvalCall(static_cast<CallExpr*>(static_cast<CallStmt*>(stmt)->call), kNone);
      break;
    case StmtKind::kCompound:
      EmitStatements(static_cast<CompoundStmt*>(stmt)->body);
      break;
    case StmtKind::kIf:
      EmitIf(static_cast<IfStmt*>(stmt));
      break;
    case StmtKind::kCase:
      EmitCase(static_cast<CaseStmt*>(stmt));
      break;
    case StmtKind::kFor:
      EmitFor(static_cast<ForStmt*>(stmt));
      break;
    case StmtKind::kWhile:
      EmitWhile(static_cast<WhileStmt*>(stmt));
      break;
    case StmtKind::kRepeat:
      EmitRepeat(static_cast<RepeatStmt*>(stmt));
      break;
    case StmtKind::kBreak:
      JumpOut(loops_.back().break_label, loops_.back().handler_depth);
      break;
    case StmtKind::kContinue:
      JumpOut(loops_.back().continue_label, loops_.back().handler_depth);
      break;
    case StmtKind::kExit:
      EmitExit(static_cast<ExitStmt*>(stmt));
      break;
    case StmtKind::kWith:
      EmitWith(static_cast<WithStmt*>(stmt));
      break;
    case StmtKind::kTry:
      EmitTry(static_cast<TryStmt*>(stmt));
      break;
    case StmtKind::kRaise:
      Ins(kReraise, {});
      break;
  }
  ReleaseStatementTemps(mark);
  window_top_ = window_mark;
  while (composite_in_use_.size() > composite_mark) {
    free_composites_.push_back(composite_in_use_.back());
    composite_in_use_.pop_back();
  }
}

void Codegen::EmitAssign(AssignStmt* assign) {
  if (assign->setter != nullptr) {
    EvalCall(static_cast<CallExpr*>(assign->setter), kNone);
    return;
  }
  Expr* target = assign->target;
  Expr* value = assign->value;
  const Type* type = target->type;
  if (TryAppendInPlace(target, value)) return;

  if (IsComposite(type)) {
    bool saved = pin_arrays_;
    pin_arrays_ = true;
    int32_t source = AddressOfComposite(value);
    int32_t destination = PointerTo(Locate(target));
    pin_arrays_ = saved;
    Ins(kCopy, {destination, source, RttiFor(type)});
    return;
  }
  if (target->kind == ExprKind::kIndex) {
    auto* index = static_cast<IndexExpr*>(target);
    const Type* base_type = index->base->type;
    Expr* position = index->indices[0];
    if (base_type->IsStringLike()) {
      int32_t character = Eval(value);
      int32_t at = Eval(position);
      int32_t pointer = PointerTo(Locate(index->base));
      Ins(kStrSetIdxP, {pointer, at, character});
      return;
    }
    bool single_cell = type->cells == 1;
    if (single_cell && base_type->kind == TypeKind::kDynArray) {
      int32_t v = Eval(value);
      int32_t elements = Eval(index->base);
      int32_t at = Eval(position);
      Ins(IsManaged(type) ? kDaStoreS : kDaStore, {elements, at, v});
      return;
    }
    if (single_cell && base_type->kind == TypeKind::kStaticArray &&
        position->kind != ExprKind::kIntLit) {
      int32_t v = Eval(value);
      Location base = Locate(index->base);
      if (base.direct) {
        int32_t at = Eval(position);
        Ins(IsManaged(type) ? kSaStoreS : kSaStore,
            {base.cell, at, static_cast<int32_t>(base_type->low),
             static_cast<int32_t>(base_type->Count()), v});
        return;
      }
      int32_t at = Eval(position);
      int32_t pointer = Temp(TempKind::kPlain);
      Ins(kPAddr, {pointer, PointerTo(base), at, static_cast<int32_t>(base_type->low),
                   static_cast<int32_t>(base_type->Count()), 1});
      Store(Location{false, pointer, 0}, type, v, IsTemp(v));
      return;
    }
  }
  if (target->kind == ExprKind::kVar) {
    const Symbol* symbol = static_cast<VarExpr*>(target)->symbol;
    if (!symbol->by_ref && (symbol->level == 0 || symbol->level == routine_->level)) {
      int32_t cell = LocateVar(symbol).cell;
      // Every expression writes its destination only after reading all its operands, so the
      // variable may appear on the right-hand side.
      EvalInto(value, cell);
      return;
    }
  }
  int32_t v = Eval(value);
  Store(Locate(target), type, v, IsTemp(v));
}

void Codegen::EmitIf(IfStmt* branch) {
  int32_t otherwise = NewLabel();
  CondJump(branch->condition, false, otherwise);
  EmitStatement(branch->then_branch);
  if (branch->else_branch != nullptr) {
    int32_t done = NewLabel();
    Jump(kJmp, {}, done);
    Bind(otherwise);
    EmitStatement(branch->else_branch);
    Bind(done);
  } else {
    Bind(otherwise);
  }
}

void Codegen::EmitCase(CaseStmt* statement) {
  int32_t selector = Eval(statement->selector);
  bool is_string = statement->selector->type->kind == TypeKind::kString;
  int32_t done = NewLabel();
  std::vector<int32_t> bodies;
  for (size_t i = 0; i < statement->branches.size; ++i) bodies.push_back(NewLabel());

  // A dense set of single values becomes one jump table.
  int64_t low = INT64_MAX;
  int64_t high = INT64_MIN;
  size_t singles = 0;
  bool all_single = !is_string;
  for (const CaseBranch& branch : statement->branches) {
    for (const CaseLabel& label : branch.labels) {
      if (label.high != nullptr) all_single = false;
      if (!all_single) break;
      int64_t v = static_cast<IntLit*>(label.low)->value;
      low = std::min(low, v);
      high = std::max(high, v);
      ++singles;
    }
  }
  int32_t otherwise = NewLabel();
  if (all_single && singles >= 4 && FitsInt32(low) && high - low < 1024 &&
      static_cast<uint64_t>(high - low + 1) <= singles * 3) {
    std::vector<int32_t> table(static_cast<size_t>(high - low + 1), otherwise);
    for (size_t b = statement->branches.size; b-- > 0;) {
      for (const CaseLabel& label : statement->branches[b].labels) {
        table[static_cast<size_t>(static_cast<IntLit*>(label.low)->value - low)] = bodies[b];
      }
    }
    Ins(kSwitch, {selector, static_cast<int32_t>(low), static_cast<int32_t>(table.size())});
    EmitLabel(otherwise);
    for (int32_t label : table) EmitLabel(label);
  } else {
    for (size_t b = 0; b < statement->branches.size; ++b) {
      for (const CaseLabel& label : statement->branches[b].labels) {
        if (is_string) {
          int32_t equal = Temp(TempKind::kPlain);
          Ins(kEqS, {equal, selector, Eval(label.low)});
          Jump(kJT, {equal}, bodies[b]);
          continue;
        }
        int64_t v = static_cast<IntLit*>(label.low)->value;
        if (label.high == nullptr) {
          if (FitsInt32(v))
            Jump(kJEqI, {selector, static_cast<int32_t>(v)}, bodies[b]);
          else
            Jump(kJEq, {selector, ConstInt(v)}, bodies[b]);
          continue;
        }
        int64_t h = static_cast<IntLit*>(label.high)->value;
        int32_t next = NewLabel();
        Jump(kJLt, {selector, ConstInt(v)}, next);
        Jump(kJLe, {selector, ConstInt(h)}, bodies[b]);
        Bind(next);
      }
    }
    Jump(kJmp, {}, otherwise);
  }
  Bind(otherwise);
  EmitStatements(statement->else_body);
  Jump(kJmp, {}, done);
  for (size_t b = 0; b < statement->branches.size; ++b) {
    Bind(bodies[b]);
    EmitStatement(statement->branches[b].body);
    Jump(kJmp, {}, done);
  }
  Bind(done);
}

void Codegen::EmitFor(ForStmt* loop) {
  int32_t variable = LocateVar(static_cast<VarExpr*>(loop->variable)->symbol).cell;
  int32_t limit;
  bool constant_limit = loop->to->kind == ExprKind::kIntLit;
  if (constant_limit) {
    limit = ConstInt(static_cast<IntLit*>(loop->to)->value);
  } else {
    limit = Temp(TempKind::kPlain);
    EvalInto(loop->to, limit);
  }
  EvalInto(loop->from, variable);
  int32_t exit = NewLabel();
  int32_t top = NewLabel();
  int32_t next = NewLabel();
  if (constant_limit && FitsInt32(static_cast<IntLit*>(loop->to)->value)) {
    int32_t v = static_cast<int32_t>(static_cast<IntLit*>(loop->to)->value);
    Jump(loop->downto ? kJLtI : kJGtI, {variable, v}, exit);
  } else {
    Jump(loop->downto ? kJLt : kJGt, {variable, limit}, exit);
  }
  Bind(top);
  loops_.push_back({exit, next, handlers_.size()});
  EmitStatement(loop->body);
  loops_.pop_back();
  Bind(next);
  Jump(loop->downto ? kForDec : kForInc, {variable, limit}, top);
  Bind(exit);
}

// The condition is tested at the bottom: one jump per round, which counts the step.
void Codegen::EmitWhile(WhileStmt* loop) {
  int32_t top = NewLabel();
  int32_t test = NewLabel();
  int32_t exit = NewLabel();
  Jump(kJmp, {}, test);
  Bind(top);
  loops_.push_back({exit, test, handlers_.size()});
  EmitStatement(loop->body);
  loops_.pop_back();
  Bind(test);
  CondJump(loop->condition, true, top, true);
  Bind(exit);
}

void Codegen::EmitRepeat(RepeatStmt* loop) {
  int32_t top = NewLabel();
  int32_t next = NewLabel();
  int32_t exit = NewLabel();
  Bind(top);
  loops_.push_back({exit, next, handlers_.size()});
  EmitStatements(loop->body);
  loops_.pop_back();
  Bind(next);
  CondJump(loop->condition, false, top, true);
  Bind(exit);
}

void Codegen::EmitWith(WithStmt* with) {
  for (uint32_t i = 0; i < with->subjects.size; ++i) {
    const Symbol* hidden = with->hidden[i];
    if (hidden == nullptr) continue;
    if (!hidden->by_ref) {
      // A host object, taken once.
      EvalInto(with->subjects[i], hidden->offset);
      continue;
    }
    bool saved = pin_arrays_;
    pin_arrays_ = true;
    int32_t pointer = PointerTo(Locate(with->subjects[i]));
    pin_arrays_ = saved;
    Ins(kMov, {hidden->offset, pointer});
  }
  EmitStatement(with->body);
}

void Codegen::EmitExit(ExitStmt* exit) {
  if (exit->value != nullptr) {
    const Symbol* result = routine_->result_symbol;
    if (IsComposite(result->type)) {
      CopyComposite(LocateVar(result), exit->value);
    } else {
      EvalInto(exit->value, LocateVar(result).cell);
    }
  }
  JumpOut(exit_label_, 0);
}

// Leaves the handlers above `handler_depth` towards `label`, running `finally` blocks on the way.
void Codegen::JumpOut(int32_t label, size_t handler_depth) {
  for (size_t i = handlers_.size(); i > handler_depth; --i) {
    Handler& handler = handlers_[i - 1];
    Ins(kPopTry, {});
    if (handler.is_finally) {
      handler.escapes.push_back({label, handler_depth});
      Ins(kMovI, {handler.state_cell, static_cast<int32_t>(handler.escapes.size())});
      Jump(kJmp, {}, handler.finally_label);
      return;
    }
  }
  Jump(kJmp, {}, label);
}

void Codegen::EmitTry(TryStmt* attempt) {
  auto try_except = [this](const std::function<void()>& body, Span<Stmt*> handler_body) {
    int32_t handler_label = NewLabel();
    int32_t done = NewLabel();
    Jump(kTryExcept, {}, handler_label);
    handlers_.push_back(Handler{});
    body();
    handlers_.pop_back();
    Ins(kPopTry, {});
    Jump(kJmp, {}, done);
    Bind(handler_label);
    EmitStatements(handler_body);
    Bind(done);
  };
  auto try_finally = [this](const std::function<void()>& body, Span<Stmt*> finally_body) {
    int32_t state = Temp(TempKind::kPlain);
    Ins(kMovI, {state, 0});
    Handler handler;
    handler.is_finally = true;
    handler.state_cell = state;
    handler.finally_label = NewLabel();
    Emit(kTryFinally);
    EmitLabel(handler.finally_label);
    Emit(state);
    handlers_.push_back(handler);
    body();
    Handler done = std::move(handlers_.back());
    handlers_.pop_back();
    Ins(kPopTry, {});
    Bind(done.finally_label);
    EmitStatements(finally_body);
    std::vector<int32_t> escape_labels;
    Emit(kEndFinally);
    Emit(state);
    Emit(static_cast<int32_t>(done.escapes.size()));
    for (size_t i = 0; i < done.escapes.size(); ++i) {
      escape_labels.push_back(NewLabel());
      EmitLabel(escape_labels.back());
    }
    if (!done.escapes.empty()) {
      int32_t after = NewLabel();
      Jump(kJmp, {}, after);
      for (size_t i = 0; i < done.escapes.size(); ++i) {
        Bind(escape_labels[i]);
        JumpOut(done.escapes[i].label, done.escapes[i].handler_depth);
      }
      Bind(after);
    }
  };
  auto body = [this, attempt]() { EmitStatements(attempt->body); };
  if (attempt->has_except && attempt->has_finally) {
    // try..except..finally: the except part guards the body, the finally part guards both.
    try_finally([&]() { try_except(body, attempt->except_body); }, attempt->finally_body);
  } else if (attempt->has_except) {
    try_except(body, attempt->except_body);
  } else {
    try_finally(body, attempt->finally_body);
  }
}

}  // namespace qorsv::script::compiler_internal

// Statements of the checker.
#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {

void Checker::CheckStatements(Span<Stmt*> body) {
  for (Stmt* stmt : body) CheckStatement(stmt);
}

void Checker::CheckStatement(Stmt* stmt) {
  switch (stmt->kind) {
    case StmtKind::kEmpty:
      return;
    case StmtKind::kAssign:
      CheckAssign(static_cast<AssignStmt*>(stmt));
      return;
    case StmtKind::kCall:
      CheckCallStmt(static_cast<CallStmt*>(stmt));
      return;
    case StmtKind::kCompound:
      CheckStatements(static_cast<CompoundStmt*>(stmt)->body);
      return;
    case StmtKind::kIf:
      CheckIf(static_cast<IfStmt*>(stmt));
      return;
    case StmtKind::kCase:
      CheckCase(static_cast<CaseStmt*>(stmt));
      return;
    case StmtKind::kFor:
      CheckFor(static_cast<ForStmt*>(stmt));
      return;
    case StmtKind::kWhile: {
      auto* loop = static_cast<WhileStmt*>(stmt);
      loop->condition = CheckCondition(loop->condition);
      ++loop_depth_;
      CheckStatement(loop->body);
      --loop_depth_;
      return;
    }
    case StmtKind::kRepeat: {
      auto* loop = static_cast<RepeatStmt*>(stmt);
      ++loop_depth_;
      CheckStatements(loop->body);
      --loop_depth_;
      loop->condition = CheckCondition(loop->condition);
      return;
    }
    case StmtKind::kBreak:
    case StmtKind::kContinue:
      if (loop_depth_ == 0) {
        Fail(stmt->pos, "Not inside a loop");
      }
      return;
    case StmtKind::kExit:
      CheckExit(static_cast<ExitStmt*>(stmt));
      return;
    case StmtKind::kWith:
      CheckWith(static_cast<WithStmt*>(stmt));
      return;
    case StmtKind::kTry:
      CheckTry(static_cast<TryStmt*>(stmt));
      return;
    case StmtKind::kRaise:
      CheckRaise(static_cast<RaiseStmt*>(stmt));
      return;
  }
}

Expr* Checker::CheckCondition(Expr* expr) {
  Expr* checked = CheckExpr(expr);
  if (checked->type->kind == TypeKind::kVariant) {
    return Coerce(checked, types_.boolean_type, expr->pos);
  }
  if (checked->type->kind != TypeKind::kBoolean) Fail(expr->pos, "Type mismatch");
  return checked;
}

void Checker::CheckAssign(AssignStmt* assign) {
  if (Expr* setter = CheckPropertyAssign(assign)) {
    assign->setter = setter;
    return;
  }
  Expr* target = nullptr;
  // Inside a function (or a routine nested in it), its name stands for its result.
  if (assign->target->kind == ExprKind::kName) {
    auto* name = static_cast<NameExpr*>(assign->target);
    if (LookupWithField(name) == nullptr) {
      Symbol* symbol = Lookup(name->ident);
      if (symbol != nullptr && symbol->kind == SymbolKind::kRoutine) {
        for (const Routine* r = routine_; r != nullptr; r = r->parent) {
          if (r == symbol->routine && r->result_symbol != nullptr) {
            auto* result = arena_.New<VarExpr>();
            result->kind = ExprKind::kVar;
            result->pos = name->pos;
            result->symbol = r->result_symbol;
            result->type = r->result;
            target = result;
            break;
          }
        }
      }
    }
  }
  if (target == nullptr) target = CheckExpr(assign->target);
  target = CheckLValue(target, false);
  Expr* value = assign->value->kind == ExprKind::kSet && target->type->kind == TypeKind::kSet
                    ? CheckSet(static_cast<SetExpr*>(assign->value), target->type->element)
                    : CheckExpr(assign->value);
  assign->target = target;
  assign->value = Coerce(value, target->type, assign->value->pos);
}

void Checker::CheckCallStmt(CallStmt* statement) {
  Expr* call = CheckExpr(statement->call);
  if (call->kind != ExprKind::kCall) Fail(statement->pos, "Statement expected");
  statement->call = call;
}

void Checker::CheckIf(IfStmt* branch) {
  branch->condition = CheckCondition(branch->condition);
  CheckStatement(branch->then_branch);
  if (branch->else_branch != nullptr) CheckStatement(branch->else_branch);
}

void Checker::CheckCase(CaseStmt* statement) {
  Expr* selector = CheckExpr(statement->selector);
  const Type* type = selector->type;
  bool is_string = type->kind == TypeKind::kString || type->kind == TypeKind::kPChar;
  if (type->kind == TypeKind::kPChar) {
    selector = Coerce(selector, types_.string_type, selector->pos);
    type = types_.string_type;
  }
  if (!type->IsOrdinal() && !is_string) Fail(selector->pos, "Ordinal type expected");
  statement->selector = selector;
  const Type* label_type = is_string ? types_.string_type : RootOrdinal(type);
  for (CaseBranch& branch : statement->branches) {
    for (CaseLabel& label : branch.labels) {
      label.low = Fold(Coerce(CheckExpr(label.low), label_type, label.low->pos));
      if (!IsConst(label.low)) Fail(label.low->pos, "Constant expression expected");
      if (label.high != nullptr) {
        if (is_string) Fail(label.high->pos, "Ordinal type expected");
        label.high = Fold(Coerce(CheckExpr(label.high), label_type, label.high->pos));
        if (!IsConst(label.high)) Fail(label.high->pos, "Constant expression expected");
      }
    }
    CheckStatement(branch.body);
  }
  CheckStatements(statement->else_body);
}

void Checker::CheckFor(ForStmt* loop) {
  Expr* variable = CheckExpr(loop->variable);
  if (variable->kind != ExprKind::kVar) Fail(loop->variable->pos, "Variable expected");
  auto* var = static_cast<VarExpr*>(variable);
  Symbol* symbol = const_cast<Symbol*>(var->symbol);
  if (symbol->by_ref || symbol->read_only) Fail(loop->variable->pos, "Variable expected");
  if (symbol->level != 0 && routine_ != nullptr && symbol->level != routine_->level) {
    Fail(loop->variable->pos, "For loop control variable must be a simple local variable");
  }
  if (!variable->type->IsOrdinal()) Fail(loop->variable->pos, "Ordinal type expected");
  loop->variable = variable;
  loop->from = Coerce(CheckExpr(loop->from), variable->type, loop->from->pos);
  loop->to = Coerce(CheckExpr(loop->to), variable->type, loop->to->pos);
  symbol->read_only = true;
  ++loop_depth_;
  CheckStatement(loop->body);
  --loop_depth_;
  symbol->read_only = false;
}

void Checker::CheckExit(ExitStmt* exit) {
  if (exit->value == nullptr) return;
  if (routine_ == nullptr || !routine_->IsFunction()) {
    Fail(exit->value->pos, "Invalid number of parameters");
  }
  exit->value = Coerce(CheckExpr(exit->value), routine_->result, exit->value->pos);
}

// A subject that is a variable, or fields and constant-index elements of one, is used as it
// stands; any other (an element with a computed index, a dynamic array element) is reached
// through a hidden pointer taken once when the statement starts. A host object is taken once
// into a hidden variable.
void Checker::CheckWith(WithStmt* with) {
  std::vector<Expr*> subjects;
  std::vector<const Symbol*> hidden;
  Scope* saved = scope_;
  // A hidden variable of the routine's frame for a subject of `type`.
  auto hide = [this](const Type* type, SourcePos pos, bool by_ref, Symbol** symbol) {
    *symbol = NewSymbol(SymbolKind::kVar, 0, "with");
    (*symbol)->type = type;
    (*symbol)->level = routine_->level;
    (*symbol)->by_ref = by_ref;
    (*symbol)->offset = routine_->locals_end++;
    auto* variable = arena_.New<VarExpr>();
    variable->kind = ExprKind::kVar;
    variable->pos = pos;
    variable->symbol = *symbol;
    variable->type = type;
    return variable;
  };
  for (Expr* raw : with->subjects) {
    Expr* subject = CheckExpr(raw);
    Scope& scope = scope_storage_.emplace_back();
    scope.routine = routine_;
    scope.parent = scope_;
    if (subject->type->kind == TypeKind::kClass && !IsClassRef(subject)) {
      Symbol* symbol;
      scope.with_class = subject->type;
      scope.with_subject = hide(subject->type, raw->pos, false, &symbol);
      subjects.push_back(subject);
      hidden.push_back(symbol);
      scope_ = &scope;
      continue;
    }
    if (subject->type->kind != TypeKind::kRecord) Fail(raw->pos, "Record type required");
    subject = CheckLValue(subject, false);
    bool simple = true;
    for (const Expr* e = subject; e->kind != ExprKind::kVar;) {
      if (e->kind == ExprKind::kField) {
        e = static_cast<const FieldExpr*>(e)->base;
      } else if (e->kind == ExprKind::kIndex &&
                 static_cast<const IndexExpr*>(e)->base->type->kind == TypeKind::kStaticArray &&
                 static_cast<const IndexExpr*>(e)->indices[0]->kind == ExprKind::kIntLit) {
        e = static_cast<const IndexExpr*>(e)->base;
      } else {
        simple = false;
        break;
      }
    }
    Symbol* pointer = nullptr;
    scope.with_record = subject->type;
    scope.with_subject = simple ? subject : hide(subject->type, raw->pos, true, &pointer);
    subjects.push_back(subject);
    hidden.push_back(pointer);
    scope_ = &scope;
  }
  with->subjects = MakeSpan(arena_, subjects);
  with->hidden = MakeSpan(arena_, hidden);
  CheckStatement(with->body);
  scope_ = saved;
}

void Checker::CheckTry(TryStmt* attempt) {
  CheckStatements(attempt->body);
  if (attempt->has_except) {
    ++except_depth_;
    CheckStatements(attempt->except_body);
    --except_depth_;
  }
  if (attempt->has_finally) CheckStatements(attempt->finally_body);
}

void Checker::CheckRaise(RaiseStmt* raise) {
  if (raise->exception != nullptr) {
    Fail(raise->exception->pos, "Exception objects are not supported: use RaiseException");
  }
  if (except_depth_ == 0) Fail(raise->pos, "RAISE without an exception to raise again");
}

}  // namespace qorsv::script::compiler_internal

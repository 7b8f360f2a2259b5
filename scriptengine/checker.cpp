// Declarations and scopes of the checker.
#include "scriptengine/checker.h"

#include "scriptengine/parser.h"
#include "scriptengine/standard_decls.h"

namespace qorsv::script::compiler_internal {

Checker::Checker(Interner& interner, TypeTable& types, Arena& arena)
    : interner_(interner), types_(types), arena_(arena) {
  result_ident_ = interner_.Intern("RESULT");
  self_ident_ = interner_.Intern("SELF");
  main_.display = "main";
  main_.result = types_.void_type;
  main_.level = 1;
  main_.defined = true;
  // The script's own declarations may hide those of the system unit (standard routines, host
  // natives), as a program's names hide those of the units it uses.
  global_scope_.parent = &system_scope_;
}

void Checker::Fail(SourcePos pos, const std::string& text) const { throw CompileError(pos, text); }
void Checker::TypeMismatch(SourcePos pos) const { Fail(pos, "Type mismatch"); }

std::string Checker::Spell(std::string_view spelling, Ident ident) const {
  return spelling.empty() ? interner_.Upper(ident) : std::string(spelling);
}

Symbol* Checker::NewSymbol(SymbolKind kind, Ident ident, std::string display) {
  Symbol& symbol = symbols_.emplace_back();
  symbol.kind = kind;
  symbol.ident = ident;
  symbol.display = std::move(display);
  return &symbol;
}

void Checker::Bind(Scope& scope, Symbol* symbol, SourcePos pos, bool allow_replace) {
  auto [it, inserted] = scope.names.emplace(symbol->ident, symbol);
  if (inserted) return;
  if (!allow_replace) Fail(pos, "Duplicate identifier '" + symbol->display + "'");
  it->second = symbol;
}

Symbol* Checker::Lookup(Ident ident) {
  for (Scope* scope = scope_; scope != nullptr; scope = scope->parent) {
    if (scope->with_record != nullptr || scope->with_class != nullptr) continue;
    auto found = scope->names.find(ident);
    if (found != scope->names.end()) return found->second;
  }
  if (Symbol* native = LookupNativeSets(ident)) return native;
  return LookupClassLibrary(ident);
}

Symbol* Checker::LookupNativeSets(Ident ident) {
  if (native_sets_.empty()) return nullptr;
  const std::string& upper = interner_.Upper(ident);
  for (auto set = native_sets_.rbegin(); set != native_sets_.rend(); ++set) {
    const std::string* text = (*set)->Find(upper);
    if (text == nullptr) continue;
    DeclareLibraryNative(*text);
    auto declared = system_scope_.names.find(ident);
    return declared == system_scope_.names.end() ? nullptr : declared->second;
  }
  return nullptr;
}

void Checker::DeclareLibraryNative(const std::string& text) {
  SystemDeclarations system(*this);
  Parser parser(text, interner_, arena_);
  DeclareNative(parser.ParseHeadingOnly());
}

void Checker::DeclareNatives(std::shared_ptr<const NativeDeclarations> natives) {
  // Names declared before (standard routines, earlier natives) give way to the set's.
  for (const auto& entry : natives->ByName()) system_scope_.names.erase(interner_.Intern(entry.first));
  native_sets_.push_back(std::move(natives));
}

Symbol* Checker::LookupGlobal(Ident ident) {
  auto found = system_scope_.names.find(ident);
  return found == system_scope_.names.end() ? nullptr : found->second;
}

int32_t Checker::AllocateLocal(const Type* type) {
  int32_t offset = routine_->locals_end;
  if (static_cast<int64_t>(offset) + type->cells > kMaxTypeCells) {
    Fail(routine_->pos, "Too many local variables");
  }
  routine_->locals_end += type->cells;
  return offset;
}

// ---- Standard declarations ----

void Checker::DeclareBuiltins() {
  auto type_name = [this](const char* name, const Type* type) {
    Symbol* symbol = NewSymbol(SymbolKind::kType, interner_.InternAnyCase(name), name);
    symbol->type = type;
    Bind(system_scope_, symbol, {}, true);
  };
  type_name("Byte", types_.byte_type);
  type_name("ShortInt", types_.shortint_type);
  type_name("Word", types_.word_type);
  type_name("SmallInt", types_.smallint_type);
  type_name("LongInt", types_.integer_type);
  type_name("Integer", types_.integer_type);
  type_name("LongWord", types_.cardinal_type);
  type_name("Cardinal", types_.cardinal_type);
  type_name("DWord", types_.cardinal_type);
  type_name("Int64", types_.int64_type);
  type_name("Boolean", types_.boolean_type);
  type_name("LongBool", types_.boolean_type);
  type_name("Char", types_.char_type);
  type_name("AnsiChar", types_.char_type);
  type_name("WideChar", types_.char_type);
  type_name("String", types_.string_type);
  type_name("AnsiString", types_.string_type);
  type_name("WideString", types_.string_type);
  type_name("ShortString", types_.string_type);
  type_name("PChar", types_.pchar_type);
  type_name("Single", types_.single_type);
  type_name("Double", types_.double_type);
  type_name("Real", types_.double_type);
  type_name("Extended", types_.extended_type);
  type_name("Currency", types_.currency_type);
  type_name("Variant", types_.variant_type);
  type_name("TVariantArray", types_.variant_array_type);
  type_name("TIFException", types_.tif_exception_type);
  type_name("TVarType", types_.tvar_type_type);
  type_name("IDispatch", types_.idispatch_type);

  auto constant = [this](const std::string& name, const Type* type, int64_t value) {
    Symbol* symbol = NewSymbol(SymbolKind::kConst, interner_.InternAnyCase(name), name);
    symbol->type = type;
    symbol->value.type = type;
    symbol->value.int_value = value;
    Bind(system_scope_, symbol, {}, true);
  };
  constant("True", types_.boolean_type, 1);
  constant("False", types_.boolean_type, 0);
  constant("MaxInt", types_.integer_type, INT32_MAX);
  const auto& exception_names = types_.tif_exception_type->enum_names;
  for (size_t i = 0; i < exception_names.size(); ++i) {
    constant(exception_names[i], types_.tif_exception_type, static_cast<int64_t>(i));
  }
  const std::pair<const char*, int> var_types[] = {
      {"varEmpty", 0},     {"varNull", 1},      {"varSmallint", 2},  {"varInteger", 3},
      {"varSingle", 4},    {"varDouble", 5},    {"varCurrency", 6},  {"varDate", 7},
      {"varOleStr", 8},    {"varDispatch", 9},  {"varError", 10},    {"varBoolean", 11},
      {"varVariant", 12},  {"varUnknown", 13},  {"varShortInt", 16}, {"varByte", 17},
      {"varWord", 18},     {"varLongWord", 19}, {"varInt64", 20},    {"varString", 0x100},
      {"varArray", 0x2000}};
  for (const auto& [name, value] : var_types) constant(name, types_.tvar_type_type, value);

  const std::pair<const char*, Builtin> builtins[] = {{"Length", Builtin::kLength},
                                                      {"SetLength", Builtin::kSetLength},
                                                      {"High", Builtin::kHigh},
                                                      {"Low", Builtin::kLow},
                                                      {"Inc", Builtin::kInc},
                                                      {"Dec", Builtin::kDec},
                                                      {"Ord", Builtin::kOrd},
                                                      {"Chr", Builtin::kChr},
                                                      {"Succ", Builtin::kSucc},
                                                      {"Pred", Builtin::kPred},
                                                      {"Odd", Builtin::kOdd},
                                                      {"SizeOf", Builtin::kSizeOf},
                                                      {"Assigned", Builtin::kAssigned},
                                                      {"GetArrayLength", Builtin::kGetArrayLength},
                                                      {"SetArrayLength", Builtin::kSetArrayLength},
                                                      {"Include", Builtin::kInclude},
                                                      {"Exclude", Builtin::kExclude},
                                                      {"Abs", Builtin::kAbs},
                                                      {"Sqr", Builtin::kSqr}};
  for (const auto& [name, builtin] : builtins) {
    Symbol* symbol = NewSymbol(SymbolKind::kBuiltin, interner_.InternAnyCase(name), name);
    symbol->builtin = builtin;
    Bind(system_scope_, symbol, {}, true);
  }

  native_sets_.push_back(StandardNatives());
}

// The engine's standard routines, read by each compilation as scripts name them.
const std::shared_ptr<const NativeDeclarations>& Checker::StandardNatives() {
  static const std::shared_ptr<const NativeDeclarations> standard = [] {
    std::vector<std::string> texts(std::begin(kStandardDeclarations),
                                   std::end(kStandardDeclarations));
    return std::make_shared<const NativeDeclarations>(texts, NativeDeclarations::Unchecked{});
  }();
  return standard;
}

void Checker::DeclareNative(RoutineDecl* heading) {
  Routine* routine = BuildSignature(heading, RoutineKind::kNative);
  routine->native_name = interner_.Upper(heading->ident);
  routine->defined = true;
  Symbol* symbol = NewSymbol(SymbolKind::kRoutine, heading->ident, routine->display);
  symbol->routine = routine;
  Bind(system_scope_, symbol, heading->pos, true);
}

void Checker::DeclareHostVariable(const std::string& name, const std::string& class_name) {
  Ident class_ident = interner_.InternAnyCase(class_name);
  const Type* type;
  auto known = host_classes_.find(class_ident);
  Symbol* library = known == host_classes_.end() ? LookupClassLibrary(class_ident) : nullptr;
  if (known != host_classes_.end()) {
    type = known->second;
  } else if (library != nullptr && library->kind == SymbolKind::kType &&
             library->type->kind == TypeKind::kClass) {
    type = library->type;
  } else {
    Type* created = types_.New(TypeKind::kClass, class_name);
    host_classes_.emplace(class_ident, created);
    type = created;
    if (LookupGlobal(class_ident) == nullptr) {
      Symbol* type_symbol = NewSymbol(SymbolKind::kType, class_ident, class_name);
      type_symbol->type = type;
      Bind(system_scope_, type_symbol, {});
    }
  }
  Symbol* variable = NewSymbol(SymbolKind::kVar, interner_.InternAnyCase(name), name);
  variable->type = type;
  variable->level = 0;
  variable->offset = global_cells_;
  variable->host_object = true;
  global_cells_ += type->cells;
  global_vars_.push_back(variable);
  Bind(system_scope_, variable, {}, true);
}

// ---- Declaration sections ----

void Checker::CheckDecls(const std::vector<Decl*>& decls) {
  for (Decl* decl : decls) {
    switch (decl->kind) {
      case DeclKind::kConst:
        DeclareConst(static_cast<ConstDecl*>(decl));
        break;
      case DeclKind::kType:
        DeclareType(static_cast<TypeDecl*>(decl));
        break;
      case DeclKind::kVar:
        DeclareVar(static_cast<VarDecl*>(decl));
        break;
      case DeclKind::kUses:
        DeclareUses(static_cast<UsesDecl*>(decl));
        break;
      case DeclKind::kRoutine:
        DeclareRoutine(static_cast<RoutineDecl*>(decl));
        break;
    }
  }
}

void Checker::DeclareUses(UsesDecl* decl) {
  for (uint32_t i = 0; i < decl->idents.size; ++i) {
    if (on_uses) {
      on_uses(interner_.Upper(decl->idents[i]), Spell(decl->spellings[i], decl->idents[i]),
              decl->positions[i]);
    }
  }
}

void Checker::DeclareConst(ConstDecl* decl) {
  Expr* value = CheckExpr(decl->value);
  if (decl->type == nullptr && value->kind == ExprKind::kVar &&
      static_cast<VarExpr*>(value)->symbol->late_literal) {
    // A constant of a late literal stands for the literal's hidden variable.
    Symbol* symbol = NewSymbol(SymbolKind::kConst, decl->ident, Spell(decl->spelling, decl->ident));
    symbol->value.late = static_cast<VarExpr*>(value)->symbol;
    symbol->value.type = symbol->value.late->type;
    symbol->type = symbol->value.type;
    Bind(*scope_, symbol, decl->pos);
    return;
  }
  if (decl->type != nullptr) {
    const Type* type = ResolveType(decl->type);
    value = Coerce(value, type, decl->value->pos);
  }
  value = Fold(value);
  if (!IsConst(value)) Fail(decl->value->pos, "Constant expression expected");
  Symbol* symbol = NewSymbol(SymbolKind::kConst, decl->ident, Spell(decl->spelling, decl->ident));
  symbol->value = EvalConst(value, decl->value->pos);
  symbol->type = symbol->value.type;
  Bind(*scope_, symbol, decl->pos);
}

void Checker::DeclareType(TypeDecl* decl) {
  const Type* type = ResolveType(decl->type);
  // A fresh structured type takes the declared name, for messages.
  if (type->name.empty()) const_cast<Type*>(type)->name = Spell(decl->spelling, decl->ident);
  Symbol* symbol = NewSymbol(SymbolKind::kType, decl->ident, Spell(decl->spelling, decl->ident));
  symbol->type = type;
  Bind(*scope_, symbol, decl->pos);
}

void Checker::DeclareVar(VarDecl* decl) {
  const Type* type = ResolveType(decl->type);
  for (uint32_t i = 0; i < decl->idents.size; ++i) {
    Symbol* symbol =
        NewSymbol(SymbolKind::kVar, decl->idents[i], Spell(decl->spellings[i], decl->idents[i]));
    symbol->type = type;
    if (routine_ == nullptr) {
      symbol->level = 0;
      if (static_cast<int64_t>(global_cells_) + type->cells > kMaxTypeCells) {
        Fail(decl->positions[i], "Too many global variables");
      }
      symbol->offset = global_cells_;
      global_cells_ += type->cells;
      global_vars_.push_back(symbol);
    } else {
      symbol->level = routine_->level;
      symbol->offset = AllocateLocal(type);
      routine_->locals.push_back(symbol);
    }
    Bind(*scope_, symbol, decl->positions[i]);
    if (decl->initial != nullptr) {
      if (routine_ != nullptr) Fail(decl->initial->pos, "Local variables cannot be initialized");
      Expr* value = Fold(Coerce(CheckExpr(decl->initial), type, decl->initial->pos));
      if (!IsConst(value)) Fail(decl->initial->pos, "Constant expression expected");
      sink_->InitGlobal(*symbol, EvalConst(value, decl->initial->pos));
    }
  }
}

// ---- Routines ----

Routine* Checker::BuildSignature(RoutineDecl* decl, RoutineKind kind) {
  Routine& routine = routines_.emplace_back();
  routine.kind = kind;
  routine.ident = decl->ident;
  routine.display = Spell(decl->spelling, decl->ident);
  routine.pos = decl->pos;
  routine.result = decl->is_function ? ResolveType(decl->result) : types_.void_type;
  if (routine.result->kind == TypeKind::kStaticArray || routine.result->kind == TypeKind::kRecord ||
      routine.result->kind == TypeKind::kSet) {
    if (kind != RoutineKind::kScript) Fail(decl->pos, "Invalid result type");
  }
  for (const ParamDecl& group : decl->params) {
    if (group.type == nullptr) Fail(group.pos, "Untyped parameters are not supported");
    const Type* type;
    if (group.type->kind == TypeExprKind::kArray &&
        static_cast<ArrayTypeExpr*>(group.type)->indices.empty()) {
      // Open array parameter: received as a dynamic array.
      type = types_.NewDynArray(ResolveType(static_cast<ArrayTypeExpr*>(group.type)->element));
    } else {
      type = ResolveType(group.type);
    }
    for (uint32_t i = 0; i < group.idents.size; ++i) {
      ParamInfo param;
      param.ident = group.idents[i];
      param.display = Spell(group.spellings[i], group.idents[i]);
      param.type = type;
      param.mode = group.mode;
      param.by_ref = group.mode == ParamMode::kVar || group.mode == ParamMode::kOut;
      if (group.default_value != nullptr) {
        Expr* value = Fold(Coerce(CheckExpr(group.default_value), type, group.default_value->pos));
        if (!IsConst(value)) Fail(group.default_value->pos, "Constant expression expected");
        param.has_default = true;
        param.default_value = EvalConst(value, group.default_value->pos);
      }
      routine.params.push_back(std::move(param));
    }
  }
  return &routine;
}

bool Checker::SameSignature(const Routine& a, const Routine& b) const {
  if (a.params.size() != b.params.size() || !SameType(a.result, b.result)) return false;
  for (size_t i = 0; i < a.params.size(); ++i) {
    if (a.params[i].mode != b.params[i].mode || !SameType(a.params[i].type, b.params[i].type)) {
      return false;
    }
  }
  return true;
}

void Checker::DeclareRoutine(RoutineDecl* decl) {
  RoutineKind kind = decl->is_external ? RoutineKind::kExternal : RoutineKind::kScript;
  Routine* routine = BuildSignature(decl, kind);
  routine->level = routine_ == nullptr ? 1 : routine_->level + 1;
  routine->parent = routine_;
  LayoutFrame(*routine);

  // The definition of a routine declared forward in the same scope.
  auto existing = scope_->names.find(decl->ident);
  if (existing != scope_->names.end() && existing->second->kind == SymbolKind::kRoutine &&
      existing->second->routine->forward && !decl->is_forward) {
    Routine* declared = existing->second->routine;
    if (!decl->params.empty() || decl->is_function) {
      if (!SameSignature(*declared, *routine)) {
        Fail(decl->pos,
             "Declaration of '" + routine->display + "' differs from previous declaration");
      }
    }
    declared->forward = false;
    routine = declared;
  } else {
    Symbol* symbol = NewSymbol(SymbolKind::kRoutine, decl->ident, routine->display);
    symbol->routine = routine;
    Bind(*scope_, symbol, decl->pos);
    if (kind == RoutineKind::kScript) {
      routine->index = static_cast<int32_t>(script_routines_.size());
      script_routines_.push_back(routine);
    }
  }
  if (decl->is_external) {
    if (routine_ != nullptr) Fail(decl->pos, "Local external routines are not supported");
    routine->external_text = std::string(decl->external_text);
    routine->defined = true;
    if (on_external) on_external(*routine, decl->external_pos);
    return;
  }
  if (decl->is_forward) {
    routine->forward = true;
    return;
  }
  CompileRoutineBody(*routine, decl);
}

// The start of a script routine's frame, fixed at its declaration so that calls compiled
// before its body (forward declarations) agree with it: [static link][params][result].
void Checker::LayoutFrame(Routine& routine) {
  int32_t offset = routine.level >= 2 ? 1 : 0;
  for (ParamInfo& param : routine.params) {
    param.offset = offset;
    offset += param.by_ref ? 1 : param.type->cells;
  }
  routine.param_cells = offset;
  routine.result_offset = routine.IsFunction() ? offset : -1;
}

void Checker::CompileRoutineBody(Routine& routine, RoutineDecl* decl) {
  Scope& scope = scope_storage_.emplace_back();
  scope.routine = &routine;
  scope.parent = scope_;
  Scope* saved_scope = scope_;
  Routine* saved_routine = routine_;
  int saved_loops = loop_depth_;
  int saved_excepts = except_depth_;
  scope_ = &scope;
  routine_ = &routine;
  loop_depth_ = 0;
  except_depth_ = 0;

  routine.locals.clear();
  for (ParamInfo& param : routine.params) {
    Symbol* symbol = NewSymbol(SymbolKind::kVar, param.ident, param.display);
    symbol->type = param.type;
    symbol->level = routine.level;
    symbol->by_ref = param.by_ref;
    symbol->read_only = param.mode == ParamMode::kConst;
    symbol->offset = param.offset;
    Bind(scope, symbol, decl->pos);
  }
  routine.locals_end = routine.param_cells;
  if (routine.IsFunction()) {
    Symbol* result = NewSymbol(SymbolKind::kVar, result_ident_, "Result");
    result->type = routine.result;
    result->level = routine.level;
    result->offset = routine.result_offset;
    routine.locals_end += routine.result->cells;
    routine.result_symbol = result;
    Bind(scope, result, decl->pos, true);
  }
  CheckDecls(std::vector<Decl*>(decl->locals.begin(), decl->locals.end()));
  CheckStatements(decl->body);
  routine.defined = true;
  sink_->EmitRoutine(routine, decl->body, decl->end_pos);

  scope_ = saved_scope;
  routine_ = saved_routine;
  loop_depth_ = saved_loops;
  except_depth_ = saved_excepts;
}

void Checker::CheckMainBlock(Span<Stmt*> body, SourcePos end_pos) {
  routine_ = &main_;
  main_.locals_end = 0;
  CheckStatements(body);
  routine_ = nullptr;
  sink_->EmitMainBlock(main_, body, end_pos);
}

void Checker::FinishProgram() {
  for (Routine* routine : script_routines_) {
    if (routine->forward) {
      Fail(routine->pos, "Unsatisfied forward or external declaration: '" + routine->display + "'");
    }
  }
}

}  // namespace qorsv::script::compiler_internal

// The checker: names and types of the script dialect.
//
// It declares the standard types and routines, reads declarations into symbols (globals get
// cells in the global area, locals and parameters cells in their routine's frame), resolves
// every name, checks and computes the type of every expression, folds constant expressions,
// and makes implicit conversions explicit (ConvertExpr) so that the code generator sees
// operands of matching types. Each checked routine body is handed to the RoutineSink (the code
// generator) before the checker goes on. Errors are thrown as CompileError.
//
// Threading: one compilation, one thread.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scriptengine/ast.h"
#include "scriptengine/compiler.h"
#include "scriptengine/symbols.h"
#include "scriptengine/types.h"

namespace qorsv::script::compiler_internal {

// Receives every checked routine body and the main block.
class RoutineSink {
 public:
  virtual ~RoutineSink() = default;
  virtual void EmitRoutine(Routine& routine, Span<Stmt*> body, SourcePos end_pos) = 0;
  virtual void EmitMainBlock(Routine& main, Span<Stmt*> body, SourcePos end_pos) = 0;
  // A global variable with a constant initial value.
  virtual void InitGlobal(const Symbol& variable, const ConstValue& value) = 0;
};

class Checker {
 public:
  Checker(Interner& interner, TypeTable& types, Arena& arena);

  void set_sink(RoutineSink* sink) { sink_ = sink; }
  // Hook for `uses` clauses: throws CompileError when the unit is refused.
  std::function<void(const std::string& unit, const std::string& spelling, SourcePos pos)> on_uses;
  // Hook for `external` clauses: throws CompileError when the clause is refused.
  std::function<void(const Routine& routine, SourcePos pos)> on_external;

  // Standard declarations made before anything else.
  void DeclareBuiltins();
  // A native function from its parsed heading; a later one of the same name replaces it. The
  // script's own top-level declarations may hide natives.
  void DeclareNative(RoutineDecl* heading);
  void DeclareHostVariable(const std::string& name, const std::string& class_name);
  // Natives declared by a shared set, read the first time a script names one (a later set, or a
  // later DeclareNative, replaces a name declared before).
  void DeclareNatives(std::shared_ptr<const NativeDeclarations> natives);
  // Makes the host class library known: its classes, types and constants are declared the
  // first time a script names them.
  void DeclareClassLibrary() { class_library_ = true; }

  void CheckDecls(const std::vector<Decl*>& decls);
  void CheckMainBlock(Span<Stmt*> body, SourcePos end_pos);
  // Reports a routine declared forward and never defined.
  void FinishProgram();

  // Literals at these positions (see TPSPascalCompiler::LateLiterals) become hidden read-only
  // global variables named "#LITERAL<i>", i being the literal's index in `positions`.
  void SetLateLiterals(const std::vector<SourcePos>& positions);
  // How many of the late literals the program text held.
  int late_literals_found() const { return late_literals_found_; }
  // Whether some late literal's value was needed while compiling: a plain compilation would
  // have folded it into a constant whose value or type depends on it.
  bool late_values_needed() const { return late_values_needed_; }

  int32_t global_cells() const { return global_cells_; }
  // Cells in the global area for the code generator's constants.
  int32_t AllocateGlobalCells(int32_t count) {
    int32_t offset = global_cells_;
    global_cells_ += count;
    return offset;
  }
  const std::vector<Symbol*>& globals() const { return global_vars_; }
  const std::vector<Routine*>& script_routines() const { return script_routines_; }
  Routine& main_routine() { return main_; }
  const Interner& interner() const { return interner_; }
  TypeTable& types() { return types_; }

 private:
  struct Scope {
    std::unordered_map<Ident, Symbol*> names;
    Routine* routine = nullptr;         // nullptr: the global scope
    const Type* with_record = nullptr;  // a `with` scope: the record's fields
    const Type* with_class = nullptr;   // a `with` scope of a host object: the class's members
    Expr* with_subject = nullptr;       // the checked subject expression
    Scope* parent = nullptr;
  };

  // Declarations (checker.cpp).
  Symbol* NewSymbol(SymbolKind kind, Ident ident, std::string display);
  void Bind(Scope& scope, Symbol* symbol, SourcePos pos, bool allow_replace = false);
  Symbol* Lookup(Ident ident);
  Symbol* LookupGlobal(Ident ident);
  Expr* LookupWithField(NameExpr* name);
  void DeclareConst(ConstDecl* decl);
  void DeclareType(TypeDecl* decl);
  void DeclareVar(VarDecl* decl);
  void DeclareUses(UsesDecl* decl);
  void DeclareRoutine(RoutineDecl* decl);
  Routine* BuildSignature(RoutineDecl* decl, RoutineKind kind);
  bool SameSignature(const Routine& a, const Routine& b) const;
  void LayoutFrame(Routine& routine);
  void CompileRoutineBody(Routine& routine, RoutineDecl* decl);
  int32_t AllocateLocal(const Type* type);
  std::string Spell(std::string_view spelling, Ident ident) const;

  // Types (checker_types.cpp).
  const Type* ResolveType(TypeExpr* expr);
  const Type* ResolveOrdinalIndex(TypeExpr* expr);
  bool SameType(const Type* a, const Type* b) const;
  bool IsAssignable(const Type* target, Expr* value) const;
  Expr* Coerce(Expr* value, const Type* target, SourcePos pos);
  Expr* MakeConvert(Expr* value, const Type* target, Conv conv);
  const Type* ArithmeticType(const Type* a, const Type* b) const;
  const Type* RootOrdinal(const Type* type) const;

  // Expressions (checker_expr.cpp).
  Expr* CheckExpr(Expr* expr);
  Expr* CheckName(NameExpr* name);
  Expr* CheckCall(CallExpr* call);
  Expr* CheckRoutineCall(CallExpr* call, const Routine* routine);
  Expr* CheckIndex(IndexExpr* index);
  Expr* CheckField(FieldExpr* field);
  Expr* CheckUnary(UnaryExpr* unary);
  Expr* CheckBinary(BinaryExpr* binary);
  Expr* CheckComparison(BinaryExpr* binary);
  Expr* CheckSet(SetExpr* set, const Type* wanted);
  Expr* CheckCast(CallExpr* call, const Type* target);
  Expr* CheckLValue(Expr* expr, bool for_var_param);
  bool IsLValue(const Expr* expr) const;
  void CheckArgument(CallExpr* call, size_t index, const ParamInfo& param);
  Expr* UseRoutineAsValue(Expr* expr, const Routine* routine, SourcePos pos);

  // While it lives, names resolve in the system scope only and no routine is being checked: the
  // system's own declarations, read in the middle of a script, see nothing the script declared.
  class SystemDeclarations {
   public:
    explicit SystemDeclarations(Checker& checker)
        : checker_(checker), scope_(checker.scope_), routine_(checker.routine_) {
      checker.scope_ = &checker.system_scope_;
      checker.routine_ = nullptr;
    }
    ~SystemDeclarations() {
      checker_.scope_ = scope_;
      checker_.routine_ = routine_;
    }
    SystemDeclarations(const SystemDeclarations&) = delete;
    SystemDeclarations& operator=(const SystemDeclarations&) = delete;

   private:
    Checker& checker_;
    Scope* scope_;
    Routine* routine_;
  };

  // A native of the shared sets, declared now; nullptr when none declares the name.
  Symbol* LookupNativeSets(Ident ident);
  static const std::shared_ptr<const NativeDeclarations>& StandardNatives();
  // Declares the routine heading `text` in the system scope.
  void DeclareLibraryNative(const std::string& text);

  // Host classes (checker_classes.cpp).
  Symbol* LookupClassLibrary(Ident ident);
  ClassInfo* DeclareLibraryClass(size_t index);
  void DeclareLibraryText(const char* text);
  void LoadMembers(ClassInfo& info);
  void LoadMember(ClassInfo& info, const char* declaration);
  Routine* MemberRoutine(ClassInfo& info, const std::string& heading, const std::string& name,
                         bool with_self);
  const ClassMember* FindMember(const ClassInfo* info, Ident ident);
  static ClassInfo* ClassOf(const Type* type) { return type->class_info; }
  static bool IsClassRef(const Expr* expr) {
    return expr->kind == ExprKind::kTypeRef &&
           static_cast<const TypeRefExpr*>(expr)->named->kind == TypeKind::kClass;
  }
  bool InheritsFrom(const Type* type, const Type* ancestor) const;
  // The innermost `with` subject with a field or member of that name: a checked field access
  // for a record, an unchecked FieldExpr on the hidden subject for a host object.
  FieldExpr* FindWithSubject(NameExpr* name);
  CallExpr* NewCall(const Routine* routine, Expr* callee, std::vector<Expr*> args,
                    bool has_parens, SourcePos pos);
  Expr* CheckMember(Expr* object, FieldExpr* field, Span<Expr*> args, bool call_syntax);
  Expr* CheckConstructorCall(const Type* class_type, FieldExpr* field, Span<Expr*> args);
  // obj.Prop[i] and, inside `with obj do`, Prop[i]; nullptr when the index is not a property's.
  Expr* CheckIndexedProperty(IndexExpr* index);
  // obj[i]: the default property's getter (or `property`'s), extra indices indexing its value.
  Expr* DefaultPropertyCall(Expr* object, Span<Expr*> indices, SourcePos pos,
                            const ClassMember* property = nullptr);
  // The setter call of an assignment to a property, or nullptr when the target is no property.
  Expr* CheckPropertyAssign(AssignStmt* assign);
  Expr* CheckTypeTest(BinaryExpr* binary);
  Routine* TypeTestRoutine(ClassInfo& info, bool is_test);

  // Built-in routines (checker_builtins.cpp).
  Expr* CheckBuiltin(CallExpr* call, Builtin builtin);

  // Constants (checker_fold.cpp).
  Expr* Fold(Expr* expr);
  bool IsConst(const Expr* expr) const;
  ConstValue EvalConst(Expr* expr, SourcePos pos);
  Expr* ConstToExpr(const ConstValue& value, SourcePos pos);
  int64_t ConstInt(Expr* expr, SourcePos pos);

  // Late literals (checker_late.cpp).
  Expr* LateLiteral(Expr* literal);
  bool IsLateConst(const Expr* expr) const;
  void NoteLateFold(const Expr* expr);

  // Statements (checker_stmt.cpp).
  void CheckStatements(Span<Stmt*> body);
  void CheckStatement(Stmt* stmt);
  void CheckAssign(AssignStmt* assign);
  void CheckCallStmt(CallStmt* call);
  void CheckIf(IfStmt* branch);
  void CheckCase(CaseStmt* statement);
  void CheckFor(ForStmt* loop);
  void CheckWith(WithStmt* with);
  void CheckTry(TryStmt* attempt);
  void CheckRaise(RaiseStmt* raise);
  void CheckExit(ExitStmt* exit);
  Expr* CheckCondition(Expr* expr);

  [[noreturn]] void Fail(SourcePos pos, const std::string& text) const;
  [[noreturn]] void TypeMismatch(SourcePos pos) const;

  Interner& interner_;
  TypeTable& types_;
  Arena& arena_;
  RoutineSink* sink_ = nullptr;
  std::deque<Symbol> symbols_;
  std::deque<Routine> routines_;
  std::deque<Scope> scope_storage_;
  Scope system_scope_;  // standard declarations, natives and host variables
  Scope global_scope_;  // the script's top-level declarations
  Scope* scope_ = &global_scope_;
  Routine* routine_ = nullptr;  // the routine whose body is being checked (or the main block)
  Routine main_;
  int32_t global_cells_ = 0;
  std::vector<Symbol*> global_vars_;
  std::vector<Routine*> script_routines_;
  int loop_depth_ = 0;
  int except_depth_ = 0;
  Ident result_ident_;
  std::unordered_map<Ident, const Type*> host_classes_;
  bool class_library_ = false;
  std::vector<std::shared_ptr<const NativeDeclarations>> native_sets_;  // latest last
  std::deque<ClassInfo> class_infos_;
  Ident self_ident_;
  std::unordered_map<uint64_t, int> late_positions_;  // row << 32 | col -> literal index
  std::vector<Symbol*> late_symbols_;
  int late_literals_found_ = 0;
  bool late_values_needed_ = false;
};

}  // namespace qorsv::script::compiler_internal

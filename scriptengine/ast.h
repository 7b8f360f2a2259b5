// The syntax tree of the script dialect.
//
// The parser builds one tree per top-level item (a declaration section, a routine with its
// body, the main block); the checker resolves names and types in place (filling `type` and the
// resolved fields, folding constants, wrapping implicit conversions) and the code generator
// reads the checked tree. All nodes live in an Arena that is reset after each item, so a large
// text never holds more than one item's tree; nodes are trivially destructible (texts are views
// into the arena or the compiled text, lists are arena spans).
//
// Threading: one compilation, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "scriptengine/diagnostics.h"
#include "scriptengine/lexer.h"

namespace qorsv::script::compiler_internal {

struct Type;
struct Field;
struct Symbol;
struct Routine;

// A bump allocator for tree nodes.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  void* Allocate(size_t size) {
    size = (size + 15) & ~static_cast<size_t>(15);
    if (size > remaining_) Grow(size);
    void* result = cursor_;
    cursor_ += size;
    remaining_ -= size;
    return result;
  }
  template <typename T, typename... Args>
  T* New(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>);
    return new (Allocate(sizeof(T))) T(std::forward<Args>(args)...);
  }
  std::string_view Copy(std::string_view text) {
    if (text.empty()) return {};
    char* data = static_cast<char*>(Allocate(text.size()));
    std::memcpy(data, text.data(), text.size());
    return {data, text.size()};
  }
  // Frees every node; keeps the first block for reuse.
  void Reset();

 private:
  void Grow(size_t size);
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<size_t> sizes_;
  char* cursor_ = nullptr;
  size_t remaining_ = 0;
};

// An arena-allocated list.
template <typename T>
struct Span {
  T* data = nullptr;
  uint32_t size = 0;
  T* begin() const { return data; }
  T* end() const { return data + size; }
  T& operator[](size_t i) const { return data[i]; }
  bool empty() const { return size == 0; }
};

template <typename T>
Span<T> MakeSpan(Arena& arena, const T* items, size_t count) {
  Span<T> span;
  span.size = static_cast<uint32_t>(count);
  if (count > 0) {
    span.data = static_cast<T*>(arena.Allocate(sizeof(T) * count));
    std::memcpy(static_cast<void*>(span.data), items, sizeof(T) * count);
  }
  return span;
}

template <typename T>
Span<T> MakeSpan(Arena& arena, const std::vector<T>& items) {
  Span<T> span;
  span.size = static_cast<uint32_t>(items.size());
  if (!items.empty()) {
    span.data = static_cast<T*>(arena.Allocate(sizeof(T) * items.size()));
    std::memcpy(static_cast<void*>(span.data), items.data(), sizeof(T) * items.size());
  }
  return span;
}

// ---- Expressions ----

enum class ExprKind : uint8_t {
  kIntLit,  // value; type set by the parser to Integer/Int64, or by folding
  kFloatLit,
  kStrLit,  // also Char constants (type Char when of length 1 and so typed)
  kNil,
  kName,   // an identifier; resolved by the checker to a variable, routine, type...
  kCall,   // callee(args) or a bare routine name resolved to a call
  kIndex,  // base[i, j]
  kField,  // base.name
  kUnary,
  kBinary,
  kSet,         // [a, b..c]
  kConvert,     // implicit or explicit conversion, made by the checker
  kVar,         // a variable (made by the checker from kName)
  kRoutineRef,  // a routine name used where no call is possible (checker)
  kTypeRef,     // a type name (casts, SizeOf)
  kSetConst,    // a folded set constant (checker)
  kArrayCons,   // [a, b, c] passed to an open array parameter (checker)
};

enum class Op : uint8_t {
  kNone,
  kAdd,
  kSub,
  kMul,
  kDivide,
  kIntDiv,
  kMod,
  kAnd,
  kOr,
  kXor,
  kShl,
  kShr,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
  kIn,
  kIs,  // obj is TClass
  kAs,  // obj as TClass
  kNeg,
  kPos,
  kNot,
};

// The deepest expression tree the parser builds: the checker and the code generator walk trees
// recursively, so their depth must stay well within a thread's stack.
constexpr int kMaxExpressionDepth = 400;

struct Expr {
  ExprKind kind;
  Op op = Op::kNone;
  uint16_t depth = 1;  // height of the tree below and including this node
  SourcePos pos;
  const Type* type = nullptr;  // set by the checker (literals: by the parser)
};

struct IntLit : Expr {
  int64_t value;
};
struct FloatLit : Expr {
  double value;
};
struct StrLit : Expr {
  std::string_view value;
};
struct NameExpr : Expr {
  Ident ident;
  std::string_view spelling;
};
struct CallExpr : Expr {
  Expr* callee;
  Span<Expr*> args;
  bool has_parens;
  // Checker: a script, native or external routine, or a built-in routine id (>= 0).
  const Routine* routine = nullptr;
  int builtin = -1;
};
struct IndexExpr : Expr {
  Expr* base;
  Span<Expr*> indices;  // the checker reduces a[i, j] to nested one-index nodes
};
struct FieldExpr : Expr {
  Expr* base;
  Ident ident;
  std::string_view spelling;
  const Field* field = nullptr;  // checker
};
struct UnaryExpr : Expr {
  Expr* operand;
};
struct BinaryExpr : Expr {
  Expr* left;
  Expr* right;
};
struct SetElement {
  Expr* low;
  Expr* high;  // nullptr for a single element
};
struct SetExpr : Expr {
  Span<SetElement> elements;
};
enum class Conv : uint8_t {
  kIntToInt,  // re-wrap into the target's storage class
  kIntToFloat,
  kFloatToFloat,  // rounding into Single
  kCharToString,
  kStringToPChar,
  kPCharToString,
  kToVariant,
  kFromVariant,
  kStaticToOpenArray,
  kNone,  // retype only (enum/ordinal casts of the same storage)
};
struct ConvertExpr : Expr {
  Expr* operand;
  Conv conv;
};
struct VarExpr : Expr {
  const Symbol* symbol;
};
struct RoutineRefExpr : Expr {
  const Routine* routine;
};
struct TypeRefExpr : Expr {
  const Type* named;
};
struct SetConstExpr : Expr {
  uint64_t bits[4];
};
struct ArrayConsExpr : Expr {
  Span<Expr*> elements;
};

// ---- Types as written ----

enum class TypeExprKind : uint8_t { kNamed, kSubrange, kEnum, kArray, kRecord, kSet, kShortString };
struct TypeExpr {
  TypeExprKind kind;
  SourcePos pos;
};
struct NamedTypeExpr : TypeExpr {
  Ident ident;
  std::string_view spelling;
};
struct SubrangeTypeExpr : TypeExpr {
  Expr* low;
  Expr* high;
};
struct EnumTypeExpr : TypeExpr {
  Span<Ident> idents;
  Span<std::string_view> spellings;
  Span<SourcePos> positions;
};
struct ArrayTypeExpr : TypeExpr {
  Span<TypeExpr*> indices;  // empty: a dynamic array
  TypeExpr* element;
};
struct FieldDecl {
  Span<Ident> idents;
  Span<std::string_view> spellings;
  Span<SourcePos> positions;
  TypeExpr* type;
};
struct RecordTypeExpr : TypeExpr {
  Span<FieldDecl> fields;
};
struct SetTypeExpr : TypeExpr {
  TypeExpr* element;
};

// ---- Statements ----

enum class StmtKind : uint8_t {
  kEmpty,
  kAssign,
  kCall,
  kCompound,
  kIf,
  kCase,
  kFor,
  kWhile,
  kRepeat,
  kBreak,
  kContinue,
  kExit,
  kWith,
  kTry,
  kRaise,
};

struct Stmt {
  StmtKind kind;
  SourcePos pos;
};
struct AssignStmt : Stmt {
  Expr* target;
  Expr* value;
  // Checker: an assignment to a property of a host object becomes this call of its setter.
  Expr* setter = nullptr;
};
struct CallStmt : Stmt {
  Expr* call;
};
struct CompoundStmt : Stmt {
  Span<Stmt*> body;
};
struct IfStmt : Stmt {
  Expr* condition;
  Stmt* then_branch;
  Stmt* else_branch;
};
struct CaseLabel {
  Expr* low;
  Expr* high;  // nullptr for a single value
};
struct CaseBranch {
  Span<CaseLabel> labels;
  Stmt* body;
};
struct CaseStmt : Stmt {
  Expr* selector;
  Span<CaseBranch> branches;
  Span<Stmt*> else_body;
  bool has_else;
};
struct ForStmt : Stmt {
  Expr* variable;
  Expr* from;
  Expr* to;
  bool downto;
  Stmt* body;
};
struct WhileStmt : Stmt {
  Expr* condition;
  Stmt* body;
};
struct RepeatStmt : Stmt {
  Span<Stmt*> body;
  Expr* condition;
};
struct ExitStmt : Stmt {
  Expr* value;
};
struct WithStmt : Stmt {
  Span<Expr*> subjects;
  Stmt* body;
  // Checker: one hidden pointer variable per subject that is not a plain variable.
  Span<const Symbol*> hidden;
};
struct TryStmt : Stmt {
  Span<Stmt*> body;
  Span<Stmt*> except_body;
  Span<Stmt*> finally_body;
  bool has_except;
  bool has_finally;
};
struct RaiseStmt : Stmt {
  Expr* exception;
};

// ---- Declarations ----

enum class ParamMode : uint8_t { kValue, kConst, kVar, kOut };

struct ParamDecl {
  Span<Ident> idents;
  Span<std::string_view> spellings;
  ParamMode mode;
  TypeExpr* type;  // nullptr: untyped (not supported by the checker)
  Expr* default_value;
  SourcePos pos;
};

enum class DeclKind : uint8_t { kConst, kType, kVar, kRoutine, kUses };

struct Decl {
  DeclKind kind;
  SourcePos pos;
};
struct ConstDecl : Decl {
  Ident ident;
  std::string_view spelling;
  TypeExpr* type;  // typed constant, or nullptr
  Expr* value;
};
struct TypeDecl : Decl {
  Ident ident;
  std::string_view spelling;
  TypeExpr* type;
};
struct VarDecl : Decl {
  Span<Ident> idents;
  Span<std::string_view> spellings;
  Span<SourcePos> positions;
  TypeExpr* type;
  Expr* initial;
};
struct RoutineDecl : Decl {
  Ident ident;
  std::string_view spelling;
  bool is_function;
  Span<ParamDecl> params;
  TypeExpr* result;
  bool is_forward;
  bool is_external;
  std::string_view external_text;
  SourcePos external_pos;
  Span<Decl*> locals;  // local declarations and nested routines, in order
  Span<Stmt*> body;
  bool has_body;
  SourcePos end_pos;
};
struct UsesDecl : Decl {
  Span<Ident> idents;
  Span<std::string_view> spellings;
  Span<SourcePos> positions;
};

}  // namespace qorsv::script::compiler_internal

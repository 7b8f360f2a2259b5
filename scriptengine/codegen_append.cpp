// String appends of the code generator: `x := x + a + b ...` grows x in place.
//
// Pages are built by appending piece after piece to one string; copying the string for every
// piece would make that quadratic. So when the left-most operand of a concatenation is the
// assigned place itself, the other operands are evaluated first and then appended to the place,
// which grows in place while unshared (the heap keeps spare capacity). The result is the one the
// assignment `x := (x + a + b ...)` gives, because:
// - an operand whose value is read straight from a variable's cell is first copied to a
//   temporary (a reference, not the text) whenever that cell could change before the operand is
//   appended: the operand reads the target, the target is reached through a pointer (a var
//   parameter may stand for any variable), or a later operand may assign variables;
// - when an operand may assign variables (it calls a script routine, or a routine with a var
//   parameter), the target's value is held before the operands run and put back after them, so
//   the pieces are appended to the value the target had when the statement began;
// - the target is a fixed place: a variable, a field, an element at a constant index, or an
//   element at a variable index when no operand may assign anything.
#include <algorithm>

#include "scriptengine/codegen.h"

namespace qorsv::script::compiler_internal {
namespace {

bool IsLiteral(const Expr* part) {
  if (part->kind == ExprKind::kConvert) part = static_cast<const ConvertExpr*>(part)->operand;
  return part->kind == ExprKind::kStrLit || part->kind == ExprKind::kIntLit;
}

// True when the expression reads `symbol` or calls a routine (which might read it).
bool MayReadSymbol(const Expr* expr, const Symbol* symbol) {
  switch (expr->kind) {
    case ExprKind::kVar:
      return static_cast<const VarExpr*>(expr)->symbol == symbol;
    case ExprKind::kCall:
      return true;
    case ExprKind::kField:
      return MayReadSymbol(static_cast<const FieldExpr*>(expr)->base, symbol);
    case ExprKind::kIndex: {
      auto* index = static_cast<const IndexExpr*>(expr);
      return MayReadSymbol(index->base, symbol) || MayReadSymbol(index->indices[0], symbol);
    }
    case ExprKind::kUnary:
      return MayReadSymbol(static_cast<const UnaryExpr*>(expr)->operand, symbol);
    case ExprKind::kBinary: {
      auto* binary = static_cast<const BinaryExpr*>(expr);
      return MayReadSymbol(binary->left, symbol) || MayReadSymbol(binary->right, symbol);
    }
    case ExprKind::kConvert:
      return MayReadSymbol(static_cast<const ConvertExpr*>(expr)->operand, symbol);
    case ExprKind::kSet:
    case ExprKind::kArrayCons:
      return true;
    default:
      return false;
  }
}

// True when evaluating the expression may assign a variable: it calls a script routine, or a
// native or library function with a var parameter. Built-in routines assign nothing.
bool AssignsAnything(const Expr* expr) {
  switch (expr->kind) {
    case ExprKind::kCall: {
      auto* call = static_cast<const CallExpr*>(expr);
      if (call->builtin < 0) {
        if (call->routine == nullptr || call->routine->kind == RoutineKind::kScript) return true;
        for (const ParamInfo& param : call->routine->params) {
          if (param.by_ref) return true;
        }
      }
      return std::any_of(call->args.begin(), call->args.end(), AssignsAnything);
    }
    case ExprKind::kField:
      return AssignsAnything(static_cast<const FieldExpr*>(expr)->base);
    case ExprKind::kIndex: {
      auto* index = static_cast<const IndexExpr*>(expr);
      return AssignsAnything(index->base) || AssignsAnything(index->indices[0]);
    }
    case ExprKind::kUnary:
      return AssignsAnything(static_cast<const UnaryExpr*>(expr)->operand);
    case ExprKind::kBinary: {
      auto* binary = static_cast<const BinaryExpr*>(expr);
      return AssignsAnything(binary->left) || AssignsAnything(binary->right);
    }
    case ExprKind::kConvert:
      return AssignsAnything(static_cast<const ConvertExpr*>(expr)->operand);
    case ExprKind::kSet:
      for (const SetElement& element : static_cast<const SetExpr*>(expr)->elements) {
        if (AssignsAnything(element.low) ||
            (element.high != nullptr && AssignsAnything(element.high))) {
          return true;
        }
      }
      return false;
    case ExprKind::kArrayCons: {
      auto* array = static_cast<const ArrayConsExpr*>(expr);
      return std::any_of(array->elements.begin(), array->elements.end(), AssignsAnything);
    }
    default:
      return false;
  }
}

// Whether the expression only reads variables and constants (no calls).
bool IsPlainValue(const Expr* expr) {
  switch (expr->kind) {
    case ExprKind::kIntLit:
    case ExprKind::kVar:
      return true;
    case ExprKind::kUnary:
      return IsPlainValue(static_cast<const UnaryExpr*>(expr)->operand);
    case ExprKind::kBinary:
      return IsPlainValue(static_cast<const BinaryExpr*>(expr)->left) &&
             IsPlainValue(static_cast<const BinaryExpr*>(expr)->right);
    case ExprKind::kConvert:
      return IsPlainValue(static_cast<const ConvertExpr*>(expr)->operand);
    default:
      return false;
  }
}

// The variable a target is part of, when the target is one place for the whole statement:
// fields and constant indices of it, and (`*movable` then set) elements at an index computed
// from variables, whose place holds only while nothing is assigned. nullptr for any other
// target.
const Symbol* TargetRoot(const Expr* expr, bool* movable) {
  for (;;) {
    switch (expr->kind) {
      case ExprKind::kVar:
        return static_cast<const VarExpr*>(expr)->symbol;
      case ExprKind::kField:
        expr = static_cast<const FieldExpr*>(expr)->base;
        break;
      case ExprKind::kIndex: {
        auto* index = static_cast<const IndexExpr*>(expr);
        const Expr* position = index->indices[0];
        TypeKind base = index->base->type->kind;
        if (base != TypeKind::kStaticArray && base != TypeKind::kDynArray) return nullptr;
        if (!IsPlainValue(position)) return nullptr;
        // A dynamic array's elements move when it is resized.
        if (position->kind != ExprKind::kIntLit || base == TypeKind::kDynArray) *movable = true;
        expr = index->base;
        break;
      }
      default:
        return nullptr;
    }
  }
}

// Whether two targets (or two of their index expressions) name the same place.
bool SamePlace(const Expr* a, const Expr* b) {
  if (a->kind != b->kind) return false;
  switch (a->kind) {
    case ExprKind::kVar:
      return static_cast<const VarExpr*>(a)->symbol == static_cast<const VarExpr*>(b)->symbol;
    case ExprKind::kIntLit:
      return static_cast<const IntLit*>(a)->value == static_cast<const IntLit*>(b)->value;
    case ExprKind::kUnary:
      return a->op == b->op && SamePlace(static_cast<const UnaryExpr*>(a)->operand,
                                         static_cast<const UnaryExpr*>(b)->operand);
    case ExprKind::kBinary:
      return a->op == b->op &&
             SamePlace(static_cast<const BinaryExpr*>(a)->left,
                       static_cast<const BinaryExpr*>(b)->left) &&
             SamePlace(static_cast<const BinaryExpr*>(a)->right,
                       static_cast<const BinaryExpr*>(b)->right);
    case ExprKind::kConvert:
      return static_cast<const ConvertExpr*>(a)->conv == static_cast<const ConvertExpr*>(b)->conv &&
             a->type == b->type &&
             SamePlace(static_cast<const ConvertExpr*>(a)->operand,
                       static_cast<const ConvertExpr*>(b)->operand);
    case ExprKind::kField:
      return static_cast<const FieldExpr*>(a)->field == static_cast<const FieldExpr*>(b)->field &&
             SamePlace(static_cast<const FieldExpr*>(a)->base,
                       static_cast<const FieldExpr*>(b)->base);
    case ExprKind::kIndex: {
      auto* x = static_cast<const IndexExpr*>(a);
      auto* y = static_cast<const IndexExpr*>(b);
      return SamePlace(x->indices[0], y->indices[0]) && SamePlace(x->base, y->base);
    }
    default:
      return false;
  }
}

}  // namespace

bool Codegen::MayAssign(const Expr* expr) { return AssignsAnything(expr); }

bool Codegen::IsCharPiece(const Expr* part) {
  return part->kind == ExprKind::kConvert &&
         static_cast<const ConvertExpr*>(part)->conv == Conv::kCharToString;
}

std::vector<Expr*> Codegen::ConcatParts(Expr* value) {
  std::vector<Expr*> parts;
  Expr* node = value;
  while (node->kind == ExprKind::kBinary && node->op == Op::kAdd &&
         node->type->kind == TypeKind::kString) {
    parts.push_back(static_cast<BinaryExpr*>(node)->right);
    node = static_cast<BinaryExpr*>(node)->left;
  }
  parts.push_back(node);
  std::reverse(parts.begin(), parts.end());
  return parts;
}

int32_t Codegen::OwnValue(Expr* part, int32_t value, bool is_char) {
  if (IsTemp(value) || IsLiteral(part)) return value;
  int32_t copy = Temp(is_char ? TempKind::kPlain : TempKind::kManaged);
  Ins(is_char ? kMov : kMovS, {copy, value});
  return copy;
}

// a + b + c...: the first two joined into a new string, which the others are appended to; a
// piece read from a variable is held first when a later piece may assign it.
int32_t Codegen::EvalConcat(BinaryExpr* binary, int32_t target) {
  std::vector<Expr*> parts = ConcatParts(binary);
  std::vector<bool> assigns_after(parts.size(), false);
  for (size_t k = parts.size() - 1; k-- > 0;) {
    assigns_after[k] = assigns_after[k + 1] || MayAssign(parts[k + 1]);
  }
  auto piece = [&](size_t k) {
    bool is_char = IsCharPiece(parts[k]);
    int32_t value = Eval(is_char ? static_cast<ConvertExpr*>(parts[k])->operand : parts[k]);
    return assigns_after[k] ? OwnValue(parts[k], value, is_char) : value;
  };
  int32_t dst = target != kNone && IsTemp(target) ? target : Temp(TempKind::kManaged);
  size_t next = 1;
  if (!IsCharPiece(parts[0]) && !IsCharPiece(parts[1])) {
    int32_t left = piece(0);
    int32_t right = piece(1);
    Ins(kConcat, {dst, left, right});
    next = 2;
  } else if (IsCharPiece(parts[0])) {
    Ins(kChrToS, {dst, piece(0)});
  } else {
    int32_t first = piece(0);
    Ins(IsTemp(first) ? kTake : kMovS, {dst, first});
  }
  for (size_t k = next; k < parts.size(); ++k) {
    int32_t value = piece(k);
    Ins(IsCharPiece(parts[k]) ? kAppendC : kAppend, {dst, value});
  }
  if (target == kNone || target == dst) return dst;
  Ins(kTake, {target, dst});
  return target;
}

bool Codegen::TryAppendInPlace(Expr* target, Expr* value) {
  if (value->kind != ExprKind::kBinary || value->op != Op::kAdd ||
      value->type->kind != TypeKind::kString || target->type->kind != TypeKind::kString) {
    return false;
  }
  bool movable = false;
  const Symbol* root = TargetRoot(target, &movable);
  if (root == nullptr) return false;
  std::vector<Expr*> parts = ConcatParts(value);
  if (!SamePlace(parts[0], target)) return false;
  parts.erase(parts.begin());
  // assigns_from[k]: some part from k on may assign variables.
  std::vector<bool> assigns_from(parts.size() + 1, false);
  for (size_t k = parts.size(); k-- > 0;)
    assigns_from[k] = assigns_from[k + 1] || MayAssign(parts[k]);
  const bool assigns = assigns_from[0];
  if (assigns && movable) return false;
  const bool through_pointer = root->by_ref || (root->level != 0 && root->level != routine_->level);

  // The place is computed once: it stays put while the parts run (see TargetRoot).
  Location location = Locate(target);
  int32_t place = location.direct ? location.cell : PointerTo(location);
  int32_t held = kNone;
  if (assigns) {
    held = Temp(TempKind::kManaged);
    if (location.direct)
      Ins(kMovS, {held, place});
    else
      Ins(kLoadPS, {held, place, 0});
  }
  std::vector<std::pair<int32_t, bool>> values;
  for (size_t k = 0; k < parts.size(); ++k) {
    Expr* part = parts[k];
    bool is_char = IsCharPiece(part);
    int32_t v = Eval(is_char ? static_cast<ConvertExpr*>(part)->operand : part);
    if (MayReadSymbol(part, root) || through_pointer || assigns_from[k + 1]) {
      v = OwnValue(part, v, is_char);
    }
    values.emplace_back(v, is_char);
  }
  if (held != kNone) Ins(location.direct ? kTake : kTakeP, {place, held});
  for (auto [v, is_char] : values) {
    Opcode code =
        location.direct ? (is_char ? kAppendC : kAppend) : (is_char ? kAppendCP : kAppendP);
    Ins(code, {place, v});
  }
  return true;
}

}  // namespace qorsv::script::compiler_internal

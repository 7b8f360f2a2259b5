// Constant folding of the checker: expressions of constants become literals.
#include <cmath>

#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {
namespace {

int Compare(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
int Compare(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }
int Compare(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool Holds(Op op, int c) {
  switch (op) {
    case Op::kEq:
      return c == 0;
    case Op::kNe:
      return c != 0;
    case Op::kLt:
      return c < 0;
    case Op::kGt:
      return c > 0;
    case Op::kLe:
      return c <= 0;
    case Op::kGe:
      return c >= 0;
    default:
      return false;
  }
}

}  // namespace

bool Checker::IsConst(const Expr* expr) const {
  switch (expr->kind) {
    case ExprKind::kIntLit:
    case ExprKind::kFloatLit:
    case ExprKind::kStrLit:
    case ExprKind::kSetConst:
    case ExprKind::kNil:
      return true;
    default:
      return false;
  }
}

Expr* Checker::ConstToExpr(const ConstValue& value, SourcePos pos) {
  const Type* type = value.type;
  if (type->IsOrdinal()) {
    auto* literal = arena_.New<IntLit>();
    literal->kind = ExprKind::kIntLit;
    literal->pos = pos;
    literal->type = type;
    literal->value = value.int_value;
    return literal;
  }
  switch (type->kind) {
    case TypeKind::kFloat: {
      auto* literal = arena_.New<FloatLit>();
      literal->kind = ExprKind::kFloatLit;
      literal->pos = pos;
      literal->type = type;
      literal->value = value.float_value;
      return literal;
    }
    case TypeKind::kString:
    case TypeKind::kPChar: {
      auto* literal = arena_.New<StrLit>();
      literal->kind = ExprKind::kStrLit;
      literal->pos = pos;
      literal->type = type;
      literal->value = arena_.Copy(value.string_value);
      return literal;
    }
    case TypeKind::kSet: {
      auto* literal = arena_.New<SetConstExpr>();
      literal->kind = ExprKind::kSetConst;
      literal->pos = pos;
      literal->type = type;
      for (int i = 0; i < 4; ++i) literal->bits[i] = value.set_bits[i];
      return literal;
    }
    default: {
      auto* nil = arena_.New<Expr>();
      nil->kind = ExprKind::kNil;
      nil->pos = pos;
      nil->type = types_.nil_type;
      return nil;
    }
  }
}

ConstValue Checker::EvalConst(Expr* expr, SourcePos pos) {
  ConstValue value;
  value.type = expr->type;
  switch (expr->kind) {
    case ExprKind::kIntLit:
      value.int_value = static_cast<IntLit*>(expr)->value;
      break;
    case ExprKind::kFloatLit:
      value.float_value = static_cast<FloatLit*>(expr)->value;
      break;
    case ExprKind::kStrLit:
      value.string_value = std::string(static_cast<StrLit*>(expr)->value);
      break;
    case ExprKind::kSetConst:
      for (int i = 0; i < 4; ++i) value.set_bits[i] = static_cast<SetConstExpr*>(expr)->bits[i];
      break;
    case ExprKind::kNil:
      break;
    default:
      Fail(pos, "Constant expression expected");
  }
  return value;
}

int64_t Checker::ConstInt(Expr* expr, SourcePos pos) {
  Expr* folded = Fold(CheckExpr(expr));
  if (folded->kind != ExprKind::kIntLit) Fail(pos, "Constant expression expected");
  return static_cast<IntLit*>(folded)->value;
}

Expr* Checker::Fold(Expr* expr) {
  auto make_int = [&](int64_t value, const Type* type) -> Expr* {
    auto* literal = arena_.New<IntLit>();
    literal->kind = ExprKind::kIntLit;
    literal->pos = expr->pos;
    literal->type = type;
    literal->value = type->IsOrdinal() ? WrapToClass(value, type->int_class) : value;
    return literal;
  };
  auto make_float = [&](double value, const Type* type) -> Expr* {
    auto* literal = arena_.New<FloatLit>();
    literal->kind = ExprKind::kFloatLit;
    literal->pos = expr->pos;
    literal->type = type;
    literal->value = value;
    return literal;
  };
  auto make_string = [&](std::string_view value, const Type* type) -> Expr* {
    auto* literal = arena_.New<StrLit>();
    literal->kind = ExprKind::kStrLit;
    literal->pos = expr->pos;
    literal->type = type;
    literal->value = arena_.Copy(value);
    return literal;
  };

  if (expr->kind == ExprKind::kConvert) {
    auto* convert = static_cast<ConvertExpr*>(expr);
    Expr* operand = convert->operand;
    if (!IsConst(operand)) return expr;
    switch (convert->conv) {
      case Conv::kIntToInt:
      case Conv::kNone:
        if (operand->kind != ExprKind::kIntLit) return expr;
        return make_int(static_cast<IntLit*>(operand)->value, convert->type);
      case Conv::kIntToFloat:
        return make_float(static_cast<double>(static_cast<IntLit*>(operand)->value), convert->type);
      case Conv::kFloatToFloat:
        return make_float(static_cast<float>(static_cast<FloatLit*>(operand)->value),
                          convert->type);
      case Conv::kCharToString: {
        char c = static_cast<char>(static_cast<IntLit*>(operand)->value);
        return make_string(std::string_view(&c, 1), convert->type);
      }
      case Conv::kStringToPChar:
      case Conv::kPCharToString:
        if (operand->kind != ExprKind::kStrLit) return expr;
        return make_string(static_cast<StrLit*>(operand)->value, convert->type);
      default:
        return expr;
    }
  }

  if (expr->kind == ExprKind::kUnary) {
    NoteLateFold(expr);
    auto* unary = static_cast<UnaryExpr*>(expr);
    Expr* operand = unary->operand;
    if (operand->kind == ExprKind::kIntLit) {
      int64_t v = static_cast<IntLit*>(operand)->value;
      if (unary->op == Op::kNeg)
        return make_int(static_cast<int64_t>(0ULL - static_cast<uint64_t>(v)), unary->type);
      if (unary->op == Op::kNot) {
        return unary->type->kind == TypeKind::kBoolean ? make_int(v == 0 ? 1 : 0, unary->type)
                                                       : make_int(~v, unary->type);
      }
    } else if (operand->kind == ExprKind::kFloatLit && unary->op == Op::kNeg) {
      return make_float(-static_cast<FloatLit*>(operand)->value, unary->type);
    }
    return expr;
  }

  if (expr->kind != ExprKind::kBinary) return expr;
  NoteLateFold(expr);
  auto* binary = static_cast<BinaryExpr*>(expr);
  Expr* left = binary->left;
  Expr* right = binary->right;
  if (!IsConst(left) || !IsConst(right)) return expr;
  Op op = binary->op;
  const Type* type = binary->type;

  if (op == Op::kIn) {
    if (left->kind != ExprKind::kIntLit || right->kind != ExprKind::kSetConst) return expr;
    int64_t v = static_cast<IntLit*>(left)->value;
    bool member =
        v >= 0 && v <= 255 && (static_cast<SetConstExpr*>(right)->bits[v >> 6] >> (v & 63)) & 1;
    return make_int(member ? 1 : 0, type);
  }
  if (left->kind == ExprKind::kIntLit && right->kind == ExprKind::kIntLit) {
    int64_t a = static_cast<IntLit*>(left)->value;
    int64_t b = static_cast<IntLit*>(right)->value;
    uint64_t ua = static_cast<uint64_t>(a);
    uint64_t ub = static_cast<uint64_t>(b);
    // Constant sums and products that leave their type's range become Int64 constants.
    auto widen = [&](int64_t value) -> Expr* {
      if (type->kind == TypeKind::kInteger && type->int_class != IntClass::kS64 &&
          WrapToClass(value, type->int_class) != value) {
        return make_int(value, types_.int64_type);
      }
      return make_int(value, type);
    };
    switch (op) {
      case Op::kAdd:
        return widen(static_cast<int64_t>(ua + ub));
      case Op::kSub:
        return widen(static_cast<int64_t>(ua - ub));
      case Op::kMul:
        return widen(static_cast<int64_t>(ua * ub));
      case Op::kIntDiv:
      case Op::kMod:
        if (b == 0) Fail(binary->pos, "Division by zero");
        if (b == -1) return make_int(op == Op::kMod ? 0 : static_cast<int64_t>(0 - ua), type);
        return make_int(op == Op::kIntDiv ? a / b : a % b, type);
      case Op::kAnd:
        return make_int(type->kind == TypeKind::kBoolean ? ((a != 0) && (b != 0)) : (a & b), type);
      case Op::kOr:
        return make_int(type->kind == TypeKind::kBoolean ? ((a != 0) || (b != 0)) : (a | b), type);
      case Op::kXor:
        return make_int(type->kind == TypeKind::kBoolean ? ((a != 0) != (b != 0)) : (a ^ b), type);
      // Shift counts wrap at the operand's width, as the machine's shifts do.
      case Op::kShl: {
        int mask = type->int_class == IntClass::kS64 ? 63 : 31;
        return make_int(static_cast<int64_t>(ua << (b & mask)), type);
      }
      case Op::kShr: {
        bool narrow = type->int_class != IntClass::kS64;
        uint64_t operand = narrow ? (ua & 0xFFFFFFFFULL) : ua;
        return make_int(static_cast<int64_t>(operand >> (b & (narrow ? 31 : 63))), type);
      }
      default:
        if (Holds(op, 0) || Holds(op, 1) || Holds(op, -1))
          return make_int(Holds(op, Compare(a, b)), type);
        return expr;
    }
  }
  if (left->kind == ExprKind::kFloatLit && right->kind == ExprKind::kFloatLit) {
    double a = static_cast<FloatLit*>(left)->value;
    double b = static_cast<FloatLit*>(right)->value;
    switch (op) {
      case Op::kAdd:
        return make_float(a + b, type);
      case Op::kSub:
        return make_float(a - b, type);
      case Op::kMul:
        return make_float(a * b, type);
      case Op::kDivide:
        if (b == 0) Fail(binary->pos, "Division by zero");
        return make_float(a / b, type);
      default:
        return make_int(Holds(op, Compare(a, b)), type);
    }
  }
  if (left->kind == ExprKind::kStrLit && right->kind == ExprKind::kStrLit) {
    std::string_view a = static_cast<StrLit*>(left)->value;
    std::string_view b = static_cast<StrLit*>(right)->value;
    if (op == Op::kAdd) {
      std::string joined(a);
      joined.append(b);
      return make_string(joined, type);
    }
    return make_int(Holds(op, Compare(a, b)), type);
  }
  if (left->kind == ExprKind::kSetConst && right->kind == ExprKind::kSetConst) {
    const uint64_t* a = static_cast<SetConstExpr*>(left)->bits;
    const uint64_t* b = static_cast<SetConstExpr*>(right)->bits;
    if (type->kind == TypeKind::kSet) {
      auto* folded = arena_.New<SetConstExpr>();
      folded->kind = ExprKind::kSetConst;
      folded->pos = expr->pos;
      folded->type = type;
      for (int i = 0; i < 4; ++i) {
        folded->bits[i] = op == Op::kAdd   ? (a[i] | b[i])
                          : op == Op::kSub ? (a[i] & ~b[i])
                                           : (a[i] & b[i]);
      }
      return folded;
    }
    bool result = true;
    for (int i = 0; i < 4; ++i) {
      if (op == Op::kEq) result = result && a[i] == b[i];
      if (op == Op::kNe) result = result && a[i] == b[i];
      if (op == Op::kLe) result = result && (a[i] & ~b[i]) == 0;
      if (op == Op::kGe) result = result && (b[i] & ~a[i]) == 0;
    }
    return make_int(op == Op::kNe ? !result : result, type);
  }
  return expr;
}

}  // namespace qorsv::script::compiler_internal

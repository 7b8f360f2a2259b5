// Expressions of the code generator.
#include "scriptengine/codegen.h"

namespace qorsv::script::compiler_internal {
namespace {

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

bool IsIntConst32(const Expr* expr) {
  return expr->kind == ExprKind::kIntLit && FitsInt32(static_cast<const IntLit*>(expr)->value);
}

int64_t IntValue(const Expr* expr) { return static_cast<const IntLit*>(expr)->value; }

// The comparison that holds when `op` does not.
Op Negate(Op op) {
  switch (op) {
    case Op::kEq:
      return Op::kNe;
    case Op::kNe:
      return Op::kEq;
    case Op::kLt:
      return Op::kGe;
    case Op::kGe:
      return Op::kLt;
    case Op::kGt:
      return Op::kLe;
    case Op::kLe:
      return Op::kGt;
    default:
      return op;
  }
}

// The compare-and-jump of `op`; `back`: one that closes a loop (it counts a step).
Opcode JumpFor(Op op, bool immediate, bool back) {
  int32_t code;
  switch (op) {
    case Op::kEq:
      code = kJEq;
      break;
    case Op::kNe:
      code = kJNe;
      break;
    case Op::kLt:
      code = kJLt;
      break;
    case Op::kLe:
      code = kJLe;
      break;
    case Op::kGt:
      code = kJGt;
      break;
    default:
      code = kJGe;
      break;
  }
  if (immediate) code += kJEqI - kJEq;
  if (back) code += kJEqB - kJEq;
  return static_cast<Opcode>(code);
}

bool IsOrdinalCompare(const BinaryExpr* binary) {
  const Type* type = binary->left->type;
  return type->IsOrdinal() || type->kind == TypeKind::kClass ||
         type->kind == TypeKind::kInterface || type->kind == TypeKind::kNil ||
         type->kind == TypeKind::kDynArray;
}

}  // namespace

void Codegen::Wrap(int32_t cell, const Type* type) {
  if (type->IsOrdinal() && type->int_class != IntClass::kS64) {
    Ins(kWrap, {cell, cell, static_cast<int32_t>(type->int_class)});
  }
}

void Codegen::EvalInto(Expr* expr, int32_t target) {
  int32_t value = Eval(expr, target);
  if (value == target) return;
  if (IsManaged(expr->type) && IsTemp(value))
    Ins(kTake, {target, value});
  else
    Move(expr->type, target, value);
}

int32_t Codegen::Eval(Expr* expr, int32_t target) {
  switch (expr->kind) {
    case ExprKind::kIntLit: {
      int64_t value = IntValue(expr);
      if (target == kNone) return ConstInt(value);
      if (FitsInt32(value))
        Ins(kMovI, {target, static_cast<int32_t>(value)});
      else
        Ins(kMov, {target, ConstInt(value)});
      return target;
    }
    case ExprKind::kFloatLit: {
      int32_t constant = ConstFloat(static_cast<FloatLit*>(expr)->value);
      if (target == kNone) return constant;
      Ins(kMov, {target, constant});
      return target;
    }
    case ExprKind::kStrLit: {
      int32_t constant = ConstString(static_cast<StrLit*>(expr)->value);
      if (target == kNone) return constant;
      Ins(kMovS, {target, constant});
      return target;
    }
    case ExprKind::kNil: {
      if (target == kNone) return ConstInt(0);
      if (IsManaged(expr->type))
        Ins(kMovS, {target, ConstInt(0)});
      else
        Ins(kMovI, {target, 0});
      return target;
    }
    case ExprKind::kSetConst: {
      int32_t constant = ConstSet(static_cast<SetConstExpr*>(expr)->bits);
      if (target == kNone) return constant;
      Ins(kMovN, {target, constant, kSetCells});
      return target;
    }
    case ExprKind::kSet:
      return EvalSet(static_cast<SetExpr*>(expr), target);
    case ExprKind::kArrayCons:
      return EvalArrayCons(static_cast<ArrayConsExpr*>(expr), target);
    case ExprKind::kVar:
    case ExprKind::kField:
      if (IsComposite(expr->type)) throw CompileError(expr->pos, "Type mismatch");
      return Load(Locate(expr), expr->type, target);
    case ExprKind::kIndex:
      return EvalIndex(static_cast<IndexExpr*>(expr), target);
    case ExprKind::kCall:
      return EvalCall(static_cast<CallExpr*>(expr), target);
    case ExprKind::kUnary:
      return EvalUnary(static_cast<UnaryExpr*>(expr), target);
    case ExprKind::kBinary:
      return EvalBinary(static_cast<BinaryExpr*>(expr), target);
    case ExprKind::kConvert:
      return EvalConvert(static_cast<ConvertExpr*>(expr), target);
    default:
      throw CompileError(expr->pos, "Expression expected");
  }
}

int32_t Codegen::EvalIndex(IndexExpr* index, int32_t target) {
  const Type* base_type = index->base->type;
  Expr* position = index->indices[0];
  const Type* type = index->type;
  if (base_type->kind == TypeKind::kString || base_type->kind == TypeKind::kPChar) {
    int32_t text = Eval(index->base);
    int32_t at = Eval(position);
    int32_t dst = Dest(target, type);
    Ins(kStrIdx, {dst, text, at});
    return dst;
  }
  bool single_cell = type->cells == 1 && !IsComposite(type);
  if (base_type->kind == TypeKind::kDynArray && single_cell) {
    int32_t elements = Eval(index->base);
    int32_t at = Eval(position);
    int32_t dst = Dest(target, type);
    Ins(IsManaged(type) ? kDaLoadS : kDaLoad, {dst, elements, at});
    return dst;
  }
  if (base_type->kind == TypeKind::kStaticArray && single_cell &&
      position->kind != ExprKind::kIntLit) {
    Location base = Locate(index->base);
    if (base.direct) {
      int32_t at = Eval(position);
      int32_t dst = Dest(target, type);
      Ins(IsManaged(type) ? kSaLoadS : kSaLoad,
          {dst, base.cell, at, static_cast<int32_t>(base_type->low),
           static_cast<int32_t>(base_type->Count())});
      return dst;
    }
  }
  if (IsComposite(type)) throw CompileError(index->pos, "Type mismatch");
  return Load(Locate(index), type, target);
}

int32_t Codegen::EvalUnary(UnaryExpr* unary, int32_t target) {
  const Type* type = unary->type;
  int32_t operand = Eval(unary->operand);
  int32_t dst = Dest(target, type);
  if (unary->op == Op::kNeg) {
    if (type->kind == TypeKind::kFloat) {
      Ins(kNegF, {dst, operand});
    } else if (type->kind == TypeKind::kVariant) {
      Ins(kVarNeg, {dst, operand});
    } else {
      Ins(kNeg64, {dst, operand});
      Wrap(dst, type);
    }
  } else if (type->kind == TypeKind::kBoolean) {
    Ins(kNotB, {dst, operand});
  } else {
    Ins(kNot, {dst, operand});
    Wrap(dst, type);
  }
  return dst;
}

int32_t Codegen::EvalBinary(BinaryExpr* binary, int32_t target) {
  switch (binary->op) {
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe:
    case Op::kIn:
      return EvalComparison(binary, target);
    case Op::kAnd:
    case Op::kOr:
      if (binary->type->kind == TypeKind::kBoolean) {
        // Short-circuit: the right operand is evaluated only when it decides.
        int32_t result = Temp(TempKind::kPlain);
        int32_t done = NewLabel();
        EvalInto(binary->left, result);
        Jump(binary->op == Op::kAnd ? kJF : kJT, {result}, done);
        EvalInto(binary->right, result);
        Bind(done);
        if (target == kNone) return result;
        Ins(kMov, {target, result});
        return target;
      }
      return EvalArith(binary, target);
    case Op::kAdd:
      if (binary->type->kind == TypeKind::kString) return EvalConcat(binary, target);
      return EvalArith(binary, target);
    default:
      return EvalArith(binary, target);
  }
}

int32_t Codegen::EvalArith(BinaryExpr* binary, int32_t target) {
  const Type* type = binary->type;
  Op op = binary->op;
  if (type->kind == TypeKind::kSet) {
    int32_t left = Eval(binary->left);
    int32_t right = Eval(binary->right);
    int32_t dst = target != kNone ? target : Temp(TempKind::kSet);
    Opcode code = op == Op::kAdd ? kSetUnion : op == Op::kSub ? kSetDiff : kSetInter;
    Ins(code, {dst, left, right});
    return dst;
  }
  if (type->kind == TypeKind::kVariant) {
    int32_t left = Eval(binary->left);
    int32_t right = Eval(binary->right);
    int32_t dst = Dest(target, type);
    VarOperator code = op == Op::kAdd      ? kVarAdd
                       : op == Op::kSub    ? kVarSub
                       : op == Op::kMul    ? kVarMul
                       : op == Op::kDivide ? kVarDivide
                       : op == Op::kIntDiv ? kVarIntDiv
                                           : kVarMod;
    Ins(kVarOp, {dst, left, right, code});
    return dst;
  }
  if (type->kind == TypeKind::kFloat) {
    int32_t left = Eval(binary->left);
    int32_t right = Eval(binary->right);
    int32_t dst = Dest(target, type);
    Opcode code = op == Op::kAdd ? kAddF : op == Op::kSub ? kSubF : op == Op::kMul ? kMulF : kDivF;
    Ins(code, {dst, left, right});
    return dst;
  }
  IntClass int_class = type->int_class;
  bool wide = int_class == IntClass::kS64 || int_class == IntClass::kU32;
  Expr* left_expr = binary->left;
  Expr* right_expr = binary->right;
  if ((op == Op::kAdd || op == Op::kMul) && IsIntConst32(left_expr) &&
      !IsIntConst32(right_expr)) {
    std::swap(left_expr, right_expr);  // 7 * i as i * 7: the constant becomes an immediate
  }
  int32_t left = Eval(left_expr);
  if ((op == Op::kAdd || op == Op::kSub) && IsIntConst32(right_expr)) {
    int64_t amount = IntValue(right_expr);
    if (op == Op::kSub) amount = -amount;
    if (FitsInt32(amount)) {
      int32_t dst = Dest(target, type);
      Ins(wide ? kAdd64I : kAdd32I, {dst, left, static_cast<int32_t>(amount)});
      if (int_class == IntClass::kU32) Wrap(dst, type);
      return dst;
    }
  }
  if (op == Op::kMul && IsIntConst32(right_expr)) {
    int32_t dst = Dest(target, type);
    Ins(wide ? kMul64I : kMul32I, {dst, left, static_cast<int32_t>(IntValue(right_expr))});
    if (int_class == IntClass::kU32) Wrap(dst, type);
    return dst;
  }
  if ((op == Op::kIntDiv || op == Op::kMod) && IsIntConst32(right_expr) &&
      IntValue(right_expr) != 0 && IntValue(right_expr) != -1) {
    int32_t dst = Dest(target, type);
    Opcode code = op == Op::kIntDiv ? (wide ? kDivI : kDivI32) : (wide ? kModI : kModI32);
    Ins(code, {dst, left, static_cast<int32_t>(IntValue(right_expr))});
    return dst;
  }
  int32_t right = Eval(right_expr);
  int32_t dst = Dest(target, type);
  Opcode code;
  switch (op) {
    case Op::kAdd:
      code = wide ? kAdd64 : kAdd32;
      break;
    case Op::kSub:
      code = wide ? kSub64 : kSub32;
      break;
    case Op::kMul:
      code = wide ? kMul64 : kMul32;
      break;
    case Op::kIntDiv:
      code = kDiv;
      break;
    case Op::kMod:
      code = kMod;
      break;
    case Op::kAnd:
      code = kAnd;
      break;
    case Op::kOr:
      code = kOr;
      break;
    case Op::kXor:
      code = kXor;
      break;
    case Op::kShl:
      code = int_class == IntClass::kS64 ? kShl64 : kShl32;
      break;
    case Op::kShr:
      code = int_class == IntClass::kS64 ? kShr64 : kShr32;
      break;
    default:
      throw CompileError(binary->pos, "Type mismatch");
  }
  Ins(code, {dst, left, right});
  bool needs_wrap =
      int_class == IntClass::kU32
          ? (op == Op::kAdd || op == Op::kSub || op == Op::kMul || op == Op::kShl || op == Op::kShr)
          : (int_class == IntClass::kS32 && op == Op::kIntDiv);
  if (needs_wrap) Wrap(dst, type);
  return dst;
}

int32_t Codegen::EvalComparison(BinaryExpr* binary, int32_t target) {
  int32_t dst = Dest(target, types_.boolean_type);
  Op op = binary->op;
  if (op == Op::kIn) {
    int32_t element = Eval(binary->left);
    int32_t set = Eval(binary->right);
    Ins(kSetIn, {dst, element, set});
    return dst;
  }
  const Type* type = binary->left->type;
  Expr* left_expr = binary->left;
  Expr* right_expr = binary->right;
  if (op == Op::kGt || op == Op::kGe) {
    std::swap(left_expr, right_expr);
    op = op == Op::kGt ? Op::kLt : Op::kLe;
  }
  int32_t left = Eval(left_expr);
  int32_t right = Eval(right_expr);
  if (type->kind == TypeKind::kVariant) {
    VarOperator code = op == Op::kEq   ? kVarEq
                       : op == Op::kNe ? kVarNe
                       : op == Op::kLt ? kVarLt
                                       : kVarLe;
    Ins(kVarCmp, {dst, left, right, code});
  } else if (type->kind == TypeKind::kSet) {
    if (op == Op::kLe) {
      Ins(kSetLe, {dst, left, right});
    } else {
      Ins(kSetEq, {dst, left, right});
      if (op == Op::kNe) Ins(kNotB, {dst, dst});
    }
  } else if (type->kind == TypeKind::kFloat) {
    Ins(op == Op::kEq   ? kEqF
        : op == Op::kNe ? kNeF
        : op == Op::kLt ? kLtF
                        : kLeF,
        {dst, left, right});
  } else if (type->kind == TypeKind::kString || type->kind == TypeKind::kPChar) {
    Ins(op == Op::kEq   ? kEqS
        : op == Op::kNe ? kNeS
        : op == Op::kLt ? kLtS
                        : kLeS,
        {dst, left, right});
  } else {
    Ins(op == Op::kEq ? kEq : op == Op::kNe ? kNe : op == Op::kLt ? kLt : kLe, {dst, left, right});
  }
  return dst;
}

int32_t Codegen::EvalConvert(ConvertExpr* convert, int32_t target) {
  const Type* type = convert->type;
  Expr* operand = convert->operand;
  switch (convert->conv) {
    case Conv::kNone:
    case Conv::kStringToPChar:
    case Conv::kPCharToString:
      return Eval(operand, target);
    case Conv::kIntToInt: {
      int32_t value = Eval(operand);
      int32_t dst = Dest(target, type);
      if (type->int_class == IntClass::kS64)
        Ins(kMov, {dst, value});
      else
        Ins(kWrap, {dst, value, static_cast<int32_t>(type->int_class)});
      return dst;
    }
    case Conv::kIntToFloat:
    case Conv::kFloatToFloat:
    case Conv::kCharToString: {
      int32_t value = Eval(operand);
      int32_t dst = Dest(target, type);
      Opcode code = convert->conv == Conv::kIntToFloat     ? kI2F
                    : convert->conv == Conv::kFloatToFloat ? kToSingle
                                                           : kChrToS;
      Ins(code, {dst, value});
      return dst;
    }
    case Conv::kToVariant: {
      const Type* source = operand->type;
      int32_t kind = source->kind == TypeKind::kFloat     ? kVarKindFloat
                     : source->kind == TypeKind::kBoolean ? kVarKindBool
                     : source->kind == TypeKind::kChar    ? kVarKindChar
                     : source->IsOrdinal()                ? kVarKindInt
                                                          : kVarKindString;
      int32_t value = Eval(operand);
      int32_t dst = Dest(target, type);
      Ins(kToVar, {dst, value, kind});
      return dst;
    }
    case Conv::kFromVariant: {
      int32_t kind = type->kind == TypeKind::kFloat     ? kVarKindFloat
                     : type->kind == TypeKind::kBoolean ? kVarKindBool
                     : type->kind == TypeKind::kChar    ? kVarKindChar
                     : type->IsOrdinal()                ? kVarKindInt
                                                        : kVarKindString;
      int32_t value = Eval(operand);
      int32_t dst = Dest(target, type);
      Ins(kFromVar, {dst, value, kind});
      if (kind == kVarKindInt) Wrap(dst, type);
      return dst;
    }
    case Conv::kStaticToOpenArray: {
      int32_t source = AddressOfComposite(operand);
      int32_t dst = Dest(target, type);
      const Type* array = operand->type;
      Ins(kDaFromStatic,
          {dst, source, static_cast<int32_t>(array->Count()), RttiFor(array->element)});
      return dst;
    }
  }
  throw CompileError(convert->pos, "Type mismatch");
}

int32_t Codegen::EvalSet(SetExpr* set, int32_t target) {
  int32_t dst = Temp(TempKind::kSet);
  Ins(kSetClear, {dst});
  for (const SetElement& element : set->elements) {
    int32_t low = Eval(element.low);
    if (element.high != nullptr) {
      Ins(kSetRange, {dst, low, Eval(element.high)});
    } else {
      Ins(kSetIncl, {dst, low});
    }
  }
  if (target == kNone) return dst;
  Ins(kMovN, {target, dst, kSetCells});
  return target;
}

int32_t Codegen::EvalArrayCons(ArrayConsExpr* array, int32_t target) {
  const Type* element = array->type->element;
  int32_t elements = Temp(TempKind::kManaged);
  int32_t pointer = Temp(TempKind::kPlain);
  Ins(kLea, {pointer, elements});
  Ins(kDaSetLen, {pointer, ConstInt(array->elements.size), RttiFor(element)});
  for (uint32_t i = 0; i < array->elements.size; ++i) {
    int32_t index = ConstInt(i);
    Expr* value = array->elements[i];
    if (IsComposite(element)) {
      int32_t source = AddressOfComposite(value);
      int32_t slot = Temp(TempKind::kPlain);
      Ins(kDaAddr, {slot, elements, index});
      Ins(kCopy, {slot, source, RttiFor(element)});
    } else if (element->cells == 1) {
      Ins(IsManaged(element) ? kDaStoreS : kDaStore, {elements, index, Eval(value)});
    } else {
      int32_t slot = Temp(TempKind::kPlain);
      int32_t v = Eval(value);
      Ins(kDaAddr, {slot, elements, index});
      Ins(kStorePN, {slot, 0, v, element->cells});
    }
  }
  if (target == kNone) return elements;
  Ins(kTake, {target, elements});
  return target;
}

// Jumps to `label` when `expr` (a Boolean) is `when`; falls through otherwise. `back`: the label
// is the top of a loop, so the jump counts a step.
void Codegen::CondJump(Expr* expr, bool when, int32_t label, bool back) {
  if (expr->kind == ExprKind::kIntLit) {
    if ((IntValue(expr) != 0) == when) Jump(back ? kJmpBack : kJmp, {}, label);
    return;
  }
  if (expr->kind == ExprKind::kUnary && expr->op == Op::kNot &&
      expr->type->kind == TypeKind::kBoolean) {
    CondJump(static_cast<UnaryExpr*>(expr)->operand, !when, label, back);
    return;
  }
  if (expr->kind == ExprKind::kBinary) {
    auto* binary = static_cast<BinaryExpr*>(expr);
    Op op = binary->op;
    if ((op == Op::kAnd || op == Op::kOr) && binary->type->kind == TypeKind::kBoolean) {
      bool is_and = op == Op::kAnd;
      if (when != is_and) {
        // and/false, or/true: either operand decides.
        CondJump(binary->left, when, label, back);
        CondJump(binary->right, when, label, back);
      } else {
        int32_t skip = NewLabel();
        CondJump(binary->left, !when, skip);
        CondJump(binary->right, when, label, back);
        Bind(skip);
      }
      return;
    }
    if ((op == Op::kEq || op == Op::kNe || op == Op::kLt || op == Op::kGt || op == Op::kLe ||
         op == Op::kGe) &&
        IsOrdinalCompare(binary)) {
      Op jump_op = when ? op : Negate(op);
      int32_t left = Eval(binary->left);
      if (IsIntConst32(binary->right)) {
        Jump(JumpFor(jump_op, true, back),
             {left, static_cast<int32_t>(IntValue(binary->right))}, label);
      } else {
        int32_t right = Eval(binary->right);
        Jump(JumpFor(jump_op, false, back), {left, right}, label);
      }
      return;
    }
  }
  int32_t value = Eval(expr);
  Jump(when ? (back ? kJTBack : kJT) : (back ? kJFBack : kJF), {value}, label);
}

}  // namespace qorsv::script::compiler_internal

// Built-in routines of the checker: routines that take any type or a variable.
#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {
namespace {

// Byte sizes as scripts see them (32-bit pointers and references, no padding).
int64_t ByteSize(const Type* type) {
  switch (type->kind) {
    case TypeKind::kInteger:
    case TypeKind::kEnum:
      switch (type->int_class) {
        case IntClass::kS8:
        case IntClass::kU8:
          return 1;
        case IntClass::kS16:
        case IntClass::kU16:
          return 2;
        case IntClass::kS32:
        case IntClass::kU32:
          return 4;
        case IntClass::kS64:
          return 8;
      }
      return 4;
    case TypeKind::kBoolean:
    case TypeKind::kChar:
      return 1;
    case TypeKind::kFloat:
      return type->float_class == FloatClass::kSingle     ? 4
             : type->float_class == FloatClass::kExtended ? 10
                                                          : 8;
    case TypeKind::kVariant:
      return 16;
    case TypeKind::kSet:
      return 32;
    case TypeKind::kStaticArray:
      return type->Count() * ByteSize(type->element);
    case TypeKind::kRecord: {
      int64_t size = 0;
      for (const Field& field : type->fields) size += ByteSize(field.type);
      return size;
    }
    default:
      return 4;
  }
}

}  // namespace

Expr* Checker::CheckBuiltin(CallExpr* call, Builtin builtin) {
  SourcePos pos = call->pos;
  auto arg_count = [&](size_t low, size_t high) {
    if (call->args.size < low || call->args.size > high) Fail(pos, "Invalid number of parameters");
  };
  auto make_int = [&](int64_t value, const Type* type) -> Expr* {
    auto* literal = arena_.New<IntLit>();
    literal->kind = ExprKind::kIntLit;
    literal->pos = pos;
    literal->type = type;
    literal->value = WrapToClass(value, type->int_class);
    return literal;
  };
  auto arg = [&](size_t i) -> Expr*& { return call->args[i]; };
  call->builtin = static_cast<int>(builtin);

  switch (builtin) {
    case Builtin::kLength:
    case Builtin::kGetArrayLength: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->type;
      if (arg(0)->kind == ExprKind::kStrLit) {
        return make_int(static_cast<int64_t>(static_cast<StrLit*>(arg(0))->value.size()),
                        types_.integer_type);
      }
      if (type->kind == TypeKind::kChar) return make_int(1, types_.integer_type);
      if (type->kind == TypeKind::kStaticArray) return make_int(type->Count(), types_.integer_type);
      if (type->kind != TypeKind::kString && type->kind != TypeKind::kPChar &&
          type->kind != TypeKind::kDynArray) {
        TypeMismatch(arg(0)->pos);
      }
      call->type = types_.integer_type;
      return call;
    }
    case Builtin::kSetLength:
    case Builtin::kSetArrayLength: {
      arg_count(2, 2);
      arg(0) = CheckLValue(CheckExpr(arg(0)), true);
      const Type* type = arg(0)->type;
      if (type->kind != TypeKind::kString && type->kind != TypeKind::kDynArray) {
        TypeMismatch(arg(0)->pos);
      }
      arg(1) = Coerce(CheckExpr(arg(1)), types_.integer_type, arg(1)->pos);
      call->type = types_.void_type;
      return call;
    }
    case Builtin::kHigh:
    case Builtin::kLow: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->kind == ExprKind::kTypeRef
                             ? static_cast<TypeRefExpr*>(arg(0))->named
                             : arg(0)->type;
      bool high = builtin == Builtin::kHigh;
      if (type->IsOrdinal()) return make_int(high ? type->high : type->low, type);
      if (type->kind == TypeKind::kStaticArray) {
        return make_int(high ? type->high : type->low, type->index);
      }
      if (arg(0)->kind == ExprKind::kTypeRef) TypeMismatch(arg(0)->pos);
      if (type->kind == TypeKind::kDynArray) {
        if (!high) return make_int(0, types_.integer_type);
      } else if (type->kind == TypeKind::kString || type->kind == TypeKind::kPChar) {
        if (!high) return make_int(1, types_.integer_type);
      } else {
        TypeMismatch(arg(0)->pos);
      }
      call->type = types_.integer_type;
      return call;
    }
    case Builtin::kInc:
    case Builtin::kDec: {
      arg_count(1, 2);
      arg(0) = CheckLValue(CheckExpr(arg(0)), false);
      if (!arg(0)->type->IsOrdinal() || arg(0)->type->kind == TypeKind::kBoolean) {
        TypeMismatch(arg(0)->pos);
      }
      if (call->args.size == 2) {
        arg(1) = CheckExpr(arg(1));
        if (arg(1)->type->kind != TypeKind::kInteger) TypeMismatch(arg(1)->pos);
      }
      call->type = types_.void_type;
      return call;
    }
    case Builtin::kOrd: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->type;
      if (!type->IsOrdinal()) TypeMismatch(arg(0)->pos);
      const Type* result = type->int_class == IntClass::kS64   ? types_.int64_type
                           : type->int_class == IntClass::kU32 ? types_.cardinal_type
                                                               : types_.integer_type;
      if (arg(0)->kind == ExprKind::kIntLit)
        return make_int(static_cast<IntLit*>(arg(0))->value, result);
      return MakeConvert(arg(0), result, Conv::kNone);
    }
    case Builtin::kChr: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      if (arg(0)->type->kind != TypeKind::kInteger) TypeMismatch(arg(0)->pos);
      if (arg(0)->kind == ExprKind::kIntLit)
        return make_int(static_cast<IntLit*>(arg(0))->value, types_.char_type);
      return MakeConvert(arg(0), types_.char_type, Conv::kIntToInt);
    }
    case Builtin::kSucc:
    case Builtin::kPred: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->type;
      if (!type->IsOrdinal()) TypeMismatch(arg(0)->pos);
      int64_t step = builtin == Builtin::kSucc ? 1 : -1;
      if (arg(0)->kind == ExprKind::kIntLit)
        return make_int(static_cast<IntLit*>(arg(0))->value + step, type);
      call->type = type;
      return call;
    }
    case Builtin::kOdd: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      if (arg(0)->type->kind != TypeKind::kInteger) TypeMismatch(arg(0)->pos);
      if (arg(0)->kind == ExprKind::kIntLit) {
        return make_int(static_cast<IntLit*>(arg(0))->value & 1, types_.boolean_type);
      }
      call->type = types_.boolean_type;
      return call;
    }
    case Builtin::kSizeOf: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->kind == ExprKind::kTypeRef
                             ? static_cast<TypeRefExpr*>(arg(0))->named
                             : arg(0)->type;
      return make_int(ByteSize(type), types_.integer_type);
    }
    case Builtin::kAssigned: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      TypeKind kind = arg(0)->type->kind;
      if (kind != TypeKind::kClass && kind != TypeKind::kInterface && kind != TypeKind::kDynArray &&
          kind != TypeKind::kPChar && kind != TypeKind::kString && kind != TypeKind::kNil &&
          kind != TypeKind::kInteger) {
        TypeMismatch(arg(0)->pos);
      }
      call->type = types_.boolean_type;
      return call;
    }
    case Builtin::kInclude:
    case Builtin::kExclude: {
      arg_count(2, 2);
      arg(0) = CheckLValue(CheckExpr(arg(0)), false);
      const Type* set = arg(0)->type;
      if (set->kind != TypeKind::kSet || set->element == nullptr) TypeMismatch(arg(0)->pos);
      arg(1) = Coerce(CheckExpr(arg(1)), RootOrdinal(set->element), arg(1)->pos);
      call->type = types_.void_type;
      return call;
    }
    case Builtin::kAbs:
    case Builtin::kSqr: {
      arg_count(1, 1);
      arg(0) = CheckExpr(arg(0));
      const Type* type = arg(0)->type;
      if (type->kind == TypeKind::kInteger) {
        call->type = builtin == Builtin::kAbs ? ArithmeticType(type, types_.integer_type)
                                              : ArithmeticType(type, type);
        if (arg(0)->kind == ExprKind::kIntLit) {
          int64_t v = static_cast<IntLit*>(arg(0))->value;
          uint64_t u = static_cast<uint64_t>(v);
          return make_int(builtin == Builtin::kAbs ? (v < 0 ? static_cast<int64_t>(0 - u) : v)
                                                   : static_cast<int64_t>(u * u),
                          call->type);
        }
      } else if (type->kind == TypeKind::kFloat || type->kind == TypeKind::kVariant) {
        arg(0) = Coerce(arg(0), types_.extended_type, arg(0)->pos);
        call->type = types_.extended_type;
      } else {
        TypeMismatch(arg(0)->pos);
      }
      return call;
    }
    case Builtin::kCount:
      break;
  }
  Fail(pos, "Syntax error");
}

}  // namespace qorsv::script::compiler_internal

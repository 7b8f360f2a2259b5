// Types of the checker: resolving written types, compatibility and implicit conversions.
#include <algorithm>

#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {

const Type* Checker::RootOrdinal(const Type* type) const {
  return type->element != nullptr && type->IsOrdinal() ? type->element : type;
}

const Type* Checker::ResolveOrdinalIndex(TypeExpr* expr) {
  const Type* type = ResolveType(expr);
  if (!type->IsOrdinal()) Fail(expr->pos, "Ordinal type expected");
  return type;
}

const Type* Checker::ResolveType(TypeExpr* expr) {
  switch (expr->kind) {
    case TypeExprKind::kNamed: {
      auto* named = static_cast<NamedTypeExpr*>(expr);
      Symbol* symbol = Lookup(named->ident);
      if (symbol == nullptr) {
        Fail(expr->pos, "Unknown identifier '" + Spell(named->spelling, named->ident) + "'");
      }
      if (symbol->kind != SymbolKind::kType) Fail(expr->pos, "Type expected");
      return symbol->type;
    }
    case TypeExprKind::kShortString:
      return types_.string_type;
    case TypeExprKind::kSubrange: {
      auto* range = static_cast<SubrangeTypeExpr*>(expr);
      Expr* low = Fold(CheckExpr(range->low));
      Expr* high = Fold(CheckExpr(range->high));
      if (!IsConst(low) || !IsConst(high)) Fail(expr->pos, "Constant expression expected");
      if (low->type->kind == TypeKind::kString) low = Coerce(low, types_.char_type, low->pos);
      if (high->type->kind == TypeKind::kString) high = Coerce(high, types_.char_type, high->pos);
      if (!low->type->IsOrdinal() || !high->type->IsOrdinal()) {
        Fail(expr->pos, "Ordinal type expected");
      }
      const Type* host = RootOrdinal(low->type);
      if (RootOrdinal(high->type)->kind != host->kind) TypeMismatch(expr->pos);
      int64_t lo = static_cast<IntLit*>(low)->value;
      int64_t hi = static_cast<IntLit*>(high)->value;
      if (lo > hi) Fail(expr->pos, "Low bound exceeds high bound");
      if (host->kind == TypeKind::kInteger) host = types_.int64_type;
      return types_.NewSubrange(host, lo, hi);
    }
    case TypeExprKind::kEnum: {
      auto* enumeration = static_cast<EnumTypeExpr*>(expr);
      std::vector<std::string> names;
      for (uint32_t i = 0; i < enumeration->idents.size; ++i) {
        names.push_back(Spell(enumeration->spellings[i], enumeration->idents[i]));
      }
      Type* type = types_.NewEnum("", names);
      for (uint32_t i = 0; i < enumeration->idents.size; ++i) {
        Symbol* value = NewSymbol(SymbolKind::kConst, enumeration->idents[i], names[i]);
        value->type = type;
        value->value.type = type;
        value->value.int_value = i;
        Bind(*scope_, value, enumeration->positions[i]);
      }
      return type;
    }
    case TypeExprKind::kArray: {
      auto* array = static_cast<ArrayTypeExpr*>(expr);
      const Type* element = ResolveType(array->element);
      if (array->indices.empty()) return types_.NewDynArray(element);
      for (uint32_t i = array->indices.size; i-- > 0;) {
        const Type* index = ResolveOrdinalIndex(array->indices[i]);
        const Type* made = types_.NewStaticArray(index, element);
        if (made == nullptr) Fail(array->indices[i]->pos, "Array type too large");
        element = made;
      }
      return element;
    }
    case TypeExprKind::kRecord: {
      auto* record = static_cast<RecordTypeExpr*>(expr);
      Type* type = types_.NewRecord("");
      for (const FieldDecl& group : record->fields) {
        const Type* field_type = ResolveType(group.type);
        for (uint32_t i = 0; i < group.idents.size; ++i) {
          std::string display = Spell(group.spellings[i], group.idents[i]);
          if (type->FindField(group.idents[i]) != nullptr) {
            Fail(group.positions[i], "Duplicate identifier '" + display + "'");
          }
          if (!types_.AddField(type, group.idents[i], display, field_type)) {
            Fail(group.positions[i], "Record type too large");
          }
        }
      }
      return type;
    }
    case TypeExprKind::kSet: {
      auto* set = static_cast<SetTypeExpr*>(expr);
      const Type* element = ResolveOrdinalIndex(set->element);
      if (element->low < 0 || element->high > 255) {
        Fail(expr->pos, "Set base type out of range");
      }
      return types_.NewSet(element);
    }
  }
  Fail(expr->pos, "Type expected");
}

bool Checker::SameType(const Type* a, const Type* b) const {
  if (a == b) return true;
  if (a->kind != b->kind) return false;
  switch (a->kind) {
    case TypeKind::kInteger:
      return a->int_class == b->int_class && a->low == b->low && a->high == b->high;
    case TypeKind::kBoolean:
    case TypeKind::kChar:
      return a->low == b->low && a->high == b->high;
    case TypeKind::kFloat:
      return a->float_class == b->float_class;
    case TypeKind::kString:
    case TypeKind::kPChar:
    case TypeKind::kVariant:
    case TypeKind::kNil:
    case TypeKind::kVoid:
    case TypeKind::kInterface:
      return true;
    case TypeKind::kEnum:
      return RootOrdinal(a) == RootOrdinal(b) && a->low == b->low && a->high == b->high;
    case TypeKind::kDynArray:
      return SameType(a->element, b->element);
    case TypeKind::kStaticArray:
      return a->low == b->low && a->high == b->high && SameType(a->element, b->element);
    case TypeKind::kSet: {
      // The empty set [] fits every set type; sets of integers fit each other (all have 256
      // bits), sets of enumerations only sets of the same enumeration.
      if (a->element == nullptr || b->element == nullptr) return true;
      const Type* x = RootOrdinal(a->element);
      const Type* y = RootOrdinal(b->element);
      return x->kind == y->kind && (x->kind != TypeKind::kEnum || x == y);
    }
    case TypeKind::kRecord:
    case TypeKind::kClass:
      return false;
  }
  return false;
}

const Type* Checker::ArithmeticType(const Type* a, const Type* b) const {
  IntClass x = a->int_class;
  IntClass y = b->int_class;
  if (x == IntClass::kS64 || y == IntClass::kS64) return types_.int64_type;
  auto is_unsigned = [](IntClass c) {
    return c == IntClass::kU8 || c == IntClass::kU16 || c == IntClass::kU32;
  };
  if (x == IntClass::kU32 || y == IntClass::kU32) {
    return is_unsigned(x) && is_unsigned(y) ? types_.cardinal_type : types_.int64_type;
  }
  return types_.integer_type;
}

Expr* Checker::MakeConvert(Expr* value, const Type* target, Conv conv) {
  auto* convert = arena_.New<ConvertExpr>();
  convert->kind = ExprKind::kConvert;
  convert->pos = value->pos;
  convert->type = target;
  convert->operand = value;
  convert->conv = conv;
  return Fold(convert);
}

bool Checker::IsAssignable(const Type* target, Expr* value) const {
  const Type* source = value->type;
  if (SameType(target, source)) return true;
  if (source->kind == TypeKind::kVariant) {
    return target->IsOrdinal() || target->kind == TypeKind::kFloat ||
           target->kind == TypeKind::kString || target->kind == TypeKind::kPChar;
  }
  switch (target->kind) {
    case TypeKind::kInteger:
      return source->kind == TypeKind::kInteger;
    case TypeKind::kBoolean:
      return source->kind == TypeKind::kBoolean;
    case TypeKind::kChar:
      return source->kind == TypeKind::kChar ||
             (value->kind == ExprKind::kStrLit && static_cast<StrLit*>(value)->value.size() == 1);
    case TypeKind::kEnum:
      return source->kind == TypeKind::kEnum && RootOrdinal(source) == RootOrdinal(target);
    case TypeKind::kFloat:
      return source->IsNumeric();
    case TypeKind::kString:
    case TypeKind::kPChar:
      return source->IsStringLike() ||
             (target->kind == TypeKind::kPChar && source->kind == TypeKind::kNil);
    case TypeKind::kVariant:
      return source->IsOrdinal() || source->kind == TypeKind::kFloat || source->IsStringLike() ||
             source->kind == TypeKind::kVariant;
    case TypeKind::kSet:
      return source->kind == TypeKind::kSet && SameType(source, target);
    case TypeKind::kClass:
      return source->kind == TypeKind::kNil || InheritsFrom(source, target);
    case TypeKind::kDynArray:
    case TypeKind::kInterface:
      return source->kind == TypeKind::kNil;
    default:
      return false;
  }
}

// Converts `value` to `target` for an assignment or a value parameter, or fails.
Expr* Checker::Coerce(Expr* value, const Type* target, SourcePos pos) {
  const Type* source = value->type;
  if (source->kind == TypeKind::kVoid) TypeMismatch(value->pos);
  if (!IsAssignable(target, value)) TypeMismatch(pos);
  if (source->kind == TypeKind::kVariant && target->kind != TypeKind::kVariant) {
    return MakeConvert(value, target, Conv::kFromVariant);
  }
  switch (target->kind) {
    case TypeKind::kInteger:
    case TypeKind::kEnum:
    case TypeKind::kBoolean: {
      if (source->kind == TypeKind::kInteger &&
          WrapToClass(source->low, target->int_class) == source->low &&
          WrapToClass(source->high, target->int_class) == source->high) {
        if (value->kind == ExprKind::kIntLit) value->type = target;
        return value;
      }
      if (source->int_class == target->int_class) return value;
      return MakeConvert(value, target, Conv::kIntToInt);
    }
    case TypeKind::kChar:
      if (value->kind == ExprKind::kStrLit) {
        auto* literal = arena_.New<IntLit>();
        literal->kind = ExprKind::kIntLit;
        literal->pos = value->pos;
        literal->type = types_.char_type;
        literal->value = static_cast<unsigned char>(static_cast<StrLit*>(value)->value[0]);
        return literal;
      }
      return value;
    case TypeKind::kFloat:
      if (source->kind == TypeKind::kInteger) return MakeConvert(value, target, Conv::kIntToFloat);
      if (target->float_class == FloatClass::kSingle &&
          source->float_class != FloatClass::kSingle) {
        return MakeConvert(value, target, Conv::kFloatToFloat);
      }
      return value;
    case TypeKind::kString:
      if (source->kind == TypeKind::kChar) return MakeConvert(value, target, Conv::kCharToString);
      if (source->kind == TypeKind::kPChar) return MakeConvert(value, target, Conv::kPCharToString);
      return value;
    case TypeKind::kPChar:
      if (source->kind == TypeKind::kChar) {
        return MakeConvert(MakeConvert(value, types_.string_type, Conv::kCharToString), target,
                           Conv::kStringToPChar);
      }
      if (source->kind == TypeKind::kString)
        return MakeConvert(value, target, Conv::kStringToPChar);
      if (source->kind == TypeKind::kNil) {
        auto* empty = arena_.New<StrLit>();
        empty->kind = ExprKind::kStrLit;
        empty->pos = value->pos;
        empty->type = target;
        empty->value = {};
        return empty;
      }
      return value;
    case TypeKind::kVariant:
      if (source->kind == TypeKind::kVariant) return value;
      return MakeConvert(value, target, Conv::kToVariant);
    case TypeKind::kSet:
      // The empty set [] and set constants take the target's type.
      if (value->kind == ExprKind::kSetConst) value->type = target;
      return value;
    default:
      return value;
  }
}

}  // namespace qorsv::script::compiler_internal

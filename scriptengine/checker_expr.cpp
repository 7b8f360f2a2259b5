// Expressions of the checker: names, calls, selectors and operators.
#include "scriptengine/checker.h"

namespace qorsv::script::compiler_internal {

Expr* Checker::CheckExpr(Expr* expr) {
  if (!late_positions_.empty() &&
      (expr->kind == ExprKind::kIntLit || expr->kind == ExprKind::kStrLit)) {
    if (Expr* late = LateLiteral(expr)) return late;
  }
  if (expr->type != nullptr) return expr;
  switch (expr->kind) {
    case ExprKind::kIntLit: {
      int64_t value = static_cast<IntLit*>(expr)->value;
      expr->type =
          value >= INT32_MIN && value <= INT32_MAX ? types_.integer_type : types_.int64_type;
      return expr;
    }
    case ExprKind::kFloatLit:
      expr->type = types_.extended_type;
      return expr;
    case ExprKind::kStrLit: {
      auto* literal = static_cast<StrLit*>(expr);
      if (literal->value.size() == 1) {
        auto* character = arena_.New<IntLit>();
        character->kind = ExprKind::kIntLit;
        character->pos = expr->pos;
        character->type = types_.char_type;
        character->value = static_cast<unsigned char>(literal->value[0]);
        return character;
      }
      expr->type = types_.string_type;
      return expr;
    }
    case ExprKind::kNil:
      expr->type = types_.nil_type;
      return expr;
    case ExprKind::kName:
      return CheckName(static_cast<NameExpr*>(expr));
    case ExprKind::kCall:
      return CheckCall(static_cast<CallExpr*>(expr));
    case ExprKind::kIndex:
      return CheckIndex(static_cast<IndexExpr*>(expr));
    case ExprKind::kField:
      return CheckField(static_cast<FieldExpr*>(expr));
    case ExprKind::kUnary:
      return CheckUnary(static_cast<UnaryExpr*>(expr));
    case ExprKind::kBinary:
      return CheckBinary(static_cast<BinaryExpr*>(expr));
    case ExprKind::kSet:
      return CheckSet(static_cast<SetExpr*>(expr), nullptr);
    default:
      return expr;
  }
}

Expr* Checker::LookupWithField(NameExpr* name) {
  FieldExpr* field = FindWithSubject(name);
  if (field == nullptr || field->type != nullptr) return field;
  return CheckField(field);
}

Expr* Checker::CheckName(NameExpr* name) {
  if (Expr* field = LookupWithField(name)) return field;
  Symbol* symbol = Lookup(name->ident);
  if (symbol == nullptr) {
    Fail(name->pos, "Unknown identifier '" + Spell(name->spelling, name->ident) + "'");
  }
  switch (symbol->kind) {
    case SymbolKind::kVar: {
      auto* variable = arena_.New<VarExpr>();
      variable->kind = ExprKind::kVar;
      variable->pos = name->pos;
      variable->symbol = symbol;
      variable->type = symbol->type;
      return variable;
    }
    case SymbolKind::kConst:
      if (symbol->value.late != nullptr) {
        auto* variable = arena_.New<VarExpr>();
        variable->kind = ExprKind::kVar;
        variable->pos = name->pos;
        variable->symbol = symbol->value.late;
        variable->type = symbol->type;
        return variable;
      }
      return ConstToExpr(symbol->value, name->pos);
    case SymbolKind::kType: {
      auto* type_ref = arena_.New<TypeRefExpr>();
      type_ref->kind = ExprKind::kTypeRef;
      type_ref->pos = name->pos;
      type_ref->named = symbol->type;
      type_ref->type = types_.void_type;
      return type_ref;
    }
    case SymbolKind::kRoutine:
    case SymbolKind::kBuiltin: {
      auto* call = arena_.New<CallExpr>();
      call->kind = ExprKind::kCall;
      call->pos = name->pos;
      call->callee = name;
      call->args = {};
      call->has_parens = false;
      return CheckCall(call);
    }
  }
  Fail(name->pos, "Syntax error");
}

Expr* Checker::CheckCall(CallExpr* call) {
  if (call->callee->kind == ExprKind::kField && call->callee->type == nullptr) {
    // obj.Method(args) or TClass.Create(args).
    auto* field = static_cast<FieldExpr*>(call->callee);
    Expr* base = CheckExpr(field->base);
    field->base = base;
    if (IsClassRef(base)) {
      return CheckConstructorCall(static_cast<TypeRefExpr*>(base)->named, field, call->args);
    }
    if (base->type->kind == TypeKind::kClass) return CheckMember(base, field, call->args, true);
  }
  if (call->callee->kind != ExprKind::kName) {
    Fail(call->pos, "Routine expected");
  }
  auto* name = static_cast<NameExpr*>(call->callee);
  if (FieldExpr* subject = FindWithSubject(name)) {
    // Inside `with obj do`, a method of obj.
    if (subject->type != nullptr) Fail(call->pos, "Routine expected");
    call->callee = subject;
    return CheckCall(call);
  }
  Symbol* symbol = Lookup(name->ident);
  if (symbol == nullptr) {
    Fail(name->pos, "Unknown identifier '" + Spell(name->spelling, name->ident) + "'");
  }
  switch (symbol->kind) {
    case SymbolKind::kRoutine:
      return CheckRoutineCall(call, symbol->routine);
    case SymbolKind::kBuiltin:
      return CheckBuiltin(call, symbol->builtin);
    case SymbolKind::kType:
      if (call->args.size != 1) Fail(call->pos, "Invalid number of parameters");
      return CheckCast(call, symbol->type);
    default:
      Fail(call->pos, "Routine expected");
  }
}

Expr* Checker::CheckRoutineCall(CallExpr* call, const Routine* routine) {
  size_t given = call->args.size;
  size_t wanted = routine->params.size();
  if (given > wanted) Fail(call->pos, "Invalid number of parameters");
  if (given < wanted) {
    for (size_t i = given; i < wanted; ++i) {
      if (!routine->params[i].has_default) Fail(call->pos, "Invalid number of parameters");
    }
    std::vector<Expr*> args(call->args.begin(), call->args.end());
    for (size_t i = given; i < wanted; ++i) {
      args.push_back(ConstToExpr(routine->params[i].default_value, call->pos));
    }
    call->args = MakeSpan(arena_, args);
  }
  for (size_t i = 0; i < wanted; ++i) CheckArgument(call, i, routine->params[i]);
  call->routine = routine;
  call->type = routine->result;
  return call;
}

void Checker::CheckArgument(CallExpr* call, size_t index, const ParamInfo& param) {
  Expr*& arg = call->args[index];
  if (param.type->kind == TypeKind::kDynArray && arg->kind == ExprKind::kSet && !param.by_ref) {
    // [a, b, c] for an open array parameter builds the array.
    auto* set = static_cast<SetExpr*>(arg);
    std::vector<Expr*> elements;
    for (const SetElement& element : set->elements) {
      if (element.high != nullptr) TypeMismatch(element.high->pos);
      elements.push_back(Coerce(CheckExpr(element.low), param.type->element, element.low->pos));
    }
    auto* array = arena_.New<ArrayConsExpr>();
    array->kind = ExprKind::kArrayCons;
    array->pos = arg->pos;
    array->type = param.type;
    array->elements = MakeSpan(arena_, elements);
    arg = array;
    return;
  }
  arg = CheckExpr(arg);
  if (param.by_ref) {
    arg = CheckLValue(arg, true);
    if (!SameType(param.type, arg->type)) TypeMismatch(arg->pos);
    return;
  }
  if (param.type->kind == TypeKind::kDynArray && arg->type->kind == TypeKind::kStaticArray &&
      SameType(param.type->element, arg->type->element)) {
    auto* convert = arena_.New<ConvertExpr>();
    convert->kind = ExprKind::kConvert;
    convert->pos = arg->pos;
    convert->type = param.type;
    convert->operand = arg;
    convert->conv = Conv::kStaticToOpenArray;
    arg = convert;
    return;
  }
  if (param.type->kind == TypeKind::kDynArray && arg->type->kind == TypeKind::kDynArray &&
      SameType(param.type->element, arg->type->element)) {
    return;
  }
  arg = Coerce(arg, param.type, arg->pos);
}

bool Checker::IsLValue(const Expr* expr) const {
  switch (expr->kind) {
    case ExprKind::kVar:
      return true;
    case ExprKind::kField:
      return IsLValue(static_cast<const FieldExpr*>(expr)->base);
    case ExprKind::kIndex: {
      const Expr* base = static_cast<const IndexExpr*>(expr)->base;
      return base->type->kind == TypeKind::kDynArray || IsLValue(base);
    }
    default:
      return false;
  }
}

// A checked expression that must denote a variable (assignment targets, var arguments).
Expr* Checker::CheckLValue(Expr* expr, bool for_var_param) {
  if (!IsLValue(expr)) Fail(expr->pos, "Variable expected");
  // Characters of a string cannot be passed by reference: writes go through the string.
  if (for_var_param && expr->kind == ExprKind::kIndex &&
      static_cast<IndexExpr*>(expr)->base->type->IsStringLike()) {
    Fail(expr->pos, "Variable expected");
  }
  const Expr* root = expr;
  for (;;) {
    if (root->kind == ExprKind::kField) {
      root = static_cast<const FieldExpr*>(root)->base;
    } else if (root->kind == ExprKind::kIndex &&
               static_cast<const IndexExpr*>(root)->base->type->kind != TypeKind::kDynArray) {
      root = static_cast<const IndexExpr*>(root)->base;
    } else {
      break;
    }
  }
  if (root->kind == ExprKind::kVar && static_cast<const VarExpr*>(root)->symbol->read_only) {
    Fail(expr->pos, "Variable expected");
  }
  return expr;
}

Expr* Checker::CheckIndex(IndexExpr* index) {
  if (Expr* property = CheckIndexedProperty(index)) return property;
  Expr* base = CheckExpr(index->base);
  for (uint32_t k = 0; k < index->indices.size; ++k) {
    Expr* raw = index->indices[k];
    if (base->type->kind == TypeKind::kClass && !IsClassRef(base)) {
      // obj[i]: the default property takes the remaining indices.
      Span<Expr*> rest{index->indices.data + k, index->indices.size - k};
      return DefaultPropertyCall(base, rest, raw->pos);
    }
    Expr* position = CheckExpr(raw);
    const Type* type = base->type;
    // a[i] keeps its node; a[i, j] becomes a[i][j].
    IndexExpr* access = index;
    if (index->indices.size > 1) {
      access = arena_.New<IndexExpr>();
      access->kind = ExprKind::kIndex;
      access->indices = MakeSpan(arena_, &raw, 1);
    }
    access->pos = raw->pos;
    access->base = base;
    Expr* checked;
    if (type->kind == TypeKind::kString || type->kind == TypeKind::kPChar) {
      if (position->type->kind != TypeKind::kInteger) TypeMismatch(raw->pos);
      checked = position;
      access->type = types_.char_type;
    } else if (type->kind == TypeKind::kStaticArray) {
      const Type* index_type = type->index;
      if (index_type->kind == TypeKind::kInteger) {
        if (position->type->kind != TypeKind::kInteger) TypeMismatch(raw->pos);
        checked = position;
      } else {
        checked = Coerce(position, RootOrdinal(index_type), raw->pos);
      }
      access->type = type->element;
    } else if (type->kind == TypeKind::kDynArray) {
      if (position->type->kind != TypeKind::kInteger) TypeMismatch(raw->pos);
      checked = position;
      access->type = type->element;
    } else {
      Fail(index->pos, "Array type required");
    }
    access->indices[0] = checked;
    base = Fold(access);
  }
  return base;
}

Expr* Checker::CheckField(FieldExpr* field) {
  Expr* base = CheckExpr(field->base);
  field->base = base;
  if (IsClassRef(base)) {
    return CheckConstructorCall(static_cast<TypeRefExpr*>(base)->named, field, {});
  }
  if (base->type->kind == TypeKind::kClass) return CheckMember(base, field, {}, false);
  if (base->type->kind != TypeKind::kRecord) Fail(field->pos, "Record type required");
  const Field* found = base->type->FindField(field->ident);
  if (found == nullptr) {
    Fail(field->pos, "Unknown identifier '" + Spell(field->spelling, field->ident) + "'");
  }
  field->base = base;
  field->field = found;
  field->type = found->type;
  return field;
}

Expr* Checker::CheckUnary(UnaryExpr* unary) {
  Expr* operand = CheckExpr(unary->operand);
  const Type* type = operand->type;
  switch (unary->op) {
    case Op::kNeg:
    case Op::kPos:
      if (type->kind == TypeKind::kInteger) {
        unary->type = unary->op == Op::kNeg ? ArithmeticType(type, types_.integer_type) : type;
      } else if (type->kind == TypeKind::kFloat || type->kind == TypeKind::kVariant) {
        unary->type = type;
      } else {
        TypeMismatch(unary->pos);
      }
      if (unary->op == Op::kPos) return operand;
      break;
    case Op::kNot:
      if (type->kind == TypeKind::kBoolean) {
        unary->type = types_.boolean_type;
      } else if (type->kind == TypeKind::kInteger) {
        unary->type = type->element != nullptr ? ArithmeticType(type, type) : type;
      } else {
        TypeMismatch(unary->pos);
      }
      break;
    default:
      TypeMismatch(unary->pos);
  }
  unary->operand = operand;
  return Fold(unary);
}

Expr* Checker::CheckBinary(BinaryExpr* binary) {
  switch (binary->op) {
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe:
    case Op::kIn:
      return CheckComparison(binary);
    case Op::kIs:
    case Op::kAs:
      return CheckTypeTest(binary);
    default:
      break;
  }
  Expr* left = CheckExpr(binary->left);
  Expr* right = CheckExpr(binary->right);
  if (left->kind == ExprKind::kSet && right->type->kind == TypeKind::kSet) {
    left = CheckSet(static_cast<SetExpr*>(left), right->type->element);
  }
  const Type* lt = left->type;
  const Type* rt = right->type;
  SourcePos pos = binary->pos;
  Op op = binary->op;
  auto both = [&](TypeKind kind) { return lt->kind == kind && rt->kind == kind; };
  if (lt->kind == TypeKind::kVoid || rt->kind == TypeKind::kVoid) TypeMismatch(pos);

  if ((lt->kind == TypeKind::kVariant || rt->kind == TypeKind::kVariant) &&
      (op == Op::kAdd || op == Op::kSub || op == Op::kMul || op == Op::kDivide ||
       op == Op::kIntDiv || op == Op::kMod)) {
    left = Coerce(left, types_.variant_type, pos);
    right = Coerce(right, types_.variant_type, pos);
    binary->type = types_.variant_type;
  } else if (op == Op::kAnd || op == Op::kOr || op == Op::kXor) {
    if (both(TypeKind::kBoolean)) {
      binary->type = types_.boolean_type;
    } else if (both(TypeKind::kInteger)) {
      binary->type = ArithmeticType(lt, rt);
    } else {
      TypeMismatch(pos);
    }
  } else if (op == Op::kShl || op == Op::kShr) {
    if (!both(TypeKind::kInteger)) TypeMismatch(pos);
    binary->type = ArithmeticType(lt, lt);
  } else if (op == Op::kIntDiv || op == Op::kMod) {
    if (!both(TypeKind::kInteger)) TypeMismatch(pos);
    binary->type = ArithmeticType(lt, rt);
  } else if (op == Op::kAdd && lt->IsStringLike() && rt->IsStringLike()) {
    left = Coerce(left, types_.string_type, pos);
    right = Coerce(right, types_.string_type, pos);
    binary->type = types_.string_type;
  } else if (both(TypeKind::kSet) && (op == Op::kAdd || op == Op::kSub || op == Op::kMul)) {
    if (right->kind == ExprKind::kSet) right = CheckSet(static_cast<SetExpr*>(right), lt->element);
    rt = right->type;
    if (!SameType(lt, rt)) {
      TypeMismatch(pos);
    }
    binary->type = lt->element != nullptr ? lt : rt;
    left = Coerce(left, binary->type, pos);
    right = Coerce(right, binary->type, pos);
  } else if (lt->IsNumeric() && rt->IsNumeric() &&
             (op == Op::kAdd || op == Op::kSub || op == Op::kMul || op == Op::kDivide)) {
    if (op == Op::kDivide || lt->kind == TypeKind::kFloat || rt->kind == TypeKind::kFloat) {
      left = Coerce(left, types_.extended_type, pos);
      right = Coerce(right, types_.extended_type, pos);
      binary->type = types_.extended_type;
    } else {
      binary->type = ArithmeticType(lt, rt);
    }
  } else {
    TypeMismatch(pos);
  }
  binary->left = left;
  binary->right = right;
  return Fold(binary);
}

Expr* Checker::CheckComparison(BinaryExpr* binary) {
  SourcePos pos = binary->pos;
  Expr* left = CheckExpr(binary->left);
  binary->type = types_.boolean_type;
  if (binary->op == Op::kIn) {
    if (!left->type->IsOrdinal()) TypeMismatch(pos);
    Expr* right = binary->right->kind == ExprKind::kSet
                      ? CheckSet(static_cast<SetExpr*>(binary->right), RootOrdinal(left->type))
                      : CheckExpr(binary->right);
    if (right->type->kind != TypeKind::kSet) TypeMismatch(pos);
    if (right->type->element != nullptr &&
        RootOrdinal(right->type->element)->kind != RootOrdinal(left->type)->kind) {
      TypeMismatch(pos);
    }
    binary->left = left;
    binary->right = right;
    return Fold(binary);
  }
  Expr* right = binary->right->kind == ExprKind::kSet && left->type->kind == TypeKind::kSet
                    ? CheckSet(static_cast<SetExpr*>(binary->right), left->type->element)
                    : CheckExpr(binary->right);
  if (left->kind == ExprKind::kSet && right->type->kind == TypeKind::kSet) {
    left = CheckSet(static_cast<SetExpr*>(left), right->type->element);
  }
  const Type* lt = left->type;
  const Type* rt = right->type;
  bool ordering = binary->op == Op::kLt || binary->op == Op::kGt || binary->op == Op::kLe ||
                  binary->op == Op::kGe;
  if (lt->kind == TypeKind::kVariant || rt->kind == TypeKind::kVariant) {
    left = Coerce(left, types_.variant_type, pos);
    right = Coerce(right, types_.variant_type, pos);
  } else if (lt->kind == TypeKind::kChar && rt->kind == TypeKind::kChar) {
  } else if (lt->IsOrdinal() && rt->IsOrdinal()) {
    const Type* lr = RootOrdinal(lt);
    const Type* rr = RootOrdinal(rt);
    bool compatible = lr->kind == rr->kind && (lr->kind != TypeKind::kEnum || lr == rr);
    if (!compatible) TypeMismatch(pos);
  } else if (lt->IsNumeric() && rt->IsNumeric()) {
    left = Coerce(left, types_.extended_type, pos);
    right = Coerce(right, types_.extended_type, pos);
  } else if (lt->IsStringLike() && rt->IsStringLike()) {
    left = Coerce(left, types_.string_type, pos);
    right = Coerce(right, types_.string_type, pos);
  } else if (lt->kind == TypeKind::kPChar || rt->kind == TypeKind::kPChar) {
    if (ordering) TypeMismatch(pos);
    left = Coerce(left, types_.string_type, pos);
    right = Coerce(right, types_.string_type, pos);
  } else if (lt->kind == TypeKind::kSet && rt->kind == TypeKind::kSet) {
    if (binary->op == Op::kLt || binary->op == Op::kGt) TypeMismatch(pos);
    const Type* set_type = lt->element != nullptr ? lt : rt;
    if (!SameType(lt, rt)) {
      TypeMismatch(pos);
    }
    left = Coerce(left, set_type, pos);
    right = Coerce(right, set_type, pos);
  } else {
    auto is_reference = [](const Type* t) {
      return t->kind == TypeKind::kClass || t->kind == TypeKind::kInterface ||
             t->kind == TypeKind::kDynArray || t->kind == TypeKind::kNil;
    };
    if (ordering || !is_reference(lt) || !is_reference(rt)) TypeMismatch(pos);
    if (lt->kind != TypeKind::kNil && rt->kind != TypeKind::kNil && !SameType(lt, rt) &&
        !InheritsFrom(lt, rt) && !InheritsFrom(rt, lt)) {
      TypeMismatch(pos);
    }
  }
  binary->left = left;
  binary->right = right;
  return Fold(binary);
}

Expr* Checker::CheckSet(SetExpr* set, const Type* wanted) {
  const Type* element_type = nullptr;
  bool constant = true;
  std::vector<SetElement> elements;
  for (const SetElement& raw : set->elements) {
    SetElement element{};
    element.low = CheckExpr(raw.low);
    element.high = raw.high != nullptr ? CheckExpr(raw.high) : nullptr;
    if (wanted != nullptr && element.low->kind == ExprKind::kStrLit) {
      element.low = Coerce(element.low, RootOrdinal(wanted), raw.low->pos);
    }
    if (!element.low->type->IsOrdinal()) TypeMismatch(raw.low->pos);
    const Type* root = RootOrdinal(element.low->type);
    if (element_type == nullptr) element_type = root;
    if (root->kind != element_type->kind) TypeMismatch(raw.low->pos);
    if (element.high != nullptr) {
      element.high = Coerce(element.high, element.low->type, raw.high->pos);
    }
    constant =
        constant && IsConst(element.low) && (element.high == nullptr || IsConst(element.high));
    elements.push_back(element);
  }
  const Type* set_type;
  if (element_type == nullptr) {
    set_type = types_.NewSet(nullptr);
  } else {
    const Type* base = element_type;
    if (base->kind == TypeKind::kInteger) base = types_.byte_type;
    set_type = types_.NewSet(base);
  }
  if (constant) {
    auto* folded = arena_.New<SetConstExpr>();
    folded->kind = ExprKind::kSetConst;
    folded->pos = set->pos;
    folded->type = set_type;
    for (uint64_t& word : folded->bits) word = 0;
    for (const SetElement& element : elements) {
      int64_t low = static_cast<IntLit*>(element.low)->value;
      int64_t high = element.high != nullptr ? static_cast<IntLit*>(element.high)->value : low;
      for (int64_t v = std::max<int64_t>(low, 0); v <= std::min<int64_t>(high, 255); ++v) {
        folded->bits[v >> 6] |= uint64_t{1} << (v & 63);
      }
    }
    return folded;
  }
  set->elements = MakeSpan(arena_, elements);
  set->type = set_type;
  return set;
}

Expr* Checker::CheckCast(CallExpr* call, const Type* target) {
  Expr* value = CheckExpr(call->args[0]);
  const Type* source = value->type;
  if (SameType(source, target)) return value;
  if (target->IsOrdinal() && (source->IsOrdinal() || source->kind == TypeKind::kVariant)) {
    if (source->kind == TypeKind::kVariant) return MakeConvert(value, target, Conv::kFromVariant);
    if (value->kind == ExprKind::kIntLit) {
      auto* literal = arena_.New<IntLit>();
      literal->kind = ExprKind::kIntLit;
      literal->pos = value->pos;
      literal->type = target;
      literal->value = WrapToClass(static_cast<IntLit*>(value)->value, target->int_class);
      return literal;
    }
    return MakeConvert(value, target, Conv::kIntToInt);
  }
  if (target->kind == TypeKind::kString || target->kind == TypeKind::kPChar ||
      target->kind == TypeKind::kFloat || target->kind == TypeKind::kVariant) {
    return Coerce(value, target, call->pos);
  }
  if (target->kind == TypeKind::kClass &&
      (source->kind == TypeKind::kClass || source->kind == TypeKind::kNil)) {
    // TStringList(obj): unchecked, as in Object Pascal; a member called on an object of another
    // class is refused when it runs.
    return MakeConvert(value, target, Conv::kNone);
  }
  TypeMismatch(call->pos);
}

}  // namespace qorsv::script::compiler_internal

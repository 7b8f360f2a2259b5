// Variables and memory of the code generator: where values live, loads, stores and copies.
#include "scriptengine/codegen.h"

namespace qorsv::script::compiler_internal {

Codegen::Location Codegen::LocateVar(const Symbol* symbol) {
  Location location;
  if (symbol->level == 0) {
    location.cell = GlobalRef(symbol->offset);
    return location;
  }
  int levels = routine_->level - symbol->level;
  if (levels == 0) {
    if (symbol->by_ref) {
      location.direct = false;
      location.cell = symbol->offset;
    } else {
      location.cell = symbol->offset;
    }
    return location;
  }
  // A variable of an enclosing routine: follow the static links to its frame.
  int32_t frame = Temp(TempKind::kPlain);
  Ins(kFrame, {frame, levels});
  location.direct = false;
  if (symbol->by_ref) {
    int32_t pointer = Temp(TempKind::kPlain);
    Ins(kLoadP, {pointer, frame, symbol->offset});
    location.cell = pointer;
  } else {
    location.cell = frame;
    location.offset = symbol->offset;
  }
  return location;
}

Codegen::Location Codegen::Locate(Expr* expr) {
  switch (expr->kind) {
    case ExprKind::kVar:
      return LocateVar(static_cast<VarExpr*>(expr)->symbol);
    case ExprKind::kField: {
      auto* field = static_cast<FieldExpr*>(expr);
      Location base = Locate(field->base);
      if (base.direct)
        base.cell = Offset(base.cell, field->field->offset);
      else
        base.offset += field->field->offset;
      return base;
    }
    case ExprKind::kIndex: {
      auto* index = static_cast<IndexExpr*>(expr);
      const Type* array = index->base->type;
      Expr* position = index->indices[0];
      if (array->kind == TypeKind::kDynArray) {
        int32_t elements;
        if (pin_arrays_) {
          // The address outlives this instruction (a var argument, a `with` subject): hold a
          // reference so that a resize meanwhile cannot free the element under it.
          elements = Temp(TempKind::kManaged);
          EvalInto(index->base, elements);
        } else {
          elements = Eval(index->base);
        }
        int32_t at = Eval(position);
        int32_t pointer = Temp(TempKind::kPlain);
        Ins(kDaAddr, {pointer, elements, at});
        return Location{false, pointer, 0};
      }
      if (array->kind != TypeKind::kStaticArray) {
        throw CompileError(expr->pos, "Variable expected");
      }
      int32_t element_cells = array->element->cells;
      Location base = Locate(index->base);
      if (position->kind == ExprKind::kIntLit) {
        int64_t at = static_cast<IntLit*>(position)->value;
        if (at < array->low || at > array->high) {
          throw CompileError(position->pos, "Constant out of range");
        }
        int32_t offset = static_cast<int32_t>((at - array->low) * element_cells);
        if (base.direct)
          base.cell = Offset(base.cell, offset);
        else
          base.offset += offset;
        return base;
      }
      int32_t at = Eval(position);
      int32_t pointer = Temp(TempKind::kPlain);
      int32_t low = static_cast<int32_t>(array->low);
      int32_t count = static_cast<int32_t>(array->Count());
      if (base.direct) {
        Ins(kSaAddr, {pointer, base.cell, at, low, count, element_cells});
      } else {
        Ins(kPAddr, {pointer, PointerTo(base), at, low, count, element_cells});
      }
      return Location{false, pointer, 0};
    }
    case ExprKind::kCall:
      // A record or array returned by a function lives in a temporary of this statement.
      if (IsComposite(expr->type)) return Location{true, Eval(expr), 0};
      [[fallthrough]];
    default:
      throw CompileError(expr->pos, "Variable expected");
  }
}

int32_t Codegen::PointerTo(const Location& location) {
  if (!location.direct && location.offset == 0) return location.cell;
  int32_t pointer = Temp(TempKind::kPlain);
  if (location.direct)
    Ins(kLea, {pointer, location.cell});
  else
    Ins(kPOff, {pointer, location.cell, location.offset});
  return pointer;
}

void Codegen::Move(const Type* type, int32_t dst, int32_t src) {
  if (dst == src) return;
  if (IsManaged(type))
    Ins(kMovS, {dst, src});
  else if (IsSet(type))
    Ins(kMovN, {dst, src, kSetCells});
  else
    Ins(kMov, {dst, src});
}

int32_t Codegen::Load(const Location& location, const Type* type, int32_t target) {
  if (location.direct) {
    if (target == kNone) return location.cell;
    Move(type, target, location.cell);
    return target;
  }
  int32_t dst = Dest(target, type);
  if (IsManaged(type))
    Ins(kLoadPS, {dst, location.cell, location.offset});
  else if (IsSet(type))
    Ins(kLoadPN, {dst, location.cell, location.offset, kSetCells});
  else
    Ins(kLoadP, {dst, location.cell, location.offset});
  return dst;
}

void Codegen::Store(const Location& location, const Type* type, int32_t value, bool value_is_temp) {
  if (location.direct) {
    if (value_is_temp && IsManaged(type) && location.cell != value) {
      Ins(kTake, {location.cell, value});
    } else {
      Move(type, location.cell, value);
    }
    return;
  }
  if (IsManaged(type))
    Ins(kStorePS, {location.cell, location.offset, value});
  else if (IsSet(type))
    Ins(kStorePN, {location.cell, location.offset, value, kSetCells});
  else
    Ins(kStoreP, {location.cell, location.offset, value});
}

// The address of a record or static array value: a variable, or a call's result in a temporary.
int32_t Codegen::AddressOfComposite(Expr* value) {
  if (value->kind == ExprKind::kVar || value->kind == ExprKind::kField ||
      value->kind == ExprKind::kIndex) {
    return PointerTo(Locate(value));
  }
  int32_t cell = Eval(value);
  int32_t pointer = Temp(TempKind::kPlain);
  Ins(kLea, {pointer, cell});
  return pointer;
}

void Codegen::CopyComposite(const Location& dst, Expr* value) {
  int32_t source = AddressOfComposite(value);
  int32_t target = PointerTo(dst);
  Ins(kCopy, {target, source, RttiFor(value->type)});
}

}  // namespace qorsv::script::compiler_internal

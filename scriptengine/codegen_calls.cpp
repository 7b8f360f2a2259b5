// Calls of the code generator: script routines, natives, library functions and built-ins.
#include <algorithm>

#include "scriptengine/codegen.h"

namespace qorsv::script::compiler_internal {

int32_t Codegen::EvalCall(CallExpr* call, int32_t target) {
  if (call->builtin >= 0) return EmitBuiltin(call, target);
  return EmitRoutineCall(call, target);
}

int32_t Codegen::ImportFor(const Routine* routine) {
  auto found = import_index_.find(routine);
  if (found != import_index_.end()) return found->second;
  ImportInfo import;
  import.external = routine->kind == RoutineKind::kExternal;
  import.name = import.external ? routine->display : routine->native_name;
  import.external_text = routine->external_text;
  int32_t offset = 0;
  for (const ParamInfo& param : routine->params) {
    if (IsComposite(param.type) || (IsSet(param.type) && !param.by_ref)) {
      throw CompileError(routine->pos, "Unsupported parameter type in '" + routine->display + "'");
    }
    ValueDesc desc = DescFor(param.type);
    desc.by_ref = param.by_ref;
    desc.offset = offset++;
    if (param.type->kind == TypeKind::kDynArray) desc.rtti = RttiFor(param.type->element);
    import.params.push_back(desc);
  }
  if (IsComposite(routine->result) || IsSet(routine->result)) {
    throw CompileError(routine->pos, "Unsupported result type in '" + routine->display + "'");
  }
  import.result = DescFor(routine->result);
  import.result.offset = offset;
  imports_.push_back(std::move(import));
  int32_t index = static_cast<int32_t>(imports_.size() - 1);
  import_index_.emplace(routine, index);
  return index;
}

void Codegen::PassArgument(Expr* arg, const ParamInfo& param, int32_t cell) {
  if (param.by_ref) {
    bool saved = pin_arrays_;
    pin_arrays_ = true;
    Location location = Locate(arg);
    pin_arrays_ = saved;
    if (location.direct)
      Ins(kLea, {cell, location.cell});
    else if (location.offset == 0)
      Ins(kMov, {cell, location.cell});
    else
      Ins(kPOff, {cell, location.cell, location.offset});
    return;
  }
  if (IsComposite(param.type)) {
    int32_t source = AddressOfComposite(arg);
    int32_t destination = Temp(TempKind::kPlain);
    Ins(kLea, {destination, cell});
    Ins(kInitCopy, {destination, source, RttiFor(param.type)});
    return;
  }
  EvalInto(arg, cell);
}

int32_t Codegen::TakeResult(const Type* type, int32_t cell, int32_t target) {
  if (IsComposite(type)) {
    int32_t temp = CompositeTemp(type);
    int32_t to = Temp(TempKind::kPlain);
    int32_t from = Temp(TempKind::kPlain);
    Ins(kLea, {to, temp});
    Ins(kLea, {from, cell});
    Ins(kMoveComp, {to, from, RttiFor(type)});
    return temp;
  }
  if (IsManaged(type)) {
    int32_t dst = Dest(target, type);
    Ins(kTake, {dst, cell});
    return dst;
  }
  if (target == kNone) return cell;
  Move(type, target, cell);
  return target;
}

int32_t Codegen::EmitRoutineCall(CallExpr* call, int32_t target) {
  const Routine* routine = call->routine;
  bool script = routine->kind == RoutineKind::kScript;
  int32_t import = script ? -1 : ImportFor(routine);
  int32_t param_cells =
      script ? routine->param_cells : static_cast<int32_t>(routine->params.size());
  int32_t result_offset = script ? routine->result_offset : param_cells;
  int32_t size = param_cells + routine->result->cells;
  int32_t window = kWindowBase + window_top_;
  window_top_ += size;
  window_max_ = std::max(window_max_, window_top_);

  bool zero = false;
  for (const ParamInfo& param : routine->params)
    zero = zero || (!param.by_ref && IsManaged(param.type));
  if (zero) Ins(kZeroN, {window, param_cells});
  if (script && routine->level >= 2) {
    Ins(kFrame, {window, routine_->level - (routine->level - 1)});
  }
  for (size_t i = 0; i < routine->params.size(); ++i) {
    const ParamInfo& param = routine->params[i];
    int32_t cell = window + (script ? param.offset : static_cast<int32_t>(i));
    PassArgument(call->args[i], param, cell);
  }
  if (script)
    Ins(kCall, {routine->index, window});
  else
    Ins(routine->kind == RoutineKind::kNative ? kCallN : kCallX, {import, window});

  // The window stays reserved until the statement ends, so a plain result can be used where
  // it lies: later calls of the statement get windows above it.
  if (!routine->IsFunction()) return kNone;
  return TakeResult(routine->result, window + result_offset, target);
}

void Codegen::ModifyOrdinal(Expr* variable, Expr* amount, int64_t sign) {
  const Type* type = variable->type;
  bool immediate = amount == nullptr || amount->kind == ExprKind::kIntLit;
  int64_t step = amount == nullptr ? sign : sign * static_cast<IntLit*>(amount)->value;
  int32_t amount_cell = kNone;
  if (!immediate || step < INT32_MIN || step > INT32_MAX) {
    immediate = false;
    amount_cell = Eval(amount != nullptr ? amount : variable);
  }
  Location location = Locate(variable);
  int32_t cell = location.cell;
  if (!location.direct) {
    cell = Temp(TempKind::kPlain);
    Ins(kLoadP, {cell, location.cell, location.offset});
  }
  bool narrow = type->int_class == IntClass::kS32;
  if (immediate) {
    Ins(narrow ? kAdd32I : kAdd64I, {cell, cell, static_cast<int32_t>(step)});
  } else if (sign > 0) {
    Ins(narrow ? kAdd32 : kAdd64, {cell, cell, amount_cell});
  } else {
    Ins(narrow ? kSub32 : kSub64, {cell, cell, amount_cell});
  }
  if (!narrow) Wrap(cell, type);
  if (!location.direct) Ins(kStoreP, {location.cell, location.offset, cell});
}

int32_t Codegen::EmitBuiltin(CallExpr* call, int32_t target) {
  auto arg = [&](size_t i) { return call->args[i]; };
  const Type* type = call->type;
  switch (static_cast<Builtin>(call->builtin)) {
    case Builtin::kLength:
    case Builtin::kGetArrayLength:
    case Builtin::kHigh: {
      int32_t value = Eval(arg(0));
      int32_t dst = Dest(target, type);
      bool is_array = arg(0)->type->kind == TypeKind::kDynArray;
      Ins(is_array ? kDaLen : kLenS, {dst, value});
      if (is_array && static_cast<Builtin>(call->builtin) == Builtin::kHigh) {
        Ins(kAdd32I, {dst, dst, -1});
      }
      return dst;
    }
    case Builtin::kSetLength:
    case Builtin::kSetArrayLength: {
      int32_t length = Eval(arg(1));
      bool saved = pin_arrays_;
      pin_arrays_ = true;
      int32_t pointer = PointerTo(Locate(arg(0)));
      pin_arrays_ = saved;
      if (arg(0)->type->kind == TypeKind::kDynArray) {
        Ins(kDaSetLen, {pointer, length, RttiFor(arg(0)->type->element)});
      } else {
        Ins(kSetLenS, {pointer, length});
      }
      return kNone;
    }
    case Builtin::kInc:
    case Builtin::kDec:
      ModifyOrdinal(arg(0), call->args.size > 1 ? arg(1) : nullptr,
                    static_cast<Builtin>(call->builtin) == Builtin::kInc ? 1 : -1);
      return kNone;
    case Builtin::kSucc:
    case Builtin::kPred: {
      int32_t value = Eval(arg(0));
      int32_t dst = Dest(target, type);
      Ins(kAdd64I, {dst, value, static_cast<Builtin>(call->builtin) == Builtin::kSucc ? 1 : -1});
      Wrap(dst, type);
      return dst;
    }
    case Builtin::kOdd: {
      int32_t value = Eval(arg(0));
      int32_t dst = Dest(target, type);
      Ins(kAndI, {dst, value, 1});
      return dst;
    }
    case Builtin::kAssigned: {
      int32_t value = Eval(arg(0));
      int32_t dst = Dest(target, type);
      Ins(kNeZ, {dst, value});
      return dst;
    }
    case Builtin::kInclude:
    case Builtin::kExclude: {
      int32_t element = Eval(arg(1));
      Location location = Locate(arg(0));
      Opcode code = static_cast<Builtin>(call->builtin) == Builtin::kInclude ? kSetIncl : kSetExcl;
      if (location.direct) {
        Ins(code, {location.cell, element});
      } else {
        int32_t set = Temp(TempKind::kSet);
        Ins(kLoadPN, {set, location.cell, location.offset, kSetCells});
        Ins(code, {set, element});
        Ins(kStorePN, {location.cell, location.offset, set, kSetCells});
      }
      return kNone;
    }
    case Builtin::kAbs:
    case Builtin::kSqr: {
      bool is_abs = static_cast<Builtin>(call->builtin) == Builtin::kAbs;
      int32_t value = Eval(arg(0));
      int32_t dst = Dest(target, type);
      if (type->kind == TypeKind::kFloat) {
        if (is_abs)
          Ins(kAbsF, {dst, value});
        else
          Ins(kMulF, {dst, value, value});
      } else {
        if (is_abs)
          Ins(kAbs64, {dst, value});
        else
          Ins(type->int_class == IntClass::kS32 ? kMul32 : kMul64, {dst, value, value});
        Wrap(dst, type);
      }
      return dst;
    }
    default:
      throw CompileError(call->pos, "Syntax error");
  }
}

}  // namespace qorsv::script::compiler_internal

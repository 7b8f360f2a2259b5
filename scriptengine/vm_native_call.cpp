// VmNativeCall: a native's view of its arguments and result in the call window.
#include <cmath>

#include "scriptengine/opcodes.h"
#include "scriptengine/text_format.h"
#include "scriptengine/vm.h"

namespace qorsv::script::vm_internal {
namespace {

int64_t WrapTo(const ValueDesc& desc, int64_t value) {
  if (desc.kind == ValueKind::kBoolean) return value != 0;
  return WrapValue(value, desc.int_class);
}

bool IsText(ValueKind kind) { return kind == ValueKind::kString || kind == ValueKind::kPChar; }

int64_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.2e18) return INT64_MAX;
  if (value <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(value);
}

// Writes `value` into a cell of the kind `desc` describes, converting as a Pascal assignment
// from a host value would.
void StoreInt(Heap& heap, const ValueDesc& desc, Cell& cell, int64_t value) {
  if (IsText(desc.kind)) {
    heap.Assign(cell, nullptr);
    cell.p = heap.MakeString(std::to_string(value));
  } else if (desc.kind == ValueKind::kFloat) {
    cell.f = static_cast<double>(value);
  } else if (desc.kind == ValueKind::kOrdinal || desc.kind == ValueKind::kBoolean ||
             desc.kind == ValueKind::kChar) {
    cell.i = WrapTo(desc, value);
  }
}

void StoreFloat(Heap& heap, const ValueDesc& desc, Cell& cell, double value) {
  if (desc.kind == ValueKind::kFloat) {
    cell.f = desc.is_single ? static_cast<double>(static_cast<float>(value)) : value;
  } else if (IsText(desc.kind)) {
    heap.Assign(cell, nullptr);
    cell.p = heap.MakeString(FormatFloat(value));
  } else {
    StoreInt(heap, desc, cell, TruncateToInt(value));
  }
}

void StoreStr(Heap& heap, const ValueDesc& desc, Cell& cell, const std::string& value) {
  if (IsText(desc.kind)) {
    StrRep* text = heap.MakeString(value);
    void* old = cell.p;
    cell.p = text;
    heap.Release(old);
  } else if (desc.kind == ValueKind::kChar) {
    cell.i = value.empty() ? 0 : static_cast<uint8_t>(value[0]);
  } else if (desc.kind == ValueKind::kFloat) {
    cell.f = ParseFloat(value).value_or(0);
  } else if (desc.kind == ValueKind::kVariant) {
    Cell text;
    text.p = heap.MakeString(value);
    Cell boxed;
    boxed.p = heap.NewVariant(kVtString, text);
    void* old = cell.p;
    cell.p = boxed.p;
    heap.Release(old);
  } else {
    StoreInt(heap, desc, cell, ParseInteger(value, 64).value_or(0));
  }
}

}  // namespace

Cell& VmNativeCall::Arg(int index) {
  return window_[import_.params.at(static_cast<size_t>(index)).offset];
}

const Cell& VmNativeCall::Value(int index) const {
  const ValueDesc& desc = import_.params.at(static_cast<size_t>(index));
  const Cell& cell = window_[desc.offset];
  return desc.by_ref ? *cell.c : cell;
}

int64_t VmNativeCall::Int(int index) const {
  const ValueDesc& desc = ArgDesc(index);
  const Cell& cell = Value(index);
  switch (desc.kind) {
    case ValueKind::kFloat:
      return TruncateToInt(cell.f);
    case ValueKind::kString:
    case ValueKind::kPChar:
      return ParseInteger(Heap::View(cell.p), 64).value_or(0);
    case ValueKind::kVariant: {
      Cell out;
      out.i = 0;
      machine_.FromVariant(out, cell, kVarKindInt);
      return out.i;
    }
    case ValueKind::kObject:
    case ValueKind::kDynArray:
      return cell.p != nullptr;
    default:
      return cell.i;
  }
}

double VmNativeCall::Float(int index) const {
  const ValueDesc& desc = ArgDesc(index);
  const Cell& cell = Value(index);
  switch (desc.kind) {
    case ValueKind::kFloat:
      return cell.f;
    case ValueKind::kString:
    case ValueKind::kPChar:
      return ParseFloat(Heap::View(cell.p)).value_or(0);
    case ValueKind::kVariant: {
      Cell out;
      out.f = 0;
      machine_.FromVariant(out, cell, kVarKindFloat);
      return out.f;
    }
    default:
      return static_cast<double>(Int(index));
  }
}

std::string VmNativeCall::Str(int index) const {
  const ValueDesc& desc = ArgDesc(index);
  const Cell& cell = Value(index);
  switch (desc.kind) {
    case ValueKind::kString:
      return std::string(Heap::View(cell.p));
    case ValueKind::kPChar: {
      std::string_view text = Heap::View(cell.p);
      return std::string(text.substr(0, text.find('\0')));
    }
    case ValueKind::kChar:
      return std::string(1, static_cast<char>(cell.i));
    case ValueKind::kBoolean:
      return cell.i != 0 ? "True" : "False";
    case ValueKind::kFloat:
      return FormatFloat(cell.f);
    case ValueKind::kVariant: {
      Cell out;
      out.p = nullptr;
      machine_.FromVariant(out, cell, kVarKindString);
      std::string text(Heap::View(out.p));
      machine_.heap().Release(out.p);
      return text;
    }
    case ValueKind::kOrdinal:
      return std::to_string(cell.i);
    default:
      return {};
  }
}

void VmNativeCall::SetVarInt(int index, int64_t value) {
  const ValueDesc& desc = ArgDesc(index);
  if (!desc.by_ref) return;
  StoreInt(machine_.heap(), desc, *window_[desc.offset].c, value);
}

void VmNativeCall::SetVarFloat(int index, double value) {
  const ValueDesc& desc = ArgDesc(index);
  if (!desc.by_ref) return;
  StoreFloat(machine_.heap(), desc, *window_[desc.offset].c, value);
}

void VmNativeCall::SetVarStr(int index, const std::string& value) {
  const ValueDesc& desc = ArgDesc(index);
  if (!desc.by_ref) return;
  StoreStr(machine_.heap(), desc, *window_[desc.offset].c, value);
}

void VmNativeCall::ReturnInt(int64_t value) {
  if (import_.result.kind == ValueKind::kVariant) {
    Cell source;
    source.i = value;
    machine_.ToVariant(Result(), source, kVarKindInt);
    return;
  }
  StoreInt(machine_.heap(), import_.result, Result(), value);
}

void VmNativeCall::ReturnFloat(double value) {
  if (import_.result.kind == ValueKind::kVariant) {
    Cell source;
    source.f = value;
    machine_.ToVariant(Result(), source, kVarKindFloat);
    return;
  }
  StoreFloat(machine_.heap(), import_.result, Result(), value);
}

void VmNativeCall::ReturnStr(const std::string& value) {
  StoreStr(machine_.heap(), import_.result, Result(), value);
}

}  // namespace qorsv::script::vm_internal

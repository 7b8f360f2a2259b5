// TPSExec: the runtime's public face over the virtual machine.
#include "scriptengine/exec.h"

#include <cmath>

#include "scriptengine/opcodes.h"
#include "scriptengine/stdlib.h"
#include "scriptengine/text_format.h"
#include "scriptengine/vm.h"

namespace qorsv::script {

using vm_internal::Cell;
using vm_internal::Heap;
using vm_internal::Machine;

std::string ExceptionToString(TIFException kind, const std::string& param) {
  switch (kind) {
    case ErNoError:
      return "No Error";
    case erCannotImport: {
      size_t end = 0;
      while (end < param.size() && static_cast<unsigned char>(param[end]) >= 32) ++end;
      return "Cannot Import " + param.substr(0, end);
    }
    case erInvalidType:
      return "Invalid Type";
    case ErInternalError:
      return "Internal error";
    case erInvalidHeader:
      return "Invalid Header";
    case erInvalidOpcode:
      return "Invalid Opcode";
    case erInvalidOpcodeParameter:
      return "Invalid Opcode Parameter";
    case erNoMainProc:
      return "no Main Proc";
    case erOutOfGlobalVarsRange:
      return "Out of Global Vars range";
    case erOutOfProcRange:
      return "Out of Proc Range";
    case ErOutOfRange:
      return "Out Of Range";
    case erOutOfStackRange:
      return "Out Of Stack Range";
    case ErTypeMismatch:
      return "Type Mismatch";
    case erUnexpectedEof:
      return "Unexpected End Of File";
    case erVersionError:
      return "Version error";
    case ErDivideByZero:
      return "divide by Zero";
    case ErMathError:
      return "Math error";
    case erCouldNotCallProc:
      return "Could not call proc";
    case erOutofRecordRange:
      return "Out of Record Fields Range";
    case erOutOfMemory:
      return "Out Of Memory";
    case erException:
      return "Exception: " + param;
    case erNullPointerException:
      return "Null Pointer Exception";
    case erNullVariantError:
      return "Null variant error";
    case erInterfaceNotSupported:
      return "Interface not supported";
    case erCustomError:
      return param;
  }
  return "Unknown error";
}

// ---- CallValue ----

CallValue CallValue::Word(uint16_t value) {
  CallValue v;
  v.kind_ = Kind::kWord;
  v.int_ = value;
  return v;
}
CallValue CallValue::LongWord(uint32_t value) {
  CallValue v;
  v.kind_ = Kind::kLongWord;
  v.int_ = value;
  return v;
}
CallValue CallValue::Integer(int32_t value) {
  CallValue v;
  v.kind_ = Kind::kInteger;
  v.int_ = value;
  return v;
}
CallValue CallValue::Int64(int64_t value) {
  CallValue v;
  v.kind_ = Kind::kInt64;
  v.int_ = value;
  return v;
}
CallValue CallValue::Boolean(bool value) {
  CallValue v;
  v.kind_ = Kind::kBoolean;
  v.int_ = value;
  return v;
}
CallValue CallValue::Float(double value) {
  CallValue v;
  v.kind_ = Kind::kFloat;
  v.float_ = value;
  return v;
}
CallValue CallValue::Text(std::string value) {
  CallValue v;
  v.kind_ = Kind::kText;
  v.text_ = std::move(value);
  return v;
}

int64_t CallValue::ToInt64() const {
  switch (kind_) {
    case Kind::kNone:
      return 0;
    case Kind::kFloat:
      if (!std::isfinite(float_) || std::fabs(float_) > 9.2e18)
        throw ScriptEngineError("Type Mismatch");
      return static_cast<int64_t>(std::nearbyint(float_));
    case Kind::kText: {
      if (auto value = ParseInteger(text_, 64)) return *value;
      throw ScriptEngineError("Type Mismatch");
    }
    default:
      return int_;
  }
}

int32_t CallValue::ToInt32() const { return static_cast<int32_t>(ToInt64()); }

double CallValue::ToFloat() const {
  switch (kind_) {
    case Kind::kNone:
      return 0;
    case Kind::kFloat:
      return float_;
    case Kind::kText: {
      if (auto value = ParseFloat(text_)) return *value;
      throw ScriptEngineError("Type Mismatch");
    }
    default:
      return static_cast<double>(int_);
  }
}

std::string CallValue::ToText() const {
  switch (kind_) {
    case Kind::kNone:
      return {};
    case Kind::kText:
      return text_;
    case Kind::kFloat:
      return FormatFloat(float_);
    case Kind::kBoolean:
      return int_ != 0 ? "True" : "False";
    default:
      return std::to_string(int_);
  }
}

// ---- TPSExec ----

namespace {

bool FitsClass(int64_t value, uint8_t int_class) {
  switch (int_class) {
    case kWrapS8:
      return value >= INT8_MIN && value <= INT8_MAX;
    case kWrapU8:
      return value >= 0 && value <= UINT8_MAX;
    case kWrapS16:
      return value >= INT16_MIN && value <= INT16_MAX;
    case kWrapU16:
      return value >= 0 && value <= UINT16_MAX;
    case kWrapS32:
      return value >= INT32_MIN && value <= INT32_MAX;
    case kWrapU32:
      return value >= 0 && value <= UINT32_MAX;
    default:
      return true;
  }
}

[[noreturn]] void InvalidParameter() { throw ScriptEngineError("Invalid parameter"); }

// Writes a host value into a script cell of the described kind, or fails.
void StoreCallValue(Machine& machine, const ValueDesc& desc, Cell& cell, const CallValue& value) {
  Heap& heap = machine.heap();
  if (desc.by_ref || value.IsNone()) InvalidParameter();
  bool numeric = value.kind() != CallValue::Kind::kText && value.kind() != CallValue::Kind::kFloat;
  switch (desc.kind) {
    case ValueKind::kOrdinal:
    case ValueKind::kBoolean:
    case ValueKind::kChar: {
      int64_t v;
      if (desc.kind == ValueKind::kChar && value.kind() == CallValue::Kind::kText) {
        if (value.ToText().size() != 1) InvalidParameter();
        v = static_cast<uint8_t>(value.ToText()[0]);
      } else if (numeric) {
        v = value.ToInt64();
      } else if (value.kind() == CallValue::Kind::kText) {
        auto parsed = ParseInteger(value.ToText(), 64);
        if (!parsed) InvalidParameter();
        v = *parsed;
      } else {
        InvalidParameter();
      }
      if (desc.kind == ValueKind::kBoolean)
        v = v != 0;
      else if (!FitsClass(v, desc.int_class))
        InvalidParameter();
      cell.i = v;
      return;
    }
    case ValueKind::kFloat: {
      double v;
      if (value.kind() == CallValue::Kind::kText) {
        auto parsed = ParseFloat(value.ToText());
        if (!parsed) InvalidParameter();
        v = *parsed;
      } else {
        v = value.ToFloat();
      }
      cell.f = desc.is_single ? static_cast<double>(static_cast<float>(v)) : v;
      return;
    }
    case ValueKind::kString:
    case ValueKind::kPChar:
      cell.p = heap.MakeString(value.ToText());
      return;
    case ValueKind::kVariant: {
      Cell source;
      source.i = 0;
      int32_t kind = kVarKindString;
      switch (value.kind()) {
        case CallValue::Kind::kText:
          source.p = heap.MakeString(value.ToText());
          break;
        case CallValue::Kind::kFloat:
          source.f = value.ToFloat();
          kind = kVarKindFloat;
          break;
        case CallValue::Kind::kBoolean:
          source.i = value.ToInt64();
          kind = kVarKindBool;
          break;
        default:
          source.i = value.ToInt64();
          kind = kVarKindInt;
          break;
      }
      cell.p = nullptr;
      vm_internal::VarRep* boxed;
      if (kind == kVarKindString) {
        boxed = heap.NewVariant(vm_internal::kVtString, source);
      } else if (kind == kVarKindFloat) {
        boxed = heap.NewVariant(vm_internal::kVtDouble, source);
      } else if (kind == kVarKindBool) {
        boxed = heap.NewVariant(vm_internal::kVtBoolean, source);
      } else {
        boxed = heap.NewVariant(
            FitsClass(source.i, kWrapS32) ? vm_internal::kVtInteger : vm_internal::kVtInt64,
            source);
      }
      cell.p = boxed;
      return;
    }
    default:
      InvalidParameter();
  }
}

CallValue ReadCallValue(const ValueDesc& desc, const Cell& cell) {
  switch (desc.kind) {
    case ValueKind::kOrdinal:
      if (desc.int_class == kWrapU32) return CallValue::LongWord(static_cast<uint32_t>(cell.i));
      if (desc.int_class == kWrapS64) return CallValue::Int64(cell.i);
      if (desc.int_class == kWrapU16 || desc.int_class == kWrapU8) {
        return CallValue::Word(static_cast<uint16_t>(cell.i));
      }
      return CallValue::Integer(static_cast<int32_t>(cell.i));
    case ValueKind::kBoolean:
      return CallValue::Boolean(cell.i != 0);
    case ValueKind::kChar:
      return CallValue::Text(std::string(1, static_cast<char>(cell.i)));
    case ValueKind::kFloat:
      return CallValue::Float(cell.f);
    case ValueKind::kString:
    case ValueKind::kPChar:
      return CallValue::Text(std::string(Heap::View(cell.p)));
    case ValueKind::kVariant: {
      auto* v = static_cast<const vm_internal::VarRep*>(cell.p);
      if (v == nullptr || v->vtype == vm_internal::kVtNull) return CallValue();
      switch (v->vtype) {
        case vm_internal::kVtString:
          return CallValue::Text(std::string(Heap::View(v->value.p)));
        case vm_internal::kVtDouble:
          return CallValue::Float(v->value.f);
        case vm_internal::kVtBoolean:
          return CallValue::Boolean(v->value.i != 0);
        case vm_internal::kVtInt64:
          return CallValue::Int64(v->value.i);
        default:
          return CallValue::Integer(static_cast<int32_t>(v->value.i));
      }
    }
    default:
      return CallValue();
  }
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

}  // namespace

TPSExec::TPSExec() : machine_(std::make_unique<Machine>()) {}

TPSExec::~TPSExec() = default;

void TPSExec::RegisterNative(const std::string& name, NativeFunction function) {
  machine_->RegisterNative(name, std::move(function));
}

void TPSExec::UseNatives(std::shared_ptr<const NativeTable> table) {
  machine_->UseNatives(std::move(table));
}

void TPSExec::SetHostContext(void* context) { machine_->SetHostContext(context); }

void TPSExec::SetLibraryDirectory(const std::string& directory) {
  machine_->SetLibraryDirectory(directory);
}

void TPSExec::SetStepLimit(uint64_t steps) { machine_->SetStepLimit(steps); }

void TPSExec::SetDeadline(std::chrono::steady_clock::time_point deadline, std::string message) {
  machine_->SetDeadline(deadline, std::move(message));
}

bool TPSExec::Load(const std::string& image) { return machine_->Load(image); }

bool TPSExec::Load(SharedProgram program) {
  if (program == nullptr) {
    machine_->SetLoadError(erInvalidHeader, "");
    return false;
  }
  return machine_->Load(std::move(program));
}

SharedProgram TPSExec::ReadProgram(const std::string& image) {
  ImageLoadResult result = DeserializeImage(image);
  if (!result.image) return nullptr;
  return std::make_shared<const ProgramImage>(std::move(*result.image));
}

CallValue TPSExec::CallProcedure(const std::string& name, const std::vector<CallValue>& args) {
  if (!machine_->loaded()) throw ScriptEngineError("Unknown procedure");
  const ProgramImage& image = machine_->image();
  std::string upper = UpperAscii(name);
  int32_t found = -1;
  for (size_t i = 0; i < image.procs.size(); ++i) {
    if (image.procs[i].callable && image.procs[i].name == upper) found = static_cast<int32_t>(i);
  }
  if (found < 0) throw ScriptEngineError("Unknown procedure");
  const ProcInfo& proc = image.procs[found];
  if (args.size() < proc.params.size()) throw ScriptEngineError("Not enough parameters");
  if (args.size() > proc.params.size()) throw ScriptEngineError("Too many parameters");

  Cell* frame = machine_->EntryFrame(proc);
  Heap::Zero(frame, proc.param_cells);
  try {
    for (size_t i = 0; i < args.size(); ++i) {
      StoreCallValue(*machine_, proc.params[i], frame[proc.params[i].offset], args[i]);
    }
  } catch (...) {
    for (const ValueDesc& param : proc.params) {
      if (param.kind == ValueKind::kString || param.kind == ValueKind::kPChar ||
          param.kind == ValueKind::kVariant) {
        machine_->heap().Release(frame[param.offset].p);
        frame[param.offset].p = nullptr;
      }
    }
    throw;
  }
  if (!machine_->Execute(found)) throw ScriptEngineError(LastErrorMessage());
  if (proc.result.kind == ValueKind::kVoid) return CallValue();
  Cell& result = frame[proc.result.offset];
  CallValue value = ReadCallValue(proc.result, result);
  if (proc.result.rtti >= 0) machine_->heap().FinalizeComposite(&result, proc.result.rtti);
  return value;
}

bool TPSExec::RunMainBlock() {
  if (!machine_->loaded()) {
    machine_->SetLoadError(erNoMainProc, "");
    return false;
  }
  return machine_->Execute(machine_->image().main_proc);
}

namespace {

// Stores `value` into a simple global variable, releasing the text it held.
void ReplaceGlobal(Machine& machine, const GlobalInfo& global, const CallValue& value) {
  Cell* cell = machine.GlobalCell(global.value.offset);
  Cell fresh;
  fresh.i = 0;
  StoreCallValue(machine, global.value, fresh, value);
  if (global.value.kind == ValueKind::kString || global.value.kind == ValueKind::kPChar ||
      global.value.kind == ValueKind::kVariant) {
    machine.heap().Release(cell->p);
  }
  *cell = fresh;
}

}  // namespace

bool TPSExec::SetVariableObject(const std::string& name, std::unique_ptr<HostObject> object) {
  if (!machine_->loaded()) return false;
  std::string upper = UpperAscii(name);
  for (const GlobalInfo& global : machine_->image().globals) {
    if (global.name == upper && global.value.kind == ValueKind::kObject) {
      try {
        machine_->SetGlobalObject(global.value.offset, std::move(object));
      } catch (const vm_internal::OutOfMemoryError&) {
        return false;
      }
      return true;
    }
  }
  return false;
}

size_t TPSExec::LiveObjects() const { return machine_->objects().live_objects(); }

void TPSExec::SetClassImporter(std::shared_ptr<const TPSRuntimeClassImporter> classes) {
  machine_->SetClassImporter(std::move(classes));
}

CallValue TPSExec::GetVariable(const std::string& name) const {
  std::string upper = UpperAscii(name);
  if (machine_->loaded()) {
    for (const GlobalInfo& global : machine_->image().globals) {
      if (global.name == upper)
        return ReadCallValue(global.value, *machine_->GlobalCell(global.value.offset));
    }
  }
  throw ScriptEngineError("Unknown variable");
}

void TPSExec::SetVariable(const std::string& name, const CallValue& value) {
  std::string upper = UpperAscii(name);
  if (machine_->loaded()) {
    for (const GlobalInfo& global : machine_->image().globals) {
      if (global.name != upper) continue;
      ReplaceGlobal(*machine_, global, value);
      return;
    }
  }
  throw ScriptEngineError("Unknown variable");
}

void TPSExec::SetLateLiterals(const std::vector<CallValue>& values) {
  static constexpr std::string_view kPrefix = "#LITERAL";
  size_t set = 0;
  if (machine_->loaded()) {
    for (const GlobalInfo& global : machine_->image().globals) {
      if (global.name.compare(0, kPrefix.size(), kPrefix) != 0) continue;
      size_t index = std::stoul(global.name.substr(kPrefix.size()));
      if (index >= values.size()) continue;
      ReplaceGlobal(*machine_, global, values[index]);
      ++set;
    }
  }
  if (set != values.size()) throw ScriptEngineError("Unknown variable");
}

RuntimeMemory TPSExec::Memory() const {
  const Heap& heap = machine_->heap();
  return RuntimeMemory{heap.live_bytes(), heap.peak_bytes(), heap.allocated_bytes()};
}

TIFException TPSExec::LastError() const { return machine_->last_error().kind; }

const std::string& TPSExec::LastErrorParameter() const { return machine_->last_error().param; }

std::string TPSExec::LastErrorMessage() const {
  const vm_internal::VmError& error = machine_->last_error();
  if (error.from_native) return error.native_message;
  return ExceptionToString(error.kind, error.param);
}

}  // namespace qorsv::script

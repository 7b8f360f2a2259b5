// Loading, running and unwinding of the virtual machine; calls into natives and libraries.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "scriptengine/class_library.h"
#include "scriptengine/external_clause.h"
#include "scriptengine/fast_routines.h"
#include "scriptengine/opcodes.h"
#include "scriptengine/vm.h"

#include "scriptengine/stdlib.h"

namespace qorsv::script::vm_internal {
namespace {

FfiType FfiTypeFor(const ValueDesc& desc) {
  if (desc.by_ref) return FfiType::kPointer;
  switch (desc.kind) {
    case ValueKind::kOrdinal:
      switch (desc.int_class) {
        case kWrapS8:
          return FfiType::kInt8;
        case kWrapU8:
          return FfiType::kUInt8;
        case kWrapS16:
          return FfiType::kInt16;
        case kWrapU16:
          return FfiType::kUInt16;
        case kWrapS32:
          return FfiType::kInt32;
        case kWrapU32:
          return FfiType::kUInt32;
        default:
          return FfiType::kInt64;
      }
    case ValueKind::kBoolean:
      return FfiType::kBool;
    case ValueKind::kChar:
      return FfiType::kUInt8;
    case ValueKind::kFloat:
      return desc.is_single ? FfiType::kSingle : FfiType::kDouble;
    case ValueKind::kVoid:
      return FfiType::kVoid;
    default:
      return FfiType::kPointer;
  }
}

}  // namespace


namespace {

const ProgramImage& NoImage() {
  static const ProgramImage none;
  return none;
}

}  // namespace

Machine::Machine() : image_(&NoImage()), heap_(&image_->rtti) {}

Machine::~Machine() {
  // Heap objects are freed by the heap itself; libraries are closed by ExternalLibraries.
  CellAreaPool::Give(std::move(globals_));
  if (stack_.get() != nullptr) {
    CellAreaPool::Give(std::move(stack_), static_cast<size_t>(stack_high_ - stack_.get()));
  }
}

void Machine::RegisterNative(const std::string& name, NativeFunction function) {
  natives_[name] = std::move(function);
}

void Machine::SetLoadError(TIFException kind, std::string param) {
  last_error_ = VmError{};
  last_error_.kind = kind;
  last_error_.param = std::move(param);
}

bool Machine::Load(const std::string& bytes) {
  ImageLoadResult result = DeserializeImage(bytes);
  if (!result.image) {
    SetLoadError(result.error, result.parameter);
    return false;
  }
  return Load(std::make_shared<const ProgramImage>(std::move(*result.image)));
}

bool Machine::Load(std::shared_ptr<const ProgramImage> image) {
  if (loaded_) {
    SetLoadError(erInvalidHeader, "");
    return false;
  }
  program_ = std::move(image);
  image_ = program_.get();
  heap_.set_rtti(&image_->rtti);
  frames_.clear();
  for (const ProcInfo& proc : image_->procs) {
    frames_.push_back(ProcFrame{proc.entry, proc.param_cells, proc.frame_cells, proc.max_cells,
                                !proc.cleanup.empty()});
  }
  try {
    globals_ = CellAreaPool::Take(image_->global_cells);
    stack_ = CellAreaPool::Take(kStackCells);
    stack_high_ = stack_.get();
    InitGlobals();
  } catch (const std::bad_alloc&) {
    SetLoadError(erOutOfMemory, "");
    return false;
  } catch (const OutOfMemoryError&) {
    SetLoadError(erOutOfMemory, "");
    return false;
  }
  if (!BindImports()) return false;
  loaded_ = true;
  last_error_ = VmError{};
  return true;
}

void Machine::InitGlobals() {
  Cell* globals = globals_.get();
  for (const GlobalInit& init : image_->inits) {
    Cell& cell = globals[init.cell];
    switch (init.kind) {
      case GlobalInit::Kind::kInt:
        cell.i = init.value;
        break;
      case GlobalInit::Kind::kFloat:
        std::memcpy(&cell.f, &init.value, sizeof(double));
        break;
      case GlobalInit::Kind::kString:
        heap_.Release(cell.p);
        cell.p = heap_.MakeString(
            std::string_view(image_->string_pool)
                .substr(static_cast<size_t>(init.value), static_cast<size_t>(init.length)));
        break;
    }
  }
}

// The native bound to `name`: the latest registration, else the shared table's, else the
// engine's standard routine.
const NativeFunction* Machine::FindNative(const std::string& name, bool* standard) const {
  const NativeTable& standard_table = StandardRoutines();
  for (const NativeTable* table : {&natives_, shared_natives_.get(), &standard_table}) {
    if (table == nullptr) continue;
    auto found = table->find(name);
    if (found == table->end()) continue;
    *standard = table == &standard_table;
    return found->second ? &found->second : nullptr;
  }
  return nullptr;
}

// Binds every import the program uses: natives by registered name, library functions by
// loading their library now (or at the first call for DELAYLOAD).
bool Machine::BindImports() {
  bound_natives_.assign(image_->imports.size(), nullptr);
  fast_routines_.assign(image_->imports.size(), nullptr);
  bound_methods_.assign(image_->imports.size(), BoundMethod{});
  externals_.clear();
  externals_.resize(image_->imports.size());
  for (size_t i = 0; i < image_->imports.size(); ++i) {
    const ImportInfo& import = image_->imports[i];
    if (!import.external && import.name.find('.') != std::string::npos) {
      if (!BindMethod(static_cast<int32_t>(i))) return false;
      continue;
    }
    if (!import.external) {
      bool standard = false;
      const NativeFunction* function = FindNative(import.name, &standard);
      if (function == nullptr) {
        SetLoadError(erCannotImport, import.name);
        return false;
      }
      bound_natives_[i] = function;
      if (standard) fast_routines_[i] = FindFastRoutine(import);
      continue;
    }
    ExternalClauseResult parsed = ParseExternalClause(import.external_text);
    if (!parsed.clause) {
      SetLoadError(erCannotImport, import.name);
      return false;
    }
    External& external = externals_[i];
    external.clause = *parsed.clause;
    try {
      std::vector<FfiType> params;
      for (const ValueDesc& param : import.params) params.push_back(FfiTypeFor(param));
      external.call = std::make_unique<PreparedCall>(FfiTypeFor(import.result), params);
    } catch (const std::exception&) {
      SetLoadError(erCannotImport, import.name);
      return false;
    }
    if (!external.clause.delay_load && !BindExternal(static_cast<int32_t>(i), external)) return false;
  }
  return true;
}

// Binds "CLASS.MEMBER" to the member of CLASS or of its nearest ancestor that declares it.
bool Machine::BindMethod(int32_t import) {
  const std::string& name = image_->imports[import].name;
  size_t dot = name.find('.');
  const RuntimeClass* bound_class =
      classes_ != nullptr ? classes_->FindClass(name.substr(0, dot)) : nullptr;
  const std::string member = name.substr(dot + 1);
  const MemberBinding* binding = nullptr;
  if (bound_class != nullptr) {
    binding = TypeTestBinding(member);
    if (binding == nullptr) binding = bound_class->FindMember(member);
  }
  if (binding == nullptr) {
    SetLoadError(erCannotImport, name);
    return false;
  }
  bound_methods_[import] = BoundMethod{binding, bound_class};
  return true;
}

HostObject* Machine::ObjectArgument(int64_t handle) {
  ObjectTable::Lookup state;
  HostObject* object = objects_.Find(handle, &state);
  if (state == ObjectTable::Lookup::kFreed) RaiseObjectError(state, "");
  return object;
}

void Machine::RaiseObjectError(ObjectTable::Lookup state, const std::string& member) {
  const std::string called = member.empty() ? "" : " (" + member + ")";
  if (state == ObjectTable::Lookup::kFreed) {
    Raise(erCustomError, "Access to an object that was freed" + called);
  }
  // The kind scripts test for stays erNullPointerException; the run's message names the call.
  VmError error;
  error.kind = erNullPointerException;
  error.from_native = !member.empty();
  error.native_message = "Null Pointer Exception" + called;
  throw error;
}

void Machine::SetGlobalObject(int32_t offset, std::unique_ptr<HostObject> object) {
  Cell* cell = GlobalCell(offset);
  if (cell->i != 0) objects_.Free(cell->i);
  cell->i = objects_.Add(std::move(object));
}

bool Machine::BindExternal(int32_t, External& external) {
  if (!libraries_) {
    libraries_ = library_directory_.empty()
                     ? std::make_unique<ExternalLibraries>()
                     : std::make_unique<ExternalLibraries>(library_directory_);
  }
  ResolvedFunction resolved =
      libraries_->Resolve(external.clause.library_name, external.clause.function_name);
  if (!resolved.found()) {
    SetLoadError(erCannotImport, resolved.missing);
    return false;
  }
  external.address = resolved.address;
  external.bound = true;
  return true;
}

void Machine::StopRun(std::string message) {
  VmError error;
  error.kind = erCustomError;
  error.param = std::move(message);
  error.fatal = true;
  throw error;
}

void Machine::StartBudget() {
  steps_left_ = step_limit_ == 0 ? INT64_MAX : static_cast<int64_t>(step_limit_);
  RefillBudget();
  if (has_deadline_ && std::chrono::steady_clock::now() >= deadline_) StopRun(deadline_message_);
}

void Machine::RefillBudget() {
  budget_stretch_ = has_deadline_ ? std::min(steps_left_, kDeadlineCheckSteps) : steps_left_;
  budget_ = budget_stretch_;
}

void Machine::BudgetSpent() {
  // The countdown went from budget_stretch_ to -1: that many steps and one more were made.
  steps_left_ -= budget_stretch_ + 1;
  if (step_limit_ != 0 && steps_left_ < 0) StopRun("Step limit exceeded");
  if (has_deadline_ && std::chrono::steady_clock::now() >= deadline_) StopRun(deadline_message_);
  RefillBudget();
}

bool Machine::Execute(int32_t proc) {
  if (!loaded_ || proc < 0 || proc >= static_cast<int32_t>(image_->procs.size())) {
    SetLoadError(erOutOfProcRange, "");
    return false;
  }
  const ProcInfo& info = image_->procs[proc];
  Cell* base = stack_.get();
  if (base + info.max_cells > stack_high_) stack_high_ = base + info.max_cells;
  Heap::Zero(base + info.param_cells, info.frame_cells - info.param_cells);
  calls_.clear();
  handlers_.clear();
  pending_.clear();
  calls_.push_back(CallInfo{proc, base, -1});
  pc_ = info.entry;
  last_error_ = VmError{};
  bool started = false;
  for (;;) {
    VmError error;
    try {
      if (!started) {
        started = true;
        StartBudget();
      }
      Interpret();
      return true;
    } catch (VmError& raised) {
      error = std::move(raised);
    } catch (const OutOfMemoryError&) {
      error.kind = erOutOfMemory;
    } catch (const std::bad_alloc&) {
      error.kind = erOutOfMemory;
    }
    if (!Unwind(std::move(error))) return false;
  }
}

// Hands `error` to the innermost handler of the run, releasing the frames it leaves; false
// when no handler takes it (the run ends with last_error_ set).
bool Machine::Unwind(VmError error) {
  if (!calls_.empty()) {
    error.proc = calls_.back().proc;
    error.pos = pc_;
  }
  current_exception_ = error;
  if (!error.fatal && !handlers_.empty()) {
    Handler handler = handlers_.back();
    handlers_.pop_back();
    while (calls_.size() > handler.depth) {
      FinalizeFrame(calls_.back(), true);
      calls_.pop_back();
    }
    if (handler.is_finally) {
      pending_.push_back(error);
      handler.state->i = -static_cast<int64_t>(pending_.size());
    }
    pc_ = handler.pc;
    return true;
  }
  while (!calls_.empty()) {
    FinalizeFrame(calls_.back(), true);
    calls_.pop_back();
  }
  handlers_.clear();
  pending_.clear();
  last_error_ = std::move(error);
  return false;
}

void Machine::FinalizeFrame(const CallInfo& frame, bool with_result) {
  const ProcInfo& proc = image_->procs[frame.proc];
  Cell* fp = frame.fp;
  for (const FrameCleanup& cleanup : proc.cleanup) {
    if (cleanup.rtti < 0) {
      void* old = fp[cleanup.offset].p;
      fp[cleanup.offset].p = nullptr;
      heap_.Release(old);
    } else {
      heap_.FinalizeComposite(fp + cleanup.offset, cleanup.rtti);
    }
  }
  if (with_result && proc.result.kind != ValueKind::kVoid && proc.result.rtti >= 0) {
    heap_.FinalizeComposite(fp + proc.result.offset, proc.result.rtti);
  }
}

void Machine::ReleaseArguments(const ImportInfo& info, Cell* window) {
  for (const ValueDesc& param : info.params) {
    if (param.by_ref) continue;
    if (param.kind == ValueKind::kString || param.kind == ValueKind::kPChar ||
        param.kind == ValueKind::kVariant || param.kind == ValueKind::kDynArray) {
      void* old = window[param.offset].p;
      window[param.offset].p = nullptr;
      heap_.Release(old);
    }
  }
}

namespace {

// The runtime error of a failure thrown inside a native or a member of a host class.
VmError ErrorOfNative(std::exception_ptr failure) {
  VmError error;
  try {
    std::rethrow_exception(failure);
  } catch (VmError& raised) {
    error = std::move(raised);
  } catch (const OutOfMemoryError&) {
    error.kind = erOutOfMemory;
  } catch (const std::bad_alloc&) {
    error.kind = erOutOfMemory;
  } catch (const NativeDivideByZero& raised) {
    error.kind = ErDivideByZero;
    error.from_native = true;
    error.native_message = raised.what();
  } catch (const NativeMathError& raised) {
    error.kind = ErMathError;
    error.from_native = true;
    error.native_message = raised.what();
  } catch (const std::exception& raised) {
    error.kind = erException;
    error.param = raised.what();
    error.from_native = true;
    error.native_message = raised.what();
  } catch (...) {
    error.kind = ErInternalError;
  }
  return error;
}

}  // namespace

void Machine::CallMethod(int32_t import, Cell* window) {
  const ImportInfo& info = image_->imports[import];
  const BoundMethod& bound = bound_methods_[import];
  const MemberBinding& binding = *bound.binding;
  if (info.result.kind != ValueKind::kVoid) window[info.result.offset].i = 0;
  HostObject* self = nullptr;
  std::exception_ptr failure;
  try {
    if (binding.has_self) {
      ObjectTable::Lookup state;
      self = objects_.Find(window[info.params[0].offset].i, &state);
      if (self == nullptr && (state == ObjectTable::Lookup::kFreed || !binding.nil_self)) {
        RaiseObjectError(state, binding.name);
      }
      // A hard cast may have given the script an object of another class.
      if (self != nullptr && !binding.type_test &&
          !self->runtime_class().InheritsFrom(*bound.bound_class)) {
        Raise(erCustomError, "Invalid class typecast: " + self->runtime_class().name +
                                 " is not a " + bound.bound_class->name);
      }
    }
    MethodCall call(*this, info, window, self, *bound.bound_class, binding.has_self);
    binding.impl(call);
  } catch (...) {
    failure = std::current_exception();
  }
  ReleaseArguments(info, window);
  if (failure) throw ErrorOfNative(failure);
}

void Machine::CallNative(int32_t import, Cell* window) {
  const ImportInfo& info = image_->imports[import];
  if (info.result.kind != ValueKind::kVoid) window[info.result.offset].i = 0;
  std::exception_ptr failure;
  try {
    VmNativeCall call(*this, info, window);
    (*bound_natives_[import])(call);
  } catch (...) {
    failure = std::current_exception();
  }
  ReleaseArguments(info, window);
  if (failure) throw ErrorOfNative(failure);
}

void Machine::CallExternal(int32_t import, Cell* window) {
  const ImportInfo& info = image_->imports[import];
  External& external = externals_[import];
  if (!external.bound && !BindExternal(import, external)) {
    VmError error = last_error_;
    last_error_ = VmError{};
    throw error;
  }
  std::vector<FfiValue> args(info.params.size());
  std::vector<int64_t> scratch(info.params.size());
  std::vector<double> float_scratch(info.params.size());
  static const char kEmpty[1] = {0};
  for (size_t i = 0; i < info.params.size(); ++i) {
    const ValueDesc& param = info.params[i];
    Cell& cell = window[param.offset];
    if (param.by_ref) {
      Cell* target = cell.c;
      if (param.kind == ValueKind::kString || param.kind == ValueKind::kPChar) {
        StrRep* text = heap_.Unique(*target);
        args[i].p = text != nullptr ? text->data() : kEmpty;
      } else if (param.kind == ValueKind::kFloat) {
        float_scratch[i] = target->f;
        args[i].p = &float_scratch[i];
      } else {
        scratch[i] = target->i;
        args[i].p = &scratch[i];
      }
      continue;
    }
    switch (param.kind) {
      case ValueKind::kFloat:
        args[i].d = cell.f;
        break;
      case ValueKind::kString:
      case ValueKind::kPChar: {
        auto* text = static_cast<StrRep*>(cell.p);
        args[i].p = text != nullptr ? text->data() : kEmpty;
        break;
      }
      case ValueKind::kObject:
      case ValueKind::kDynArray:
      case ValueKind::kVariant:
        args[i].p = cell.p;
        break;
      default:
        args[i].i = cell.i;
        break;
    }
  }
  FfiValue result;
  try {
    result = external.call->Invoke(external.address, args);
  } catch (const std::exception& raised) {
    Raise(erCouldNotCallProc, raised.what());
  }
  // Write back `var` arguments, wrapped to their declared width.
  for (size_t i = 0; i < info.params.size(); ++i) {
    const ValueDesc& param = info.params[i];
    if (!param.by_ref) continue;
    Cell* target = window[param.offset].c;
    if (param.kind == ValueKind::kFloat) {
      target->f = float_scratch[i];
    } else if (param.kind == ValueKind::kOrdinal || param.kind == ValueKind::kBoolean ||
               param.kind == ValueKind::kChar) {
      int64_t v = WrapValue(scratch[i], param.int_class);
      target->i = param.kind == ValueKind::kBoolean ? (v != 0) : v;
    }
  }
  Cell& out = window[info.result.offset];
  switch (info.result.kind) {
    case ValueKind::kVoid:
      break;
    case ValueKind::kFloat:
      out.f = result.d;
      break;
    case ValueKind::kBoolean:
      out.i = result.i != 0;
      break;
    case ValueKind::kString:
    case ValueKind::kPChar:
      out.p = result.p != nullptr ? heap_.MakeString(static_cast<const char*>(result.p)) : nullptr;
      break;
    case ValueKind::kObject:
      out.p = const_cast<void*>(result.p);
      break;
    case ValueKind::kVariant:
    case ValueKind::kDynArray:
      out.p = nullptr;
      break;
    default:
      out.i = result.i;
      break;
  }
}

}  // namespace qorsv::script::vm_internal

// The virtual machine: runs a loaded program image.
//
// Machine is TPSExec's engine room. Frames live on a fixed cell stack (a call beyond it, or
// beyond the call-depth limit, is the runtime error "Out Of Stack Range", never a C++ stack
// overflow); runtime errors are C++ exceptions (VmError) thrown by the instruction that fails and
// caught by Execute, which unwinds to the script's innermost handler or ends the run. Natives
// are called through VmNativeCall; library functions through libffi (ffi.h).
//
// Threading: one thread at a time per Machine; Machines share nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scriptengine/cell_area.h"
#include "scriptengine/exec.h"
#include "scriptengine/external_clause.h"
#include "scriptengine/fast_routines.h"
#include "scriptengine/ffi.h"
#include "scriptengine/heap.h"
#include "scriptengine/host_object.h"
#include "scriptengine/image.h"
#include "scriptengine/native.h"
#include "scriptengine/object_table.h"

namespace qorsv::script::vm_internal {

struct MemberBinding;

// A runtime error on its way to a handler or out of the run.
struct VmError {
  TIFException kind = ErNoError;
  std::string param;
  bool from_native = false;  // raised inside a native: its own message is the failure text
  std::string native_message;
  bool fatal = false;  // the step limit or the deadline: no script handler may catch it
  int32_t proc = -1;
  int32_t pos = 0;
};

constexpr int64_t kStackCells = int64_t{1} << 20;
constexpr size_t kMaxCallDepth = 100000;
// Steps (loop back-edges and calls) between two looks at the clock while a deadline is set.
constexpr int64_t kDeadlineCheckSteps = 4096;

class Machine {
 public:
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  void RegisterNative(const std::string& name, NativeFunction function);
  // A shared table consulted after the natives registered one by one and before the standard
  // routines.
  void UseNatives(std::shared_ptr<const NativeTable> table) { shared_natives_ = std::move(table); }
  // The classes whose members the program's "CLASS.MEMBER" imports bind to.
  void SetClassImporter(std::shared_ptr<const TPSRuntimeClassImporter> classes) {
    classes_ = std::move(classes);
  }
  void SetHostContext(void* context) { host_context_ = context; }
  void* host_context() const { return host_context_; }
  void SetLibraryDirectory(const std::string& directory) { library_directory_ = directory; }
  void SetStepLimit(uint64_t steps) { step_limit_ = steps; }
  void SetDeadline(std::chrono::steady_clock::time_point deadline, std::string message) {
    deadline_ = deadline;
    deadline_message_ = std::move(message);
    has_deadline_ = true;
  }

  bool Load(const std::string& bytes);
  // Loads an image read and checked before (DeserializeImage), shared with other runtimes.
  bool Load(std::shared_ptr<const ProgramImage> image);
  bool loaded() const { return loaded_; }
  const ProgramImage& image() const { return *image_; }

  // Runs procedure `proc` whose parameters are already in the stack base cells (see
  // EntryFrame). False on a runtime error (see last_error()).
  bool Execute(int32_t proc);
  // The frame of a routine called from the host; its cells count as used.
  Cell* EntryFrame(const ProcInfo& proc) {
    Cell* base = stack_.get();
    if (base + proc.max_cells > stack_high_) stack_high_ = base + proc.max_cells;
    return base;
  }
  Cell* GlobalCell(int32_t offset) { return globals_.get() + offset; }

  ObjectTable& objects() { return objects_; }
  const ObjectTable& objects() const { return objects_; }
  // The object of a handle an argument holds: nullptr for nil; a freed object is a runtime error.
  HostObject* ObjectArgument(int64_t handle);
  // Takes a host object into the run and stores its handle in the global variable `offset`.
  void SetGlobalObject(int32_t offset, std::unique_ptr<HostObject> object);
  Heap& heap() { return heap_; }
  const Heap& heap() const { return heap_; }
  const VmError& last_error() const { return last_error_; }
  void SetLoadError(TIFException kind, std::string param);
  // The last exception raised in the script (what ExceptionType and friends report).
  const VmError& current_exception() const { return current_exception_; }

  [[noreturn]] void Raise(TIFException kind, std::string param = {});

 private:
  struct CallInfo {
    int32_t proc;
    Cell* fp;
    int32_t return_pc;
  };
  // What a call needs of a procedure, packed together (the image's ProcInfo is large).
  struct ProcFrame {
    int32_t entry;
    int32_t param_cells;
    int32_t frame_cells;
    int32_t max_cells;
    bool cleans_up;  // has cells to release when it returns
  };
  struct Handler {
    int32_t pc;
    size_t depth;  // calls_.size() when the try began
    bool is_finally;
    Cell* state;  // finally: the state cell
  };
  // A "CLASS.MEMBER" import bound to a member of a host class.
  struct BoundMethod {
    const MemberBinding* binding = nullptr;
    const RuntimeClass* bound_class = nullptr;
  };
  struct External {
    bool bound = false;
    ExternalClause clause;
    void* address = nullptr;
    std::unique_ptr<PreparedCall> call;
  };
  void Interpret();
  bool Unwind(VmError error);
  void FinalizeFrame(const CallInfo& frame, bool with_result);
  void CallNative(int32_t import, Cell* window);
  void CallExternal(int32_t import, Cell* window);
  void CallMethod(int32_t import, Cell* window);
  // Releases the value arguments of a native or method call that the callee did not take.
  void ReleaseArguments(const ImportInfo& info, Cell* window);
  bool BindMethod(int32_t import);
  // The error of a call of `member` on nil or on a freed object.
  [[noreturn]] void RaiseObjectError(ObjectTable::Lookup state, const std::string& member);
  bool BindImports();
  // The native bound to `name`; `*standard` tells whether it is the engine's own routine.
  const NativeFunction* FindNative(const std::string& name, bool* standard) const;
  bool BindExternal(int32_t import, External& external);
  void InitGlobals();
  void StartBudget();
  void RefillBudget();
  // The step countdown ran out: ends the run at the step limit or past the deadline, or starts
  // the next stretch of steps.
  void BudgetSpent();
  [[noreturn]] void StopRun(std::string message);

  // Variant operations (vm_variant.cpp).
  void ToVariant(Cell& dst, const Cell& src, int32_t kind);
  void FromVariant(Cell& dst, const Cell& src, int32_t kind);
  void VariantOp(Cell& dst, const Cell& a, const Cell& b, int32_t op);
  bool VariantCompare(const Cell& a, const Cell& b, int32_t op);

  std::shared_ptr<const ProgramImage> program_;
  const ProgramImage* image_;  // program_, or an empty image before loading
  bool loaded_ = false;
  Heap heap_;
  CellArea globals_;
  CellArea stack_;
  Cell* stack_high_ = nullptr;  // one past the highest stack cell any frame may have written
  std::vector<ProcFrame> frames_;  // by procedure index
  std::vector<CallInfo> calls_;
  std::vector<Handler> handlers_;
  std::vector<VmError> pending_;  // exceptions waiting for their finally block to end
  VmError current_exception_;
  VmError last_error_;
  int32_t pc_ = 0;
  // Steps left before BudgetSpent runs: the whole step limit, or a stretch of at most
  // kDeadlineCheckSteps while a deadline is set.
  int64_t budget_ = INT64_MAX;
  int64_t budget_stretch_ = INT64_MAX;
  int64_t steps_left_ = INT64_MAX;
  uint64_t step_limit_ = 0;
  bool has_deadline_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::string deadline_message_;

  NativeTable natives_;
  std::shared_ptr<const NativeTable> shared_natives_;
  std::vector<const NativeFunction*> bound_natives_;
  std::vector<FastRoutine> fast_routines_;  // by import: the fast form of a standard routine
  std::vector<BoundMethod> bound_methods_;  // by import: the members of host classes
  std::vector<External> externals_;
  std::string library_directory_;
  std::unique_ptr<ExternalLibraries> libraries_;
  void* host_context_ = nullptr;
  std::shared_ptr<const TPSRuntimeClassImporter> classes_;
  // After the heap: its objects' strings go back to the heap before the heap goes.
  ObjectTable objects_{heap_};

  friend class VmNativeCall;
};

// The NativeCall a native receives: reads its arguments from the call window.
class VmNativeCall : public NativeCall {
 public:
  VmNativeCall(Machine& machine, const ImportInfo& import, Cell* window)
      : machine_(machine), import_(import), window_(window) {}

  int ArgCount() const override { return static_cast<int>(import_.params.size()); }
  int64_t Int(int index) const override;
  double Float(int index) const override;
  std::string Str(int index) const override;
  void SetVarInt(int index, int64_t value) override;
  void SetVarFloat(int index, double value) override;
  void SetVarStr(int index, const std::string& value) override;
  void ReturnInt(int64_t value) override;
  void ReturnFloat(double value) override;
  void ReturnStr(const std::string& value) override;
  void* HostContext() const override { return machine_.host_context(); }

  // For the engine's own routines that work on raw values.
  Machine& machine() { return machine_; }
  Cell& Arg(int index);
  Cell& Result() { return window_[import_.result.offset]; }
  const ValueDesc& ArgDesc(int index) const {
    return import_.params.at(static_cast<size_t>(index));
  }

 private:
  const Cell& Value(int index) const;
  Machine& machine_;
  const ImportInfo& import_;
  Cell* window_;
};

}  // namespace qorsv::script::vm_internal

// The instruction loop of the virtual machine (its instructions on data are in vm_data_ops.inc).
#include "scriptengine/vm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "scriptengine/opcodes.h"

namespace qorsv::script::vm_internal {
namespace {

int CompareStrings(const void* a, const void* b) {
  std::string_view x = Heap::View(a);
  std::string_view y = Heap::View(b);
  int c = x.compare(y);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The cell an operand names: >= 0 in the frame, < 0 a global.
inline Cell* CellAt(int32_t operand, Cell* fp, Cell* globals) {
  return operand >= 0 ? fp + operand : globals + ~operand;
}

// Zeroes the cells from `begin` to `end`: a frame's few cells, for which a call of memset
// would cost more than the stores.
inline void ZeroFew(Cell* begin, Cell* end) {
  while (begin < end) {
    begin->i = 0;
    ++begin;
    __asm__("" : "+r"(begin));  // keeps the compiler from making the loop a memset call
  }
}

bool SameString(const void* a, const void* b) {
  if (a == b) return true;
  return Heap::View(a) == Heap::View(b);
}

}  // namespace

void Machine::Raise(TIFException kind, std::string param) {
  VmError error;
  error.kind = kind;
  error.param = std::move(param);
  throw error;
}

// Runs from pc_ in the frame on top of calls_ until the entry frame returns.
void Machine::Interpret() {
  const int32_t* const code = image_->code.data();
  const int32_t* ip = code + pc_;
  Cell* fp = calls_.back().fp;
  Cell* const globals = globals_.get();
  Cell* const stack_end = stack_.get() + kStackCells;
  const ProcFrame* const frames = frames_.data();
  const FastRoutine* const fast_routines = fast_routines_.data();
  Heap& heap = heap_;

  static const void* const kLabels[] = {
#define QORSV_LABEL(name, operands) &&L_##name,
      QORSV_OPCODES(QORSV_LABEL)
#undef QORSV_LABEL
  };

#define R(n) CellAt(ip[n], fp, globals)
#define NEXT(words) \
  ip += (words);    \
  goto* kLabels[*ip]
#define JUMP(target)    \
  ip = code + (target); \
  goto* kLabels[*ip]
#define FAIL(kind, param)                  \
  do {                                     \
    pc_ = static_cast<int32_t>(ip - code); \
    Raise(kind, param);                    \
  } while (0)
#define COUNT_STEP()                         \
  do {                                       \
    if (--budget_ < 0) {                     \
      pc_ = static_cast<int32_t>(ip - code); \
      BudgetSpent();                         \
    }                                        \
  } while (0)

  goto* kLabels[*ip];

L_kNop : { NEXT(1); }
L_kMov : {
  *R(1) = *R(2);
  NEXT(3);
}
L_kMovI : {
  R(1)->i = ip[2];
  NEXT(3);
}
L_kMovN : {
  std::memmove(R(1), R(2), sizeof(Cell) * static_cast<size_t>(ip[3]));
  NEXT(4);
}
L_kMovS : {
  heap.Assign(*R(1), R(2)->p);
  NEXT(3);
}
L_kTake : {
  Cell* d = R(1);
  Cell* s = R(2);
  if (d != s) {
    void* old = d->p;
    d->p = s->p;
    s->p = nullptr;
    heap.Release(old);
  }
  NEXT(3);
}
L_kTakeP : {
  Cell* d = R(1)->c;
  Cell* s = R(2);
  if (d != s) {
    void* old = d->p;
    d->p = s->p;
    s->p = nullptr;
    heap.Release(old);
  }
  NEXT(3);
}
L_kZeroN : {
  Heap::Zero(R(1), ip[2]);
  NEXT(3);
}
L_kClear : {
  Cell* d = R(1);
  void* old = d->p;
  d->p = nullptr;
  heap.Release(old);
  NEXT(2);
}
L_kWrap : {
  R(1)->i = WrapValue(R(2)->i, ip[3]);
  NEXT(4);
}
L_kAdd32 : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) + static_cast<uint32_t>(R(3)->i));
  NEXT(4);
}
L_kSub32 : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) - static_cast<uint32_t>(R(3)->i));
  NEXT(4);
}
L_kMul32 : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) * static_cast<uint32_t>(R(3)->i));
  NEXT(4);
}
L_kMul32I : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) * static_cast<uint32_t>(ip[3]));
  NEXT(4);
}
L_kMul64I : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) *
                                 static_cast<uint64_t>(static_cast<int64_t>(ip[3])));
  NEXT(4);
}
L_kAdd32I : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) + static_cast<uint32_t>(ip[3]));
  NEXT(4);
}
L_kAdd64 : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) + static_cast<uint64_t>(R(3)->i));
  NEXT(4);
}
L_kSub64 : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) - static_cast<uint64_t>(R(3)->i));
  NEXT(4);
}
L_kMul64 : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) * static_cast<uint64_t>(R(3)->i));
  NEXT(4);
}
L_kAdd64I : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) +
                                 static_cast<uint64_t>(static_cast<int64_t>(ip[3])));
  NEXT(4);
}
L_kDiv : {
  int64_t a = R(2)->i;
  int64_t b = R(3)->i;
  if (b == 0) FAIL(ErDivideByZero, "");
  R(1)->i = b == -1 ? static_cast<int64_t>(0 - static_cast<uint64_t>(a)) : a / b;
  NEXT(4);
}
L_kMod : {
  int64_t a = R(2)->i;
  int64_t b = R(3)->i;
  if (b == 0) FAIL(ErDivideByZero, "");
  R(1)->i = b == -1 ? 0 : a % b;
  NEXT(4);
}
// The divisor is a constant other than 0 and -1: nothing to check, nothing overflows.
L_kDivI : {
  R(1)->i = R(2)->i / ip[3];
  NEXT(4);
}
L_kModI : {
  R(1)->i = R(2)->i % ip[3];
  NEXT(4);
}
// The same for a dividend within 32 bits: the processor's 32-bit division is the faster one.
L_kDivI32 : {
  R(1)->i = static_cast<int32_t>(R(2)->i) / ip[3];
  NEXT(4);
}
L_kModI32 : {
  R(1)->i = static_cast<int32_t>(R(2)->i) % ip[3];
  NEXT(4);
}
L_kNeg64 : {
  R(1)->i = static_cast<int64_t>(0 - static_cast<uint64_t>(R(2)->i));
  NEXT(3);
}
L_kAbs64 : {
  int64_t a = R(2)->i;
  R(1)->i = a < 0 ? static_cast<int64_t>(0 - static_cast<uint64_t>(a)) : a;
  NEXT(3);
}
L_kAnd : {
  R(1)->i = R(2)->i & R(3)->i;
  NEXT(4);
}
L_kAndI : {
  R(1)->i = R(2)->i & ip[3];
  NEXT(4);
}
L_kOr : {
  R(1)->i = R(2)->i | R(3)->i;
  NEXT(4);
}
L_kXor : {
  R(1)->i = R(2)->i ^ R(3)->i;
  NEXT(4);
}
L_kNot : {
  R(1)->i = ~R(2)->i;
  NEXT(3);
}
L_kNotB : {
  R(1)->i = R(2)->i == 0 ? 1 : 0;
  NEXT(3);
}
L_kShl32 : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) << (R(3)->i & 31));
  NEXT(4);
}
L_kShl64 : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) << (R(3)->i & 63));
  NEXT(4);
}
L_kShr32 : {
  R(1)->i = static_cast<int32_t>(static_cast<uint32_t>(R(2)->i) >> (R(3)->i & 31));
  NEXT(4);
}
L_kShr64 : {
  R(1)->i = static_cast<int64_t>(static_cast<uint64_t>(R(2)->i) >> (R(3)->i & 63));
  NEXT(4);
}
L_kEq : {
  R(1)->i = R(2)->i == R(3)->i;
  NEXT(4);
}
L_kNe : {
  R(1)->i = R(2)->i != R(3)->i;
  NEXT(4);
}
L_kLt : {
  R(1)->i = R(2)->i < R(3)->i;
  NEXT(4);
}
L_kLe : {
  R(1)->i = R(2)->i <= R(3)->i;
  NEXT(4);
}
L_kNeZ : {
  R(1)->i = R(2)->i != 0;
  NEXT(3);
}
L_kAddF : {
  R(1)->f = R(2)->f + R(3)->f;
  NEXT(4);
}
L_kSubF : {
  R(1)->f = R(2)->f - R(3)->f;
  NEXT(4);
}
L_kMulF : {
  R(1)->f = R(2)->f * R(3)->f;
  NEXT(4);
}
L_kDivF : {
  double a = R(2)->f;
  double b = R(3)->f;
  if (b == 0) FAIL(a == 0 || std::isnan(a) ? ErMathError : ErDivideByZero, "");
  R(1)->f = a / b;
  NEXT(4);
}
L_kNegF : {
  R(1)->f = -R(2)->f;
  NEXT(3);
}
L_kAbsF : {
  R(1)->f = std::fabs(R(2)->f);
  NEXT(3);
}
L_kI2F : {
  R(1)->f = static_cast<double>(R(2)->i);
  NEXT(3);
}
L_kToSingle : {
  R(1)->f = static_cast<double>(static_cast<float>(R(2)->f));
  NEXT(3);
}
L_kEqF : {
  R(1)->i = R(2)->f == R(3)->f;
  NEXT(4);
}
L_kNeF : {
  R(1)->i = R(2)->f != R(3)->f;
  NEXT(4);
}
L_kLtF : {
  R(1)->i = R(2)->f < R(3)->f;
  NEXT(4);
}
L_kLeF : {
  R(1)->i = R(2)->f <= R(3)->f;
  NEXT(4);
}
L_kEqS : {
  R(1)->i = SameString(R(2)->p, R(3)->p);
  NEXT(4);
}
L_kNeS : {
  R(1)->i = !SameString(R(2)->p, R(3)->p);
  NEXT(4);
}
L_kLtS : {
  R(1)->i = CompareStrings(R(2)->p, R(3)->p) < 0;
  NEXT(4);
}
L_kLeS : {
  R(1)->i = CompareStrings(R(2)->p, R(3)->p) <= 0;
  NEXT(4);
}
L_kJmp : { JUMP(ip[1]); }
L_kJmpBack : {
  COUNT_STEP();
  JUMP(ip[1]);
}
L_kJT : {
  if (R(1)->i != 0) {
    JUMP(ip[2]);
  }
  NEXT(3);
}
L_kJF : {
  if (R(1)->i == 0) {
    JUMP(ip[2]);
  }
  NEXT(3);
}
L_kJTBack : {
  if (R(1)->i != 0) {
    COUNT_STEP();
    JUMP(ip[2]);
  }
  NEXT(3);
}
L_kJFBack : {
  if (R(1)->i == 0) {
    COUNT_STEP();
    JUMP(ip[2]);
  }
  NEXT(3);
}
#define COMPARE_JUMP(cmp)    \
  if (R(1)->i cmp R(2)->i) { \
    JUMP(ip[3]);             \
  }                          \
  NEXT(4);
#define COMPARE_JUMP_I(cmp) \
  if (R(1)->i cmp ip[2]) {  \
    JUMP(ip[3]);            \
  }                         \
  NEXT(4);
#define COMPARE_JUMP_BACK(cmp) \
  if (R(1)->i cmp R(2)->i) {   \
    COUNT_STEP();              \
    JUMP(ip[3]);               \
  }                            \
  NEXT(4);
#define COMPARE_JUMP_I_BACK(cmp) \
  if (R(1)->i cmp ip[2]) {       \
    COUNT_STEP();                \
    JUMP(ip[3]);                 \
  }                              \
  NEXT(4);
L_kJEqB : { COMPARE_JUMP_BACK(==) }
L_kJNeB : { COMPARE_JUMP_BACK(!=) }
L_kJLtB : { COMPARE_JUMP_BACK(<) }
L_kJLeB : { COMPARE_JUMP_BACK(<=) }
L_kJGtB : { COMPARE_JUMP_BACK(>) }
L_kJGeB : { COMPARE_JUMP_BACK(>=) }
L_kJEqIB : { COMPARE_JUMP_I_BACK(==) }
L_kJNeIB : { COMPARE_JUMP_I_BACK(!=) }
L_kJLtIB : { COMPARE_JUMP_I_BACK(<) }
L_kJLeIB : { COMPARE_JUMP_I_BACK(<=) }
L_kJGtIB : { COMPARE_JUMP_I_BACK(>) }
L_kJGeIB : { COMPARE_JUMP_I_BACK(>=) }
#undef COMPARE_JUMP_BACK
#undef COMPARE_JUMP_I_BACK
L_kJEq : { COMPARE_JUMP(==) }
L_kJNe : { COMPARE_JUMP(!=) }
L_kJLt : { COMPARE_JUMP(<) }
L_kJLe : { COMPARE_JUMP(<=) }
L_kJGt : { COMPARE_JUMP(>) }
L_kJGe : { COMPARE_JUMP(>=) }
L_kJEqI : { COMPARE_JUMP_I(==) }
L_kJNeI : { COMPARE_JUMP_I(!=) }
L_kJLtI : { COMPARE_JUMP_I(<) }
L_kJLeI : { COMPARE_JUMP_I(<=) }
L_kJGtI : { COMPARE_JUMP_I(>) }
L_kJGeI : { COMPARE_JUMP_I(>=) }
#undef COMPARE_JUMP
#undef COMPARE_JUMP_I
L_kForInc : {
  Cell* v = R(1);
  if (v->i < R(2)->i) {
    ++v->i;
    COUNT_STEP();
    JUMP(ip[3]);
  }
  NEXT(4);
}
L_kForDec : {
  Cell* v = R(1);
  if (v->i > R(2)->i) {
    --v->i;
    COUNT_STEP();
    JUMP(ip[3]);
  }
  NEXT(4);
}
L_kSwitch : {
  uint64_t index = static_cast<uint64_t>(R(1)->i) - static_cast<uint64_t>(int64_t{ip[2]});
  if (index < static_cast<uint64_t>(ip[3])) {
    JUMP(ip[5 + index]);
  }
  JUMP(ip[4]);
}
#include "scriptengine/vm_data_ops.inc"
L_kCall : {
  const ProcFrame& callee = frames[ip[1]];
  Cell* frame = fp + ip[2];
  Cell* frame_end = frame + callee.max_cells;
  pc_ = static_cast<int32_t>(ip - code);
  if (frame_end > stack_end || calls_.size() >= kMaxCallDepth) Raise(erOutOfStackRange);
  COUNT_STEP();
  if (frame_end > stack_high_) stack_high_ = frame_end;
  calls_.push_back(CallInfo{ip[1], frame, pc_ + 3});
  ZeroFew(frame + callee.param_cells, frame + callee.frame_cells);
  fp = frame;
  JUMP(callee.entry);
}
L_kCallN : {
  pc_ = static_cast<int32_t>(ip - code);
  if (FastRoutine fast = fast_routines[ip[1]]) {
    const ImportInfo& import = image_->imports[ip[1]];
    Cell* window = fp + ip[2];
    window[import.result.offset].i = 0;
    fast(*this, import, window);
  } else if (bound_methods_[ip[1]].binding != nullptr) {
    CallMethod(ip[1], fp + ip[2]);
  } else {
    CallNative(ip[1], fp + ip[2]);
  }
  NEXT(3);
}
L_kCallX : {
  pc_ = static_cast<int32_t>(ip - code);
  CallExternal(ip[1], fp + ip[2]);
  NEXT(3);
}
L_kRet : {
  const CallInfo& top = calls_.back();
  if (frames[top.proc].cleans_up) FinalizeFrame(top, false);
  int32_t return_pc = top.return_pc;
  calls_.pop_back();
  if (calls_.empty()) return;
  fp = calls_.back().fp;
  JUMP(return_pc);
}
L_kTryExcept : {
  handlers_.push_back(Handler{ip[1], calls_.size(), false, nullptr});
  NEXT(2);
}
L_kTryFinally : {
  handlers_.push_back(Handler{ip[1], calls_.size(), true, R(2)});
  NEXT(3);
}
L_kPopTry : {
  handlers_.pop_back();
  NEXT(1);
}
L_kEndFinally : {
  int64_t state = R(1)->i;
  int32_t labels = ip[2];
  if (state == 0) {
    NEXT(3 + labels);
  }
  if (state < 0) {
    size_t index = static_cast<size_t>(-state - 1);
    if (index >= pending_.size()) FAIL(ErInternalError, "");
    VmError error = pending_[index];
    pending_.resize(index);
    pc_ = static_cast<int32_t>(ip - code);
    throw error;
  }
  if (state > labels) FAIL(ErInternalError, "");
  JUMP(ip[3 + state - 1]);
}
L_kReraise : {
  pc_ = static_cast<int32_t>(ip - code);
  throw current_exception_;
}
#undef R
#undef NEXT
#undef JUMP
#undef FAIL
#undef COUNT_STEP
}

}  // namespace qorsv::script::vm_internal

// The instruction set of the virtual machine.
//
// Code is a sequence of 32-bit words: an opcode followed by its operands. Operand kinds:
//   R  a cell reference: >= 0 a cell of the current frame, < 0 the global cell ~R
//   I  a signed 32-bit immediate      L  a code position (word index)
//   P  a procedure index              M  an import index (native or library function)
//   T  a runtime type index           N  a cell count (of the operands it sizes)
//   C  a small code (integer class, variant kind, operator)
//   U  a number of static links to follow
// kSwitch and kEndFinally are followed by a variable number of labels (their count operand).
// Jumps that close a loop (kJmpBack, kJTBack, kJEqB, kForInc...) count a step when taken.
// Instructions are type-specialised: the compiler resolved every type, so the machine never
// looks at a value's type.
//
// Threading: constant data.
#pragma once

#include <cstdint>

namespace qorsv::script {

#define QORSV_OPCODES(X)   \
  X(kNop, "")              \
  X(kMov, "RR")            \
  X(kMovI, "RI")           \
  X(kMovN, "RRN")          \
  X(kMovS, "RR")           \
  X(kTake, "RR")           \
  X(kTakeP, "RR")          \
  X(kZeroN, "RN")          \
  X(kClear, "R")           \
  X(kWrap, "RRC")          \
  X(kAdd32, "RRR")         \
  X(kSub32, "RRR")         \
  X(kMul32, "RRR")         \
  X(kMul32I, "RRI")        \
  X(kAdd32I, "RRI")        \
  X(kAdd64, "RRR")         \
  X(kSub64, "RRR")         \
  X(kMul64, "RRR")         \
  X(kMul64I, "RRI")        \
  X(kAdd64I, "RRI")        \
  X(kDiv, "RRR")           \
  X(kMod, "RRR")           \
  X(kDivI, "RRI")          \
  X(kModI, "RRI")          \
  X(kDivI32, "RRI")        \
  X(kModI32, "RRI")        \
  X(kNeg64, "RR")          \
  X(kAbs64, "RR")          \
  X(kAnd, "RRR")           \
  X(kAndI, "RRI")          \
  X(kOr, "RRR")            \
  X(kXor, "RRR")           \
  X(kNot, "RR")            \
  X(kNotB, "RR")           \
  X(kShl32, "RRR")         \
  X(kShl64, "RRR")         \
  X(kShr32, "RRR")         \
  X(kShr64, "RRR")         \
  X(kEq, "RRR")            \
  X(kNe, "RRR")            \
  X(kLt, "RRR")            \
  X(kLe, "RRR")            \
  X(kNeZ, "RR")            \
  X(kAddF, "RRR")          \
  X(kSubF, "RRR")          \
  X(kMulF, "RRR")          \
  X(kDivF, "RRR")          \
  X(kNegF, "RR")           \
  X(kAbsF, "RR")           \
  X(kI2F, "RR")            \
  X(kToSingle, "RR")       \
  X(kEqF, "RRR")           \
  X(kNeF, "RRR")           \
  X(kLtF, "RRR")           \
  X(kLeF, "RRR")           \
  X(kEqS, "RRR")           \
  X(kNeS, "RRR")           \
  X(kLtS, "RRR")           \
  X(kLeS, "RRR")           \
  X(kJmp, "L")             \
  X(kJmpBack, "L")         \
  X(kJT, "RL")             \
  X(kJF, "RL")             \
  X(kJTBack, "RL")         \
  X(kJFBack, "RL")         \
  X(kJEq, "RRL")           \
  X(kJNe, "RRL")           \
  X(kJLt, "RRL")           \
  X(kJLe, "RRL")           \
  X(kJGt, "RRL")           \
  X(kJGe, "RRL")           \
  X(kJEqI, "RIL")          \
  X(kJNeI, "RIL")          \
  X(kJLtI, "RIL")          \
  X(kJLeI, "RIL")          \
  X(kJGtI, "RIL")          \
  X(kJGeI, "RIL")          \
  X(kJEqB, "RRL")          \
  X(kJNeB, "RRL")          \
  X(kJLtB, "RRL")          \
  X(kJLeB, "RRL")          \
  X(kJGtB, "RRL")          \
  X(kJGeB, "RRL")          \
  X(kJEqIB, "RIL")         \
  X(kJNeIB, "RIL")         \
  X(kJLtIB, "RIL")         \
  X(kJLeIB, "RIL")         \
  X(kJGtIB, "RIL")         \
  X(kJGeIB, "RIL")         \
  X(kForInc, "RRL")        \
  X(kForDec, "RRL")        \
  X(kSwitch, "RIIL")       \
  X(kConcat, "RRR")        \
  X(kAppend, "RR")         \
  X(kAppendC, "RR")        \
  X(kAppendP, "RR")        \
  X(kAppendCP, "RR")       \
  X(kChrToS, "RR")         \
  X(kLenS, "RR")           \
  X(kStrIdx, "RRR")        \
  X(kStrSetIdxP, "RRR")    \
  X(kSetLenS, "RR")        \
  X(kDaLen, "RR")          \
  X(kDaLoad, "RRR")        \
  X(kDaLoadS, "RRR")       \
  X(kDaStore, "RRR")       \
  X(kDaStoreS, "RRR")      \
  X(kDaAddr, "RRR")        \
  X(kDaSetLen, "RRT")      \
  X(kDaFromStatic, "RRIT") \
  X(kSaLoad, "RRRII")      \
  X(kSaLoadS, "RRRII")     \
  X(kSaStore, "RRIIR")     \
  X(kSaStoreS, "RRIIR")    \
  X(kSaAddr, "RRRIIN")     \
  X(kLea, "RR")            \
  X(kFrame, "RU")          \
  X(kPAddr, "RRRIIN")      \
  X(kPOff, "RRI")          \
  X(kLoadP, "RRI")         \
  X(kLoadPS, "RRI")        \
  X(kLoadPN, "RRIN")       \
  X(kStoreP, "RIR")        \
  X(kStorePS, "RIR")       \
  X(kStorePN, "RIRN")      \
  X(kCopy, "RRT")          \
  X(kInitCopy, "RRT")      \
  X(kMoveComp, "RRT")      \
  X(kSetIn, "RRR")         \
  X(kSetUnion, "RRR")      \
  X(kSetDiff, "RRR")       \
  X(kSetInter, "RRR")      \
  X(kSetEq, "RRR")         \
  X(kSetLe, "RRR")         \
  X(kSetClear, "R")        \
  X(kSetIncl, "RR")        \
  X(kSetExcl, "RR")        \
  X(kSetRange, "RRR")      \
  X(kToVar, "RRC")         \
  X(kFromVar, "RRC")       \
  X(kVarOp, "RRRC")        \
  X(kVarCmp, "RRRC")       \
  X(kVarNeg, "RR")         \
  X(kCall, "PR")           \
  X(kCallN, "MR")          \
  X(kCallX, "MR")          \
  X(kRet, "")              \
  X(kTryExcept, "L")       \
  X(kTryFinally, "LR")     \
  X(kPopTry, "")           \
  X(kEndFinally, "RI")     \
  X(kReraise, "")

enum Opcode : int32_t {
#define QORSV_OPCODE_ENUM(name, operands) name,
  QORSV_OPCODES(QORSV_OPCODE_ENUM)
#undef QORSV_OPCODE_ENUM
      kOpcodeCount
};

// Operand kinds of each opcode, as the letters above.
inline constexpr const char* kOpcodeOperands[] = {
#define QORSV_OPCODE_OPERANDS(name, operands) operands,
    QORSV_OPCODES(QORSV_OPCODE_OPERANDS)
#undef QORSV_OPCODE_OPERANDS
};

inline constexpr const char* kOpcodeNames[] = {
#define QORSV_OPCODE_NAME(name, operands) #name,
    QORSV_OPCODES(QORSV_OPCODE_NAME)
#undef QORSV_OPCODE_NAME
};

// Integer classes of kWrap (the compiler's IntClass order).
enum WrapClass : int32_t { kWrapS8, kWrapU8, kWrapS16, kWrapU16, kWrapS32, kWrapU32, kWrapS64 };

// `value` cut to the width and signedness of an integer class, as a store into it does.
inline int64_t WrapValue(int64_t value, int32_t int_class) {
  switch (int_class) {
    case kWrapS8:
      return static_cast<int8_t>(value);
    case kWrapU8:
      return static_cast<uint8_t>(value);
    case kWrapS16:
      return static_cast<int16_t>(value);
    case kWrapU16:
      return static_cast<uint16_t>(value);
    case kWrapS32:
      return static_cast<int32_t>(value);
    case kWrapU32:
      return static_cast<uint32_t>(value);
    default:
      return value;
  }
}

// Value kinds of variant conversions.
enum VarKind : int32_t { kVarKindInt, kVarKindFloat, kVarKindString, kVarKindBool, kVarKindChar };

// Operators of kVarOp / kVarCmp.
enum VarOperator : int32_t {
  kVarAdd,
  kVarSub,
  kVarMul,
  kVarDivide,
  kVarIntDiv,
  kVarMod,
  kVarEq,
  kVarNe,
  kVarLt,
  kVarLe,
  kVarGt,
  kVarGe,
};

}  // namespace qorsv::script

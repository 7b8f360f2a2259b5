// What names mean to the compiler: variables, constants, types, routines and built-ins.
//
// The checker creates symbols as it reads declarations and resolves names to them; the code
// generator reads their storage (global or frame cells) and the routines' signatures and frame
// layouts. Symbols live for the whole compilation.
//
// Threading: one compilation, one thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scriptengine/ast.h"
#include "scriptengine/types.h"

namespace qorsv::script::compiler_internal {

// Routines the compiler translates itself because they take any type or a variable.
enum class Builtin : int {
  kLength,
  kSetLength,
  kHigh,
  kLow,
  kInc,
  kDec,
  kOrd,
  kChr,
  kSucc,
  kPred,
  kOdd,
  kSizeOf,
  kAssigned,
  kGetArrayLength,
  kSetArrayLength,
  kInclude,
  kExclude,
  kAbs,
  kSqr,
  kCount,
};

struct Symbol;

struct ConstValue {
  const Type* type = nullptr;
  int64_t int_value = 0;
  double float_value = 0;
  std::string string_value;
  std::array<uint64_t, 4> set_bits{};
  // A constant declared from a late literal: its value is that hidden variable's, at run time.
  const Symbol* late = nullptr;
};

struct Routine;

enum class SymbolKind : uint8_t { kVar, kConst, kType, kRoutine, kBuiltin };

struct Symbol {
  SymbolKind kind = SymbolKind::kVar;
  Ident ident = 0;
  std::string display;
  const Type* type = nullptr;
  // kVar: level 0 is a global (cell offset in the global area); level n >= 1 lives in the frame
  // of the routine at nesting level n.
  int level = 0;
  int32_t offset = 0;
  bool by_ref = false;         // the cell holds the address of the value (var/out/const records)
  bool read_only = false;      // const parameters and for-loop counters while the loop runs
  bool host_object = false;    // a variable declared with DeclareHostVariable
  bool late_literal = false;   // the hidden variable of a late literal (read-only to scripts)
  ConstValue value;            // kConst
  Routine* routine = nullptr;  // kRoutine
  Builtin builtin = Builtin::kCount;  // kBuiltin
};

struct ParamInfo {
  Ident ident = 0;
  std::string display;
  const Type* type = nullptr;
  ParamMode mode = ParamMode::kValue;
  bool by_ref = false;  // passed as an address
  int32_t offset = 0;   // cells from the frame start
  bool has_default = false;
  ConstValue default_value;
};

enum class RoutineKind : uint8_t { kScript, kNative, kExternal };

struct Routine {
  RoutineKind kind = RoutineKind::kScript;
  Ident ident = 0;
  std::string display;
  std::vector<ParamInfo> params;
  const Type* result = nullptr;  // the void type for procedures
  int level = 1;                 // 1: top level; nested routines count up
  const Routine* parent = nullptr;
  SourcePos pos;
  bool defined = false;  // the body has been compiled
  bool forward = false;  // declared forward and not yet defined
  // Script routines: the procedure index in the image. Natives and externals: the import
  // index, assigned when a call is first compiled (unused declarations need no binding).
  int32_t index = -1;
  std::string native_name;    // natives: the upper-case name the runtime binds
  std::string external_text;  // externals: the clause's string
  // Frame layout of script routines: [static link][params][result][locals]; temporaries follow.
  int32_t param_cells = 0;
  int32_t result_offset = -1;
  int32_t locals_end = 0;
  Symbol* result_symbol = nullptr;
  std::vector<const Symbol*> locals;  // variables of the frame, for finalization

  bool IsFunction() const { return result != nullptr && result->kind != TypeKind::kVoid; }
};

// A member of a host class. Methods and property accessors are natives whose first parameter is
// Self; a constructor is instantiated for each class it creates (ClassInfo::constructors).
struct ClassMember {
  enum class Kind : uint8_t { kMethod, kConstructor, kProperty };
  Kind kind = Kind::kMethod;
  Routine* routine = nullptr;  // a method; a constructor's declaration (without result)
  const Type* type = nullptr;  // a property's value
  Routine* getter = nullptr;   // a property: Self and the index parameters in, the value out
  Routine* setter = nullptr;   // a property written "read write": Self, indices, the value
  size_t index_params = 0;
};

// A class of the class library as the compiler knows it. Its members are read from the
// library's declarations the first time a script looks one up.
struct ClassInfo {
  const void* def = nullptr;  // the library's ClassDef
  Type* type = nullptr;
  const ClassInfo* parent = nullptr;
  bool members_loaded = false;
  std::unordered_map<Ident, ClassMember> members;
  const ClassMember* default_property = nullptr;
  std::unordered_map<Ident, Routine*> constructors;  // instantiated for this class
  Routine* is_test = nullptr;                        // "CLASS.#IS"
  Routine* as_test = nullptr;                        // "CLASS.#AS"

  bool InheritsFrom(const ClassInfo* other) const {
    for (const ClassInfo* c = this; c != nullptr; c = c->parent) {
      if (c == other) return true;
    }
    return false;
  }
};

}  // namespace qorsv::script::compiler_internal

// The program image: what the compiler produces and the runtime loads.
//
// ProgramImage holds the code, the procedures with their frame layouts, the imports (natives by
// upper-case name, library functions by their external clause), the global cells with their
// constants and initial values, the runtime type descriptors and the global variables by name.
// Serialize turns it into bytes that start with a header and a format version; Deserialize
// checks both ("Invalid Header", "Version error") and verifies the code so that a damaged image
// is refused instead of run.
//
// Threading: plain values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scriptengine/exec.h"

namespace qorsv::script {

// How the runtime sees a value of a parameter, result or global variable.
enum class ValueKind : uint8_t {
  kOrdinal,  // integer types, enumerations (int_class says how it wraps)
  kBoolean,
  kChar,
  kFloat,  // single when is_single
  kString,
  kPChar,
  kVariant,
  kDynArray,
  kSet,
  kRecord,
  kStaticArray,
  kObject,  // host object or interface reference
  kVoid,
};

struct ValueDesc {
  ValueKind kind = ValueKind::kVoid;
  uint8_t int_class = 4;  // WrapClass for ordinals
  bool is_single = false;
  bool by_ref = false;  // var/out parameters: the cell holds the value's address
  int32_t cells = 0;
  int32_t rtti = -1;   // composite and dynamic-array values
  int32_t offset = 0;  // parameters: cells from the frame start
};

// Runtime type descriptors, for copying and releasing composite values.
struct RttiEntry {
  enum class Kind : uint8_t { kPlain, kManaged, kStaticArray, kRecord, kDynArray };
  Kind kind = Kind::kPlain;
  int32_t cells = 1;
  int32_t count = 0;                                // kStaticArray: elements
  int32_t element = -1;                             // kStaticArray, kDynArray: element descriptor
  int32_t element_cells = 1;                        // kStaticArray, kDynArray
  std::vector<std::pair<int32_t, int32_t>> fields;  // kRecord: managed fields (offset, rtti)
  bool managed = false;
};

// A frame cell or area to release when a frame ends.
struct FrameCleanup {
  int32_t offset = 0;
  int32_t rtti = -1;  // -1: one managed cell
};

struct ProcInfo {
  std::string name;       // upper case; empty for nested routines
  bool callable = false;  // a top-level routine the host may call by name
  int32_t entry = 0;
  int32_t param_cells = 0;  // [static link][params]
  int32_t frame_cells = 0;  // zeroed from param_cells up at entry
  int32_t max_cells = 0;    // including call windows
  std::vector<ValueDesc> params;
  ValueDesc result;                   // offset: the result's cell
  std::vector<FrameCleanup> cleanup;  // value parameters, locals, temporaries
};

struct ImportInfo {
  std::string name;  // natives: registered upper-case name
  bool external = false;
  std::string external_text;  // library functions: the external clause
  std::vector<ValueDesc> params;
  ValueDesc result;  // offset: cells from the window start
};

struct GlobalInfo {
  std::string name;  // upper case
  ValueDesc value;   // offset: the global cell
  bool host_object = false;
};

// A value placed in a global cell before the program runs.
struct GlobalInit {
  enum class Kind : uint8_t { kInt, kFloat, kString };
  Kind kind = Kind::kInt;
  int32_t cell = 0;
  int64_t value = 0;   // kInt: the integer; kFloat: the double's bits; kString: pool offset
  int32_t length = 0;  // kString: bytes in the pool
};

struct ProgramImage {
  std::vector<int32_t> code;
  std::vector<ProcInfo> procs;
  std::vector<ImportInfo> imports;
  std::vector<RttiEntry> rtti;
  std::vector<GlobalInfo> globals;
  std::vector<GlobalInit> inits;
  std::string string_pool;  // the texts of string constants, back to back
  int32_t global_cells = 0;
  int32_t main_proc = -1;
};

std::string SerializeImage(const ProgramImage& image);

struct ImageLoadResult {
  std::optional<ProgramImage> image;
  TIFException error = ErNoError;
  std::string parameter;
};
ImageLoadResult DeserializeImage(const std::string& bytes);

}  // namespace qorsv::script

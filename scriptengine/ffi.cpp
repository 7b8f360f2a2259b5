#include "scriptengine/ffi.h"

#include <dlfcn.h>
#include <ffi.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <utility>

#include "scriptengine/engine_error.h"

namespace qorsv::script {
namespace {

ffi_type* ToFfiType(FfiType type) {
  switch (type) {
    case FfiType::kVoid:
      return &ffi_type_void;
    case FfiType::kInt8:
      return &ffi_type_sint8;
    case FfiType::kUInt8:
      return &ffi_type_uint8;
    case FfiType::kBool:
      return &ffi_type_uint8;
    case FfiType::kInt16:
      return &ffi_type_sint16;
    case FfiType::kUInt16:
      return &ffi_type_uint16;
    case FfiType::kInt32:
      return &ffi_type_sint32;
    case FfiType::kUInt32:
      return &ffi_type_uint32;
    case FfiType::kInt64:
      return &ffi_type_sint64;
    case FfiType::kUInt64:
      return &ffi_type_uint64;
    case FfiType::kPointer:
      return &ffi_type_pointer;
    case FfiType::kSingle:
      return &ffi_type_float;
    case FfiType::kDouble:
      return &ffi_type_double;
  }
  return &ffi_type_void;
}

// Storage for one argument, written through the member of its declared width.
union ArgSlot {
  int8_t i8;
  uint8_t u8;
  int16_t i16;
  uint16_t u16;
  int32_t i32;
  uint32_t u32;
  int64_t i64;
  uint64_t u64;
  float f;
  double d;
  const void* p;
};

void FillSlot(FfiType type, const FfiValue& value, ArgSlot& slot) {
  switch (type) {
    case FfiType::kInt8:
      slot.i8 = static_cast<int8_t>(value.i);
      break;
    case FfiType::kUInt8:
      slot.u8 = static_cast<uint8_t>(value.i);
      break;
    case FfiType::kBool:
      slot.u8 = value.i != 0 ? 1 : 0;
      break;
    case FfiType::kInt16:
      slot.i16 = static_cast<int16_t>(value.i);
      break;
    case FfiType::kUInt16:
      slot.u16 = static_cast<uint16_t>(value.i);
      break;
    case FfiType::kInt32:
      slot.i32 = static_cast<int32_t>(value.i);
      break;
    case FfiType::kUInt32:
      slot.u32 = static_cast<uint32_t>(value.i);
      break;
    case FfiType::kInt64:
      slot.i64 = value.i;
      break;
    case FfiType::kUInt64:
      slot.u64 = static_cast<uint64_t>(value.i);
      break;
    case FfiType::kPointer:
      slot.p = value.p;
      break;
    case FfiType::kSingle:
      slot.f = static_cast<float>(value.d);
      break;
    case FfiType::kDouble:
      slot.d = value.d;
      break;
    case FfiType::kVoid:
      break;
  }
}

// libffi widens integer results narrower than a register to ffi_arg; read them back at their
// declared width so that, for example, a Word result 0xFFFF is 65535 and a ShortInt -1 is -1.
FfiValue ReadResult(FfiType type, const std::array<unsigned char, 16>& raw) {
  FfiValue out;
  ffi_arg widened;
  std::memcpy(&widened, raw.data(), sizeof widened);
  switch (type) {
    case FfiType::kVoid:
      break;
    case FfiType::kInt8:
      out.i = static_cast<int8_t>(widened);
      break;
    case FfiType::kUInt8:
      out.i = static_cast<uint8_t>(widened);
      break;
    case FfiType::kBool:
      out.i = static_cast<uint8_t>(widened) != 0 ? 1 : 0;
      break;
    case FfiType::kInt16:
      out.i = static_cast<int16_t>(widened);
      break;
    case FfiType::kUInt16:
      out.i = static_cast<uint16_t>(widened);
      break;
    case FfiType::kInt32:
      out.i = static_cast<int32_t>(widened);
      break;
    case FfiType::kUInt32:
      out.i = static_cast<uint32_t>(widened);
      break;
    case FfiType::kInt64:
      std::memcpy(&out.i, raw.data(), sizeof out.i);
      break;
    case FfiType::kUInt64:
      std::memcpy(&out.i, raw.data(), sizeof out.i);
      break;
    case FfiType::kPointer:
      std::memcpy(&out.p, raw.data(), sizeof out.p);
      break;
    case FfiType::kSingle: {
      float f;
      std::memcpy(&f, raw.data(), sizeof f);
      out.d = f;
      break;
    }
    case FfiType::kDouble:
      std::memcpy(&out.d, raw.data(), sizeof out.d);
      break;
  }
  return out;
}

bool EndsWithDll(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".dll";
}

// "X.dll" -> {"X.dll", "libX.so", "X.so"}; any other name is also tried with those forms.
std::vector<std::string> FileNameForms(const std::string& base) {
  const std::string stem = EndsWithDll(base) ? base.substr(0, base.size() - 4) : base;
  std::vector<std::string> forms{base, "lib" + stem + ".so", stem + ".so"};
  std::vector<std::string> unique;
  for (auto& form : forms) {
    if (std::find(unique.begin(), unique.end(), form) == unique.end()) unique.push_back(form);
  }
  return unique;
}

}  // namespace

struct PreparedCall::State {
  FfiType result;
  std::vector<FfiType> params;
  std::vector<ffi_type*> arg_types;
  ffi_cif cif;
};

PreparedCall::PreparedCall(FfiType result, std::vector<FfiType> params)
    : state_(std::make_unique<State>()) {
  state_->result = result;
  state_->params = std::move(params);
  for (FfiType type : state_->params) {
    if (type == FfiType::kVoid) throw ScriptEngineError("Invalid Type");
    state_->arg_types.push_back(ToFfiType(type));
  }
  const ffi_status status =
      ffi_prep_cif(&state_->cif, FFI_DEFAULT_ABI, static_cast<unsigned>(state_->arg_types.size()),
                   ToFfiType(result), state_->arg_types.data());
  if (status != FFI_OK) throw ScriptEngineError("Invalid Type");
}

PreparedCall::~PreparedCall() = default;
PreparedCall::PreparedCall(PreparedCall&&) noexcept = default;
PreparedCall& PreparedCall::operator=(PreparedCall&&) noexcept = default;

FfiType PreparedCall::result() const { return state_->result; }
const std::vector<FfiType>& PreparedCall::params() const { return state_->params; }

FfiValue PreparedCall::Invoke(void* function, std::span<const FfiValue> args) const {
  const size_t count = state_->params.size();
  if (args.size() != count) throw ScriptEngineError("Invalid parameter");
  std::vector<ArgSlot> slots(count);
  std::vector<void*> pointers(count);
  for (size_t k = 0; k < count; ++k) {
    FillSlot(state_->params[k], args[k], slots[k]);
    pointers[k] = &slots[k];
  }
  alignas(16) std::array<unsigned char, 16> raw{};
  ffi_call(&state_->cif, FFI_FN(function), raw.data(), pointers.data());
  return ReadResult(state_->result, raw);
}

std::string ExecutableDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0) return "./";
  path.resize(static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1);
}

ExternalLibraries::ExternalLibraries() : ExternalLibraries(ExecutableDirectory()) {}

ExternalLibraries::ExternalLibraries(std::string program_dir)
    : program_dir_(std::move(program_dir)) {
  if (!program_dir_.empty() && program_dir_.back() != '/') program_dir_ += '/';
}

ExternalLibraries::~ExternalLibraries() {
  for (auto& [name, library] : libraries_) {
    if (library.handle != nullptr) dlclose(library.handle);
  }
}

std::vector<std::string> ExternalLibraries::CandidatePaths(const std::string& program_dir,
                                                           const std::string& library) {
  std::string name = library;
  std::replace(name.begin(), name.end(), '\\', '/');
  const size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  const std::vector<std::string> forms = FileNameForms(name.substr(dir.size()));

  std::vector<std::string> paths;
  if (!dir.empty() && dir.front() == '/') {
    // An absolute path names one directory only.
    for (const auto& form : forms) paths.push_back(dir + form);
    return paths;
  }
  for (const auto& form : forms) paths.push_back(program_dir + dir + form);
  // A bare file name is then left to the dynamic loader's own search path.
  if (dir.empty()) paths.insert(paths.end(), forms.begin(), forms.end());
  return paths;
}

const ExternalLibraries::Library& ExternalLibraries::Load(const std::string& library) {
  auto it = libraries_.find(library);
  if (it != libraries_.end()) return it->second;
  Library loaded;
  for (const auto& path : CandidatePaths(program_dir_, library)) {
    loaded.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded.handle != nullptr) {
      loaded.path = path;
      break;
    }
  }
  return libraries_.emplace(library, std::move(loaded)).first->second;
}

ResolvedFunction ExternalLibraries::Resolve(const std::string& library,
                                            const std::string& function) {
  const Library& loaded = Load(library);
  if (loaded.handle == nullptr) return {nullptr, library};
  void* address = dlsym(loaded.handle, function.c_str());
  if (address == nullptr) return {nullptr, function};
  return {address, ""};
}

std::string ExternalLibraries::LoadedPath(const std::string& library) const {
  auto it = libraries_.find(library);
  return it == libraries_.end() ? "" : it->second.path;
}

}  // namespace qorsv::script

// Feeds random and mutated script texts through the engine's front stages: the preprocessor
// (with a few include files, one of which includes itself) and the reader of external clauses.
// Any failure other than the engine's own ScriptEngineError is a fault.
//
// The seed programs in fuzz/corpus/ and the keyword dictionary fuzz/engine.dict beside this file
// are added to the command line unless the caller names its own.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scriptengine/engine_error.h"
#include "scriptengine/external_spec.h"
#include "scriptengine/preprocessor.h"

namespace {

namespace fs = std::filesystem;
using qorsv::script::IncludeFile;
using qorsv::script::ScriptEngineError;
using qorsv::script::TPSPreProcessor;

IncludeFile ResolveFuzzInclude(const std::string& from, const std::string& name) {
  IncludeFile file;
  file.name = "scripts/" + name;
  if (name == "ext.qor") {
    file.found = true;
    file.text = "var n: Integer;\r\n{$IFDEF DEBUG}const Debug = 1;{$ENDIF}\r\n";
  } else if (name == "self.qor") {
    file.found = true;
    file.text = "x{$I self.qor}";
  } else if (name == "open.qor") {
    file.found = from.size() % 2 == 0;
    file.text = "{$IFDEF X}";
  }
  return file;
}

// Without includes, the output is the input with some characters blanked: same length, every
// line break in place, every other character either kept or turned into a blank.
bool KeepsPositions(const std::string& in, const std::string& out) {
  if (in.size() != out.size()) return false;
  for (size_t k = 0; k < in.size(); ++k) {
    const bool line_break = in[k] == '\r' || in[k] == '\n';
    if (out[k] != in[k] && (line_break || out[k] != ' ')) return false;
  }
  return true;
}

void FuzzPreprocessor(const std::string& text) {
  TPSPreProcessor preprocessor;
  bool included = false;
  preprocessor.ResolveInclude = [&included](const std::string& from, const std::string& name) {
    included = true;
    return ResolveFuzzInclude(from, name);
  };
  try {
    const std::string out = preprocessor.Preprocess("main.pfii", text);
    if (!included && !KeepsPositions(text, out)) __builtin_trap();
  } catch (const ScriptEngineError&) {
  }
}

void FuzzExternalSpec(const std::string& text) {
  const auto result = qorsv::script::ParseExternalSpec(text);
  if (result.spec.has_value() == !result.error.empty()) __builtin_trap();
}

// Keeps the strings that extra command-line arguments point into alive for the whole run.
std::vector<std::string>& ExtraArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

bool HasFlag(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  const fs::path here = fs::path(__FILE__).parent_path();
  std::vector<std::string>& extra = ExtraArguments();
  if (!HasFlag(*argc, *argv, "-dict=") && fs::exists(here / "engine.dict")) {
    extra.push_back("-dict=" + (here / "engine.dict").string());
  }
  if (!HasFlag(*argc, *argv, "-seed_inputs=") && fs::is_directory(here / "corpus")) {
    std::string seeds;
    for (const auto& entry : fs::directory_iterator(here / "corpus")) {
      if (!entry.is_regular_file()) continue;
      seeds += (seeds.empty() ? "" : ",") + entry.path().string();
    }
    if (!seeds.empty()) extra.push_back("-seed_inputs=" + seeds);
  }
  if (extra.empty()) return 0;
  static std::vector<char*> arguments;
  arguments.assign(*argv, *argv + *argc);
  for (auto& argument : extra) arguments.push_back(argument.data());
  arguments.push_back(nullptr);
  *argc = static_cast<int>(arguments.size() - 1);
  *argv = arguments.data();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  FuzzPreprocessor(text);
  FuzzExternalSpec(text);
  return 0;
}

// Feeds random and mutated script texts through the whole engine: preprocess (with a few include
// files, one of which includes itself), compile, load, run the main block and call a routine by
// name, with a step limit so that the script's own endless loops end. External clauses are also
// read on their own. A crash, a hang, a leak or any exception other than the engine's own
// ScriptEngineError is a fault.
//
// Scripts may declare library functions only of libraries named "qorsv_fuzz_absent..." without a
// path, which exist nowhere: binding them fails at load or at the first call. A mutated script
// could otherwise call any function of the C library (abort, exit, system). For the same reason a
// script that names anything with "file" in it (the host classes' LoadFromFile, SaveToFile,
// TFileStream) is compiled but not run: it could write any file the fuzzer may write.
//
// The seed programs in fuzz/corpus/ and the keyword dictionary fuzz/engine.dict beside this file
// are added to the command line unless the caller names its own.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scriptengine/engine.h"
#include "scriptengine/external_clause.h"

namespace {

namespace fs = std::filesystem;
using qorsv::script::CallValue;
using qorsv::script::IncludeFile;
using qorsv::script::NativeCall;
using qorsv::script::ScriptEngineError;
using qorsv::script::TPSExec;
using qorsv::script::TPSPascalCompiler;
using qorsv::script::TPSPreProcessor;

constexpr uint64_t kStepLimit = 20000;

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

// The preprocessed text, or nothing when preprocessing failed as it may.
std::optional<std::string> Preprocess(const std::string& text) {
  TPSPreProcessor preprocessor;
  bool included = false;
  preprocessor.ResolveInclude = [&included](const std::string& from, const std::string& name) {
    included = true;
    return ResolveFuzzInclude(from, name);
  };
  try {
    std::string out = preprocessor.Preprocess("main.pfii", text);
    if (!included && !KeepsPositions(text, out)) __builtin_trap();
    return out;
  } catch (const ScriptEngineError&) {
    return std::nullopt;
  }
}

// The image of a successful compilation, or nothing.
std::optional<std::string> Compile(const std::string& text) {
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    c.DeclareClassLibrary();
    c.DeclareNative("procedure print(s: string);");
    c.DeclareNative("function twice(i: Integer): Integer;");
    return true;
  };
  compiler.DeclareExternal = [](const std::string&, const std::string& external_text) {
    const auto parsed = qorsv::script::ParseExternalClause(external_text);
    if (!parsed.clause) throw ScriptEngineError(parsed.error);
    const std::string& library = parsed.clause->library_name;
    return library.rfind("qorsv_fuzz_absent", 0) == 0 &&
           library.find_first_of("/\\") == std::string::npos;
  };
  const bool compiled = compiler.Compile(text);
  for (int i = 0; i < compiler.MessageCount(); ++i) {
    if (compiler.MessageText(i).empty()) __builtin_trap();
  }
  if (!compiled) return std::nullopt;
  return compiler.ProgramImage();
}

void Run(const std::string& image) {
  TPSExec exec;
  exec.SetStepLimit(kStepLimit);
  exec.SetClassImporter(qorsv::script::TPSRuntimeClassImporter::Standard());
  exec.RegisterNative("PRINT", [](NativeCall& call) { (void)call.Str(0); });
  exec.RegisterNative("TWICE", [](NativeCall& call) {
    if (call.Int(0) == 13) throw std::runtime_error("unlucky");
    call.ReturnInt(call.Int(0) * 2);
  });
  if (!exec.Load(image)) return;
  exec.RunMainBlock();
  try {
    exec.CallProcedure("fuzz", {CallValue::Integer(7), CallValue::Text("x")});
  } catch (const ScriptEngineError&) {
  }
}

// Whether `text` holds "file" in any case.
bool NamesFiles(const std::string& text) {
  for (size_t i = 0; i + 4 <= text.size(); ++i) {
    if ((text[i] | 0x20) == 'f' && (text[i + 1] | 0x20) == 'i' && (text[i + 2] | 0x20) == 'l' &&
        (text[i + 3] | 0x20) == 'e') {
      return true;
    }
  }
  return false;
}

void FuzzExternalClause(const std::string& text) {
  const auto result = qorsv::script::ParseExternalClause(text);
  if (result.clause.has_value() == !result.error.empty()) __builtin_trap();
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
  FuzzExternalClause(text);
  const std::optional<std::string> preprocessed = Preprocess(text);
  if (!preprocessed) return 0;
  const std::optional<std::string> image = Compile(*preprocessed);
  if (image && !NamesFiles(*preprocessed)) Run(*image);
  return 0;
}

// page_bench PROGRAM_DIR SCRIPT_FILE RUNS [NAME=VALUE ...]: where the time of one page block goes.
//
// Runs the script file RUNS times as a page block of a request with the given form fields, stage
// by stage as the script runner does (prelude, preprocess, compile, load, run), then RUNS times
// through runscript itself, then RUNS times through runscript with kept programs (as the server
// runs blocks), and prints the mean time of each stage and of the whole run in
// milliseconds. PROGRAM_DIR is a built program directory (scripts/ext.qor, temp/). Databases are
// looked for beside the executable, as the server does: run a copy placed in PROGRAM_DIR for
// blocks that open one.
//
// The stages mirror the runner's steps without its side work (log lines, the workbench hand-over,
// the temporary copy of the script); runscript's own time includes that work, so the difference
// between the sum of the stages and runscript is what the side work costs.
//
// Single-threaded; runs in its own process.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "scriptengine/engine.h"
#include "scripthost/echo_slots.h"
#include "scripthost/include_resolver.h"
#include "scripthost/prelude.h"
#include "scripthost/program_cache.h"
#include "scripthost/request_records.h"
#include "scripthost/run_context.h"
#include "scripthost/script_api.h"
#include "scripthost/script_runner.h"
#include "transport/http_records.h"
#include "transport/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using qorsv::script::CallValue;

enum Stage { kPrelude, kPreprocess, kCompile, kLoad, kRun, kStageCount };
constexpr const char* kStageNames[kStageCount] = {"prelude", "preprocess", "compile", "load",
                                                  "run"};

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

bool DeclareSystemUnit(qorsv::script::TPSPascalCompiler& compiler, const std::string& unit) {
  if (unit != "SYSTEM") return false;
  compiler.DeclareHostVariable("Application", "TApplication");
  for (const qorsv::NativeEntry& entry : qorsv::ScriptApiNatives()) {
    compiler.DeclareNative(entry.declaration);
  }
  return true;
}

// One run split into the runner's stages; adds each stage's time to `totals`. Returns the
// block's output, or nothing (with a message on stderr) when a stage fails or the main block
// ends with a runtime error.
std::optional<std::string> TimedRun(const std::string& program_dir, const std::string& script,
                     const qorsv::RequestData& data, double totals[kStageCount]) {
  const int slot = qorsv::TakeOutputSlot();
  std::optional<std::string> output;

  auto start = Clock::now();
  qorsv::PreludeValues values;
  values.slot = slot;
  values.client_address = "127.0.0.1";
  values.host_name = "127.0.0.1";
  values.program_dir = program_dir;
  values.document = "/bench.html";
  std::string combined = qorsv::BuildCombinedText(values, data, script);
  totals[kPrelude] += MillisecondsSince(start);

  start = Clock::now();
  qorsv::script::TPSPreProcessor preprocessor;
  preprocessor.ResolveInclude = [&program_dir](const std::string&, const std::string& name) {
    return qorsv::ResolveScriptInclude(program_dir, name);
  };
  std::string preprocessed = preprocessor.Preprocess("bench.pfii", combined);
  totals[kPreprocess] += MillisecondsSince(start);

  start = Clock::now();
  auto compiler = std::make_unique<qorsv::script::TPSPascalCompiler>();
  compiler->DeclareUnit = DeclareSystemUnit;
  compiler->MainBlockOptional = true;
  bool compiled = compiler->Compile(preprocessed);
  std::string image = compiled ? compiler->ProgramImage() : std::string();
  if (!compiled) {
    for (int i = 0; i < compiler->MessageCount(); ++i) {
      std::fprintf(stderr, "%s\n", compiler->MessageText(i).c_str());
    }
  }
  compiler.reset();
  totals[kCompile] += MillisecondsSince(start);
  if (!compiled) {
    qorsv::ReleaseOutputSlot(slot);
    return output;
  }

  start = Clock::now();
  qorsv::RunContext context{qorsv::CurrentThreadId(), slot};
  auto exec = std::make_unique<qorsv::script::TPSExec>();
  exec->SetHostContext(&context);
  exec->SetLibraryDirectory(program_dir);
  for (const qorsv::NativeEntry& entry : qorsv::ScriptApiNatives()) {
    if (entry.function) exec->RegisterNative(entry.registered_name, entry.function);
  }
  bool loaded = exec->Load(image);
  totals[kLoad] += MillisecondsSince(start);
  if (!loaded) {
    std::fprintf(stderr, "load failed: %s\n", exec->LastErrorParameter().c_str());
    qorsv::ReleaseOutputSlot(slot);
    return output;
  }

  start = Clock::now();
  exec->CallProcedure("qOrScriptInitialization");
  exec->CallProcedure("readcookies");
  exec->CallProcedure("readparams");
  exec->CallProcedure("readheaders");
  exec->CallProcedure("setusersonline", {CallValue::Word(1)});
  exec->CallProcedure("settrafic", {CallValue::LongWord(0), CallValue::LongWord(0),
                                    CallValue::LongWord(0), CallValue::LongWord(0)});
  exec->CallProcedure("setuserip", {CallValue::Text("127.0.0.1")});
  bool ran = exec->RunMainBlock();
  if (!ran) std::fprintf(stderr, "runtime error: %s\n", exec->LastErrorMessage().c_str());
  int cookies = exec->CallProcedure("ndxaddcookies").ToInt32() & 0xFF;
  for (int i = 1; i <= cookies; ++i) {
    exec->CallProcedure("getaddcookiesname", {CallValue::Integer(i)});
    exec->CallProcedure("getaddcookiesvalue", {CallValue::Integer(i)});
  }
  exec.reset();
  if (ran) output = qorsv::SlotOutput(slot);
  totals[kRun] += MillisecondsSince(start);
  qorsv::ReleaseOutputSlot(slot);
  return output;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: page_bench PROGRAM_DIR SCRIPT_FILE RUNS [NAME=VALUE ...]\n");
    return 1;
  }
  std::string program_dir = argv[1];
  if (program_dir.back() != '/') program_dir += '/';
  std::string source;
  if (!ReadFile(argv[2], source)) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  const int runs = std::max(1, std::atoi(argv[3]));
  auto data = std::make_unique<qorsv::RequestData>();
  for (int i = 4; i < argc; ++i) {
    std::string pair = argv[i];
    size_t eq = pair.find('=');
    if (eq == std::string::npos) continue;
    data->params.Append(pair.substr(0, eq), pair.substr(eq + 1));
  }
  // A page block's text starts with a line break before its first line.
  const std::string script = "\r\n" + source;

  double totals[kStageCount] = {};
  std::string staged_output;
  try {
    for (int i = 0; i < runs; ++i) {
      std::optional<std::string> output = TimedRun(program_dir, script, *data, totals);
      if (!output) return 1;
      staged_output = std::move(*output);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "run failed: %s\n", error.what());
    return 1;
  }

  qorsv::ScriptRunInput input;
  input.script_text = script;
  input.client_address = "127.0.0.1";
  input.document = "/bench.html";
  input.data = data.get();
  input.thread_id = qorsv::CurrentThreadId();
  input.program_dir = program_dir;
  qorsv::ResponseInfo response;
  input.response = &response;
  std::string runner_output;
  auto start = Clock::now();
  for (int i = 0; i < runs; ++i) runner_output = qorsv::runscript(input);
  double runscript_ms = MillisecondsSince(start) / runs;
  if (runner_output != staged_output) {
    std::fprintf(stderr, "runscript and the staged run wrote different output\n");
    return 1;
  }

  // As the server runs blocks: the program compiled on the first run is kept for the others.
  qorsv::ProgramCache programs;
  start = Clock::now();
  for (int i = 0; i < runs; ++i) runner_output = qorsv::runscript(input, nullptr, &programs);
  double kept_ms = MillisecondsSince(start) / runs;
  if (runner_output != staged_output) {
    std::fprintf(stderr, "runscript with kept programs wrote different output\n");
    return 1;
  }

  double sum = 0;
  std::printf("one page block, mean of %d runs (ms):", runs);
  for (int s = 0; s < kStageCount; ++s) {
    std::printf(" %s %.3f", kStageNames[s], totals[s] / runs);
    sum += totals[s] / runs;
  }
  std::printf(" | stages %.3f runscript %.3f | runscript with kept programs %.3f\n", sum,
              runscript_ms, kept_ms);
  return 0;
}

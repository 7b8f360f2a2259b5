#include "scripthost/script_runner.h"

#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>

#include "console/compile_report.h"
#include "console/product.h"
#include "console/server_log.h"
#include "console/traffic_counters.h"
#include "scriptengine/engine.h"
#include "scripthost/echo_slots.h"
#include "scripthost/include_resolver.h"
#include "scripthost/late_binding.h"
#include "scripthost/prelude.h"
#include "scripthost/program_cache.h"
#include "scripthost/run_context.h"
#include "scripthost/script_api.h"
#include "scripthost/script_random.h"
#include "scripthost/sql_handles.h"
#include "transport/memory_release.h"
#include "transport/open_connections.h"
#include "transport/platform.h"
#include "transport/temp_files.h"
#include "transport/temp_names.h"

namespace qorsv {
namespace {

using script::CallValue;
using script::ScriptEngineError;
using script::TPSExec;
using script::TPSPascalCompiler;

const RequestData& EmptyRequestData() {
  static const RequestData empty;
  return empty;
}

std::string ProgramDirOf(const ScriptRunInput& input) {
  std::string dir = input.program_dir.empty() ? ProgramDir() : input.program_dir;
  if (dir.back() != '/') dir += '/';
  return dir;
}

// Holds an output slot for the length of a run.
class SlotHold {
 public:
  SlotHold() : slot_(ScriptEchoSlots().TakeOutputSlot()) {}
  ~SlotHold() { ScriptEchoSlots().ReleaseOutputSlot(slot_); }
  SlotHold(const SlotHold&) = delete;
  SlotHold& operator=(const SlotHold&) = delete;
  int slot() const { return slot_; }

 private:
  int slot_;
};

// When a run is over, whether it succeeded or not, hands the thread's cache of freed blocks
// back to the allocator. A run makes and drops several texts of a few KB (the combined text,
// ext.qor, the preprocessed text); on dozens of connection threads the per-thread caches keep
// such blocks by the thousand, spread over so many pages that most of them stay resident after
// the load. Handed back, they are reused across threads and stay near the number in use.
class ThreadCacheRelease {
 public:
  ThreadCacheRelease() = default;
  ~ThreadCacheRelease() { ReleaseThreadCache(); }
  ThreadCacheRelease(const ThreadCacheRelease&) = delete;
  ThreadCacheRelease& operator=(const ThreadCacheRelease&) = delete;
};

// Deletes the temporary script copy when the run is over, whether it succeeded or not.
class TempFileHold {
 public:
  explicit TempFileHold(std::string path) : path_(std::move(path)) {}
  ~TempFileHold() { RemoveTempFile(path_); }
  TempFileHold(const TempFileHold&) = delete;
  TempFileHold& operator=(const TempFileHold&) = delete;

 private:
  std::string path_;
};

// The result of compiling one block's text, or of finding its program among those kept.
struct CompiledBlock {
  bool compiled = false;
  std::vector<std::string> messages;
  std::string image;               // a program compiled for this run
  script::SharedProgram program;   // or a kept one, whose late literals take late_values
  std::vector<CallValue> late_values;
};

// The 94 native declarations in their order; a compilation reads those its script names. They
// are the program's own constant texts, which the tests compile, so they are not checked again
// at every start (a run of qorscript is a few milliseconds).
const std::shared_ptr<const script::NativeDeclarations>& ScriptApiDeclarations() {
  static const std::shared_ptr<const script::NativeDeclarations> declarations = [] {
    std::vector<std::string> texts;
    for (const NativeEntry& entry : ScriptApiNatives()) texts.push_back(entry.declaration);
    return std::make_shared<const script::NativeDeclarations>(
        texts, script::NativeDeclarations::Unchecked{});
  }();
  return declarations;
}

// The compiler's unit hook: "SYSTEM" gets the host class library, the host variable
// Application and the native declarations, once per compilation (a script's "uses System"
// finds them there); scripts may name no other unit.
std::function<bool(TPSPascalCompiler&, const std::string&)> SystemUnitHook() {
  return [declared = false](TPSPascalCompiler& compiler, const std::string& unit_name) mutable {
    if (unit_name != "SYSTEM") return false;
    if (declared) return true;
    declared = true;
    compiler.DeclareClassLibrary();
    compiler.DeclareHostVariable("Application", "TApplication");
    compiler.DeclareNatives(ScriptApiDeclarations());
    return true;
  };
}

PreludeValues MakePreludeValues(const ScriptRunInput& input, int slot,
                                const std::string& program_dir, const TrafficSnapshot& traffic) {
  PreludeValues values;
  values.slot = slot;
  values.client_address = input.client_address;
  values.host_name = input.host_name;
  values.host_root = input.host_root;
  values.program_dir = program_dir;
  values.last_visit = input.last_visit;
  values.server_uptime = traffic.TotalServerUptime;
  values.document = input.document;
  values.out_mb = traffic.OutMB;
  values.out_kb = traffic.OutKB;
  values.out_gb = traffic.OutGB;
  values.out_bytes = traffic.OutBytes;
  values.served_files = traffic.ServedFiles;
  return values;
}

std::unique_ptr<TPSPascalCompiler> NewCompiler() {
  auto compiler = std::make_unique<TPSPascalCompiler>();
  compiler->DeclareUnit = SystemUnitHook();
  compiler->MainBlockOptional = true;
  return compiler;
}

CompiledBlock CompileText(const std::string& preprocessed) {
  auto compiler = NewCompiler();
  CompiledBlock block;
  block.compiled = compiler->Compile(preprocessed);
  for (int i = 0; i < compiler->MessageCount(); ++i) {
    block.messages.push_back(compiler->MessageText(i));
  }
  if (block.compiled) block.image = compiler->ProgramImage();
  return block;
}

// The program of a block, from `programs` when an earlier run of the same key kept one. A run
// that compiles, compiles its own text as it stands, so its messages and outcome are those of
// its own values; the second run of a key then compiles once more with the values as late
// literals to keep a program for the runs after it.
CompiledBlock CompileBlock(const std::string& combined, const PreludeLayout& layout,
                           const std::string& preprocessed, ProgramCache* programs) {
  using KeyState = ProgramCache::KeyState;
  if (programs == nullptr) return CompileText(preprocessed);
  LateBinding binding = BindPreludeLiterals(combined, layout, preprocessed);
  if (!binding.usable) return CompileText(preprocessed);
  ProgramCache::Found found = programs->Find(binding.key);
  if (found.state == KeyState::kKept) {
    CompiledBlock kept;
    kept.compiled = true;
    kept.program = std::move(found.program);
    kept.late_values = std::move(binding.values);
    return kept;
  }
  CompiledBlock block = CompileText(preprocessed);
  if (!block.compiled || found.state == KeyState::kCompiledEachTime) return block;
  if (found.state == KeyState::kUnknown) {
    programs->MarkSeen(binding.key);
    return block;
  }
  auto compiler = NewCompiler();
  compiler->LateLiterals = std::move(binding.offsets);
  script::SharedProgram late_program;
  if (compiler->Compile(preprocessed) && compiler->LateLiteralsReusable()) {
    late_program = TPSExec::ReadProgram(compiler->ProgramImage());
  }
  programs->Store(binding.key, std::move(late_program));
  return block;
}

void WriteTempScript(const std::string& path, const std::string& combined_text) {
  TempFileWriter file(path);
  std::ostream out(&file);
  out << combined_text << "\r\n";
  if (!file.is_open() || !out || !file.Close()) throw QorsvError("Cannot create file " + path);
}

std::string Preprocess(const std::string& program_dir, const std::string& main_name,
                       const std::string& combined_text) {
  script::TPSPreProcessor preprocessor;
  preprocessor.ResolveInclude = [&program_dir](const std::string&, const std::string& name) {
    return ResolveScriptInclude(program_dir, name);
  };
  try {
    return preprocessor.Preprocess(main_name, combined_text);
  } catch (const std::exception& error) {
    throw ScriptPreprocessFailure(error.what());
  }
}

CallValue CallByName(TPSExec& exec, const std::string& name,
                     const std::vector<CallValue>& args = {}) {
  try {
    return exec.CallProcedure(name, args);
  } catch (const ScriptEngineError& error) {
    throw ScriptCallFailure(error.what());
  }
}

// The natives of the script API, in one table for all runs.
const std::shared_ptr<const script::NativeTable>& ScriptApiNativeTable() {
  static const std::shared_ptr<const script::NativeTable> table = [] {
    auto built = std::make_shared<script::NativeTable>();
    for (const NativeEntry& entry : ScriptApiNatives()) {
      if (entry.function) (*built)[entry.registered_name] = entry.function;
    }
    return built;
  }();
  return table;
}

void RegisterNatives(TPSExec& exec, const std::vector<NativeEntry>& overrides) {
  exec.UseNatives(ScriptApiNativeTable());
  for (const NativeEntry& entry : overrides) {
    if (entry.function) exec.RegisterNative(entry.registered_name, entry.function);
  }
}

// The server's own cookie. A page whose blocks run one after the other keeps one "qorserver"
// cookie: a second one without max-age would turn the kept cookie into a session cookie.
void AddServerCookie(ResponseInfo& response) {
  if (response.FindCookie(kServerCookieName) == nullptr) {
    response.AddCookiesFromText(std::string(kServerCookieName) + "=" + kProductBanner);
  }
  if (ResponseCookie* cookie = response.FindCookie(kServerCookieName)) {
    cookie->max_age = kServerCookieMaxAge;
    cookie->value = kProductBanner;
  }
}

// The cookies the script queued through ext.qor: ndxaddcookies tells how many (its low 8 bits
// count), getaddcookiesname and getaddcookiesvalue give each one.
void AddScriptCookies(TPSExec& exec, ResponseInfo* response) {
  CallValue queued = CallByName(exec, "ndxaddcookies");
  int count = 0;
  try {
    count = queued.ToInt32() & 0xFF;
  } catch (const ScriptEngineError& error) {  // a result that is no number
    throw ScriptCallFailure(error.what());
  }
  for (int i = 1; i <= count; ++i) {
    std::string name = CallByName(exec, "getaddcookiesname", {CallValue::Integer(i)}).ToText();
    std::string value = CallByName(exec, "getaddcookiesvalue", {CallValue::Integer(i)}).ToText();
    if (response != nullptr) response->AddCookiesFromText(name + "=" + value);
  }
}

// Bounds what the engine runs from now on by the run's time limit, if it has one.
void LimitRunTime(TPSExec& exec, std::chrono::steady_clock::time_point from,
                  std::chrono::seconds limit) {
  if (limit.count() > 0) exec.SetDeadline(from + limit, TimeLimitMessage(limit));
}

// The calls by name around the main block, in their fixed order.
void RunLoadedProgram(TPSExec& exec, const ScriptRunInput& input, const TrafficSnapshot& traffic,
                      ScriptRunDetails& details) {
  CallByName(exec, "qOrScriptInitialization");
  CallByName(exec, "readcookies");
  CallByName(exec, "readparams");
  CallByName(exec, "readheaders");
  CallByName(exec, "setusersonline", {CallValue::Word(OpenConnections())});
  CallByName(exec, "settrafic",
             {CallValue::LongWord(traffic.OutGB), CallValue::LongWord(traffic.OutMB),
              CallValue::LongWord(traffic.OutKB), CallValue::LongWord(traffic.OutBytes)});
  CallByName(exec, "setuserip", {CallValue::Text(input.client_address)});
  if (!exec.RunMainBlock()) {
    details.main_block_error = exec.LastErrorMessage();
    if (details.main_block_error == TimeLimitMessage(input.time_limit)) {
      WriteLogLine(details.main_block_error + " ID=" + std::to_string(input.thread_id));
    }
  }
  // The cookie steps still run for a main block that used up the time.
  LimitRunTime(exec, std::chrono::steady_clock::now(), input.time_limit);
  if (input.response != nullptr) AddServerCookie(*input.response);
  AddScriptCookies(exec, input.response);
}

}  // namespace

std::string executescript(const ScriptRunInput& input, const std::string& temp_file_name,
                          ScriptRunDetails* details, ProgramCache* programs) {
  ScriptRunDetails own_details;
  ScriptRunDetails& run = details != nullptr ? *details : own_details;
  const std::string program_dir = ProgramDirOf(input);
  const RequestData& data = input.data != nullptr ? *input.data : EmptyRequestData();
  const uint32_t thread_id = static_cast<uint32_t>(input.thread_id);
  const auto started = std::chrono::steady_clock::now();

  ReseedScriptRandom();
  SlotHold slot;
  TrafficSnapshot traffic = ReadTrafficCounters();
  PreludeLayout layout;
  std::string combined =
      BuildCombinedText(MakePreludeValues(input, slot.slot(), program_dir, traffic), data,
                        input.script_text, programs != nullptr ? &layout : nullptr);
  WriteTempScript(temp_file_name, combined);
  std::string preprocessed = Preprocess(program_dir, temp_file_name, combined);

  CompiledBlock block = CompileBlock(combined, layout, preprocessed, programs);
  combined.clear();
  combined.shrink_to_fit();
  run.compiler_messages = block.messages;
  run.compiled = block.compiled;
  run.reused_program = block.program != nullptr;
  CompileReport report = MakeCompileReport(std::move(block.messages), preprocessed, !block.compiled);
  std::string failure_output = report.output_text;
  PostCompileReport(std::move(report));
  if (!block.compiled) return failure_output;

  RunContext context{static_cast<int>(input.thread_id), slot.slot()};
  auto exec = std::make_unique<TPSExec>();
  exec->SetHostContext(&context);
  exec->SetLibraryDirectory(program_dir);
  exec->SetClassImporter(script::TPSRuntimeClassImporter::Standard());
  RegisterNatives(*exec, input.native_overrides);
  bool loaded = block.program != nullptr ? exec->Load(std::move(block.program))
                                          : exec->Load(block.image);
  if (!loaded) {
    return preprocessed + kLoadFailureText + exec->LastErrorParameter();
  }
  run.loaded = true;
  if (!block.late_values.empty()) exec->SetLateLiterals(block.late_values);
  exec->SetVariableObject("APPLICATION",
                          script::NewApplicationObject(kApplicationTitle, ProgramFile()));
  LimitRunTime(*exec, started, input.time_limit);

  try {
    RunLoadedProgram(*exec, input, traffic, run);
  } catch (...) {
    exec.reset();
    ReleaseRunSqlHandles(thread_id);
    throw;
  }
  exec.reset();
  std::string output = ScriptEchoSlots().SlotOutput(slot.slot());
  AddSyslogLine("ended connection :" + std::to_string(input.thread_id));
  ReleaseRunSqlHandles(thread_id);
  return output;
}

std::string TimeLimitMessage(std::chrono::seconds limit) {
  return "Script stopped: it ran longer than the ScriptTimeLimit of " +
         std::to_string(limit.count()) + " s";
}

std::string runscript(const ScriptRunInput& input, ScriptRunDetails* details,
                      ProgramCache* programs) {
  WriteLogLine("RUN SCRIPT \"" + input.script_text + "\"");
  uint64_t started = TickCountMs();
  std::string temp_file_name = TempScriptNameIn(ProgramDirOf(input)) + ".pfii";
  std::string output;
  ThreadCacheRelease release_cache;
  {
    // A failing run deletes its copy too: failures must not pile files up in "temp".
    TempFileHold temp_file(temp_file_name);
    output = executescript(input, temp_file_name, details, programs);
  }
  AppendLogBufferLine("Delta time :" + std::to_string(TickCountMs() - started));
  return output;
}

}  // namespace qorsv

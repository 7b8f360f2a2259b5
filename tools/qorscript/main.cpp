// qorscript FILE [NAME=VALUE ...]: runs a script file as the server runs one page block, for a
// request whose form fields are the NAME=VALUE pairs (no headers, no cookies, client address
// 127.0.0.1, document "/"): the same prelude, ext.qor from the program directory's scripts
// folder, the same natives.
//
// Standard output gets what the script wrote, byte for byte; standard error gets the compiler
// messages, the message of a runtime error that ended the main block, and on failure the
// runner's own text for it (standard output then stays empty); Msg and Showmessage write there
// too, since no operator closes message boxes here. Exit status: 0 when the run
// completed, 1 when the file could not be read or preprocessing, compilation or loading failed,
// 2 when a routine called by name failed.
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "scripthost/request_records.h"
#include "scripthost/script_runner.h"
#include "transport/http_records.h"
#include "transport/platform.h"

namespace {

constexpr int kCompleted = 0;
constexpr int kNotRun = 1;
constexpr int kCallFailed = 2;

constexpr char kUsage[] = "usage: qorscript FILE [NAME=VALUE ...]\n";

bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

// The form fields from the NAME=VALUE arguments; false when one has no "=".
bool ReadParams(int argc, char** argv, qorsv::Tparams& params) {
  for (int i = 2; i < argc; ++i) {
    std::string pair = argv[i];
    size_t eq = pair.find('=');
    if (eq == std::string::npos) return false;
    params.Append(pair.substr(0, eq), pair.substr(eq + 1));
  }
  return true;
}

// Nobody is there to close an operator's message box: Msg and Showmessage write their text to
// standard error and the script goes on.
std::vector<qorsv::NativeEntry> MessageBoxesOnStderr() {
  auto show = [](qorsv::script::NativeCall& call) { std::cerr << call.Str(0) << '\n'; };
  return {{"procedure Msg(Data: string);", "MSG", show},
          {"procedure Showmessage(Data:string);", "SHOWMESSAGE", show}};
}

void PrintMessages(const qorsv::ScriptRunDetails& details) {
  for (const std::string& message : details.compiler_messages) std::cerr << message << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kUsage;
    return kNotRun;
  }
  auto data = std::make_unique<qorsv::RequestData>();
  if (!ReadParams(argc, argv, data->params)) {
    std::cerr << kUsage;
    return kNotRun;
  }
  std::string source;
  if (!ReadWholeFile(argv[1], source)) {
    std::cerr << "Cannot open file " << argv[1] << '\n';
    return kNotRun;
  }

  qorsv::ResponseInfo response;
  qorsv::ScriptRunInput input;
  // A page block's text starts with a line break before its first line.
  input.script_text = "\r\n" + source;
  input.client_address = "127.0.0.1";
  input.document = "/";
  input.data = data.get();
  input.thread_id = qorsv::CurrentThreadId();
  input.response = &response;
  input.native_overrides = MessageBoxesOnStderr();

  qorsv::ScriptRunDetails details;
  std::string output;
  try {
    output = qorsv::runscript(input, &details);
  } catch (const qorsv::ScriptCallFailure& failure) {
    PrintMessages(details);
    std::cerr << failure.what() << '\n';
    return kCallFailed;
  } catch (const std::exception& failure) {
    PrintMessages(details);
    std::cerr << failure.what() << '\n';
    return kNotRun;
  }
  PrintMessages(details);
  if (!details.compiled || !details.loaded) {
    std::cerr << output << '\n';
    return kNotRun;
  }
  if (!details.main_block_error.empty()) std::cerr << details.main_block_error << '\n';
  std::cout.write(output.data(), static_cast<std::streamsize>(output.size()));
  std::cout.flush();
  return std::cout ? kCompleted : kNotRun;
}

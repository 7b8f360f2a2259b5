// Benchmark driver for the script engine, called by run.sh.
//
//   engine_bench prelude N EXT_QOR   times preprocess + compile + load of a page prelude with N
//                                    request parameters (EXT_QOR is the include file it names)
//                                    and reports the process's peak memory
//
// Single-threaded; one engine instance per step, as the server uses them.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>

#include "scriptengine/engine.h"

namespace {

using qorsv::script::CallValue;
using qorsv::script::IncludeFile;
using qorsv::script::NativeCall;
using qorsv::script::TPSExec;
using qorsv::script::TPSPascalCompiler;
using qorsv::script::TPSPreProcessor;
using Clock = std::chrono::steady_clock;

constexpr char kCrLf[] = "\r\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A text value in quoted form: control characters as chr(n), quotes doubled.
std::string Quoted(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (c < 32) {
      out += "'+chr(" + std::to_string(c) + ")+'";
    } else {
      out += static_cast<char>(c);
      if (c == '\'') out += '\'';
    }
  }
  return out;
}

// The generated head of a page script, built the way the script runner builds it, with
// `count` request parameters and no headers or cookies.
std::string BuildPrelude(int count, const std::string& script) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * 90 + 1024);
  text += " const uniqueecho=1; myip='127.0.0.1'; myhost='localhost'; myhostdir='/srv/www/'; ";
  text += "mypath='/opt/qorsv/'; lastvisit=''; serveruptime=42; ";
  text += kCrLf + std::string("localdoc='/form.html';");
  text += kCrLf + std::string("outmb=5;");
  text += kCrLf + std::string("outkb=300;");
  text += kCrLf + std::string("outgb=0;");
  text += kCrLf + std::string("outbytes=12;");
  text += kCrLf + std::string("servedfiled=77;");
  text += kCrLf + std::string("{$i ext.qor} ");
  text += "procedure readparams; " + std::string(kCrLf) +
          "begin  params.count:=" + std::to_string(count) + ";" + kCrLf;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    text += " params.paramname[" + n + "]:='" + Quoted("field" + n) + "'; " + kCrLf;
    text += " params.paramvalue[" + n + "]:='" + Quoted("value " + n + " it's\tok") + "'; " +
            kCrLf;
  }
  text += " end;";
  text += "procedure readheaders; " + std::string(kCrLf) + "begin  headers.count:=0;" + kCrLf;
  text += " end;";
  text += "procedure readcookies; begin  cookies.count:=0;";
  text += " end;";
  for (int i = 0; i < 9; ++i) text += kCrLf;
  return text + script;
}

bool Compile(TPSPascalCompiler& compiler, const std::string& text) {
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    c.DeclareNative("procedure print(s: string);");
    return true;
  };
  if (compiler.Compile(text)) return true;
  for (int i = 0; i < compiler.MessageCount(); ++i) std::cerr << compiler.MessageText(i) << "\n";
  return false;
}

void RegisterPrint(TPSExec& exec) {
  exec.RegisterNative("PRINT", [](NativeCall& call) {
    const std::string line = call.Str(0) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  });
}

int RunPrelude(int count, const std::string& ext_path) {
  const std::string script =
      "function lastparam: string; begin Result := params.paramvalue[params.count]; end;\r\n"
      "begin end.\r\n";
  const std::string combined = BuildPrelude(count, script);
  const double built_mb = PeakMegabytes();

  const Clock::time_point start = Clock::now();
  TPSPreProcessor preprocessor;
  preprocessor.ResolveInclude = [&ext_path](const std::string&, const std::string& name) {
    IncludeFile file;
    file.name = ext_path;
    file.found = name == "ext.qor";
    if (file.found) file.text = ReadFile(ext_path);
    return file;
  };
  const std::string text = preprocessor.Preprocess("prelude.pfii", combined);
  const double preprocess_s = SecondsSince(start);
  auto compiler = std::make_unique<TPSPascalCompiler>();
  if (!Compile(*compiler, text)) return 1;
  const std::string image = compiler->ProgramImage();
  compiler.reset();
  const double compile_s = SecondsSince(start) - preprocess_s;
  TPSExec exec;
  RegisterPrint(exec);
  if (!exec.Load(image)) {
    std::cerr << "load failed: " << exec.LastErrorParameter() << "\n";
    return 1;
  }
  const double total_s = SecondsSince(start);

  const Clock::time_point call_start = Clock::now();
  exec.CallProcedure("readparams");
  const double call_s = SecondsSince(call_start);
  const std::string last = exec.CallProcedure("lastparam").ToText();
  const std::string expected = "value " + std::to_string(count) + " it's\tok";
  if (last != expected) {
    std::cerr << "readparams stored '" << last << "', expected '" << expected << "'\n";
    return 1;
  }
  std::printf(
      "prelude of %d parameters (%.1f MB of text): preprocess %.3f s, compile %.3f s, load %.3f "
      "s, total %.3f s; readparams %.3f s; peak memory %.0f MB (%.0f MB before the engine)\n",
      count, static_cast<double>(combined.size()) / 1048576.0, preprocess_s, compile_s,
      total_s - preprocess_s - compile_s, total_s, call_s, PeakMegabytes(), built_mb);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "prelude" && argc == 4) return RunPrelude(std::stoi(argv[2]), argv[3]);
  } catch (const std::exception& e) {
    std::cerr << "engine_bench: " << e.what() << "\n";
    return 1;
  }
  std::cerr << "usage: engine_bench prelude COUNT EXT_QOR\n";
  return 2;
}

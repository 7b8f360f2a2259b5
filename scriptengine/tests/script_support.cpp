#include "scriptengine/tests/script_support.h"

#include <gtest/gtest.h>

namespace qorsv::script::testing {

namespace {

void DeclarePrint(TPSPascalCompiler& compiler, const std::vector<std::string>& extra) {
  compiler.DeclareClassLibrary();
  compiler.DeclareHostVariable("Application", "TApplication");
  compiler.DeclareNative("procedure print(s: string);");
  compiler.DeclareNative("procedure printi(i: Int64);");
  for (const std::string& declaration : extra) compiler.DeclareNative(declaration);
}

}  // namespace

ScriptRun RunScript(const std::string& text, const ScriptOptions& options) {
  ScriptRun run;
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = options.main_block_optional;
  compiler.DeclareUnit = [&](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    DeclarePrint(c, options.declarations);
    return true;
  };
  run.compiled = compiler.Compile(text);
  if (compiler.MessageCount() > 0) run.message = compiler.MessageText(compiler.MessageCount() - 1);
  if (!run.compiled) return run;

  TPSExec exec;
  exec.RegisterNative("PRINT", [&run](NativeCall& call) { run.output += call.Str(0) + "\n"; });
  exec.RegisterNative(
      "PRINTI", [&run](NativeCall& call) { run.output += std::to_string(call.Int(0)) + "\n"; });
  if (options.register_natives) options.register_natives(exec);
  exec.SetStepLimit(options.step_limit);
  exec.SetClassImporter(TPSRuntimeClassImporter::Standard());
  run.loaded = exec.Load(compiler.ProgramImage());
  if (!run.loaded) {
    run.load_error = exec.LastError();
    run.load_parameter = exec.LastErrorParameter();
    return run;
  }
  if (options.after_load) options.after_load(exec);
  run.completed = exec.RunMainBlock();
  if (!run.completed) run.error = exec.LastErrorMessage();
  run.memory = exec.Memory();
  run.live_objects = exec.LiveObjects();
  return run;
}

std::string CompileMessage(const std::string& text, bool main_block_optional) {
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = main_block_optional;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    DeclarePrint(c, {});
    return true;
  };
  if (compiler.Compile(text)) return "";
  return compiler.MessageCount() > 0 ? compiler.MessageText(0) : "?";
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    ScriptRun run = RunScript(c.script);
    EXPECT_TRUE(run.compiled) << c.name << ": " << run.message;
    EXPECT_TRUE(run.completed) << c.name << ": " << run.error;
    EXPECT_EQ(run.output, c.output) << c.name;
  }
}

}  // namespace qorsv::script::testing

// TPSPascalCompiler: the unit and external hooks, native declarations and the message list.
#include "scriptengine/compiler.h"

#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script {
namespace {

TEST(CompilerTest, MessageTextForm) {
  TPSPascalCompilerMessage message;
  message.row = 12;
  message.col = 5;
  message.text = "Unknown identifier 'X'";
  EXPECT_EQ(message.MessageToString(), "[Error] (12:5): Unknown identifier 'X'");
  message.kind = TPSPascalCompilerMessageKind::kWarning;
  message.module_name = "unit1";
  EXPECT_EQ(message.MessageToString(), "[Warning] unit1(12:5): Unknown identifier 'X'");
  message.kind = TPSPascalCompilerMessageKind::kHint;
  EXPECT_EQ(message.MessageToString().substr(0, 7), "[Hint] ");
}

TEST(CompilerTest, UnitHookIsAskedForSystemFirstThenEachUsedUnit) {
  std::vector<std::string> asked;
  TPSPascalCompiler compiler;
  compiler.DeclareUnit = [&](TPSPascalCompiler& c, const std::string& unit) {
    asked.push_back(unit);
    if (unit == "SYSTEM") c.DeclareNative("procedure Hello;");
    return unit == "SYSTEM" || unit == "EXTRAS";
  };
  EXPECT_TRUE(compiler.Compile("uses Extras, system;\r\nbegin Hello; end."));
  EXPECT_EQ(asked, (std::vector<std::string>{"SYSTEM", "EXTRAS", "SYSTEM"}));
  EXPECT_FALSE(compiler.ProgramImage().empty());
}

TEST(CompilerTest, RefusedOrFailingUnitsFailTheCompilation) {
  {
    TPSPascalCompiler compiler;
    compiler.DeclareUnit = [](TPSPascalCompiler&, const std::string&) { return false; };
    EXPECT_FALSE(compiler.Compile("begin end."));
    EXPECT_TRUE(compiler.ProgramImage().empty());
    ASSERT_EQ(compiler.MessageCount(), 1);
  }
  {
    TPSPascalCompiler compiler;
    compiler.DeclareUnit = [](TPSPascalCompiler&, const std::string& unit) -> bool {
      if (unit == "SYSTEM") return true;
      throw std::runtime_error("unit store offline");
    };
    EXPECT_FALSE(compiler.Compile("\r\nuses Db;\r\nbegin end."));
    EXPECT_EQ(compiler.MessageText(0), "[Error] (2:6): unit store offline");
  }
  {
    // A native declaration that does not parse, given inside the hook, fails the compilation
    // with the registration error.
    TPSPascalCompiler compiler;
    compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string&) {
      c.DeclareNative("function broken(: string;");
      return true;
    };
    EXPECT_FALSE(compiler.Compile("begin end."));
    EXPECT_EQ(compiler.MessageText(0),
              "[Error] (1:1): Unable to register function function broken(: string;");
  }
}

TEST(CompilerTest, DeclareNativeRejectsTextsThatDoNotParse) {
  TPSPascalCompiler compiler;
  for (const char* text : {"", "function", "procedure p(a: UnknownType);", "function f;",
                           "procedure p; begin end;", "var x: Integer;"}) {
    try {
      compiler.DeclareNative(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ScriptEngineError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("Unable to register function ") + text);
    }
  }
  EXPECT_NO_THROW(compiler.DeclareNative("procedure  filemove(source,destination:string);"));
  EXPECT_NO_THROW(
      compiler.DeclareNative("function f(const a, b: string; var c: Integer): Boolean; stdcall;"));
}

TEST(CompilerTest, TheLastDeclarationOfANameWins) {
  testing::ScriptOptions options;
  options.declarations = {"function Twice(s: string): string;",
                          "function Twice(n: Integer): Integer;"};
  options.register_natives = [](TPSExec& exec) {
    exec.RegisterNative("TWICE", [](NativeCall& call) { call.ReturnInt(call.Int(0) * 2); });
  };
  EXPECT_EQ(testing::RunScript("begin printi(Twice(21)); end.", options).output, "42\n");
  EXPECT_EQ(testing::RunScript("begin print(Twice('a')); end.", options).message,
            "[Error] (1:19): Type mismatch");
}

TEST(CompilerTest, ExternalClausesGoThroughTheHook) {
  struct Case {
    const char* clause;
    const char* message;  // "" when accepted
  } cases[] = {
      {"'Ping@netprobe.dll stdcall'", ""},
      {"'Fn@\"my lib.dll\" cdecl DelayLoad'", ""},
      {"'Fn@lib.dll'", ""},
      {"'NoAtSign'", "[Error] (1:41): Invalid External"},
      {"'Fn@lib.dll fastcall'", "[Error] (1:41): Invalid Calling Convention"},
  };
  for (const Case& c : cases) {
    std::string script = std::string("function F(h: PChar): Boolean; external ") + c.clause + ";";
    EXPECT_EQ(testing::CompileMessage(script), c.message) << c.clause;
  }
  // A host hook decides alone.
  std::vector<std::string> seen;
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = true;
  compiler.DeclareExternal = [&](const std::string& name, const std::string& text) {
    seen.push_back(name + "=" + text);
    return false;
  };
  EXPECT_FALSE(compiler.Compile("procedure Beep; external 'x@y';"));
  EXPECT_EQ(compiler.MessageText(0), "[Error] (1:26): Invalid External");
  EXPECT_EQ(seen, std::vector<std::string>{"Beep=x@y"});
}

TEST(CompilerTest, EachCompilationStartsAfresh) {
  TPSPascalCompiler compiler;
  compiler.DeclareNative("procedure Hello;");
  EXPECT_TRUE(compiler.Compile("var x: Integer; begin Hello; end."));
  // The same names again: nothing is left over from the first text, the native stays declared.
  EXPECT_TRUE(compiler.Compile("var x: string; begin Hello; x := 'a'; end."))
      << compiler.MessageText(0);
  EXPECT_FALSE(compiler.Compile("begin nothere; end."));
  EXPECT_TRUE(compiler.ProgramImage().empty());
  EXPECT_EQ(compiler.MessageCount(), 1);
}

TEST(CompilerTest, RowsCountTheLinesOfTheCompiledText) {
  std::string text;
  for (int i = 0; i < 19; ++i) text += "\r\n";
  text += "begin\r\n  nothere;\r\nend.";
  EXPECT_EQ(testing::CompileMessage(text), "[Error] (21:3): Unknown identifier 'nothere'");
}

}  // namespace
}  // namespace qorsv::script

// The server's compile inputs: its 94 native declarations, the generated prelude with ext.qor,
// and the Ping library declaration, compiled and run as the script runner does.
#include "scriptengine/tests/host_declarations.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "scriptengine/engine.h"
#include "scriptengine/stdlib.h"

namespace qorsv::script::testing {
namespace {

bool CompileWithHostDeclarations(TPSPascalCompiler& compiler, const std::string& text) {
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    if (unit != "SYSTEM") return false;
    c.DeclareHostVariable("Application", "TApplication");
    for (const std::string& declaration : HostDeclarations()) c.DeclareNative(declaration);
    return true;
  };
  return compiler.Compile(text);
}

std::string FirstMessage(const std::string& text) {
  TPSPascalCompiler compiler;
  if (CompileWithHostDeclarations(compiler, text)) return "";
  return compiler.MessageText(0);
}

// Natives used by the scripts below, recording what they were given.
void RegisterFakes(TPSExec& exec, std::string& out) {
  exec.RegisterNative("WRITE_HTML", [&out](NativeCall& call) { out += call.Str(0); });
  exec.RegisterNative("NEWLINE", [&out](NativeCall&) { out += "\r\n"; });
  exec.RegisterNative("ANSISAMETEXT", [](NativeCall& call) {
    call.ReturnBool(AnsiUpperCaseText(call.Str(0)) == AnsiUpperCaseText(call.Str(1)));
  });
  exec.RegisterNative("FILECREATE", [](NativeCall& call) { call.ReturnInt(call.Int(1) + 100); });
  exec.RegisterNative("MIDSTR", [](NativeCall& call) {
    call.ReturnStr(
        call.Str(0).substr(static_cast<size_t>(call.Int(1) - 1), static_cast<size_t>(call.Int(2))));
  });
  exec.RegisterNative("SQL_GETNEWHANDLE",
                      [](NativeCall& call) { call.ReturnInt(call.Str(0).size()); });
  exec.RegisterNative("GETHOUR", [](NativeCall& call) { call.ReturnInt(13); });
}

TEST(HostDeclarationsTest, AllNinetyFourAreAcceptedAndTheLaterOfTwoWins) {
  ASSERT_EQ(HostDeclarations().size(), 94u);
  EXPECT_EQ(FirstMessage("begin end."), "");
  EXPECT_EQ(FirstMessage("var h: Integer; begin h := FileCreate('x', 0); end."), "");
  EXPECT_EQ(FirstMessage("var h: Integer; begin h := FileCreate('x'); end."),
            "[Error] (1:28): Invalid number of parameters");
}

TEST(HostDeclarationsTest, AScriptUsingSeveralNativesRuns) {
  TPSPascalCompiler compiler;
  ASSERT_TRUE(CompileWithHostDeclarations(
      compiler,
      "var h: LongWord; s: string;\r\n"
      "begin\r\n"
      "  h := sql_getnewhandle('db.sqlite');\r\n"
      "  s := MidStr('hello world', 7, 5) + ' ' + IntToStr(FileCreate('f', 2)) + ' ' + "
      "IntToStr(h);\r\n"
      "  if AnsiSameText('ABC', 'abc') then s := s + ' same';\r\n"
      "  write_html(s, 1); newline(1); write_html(IntToStr(gethour), 1);\r\n"
      "end."))
      << compiler.MessageText(0);
  std::string out;
  TPSExec exec;
  RegisterFakes(exec, out);
  ASSERT_TRUE(exec.Load(compiler.ProgramImage())) << exec.LastErrorParameter();
  EXPECT_TRUE(exec.RunMainBlock()) << exec.LastErrorMessage();
  EXPECT_EQ(out, "world 102 9 same\r\n13");
}

TEST(HostDeclarationsTest, ACalledButUnregisteredNativeFailsAtLoad) {
  TPSPascalCompiler compiler;
  ASSERT_TRUE(CompileWithHostDeclarations(compiler, "begin mail_send; end."));
  TPSExec exec;
  EXPECT_FALSE(exec.Load(compiler.ProgramImage()));
  EXPECT_EQ(exec.LastError(), erCannotImport);
  EXPECT_EQ(exec.LastErrorParameter(), "MAIL_SEND");
}

TEST(HostDeclarationsTest, LibraryFunctionDeclarations) {
  const char* ping =
      "function Ping(host: PChar): Boolean; external 'Ping@netprobe.dll stdcall';\r\n";
  EXPECT_EQ(FirstMessage(ping), "");
  // Declared but not called: nothing to bind.
  TPSPascalCompiler quiet;
  ASSERT_TRUE(CompileWithHostDeclarations(quiet, ping));
  TPSExec loads;
  EXPECT_TRUE(loads.Load(quiet.ProgramImage()));
  // Called from a library that is not there: Load names the library.
  TPSPascalCompiler calling;
  ASSERT_TRUE(CompileWithHostDeclarations(
      calling,
      "function Ping(host: PChar): Boolean; external 'Ping@qorsv_no_such_library.dll stdcall';\r\n"
      "begin if Ping('127.0.0.1') then ; end."));
  TPSExec fails;
  EXPECT_FALSE(fails.Load(calling.ProgramImage()));
  EXPECT_EQ(fails.LastErrorParameter(), "qorsv_no_such_library.dll");
}

std::string Quote(const std::string& value) {
  std::string quoted;
  for (char c : value) {
    if (static_cast<unsigned char>(c) < 32) {
      quoted += "'+chr(" + std::to_string(static_cast<unsigned char>(c)) + ")+'";
    } else {
      quoted += c;
      if (c == '\'') quoted += c;
    }
  }
  return quoted;
}

// The prelude as the script runner generates it, for the given form fields.
std::string Prelude(const std::vector<std::pair<std::string, std::string>>& params) {
  std::string p =
      " const uniqueecho=1; myip='127.0.0.1'; myhost='lo''cal'; myhostdir='d'; "
      "mypath='p'; lastvisit=''; serveruptime=5; ";
  p += "\r\nlocaldoc='/';\r\noutmb=1;\r\noutkb=2;\r\noutgb=0;\r\noutbytes=3;\r\nservedfiled=4;";
  p += "\r\n{$i ext.qor} ";
  p += "procedure readparams; \r\nbegin  params.count:=" + std::to_string(params.size()) + ";\r\n";
  for (size_t i = 0; i < params.size(); ++i) {
    std::string n = std::to_string(i + 1);
    p += " params.paramname[" + n + "]:='" + Quote(params[i].first) + "'; \r\n";
    p += " params.paramvalue[" + n + "]:='" + Quote(params[i].second) + "'; \r\n";
  }
  p += " end;procedure readheaders; \r\nbegin  headers.count:=0;\r\n end;";
  p += "procedure readcookies; begin  cookies.count:=1; cookies.name[1]:='c'; "
       "cookies.value[1]:='x'+chr(9)+'y';  end;";
  for (int i = 0; i < 9; ++i) p += "\r\n";
  return p;
}

TEST(HostDeclarationsTest, ThePreludeWithExtQorRunsThroughTheRunnersCalls) {
  std::string source = __FILE__;
  std::string ext_path =
      source.substr(0, source.rfind("scriptengine/")) + "runtime/scripts/ext.qor";
  std::ifstream in(ext_path, std::ios::binary);
  if (!in) GTEST_SKIP() << "no " << ext_path;
  std::stringstream ext;
  ext << in.rdbuf();

  std::string text =
      Prelude({{"a", "b'c"}, {"tab", "x\ty"}}) +
      "begin echo(getparam('A') + '|' + getparam('tab') + '|' + getcookie('c') + '|' +\r\n"
      "  IntToStr(uniqueecho) + myhost); addcookie('u', '1'); end.";
  TPSPreProcessor preprocessor;
  preprocessor.ResolveInclude = [&](const std::string&, const std::string& name) {
    return IncludeFile{name == "ext.qor", name, ext.str()};
  };
  std::string preprocessed = preprocessor.Preprocess("main.pfii", text);
  TPSPascalCompiler compiler;
  ASSERT_TRUE(CompileWithHostDeclarations(compiler, preprocessed)) << compiler.MessageText(0);

  std::string out;
  TPSExec exec;
  RegisterFakes(exec, out);
  ASSERT_TRUE(exec.Load(compiler.ProgramImage())) << exec.LastErrorParameter();
  EXPECT_TRUE(exec.SetVariableObject("APPLICATION", NewApplicationObject("Title", "/qorsv")));
  exec.CallProcedure("qOrScriptInitialization");
  exec.CallProcedure("readcookies");
  exec.CallProcedure("readparams");
  exec.CallProcedure("readheaders");
  exec.CallProcedure("setusersonline", {CallValue::Word(3)});
  exec.CallProcedure("settrafic", {CallValue::LongWord(0), CallValue::LongWord(1),
                                   CallValue::LongWord(2), CallValue::LongWord(3)});
  exec.CallProcedure("setuserip", {CallValue::Text("127.0.0.1")});
  EXPECT_TRUE(exec.RunMainBlock()) << exec.LastErrorMessage();
  EXPECT_EQ(out, "b'c|x\ty|x\ty|1lo'cal");
  ASSERT_EQ(exec.CallProcedure("ndxaddcookies").ToInt32(), 1);
  EXPECT_EQ(exec.CallProcedure("getaddcookiesname", {CallValue::Integer(1)}).ToText(), "u");
  EXPECT_EQ(exec.CallProcedure("getaddcookiesvalue", {CallValue::Integer(1)}).ToText(), "1");
}

}  // namespace
}  // namespace qorsv::script::testing

// TPSExec: loading, binding natives, calling routines by name and the failures of each step.
#include "scriptengine/exec.h"

#include <gtest/gtest.h>

#include <chrono>

#include "scriptengine/compiler.h"

namespace qorsv::script {
namespace {

// Compiles `text` with the extra native declarations; the image is empty on failure.
std::string Compile(const std::string& text, std::vector<std::string> natives = {}) {
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [&](TPSPascalCompiler& c, const std::string&) {
    for (const std::string& native : natives) c.DeclareNative(native);
    return true;
  };
  EXPECT_TRUE(compiler.Compile(text)) << (compiler.MessageCount() ? compiler.MessageText(0) : "");
  return compiler.ProgramImage();
}

const char kRoutines[] =
    "var log: string; counter: Word;\r\n"
    "procedure NoArgs; begin log := log + 'n'; end;\r\n"
    "procedure SetUsers(count: Word); begin counter := count; end;\r\n"
    "procedure Traffic(gb, mb, kb, bytes: LongWord); begin log := log + IntToStr(gb + mb + kb + "
    "bytes); end;\r\n"
    "procedure SetIp(ip: string); begin log := log + ip; end;\r\n"
    "function Count: Integer; begin Result := counter * 2; end;\r\n"
    "function Name(i: Integer): string; begin Result := 'c' + IntToStr(i); end;\r\n"
    "function Divide(a, b: Integer): Integer; begin Result := a div b; end;\r\n"
    "function Parse(s: string): Integer; begin Result := StrToInt(s); end;\r\n"
    "procedure Fail; begin RaiseException(erCustomError, 'custom text'); end;\r\n";

TEST(ExecTest, CallsRoutinesByNameWithCallValues) {
  TPSExec exec;
  ASSERT_TRUE(exec.Load(Compile(kRoutines)));
  EXPECT_TRUE(exec.CallProcedure("noargs").IsNone());
  exec.CallProcedure("NOARGS");
  exec.CallProcedure("SetUsers", {CallValue::Word(21)});
  exec.CallProcedure("traffic", {CallValue::LongWord(2000000000u), CallValue::LongWord(1),
                                 CallValue::LongWord(2), CallValue::LongWord(3)});
  exec.CallProcedure("SetIp", {CallValue::Text("127.0.0.1")});
  EXPECT_EQ(exec.CallProcedure("Count").ToInt32(), 42);
  EXPECT_EQ(exec.CallProcedure("Name", {CallValue::Integer(7)}).ToText(), "c7");
  EXPECT_EQ(exec.GetVariable("LOG").ToText(), "nn2000000006127.0.0.1");
  EXPECT_EQ(exec.GetVariable("counter").ToInt32(), 21);
}

TEST(ExecTest, CallFailuresCarryTheirMessages) {
  TPSExec exec;
  ASSERT_TRUE(exec.Load(Compile(kRoutines)));
  struct Case {
    const char* name;
    std::vector<CallValue> args;
    const char* message;
  } cases[] = {
      {"Missing", {}, "Unknown procedure"},
      {"NoArgs", {CallValue::Integer(1)}, "Too many parameters"},
      {"Traffic", {CallValue::LongWord(1)}, "Not enough parameters"},
      {"SetUsers", {CallValue::Text("many")}, "Invalid parameter"},
      {"SetUsers", {CallValue::Integer(70000)}, "Invalid parameter"},
      {"SetUsers", {CallValue::Integer(-1)}, "Invalid parameter"},
      {"SetUsers", {CallValue()}, "Invalid parameter"},
      {"Divide", {CallValue::Integer(1), CallValue::Integer(0)}, "divide by Zero"},
      {"Parse", {CallValue::Text("12a")}, "'12a' is not a valid integer value"},
      {"Fail", {}, "custom text"},
  };
  for (const Case& c : cases) {
    try {
      exec.CallProcedure(c.name, c.args);
      ADD_FAILURE() << c.name << " did not fail";
    } catch (const ScriptEngineError& error) {
      EXPECT_EQ(std::string(error.what()), c.message) << c.name;
    }
  }
  // The runtime stays usable after failed calls.
  EXPECT_EQ(exec.CallProcedure("Divide", {CallValue::Integer(9), CallValue::Integer(3)}).ToInt32(),
            3);
  EXPECT_EQ(exec.CallProcedure("SetUsers", {CallValue::Text("12")}).kind(), CallValue::Kind::kNone);
}

TEST(ExecTest, CallValuesConvertToEachParameterType) {
  TPSExec exec;
  ASSERT_TRUE(
      exec.Load(Compile("type TP = record x: Integer; end;\r\n"
                        "function Echo(b: Byte; c: Char; ok: Boolean; d: Double; s: string; v: "
                        "Variant; q: Int64): string;\r\n"
                        "begin Result := IntToStr(b) + c + IntToStr(Ord(ok)) + FloatToStr(d) + s + "
                        "string(v) + Int64ToStr(q); end;\r\n"
                        "function Point: TP; begin Result.x := 1; end;\r\n"
                        "procedure Change(var n: Integer); begin n := 1; end;\r\n"
                        "function Flag: Boolean; begin Result := True; end;\r\n"
                        "function Ratio: Double; begin Result := 0.25; end;\r\n"
                        "function Letter: Char; begin Result := 'q'; end;\r\n")));
  CallValue echoed = exec.CallProcedure(
      "Echo",
      {CallValue::Integer(7), CallValue::Text("z"), CallValue::Integer(2), CallValue::Text("1.5"),
       CallValue::Integer(42), CallValue::Float(2.5), CallValue::Text("-9000000000")});
  EXPECT_EQ(echoed.ToText(), "7z11.5422.5-9000000000");
  EXPECT_TRUE(exec.CallProcedure("Point").IsNone());
  EXPECT_EQ(exec.CallProcedure("Flag").kind(), CallValue::Kind::kBoolean);
  EXPECT_DOUBLE_EQ(exec.CallProcedure("Ratio").ToFloat(), 0.25);
  EXPECT_EQ(exec.CallProcedure("Letter").ToText(), "q");
  for (const std::vector<CallValue>& args :
       {std::vector<CallValue>{CallValue::Integer(256), CallValue::Text("z"), CallValue::Integer(0),
                               CallValue::Float(0), CallValue::Text(""), CallValue::Text(""),
                               CallValue::Integer(0)},
        std::vector<CallValue>{CallValue::Integer(1), CallValue::Text("zz"), CallValue::Integer(0),
                               CallValue::Float(0), CallValue::Text(""), CallValue::Text(""),
                               CallValue::Integer(0)},
        std::vector<CallValue>{CallValue::Integer(1), CallValue::Text("z"), CallValue::Integer(0),
                               CallValue::Text("x"), CallValue::Text(""), CallValue::Text(""),
                               CallValue::Integer(0)}}) {
    EXPECT_THROW(exec.CallProcedure("Echo", args), ScriptEngineError);
  }
  try {
    exec.CallProcedure("Change", {CallValue::Integer(1)});
    ADD_FAILURE() << "a var parameter accepted a call value";
  } catch (const ScriptEngineError& error) {
    EXPECT_STREQ(error.what(), "Invalid parameter");
  }
}

TEST(ExecTest, GlobalVariablesByName) {
  TPSExec exec;
  ASSERT_TRUE(
      exec.Load(Compile("var Counter: Integer; Title: string; begin Counter := Counter + 1; Title "
                        ":= Title + '!'; end.")));
  exec.SetVariable("counter", CallValue::Integer(41));
  exec.SetVariable("TITLE", CallValue::Text("hi"));
  ASSERT_TRUE(exec.RunMainBlock());
  EXPECT_EQ(exec.GetVariable("Counter").ToInt32(), 42);
  EXPECT_EQ(exec.GetVariable("title").ToText(), "hi!");
  EXPECT_THROW(exec.GetVariable("missing"), ScriptEngineError);
  EXPECT_THROW(exec.SetVariable("counter", CallValue::Text("x")), ScriptEngineError);
}

TEST(ExecTest, StepLimitAlsoBoundsCallsByName) {
  TPSExec exec;
  exec.SetStepLimit(1000);
  ASSERT_TRUE(exec.Load(Compile("procedure Spin; begin while True do ; end;")));
  try {
    exec.CallProcedure("Spin");
    ADD_FAILURE() << "no limit";
  } catch (const ScriptEngineError& error) {
    EXPECT_STREQ(error.what(), "Step limit exceeded");
  }
}

TEST(ExecTest, DeadlineEndsEndlessRunsAndCannotBeCaught) {
  using std::chrono::steady_clock;
  const char* kMessage = "Script timed out";
  struct DeadlineCase {
    const char* name;
    const char* script;
    steady_clock::duration from_now;
  };
  const DeadlineCase cases[] = {
      {"passed loop", "begin while True do ; end.", -std::chrono::seconds(1)},
      {"passed recursion",
       "procedure R(n: Integer); begin R(n + 1); R(n + 1); end; begin R(0); end.",
       -std::chrono::seconds(1)},
      {"passed inside try", "begin try repeat until False; except print('caught'); end; end.",
       -std::chrono::seconds(1)},
      {"passed inside finally", "begin try while True do ; finally print('finally'); end; end.",
       -std::chrono::seconds(1)},
      {"reached while running", "var i: Integer; begin while True do Inc(i); end.",
       std::chrono::milliseconds(30)},
  };
  for (const DeadlineCase& c : cases) {
    std::string output;
    TPSExec exec;
    exec.RegisterNative("PRINT", [&](NativeCall& call) { output += call.Str(0); });
    exec.SetDeadline(steady_clock::now() + c.from_now, kMessage);
    ASSERT_TRUE(exec.Load(Compile(c.script, {"procedure print(s: string);"}))) << c.name;
    EXPECT_FALSE(exec.RunMainBlock()) << c.name;
    EXPECT_EQ(exec.LastError(), erCustomError) << c.name;
    EXPECT_EQ(exec.LastErrorMessage(), kMessage) << c.name;
    EXPECT_EQ(output, "") << c.name;
  }
}

TEST(ExecTest, DeadlineAlsoBoundsCallsByNameAndLeavesTimelyRunsAlone) {
  using std::chrono::steady_clock;
  const std::string image = Compile(
      "var n: Integer;\r\n"
      "procedure Spin; begin while True do ; end;\r\n"
      "procedure Count(limit: Integer); var i: Integer; begin for i := 1 to limit do n := n + 1; "
      "end;\r\n");
  TPSExec exec;
  ASSERT_TRUE(exec.Load(image));
  exec.SetDeadline(steady_clock::now() + std::chrono::hours(1), "late");
  exec.CallProcedure("Count", {CallValue::Integer(100000)});
  EXPECT_EQ(exec.GetVariable("n").ToInt32(), 100000);

  exec.SetDeadline(steady_clock::now() - std::chrono::milliseconds(1), "late");
  try {
    exec.CallProcedure("Spin");
    ADD_FAILURE() << "no deadline";
  } catch (const ScriptEngineError& error) {
    EXPECT_STREQ(error.what(), "late");
  }
}

TEST(ExecTest, StepLimitCountsTheSameWithADeadline) {
  const std::string image = Compile(
      "procedure Loop(limit: Integer); var i: Integer; begin for i := 1 to limit do ; end;");
  TPSExec exec;
  exec.SetStepLimit(10000);
  exec.SetDeadline(std::chrono::steady_clock::now() + std::chrono::hours(1), "late");
  ASSERT_TRUE(exec.Load(image));
  EXPECT_NO_THROW(exec.CallProcedure("Loop", {CallValue::Integer(9990)}));
  try {
    exec.CallProcedure("Loop", {CallValue::Integer(10010)});
    ADD_FAILURE() << "no limit";
  } catch (const ScriptEngineError& error) {
    EXPECT_STREQ(error.what(), "Step limit exceeded");
  }
}

TEST(ExecTest, RunMainBlockReportsRuntimeErrorsWithoutThrowing) {
  TPSExec exec;
  ASSERT_TRUE(exec.Load(Compile("var a: Integer; begin a := 0; a := 5 div a; end.")));
  EXPECT_FALSE(exec.RunMainBlock());
  EXPECT_EQ(exec.LastError(), ErDivideByZero);
  EXPECT_EQ(exec.LastErrorMessage(), "divide by Zero");

  TPSExec empty;
  ASSERT_TRUE(empty.Load(Compile("procedure OnlyDeclarations; begin end;")));
  EXPECT_TRUE(empty.RunMainBlock());
}

TEST(ExecTest, LoadBindsOnlyTheNativesTheScriptCalls) {
  std::vector<std::string> natives = {"procedure Used(s: string);", "procedure Unused;"};
  std::string calls = Compile("begin Used('x'); end.", natives);
  std::string ignores = Compile("begin end.", natives);

  TPSExec missing;
  EXPECT_FALSE(missing.Load(calls));
  EXPECT_EQ(missing.LastError(), erCannotImport);
  EXPECT_EQ(missing.LastErrorParameter(), "USED");
  EXPECT_EQ(ExceptionToString(missing.LastError(), missing.LastErrorParameter()),
            "Cannot Import USED");

  TPSExec fine;
  EXPECT_TRUE(fine.Load(ignores));

  std::string got;
  TPSExec bound;
  bound.RegisterNative("USED", [&](NativeCall&) { got = "first"; });
  bound.RegisterNative("USED", [&](NativeCall& call) { got = "second " + call.Str(0); });
  ASSERT_TRUE(bound.Load(calls));
  EXPECT_TRUE(bound.RunMainBlock());
  EXPECT_EQ(got, "second x");
}

TEST(ExecTest, HostRegistrationsReplaceStandardRoutines) {
  TPSExec exec;
  exec.RegisterNative("UPPERCASE", [](NativeCall& call) { call.ReturnStr("host:" + call.Str(0)); });
  ASSERT_TRUE(exec.Load(Compile("var s: string; begin s := UpperCase('a'); end.")));
  EXPECT_TRUE(exec.RunMainBlock());
  EXPECT_EQ(exec.GetVariable("s").ToText(), "host:a");
}

TEST(ExecTest, NativesSeeTheHostContextAndVarParameters) {
  int context = 7;
  TPSExec exec;
  exec.SetHostContext(&context);
  exec.RegisterNative("PROBE", [](NativeCall& call) {
    EXPECT_EQ(*static_cast<int*>(call.HostContext()), 7);
    EXPECT_EQ(call.ArgCount(), 4);
    EXPECT_EQ(call.Str(0), "ab");  // a PChar stops at its first NUL
    call.SetVarInt(1, 70000);      // wraps into the Word
    call.SetVarStr(2, "changed");
    call.SetVarFloat(3, 2.5);
    call.ReturnBool(true);
  });
  ASSERT_TRUE(exec.Load(Compile(
      "var w: Word; s: string; e: Extended; ok: Boolean; begin s := 'x'; ok := Probe('ab'#0'cd', "
      "w, s, e); end.",
      {"function Probe(p: PChar; var w: Word; var s: string; out e: Extended): Boolean;"})));
  ASSERT_TRUE(exec.RunMainBlock()) << exec.LastErrorMessage();
  EXPECT_EQ(exec.GetVariable("w").ToInt32(), 70000 - 65536);
  EXPECT_EQ(exec.GetVariable("s").ToText(), "changed");
  EXPECT_DOUBLE_EQ(exec.GetVariable("e").ToFloat(), 2.5);
  EXPECT_EQ(exec.GetVariable("ok").ToInt32(), 1);
}

TEST(ExecTest, HostVariablesOfHostClasses) {
  TPSPascalCompiler compiler;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string&) {
    c.DeclareHostVariable("Application", "TApplication");
    c.DeclareNative("procedure Mark(b: Boolean);");
    return true;
  };
  ASSERT_TRUE(compiler.Compile("begin Mark(Assigned(Application)); end."));
  bool marked = false;
  TPSExec exec;
  exec.RegisterNative("MARK", [&](NativeCall& call) { marked = call.Bool(0); });
  ASSERT_TRUE(exec.Load(compiler.ProgramImage()));
  EXPECT_TRUE(exec.SetVariableObject("APPLICATION", NewApplicationObject("Title", "/qorsv")));
  EXPECT_FALSE(exec.SetVariableObject("Nothing", NewApplicationObject("Title", "/qorsv")));
  EXPECT_TRUE(exec.RunMainBlock());
  EXPECT_TRUE(marked);
}

TEST(ExecTest, AutomationObjectsAreOpaqueReferences) {
  TPSExec exec;
  exec.RegisterNative("CREATEOLEOBJECT", [](NativeCall&) {});
  ASSERT_TRUE(
      exec.Load(Compile("var o: IDispatch; ok: Boolean; begin o := "
                        "CreateOleObject('Word.Application'); ok := o = nil;\r\n"
                        "IDispatchInvoke(o, False, 'Quit', [1, 'a']); end.",
                        {"function CreateOleObject(const ClassName: string): IDispatch;"})));
  EXPECT_FALSE(exec.RunMainBlock());
  EXPECT_EQ(exec.GetVariable("ok").ToInt32(), 1);
  EXPECT_EQ(exec.LastErrorMessage(), "Null Pointer Exception");
}

TEST(ExecTest, ExceptionTextsOfEveryKind) {
  EXPECT_EQ(ExceptionToString(ErNoError, ""), "No Error");
  EXPECT_EQ(ExceptionToString(erCannotImport, std::string("LIB\x01tail")), "Cannot Import LIB");
  EXPECT_EQ(ExceptionToString(erOutOfStackRange, ""), "Out Of Stack Range");
  EXPECT_EQ(ExceptionToString(ErDivideByZero, ""), "divide by Zero");
  EXPECT_EQ(ExceptionToString(erException, "x"), "Exception: x");
  EXPECT_EQ(ExceptionToString(erCustomError, "own"), "own");
  EXPECT_EQ(ExceptionToString(erNoMainProc, ""), "no Main Proc");
  EXPECT_EQ(ExceptionToString(erOutofRecordRange, ""), "Out of Record Fields Range");
  EXPECT_EQ(ExceptionToString(static_cast<TIFException>(99), "x"), "Unknown error");
}

TEST(ExecTest, CallValueConversions) {
  EXPECT_EQ(CallValue::LongWord(4294967295u).ToInt32(), -1);
  EXPECT_EQ(CallValue::Text(" 42").ToInt32(), 42);
  EXPECT_EQ(CallValue::Word(7).ToText(), "7");
  EXPECT_EQ(CallValue::Boolean(true).ToText(), "True");
  EXPECT_EQ(CallValue::Float(2.5).ToText(), "2.5");
  EXPECT_EQ(CallValue().ToText(), "");
  EXPECT_THROW(CallValue::Text("abc").ToInt32(), ScriptEngineError);
}

}  // namespace
}  // namespace qorsv::script

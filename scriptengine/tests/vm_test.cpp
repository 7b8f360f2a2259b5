// Runtime errors of the virtual machine: each kind ends the run with its message, can be caught
// by the script, and never takes the host down.
#include <gtest/gtest.h>

#include <thread>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

TEST(VmTest, RuntimeErrorsStopTheMainBlockWithTheirMessage) {
  struct Case {
    const char* script;
    const char* message;
  } cases[] = {
      {"var a, b: Integer; begin b := 0; print('before'); a := 10 div b; print('after'); end.",
       "divide by Zero"},
      {"var a, b: Integer; begin b := 0; a := 10 mod b; end.", "divide by Zero"},
      {"var x: Double; begin x := 0; x := 1 / x; end.", "divide by Zero"},
      {"var x: Double; begin x := 0; x := x / x; end.", "Math error"},
      {"var a: array[1..3] of Integer; i: Integer; begin i := 4; a[i] := 1; end.", "Out Of Range"},
      {"var a: array of Integer; begin SetLength(a, 2); printi(a[2]); end.", "Out Of Range"},
      {"var a: array of Integer; begin printi(a[0]); end.", "Out Of Range"},
      {"var s: string; begin s := 'abc'; s[0] := 'x'; end.", "Out Of Range"},
      {"var s: string; c: Char; begin c := s[1]; end.", "Out Of Range"},
      {"procedure R(n: Integer); begin R(n + 1); end; begin R(0); end.", "Out Of Stack Range"},
      // Each frame holds a longer string: memory runs out before the stack does.
      {"function F(s: string): string; begin Result := F(s + s + 'x'); end; begin print(F('')); "
       "end.",
       "Out Of Memory"},
      {"var s: string; begin SetLength(s, 2000000000); end.", "Out Of Memory"},
      {"var a: array of Int64; begin SetLength(a, 1000000000); end.", "Out Of Memory"},
      {"begin RaiseException(erCustomError, 'my own text'); end.", "my own text"},
      {"begin RaiseException(erException, 'boom'); end.", "Exception: boom"},
      {"begin RaiseException(ErTypeMismatch, ''); end.", "Type Mismatch"},
      {"begin printi(StrToInt('1x')); end.", "'1x' is not a valid integer value"},
      {"var v: Variant; i: Integer; begin v := 'abc'; i := v; end.", "Type Mismatch"},
      {"var v: Variant; i: Integer; begin v := Null; i := v; end.", "Null variant error"},
  };
  for (const Case& c : cases) {
    ScriptRun run = RunScript(c.script);
    ASSERT_TRUE(run.compiled) << c.script << ": " << run.message;
    EXPECT_FALSE(run.completed) << c.script;
    EXPECT_EQ(run.error, c.message) << c.script;
  }
}

TEST(VmTest, HandlersUnwindInOrder) {
  struct Case {
    const char* name;
    const char* script;
    const char* output;
    const char* error;
  } cases[] = {
      {"finally blocks run innermost first across frames",
       "procedure C; begin try RaiseException(erCustomError, 'x'); finally print('C'); end; end;\n"
       "procedure B; begin try C; finally print('B'); end; end;\n"
       "begin try B; except print('caught ' + ExceptionParam); end; end.",
       "C\nB\ncaught x\n", ""},
      {"an error in a finally block replaces the first",
       "begin try try RaiseException(erCustomError, 'first'); finally "
       "RaiseException(erCustomError, 'second'); end;\n"
       "except print(ExceptionParam); end; end.",
       "second\n", ""},
      {"an error in an except block goes to the outer handler",
       "begin try try RaiseException(erCustomError, 'a'); except RaiseException(erCustomError, "
       "'b'); end;\n"
       "except print(ExceptionParam); end; end.",
       "b\n", ""},
      {"a handled error inside a finally does not disturb the pending one",
       "begin try try RaiseException(erCustomError, 'outer'); finally try "
       "RaiseException(erCustomError, 'inner'); except end; end;\n"
       "except print(ExceptionParam); end; end.",
       "outer\n", ""},
      {"exit inside except and finally",
       "function F: string; begin try RaiseException(erCustomError, ''); except Result := "
       "'handled'; exit; end; Result := 'no'; end;\n"
       "function G: string; begin Result := 'g'; try exit; finally Result := Result + '+finally'; "
       "end; end;\n"
       "begin print(F); print(G); end.",
       "handled\ng+finally\n", ""},
      {"uncaught errors still run finally blocks",
       "begin try RaiseException(erCustomError, 'stop'); finally print('cleanup'); end; "
       "print('never'); end.",
       "cleanup\n", "stop"},
      {"loops with handlers keep working after many errors",
       "var i, n: Integer; s: string; begin n := 0; for i := 1 to 1000 do begin s := IntToStr(i);\n"
       "try if i mod 3 = 0 then s := s[99]; Inc(n); except Inc(n, 1000); end; end; printi(n); end.",
       "333667\n", ""},
  };
  for (const auto& c : cases) {
    ScriptRun run = RunScript(c.script);
    ASSERT_TRUE(run.compiled) << c.name << ": " << run.message;
    EXPECT_EQ(run.output, c.output) << c.name;
    EXPECT_EQ(run.error, c.error) << c.name;
  }
}

TEST(VmTest, OutputBeforeAnErrorIsKept) {
  ScriptRun run = RunScript("var b: Integer; begin print('a'); b := 1 div b; print('b'); end.");
  EXPECT_EQ(run.output, "a\n");
  EXPECT_EQ(run.error, "divide by Zero");
}

TEST(VmTest, DeepRecursionWithinTheLimitWorks) {
  ScriptRun run = RunScript(
      "function Depth(n: Integer): Integer; begin if n = 0 then Result := 0 else Result := Depth(n "
      "- 1) + 1; end;\n"
      "begin printi(Depth(20000)); end.");
  EXPECT_TRUE(run.completed) << run.error;
  EXPECT_EQ(run.output, "20000\n");
}

TEST(VmTest, StackOverflowCanBeCaughtAndTheRunGoesOn) {
  ScriptRun run = RunScript(
      "procedure R; begin R; end;\n"
      "begin try R; except print(ExceptionToString(ExceptionType, '')); end; R; end.");
  EXPECT_EQ(run.output, "Out Of Stack Range\n");
  EXPECT_EQ(run.error, "Out Of Stack Range");
}

TEST(VmTest, StepLimitStopsEndlessLoopsAndCannotBeCaught) {
  ScriptOptions options;
  options.step_limit = 10000;
  for (const char* script : {
           "begin while True do ; end.",
           "begin repeat until False; end.",
           "var i: Integer; begin for i := 0 to MaxInt do ; end.",
           "procedure P; begin try while True do ; except print('caught'); end; end; begin P; end.",
           "procedure P(n: Integer); begin if n > 0 then P(n - 1); P(n - 1); end; begin P(64); "
           "end.",
       }) {
    ScriptRun run = RunScript(script, options);
    EXPECT_FALSE(run.completed) << script;
    EXPECT_EQ(run.error, "Step limit exceeded") << script;
    EXPECT_EQ(run.output, "") << script;
  }
}

TEST(VmTest, NativeFailuresBecomeScriptErrors) {
  ScriptOptions options;
  options.declarations = {"function Fail(kind: Integer): Integer;"};
  options.register_natives = [](TPSExec& exec) {
    exec.RegisterNative("FAIL", [](NativeCall& call) {
      switch (call.Int(0)) {
        case 0:
          throw NativeDivideByZero();
        case 1:
          throw NativeMathError("Invalid floating point operation");
        default:
          throw std::runtime_error("disk full");
      }
    });
  };
  ScriptRun caught = RunScript(
      "var i: Integer; begin for i := 0 to 2 do try Fail(i); except printi(Ord(ExceptionType)); "
      "print(ExceptionParam); end; end.",
      options);
  EXPECT_TRUE(caught.completed) << caught.error;
  EXPECT_EQ(caught.output, "15\n\n16\n\n20\ndisk full\n");
  // Uncaught, the native's own message is the error text.
  EXPECT_EQ(RunScript("begin Fail(2); end.", options).error, "disk full");
  EXPECT_EQ(RunScript("begin Fail(0); end.", options).error, "Division by zero");
}

TEST(VmTest, StringArgumentsOfNativesAreReleasedAfterFailures) {
  ScriptOptions options;
  options.declarations = {"procedure Take(a, b: string);"};
  options.register_natives = [](TPSExec& exec) {
    exec.RegisterNative("TAKE", [](NativeCall&) { throw std::runtime_error("no"); });
  };
  ScriptRun run = RunScript(
      "var i: Integer; s: string; begin s := 'x'; for i := 1 to 1000 do try Take(s + 'a', s + "
      "'b'); except end; print(s); end.",
      options);
  EXPECT_EQ(run.output, "x\n");
}

TEST(VmTest, VarArgumentsIntoArraysSurviveAResize) {
  // The callee empties the array that holds its var parameter: the write lands in the old
  // elements, which stay alive until the call returns.
  ScriptRun run = RunScript(
      "var a: array of string;\n"
      "procedure P(var s: string); begin SetLength(a, 0); s := 'written'; end;\n"
      "begin SetLength(a, 3); a[1] := 'x'; P(a[1]); printi(Length(a)); end.");
  EXPECT_TRUE(run.completed) << run.error;
  EXPECT_EQ(run.output, "0\n");
}

TEST(VmTest, IndependentRuntimesRunOnManyThreads) {
  const char* script =
      "function Fib(n: Integer): Integer; begin if n < 2 then Result := n else Result := Fib(n - "
      "1) + Fib(n - 2); end;\n"
      "var s: string; i: Integer; begin s := ''; for i := 1 to 200 do s := s + 'x'; printi(Fib(20) "
      "+ Length(s)); end.";
  std::vector<std::thread> threads;
  std::vector<std::string> outputs(8);
  for (size_t t = 0; t < outputs.size(); ++t) {
    threads.emplace_back([&, t] { outputs[t] = RunScript(script).output; });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& output : outputs) EXPECT_EQ(output, "6965\n");
}

}  // namespace
}  // namespace qorsv::script::testing

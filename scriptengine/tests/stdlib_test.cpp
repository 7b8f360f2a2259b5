// The engine's standard routines as scripts call them.
#include "scriptengine/stdlib.h"

#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

// Each expression is a string expression printed by the script.
void ExpectPrints(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [expression, expected] : cases) {
    ScriptRun run =
        RunScript("var s: string; begin s := 'abcdef'; print(" + expression + "); end.");
    EXPECT_TRUE(run.completed) << expression << ": " << run.message << run.error;
    EXPECT_EQ(run.output, expected + "\n") << expression;
  }
}

TEST(StdlibTest, CopyPosDeleteInsertClampLikeDelphi) {
  ExpectPrints({
      {"Copy(s, 2, 3)", "bcd"},
      {"Copy(s, 0, 2)", "ab"},
      {"Copy(s, -5, 2)", "ab"},
      {"Copy(s, 5, 100)", "ef"},
      {"Copy(s, 7, 1)", ""},
      {"Copy(s, 2, -1)", ""},
      {"IntToStr(Pos('cd', s))", "3"},
      {"IntToStr(Pos('x', s))", "0"},
      {"IntToStr(Pos('', s))", "0"},
  });
  ScriptRun run = RunScript(
      "var s: string; begin s := 'abcdef'; Delete(s, 2, 2); print(s); Delete(s, 0, 1); print(s);\n"
      "Delete(s, 3, 100); print(s); Insert('XY', s, 2); print(s); Insert('!', s, 99); print(s); "
      "Insert('<', s, -3); print(s); end.");
  EXPECT_EQ(run.output, "adef\nadef\nad\naXYd\naXYd!\n<aXYd!\n");
}

TEST(StdlibTest, Conversions) {
  ExpectPrints({
      {"IntToStr(-42)", "-42"},
      {"IntToStr(StrToInt('  -17'))", "-17"},
      {"IntToStr(StrToInt('$1F'))", "31"},
      {"IntToStr(StrToInt('0x10'))", "16"},
      {"IntToStr(StrToInt('$FFFFFFFF'))", "-1"},
      {"IntToStr(StrToIntDef('nope', 5))", "5"},
      {"IntToStr(StrToIntDef('2147483648', 5))", "5"},
      {"Int64ToStr(StrToInt64('9000000000'))", "9000000000"},
      {"FloatToStr(StrToFloat(' 1.25e2 '))", "125"},
      {"FloatToStr(3.14159)", "3.14159"},
  });
  for (const char* call :
       {"StrToInt('12a')", "StrToInt('')", "StrToInt('2147483648')", "StrToInt('1.5')"}) {
    ScriptRun run = RunScript(std::string("begin printi(") + call + "); end.");
    EXPECT_NE(run.error.find("is not a valid integer value"), std::string::npos) << call;
  }
  EXPECT_EQ(RunScript("begin print(FloatToStr(StrToFloat('1,5'))); end.").error,
            "'1,5' is not a valid floating point value");
}

TEST(StdlibTest, WholeCopiesAndUntrimmedTextsStaySeparateValues) {
  RunCases({
      {"whole copy, then the original changes",
       "var s, t: string; begin s := 'abc'; t := Copy(s, 1, 10); s[1] := 'X'; s := s + '!'; "
       "t := t + '?'; print(s); print(t); end.",
       "Xbc!\nabc?\n"},
      {"nothing to trim, then the copy changes",
       "var s, t: string; begin s := 'abc'; t := Trim(s); t[2] := 'Y'; print(s); print(t); end.",
       "abc\naYc\n"},
      {"integers at the edges",
       "var i: Int64; begin i := -9223372036854775807 - 1; print(Int64ToStr(i)); print(IntToStr(0) "
       "+ IntToStr(-2147483648)); end.",
       "-9223372036854775808\n0-2147483648\n"},
  });
}

TEST(StdlibTest, AHostRegistrationReplacesTheEngineRoutine) {
  ScriptOptions options;
  options.register_natives = [](TPSExec& exec) {
    exec.RegisterNative(
        "INTTOSTR", [](NativeCall& call) { call.ReturnStr("#" + std::to_string(call.Int(0))); });
    exec.RegisterNative("COPY", [](NativeCall& call) { call.ReturnStr("copy"); });
  };
  ScriptRun run = RunScript("begin print(IntToStr(5) + Copy('abc', 1, 1)); end.", options);
  EXPECT_EQ(run.output, "#5copy\n") << run.error;
}

TEST(StdlibTest, CaseTrimPadAndRepeat) {
  ExpectPrints({
      {"UpperCase('abc' + #233)", "ABC\xE9"},
      {"AnsiUpperCase('abc' + #233 + #255 + #154)", "ABC\xC9\x9F\x8A"},
      {"LowerCase('ABC' + #201)", "abc\xC9"},
      {"AnsiLowerCase('ABC' + #201 + #215)", "abc\xE9\xD7"},
      {"'[' + Trim(#9'  x y '#13#10) + ']'", "[x y]"},
      {"Padl('7', 3)", "  7"},
      {"Padr('7', 3) + '|'", "7  |"},
      {"Padz('7', 3)", "007"},
      {"Padz('12345', 3)", "12345"},
      {"Replicate('-', 4)", "----"},
      {"StringOfChar('*', 0) + '|'", "|"},
      {"StrGet(s, 2) + StrGet2(s, 6)", "bf"},
  });
  ScriptRun run = RunScript(
      "var s: string; begin s := 'abc'; StrSet('X', 3, s); print(s); StrSet('Y', 4, s); end.");
  EXPECT_EQ(run.output, "abX\n");
  EXPECT_EQ(run.error, "Out Of Range");
}

TEST(StdlibTest, Mathematics) {
  ExpectPrints({
      {"FloatToStr(Sqrt(16))", "4"},
      {"FloatToStr(Abs(-2.5))", "2.5"},
      {"FloatToStr(Int(-2.7))", "-2"},
      {"IntToStr(Round(0.5)) + IntToStr(Round(1.5)) + IntToStr(Round(-0.5))", "020"},
      {"IntToStr(Trunc(7.9))", "7"},
      {"FloatToStr(Round(Sin(Pi / 2) * 1000) / 1000)", "1"},
      {"FloatToStr(Cos(0))", "1"},
  });
  EXPECT_EQ(RunScript("begin print(FloatToStr(Sqrt(-1))); end.").error,
            "Invalid floating point operation");
}

TEST(StdlibTest, ExceptionInspection) {
  ScriptRun run = RunScript(
      "begin try RaiseException(erCustomError, 'p'); except\n"
      "  if ExceptionType = erCustomError then print('type'); print(ExceptionParam);\n"
      "  print(ExceptionToString(ErOutOfRange, '')); end;\n"
      "try try printi(StrToInt('q')); except RaiseLastException; end; except "
      "print(ExceptionParam); end; end.");
  EXPECT_TRUE(run.completed) << run.error;
  EXPECT_EQ(run.output, "type\np\nOut Of Range\n'q' is not a valid integer value\n");
}

TEST(StdlibTest, ByteCaseMappingTables) {
  // Every byte maps to itself or its partner, and the Ansi maps undo each other on letters.
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    std::string upper = AnsiUpperCaseText(one);
    std::string lower = AnsiLowerCaseText(one);
    if (upper != one) {
      EXPECT_EQ(AnsiLowerCaseText(upper), one) << b;
    }
    if (lower != one) {
      EXPECT_EQ(AnsiUpperCaseText(lower), one) << b;
    }
    if (b < 128) {
      EXPECT_EQ(upper, UpperCaseAscii(one)) << b;
      EXPECT_EQ(lower, LowerCaseAscii(one)) << b;
    } else {
      EXPECT_EQ(UpperCaseAscii(one), one) << b;
    }
  }
  EXPECT_EQ(AnsiUpperCaseText("\xDF\xF7\xB5"), "\xDF\xF7\xB5");  // sharp s, division, micro
}

}  // namespace
}  // namespace qorsv::script::testing

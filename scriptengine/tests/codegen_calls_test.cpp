// Calls: every kind of parameter and result, static links of nested routines, natives' views of
// their arguments.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

struct Case {
  const char* name;
  const char* script;
  const char* output;
};

void RunCases(const std::vector<Case>& cases, const ScriptOptions& options = {}) {
  for (const Case& c : cases) {
    ScriptRun run = RunScript(c.script, options);
    EXPECT_TRUE(run.compiled) << c.name << ": " << run.message;
    EXPECT_TRUE(run.completed) << c.name << ": " << run.error;
    EXPECT_EQ(run.output, c.output) << c.name;
  }
}

TEST(CodegenCallsTest, ParameterKinds) {
  RunCases({
      {"records by value are copies",
       "type TP = record x: Integer; tag: string; end;\n"
       "procedure Change(p: TP); begin p.x := 99; p.tag := p.tag + '!'; printi(p.x); print(p.tag); "
       "end;\n"
       "var a: TP; begin a.x := 1; a.tag := 'a'; Change(a); printi(a.x); print(a.tag); end.",
       "99\na!\n1\na\n"},
      {"records by reference",
       "type TP = record x: Integer; tag: string; end;\n"
       "procedure Change(var p: TP); begin p.x := 99; p.tag := 'changed'; end;\n"
       "var a: TP; begin Change(a); printi(a.x); print(a.tag); end.",
       "99\nchanged\n"},
      {"const records",
       "type TP = record x, y: Integer; end;\n"
       "function Sum(const p: TP): Integer; begin Result := p.x + p.y; end;\n"
       "var a: TP; begin a.x := 2; a.y := 3; printi(Sum(a)); end.",
       "5\n"},
      {"static arrays by value and by reference",
       "type TRow = array[1..3] of string;\n"
       "procedure Fill(var r: TRow); var i: Integer; begin for i := 1 to 3 do r[i] := IntToStr(i); "
       "end;\n"
       "procedure Show(r: TRow); begin r[1] := 'changed'; print(r[1] + r[2] + r[3]); end;\n"
       "var row: TRow; begin Fill(row); Show(row); print(row[1]); end.",
       "changed23\n1\n"},
      {"sets by value",
       "type TS = set of 0..31;\n"
       "function Count(s: TS): Integer; var i: Integer; begin Result := 0; for i := 0 to 31 do if "
       "i in s then Inc(Result); end;\n"
       "var s: TS; begin s := [1, 3..5]; printi(Count(s)); printi(Count([])); printi(Count(s + "
       "[31])); end.",
       "4\n0\n5\n"},
      {"var parameters of every simple type",
       "procedure Bump(var b: Byte; var c: Char; var d: Double; var e: Boolean; var v: Variant);\n"
       "begin Inc(b); Inc(c); d := d * 2; e := not e; v := v + 1; end;\n"
       "var b: Byte; c: Char; d: Double; e: Boolean; v: Variant;\n"
       "begin b := 255; c := 'a'; d := 1.25; e := False; v := 41; Bump(b, c, d, e, v);\n"
       "printi(b); print(c); print(FloatToStr(d)); if e then print('true'); printi(v); end.",
       "0\nb\n2.5\ntrue\n42\n"},
      {"out parameters",
       "procedure Split(const s: string; out head, tail: string); var p: Integer;\n"
       "begin p := Pos('=', s); head := Copy(s, 1, p - 1); tail := Copy(s, p + 1, Length(s)); "
       "end;\n"
       "var k, v: string; begin Split('name=value', k, v); print(k); print(v); end.",
       "name\nvalue\n"},
      {"var parameters into array elements and fields",
       "type TP = record n: Integer; end; var a: array of Integer; s: array[1..2] of TP;\n"
       "procedure Twice(var x: Integer); begin x := x * 2; end;\n"
       "begin SetLength(a, 2); a[1] := 5; Twice(a[1]); s[2].n := 7; Twice(s[2].n); printi(a[1]); "
       "printi(s[2].n); end.",
       "10\n14\n"},
      {"open arrays of strings and records",
       "type TP = record name: string; end;\n"
       "function Join(const parts: array of string; sep: string): string; var i: Integer;\n"
       "begin Result := ''; for i := 0 to High(parts) do begin if i > 0 then Result := Result + "
       "sep; Result := Result + parts[i]; end; end;\n"
       "function Names(const items: array of TP): string; var i: Integer; begin Result := ''; for "
       "i := Low(items) to High(items) do Result := Result + items[i].name; end;\n"
       "var list: array of TP; begin print(Join(['a', 'b', 'c'], ', ')); print(Join([], '-') + "
       "'|');\n"
       "SetLength(list, 2); list[0].name := 'x'; list[1].name := 'y'; print(Names(list)); end.",
       "a, b, c\n|\nxy\n"},
      {"dynamic arrays are passed by reference to their elements",
       "procedure Clear(a: array of Integer); begin a[0] := 0; end;\n"
       "var d: array of Integer; begin SetLength(d, 1); d[0] := 7; Clear(d); printi(d[0]); end.",
       "0\n"},
  });
}

TEST(CodegenCallsTest, ResultKinds) {
  RunCases({
      {"string results build in place",
       "function Repeat3(const s: string): string; var i: Integer; begin Result := ''; for i := 1 "
       "to 3 do Result := Result + s; end;\n"
       "begin print(Repeat3('ab')); print(Repeat3(Repeat3('x'))); end.",
       "ababab\nxxxxxxxxx\n"},
      {"record results",
       "type TP = record x: Integer; label_: string; end;\n"
       "function Make(x: Integer): TP; begin Result.x := x; Result.label_ := 'p' + IntToStr(x); "
       "end;\n"
       "function Next(const p: TP): TP; begin Result := p; Inc(Result.x); end;\n"
       "var p: TP; begin p := Next(Next(Make(1))); printi(p.x); print(p.label_); printi(Make(5).x "
       "+ Make(6).x); end.",
       "3\np1\n11\n"},
      {"array and set results",
       "type TA = array of Integer; TS = set of Char;\n"
       "function Range(n: Integer): TA; var i: Integer; begin SetLength(Result, n); for i := 0 to "
       "n - 1 do Result[i] := i * i; end;\n"
       "function Vowels: TS; begin Result := ['a', 'e', 'i', 'o', 'u']; end;\n"
       "var a: TA; begin a := Range(4); printi(a[3]); printi(Length(Range(10))); if 'e' in Vowels "
       "then print('vowel'); end.",
       "9\n10\nvowel\n"},
      {"float and variant results",
       "function Half(n: Integer): Double; begin Result := n / 2; end;\n"
       "function Box(n: Integer): Variant; begin if n > 0 then Result := n else Result := 'none'; "
       "end;\n"
       "begin print(FloatToStr(Half(3))); print(Box(0)); printi(Box(5) * 2); end.",
       "1.5\nnone\n10\n"},
      {"results of calls used in one expression",
       "function F(n: Integer): Integer; begin Result := n * 10; end;\n"
       "begin printi(F(1) + F(2) * F(3) - F(F(1))); end.",
       "510\n"},
      {"functions called without parentheses",
       "var counter: Integer; function Next: Integer; begin Inc(counter); Result := counter; end;\n"
       "begin printi(Next + Next); Next; printi(counter); end.",
       "3\n3\n"},
  });
}

TEST(CodegenCallsTest, NestedRoutines) {
  RunCases({
      {"three levels reach every outer frame",
       "function Outer(a: Integer): Integer;\n"
       "var x: Integer;\n"
       "  function Middle(b: Integer): Integer;\n"
       "  var y: Integer;\n"
       "    function Inner(c: Integer): Integer; begin Result := a + b + c + x + y; end;\n"
       "  begin y := 100; Result := Inner(1000); end;\n"
       "begin x := 10000; Result := Middle(10); end;\n"
       "begin printi(Outer(1)); end.",
       "11111\n"},
      {"siblings call each other through the same parent",
       "procedure Outer;\n"
       "var log: string;\n"
       "  procedure A(n: Integer); forward;\n"
       "  procedure B(n: Integer); begin log := log + 'B'; if n > 0 then A(n - 1); end;\n"
       "  procedure A(n: Integer); begin log := log + 'A'; if n > 0 then B(n - 1); end;\n"
       "begin log := ''; A(4); print(log); end;\n"
       "begin Outer; end.",
       "ABABA\n"},
      {"recursive nested routine keeps its own frames",
       "function Count(n: Integer): Integer;\n"
       "var total: Integer;\n"
       "  procedure Walk(depth: Integer); begin Inc(total); if depth > 0 then begin Walk(depth - "
       "1); Walk(depth - 1); end; end;\n"
       "begin total := 0; Walk(n); Result := total; end;\n"
       "begin printi(Count(4)); printi(Count(0)); end.",
       "31\n1\n"},
      {"nested function assigns the outer result",
       "function Outer: string;\n"
       "  procedure SetIt; begin Outer := 'set by inner'; end;\n"
       "begin SetIt; end;\n"
       "begin print(Outer); end.",
       "set by inner\n"},
  });
}

TEST(CodegenCallsTest, NativesSeeDeclaredTypes) {
  ScriptOptions options;
  options.declarations = {
      "function Describe(b: Byte; w: Word; i: Integer; c: Cardinal; q: Int64; ch: Char; ok: "
      "Boolean; "
      "e: Extended; s: string; p: PChar; v: Variant): string;",
      "function Pick(i: Integer): Cardinal;",
      "function Halve(e: Extended): Integer;",
  };
  options.register_natives = [](TPSExec& exec) {
    exec.RegisterNative("DESCRIBE", [](NativeCall& call) {
      std::string text;
      for (int i = 0; i < call.ArgCount(); ++i) text += call.Str(i) + ";";
      text += std::to_string(call.Int(0) + call.Int(2)) + ";" + std::to_string(call.Float(7));
      call.ReturnStr(text);
    });
    exec.RegisterNative("PICK", [](NativeCall& call) { call.ReturnInt(call.Int(0)); });
    exec.RegisterNative("HALVE", [](NativeCall& call) { call.ReturnFloat(call.Float(0) / 2); });
  };
  RunCases(
      {
          {"arguments as the native reads them",
           "var v: Variant; begin v := 'var'; print(Describe(200, 60000, -5, 4000000000, "
           "9000000000, 'z', True, 2.5, 'str', 'pc', v)); end.",
           "200;60000;-5;4000000000;9000000000;z;True;2.5;str;pc;var;195;2.500000\n"},
          {"results are converted to the declared type",
           "begin printi(Pick(-1)); printi(Halve(7)); end.", "4294967295\n3\n"},
      },
      options);
}

}  // namespace
}  // namespace qorsv::script::testing

// Appending to strings: every form of `x := x + ...` stays linear in time and memory, and gives
// the value the assignment means even when operands alias or change the target.
//
// Cost is read from the runtime's own accounting, not from a clock: `peak` bounds the memory a
// run held at once (an exponential growth fails it, or the memory cap ends the run), `allocated`
// the bytes of every block allocated or resized (a copy of the whole string per append makes it
// quadratic).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

constexpr int kAppends = 100000;

// A script text with every "N" replaced by the number of appends.
std::string WithCount(std::string text, int count) {
  for (size_t at = text.find("{N}"); at != std::string::npos; at = text.find("{N}")) {
    text.replace(at, 3, std::to_string(count));
  }
  return text;
}

std::string Numbers(int from, int to, const std::function<std::string(int)>& piece) {
  std::string out;
  for (int i = from; i <= to; ++i) out += piece(i);
  return out;
}

struct GrowthCase {
  const char* name;
  const char* script;  // prints the string it builds; {N} is the number of appends
  std::function<std::string(int)> expected;
  int64_t held_per_append = 0;  // bytes each append adds to what the run holds besides the text
};

// Runs `script` and checks its output, its peak memory against a few times what it holds (the
// text it built and held_per_append per append) and its allocations against a few times that
// plus a small block per append.
void ExpectLinear(const GrowthCase& c, int count = kAppends) {
  ScriptRun run = RunScript(WithCount(c.script, count));
  ASSERT_TRUE(run.compiled) << c.name << ": " << run.message;
  ASSERT_TRUE(run.completed) << c.name << ": " << run.error;
  const std::string expected = c.expected(count) + "\n";
  EXPECT_EQ(run.output.size(), expected.size()) << c.name;
  EXPECT_TRUE(run.output == expected) << c.name << ": the text differs";
  const int64_t held = static_cast<int64_t>(expected.size()) + c.held_per_append * count;
  EXPECT_LE(run.memory.peak, 4 * held + (int64_t{1} << 16)) << c.name;
  EXPECT_LE(run.memory.allocated, 8 * held + int64_t{160} * count) << c.name;
}

TEST(CodegenAppendTest, EveryFormOfAppendIsLinear) {
  const GrowthCase cases[] = {
      {"function result",
       "var i: Integer; s: string; begin for i := 1 to {N} do s := s + IntToStr(i); print(s); end.",
       [](int n) { return Numbers(1, n, [](int i) { return std::to_string(i); }); }},
      {"literal then function result",
       "var i: Integer; s: string; begin s := '<table>'; for i := 1 to {N} do s := s + '<tr><td>' "
       "+ "
       "IntToStr(i) + '</td></tr>'; print(s + '</table>'); end.",
       [](int n) {
         return "<table>" +
                Numbers(1, n, [](int i) { return "<tr><td>" + std::to_string(i) + "</td></tr>"; }) +
                "</table>";
       }},
      {"variables and characters",
       "var i: Integer; s, t, u: string; c: Char; begin t := 'ab'; u := 'cd'; c := '!'; for i := 1 "
       "to {N} do s := s + t + c + u + #10; print(s); end.",
       [](int n) { return Numbers(1, n, [](int) { return std::string("ab!cd\n"); }); }},
      {"array elements and record fields",
       "type TRec = record name: string; end; var i: Integer; s: string; a: array[0..2] of string; "
       "d: array of string; r: TRec;\n"
       "begin a[0] := 'x'; a[1] := 'y'; a[2] := 'z'; SetLength(d, 2); d[0] := '<'; d[1] := '>'; "
       "r.name := 'n';\n"
       "for i := 1 to {N} do s := s + a[i mod 3] + r.name + d[i mod 2]; print(s); end.",
       [](int n) {
         return Numbers(1, n, [](int i) {
           return std::string(1, "xyz"[i % 3]) + "n" + std::string(1, "<>"[i % 2]);
         });
       }},
      {"parenthesised pieces",
       "var i: Integer; s: string; begin for i := 1 to {N} do s := s + ('[' + IntToStr(i mod 7) + "
       "']'); print(s); end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return "[" + std::to_string(i % 7) + "]"; });
       }},
      {"the target on the right",
       "var i: Integer; s: string; begin s := 'ab'; for i := 1 to {N} do s := s + Copy(s, 1, 1) + "
       "s[2]; print(s); end.",
       [](int n) { return "ab" + Numbers(1, n, [](int) { return std::string("ab"); }); }},
      {"a script function result",
       "var i: Integer; s: string;\n"
       "function Cell(i: Integer): string; begin Result := '<td>' + IntToStr(i) + '</td>'; end;\n"
       "begin for i := 1 to {N} do s := s + Cell(i) + ' '; print(s); end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return "<td>" + std::to_string(i) + "</td> "; });
       }},
      {"a global from inside a routine",
       "var page: string; i: Integer;\n"
       "procedure AddRow(i: Integer); begin page := page + '<tr>' + IntToStr(i) + '</tr>'; end;\n"
       "begin for i := 1 to {N} do AddRow(i); print(page); end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return "<tr>" + std::to_string(i) + "</tr>"; });
       }},
      {"var parameters: a local, a global and a field",
       "type TPage = record body: string; end; var g: string; p: TPage; i: Integer;\n"
       "procedure Add(var s: string; i: Integer); begin s := s + IntToStr(i) + ';'; end;\n"
       "procedure Build; var mine: string; i: Integer; begin for i := 1 to {N} do Add(mine, i); "
       "print(mine); end;\n"
       "begin Build; for i := 1 to {N} do begin Add(g, i); Add(p.body, -i); end; print(g); "
       "print(p.body); end.",
       [](int n) {
         std::string plus = Numbers(1, n, [](int i) { return std::to_string(i) + ";"; });
         return plus + "\n" + plus + "\n" +
                Numbers(1, n, [](int i) { return std::to_string(-i) + ";"; });
       }},
      {"record fields, nested",
       "type TInner = record body: string; end; TOuter = record inner: TInner; list: array[1..2] "
       "of string; end;\n"
       "var o: TOuter; i: Integer; begin for i := 1 to {N} do begin o.inner.body := o.inner.body + "
       "IntToStr(i mod 10); o.list[2] := o.list[2] + 'q'; end; print(o.inner.body + o.list[2]); "
       "end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return std::to_string(i % 10); }) + std::string(n, 'q');
       }},
      {"array elements as targets",
       "var i, k: Integer; a: array[1..3] of string; d: array of string;\n"
       "begin SetLength(d, 2); k := 2; for i := 1 to {N} do begin a[k] := a[k] + 'a'; d[k - 1] := "
       "d[k - 1] + 'd'; d[0] := d[0] + IntToStr(i mod 2); end; print(a[2] + d[1] + d[0]); end.",
       [](int n) {
         return std::string(n, 'a') + std::string(n, 'd') +
                Numbers(1, n, [](int i) { return std::to_string(i % 2); });
       }},
      {"function results",
       "function Build(n: Integer): string; var i: Integer; begin for i := 1 to n do Result := "
       "Result + Chr(48 + i mod 10); end;\n"
       "begin print(Build({N})); end.",
       [](int n) { return Numbers(1, n, [](int i) { return std::to_string(i % 10); }); }},
      {"one snapshot taken half way",
       "var i: Integer; s, half: string; begin for i := 1 to {N} do begin s := s + 'x' + "
       "IntToStr(i mod 3); if i = {N} div 2 then half := s; end; print(half + '|' + s); end.",
       [](int n) {
         auto piece = [](int i) { return "x" + std::to_string(i % 3); };
         return Numbers(1, n / 2, piece) + "|" + Numbers(1, n, piece);
       }},
      {"SetLength of strings one character at a time",
       "var i: Integer; s: string; begin for i := 1 to {N} do begin SetLength(s, i); s[i] := "
       "Chr(97 "
       "+ i mod 26); end; print(s); end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return std::string(1, static_cast<char>(97 + i % 26)); });
       }},
  };
  for (const GrowthCase& c : cases) ExpectLinear(c);
}

TEST(CodegenAppendTest, DoublingAStringStaysWithinItsSize) {
  ExpectLinear({"s := s + s",
                "var i: Integer; s: string; begin s := 'ab'; for i := 1 to {N} do s := s + s; "
                "print(s); end.",
                [](int n) {
                  std::string s = "ab";
                  for (int i = 0; i < n; ++i) s += s;
                  return s;
                }},
               19);
}

TEST(CodegenAppendTest, EveryHolderKeepsItsValue) {
  RunCases({
      {"a snapshot of the growing string each round",
       "var i: Integer; s, t: string; begin for i := 1 to 5 do begin t := s; s := s + IntToStr(i) "
       "+ ','; print(t + '|' + s); end; end.",
       "|1,\n1,|1,2,\n1,2,|1,2,3,\n1,2,3,|1,2,3,4,\n1,2,3,4,|1,2,3,4,5,\n"},
      {"a value parameter keeps the caller's string",
       "var s: string;\n"
       "procedure Show(v: string); begin v := v + '!' + IntToStr(1); print(v); end;\n"
       "begin s := 'hi'; Show(s); print(s); end.",
       "hi!1\nhi\n"},
      {"a record copy keeps its field",
       "type TR = record body: string; end; var a, b: TR; begin a.body := 'x'; b := a; b.body := "
       "b.body + 'y' + Chr(122); print(a.body); print(b.body); end.",
       "x\nxyz\n"},
      {"an element copied out of an array",
       "var d: array of string; t: string; begin SetLength(d, 1); d[0] := 'p'; t := d[0]; d[0] := "
       "d[0] + 'q' + IntToStr(2); print(t); print(d[0]); end.",
       "p\npq2\n"},
      {"two var parameters for one string",
       "var s: string;\n"
       "procedure Twice(var a: string; var b: string); begin a := a + '+' + b; end;\n"
       "begin s := 'ab'; Twice(s, s); print(s); end.",
       "ab+ab\n"},
      {"a var parameter for a global that the piece reads",
       "var g: string;\n"
       "procedure AddG(var a: string); begin a := a + '-' + g; end;\n"
       "begin g := 'cd'; AddG(g); print(g); end.",
       "cd-cd\n"},
      {"a piece that changes the target is appended to the old value",
       "var g: string;\n"
       "function Bump: string; begin g := g + '!'; Result := 'r'; end;\n"
       "begin g := 'ab'; g := g + Bump + IntToStr(Length(g)); print(g); end.",
       "abr3\n"},
      {"a piece that changes an earlier piece",
       "var g, t: string;\n"
       "function Change: string; begin t := 'changed'; Result := '.'; end;\n"
       "begin t := 'old'; g := 'x'; g := g + t + Change; print(g); end.",
       "xold.\n"},
      {"a concatenation reads its pieces left to right",
       "var t, x: string;\n"
       "function Change: string; begin t := 'new'; Result := '.'; end;\n"
       "begin t := 'old'; x := t + Change + t; print(x); x := t + #33 + Change; print(x); end.",
       "old.new\nnew!.\n"},
      {"a var argument of the target inside a piece",
       "var s: string;\n"
       "function Cut(var v: string): string; begin Result := Copy(v, 1, 1); v := ''; end;\n"
       "begin s := 'hello'; s := s + Cut(s) + '!'; print(s); end.",
       "helloh!\n"},
  });
}

TEST(CodegenAppendTest, SetLengthOfArraysIsLinearAndKeepsAndZeroesElements) {
  const GrowthCase cases[] = {
      {"integers",
       "var a: array of Integer; i: Integer; t: Int64; begin for i := 1 to {N} do begin "
       "SetLength(a, i); if a[i - 1] <> 0 then print('dirty'); a[i - 1] := i; end; t := 0; for i "
       ":= 0 to {N} - 1 do t := t + a[i]; print(IntToStr(Length(a)) + ' ' + Int64ToStr(t)); end.",
       [](int n) { return std::to_string(n) + " " + std::to_string(int64_t{n} * (n + 1) / 2); }, 8},
      {"strings",
       "var a: array of string; i: Integer; s: string; begin for i := 1 to {N} do begin "
       "SetLength(a, i); a[i - 1] := Chr(65 + i mod 26); end; for i := 0 to {N} - 1 do s := s + "
       "a[i]; print(s); end.",
       [](int n) {
         return Numbers(1, n, [](int i) { return std::string(1, static_cast<char>(65 + i % 26)); });
       },
       40},
      {"records",
       "type TItem = record name: string; qty: Integer; end; var a: array of TItem; i, q: "
       "Integer; s: string;\n"
       "begin for i := 1 to {N} do begin SetLength(a, i); a[i - 1].name := Chr(97 + i mod 26); "
       "a[i - 1].qty := i; end;\n"
       "q := 0; for i := 0 to {N} - 1 do begin s := s + a[i].name; if a[i].qty <> i + 1 then q := "
       "q + 1; end; print(s + IntToStr(q)); end.",
       [](int n) {
         return Numbers(1, n,
                        [](int i) { return std::string(1, static_cast<char>(97 + i % 26)); }) +
                "0";
       },
       48},
  };
  for (const GrowthCase& c : cases) ExpectLinear(c);
  RunCases({
      {"shrinking releases and zeroes, growing again finds zeroes",
       "type TItem = record name: string; n: Integer; end; var a: array of TItem; b: array of "
       "string; i: Integer;\n"
       "begin SetLength(a, 10); a[9].name := 'x'; a[9].n := 9; SetLength(a, 5); SetLength(a, 10); "
       "print('[' + a[9].name + ']' + IntToStr(a[9].n));\n"
       "SetLength(b, 100000); for i := 0 to 99999 do b[i] := 'v'; SetLength(b, 3); SetLength(b, "
       "4); print(b[2] + '[' + b[3] + ']' + IntToStr(Length(b))); end.",
       "[]0\nv[]4\n"},
      {"a shared array is copied, the other holder keeps it",
       "var a, b: array of Integer; begin SetLength(a, 2); a[1] := 7; b := a; SetLength(a, 3); "
       "a[1] "
       ":= 8; print(IntToStr(b[1]) + ' ' + IntToStr(Length(b)) + ' ' + IntToStr(a[1]) + ' ' + "
       "IntToStr(a[2])); end.",
       "7 2 8 0\n"},
  });
}

}  // namespace
}  // namespace qorsv::script::testing

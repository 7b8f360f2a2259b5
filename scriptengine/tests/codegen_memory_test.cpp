// Where values live: records and arrays laid out in cells, copies, dynamic arrays, `with`, and
// the release of everything a run leaves behind.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

TEST(CodegenMemoryTest, CompositeValues) {
  RunCases({
      {"nested records copy deeply",
       "type TName = record first, last: string; end; TPerson = record name: TName; age: Integer; "
       "end;\n"
       "var a, b: TPerson; begin a.name.first := 'Ann'; a.age := 30; b := a; b.name.first := 'Bo'; "
       "b.age := 31;\n"
       "print(a.name.first + IntToStr(a.age)); print(b.name.first + IntToStr(b.age)); end.",
       "Ann30\nBo31\n"},
      {"static array assignment copies every element",
       "var a, b: array[0..2] of string; i: Integer; begin for i := 0 to 2 do a[i] := Chr(65 + i); "
       "b := a; b[1] := 'x';\n"
       "print(a[0] + a[1] + a[2]); print(b[0] + b[1] + b[2]); end.",
       "ABC\nAxC\n"},
      {"array of records with a computed index",
       "type TItem = record name: string; qty: Integer; end; var items: array[1..5] of TItem; i, "
       "total: Integer;\n"
       "begin for i := 1 to 5 do begin items[i].name := 'n' + IntToStr(i); items[i].qty := i * i; "
       "end;\n"
       "total := 0; for i := 1 to 5 do total := total + items[i].qty; printi(total); "
       "print(items[3].name); end.",
       "55\nn3\n"},
      {"records inside dynamic arrays keep their strings through resizes",
       "type TItem = record name: string; end; var a: array of TItem; i: Integer;\n"
       "begin SetLength(a, 2); a[0].name := 'first'; a[1].name := 'second'; SetLength(a, 100); "
       "SetLength(a, 1);\n"
       "print(a[0].name); printi(Length(a)); SetLength(a, 3); print('[' + a[2].name + ']'); end.",
       "first\n1\n[]\n"},
      {"dynamic arrays of dynamic arrays",
       "type TRow = array of Integer; var grid: array of TRow; i, j: Integer;\n"
       "begin SetLength(grid, 3); for i := 0 to 2 do begin SetLength(grid[i], i + 1); for j := 0 "
       "to i do grid[i][j] := i * 10 + j; end;\n"
       "printi(grid[2][1]); printi(Length(grid[1])); end.",
       "21\n2\n"},
      {"set fields and arrays of sets",
       "type TFlags = set of (fA, fB, fC); TRec = record flags: TFlags; end; var r: TRec; list: "
       "array[1..2] of TFlags;\n"
       "begin r.flags := [fA]; Include(r.flags, fC); list[2] := r.flags; if (fC in list[2]) and "
       "not (fB in list[2]) then print('ok'); end.",
       "ok\n"},
      {"local records are fresh in each call",
       "type TP = record s: string; n: Integer; end;\n"
       "function Touch(v: Integer): string; var p: TP; begin p.s := p.s + 'x'; p.n := p.n + v; "
       "Result := p.s + IntToStr(p.n); end;\n"
       "begin print(Touch(1)); print(Touch(2)); end.",
       "x1\nx2\n"},
      {"large global arrays cost nothing until used",
       "var big: array[1..1000000] of string; n: array[1..1000000] of Integer;\n"
       "begin big[1000000] := 'end'; n[500000] := 5; print(big[1000000] + IntToStr(n[500000] + "
       "n[1])); end.",
       "end5\n"},
  });
}

TEST(CodegenMemoryTest, WithStatements) {
  RunCases({
      {"nested with and shadowing",
       "type TA = record x: Integer; end; TB = record x, y: Integer; end; var a: TA; b: TB; x: "
       "Integer;\n"
       "begin x := 1; with a do begin x := 2; with b do begin x := 3; y := 4; end; end; printi(x); "
       "printi(a.x); printi(b.x + b.y); end.",
       "1\n2\n7\n"},
      {"with over a var parameter and a computed element",
       "type TP = record n: Integer; end; var list: array[1..3] of TP; i: Integer;\n"
       "procedure SetN(var p: TP; v: Integer); begin with p do n := v; end;\n"
       "begin for i := 1 to 3 do with list[i] do n := i * 100; SetN(list[2], 7); printi(list[1].n "
       "+ list[2].n + list[3].n); end.",
       "407\n"},
      {"with subject chosen once",
       "type TP = record n: Integer; end; var list: array[1..3] of TP; i: Integer;\n"
       "begin i := 1; with list[i] do begin i := 3; n := 9; end; printi(list[1].n); "
       "printi(list[3].n); end.",
       "9\n0\n"},
  });
}

TEST(CodegenMemoryTest, StringsOfEveryLength) {
  RunCases({
      {"long strings built in place",
       "var s: string; i: Integer; begin for i := 1 to 100000 do s := s + Chr(48 + i mod 10); "
       "printi(Length(s)); print(Copy(s, 99998, 3)); end.",
       "100000\n890\n"},
      {"strings with NUL bytes",
       "var s: string; begin s := 'a' + #0 + 'b'; printi(Length(s)); if s[2] = #0 then print('nul "
       "kept'); end.",
       "3\nnul kept\n"},
      {"high bytes compare unsigned",
       "begin if #200 > #100 then print('unsigned'); if 'a'#255 > 'a'#1 then print('bytes'); end.",
       "unsigned\nbytes\n"},
      {"string index assignment on a shared string",
       "var a, b: string; begin a := 'hello'; b := a; a[1] := 'j'; b[5] := 'p'; print(a); "
       "print(b); end.",
       "jello\nhellp\n"},
  });
}

TEST(CodegenMemoryTest, NothingOutlivesTheRuntime) {
  // Strings, arrays and variants held in globals, locals and abandoned call windows when an error
  // interrupts: the runtime frees them all (the sanitizer build checks there is no leak).
  ScriptRun run = RunScript(
      "type TP = record s: string; a: array of string; v: Variant; end; var g: array of TP; i: "
      "Integer;\n"
      "function Boom(const s: string): string; begin RaiseException(erCustomError, s); end;\n"
      "procedure Use(a, b: string); begin end;\n"
      "begin SetLength(g, 10); for i := 0 to 9 do begin g[i].s := IntToStr(i); SetLength(g[i].a, "
      "3); g[i].a[1] := g[i].s + 'x'; g[i].v := g[i].s; end;\n"
      "for i := 1 to 50 do try Use(g[1].s + 'a', Boom(g[2].s + 'b')); except end;\n"
      "Use('x', Boom('final')); end.");
  EXPECT_FALSE(run.completed);
  EXPECT_EQ(run.error, "final");
}

}  // namespace
}  // namespace qorsv::script::testing

// Language features end to end: each case is a small script and the lines it prints.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

TEST(CodegenTest, IntegerArithmetic) {
  RunCases({
      {"precedence", "begin printi(2 + 3 * 4); printi((2 + 3) * 4); printi(-2 * -3); end.",
       "14\n20\n6\n"},
      {"div mod truncate toward zero",
       "var a, b: Integer; begin a := -7; b := 2; printi(a div b); printi(a mod b); end.",
       "-3\n-1\n"},
      {"integer wraps", "var i: Integer; begin i := 2147483647; i := i + 1; printi(i); end.",
       "-2147483648\n"},
      {"byte wraps",
       "var b: Byte; begin b := 250; b := b + 10; printi(b); Inc(b, 250); printi(b); end.",
       "4\n254\n"},
      {"cardinal arithmetic",
       "var c: Cardinal; begin c := 0; c := c - 1; printi(c); c := 4000000000; printi(c + c); end.",
       "4294967295\n3705032704\n"},
      {"cardinal with integer is Int64",
       "var c: Cardinal; i: Integer; begin c := 4000000000; i := -1; printi(c + i); end.",
       "3999999999\n"},
      {"int64", "var x: Int64; begin x := 3000000000; x := x * 3; printi(x); end.", "9000000000\n"},
      {"shifts",
       "var i: Integer; begin i := -8; printi(i shr 1); printi(1 shl 31); printi(i shl 1); end.",
       "2147483644\n-2147483648\n-16\n"},
      {"bitwise",
       "begin printi(12 and 10); printi(12 or 10); printi(12 xor 10); printi(not 0); end.",
       "8\n14\n6\n-1\n"},
      {"constant operands",
       "var i: Integer; c: Cardinal; x: Int64; begin i := -7; printi(i div 2); printi(i mod 2); "
       "printi(i div -2); printi(i mod -2); printi(7 * i); c := 4000000000; printi(c div 3); "
       "printi(c mod 7); printi(c * 2); x := -9000000000; printi(x div 1000); printi(x mod 7); "
       "printi(3 * x); end.",
       "-3\n-1\n3\n-1\n-49\n1333333333\n3\n8000000000\n-9000000\n-5\n-27000000000\n"},
      {"hex literals", "begin printi($FF); printi($7FFFFFFF + 1); end.", "255\n2147483648\n"},
      {"inc dec succ pred",
       "var i: Integer; begin i := 5; Inc(i); Dec(i, 3); printi(i); printi(Succ(i)); "
       "printi(Pred(i)); end.",
       "3\n4\n2\n"},
      {"abs sqr odd", "begin printi(Abs(-5)); printi(Sqr(7)); if Odd(3) then print('odd'); end.",
       "5\n49\nodd\n"},
  });
}

TEST(CodegenTest, FloatArithmetic) {
  RunCases({
      {"division is float", "begin print(FloatToStr(7 / 2)); end.", "3.5\n"},
      {"mixed int and float",
       "var e: Extended; i: Integer; begin i := 3; e := i * 1.5 + 1; print(FloatToStr(e)); end.",
       "5.5\n"},
      {"single rounds", "var s: Single; begin s := 0.1; if s <> 0.1 then print('rounded'); end.",
       "rounded\n"},
      {"comparisons",
       "var a: Double; begin a := 2.5; if (a > 2) and (a < 3) then print('in'); end.", "in\n"},
      {"round is banker's",
       "begin printi(Round(2.5)); printi(Round(3.5)); printi(Round(-2.5)); printi(Trunc(-2.7)); "
       "end.",
       "2\n4\n-2\n-2\n"},
  });
}

TEST(CodegenTest, Strings) {
  RunCases({
      {"concatenation",
       "var s: string; begin s := 'ab' + 'cd'; s := s + #33 + IntToStr(5); print(s); end.",
       "abcd!5\n"},
      {"quotes and codes",
       "begin print('it''s'); if 'a'#9'b' = 'a' + Chr(9) + 'b' then print('True'); end.",
       "it's\nTrue\n"},
      {"indexing",
       "var s: string; begin s := 'hello'; printi(Ord(s[1])); s[1] := 'j'; print(s); end.",
       "104\njello\n"},
      {"copy on write",
       "var a, b: string; begin a := 'abc'; b := a; b[2] := 'X'; print(a); print(b); end.",
       "abc\naXc\n"},
      {"append in place keeps aliases apart",
       "var a, b: string; begin a := 'x'; b := a; a := a + 'y'; print(a); print(b); end.",
       "xy\nx\n"},
      {"appends through var parameters and fields",
       "type TPage = record body: string; end; var p: TPage; t: string; i: Integer;\n"
       "procedure Add(var s: string; const piece: string); begin s := s + piece + '/'; end;\n"
       "begin for i := 1 to 3 do Add(t, IntToStr(i)); p.body := 'x'; for i := 1 to 3 do p.body := p.body + t[i * 2 - 1] + '.';\n"
       "print(t); print(p.body); end.",
       "1/2/3/\nx1.2.3.\n"},
      {"self append", "var s: string; begin s := 'ab'; s := s + s; s := s + s; print(s); end.",
       "abababab\n"},
      {"char and string",
       "var c: Char; s: string; begin c := 'z'; s := c; s := s + c; print(s); if c = 'z' then "
       "print('eq'); end.",
       "zz\neq\n"},
      {"comparison is by bytes",
       "begin if 'abc' < 'abd' then print('lt'); if 'B' < 'a' then print('upper first'); if 'ab' < "
       "'abc' then print('prefix'); end.",
       "lt\nupper first\nprefix\n"},
      {"length and setlength",
       "var s: string; begin s := 'abc'; SetLength(s, 5); printi(Length(s)); SetLength(s, 2); "
       "print(s); end.",
       "5\nab\n"},
      {"typed result of concatenation in call", "begin print(Copy('x' + 'yz', 2, 5)); end.",
       "yz\n"},
      {"pchar", "var p: PChar; s: string; begin p := 'abc'; s := p; print(s + '!'); end.",
       "abc!\n"},
  });
}

TEST(CodegenTest, ControlFlow) {
  RunCases({
      {"if else chain",
       "var i: Integer; begin for i := 1 to 3 do if i = 1 then print('one') else if i = 2 then "
       "print('two') else print('many'); end.",
       "one\ntwo\nmany\n"},
      {"case with ranges and else",
       "var i: Integer; begin for i := 0 to 4 do case i of 0: print('zero'); 1..2: print('small'); "
       "else print('big'); end; end.",
       "zero\nsmall\nsmall\nbig\nbig\n"},
      {"dense case table",
       "var c: Char; begin for c := 'a' to 'f' do case c of 'a': print('A'); 'b': print('B'); "
       "'c','d': print('CD'); 'e': print('E'); end; end.",
       "A\nB\nCD\nCD\nE\n"},
      {"string case",
       "var s: string; begin s := 'two'; case s of 'one': print('1'); 'two': print('2'); end; end.",
       "2\n"},
      {"for downto", "var i: Integer; begin for i := 3 downto 1 do printi(i); end.", "3\n2\n1\n"},
      {"for with empty range",
       "var i: Integer; begin for i := 5 to 1 do print('never'); print('done'); end.", "done\n"},
      {"for up to the type's end",
       "var b: Byte; n: Integer; begin n := 0; for b := 250 to 255 do Inc(n); printi(n); end.",
       "6\n"},
      {"while break continue",
       "var i: Integer; begin i := 0; while True do begin Inc(i); if i = 2 then continue; if i > 4 "
       "then break; printi(i); end; end.",
       "1\n3\n4\n"},
      {"repeat until", "var i: Integer; begin i := 0; repeat Inc(i) until i >= 3; printi(i); end.",
       "3\n"},
      {"short circuit",
       "function Boom: Boolean; begin print('evaluated'); Result := True; end;\n"
       "begin if False and Boom then print('no'); if True or Boom then print('yes'); end.",
       "yes\n"},
      {"exit from main block", "begin print('a'); exit; print('b'); end.", "a\n"},
  });
}

TEST(CodegenTest, Routines) {
  RunCases({
      {"value var const out parameters",
       "procedure P(a: Integer; var b: Integer; const c: string; out d: string);\n"
       "begin a := a + 1; b := b + a; d := c + '!'; end;\n"
       "var x, y: Integer; s: string; begin x := 1; y := 10; P(x, y, 'hi', s); printi(x); "
       "printi(y); print(s); end.",
       "1\n12\nhi!\n"},
      {"function name as result",
       "function F(n: Integer): Integer; begin F := n * 2; end; begin printi(F(21)); end.", "42\n"},
      {"exit with value",
       "function F(n: Integer): string; begin if n > 0 then Exit('pos'); Result := 'other'; end;\n"
       "begin print(F(1)); print(F(0)); end.",
       "pos\nother\n"},
      {"recursion",
       "function Fact(n: Integer): Int64; begin if n <= 1 then Result := 1 else Result := n * "
       "Fact(n - 1); end;\n"
       "begin printi(Fact(20)); end.",
       "2432902008176640000\n"},
      {"forward",
       "procedure B(n: Integer); forward;\nprocedure A(n: Integer); begin if n > 0 then B(n - 1); "
       "print('A'); end;\n"
       "procedure B(n: Integer); begin if n > 0 then A(n - 1); print('B'); end;\nbegin A(2); end.",
       "A\nB\nA\n"},
      {"nested routines see outer locals",
       "function Outer(n: Integer): Integer;\nvar total: Integer;\n"
       "  procedure Add(k: Integer); begin total := total + k * n; end;\n"
       "begin total := 0; Add(1); Add(2); Result := total; end;\nbegin printi(Outer(10)); end.",
       "30\n"},
      {"var parameter through nested routine",
       "procedure Outer(var s: string);\n  procedure Inner; begin s := s + 'x'; end;\nbegin Inner; "
       "Inner; end;\n"
       "var t: string; begin t := 'a'; Outer(t); print(t); end.",
       "axx\n"},
      {"string parameters are copies",
       "procedure P(s: string); begin s[1] := 'X'; print(s); end; var t: string; begin t := 'abc'; "
       "P(t); print(t); end.",
       "Xbc\nabc\n"},
      {"script routines hide standard ones and natives",
       "function Trim(s: string): string; begin Result := '<' + s + '>'; end;\n"
       "procedure print(s: string); begin printi(Length(s)); end;\n"
       "begin print(Trim(' a ')); end.",
       "5\n"},
      {"default parameter",
       "function F(a: Integer; b: Integer = 5): Integer; begin Result := a + b; end; begin "
       "printi(F(1)); printi(F(1, 1)); end.",
       "6\n2\n"},
  });
}

TEST(CodegenTest, RecordsAndArrays) {
  RunCases({
      {"record copy is a value",
       "type TP = record x: Integer; s: string; end; var a, b: TP;\n"
       "begin a.x := 1; a.s := 'a'; b := a; b.x := 2; b.s := b.s + 'b'; printi(a.x); print(a.s); "
       "print(b.s); end.",
       "1\na\nab\n"},
      {"index far outside the bounds",
       "var a: array[1..3] of Integer; i: Int64; begin i := -9223372036854775807 - 1; try printi(a[i]); except print('range'); end; end.",
       "range\n"},
      {"static arrays with bounds",
       "var a: array[5..7] of Integer; i: Integer; begin for i := 5 to 7 do a[i] := i * i; "
       "printi(a[6]); printi(Low(a)); printi(High(a)); end.",
       "36\n5\n7\n"},
      {"two dimensions",
       "var m: array[1..3, 1..3] of Integer; i, j: Integer;\n"
       "begin for i := 1 to 3 do for j := 1 to 3 do m[i, j] := i * 10 + j; printi(m[2][3]); "
       "printi(m[3, 1]); end.",
       "23\n31\n"},
      {"dynamic arrays share on assignment",
       "var a, b: array of Integer; begin SetLength(a, 3); a[0] := 1; b := a; b[0] := 9; "
       "printi(a[0]); printi(Length(b)); printi(High(b)); end.",
       "9\n3\n2\n"},
      {"setlength keeps elements",
       "var a: array of string; begin SetLength(a, 2); a[1] := 'x'; SetLength(a, 4); print(a[1]); "
       "printi(GetArrayLength(a)); end.",
       "x\n4\n"},
      {"open array parameters",
       "function Sum(const v: array of Integer): Integer; var i: Integer; begin Result := 0; for i "
       ":= 0 to High(v) do Result := Result + v[i]; end;\n"
       "var s: array[1..3] of Integer; begin s[1] := 1; s[2] := 2; s[3] := 3; printi(Sum(s)); "
       "printi(Sum([10, 20])); end.",
       "6\n30\n"},
      {"array of records",
       "type TItem = record name: string; qty: Integer; end; var items: array of TItem; i: "
       "Integer;\n"
       "begin SetLength(items, 2); items[0].name := 'a'; items[1].name := 'b'; items[1].qty := 3;\n"
       "for i := 0 to 1 do print(items[i].name + IntToStr(items[i].qty)); end.",
       "a0\nb3\n"},
      {"record with array fields",
       "type TR = record count: Integer; names: array[1..65000] of string; end; var r: TR;\n"
       "begin r.names[65000] := 'last'; r.count := 1; print(r.names[65000]); "
       "printi(Length(r.names[1])); end.",
       "last\n0\n"},
      {"with statement",
       "type TP = record x, y: Integer; end; var p: TP; a: array of TP;\n"
       "begin with p do begin x := 1; y := 2; end; SetLength(a, 1); with a[0] do x := 5; "
       "printi(p.x + p.y); printi(a[0].x); end.",
       "3\n5\n"},
      {"function returning a record",
       "type TP = record x: Integer; s: string; end; function Make(n: Integer): TP; begin Result.x "
       ":= n; Result.s := 'n' + IntToStr(n); end;\n"
       "var p: TP; begin p := Make(4); printi(p.x); print(Make(7).s); end.",
       "4\nn7\n"},
  });
}

TEST(CodegenTest, SetsAndEnums) {
  RunCases({
      {"char sets",
       "var c: Char; n: Integer; begin n := 0; for c := #0 to #255 do if c in ['a'..'z', '0'..'9'] "
       "then Inc(n); printi(n); end.",
       "36\n"},
      {"set operators",
       "type TC = (cRed, cGreen, cBlue); TS = set of TC; var a, b: TS;\n"
       "begin a := [cRed, cGreen]; b := [cGreen, cBlue]; if cGreen in a * b then print('both'); if "
       "not (cRed in b) then print('not');\n"
       "if a + b = [cRed..cBlue] then print('all'); if [cRed] <= a then print('sub'); Include(b, "
       "cRed); if a <= b then print('sub2'); Exclude(b, cRed); if b - a = [cBlue] then "
       "print('diff'); end.",
       "both\nnot\nall\nsub\nsub2\ndiff\n"},
      {"enumerations",
       "type TD = (dMon, dTue, dWed); var d: TD; begin for d := dMon to dWed do printi(Ord(d)); d "
       ":= Succ(dMon); if d = dTue then print('tue'); printi(Ord(High(TD))); end.",
       "0\n1\n2\ntue\n2\n"},
      {"subranges",
       "type TDigit = 0..9; var d: TDigit; begin d := 7; printi(d); printi(High(TDigit)); end.",
       "7\n9\n"},
  });
}

TEST(CodegenTest, Constants) {
  RunCases({
      {"constant expressions",
       "const a = 10; b = a * 2 + 1; s = 'x' + chr(65) + 'y'; t = 'it''s';\nbegin printi(b); "
       "print(s); print(t); end.",
       "21\nxAy\nit's\n"},
      {"typed constants and initialized globals",
       "const limit: Integer = 3; var v: string = 'init'; begin printi(limit); print(v); end.",
       "3\ninit\n"},
  });
}

TEST(CodegenTest, Exceptions) {
  RunCases({
      {"except catches a runtime error",
       "var a, b: Integer; begin b := 0; try a := 1 div b; print('no'); except print('caught'); "
       "end; print('after'); end.",
       "caught\nafter\n"},
      {"finally runs on both paths",
       "begin try print('body'); finally print('finally'); end;\n"
       "try try RaiseException(erCustomError, 'x'); finally print('cleanup'); end; except "
       "print(ExceptionParam); end; end.",
       "body\nfinally\ncleanup\nx\n"},
      {"exit through finally",
       "procedure P; begin try exit; finally print('f'); end; print('not reached'); end; begin P; "
       "print('back'); end.",
       "f\nback\n"},
      {"break and continue through finally",
       "var i: Integer; begin for i := 1 to 3 do try if i = 2 then continue; if i = 3 then break; "
       "printi(i); finally print('f'); end; end.",
       "1\nf\nf\nf\n"},
      {"errors unwind out of called routines",
       "procedure Deep(n: Integer); var s: string; begin s := 'local'; if n = 0 then "
       "RaiseException(erCustomError, 'deep') else Deep(n - 1); end;\n"
       "begin try Deep(5); except print(ExceptionToString(ExceptionType, ExceptionParam)); end; "
       "end.",
       "deep\n"},
      {"re-raise",
       "begin try try RaiseException(erCustomError, 'inner'); except print('first'); raise; end; "
       "except print('second ' + ExceptionParam); end; end.",
       "first\nsecond inner\n"},
      {"exception kinds",
       "var s: string; a: array of Integer; begin\n"
       "try s := 'ab'; print(s[3]); except printi(Ord(ExceptionType)); end;\n"
       "try printi(a[0]); except if ExceptionType = ErOutOfRange then print('range'); end;\n"
       "try printi(StrToInt('12a')); except print(ExceptionToString(ExceptionType, "
       "ExceptionParam)); end; end.",
       "10\nrange\nException: '12a' is not a valid integer value\n"},
      {"nested handlers in loops",
       "var i, n: Integer; begin n := 0; for i := 1 to 100 do try try if i mod 2 = 0 then "
       "RaiseException(erCustomError, ''); finally Inc(n); end; except Inc(n, 10); end; printi(n); "
       "end.",
       "600\n"},
  });
}

TEST(CodegenTest, Variants) {
  RunCases({
      {"variant conversions",
       "var v: Variant; i: Integer; s: string; begin v := 12; i := v; s := v; printi(i + 1); "
       "print(s + '!');\n"
       "v := '7'; i := v; printi(i * 2); v := 1.5; print(FloatToStr(v)); end.",
       "13\n12!\n14\n1.5\n"},
      {"variant arithmetic and state",
       "var v, w: Variant; begin if VarIsEmpty(v) then print('empty'); v := 2; w := v + 3; "
       "print(IntToStr(w)); v := Null; if VarIsNull(v) then print('null');\n"
       "v := 'a'; w := v + 'b'; print(w); printi(VarType(w)); end.",
       "empty\n5\nnull\nab\n256\n"},
  });
}

}  // namespace
}  // namespace qorsv::script::testing

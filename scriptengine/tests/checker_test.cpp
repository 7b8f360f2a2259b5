// Names and types: the checker's error messages, their positions, and what it accepts.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

TEST(CheckerTest, SemanticErrorsAndTheirPositions) {
  struct Case {
    const char* script;
    const char* message;
  } cases[] = {
      {"begin x := 1; end.", "[Error] (1:7): Unknown identifier 'x'"},
      {"var a: Integer;\r\n    A: string;", "[Error] (2:5): Duplicate identifier 'A'"},
      {"var i: Integer; begin i := 'ab'; end.", "[Error] (1:28): Type mismatch"},
      {"begin printi('x'); end.", "[Error] (1:14): Type mismatch"},
      {"begin print('a', 'b'); end.", "[Error] (1:7): Invalid number of parameters"},
      {"const c = 1; begin c := 2; end.", "[Error] (1:20): Variable expected"},
      {"procedure P(const s: string); begin s := 'x'; end;", "[Error] (1:37): Variable expected"},
      {"procedure P(var n: Integer); begin end; begin P(5); end.",
       "[Error] (1:49): Variable expected"},
      {"begin break; end.", "[Error] (1:7): Not inside a loop"},
      {"var f: Double; begin for f := 1 to 2 do ; end.", "[Error] (1:26): Ordinal type expected"},
      {"var n: Integer; const c = n + 1;", "[Error] (1:29): Constant expression expected"},
      {"type TR = record a: Integer; end; var r: TR; begin r.b := 1; end.",
       "[Error] (1:54): Unknown identifier 'b'"},
      {"procedure P; forward;", "[Error] (1:1): Unsatisfied forward or external declaration: 'P'"},
      {"uses Classes;", "[Error] (1:6): Unknown unit 'Classes'"},
      {"procedure Log; begin end; var s: string; begin s := Log; end.",
       "[Error] (1:53): Type mismatch"},
      {"var a: array[1..3] of Integer; begin a[4] := 1; end.",
       "[Error] (1:40): Constant out of range"},
      {"var b: Boolean; begin if 1 then b := True; end.", "[Error] (1:26): Type mismatch"},
      {"var s: set of Integer;", "[Error] (1:8): Set base type out of range"},
      {"var i: Integer; begin i := 5 div 0; end.", "[Error] (1:30): Division by zero"},
      {"var i: Integer; begin for i := 1 to 3 do i := 2; end.",
       "[Error] (1:42): Variable expected"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompileMessage(c.script), c.message) << c.script;
}

TEST(CheckerTest, CompatibleAssignmentsCompile) {
  for (const char* script : {
           "var b: Byte; i: Integer; i64: Int64; w: Word; begin i := b; i64 := i; b := i; w := "
           "i64; end.",
           "var c: Char; s: string; p: PChar; begin s := c; p := s; s := p; c := 'x'; p := nil; "
           "end.",
           "var e: Extended; i: Integer; s: Single; begin e := i; s := e; e := s; end.",
           "var v: Variant; i: Integer; s: string; d: Double; begin v := i; v := s; v := d; v := "
           "True; i := v; s := v; end.",
           "type TE = (a, b, c); var e: TE; begin e := b; if e in [a, c] then ; end.",
           "var a: array of Integer; begin a := nil; if a = nil then ; end.",
           "function F: Integer; begin F := 1; Result := Result + 1; end;",
           "var s: string; begin s := 'a' + #13#10 + 'b'; end.",
       }) {
    EXPECT_EQ(CompileMessage(script), "") << script;
  }
}

}  // namespace
}  // namespace qorsv::script::testing

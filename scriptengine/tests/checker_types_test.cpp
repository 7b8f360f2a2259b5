// Type compatibility: which assignments, arguments and operators the checker accepts.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

constexpr const char* kDeclarations =
    "type TColor = (cRed, cGreen); TSize = (sSmall, sLarge); TPoint = record x, y: Integer; end;\n"
    "TOther = record x, y: Integer; end; TChars = set of Char; TColors = set of TColor;\n"
    "TInts = array of Integer; TRow = array[1..3] of Integer;\n"
    "var i: Integer; b: Byte; c: Cardinal; q: Int64; ch: Char; s: string; p: PChar; d: Double;\n"
    "sg: Single; ok: Boolean; v: Variant; color: TColor; size: TSize; pt: TPoint; other: TOther;\n"
    "chars: TChars; colors: TColors; ints: TInts; row, row2: TRow; obj: IDispatch;\n";

TEST(CheckerTypesTest, AssignmentsAcceptedAndRefused) {
  struct Case {
    const char* statement;
    bool accepted;
  } cases[] = {
      {"i := b", true},
      {"b := i", true},
      {"q := c", true},
      {"c := -1", true},
      {"i := ch", false},
      {"ch := i", false},
      {"ch := Chr(i)", true},
      {"i := Ord(ch)", true},
      {"s := ch", true},
      {"ch := s", false},
      {"ch := 'x'", true},
      {"ch := 'xy'", false},
      {"p := s", true},
      {"s := p", true},
      {"p := nil", true},
      {"d := i", true},
      {"i := d", false},
      {"i := Round(d)", true},
      {"sg := d", true},
      {"d := sg", true},
      {"ok := i", false},
      {"ok := i <> 0", true},
      {"v := i", true},
      {"v := s", true},
      {"i := v", true},
      {"s := v", true},
      {"ok := v", true},
      {"color := cGreen", true},
      {"color := sLarge", false},
      {"color := 1", false},
      {"color := TColor(1)", true},
      {"i := Ord(color)", true},
      {"pt := other", false},
      {"pt := pt", true},
      {"chars := ['a'..'z']", true},
      {"chars := [cRed]", false},
      {"colors := [cRed]", true},
      {"colors := []", true},
      {"chars := colors", false},
      {"ints := nil", true},
      {"ints := row", false},
      {"row := row2", true},
      {"row := ints", false},
      {"obj := nil", true},
      {"s := obj", false},
      {"i := 'a' + 'b'", false},
      {"s := 'a' + ch", true},
      {"s := s + 1", false},
      {"d := 1 / 2", true},
      {"i := 1 / 2", false},
      {"i := 7 div 2", true},
      {"d := 7 mod 2", true},
      {"i := d mod 2", false},
      {"ok := not i", false},
      {"i := not i", true},
      {"ok := (i > 0) and (d < 1)", true},
      {"ok := i and ok", false},
      {"ok := ch in chars", true},
      {"ok := i in chars", false},
      {"ok := cRed in colors", true},
      {"ok := s = ch", true},
      {"ok := pt = pt", false},
      {"ok := ints = nil", true},
      {"ok := color < cGreen", true},
      {"ok := color = sSmall", false},
  };
  for (const Case& c : cases) {
    std::string script = std::string(kDeclarations) + "begin " + c.statement + "; end.";
    std::string message = CompileMessage(script);
    EXPECT_EQ(message.empty(), c.accepted) << c.statement << ": " << message;
  }
}

TEST(CheckerTypesTest, ArgumentsFollowTheParameterModes) {
  struct Case {
    const char* call;
    bool accepted;
  } cases[] = {
      {"ByValue(b)", true},     {"ByValue(q)", true},      {"ByValue('x')", false},
      {"ByVar(i)", true},       {"ByVar(b)", false},       {"ByVar(5)", false},
      {"ByVar(row[1])", true},  {"ByConst(s + s)", true},  {"ByOut(s)", true},
      {"ByOut(ch)", false},     {"ByRecord(pt)", true},    {"ByRecord(other)", false},
      {"ByOpen(ints)", true},   {"ByOpen(row)", true},     {"ByOpen([1, 2])", true},
      {"ByOpen(['a'])", false}, {"ByVarOpen(ints)", true}, {"ByVarOpen(row)", false},
      {"ByVar(s[1])", false},
  };
  std::string routines =
      "procedure ByValue(n: Integer); begin end;\n"
      "procedure ByVar(var n: Integer); begin end;\n"
      "procedure ByConst(const t: string); begin end;\n"
      "procedure ByOut(out t: string); begin end;\n"
      "procedure ByRecord(r: TPoint); begin end;\n"
      "procedure ByOpen(const a: array of Integer); begin end;\n"
      "procedure ByVarOpen(var a: array of Integer); begin end;\n";
  for (const Case& c : cases) {
    std::string script = std::string(kDeclarations) + routines + "begin " + c.call + "; end.";
    std::string message = CompileMessage(script);
    EXPECT_EQ(message.empty(), c.accepted) << c.call << ": " << message;
  }
}

}  // namespace
}  // namespace qorsv::script::testing

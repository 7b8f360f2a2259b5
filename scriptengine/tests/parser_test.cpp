// Syntax: the parser's error messages and positions, and the shapes of a program it accepts.
#include <gtest/gtest.h>

#include "scriptengine/tests/script_support.h"

namespace qorsv::script::testing {
namespace {

TEST(ParserTest, SyntaxErrorsNameTheExpectedTokenAtTheOffendingOne) {
  struct Case {
    const char* script;
    const char* message;
  } cases[] = {
      {"var x, y: Integer;\r\nbegin\r\n  x := 1\r\n  y := 2;\r\nend.",
       "[Error] (4:3): Semicolon (';') expected"},
      {"begin if True print('a'); end.", "[Error] (1:15): 'THEN' expected"},
      {"var i: Integer; begin for i = 1 to 2 do; end.",
       "[Error] (1:29): Assignment (':=') expected"},
      {"begin print('a');", "[Error] (1:18): Unexpected end of file"},
      {"begin while True print('a'); end.", "[Error] (1:18): 'DO' expected"},
      {"var x: Integer; begin x = 5; end.", "[Error] (1:25): Assignment (':=') expected"},
      {"procedure P(a: Integer;\r\nbegin end;", "[Error] (2:1): Identifier expected"},
      {"function F: ; begin end;", "[Error] (1:13): Type expected"},
      {"begin print('a' + ); end.", "[Error] (1:19): Syntax error"},
      {"const a = 1;\r\nprogram Test;\r\nbegin end.", "[Error] (2:1): 'BEGIN' expected"},
      {"unit Helpers;", "[Error] (1:1): Units are not supported"},
      {"var p: ^Integer;", "[Error] (1:8): Pointer types are not supported"},
      {"begin try print('a'); end; end.", "[Error] (1:23): 'EXCEPT' expected"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompileMessage(c.script), c.message) << c.script;
}

TEST(ParserTest, ProgramShapes) {
  struct Case {
    const char* script;
    bool main_block_optional;
    bool compiles;
  } cases[] = {
      {"program Test;\r\nbegin end.", false, true},
      {"begin end.", false, true},
      {"procedure P; begin end;", false, false},  // the main block is required
      {"procedure P; begin end;", true, true},
      {"", true, true},
      {"begin print('x') end", true, true},  // may end without its period
      {"begin print('x') end;", true, true},
      {"begin end. ### anything after the final period", false, true},
      {"begin end", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompileMessage(c.script, c.main_block_optional).empty(), c.compiles)
        << c.script << " " << CompileMessage(c.script, c.main_block_optional);
  }
}

TEST(ParserTest, DeepNestingIsRefusedNotOverflowed) {
  std::string parentheses = "var x: Integer; begin x := " + std::string(100000, '(') + "1" +
                            std::string(100000, ')') + "; end.";
  EXPECT_EQ(CompileMessage(parentheses), "[Error] (1:227): Nesting too deep");
  std::string chain = "var s: string; begin s := 'a'";
  for (int i = 0; i < 100000; ++i) chain += " + 'b'";
  chain += "; end.";
  EXPECT_EQ(CompileMessage(chain).substr(0, 36), "[Error] (1:2425): Expression too com");
  std::string blocks = "begin " + std::string(50000, ' ');
  for (int i = 0; i < 50000; ++i) blocks += "begin ";
  EXPECT_NE(CompileMessage(blocks).find("Nesting too deep"), std::string::npos);
  // Long but shallow: fine.
  std::string wide = "var s: string; begin s := ''";
  for (int i = 0; i < 300; ++i) wide += " + 'b'";
  EXPECT_EQ(CompileMessage(wide + "; end."), "");
}

TEST(ParserTest, ALargeGeneratedProcedureCompilesAndRuns) {
  std::string script = "var a: array[1..20000] of string;\r\nprocedure Fill;\r\nbegin\r\n";
  for (int i = 1; i <= 20000; ++i) {
    script += " a[" + std::to_string(i) + "]:='v" + std::to_string(i) + "';\r\n";
  }
  script += "end;\r\nbegin Fill; print(a[1] + a[20000]); end.";
  ScriptRun run = RunScript(script);
  EXPECT_EQ(run.output, "v1v20000\n") << run.message << run.error;
}

}  // namespace
}  // namespace qorsv::script::testing

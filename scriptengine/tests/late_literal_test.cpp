// Late literals: one compiled image run with other values for chosen literals, and the cases
// where the compiler must say the image holds only the compiled values.
#include <gtest/gtest.h>

#include "scriptengine/engine.h"

namespace qorsv::script {
namespace {

struct LateCompile {
  bool compiled = false;
  bool reusable = false;
  std::string message;
  std::string image;
};

// Compiles `text`; every literal spelled as one of `marked` (first occurrence) is late.
LateCompile CompileLate(const std::string& text, const std::vector<std::string>& marked) {
  TPSPascalCompiler compiler;
  compiler.MainBlockOptional = true;
  compiler.DeclareUnit = [](TPSPascalCompiler& c, const std::string& unit) {
    c.DeclareNative("procedure print(s: string);");
    c.DeclareNative("procedure printi(i: Int64);");
    return unit == "SYSTEM";
  };
  for (const std::string& literal : marked) {
    size_t at = text.find(literal);
    EXPECT_NE(at, std::string::npos) << literal;
    compiler.LateLiterals.push_back(at);
  }
  LateCompile result;
  result.compiled = compiler.Compile(text);
  result.reusable = compiler.LateLiteralsReusable();
  if (compiler.MessageCount() > 0) result.message = compiler.MessageText(0);
  result.image = compiler.ProgramImage();
  return result;
}

std::string RunWith(const std::string& image, const std::vector<CallValue>& values) {
  std::string output;
  TPSExec exec;
  exec.RegisterNative("PRINT", [&](NativeCall& call) { output += call.Str(0) + "\n"; });
  exec.RegisterNative("PRINTI",
                      [&](NativeCall& call) { output += std::to_string(call.Int(0)) + "\n"; });
  EXPECT_TRUE(exec.Load(image));
  exec.SetLateLiterals(values);
  EXPECT_TRUE(exec.RunMainBlock()) << exec.LastErrorMessage();
  return output;
}

TEST(LateLiteralTest, ConstantsAndAssignmentsTakeTheValuesSetAfterLoading) {
  const std::string text =
      "const n=5; s='hello'; c='x'; e='';\r\n"
      "var g: string;\r\n"
      "procedure fill; begin g := 'abc'; end;\r\n"
      "begin fill; printi(n); print(s + '!'); print(c); print(e + g); "
      "if n > 6 then print('big'); printi(Length(s)); end.";
  LateCompile compiled = CompileLate(text, {"5", "'hello'", "'x'", "''", "'abc'"});
  ASSERT_TRUE(compiled.compiled) << compiled.message;
  EXPECT_TRUE(compiled.reusable);
  EXPECT_EQ(RunWith(compiled.image, {CallValue::Integer(5), CallValue::Text("hello"),
                                     CallValue::Text("x"), CallValue::Text(""),
                                     CallValue::Text("abc")}),
            "5\nhello!\nx\nabc\n5\n");
  EXPECT_EQ(RunWith(compiled.image, {CallValue::Integer(7), CallValue::Text("it's"),
                                     CallValue::Text("y"), CallValue::Text("pre "),
                                     CallValue::Text("zz")}),
            "7\nit's!\ny\npre zz\nbig\n4\n");
}

TEST(LateLiteralTest, ValuesNeededWhileCompilingMakeTheImageSingleUse) {
  // Folded arithmetic may widen to Int64 or divide by zero, depending on the value.
  LateCompile product = CompileLate("const n=5; begin printi(n * 1000); end.", {"5"});
  ASSERT_TRUE(product.compiled) << product.message;
  EXPECT_FALSE(product.reusable);
  LateCompile quotient = CompileLate("const n=5; begin printi(100 div (n - 1)); end.", {"5"});
  ASSERT_TRUE(quotient.compiled) << quotient.message;
  EXPECT_FALSE(quotient.reusable);
  // Comparisons and concatenation run the same whether folded or not.
  EXPECT_TRUE(CompileLate("const n=5; s='ab'; begin if n = 5 then print(s + 'c'); end.",
                          {"5", "'ab'"})
                  .reusable);
}

TEST(LateLiteralTest, PlacesThatNeedAConstantFailAndScriptsCannotWriteTheValues) {
  EXPECT_FALSE(CompileLate("const n=3; var a: array[1..n] of Integer; begin end.", {"3"}).compiled);
  EXPECT_FALSE(CompileLate("const n=3; begin case 2 of n: print('x'); end; end.", {"3"}).compiled);
  EXPECT_FALSE(CompileLate("const n=3; begin n := 4; end.", {"3"}).compiled);
  EXPECT_FALSE(CompileLate("procedure p(var i: Integer); begin end;\r\n"
                           "const n=3; begin p(n); end.",
                           {"3"})
                   .compiled);
}

TEST(LateLiteralTest, OffsetsThatHoldNoLiteralAreNotReusable) {
  LateCompile compiled = CompileLate("begin print('a' + 'b'); end.", {"print"});
  ASSERT_TRUE(compiled.compiled);
  EXPECT_FALSE(compiled.reusable);
}

TEST(LateLiteralTest, LiteralsKeepTheirTypeByValue) {
  // A one-character text is a Char and a number beyond 32 bits an Int64: the hidden variables
  // take those types, and a value of another type is refused.
  LateCompile compiled =
      CompileLate("const c='q'; big=5000000000; begin print(c + c); printi(big); end.",
                  {"'q'", "5000000000"});
  ASSERT_TRUE(compiled.compiled) << compiled.message;
  EXPECT_TRUE(compiled.reusable);
  EXPECT_EQ(RunWith(compiled.image, {CallValue::Text("r"), CallValue::Int64(6000000000)}),
            "rr\n6000000000\n");
  TPSExec exec;
  exec.RegisterNative("PRINT", [](NativeCall&) {});
  exec.RegisterNative("PRINTI", [](NativeCall&) {});
  ASSERT_TRUE(exec.Load(compiled.image));
  EXPECT_THROW(exec.SetLateLiterals({CallValue::Text("rs"), CallValue::Int64(1)}),
               ScriptEngineError);
  EXPECT_THROW(exec.SetLateLiterals({CallValue::Text("r"), CallValue::Int64(1), CallValue::Text("")}),
               ScriptEngineError);
}

}  // namespace
}  // namespace qorsv::script

// The program image: its header and version are checked, and damaged bytes are refused at Load
// rather than run.
#include "scriptengine/image.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scriptengine/compiler.h"
#include "scriptengine/opcodes.h"

namespace qorsv::script {
namespace {

std::string CompileImage(const std::string& text) {
  TPSPascalCompiler compiler;
  EXPECT_TRUE(compiler.Compile(text));
  return compiler.ProgramImage();
}

const char kProgram[] =
    "var s: string; i: Integer; a: array of Integer;\r\n"
    "function F(n: Integer): Integer; begin Result := n * 2; end;\r\n"
    "begin s := 'text'; SetLength(a, 3); for i := 0 to 2 do a[i] := F(i); end.";

TEST(ImageTest, RoundTrip) {
  std::string bytes = CompileImage(kProgram);
  ImageLoadResult loaded = DeserializeImage(bytes);
  ASSERT_TRUE(loaded.image.has_value()) << loaded.error;
  EXPECT_EQ(SerializeImage(*loaded.image), bytes);
  EXPECT_EQ(loaded.image->procs.size(), 2u);
  EXPECT_EQ(loaded.image->procs[0].name, "F");
  EXPECT_TRUE(loaded.image->procs[0].callable);
  EXPECT_FALSE(loaded.image->procs[loaded.image->main_proc].callable);
}

TEST(ImageTest, HeaderVersionAndLengthAreChecked) {
  std::string bytes = CompileImage(kProgram);
  std::string wrong_magic = bytes;
  wrong_magic[0] = 'X';
  std::string wrong_version = bytes;
  wrong_version[8] ^= 0x40;
  struct Case {
    std::string bytes;
    TIFException error;
  } cases[] = {
      {"", erInvalidHeader},
      {"not an image at all", erInvalidHeader},
      {wrong_magic, erInvalidHeader},
      {wrong_version, erVersionError},
      {bytes.substr(0, bytes.size() / 2), erUnexpectedEof},
      {bytes + "x", erUnexpectedEof},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeserializeImage(c.bytes).error, c.error) << c.bytes.size();
    TPSExec exec;
    EXPECT_FALSE(exec.Load(c.bytes));
    EXPECT_EQ(exec.LastError(), c.error);
  }
  TPSExec exec;
  EXPECT_FALSE(exec.Load(wrong_version));
  EXPECT_EQ(ExceptionToString(exec.LastError(), exec.LastErrorParameter()), "Version error");
}

TEST(ImageTest, DamagedCodeIsRefused) {
  ImageLoadResult loaded = DeserializeImage(CompileImage(kProgram));
  ASSERT_TRUE(loaded.image.has_value());
  const ProgramImage& good = *loaded.image;
  // Damage each instruction's operands in turn: every variant must be refused or still be a
  // valid program, never accepted with out-of-range operands.
  size_t refused = 0;
  size_t pc = 0;
  while (pc < good.code.size()) {
    int32_t op = good.code[pc];
    size_t operands = std::strlen(kOpcodeOperands[op]);
    for (size_t i = 0; i < operands; ++i) {
      ProgramImage damaged = good;
      damaged.code[pc + 1 + i] = 0x3FFFFFFF;
      if (!DeserializeImage(SerializeImage(damaged)).image) ++refused;
    }
    pc += 1 + operands;
    if (op == kSwitch) pc += static_cast<size_t>(good.code[pc - 2]);
    if (op == kEndFinally) pc += static_cast<size_t>(good.code[pc - 1]);
  }
  EXPECT_GT(refused, 10u);
  ProgramImage bad_opcode = good;
  bad_opcode.code[0] = kOpcodeCount + 5;
  EXPECT_EQ(DeserializeImage(SerializeImage(bad_opcode)).error, erInvalidOpcodeParameter);
  ProgramImage bad_main = good;
  bad_main.main_proc = 99;
  EXPECT_EQ(DeserializeImage(SerializeImage(bad_main)).error, erInvalidHeader);
}

}  // namespace
}  // namespace qorsv::script

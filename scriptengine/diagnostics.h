// The compiler's error signal: a compile error with its position and message text.
//
// Every stage of the compiler (lexer, parser, checker, codegen) stops at the first error by
// throwing CompileError; TPSPascalCompiler::Compile turns it into one "[Error] (row:col): text"
// message. Threading: plain values.
#pragma once

#include <stdexcept>
#include <string>

namespace qorsv::script::compiler_internal {

struct SourcePos {
  int row = 1;
  int col = 1;
};

class CompileError : public std::runtime_error {
 public:
  CompileError(SourcePos pos, const std::string& text) : std::runtime_error(text), pos_(pos) {}
  SourcePos pos() const { return pos_; }

 private:
  SourcePos pos_;
};

}  // namespace qorsv::script::compiler_internal

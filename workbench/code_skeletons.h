// Code > Create > Procedure and Function: the empty routine skeleton the workbench pastes at the
// start of the caret's line, and where the caret ends.
//
// Pure functions, callable from any thread.
#pragma once

#include <string>

#include "workbench/editor_text.h"

namespace qorsv {

enum class SkeletonKind { kProcedure, kFunction };

struct SkeletonDialog {
  const char* title;
  const char* prompt;
};
// "New Procedure" / "Input procedure name", "New Function" / "Input function name".
SkeletonDialog SkeletonDialogTexts(SkeletonKind kind);

// The clipboard text: two empty lines, the header, "   begin", "       { body }", "   end;",
// and one empty line, each ended by CR LF.
std::string SkeletonText(SkeletonKind kind, const std::string& name);

// Pasting the text at column 1 of the caret's line; the caret then stands on the empty line
// after "   end;", at column 1.
TextEdit SkeletonEdit(const std::string& clipboard_text, const Caret& caret);

}  // namespace qorsv

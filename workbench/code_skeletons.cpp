#include "workbench/code_skeletons.h"

#include <algorithm>
#include <vector>

namespace qorsv {

SkeletonDialog SkeletonDialogTexts(SkeletonKind kind) {
  if (kind == SkeletonKind::kFunction) return {"New Function", "Input function name"};
  return {"New Procedure", "Input procedure name"};
}

std::string SkeletonText(SkeletonKind kind, const std::string& name) {
  std::string header = kind == SkeletonKind::kFunction ? "\r\n\r\nFunction " + name + " () : ; "
                                                       : "\r\n\r\nProcedure " + name + " (); ";
  return header + "\r\n" + "   begin" + "\r\n" + "       { body }" + "\r\n" + "   end;" + "\r\n" +
         "\r\n";
}

TextEdit SkeletonEdit(const std::string& clipboard_text, const Caret& caret) {
  std::vector<std::string> lines = SplitLines(clipboard_text);
  // The paste leaves the caret at the start of the former line; one line up from there.
  int pasted_breaks = static_cast<int>(lines.size()) - 1;
  Caret after{std::max(1, caret.line + pasted_breaks - 1), 1};
  return TextEdit{Caret{caret.line, 1}, Caret{caret.line, 1}, JoinLines(lines, "\n"), after, false};
}

}  // namespace qorsv

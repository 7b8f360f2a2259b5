// Parameter hints (`scpParamsExecute`): which routine's parameters to show for the caret's
// place in a line, which argument the caret is in, and how the hint shows the parameter text.
//
// The scan walks left from the caret: commas count arguments, a bracketed group is skipped, and
// at an opening bracket the word before it is looked up among the recorded names (letter case
// ignored); a word that is no recorded name is passed over and the scan goes on to an outer call.
//
// Pure functions, callable from any thread.
#pragma once

#include <string>
#include <vector>

#include "workbench/code_analysis.h"

namespace qorsv {

struct ParameterHintScan {
  bool found = false;
  // The position of the name in proclookup (so its entry is ProcIndex k + 1).
  int proc = -1;
  // The zero-based argument the caret is in.
  int argument = 0;
  // The word before the bracket, upper-cased.
  std::string word;
};

// Letters, digits, "_" and the Latin-1 letters (192-214, 216-246, 248-255).
bool IsHintWordChar(unsigned char c);

// The scan for the line holding the caret at 1-based `column`.
ParameterHintScan ScanParameterHint(const std::string& line, int column,
                                    const CodeAnalysis& analysis);

// The items the hint shows for a parameter text: split at commas (a part in double quotes is
// one item, its quotes removed), each item without its surrounding blanks. Blanks inside an
// item do not split it: "a: integer" is one argument, and the item shown in bold must be the
// argument the caret is in, which the scan counts by commas.
std::vector<std::string> ParameterHintItems(const std::string& params);
// The items joined again with ", ".
std::string JoinHintItems(const std::vector<std::string>& items);

}  // namespace qorsv

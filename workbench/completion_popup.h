// The completion pop-up `syncomplet` and the parameter-hint pop-up `scpParams` as the editor
// sees them: the characters that open them, the characters that end the word being completed,
// the word itself, and which completion items match it.
//
// The page filters the items itself while the operator types, with these rules and the lists of
// the code analysis (workbench/code_analysis.h). Pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

inline constexpr char kCompletionTitle[] = "qOr completion wizard";
// Characters that end the word being completed; typing one also completes.
inline constexpr char kCompletionEndChars[] = "()[]. ";
inline constexpr char kParameterHintEndChars[] = "). ";
// The parameter hint opens after a typed "(".
inline constexpr char kParameterHintTrigger = '(';
inline constexpr int kCompletionRows = 16;
inline constexpr int kCompletionWidth = 700;
inline constexpr int kParameterHintRows = 8;
inline constexpr int kParameterHintWidth = 600;

// The pop-ups' common delay, in milliseconds (the track bar's range and start).
inline constexpr int kMinPopupDelayMs = 100;
inline constexpr int kMaxPopupDelayMs = 3000;
inline constexpr int kDefaultPopupDelayMs = 1500;

// The word being completed: the text left of `column` (1-based caret column) back to, not
// including, the nearest blank or control character or one of `end_chars`.
std::string WordBeforeCaret(const std::string& line, int column, std::string_view end_chars);

// The positions of the completion items whose insert text begins with `word`, letter case
// significant, in list order. An empty word matches every item.
std::vector<int> CompletionMatches(const std::vector<std::string>& inserts, std::string_view word);

}  // namespace qorsv

// Context help: the word under a Ctrl+click in the editor, and the help page for it below
// help/html/ in the program directory.
//
// The help pages are shown in the workbench's "Webpage result" browser, which on the operator
// page is an iframe: it cannot open a file URL, so a page is named by the path under which the
// operator server serves the help folder ("/help/" + file name), not by a file URL.
//
// Pure functions apart from the file-system lookup; callable from any thread.
#pragma once

#include <optional>
#include <string>

namespace qorsv {

// The path prefix under which the operator server serves program directory + "help/html/".
inline constexpr char kHelpUrlPrefix[] = "/help/";
inline constexpr char kHelpIndexPage[] = "index.html";

// The 26 letters in either case and "_"; digits do not count.
bool IsHelpWordChar(char c);
// The text with every character removed that is not a help-word character.
std::string KeepHelpWordChars(const std::string& text);

// The word for a click at 1-based `column` of the line: the run of help-word characters ending
// just before the column, the character at the column when it is one, and the run starting just
// after it. Nothing past the end of the line or when no character is left.
std::optional<std::string> HelpWordAt(const std::string& line, int column);

// The file name in `help_dir` of the page for `word` (word + ".htm"), found without regard to
// letter case; nothing when there is none.
std::optional<std::string> FindHelpFile(const std::string& help_dir, const std::string& word);

// The operator server's path of a help file name: "/help/" + name.
std::string HelpUrl(const std::string& file_name);

}  // namespace qorsv

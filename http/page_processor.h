// The page processor: turns one page file into a temporary output file that the dispatcher
// sends and deletes. Ordinary lines are copied; script blocks (an opening line "<%qor%>" + name,
// body lines, a closing line "</%qor%>", tags in any letter case) are removed, and each block
// selected for the request is run by the script runner, its output taking the block's place.
//
// Selected blocks: "onload" always; "INIT" on a GET of "/" or "/index.html"; the block named
// after the requested document; and the block named by the request's "qorbutton" field, whose
// name from there on replaces the document as the selector for the rest of the page.
//
// Called on the request's connection thread. A failing run leaves ProcessPage (the listener
// answers status 500 with its message); the partial output file is deleted on the way out.
#pragma once

#include <functional>
#include <string>

#include "http/page_hand_over.h"
#include "scripthost/script_runner.h"

namespace qorsv {

// Runs one selected block: the script runner's runscript, or a stand-in in tests.
using PageScriptRun = std::function<std::string(const ScriptRunInput& input)>;

// Processes the page and returns the path of its output file: program_dir + "temp/qortmpscr" +
// 24 letters + ".html". Throws QorsvError when the page cannot be read or the output file
// cannot be written, and whatever a run throws.
std::string ProcessPage(const PageRequest& page, const PageScriptRun& run,
                        const std::string& program_dir);

// Block names are scanned with 8-bit positions: opening lines with longer names are ordinary
// lines.
inline constexpr size_t kMaxBlockNameLength = 247;

}  // namespace qorsv

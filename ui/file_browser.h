// The file dialogs' view of the server's own file system: the folders and files of one folder,
// and whether a path names a file or a folder. The pages' file dialogs (open a file, choose a
// root directory, save as) browse through these queries; what a dialog does with its choice is
// the page's command.
//
//   GET /api/files?dir=D&filter=F  ->  {"dir", "parent", "folders": [...], "files": [...],
//                                       "truncated"}
//       D absolute (or empty: the start folder given here), F one filter pattern list such as
//       "*.html" or "*.qor;*.html" ("*.*" and "*" show every file); folders are always listed;
//       names starting with "." are left out.
//   GET /api/stat?path=P  ->  {"path", "exists", "folder", "file"}
//
// Paths are the server's bytes (ui/json_text.h). Functions may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/operator_server.h"

namespace qorsv {

// At most this many entries of one folder are listed.
inline constexpr size_t kMaxListedEntries = 10000;

struct FolderListing {
  std::string dir;     // absolute, with a trailing "/"
  std::string parent;  // empty for the root
  std::vector<std::string> folders;
  std::vector<std::string> files;
  bool truncated = false;
};

// Throws CommandError when the folder cannot be read.
FolderListing ListFolder(const std::string& dir, const std::string& filter);

// True when the name matches one of the ";"-separated patterns ("*" and "?" wildcards, letter
// case ignored; "*.*" matches every name, as on the system the dialogs come from).
bool MatchesFilter(std::string_view name, std::string_view filter);

// The folder with "." and ".." segments resolved lexically and a trailing "/".
std::string NormalFolder(const std::string& dir);

void AddFileBrowser(OperatorServer& server, const std::string& start_dir);

}  // namespace qorsv

// The MIME table: the content type of a file from its extension, read from
// config/mimetypes.dat (two lines per entry: extension with its dot, then the type).
//
// LoadMimeTable runs on the console's thread; MimeTypeFor may be called from any thread at any
// time and sees either the table before a load or the complete new one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorsv {

struct MimeEntry {
  std::string Extension;  // as written in the file, dot included; compared exactly
  std::string MimeType;
};

class MimeTable {
 public:
  static constexpr size_t kMaxEntries = 256;

  // The entries of a file's text, in file order; entries beyond the 256th are ignored.
  static MimeTable Parse(std::string_view file_text);

  // The type for a path: the last entry whose extension equals the lower-cased extension of the
  // path's file name, else "text/html".
  std::string TypeFor(std::string_view path) const;

  const std::vector<MimeEntry>& Entries() const { return entries_; }

 private:
  std::vector<MimeEntry> entries_;
};

// The extension of a path's last component from its last ".", dot included; "" when none.
std::string_view FileExtension(std::string_view path);

// Replaces the process-wide table with the file's content; a missing or unreadable file gives
// an empty table.
void LoadMimeTable(const std::string& path);
// The same with the program directory's config/mimetypes.dat.
void LoadMimeTable();

// The content type for a path from the process-wide table.
std::string MimeTypeFor(std::string_view path);

}  // namespace qorsv

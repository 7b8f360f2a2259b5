#include "http/mime_table.h"

#include <algorithm>

#include "http/published.h"
#include "http/text_lines.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

Published<MimeTable>& ProcessMimeTable() {
  static Published<MimeTable> table;
  return table;
}

}  // namespace

MimeTable MimeTable::Parse(std::string_view file_text) {
  MimeTable table;
  LineReader lines(file_text);
  while (!lines.AtEnd()) {
    MimeEntry entry;
    entry.Extension = lines.Next();
    entry.MimeType = lines.Next();
    if (table.entries_.size() < kMaxEntries) table.entries_.push_back(std::move(entry));
  }
  return table;
}

std::string_view FileExtension(std::string_view path) {
  size_t name_start = path.find_last_of('/');
  name_start = name_start == std::string_view::npos ? 0 : name_start + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < name_start) return std::string_view();
  return path.substr(dot);
}

std::string MimeTable::TypeFor(std::string_view path) const {
  std::string extension(FileExtension(path));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  std::string result = "text/html";
  for (const MimeEntry& entry : entries_) {
    if (entry.Extension == extension) result = entry.MimeType;
  }
  return result;
}

void LoadMimeTable(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  ProcessMimeTable().Set(text ? MimeTable::Parse(*text) : MimeTable());
}

void LoadMimeTable() { LoadMimeTable(ProgramDir() + "config/mimetypes.dat"); }

std::string MimeTypeFor(std::string_view path) { return ProcessMimeTable().Get()->TypeFor(path); }

}  // namespace qorsv

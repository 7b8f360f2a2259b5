#include "http/virtual_hosts.h"

#include <cstdio>
#include <fstream>

#include "http/text_lines.h"
#include "transport/platform.h"

namespace qorsv {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Writes the file beside its final name and renames it, so a failed write never leaves a
// truncated table behind.
bool WriteFileReplacing(const std::string& path, const std::string& content) {
  std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << content;
    out.flush();
    if (!out) {
      out.close();
      std::remove(partial.c_str());
      return false;
    }
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

}  // namespace

HostEntries ParseHostsFile(std::string_view text) {
  HostEntries entries;
  LineReader lines(text);
  do {
    Thostrootdirs entry;
    entry.HostName = lines.Next();
    entry.RootDir = lines.Next();
    if (entries.size() < VirtualHostTable::kMaxEntries) entries.push_back(std::move(entry));
  } while (!lines.AtEnd());
  return entries;
}

std::string FormatHostsFile(const HostEntries& entries) {
  std::string text;
  for (const Thostrootdirs& entry : entries) {
    if (entry.Valid != 1) continue;
    text += entry.HostName + "\r\n" + entry.RootDir + "\r\n";
  }
  return text;
}

std::string FindHostRoot(const HostEntries& entries, std::string_view host_name) {
  std::string default_root;
  std::string host_root;
  for (const Thostrootdirs& entry : entries) {
    if (entry.HostName == "*") default_root = entry.RootDir;
    if (EqualsIgnoringCase(entry.HostName, host_name)) host_root = entry.RootDir;
  }
  return host_root.empty() ? default_root : host_root;
}

VirtualHostTable::VirtualHostTable(std::string program_dir) : program_dir_(std::move(program_dir)) {}

std::string VirtualHostTable::LookupHostRoot(std::string_view host_name) const {
  std::string root = FindHostRoot(*entries_.Get(), host_name);
  size_t marker = root.find("($root)");
  if (marker != std::string::npos) root.replace(marker, 7, program_dir_);
  return root;
}

void VirtualHostTable::readhostrootdirconfig() {
  std::optional<std::string> text = ReadWholeFile(FilePath());
  std::lock_guard<std::mutex> lock(writer_mutex_);
  entries_.Set(text ? ParseHostsFile(*text) : HostEntries());
}

void VirtualHostTable::savehosts() const {
  WriteFileReplacing(FilePath(), FormatHostsFile(*entries_.Get()));
}

std::vector<std::string> VirtualHostTable::showhosts() const {
  std::vector<std::string> lines;
  for (const Thostrootdirs& entry : *entries_.Get()) {
    lines.push_back("HOST [" + entry.HostName + "] mapped to [" + entry.RootDir + "] dir");
  }
  return lines;
}

void VirtualHostTable::Update(const std::function<void(HostEntries&)>& change) {
  std::lock_guard<std::mutex> lock(writer_mutex_);
  HostEntries next = *entries_.Get();
  change(next);
  entries_.Set(std::move(next));
}

VirtualHostTable& HostRootDirs() {
  static VirtualHostTable table(ProgramDir());
  return table;
}

std::string LookupHostRoot(std::string_view host_name) {
  return HostRootDirs().LookupHostRoot(host_name);
}

}  // namespace qorsv

// The virtual host table HostRootDirs: host names mapped to root directories, kept in
// config/hosts.dat (two lines per entry, host name then root directory, CR LF line ends). The
// name "*" stands for every host without an entry of its own; a root beginning with "($root)"
// is relative to the program directory.
//
// LookupHostRoot may be called from any thread. Reads, saves and edits run on the console's
// thread; every change builds a new table and publishes it whole, so a lookup sees the table
// either before or after an operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/published.h"

namespace qorsv {

struct Thostrootdirs {
  std::string HostName;
  std::string RootDir;
  uint8_t Valid = 1;  // 0: left out by the next save
};

using HostEntries = std::vector<Thostrootdirs>;

class VirtualHostTable {
 public:
  static constexpr size_t kMaxEntries = 1000;

  // program_dir ends with "/"; the file is program_dir + "config/hosts.dat".
  explicit VirtualHostTable(std::string program_dir);

  // The root for a host name (letter case ignored), else the "*" root, with "($root)" replaced
  // by the program directory; empty when neither exists.
  std::string LookupHostRoot(std::string_view host_name) const;

  // Replaces the table with the file's content (a missing file gives an empty table).
  void readhostrootdirconfig();
  // Writes the valid entries to the file; a file that cannot be written is left as it was.
  void savehosts() const;
  // The lines of the console's host list, one per entry.
  std::vector<std::string> showhosts() const;

  std::shared_ptr<const HostEntries> Entries() const { return entries_.Get(); }
  // Applies a change to a copy of the table and publishes the result. Writers are serialised.
  void Update(const std::function<void(HostEntries&)>& change);

  const std::string& ProgramDirectory() const { return program_dir_; }
  std::string FilePath() const { return program_dir_ + "config/hosts.dat"; }

 private:
  std::string program_dir_;
  Published<HostEntries> entries_;
  std::mutex writer_mutex_;
};

// The entries of a hosts.dat text: two lines each, at least one entry; at most 1000.
HostEntries ParseHostsFile(std::string_view text);
// The file text of the valid entries.
std::string FormatHostsFile(const HostEntries& entries);
// The lookup rule on a table, without the "($root)" replacement.
std::string FindHostRoot(const HostEntries& entries, std::string_view host_name);

// The process-wide table, under the program directory.
VirtualHostTable& HostRootDirs();
std::string LookupHostRoot(std::string_view host_name);

}  // namespace qorsv

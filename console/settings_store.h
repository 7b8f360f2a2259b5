// SettingsStore: typed reads and writes of keys in the settings file config/config.xml.
//
// The store keeps nothing between accesses: every read and every write first reloads the whole
// file, and every write saves it again, so the file is always the truth and a hand edit takes
// effect at the next access. A key is a path of element names separated by "\" below the root
// ("Tip\Show_On_Startup"); names compare without regard to letter case.
//
// One instance (the workbench's `xml`) serves both windows, on the console's UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "console/settings_xml.h"

namespace qorsv {

class SettingsStore {
 public:
  // Chooses the file. The same path again does nothing; otherwise the previously chosen file
  // is saved first (unless read-only), and a path without extension gets ".xml".
  void SetSettingsFile(const std::string& path);
  const std::string& FileName() const { return file_name_; }
  // Set when, at the moment the file was chosen, it existed and was read-only.
  bool ReadOnly() const { return read_only_; }

  // A missing key gives the default; a value that is empty or not a number reads as -1.
  int32_t ReadSettingInteger(const std::string& key, int32_t default_value);
  // TRUE/YES/Y and FALSE/NO/N in any case, else a number (zero is false); anything else false.
  bool ReadSettingBoolean(const std::string& key, bool default_value);
  std::string ReadSettingString(const std::string& key, const std::string& default_value);

  // Each write creates the key's missing elements, sets the value and saves the whole file; it
  // does nothing at all while the file is read-only. Throws QorsvError when the file cannot be
  // written or does not parse.
  void WriteSettingInteger(const std::string& key, int32_t value);
  void WriteSettingBoolean(const std::string& key, bool value);
  void WriteSettingString(const std::string& key, const std::string& value);

 private:
  // Replaces the tree with the file's contents; a missing file gives an empty tree.
  void Load();
  void Save() const;
  // The value of the key, when present.
  const std::string* Find(const std::string& key);
  void Write(const std::string& key, const std::string& value);

  std::string file_name_;
  bool read_only_ = false;
  XmlDocument document_;
  // False after a failed parse, so that the unreadable file is never overwritten.
  bool loaded_ = true;
};

}  // namespace qorsv

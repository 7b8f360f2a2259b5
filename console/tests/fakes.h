// Fakes of the front end and the companion windows that record, in one shared list, the order
// in which the console calls them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/companion_windows.h"
#include "console/program.h"
#include "console/settings_store.h"
#include "transport/error.h"

namespace qorsv::testing {

using EventLog = std::vector<std::string>;

class FakeFrontEnd : public FrontEnd {
 public:
  explicit FakeFrontEnd(EventLog& events) : events_(events) {}

  void StartListening(uint16_t port) override {
    events_.push_back("StartListening " + std::to_string(port));
    if (!bind_error.empty()) throw QorsvError(bind_error);
    listening_ = true;
  }
  void StopListening() override {
    events_.push_back("StopListening");
    listening_ = false;
  }
  bool Listening() const override { return listening_; }
  void LoadMimeTable() override { events_.push_back("LoadMimeTable"); }
  std::vector<std::string> ReadHostTable() override {
    events_.push_back("ReadHostTable");
    return hosts;
  }
  void ClearMailLock() override { events_.push_back("ClearMailLock"); }
  void ReleaseIdleCaches() override { ++idle_releases; }
  int idle_releases = 0;
  std::optional<uint32_t> CountSqlHandlesInUse() override { return sql_handles; }

  std::string bind_error;
  std::vector<std::string> hosts = {"*  ($root)webpage/default/"};
  uint32_t sql_handles = 0;

 private:
  EventLog& events_;
  bool listening_ = false;
};

class FakeCompanions : public CompanionWindows {
 public:
  explicit FakeCompanions(EventLog& events, std::string settings_file)
      : events_(events), settings_file_(std::move(settings_file)) {}

  void CreateWorkbench(UiLoop&, uint16_t) override { events_.push_back("CreateWorkbench"); }
  void CreateEditorOptions() override { events_.push_back("CreateEditorOptions"); }
  SettingsStore& Settings() override { return xml_; }
  void ShowWorkbench() override {
    events_.push_back("ShowWorkbench");
    visible_ = true;
    xml_.SetSettingsFile(settings_file_);
  }
  void HideWorkbench() override {
    events_.push_back("HideWorkbench");
    visible_ = false;
  }
  bool WorkbenchVisible() const override { return visible_; }
  void CloseWorkbench() override {
    events_.push_back("CloseWorkbench");
    visible_ = false;
  }

 private:
  EventLog& events_;
  std::string settings_file_;
  SettingsStore xml_;
  bool visible_ = false;
};

}  // namespace qorsv::testing

// An embedded web browser of the workbench (the result pane `browserqor`, the "Webpage result"
// page `webbrowser`) as model state: the address it was told to load, and how often.
//
// The page shows each as an iframe and loads `Url()` again whenever `Loads()` changes, so a
// navigation to the same address (the next Run) or a refresh loads afresh. The browser is busy
// from a navigation until the page reports the document loaded.
//
// UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace qorsv {

class EmbeddedBrowser {
 public:
  void Navigate(std::string url) {
    url_ = std::move(url);
    busy_ = true;
    ++loads_;
  }
  void Refresh() { ++loads_; }
  bool Busy() const { return busy_; }
  // The page's report that the document has been loaded (or failed to load).
  void DocumentComplete() { busy_ = false; }

  const std::string& Url() const { return url_; }
  uint64_t Loads() const { return loads_; }

 private:
  std::string url_;
  bool busy_ = false;
  uint64_t loads_ = 0;
};

}  // namespace qorsv

// The HTTP front end as the console's start-up sees it: the listener HTTPServer with the
// dispatcher behind it, the MIME table and the virtual host table with its editor.
//
// The console calls these on its UI thread at the moments of its start-up order; the host
// editor is the console page's, on the same thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/program.h"
#include "http/http_listener.h"
#include "http/virtual_host_editor.h"

namespace qorsv {

class HttpFrontEnd : public FrontEnd {
 public:
  HttpFrontEnd();

  void StartListening(uint16_t port) override { listener_.Start(port); }
  void StopListening() override { listener_.Stop(); }
  bool Listening() const override { return listener_.Active(); }
  void LoadMimeTable() override;
  std::vector<std::string> ReadHostTable() override;

  HostEditor* ConsoleHostEditor() override { return &host_editor_; }

 private:
  HttpListener listener_;
  VirtualHostEditor host_editor_;
};

}  // namespace qorsv

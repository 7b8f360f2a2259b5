// The qorsv program: the console's start-up with the HTTP front end wired in, and the script
// host's services that the console's events reach (MailLock, the SQL handle count, the caches
// released when idle).
#include <chrono>
#include <cstdint>
#include <optional>

#include "console/program.h"
#include "http/front_end.h"
#include "scripthost/mail.h"
#include "scripthost/sql_handles.h"
#include "transport/temp_files.h"

namespace {

class ServerFrontEnd : public qorsv::HttpFrontEnd {
 public:
  void ClearMailLock() override { qorsv::ClearMailLock(); }
  std::optional<uint32_t> CountSqlHandlesInUse() override { return qorsv::CountSqlHandlesInUse(); }
  // A cache unused for half a minute closes its descriptors: a server back at rest holds as
  // many as before its busy spell (idle connection threads end in the same time).
  void ReleaseIdleCaches() override {
    constexpr auto kIdle = std::chrono::seconds(30);
    qorsv::ReleaseIdleTempSpares(kIdle);
    qorsv::SqlHandles().CloseIdleConnections(kIdle);
  }
};

}  // namespace

int main() {
  ServerFrontEnd front_end;
  return qorsv::RunProgram(front_end);
}

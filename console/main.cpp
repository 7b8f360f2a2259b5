// The qorsv program: the console's start-up with the HTTP front end wired in, and the script
// host's services that the console's events reach (MailLock, the SQL handle count).
#include <cstdint>
#include <optional>

#include "console/program.h"
#include "http/front_end.h"
#include "scripthost/mail.h"
#include "scripthost/sql_handles.h"

namespace {

class ServerFrontEnd : public qorsv::HttpFrontEnd {
 public:
  void ClearMailLock() override { qorsv::ClearMailLock(); }
  std::optional<uint32_t> CountSqlHandlesInUse() override { return qorsv::CountSqlHandlesInUse(); }
};

}  // namespace

int main() {
  ServerFrontEnd front_end;
  return qorsv::RunProgram(front_end);
}

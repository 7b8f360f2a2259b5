// Natives for the local clock, the shared pseudo-random generator and the reverse name lookup.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "scripthost/native_groups.h"
#include "scripthost/script_random.h"

namespace qorsv {
namespace {

using script::NativeCall;

struct LocalNow {
  std::tm fields{};
  int millisecond = 0;
};

LocalNow ReadLocalClock() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  LocalNow local;
  localtime_r(&seconds, &local.fields);
  auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  local.millisecond = static_cast<int>(since_epoch.count() % 1000);
  return local;
}

int Hour(const LocalNow& now) { return now.fields.tm_hour; }
int Minute(const LocalNow& now) { return now.fields.tm_min; }
int Second(const LocalNow& now) { return std::min(now.fields.tm_sec, 59); }  // a leap second too
int Millisecond(const LocalNow& now) { return now.millisecond; }
int Year(const LocalNow& now) { return now.fields.tm_year + 1900; }
int Month(const LocalNow& now) { return now.fields.tm_mon + 1; }
int Day(const LocalNow& now) { return now.fields.tm_mday; }

// A native answering one part of the current local time.
template <int (*Part)(const LocalNow&)>
void ClockPart(NativeCall& call) {
  call.ReturnInt(Part(ReadLocalClock()));
}

// The host name a reverse lookup finds for a dotted IPv4 address, or "".
std::string ResolveIpToName(const std::string& address) {
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  if (inet_aton(address.c_str(), &socket_address.sin_addr) == 0) return "";
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&socket_address), sizeof socket_address, host,
                  sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    return "";
  }
  return host;
}

}  // namespace

void AddSystemNatives(NativeFunctionMap& natives) {
  natives["GETHOUR"] = ClockPart<Hour>;
  natives["GETMIN"] = ClockPart<Minute>;
  natives["GETSEC"] = ClockPart<Second>;
  natives["GETMSEC"] = ClockPart<Millisecond>;
  natives["GETYEAR"] = ClockPart<Year>;
  natives["GETMONTH"] = ClockPart<Month>;
  natives["GETDAY"] = ClockPart<Day>;

  natives["RESOLVEIPTONAME"] = [](NativeCall& call) {
    call.ReturnStr(ResolveIpToName(call.Str(0)));
  };
  natives["RANDOMIZE"] = [](NativeCall&) { ReseedScriptRandom(); };
  natives["RANDOM"] = [](NativeCall& call) {
    call.ReturnInt(ScriptRandom(static_cast<int32_t>(call.Int(0))));
  };
}

}  // namespace qorsv

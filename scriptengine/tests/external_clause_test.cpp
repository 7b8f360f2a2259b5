#include "scriptengine/external_clause.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorsv::script {
namespace {

using CC = CallingConvention;

TEST(ExternalClauseTest, AcceptedStrings) {
  struct Case {
    std::string text;
    std::string function;
    std::string library;
    CC convention;
    bool delay_load;
  };
  const std::vector<Case> cases = {
      {"Ping@netprobe.dll stdcall", "Ping", "netprobe.dll", CC::kStdcall, false},
      {"Ping@netprobe.dll", "Ping", "netprobe.dll", CC::kRegister, false},
      {"Ping@\"netprobe.dll\"", "Ping", "netprobe.dll", CC::kRegister, false},
      {"f@lib.dll CDECL", "f", "lib.dll", CC::kCdecl, false},
      {"f@lib.dll Pascal", "f", "lib.dll", CC::kPascal, false},
      {"f@lib.dll register", "f", "lib.dll", CC::kRegister, false},
      {"f@lib.dll stdcall DELAYLOAD", "f", "lib.dll", CC::kStdcall, true},
      {"f@\"my lib.dll\" StdCall delayload", "f", "my lib.dll", CC::kStdcall, true},
      {"f@\"my lib.dll\"", "f", "my lib.dll", CC::kRegister, false},
      // The function name runs up to the last "@".
      {"a@b@lib.dll cdecl", "a@b", "lib.dll", CC::kCdecl, false},
      {"f@/opt/x/libq.so.1 cdecl", "f", "/opt/x/libq.so.1", CC::kCdecl, false},
  };
  for (const Case& c : cases) {
    const ExternalClauseResult result = ParseExternalClause(c.text);
    ASSERT_TRUE(result.clause.has_value()) << c.text << " -> " << result.error;
    EXPECT_EQ(result.error, "") << c.text;
    EXPECT_EQ(result.clause->function_name, c.function) << c.text;
    EXPECT_EQ(result.clause->library_name, c.library) << c.text;
    EXPECT_EQ(result.clause->convention, c.convention) << c.text;
    EXPECT_EQ(result.clause->delay_load, c.delay_load) << c.text;
  }
}

TEST(ExternalClauseTest, RefusedStrings) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Ping", "Invalid External"},
      {"", "Invalid External"},
      {"f@lib.dll fastcall", "Invalid Calling Convention"},
      {"f@lib.dll ", "Invalid Calling Convention"},
      {"f@\"my lib.dll\" safecall", "Invalid Calling Convention"},
      {"f@lib.dll stdcall lazy", "Invalid External"},
      {"f@lib.dll stdcall delayload now", "Invalid External"},
      {"f@\"my lib.dll\"stdcall", "Invalid External"},
      {"f@\"my lib.dll stdcall", "Invalid External"},
      {"@lib.dll stdcall", "Invalid External"},
      {"f@", "Invalid External"},
      {"f@\"\" stdcall", "Invalid External"},
  };
  for (const auto& [text, error] : cases) {
    const ExternalClauseResult result = ParseExternalClause(text);
    EXPECT_FALSE(result.clause.has_value()) << text;
    EXPECT_EQ(result.error, error) << text;
  }
}

}  // namespace
}  // namespace qorsv::script

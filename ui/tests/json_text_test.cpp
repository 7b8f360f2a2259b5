#include "ui/json_text.h"

#include <gtest/gtest.h>

namespace qorsv {
namespace {

TEST(JsonTextTest, EveryByteSurvivesTheRoundTripThroughJson) {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte) bytes += static_cast<char>(byte);
  std::string wire = JsonText(bytes).dump();
  EXPECT_EQ(BytesOfJson(Json::parse(wire)), bytes);
}

TEST(JsonTextTest, TextFromPagesBecomesBytes) {
  struct Case {
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xE9"},   // é is byte 233
      {"\xE2\x82\xAC", "?"},        // the euro sign has no byte
      {"\xF0\x9F\x98\x80!", "?!"},  // nor has an emoji
      {"\xC3", "?"},                // a cut sequence
      {"a\xC3(b", "a?(b"},          // a broken one
      {"\xFF", "?"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToBytes(c.utf8), c.bytes) << c.utf8;
  EXPECT_EQ(BytesOfJson(Json(42), "fallback"), "fallback");
}

}  // namespace
}  // namespace qorsv

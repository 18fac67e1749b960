#include <gtest/gtest.h>

#include "tools/velmaris-batch/Batch.h"

namespace velmaris::batch {
namespace {

TEST(JsonLine, BytesBecomeLatin1CodePoints) {
  const struct {
    std::string bytes;
    std::string json;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\x01\r\n\t", "\"\\u0001\\r\\n\\t\""},
      {"\x8f\xe0\xa8", "\"\xc2\x8f\xc3\xa0\xc2\xa8\""},  // CP866 bytes kept as U+008F...
      {std::string("a\0b", 3), "\"a\\u0000b\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonLine::Quote(c.bytes), c.json) << c.bytes;
}

// Text that is UTF-8 already keeps its characters; ASCII is escaped as in
// byte strings, and bytes that are not UTF-8 are kept as byte strings are.
TEST(JsonLine, Utf8TextKeepsItsCharacters) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"out/Привет.pkt", "{\"f\":\"out/Привет.pkt\"}"},
      {"a\"ü\\\t測", "{\"f\":\"a\\\"ü\\\\\\t測\"}"},
      {"plain", "{\"f\":\"plain\"}"},
      {"\x8f\xe0\xa8", "{\"f\":\"\xc2\x8f\xc3\xa0\xc2\xa8\"}"},  // not UTF-8: as bytes
      {"\xd0", "{\"f\":\"\xc3\x90\"}"},                              // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(JsonLine().Utf8("f", c.text).Text(), c.json) << c.text;
}

TEST(JsonLine, ObjectShape) {
  JsonLine j;
  j.Str("name", "NETMAIL").Int("count", -3).UInt("unread", 7).Bool("ok", true);
  EXPECT_EQ(j.Text(), "{\"name\":\"NETMAIL\",\"count\":-3,\"unread\":7,\"ok\":true}");
}

}  // namespace
}  // namespace velmaris::batch

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

TEST(JsonLine, ObjectShape) {
  JsonLine j;
  j.Str("name", "NETMAIL").Int("count", -3).UInt("unread", 7).Bool("ok", true);
  EXPECT_EQ(j.Text(), "{\"name\":\"NETMAIL\",\"count\":-3,\"unread\":7,\"ok\":true}");
}

}  // namespace
}  // namespace velmaris::batch

#include "core/EMailAddress.h"

#include <gtest/gtest.h>

namespace velmaris::test {
namespace {

TEST(EMailAddressTest, SplitsAddressAndName) {
  struct {
    const char* line;
    bool found;
    const char* address;
    const char* name;
  } cases[] = {
      {"John Doe <john@example.org>", true, "john@example.org", "John Doe"},
      {"john@example.org (John Doe)", true, "john@example.org", "John Doe"},
      {"john@example.org", true, "john@example.org", "john@example.org"},
      {"<john@example.org>", true, "john@example.org", "john@example.org"},
      {"  \"John Doe\"   <john@example.org>  ", true, "john@example.org", "\"John Doe\""},
      {"John <a@b> Doe", true, "a@b", "John  Doe"},
      {"(John) x@y (Doe)", true, "x@y", "John)  (Doe"},
      {"a@b c@d", true, "a@b", "c@d"},
      {"@", true, "@", "@"},
      {"<<a@b>>", true, "<a@b>", "<a@b>"},
      {"Ivan \xC8\xE2\xE0\xED@mail.ru", true, "\xC8\xE2\xE0\xED@mail.ru", "Ivan"},
      {"No address here", false, "", "No address here"},
      {"", false, "", ""},
      {"  spaced  ", false, "", "  spaced  "},
  };
  for (const auto& c : cases) {
    std::string address = "stale", name = "stale";
    EXPECT_EQ(SplitEMailAddress(c.line, address, name), c.found) << c.line;
    EXPECT_EQ(address, c.address) << c.line;
    EXPECT_EQ(name, c.name) << c.line;
  }
}

}  // namespace
}  // namespace velmaris::test

#include <gtest/gtest.h>

#include "platform/Ascii.h"

namespace velmaris::platform {
namespace {

TEST(Ascii, ComparesWithoutCaseOnlyAsciiLetters) {
  const struct {
    const char* a;
    const char* b;
    bool equal, startsWith, endsWith, contains;  // of a with b
  } cases[] = {
      {"NetMail.MSG", "netmail.msg", true, true, true, true},
      {"netmail.msg", "netmail.ms", false, true, false, true},
      {"Outbound.PKT", ".pkt", false, false, true, true},
      {"Fileecho.TIC", "ECHO", false, false, false, true},
      {"a", "b", false, false, false, false},
      {"ab", "abc", false, false, false, false},
      {"abc", "", false, true, true, false},  // an empty needle is never contained
      {"\xe9t\xe9", "\xc9T\xc9", false, false, false, false},
      {"[a]", "{A}", false, false, false, false},  // neighbours of the letters do not fold
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(EqualNoCase(c.a, c.b), c.equal);
    EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.startsWith);
    EXPECT_EQ(EndsWithNoCase(c.a, c.b), c.endsWith);
    EXPECT_EQ(ContainsNoCase(c.a, c.b), c.contains);
  }
  EXPECT_EQ(UpperAscii("az\xe9"
                       "AZ@[`{"),
            "AZ\xe9"
            "AZ@[`{");
  EXPECT_EQ(LowerAscii("AZ\xc9"
                       "az@[`{"),
            "az\xc9"
            "az@[`{");
}

TEST(Ascii, HexDigitValues) {
  const std::string digits = "0123456789abcdefABCDEF";
  for (size_t i = 0; i < digits.size(); ++i)
    EXPECT_EQ(HexDigitValue(digits[i]), i < 16 ? int(i) : int(i) - 6);
  for (char c : std::string("gG/:@`\xff ")) EXPECT_EQ(HexDigitValue(c), -1) << c;
}

TEST(Ascii, ControlBytesAreWrittenAsHex) {
  EXPECT_EQ(EscapeControls(std::string("TOSS\r\n01/01/26 00:00:00 RECD forged\x7f\x00.pkt", 41)),
            "TOSS\\x0D\\x0A01/01/26 00:00:00 RECD forged\\x7F\\x00.pkt");
  EXPECT_EQ(EscapeControls("C:\\dir\xe4.pkt"), "C:\\x5Cdir\xe4.pkt");
}

}  // namespace
}  // namespace velmaris::platform

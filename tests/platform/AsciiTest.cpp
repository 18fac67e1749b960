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

// In UTF-8 text the C1 controls (U+0080 to U+009F) are escaped too, as
// their two bytes; in code-page text the bytes 0x80 to 0x9F are letters and
// stay, and so does every other character of UTF-8 text.
TEST(Ascii, C1ControlsAreEscapedOnlyInUtf8Text) {
  struct Case {
    std::string text, bytes, utf8;
  } cases[] = {
      {"A\u0085B.pkt", "A\u0085B.pkt", "A\\xC2\\x85B.pkt"},              // NEL
      {"\xC2\x80\xC2\x9F", "\xC2\x80\xC2\x9F", "\\xC2\\x80\\xC2\\x9F"},  // first and last C1
      {"\xC2\xA0\xC2\xA9", "\xC2\xA0\xC2\xA9", "\xC2\xA0\xC2\xA9"},      // NBSP, (c): no controls
      {"\xD0\x90\xD1\x8F.pkt", "\xD0\x90\xD1\x8F.pkt", "\xD0\x90\xD1\x8F.pkt"},  // "Ая"
      {"\xE2\x80\x85", "\xE2\x80\x85", "\xE2\x80\x85"},  // U+2005: 0x80, 0x85 inside
      // CP866 "АБВ", CP1251 "…Ђ": letters
      {"\x80\x81\x82", "\x80\x81\x82", "\x80\x81\x82"},
      {"\x85\x80", "\x85\x80", "\x85\x80"},
      {"a\xC2", "a\xC2", "a\xC2"},  // cut short
      {std::string("\x1B[\x00", 3), "\\x1B[\\x00", "\\x1B[\\x00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(EscapeControls(c.text), c.bytes);
    EXPECT_EQ(EscapeControlsUtf8(c.text), c.utf8);
  }
}

}  // namespace
}  // namespace velmaris::platform

// Byte-string helpers that ignore the locale: ASCII case folding and
// comparison, hexadecimal digits and the English month abbreviations that
// FidoNet dates and file times use. Bytes above 127 are left as they are,
// whatever the code page.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::platform {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string LowerAscii(std::string_view s);
std::string UpperAscii(std::string_view s);

// Comparisons without case (ASCII letters only).
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view tail);
// True when needle occurs in haystack; an empty needle never does.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// The text with every control byte (below 32, and 127) and every backslash
// written as \xNN (two upper-case hexadecimal digits), so that text from outside
// cannot break or forge a log line.
std::string EscapeControls(std::string_view s);
// The same for UTF-8 text (a name on disk, text converted from a code
// page): the C1 controls U+0080 to U+009F are escaped too, as their two
// bytes ("\xC2\x85"). Bytes 0x80 to 0x9F on their own stay: in a code page
// text they are letters (CP866 "А", CP1251 "Ђ"), and in UTF-8 parts of
// other characters.
std::string EscapeControlsUtf8(std::string_view s);

// The value of a hexadecimal digit (0-9, A-F, a-f); -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "Jan" to "Dec"; index 0 is January.
inline constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace velmaris::platform

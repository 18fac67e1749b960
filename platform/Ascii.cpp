#include "platform/Ascii.h"

namespace velmaris::platform {

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && EqualNoCase(s.substr(s.size() - tail.size()), tail);
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty() || needle.size() > haystack.size()) return false;
  const char first = AsciiLower(needle[0]);
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (AsciiLower(haystack[i]) == first &&
        EqualNoCase(haystack.substr(i, needle.size()), needle)) {
      return true;
    }
  }
  return false;
}

namespace {

void AppendEscaped(std::string& out, unsigned char b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

std::string Escape(std::string_view s, bool utf8) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 32 || b == 127 || b == '\\') {
      AppendEscaped(out, b);
    } else if (utf8 && b == 0xC2 && i + 1 < s.size() &&
               static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
      AppendEscaped(out, b);  // U+0080 to U+009F
      AppendEscaped(out, static_cast<unsigned char>(s[++i]));
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string EscapeControls(std::string_view s) { return Escape(s, false); }

std::string EscapeControlsUtf8(std::string_view s) { return Escape(s, true); }

}  // namespace velmaris::platform

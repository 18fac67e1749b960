#include "core/TextHelpers.h"

#include <cstring>

#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

inline bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }
inline bool IsWordChar(unsigned char c) { return c > 32; }

}  // namespace

std::string OemToAnsiStr(std::string_view text) { return platform::OemToAnsi(text); }

std::string AnsiToOemStr(std::string_view text) { return platform::AnsiToOem(text); }

bool ReplaceFirst(std::string& text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return false;
  size_t pos = text.find(find);
  if (pos == std::string::npos) return false;
  text.replace(pos, find.size(), replacement);
  return true;
}

void ReplaceCharByStr(std::string& text, char c, std::string_view replacement) {
  if (text.find(c) == std::string::npos) return;
  std::string out;
  out.reserve(text.size() + replacement.size() * 4);
  for (char ch : text) {
    if (ch == c) {
      out.append(replacement);
    } else {
      out.push_back(ch);
    }
  }
  text = std::move(out);
}

void ReplaceChar(std::string& text, char from, char to) {
  for (char& ch : text) {
    if (ch == from) ch = to;
  }
}

uint32_t HexStrToInt(std::string_view text) {
  uint32_t value = 0;
  for (char ch : text) {
    const int digit = platform::HexDigitValue(ch);
    if (digit < 0) return 0;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

std::string PCharToStrUntilCR(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && text[end] != '\r' && text[end] != '\0') ++end;
  return std::string(text.substr(0, end));
}

std::string PCharToStrUntilCR(const char* text) {
  if (!text) return {};
  return PCharToStrUntilCR(std::string_view(text));
}

void SplitStrAt(std::string& text, std::string& head, int count) {
  if (count <= 0) {
    head.clear();
    return;
  }
  size_t n = static_cast<size_t>(count);
  if (n >= text.size()) {
    head = std::move(text);
    text.clear();
    return;
  }
  head = text.substr(0, n);
  text.erase(0, n);
}

int PCharPos(char c, const char* text, int maxLength) {
  if (!text) return 0;
  for (int i = 0; i < maxLength && text[i] != '\0'; ++i) {
    if (text[i] == c) return i + 1;
  }
  return 0;
}

void SkipBlanks(const char*& p) {
  if (!p) return;
  while (IsBlank(static_cast<unsigned char>(*p))) ++p;
}

void SkipWord(const char*& p) {
  if (!p) return;
  SkipBlanks(p);
  while (IsWordChar(static_cast<unsigned char>(*p))) ++p;
}

void SkipWordStopAtEsc(const char*& p) {
  if (!p) return;
  while (IsBlank(static_cast<unsigned char>(*p)) && *p != 27) ++p;
  while (IsWordChar(static_cast<unsigned char>(*p))) ++p;
}

void CutFirstWord(std::string& text, std::string& word) {
  size_t start = 0;
  while (start < text.size() && IsBlank(static_cast<unsigned char>(text[start]))) ++start;
  size_t end = start;
  while (end < text.size() && IsWordChar(static_cast<unsigned char>(text[end]))) ++end;
  word = text.substr(start, end - start);
  text.erase(0, end);
}

void CutFirstWord255(std::string& text, std::string& word) { CutFirstWord(text, word); }

void CutFirstWordShort(std::string& text, std::string& word) {
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  size_t end = text.find(' ', start);
  if (end == std::string::npos) end = text.size();
  word = text.substr(start, end - start);
  text.erase(0, end);
}

void CutFirstWordOrQuoted(std::string& text, std::string& word) {
  size_t pos = 0;
  while (pos < text.size() && IsBlank(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos >= text.size()) {
    text.clear();
    word.clear();
    return;
  }
  char closing = ' ';
  size_t opening = pos;
  bool quoted = false;
  if (text[pos] == '"') {
    ++pos;
    closing = '"';
    quoted = true;
    if (pos < text.size() && text[pos] == '\x7f') {
      ++pos;
      closing = '\x7f';
    }
  }
  size_t end = text.find(closing, pos);
  if (end == std::string::npos) end = text.size();
  word = text.substr(pos, end - pos);
  if (quoted) {
    // The word goes with its opening quote characters and its closing one.
    size_t stop = end < text.size() ? end + 1 : end;
    text.erase(opening, stop - opening);
  } else {
    text.erase(pos, end - pos);
  }
}

void CutWrappedLine(std::string& text, int maxLength, std::string& line) {
  if (maxLength < 1) maxLength = 1;
  const size_t max = static_cast<size_t>(maxLength);
  if (text.size() <= max) {
    line = std::move(text);
    text.clear();
    return;
  }
  const char* start = text.c_str();
  const char* p = start;
  const char* before = p;
  for (;;) {
    before = p;
    SkipWord(p);
    if (static_cast<size_t>(p - start) > max) {
      p = before;
      break;
    }
    if (p == before) break;
  }
  size_t runEnd = static_cast<size_t>(p - start);
  if (runEnd > 0) {
    line = text.substr(0, runEnd);
    SkipBlanks(p);
    text.erase(0, static_cast<size_t>(p - start));
  } else {
    line = text.substr(0, max);
    text.erase(0, max);
  }
}

}  // namespace velmaris

namespace velmaris {

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(at, end - at));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    at = end + 1;
  }
  return lines;
}

void UpperAsciiInPlace(std::string& text) {
  // Eight bytes at a time: a byte below 0x80 whose value lies in 'a' .. 'z'
  // loses its 0x20 bit. Each byte is tested without carries into the next
  // (the high bit of every byte is masked before the additions).
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x80 * kOnes;
  char* p = text.data();
  size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    const uint64_t low = x & ~kHigh;
    const uint64_t fromA = low + (0x80 - 'a') * kOnes;      // high bit set: >= 'a'
    const uint64_t pastZ = low + (0x80 - 'z' - 1) * kOnes;  // high bit set: > 'z'
    x ^= ((fromA & ~pastZ & ~x & kHigh) >> 2);
    std::memcpy(p, &x, 8);
  }
  for (; n > 0; ++p, --n)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
}

std::string UpperAsciiStr(std::string_view text) {
  std::string out(text);
  UpperAsciiInPlace(out);
  return out;
}

}  // namespace velmaris

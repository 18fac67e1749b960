#include "widgets/logic/VxStrUtils.h"

#include <vector>

#include "platform/Process.h"

namespace velmaris {

namespace {

bool In(const TCharSet& set, char c) { return set.test(static_cast<unsigned char>(c)); }

// The words up to the first empty one.
std::vector<std::string> CommandWords(std::string_view commandLine) {
  std::vector<std::string> words = platform::SplitCommandLine(commandLine);
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i].empty()) {
      words.resize(i);
      break;
    }
  }
  return words;
}

}  // namespace

TCharSet MakeCharSet(std::string_view chars) {
  TCharSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

std::string ReplaceAll(std::string_view s, std::string_view search, std::string_view replacement) {
  if (search.empty()) return std::string(s);
  std::string out;
  size_t from = 0;
  for (size_t at = s.find(search); at != std::string_view::npos; at = s.find(search, from)) {
    out.append(s.substr(from, at - from));
    out.append(replacement);
    from = at + search.size();
  }
  out.append(s.substr(from));
  return out;
}

std::string RepeatChar(char c, int n) { return n < 1 ? std::string() : std::string(n, c); }

bool ConsistsOfChars(std::string_view s, const TCharSet& chars) {
  for (char c : s) {
    if (!In(chars, c)) return false;
  }
  return true;
}

size_t WordPosition(int n, std::string_view s, const TCharSet& delims) {
  int count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (In(delims, s[i])) continue;
    if (i == 0 || In(delims, s[i - 1])) {
      if (++count == n) return i + 1;
    }
  }
  return 0;
}

std::string ExtractWordN(int n, std::string_view s, const TCharSet& delims) {
  size_t pos = WordPosition(n, s, delims);
  if (pos == 0) return {};
  std::string out;
  for (size_t i = pos - 1; i < s.size() && !In(delims, s[i]); ++i) out.push_back(s[i]);
  return out;
}

std::string ExtractDelimited(std::string_view s, size_t& pos, const TCharSet& delims) {
  std::string out;
  if (pos < 1) pos = 1;
  size_t i = pos - 1;
  for (; i < s.size() && !In(delims, s[i]); ++i) out.push_back(s[i]);
  if (i < s.size()) ++i;  // the one delimiter
  pos = i + 1;
  return out;
}

int CountCommandWords(std::string_view commandLine) {
  return static_cast<int>(CommandWords(commandLine).size());
}

std::string GetCommandWord(std::string_view commandLine, int index) {
  const auto words = CommandWords(commandLine);
  return index >= 0 && static_cast<size_t>(index) < words.size() ? words[index] : std::string();
}

void SplitCommandLine(std::string_view commandLine, std::string& program, std::string& parameters) {
  const auto words = CommandWords(commandLine);
  program = words.empty() ? std::string() : words[0];
  parameters.clear();
  for (size_t i = 1; i < words.size(); ++i) {
    if (i > 1) parameters.push_back(' ');
    const bool blank = words[i].find(' ') != std::string::npos;
    if (blank) parameters.push_back('"');
    parameters += words[i];
    if (blank) parameters.push_back('"');
  }
}

VxRect ClampRectToScreen(VxRect r, int screenWidth, int screenHeight) {
  auto shift = [](int& lo, int& hi, int limit) {
    if (hi > limit) {
      lo -= hi - limit;
      hi = limit;
    }
    if (lo < 0) {
      hi -= lo;
      lo = 0;
    }
  };
  shift(r.left, r.right, screenWidth);
  shift(r.top, r.bottom, screenHeight);
  return r;
}

bool PointInRectInclusive(int x, int y, const VxRect& r) {
  return r.left <= x && x <= r.right && r.top <= y && y <= r.bottom;
}

}  // namespace velmaris

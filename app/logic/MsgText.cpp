#include "app/logic/MsgText.h"

#include <stdexcept>
#include <utility>

#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"

namespace velmaris {

namespace {

using platform::AsciiUpper;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordByte(char c) { return static_cast<unsigned char>(c) > 32; }

bool HasWord(const std::string& s) {
  for (char c : s)
    if (IsWordByte(c)) return true;
  return false;
}

// "RE" followed by the given third character, the letters in any case.
bool HasMarkerStart(std::string_view s, char third) {
  return s.size() >= 3 && AsciiUpper(s[0]) == 'R' && AsciiUpper(s[1]) == 'E' && s[2] == third;
}

// Position after the digits that start at from.
size_t SkipDigits(std::string_view s, size_t from) {
  while (from < s.size() && IsDigit(s[from])) ++from;
  return from;
}

// A decimal number of any length plus one, without leading zeros. Reply
// counts are text, so a count too large for an integer still goes up by one.
std::string IncrementDecimal(std::string_view digits) {
  size_t first = 0;
  while (first + 1 < digits.size() && digits[first] == '0') ++first;
  std::string n(digits.substr(first));
  for (size_t i = n.size(); i-- > 0;) {
    if (n[i] != '9') {
      ++n[i];
      return n;
    }
    n[i] = '0';
  }
  return "1" + n;
}

void AppendEscapeAsText(std::string& out, unsigned char code) {
  switch (code) {
    case kEscBoldOn:
    case kEscBoldOff: out += '*'; return;
    case kEscItalicOn:
    case kEscItalicOff: out += "//"; return;
    case kEscUnderlineOn:
    case kEscUnderlineOff: out += '_'; return;
    case kEscNormalColor:
    case kEscQuoteColor: return;
    default:
      if (code >= kEscFirstColor && code <= kEscLastColor) return;
      out += ']';
      out += static_cast<char>(code);
  }
}

}  // namespace

void TrimLeftControl(std::string& s) {
  size_t n = 0;
  while (n < s.size() && !IsWordByte(s[n])) ++n;
  s.erase(0, n);
}

std::string StripReplyMarker(std::string_view subject) {
  std::string s(subject);
  if (s.size() > 3 && HasMarkerStart(s, ':')) {
    s.erase(0, s[3] == ' ' ? 4 : 3);
  } else if (s.size() > 3 && HasMarkerStart(s, '^')) {
    size_t p = SkipDigits(s, 3);
    if (p < s.size() && s[p] == ':') {
      ++p;
      if (p < s.size() && s[p] == ' ') ++p;
      s.erase(0, p);
    }
  }
  TrimLeftControl(s);
  return s;
}

std::string ReplySubject(std::string_view subject, bool strip) {
  std::string result;
  if (HasMarkerStart(subject, ':')) {
    std::string_view rest = subject.substr(3);
    result = strip ? std::string(rest) : "Re^2: " + std::string(rest);
  } else if (HasMarkerStart(subject, '^')) {
    size_t p = SkipDigits(subject, 3);
    if (p > 3 && p < subject.size() && subject[p] == ':') {
      std::string_view rest = subject.substr(p + 1);
      result = strip ? std::string(rest)
                     : "Re^" + IncrementDecimal(subject.substr(3, p - 3)) + ":" + std::string(rest);
    } else {
      result = "Re:" + std::string(subject);
    }
  } else {
    result = strip ? std::string(subject) : "Re: " + std::string(subject);
  }
  TrimLeftControl(result);
  return result;
}

std::string MakeQuotable(std::string_view line) {
  std::string out;
  out.reserve(line.size() + 16);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == kDisplayEsc) {
      // An ESC without its code byte at the very end shows as "]".
      if (i + 1 < line.size())
        AppendEscapeAsText(out, static_cast<unsigned char>(line[++i]));
      else
        out += ']';
    } else {
      out += c == kKludgeChar ? '@' : c;
    }
  }
  if (out.starts_with("---") && (out.size() == 3 || out[3] == ' ')) {
    out = "-+- " + (out.size() > 4 ? out.substr(4) : std::string());
  } else if (out.starts_with("AREA:") || out.starts_with("SEEN-BY:")) {
    out.insert(0, "@");
  }
  if (out.size() >= 11 && UpperAsciiStr(std::string_view(out).substr(0, 11)) == " * ORIGIN: ")
    out = " @ ORIGINAL: " + out.substr(11);
  return out;
}

std::string QuotePrefix(std::string_view oldPrefix, std::string_view initials) {
  std::string rest(oldPrefix), first;
  int words = 0;
  if (HasWord(rest)) {
    CutFirstWordOrQuoted(rest, first);
    words = HasWord(rest) ? 2 : 1;
  }
  if (words == 2) return " " + std::string(initials) + "> " + std::string(oldPrefix);
  // The quoted text is in the ANSI code page, as the reader shows it.
  std::string prefix = words == 1 && first.ends_with('>') && first.find('<') == std::string::npos
                           ? " " + first + "> "
                           : " " + std::string(initials) + "> ";
  platform::UpperInPlace(prefix, platform::AnsiCodePage());
  return prefix;
}

void Rot13(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>('A' + (c - 'A' + 13) % 26);
    else if (c >= 'a' && c <= 'z')
      c = static_cast<char>('a' + (c - 'a' + 13) % 26);
  }
}

void TIntegerList::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

int32_t TIntegerList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

void TIntegerList::Set(int index, int32_t value) {
  CheckIndex(index);
  items_[static_cast<size_t>(index)] = value;
}

int TIntegerList::Add(int32_t value) {
  items_.push_back(value);
  return Count() - 1;
}

void TIntegerList::SetCapacity(int capacity) {
  if (capacity > 0) items_.reserve(static_cast<size_t>(capacity));
}

int TIntegerList::IndexOf(int32_t value) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == value) return static_cast<int>(i);
  return -1;
}

void TIntegerList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

}  // namespace velmaris

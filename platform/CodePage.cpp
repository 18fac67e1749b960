#include "platform/CodePage.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>
#include <vector>

#include "platform/Ascii.h"
#include "platform/CaseFold.h"  // RecodeExact

namespace velmaris::platform {

namespace {

// Bytes 0x00-0x7F are ASCII in every supported code page; these tables give
// the code points of bytes 0x80-0xFF, from the published code-page charts.
// Positions a chart leaves undefined (CP1251 0x98; CP1252 0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, as Windows' own
// conversion does, so that every byte survives a round trip through Unicode.
constexpr char16_t kCP866[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};
constexpr char16_t kCP437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};
constexpr char16_t kCP1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};
constexpr char16_t kCP1252[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // C8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,  // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // E8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,  // F8
};

const char16_t* TableOf(CodePage cp) {
  switch (cp) {
    case CodePage::CP866: return kCP866;
    case CodePage::CP437: return kCP437;
    case CodePage::CP1251: return kCP1251;
    case CodePage::CP1252: return kCP1252;
  }
  return kCP1252;
}

// The reverse table of one code page: (code point, byte) sorted by code
// point.
using Reverse = std::array<std::pair<char16_t, unsigned char>, 128>;

Reverse MakeReverse(CodePage cp) {
  Reverse r{};
  const char16_t* t = TableOf(cp);
  for (int i = 0; i < 128; ++i) r[i] = {t[i], static_cast<unsigned char>(0x80 + i)};
  std::sort(r.begin(), r.end());
  return r;
}

const Reverse& ReverseOf(CodePage cp) {
  static const std::array<Reverse, 4> all = {
      MakeReverse(CodePage::CP866), MakeReverse(CodePage::CP437), MakeReverse(CodePage::CP1251),
      MakeReverse(CodePage::CP1252)};
  return all[static_cast<size_t>(cp)];
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns the code point and advances i,
// or returns nothing (advancing one byte) for a malformed, overlong or
// surrogate sequence.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    ++i;
    return true;
  }
  int len;
  char32_t c;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + len > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += len;
  out = c;
  return true;
}

// The nearest character for one that a code page may lack, so that text
// keeps its sense where the page has no place for a character: quotes and
// dashes as their ASCII forms, a Ukrainian or Macedonian letter as the
// Russian letter it is written like, an accented Latin letter as its base
// letter. One character for one, so that a text cut to a field's bound
// before its conversion still fits after it. Sorted by code point.
constexpr std::pair<char16_t, char16_t> kNearest[] = {
    {0x00A0, ' '},    {0x00A6, '|'},    {0x00A9, 'c'},    {0x00AB, '"'},    {0x00AD, '-'},
    {0x00AE, 'R'},    {0x00B5, 'u'},    {0x00BB, '"'},    {0x0401, 0x0415}, {0x0403, 0x0413},
    {0x0404, 0x0415}, {0x0405, 'S'},    {0x0406, 'I'},    {0x0407, 'I'},    {0x0408, 'J'},
    {0x040C, 0x041A}, {0x040E, 0x0423}, {0x0451, 0x0435}, {0x0453, 0x0433}, {0x0454, 0x0435},
    {0x0455, 's'},    {0x0456, 'i'},    {0x0457, 'i'},    {0x0458, 'j'},    {0x045C, 0x043A},
    {0x045E, 0x0443}, {0x0490, 0x0413}, {0x0491, 0x0433}, {0x2010, '-'},    {0x2011, '-'},
    {0x2012, '-'},    {0x2013, '-'},    {0x2014, '-'},    {0x2015, '-'},    {0x2018, '\''},
    {0x2019, '\''},   {0x201A, '\''},   {0x201B, '\''},   {0x201C, '"'},    {0x201D, '"'},
    {0x201E, '"'},    {0x201F, '"'},    {0x2020, '+'},    {0x2021, '+'},    {0x2022, '*'},
    {0x2026, '.'},    {0x2030, '%'},    {0x2039, '<'},    {0x203A, '>'},    {0x20AC, 'E'},
    {0x2116, 'N'},    {0x2122, 'T'},    {0x2212, '-'},
};

// The base letters of U+00C0 to U+00FF (x for the multiplication sign, / for
// the division sign).
constexpr char kLatin1Base[] = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYPsaaaaaaaceeeeiiiidnooooo/ouuuuypy";

char32_t Nearest(char32_t c) {
  if (c >= 0xC0 && c <= 0xFF) return static_cast<unsigned char>(kLatin1Base[c - 0xC0]);
  const auto* end = std::end(kNearest);
  const auto* it = std::lower_bound(std::begin(kNearest), end, c,
                                    [](const auto& e, char32_t k) { return e.first < k; });
  return it != end && it->first == c ? it->second : 0;
}

// The byte for a code point in a text: the character itself, else its
// nearest character the page holds, else the fallback.
unsigned char TextByte(char32_t c, CodePage cp, unsigned char fallback) {
  const unsigned char b = FromUnicode(c, cp, 0);
  if (b != 0 || c == 0) return b;
  for (char32_t n = Nearest(c); n != 0; n = Nearest(n)) {
    if (const unsigned char nb = FromUnicode(n, cp, 0)) return nb;
  }
  return fallback;
}

std::atomic<CodePage> gOem{CodePage::CP866};
std::atomic<CodePage> gAnsi{CodePage::CP1251};

}  // namespace

char32_t ToUnicode(unsigned char byte, CodePage cp) {
  if (byte < 0x80) return byte;
  return TableOf(cp)[byte - 0x80];
}

unsigned char FromUnicode(char32_t cp32, CodePage cp, unsigned char fallback) {
  if (cp32 < 0x80) return static_cast<unsigned char>(cp32);
  if (cp32 > 0xFFFF) return fallback;
  const Reverse& r = ReverseOf(cp);
  const auto key = static_cast<char16_t>(cp32);
  auto it = std::lower_bound(r.begin(), r.end(), key,
                             [](const auto& e, char16_t k) { return e.first < k; });
  if (it != r.end() && it->first == key) return it->second;
  return fallback;
}

std::string ToUtf8(std::string_view bytes, CodePage cp) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) AppendUtf8(out, ToUnicode(static_cast<unsigned char>(ch), cp));
  return out;
}

std::string FromUtf8(std::string_view utf8, CodePage cp, unsigned char fallback) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t c;
    if (DecodeUtf8(utf8, i, c)) {
      out += static_cast<char>(TextByte(c, cp, fallback));
    } else {
      out += static_cast<char>(fallback);
    }
  }
  return out;
}

const char* CodePageName(CodePage cp) {
  switch (cp) {
    case CodePage::CP866: return "CP866";
    case CodePage::CP437: return "CP437";
    case CodePage::CP1251: return "CP1251";
    case CodePage::CP1252: return "CP1252";
  }
  return "?";
}

std::optional<std::string> FromUtf8Exact(std::string_view utf8, CodePage cp) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t c;
    if (!DecodeUtf8(utf8, i, c)) return std::nullopt;
    // 0 is the byte of U+0000 alone, so it marks a character cp lacks.
    const unsigned char b = FromUnicode(c, cp, 0);
    if (b == 0 && c != 0) return std::nullopt;
    out += static_cast<char>(b);
  }
  return out;
}

std::optional<std::string> FirstCharacterLacking(std::string_view utf8, CodePage cp) {
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    char32_t c;
    if (!DecodeUtf8(utf8, i, c)) return std::nullopt;
    if (FromUnicode(c, cp, 0) == 0 && c != 0) return std::string(utf8.substr(start, i - start));
  }
  return std::nullopt;
}

std::string EscapeNameControls(std::string_view name) {
  return IsUtf8(name) ? EscapeControlsUtf8(name) : EscapeControls(name);
}

bool IsUtf8(std::string_view bytes) {
  size_t i = 0;
  char32_t c;
  while (i < bytes.size())
    if (!DecodeUtf8(bytes, i, c)) return false;
  return true;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
  return utf8.substr(0, cut);
}

std::string Recode(std::string_view bytes, CodePage from, CodePage to) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out += static_cast<char>(b < 0x80 || from == to ? b : TextByte(ToUnicode(b, from), to, '?'));
  }
  return out;
}

CodePage OemCodePage() { return gOem.load(); }
CodePage AnsiCodePage() { return gAnsi.load(); }
void SetOemCodePage(CodePage cp) { gOem.store(cp); }
void SetAnsiCodePage(CodePage cp) { gAnsi.store(cp); }

std::string OemToAnsi(std::string_view bytes) {
  return Recode(bytes, OemCodePage(), AnsiCodePage());
}
std::string AnsiToOem(std::string_view bytes) {
  return Recode(bytes, AnsiCodePage(), OemCodePage());
}
std::string TextFileToAnsi(std::string_view bytes, bool oem) {
  if (IsUtf8(bytes)) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return Utf8ToAnsi(bytes);
  }
  return oem ? OemToAnsi(bytes) : std::string(bytes);
}
std::string AnsiToUtf8(std::string_view bytes) { return ToUtf8(bytes, AnsiCodePage()); }
std::string Utf8ToAnsi(std::string_view utf8) { return FromUtf8(utf8, AnsiCodePage()); }
std::string OemToUtf8(std::string_view bytes) { return ToUtf8(bytes, OemCodePage()); }

std::string PathFromStored(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes);
}
std::string DiskName(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : OemToUtf8(bytes);
}
std::string DiskNameText(std::string_view name) {
  if (IsUtf8(name)) return std::string(name);
  std::string out;
  out.reserve(name.size() * 2);
  size_t start = 0;
  for (;;) {
    const size_t slash = name.find('/', start);
    const std::string_view part =
        name.substr(start, slash == std::string_view::npos ? slash : slash - start);
    out += IsUtf8(part) ? std::string(part) : AnsiToUtf8(part);
    if (slash == std::string_view::npos) return out;
    out += '/';
    start = slash + 1;
  }
}
namespace {

std::vector<std::string_view> NameParts(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) {
      parts.push_back(name.substr(start));
      return parts;
    }
    parts.push_back(name.substr(start, slash - start));
    start = slash + 1;
  }
}

// One trailing '/' off (not off "/" itself); whether there was one.
bool DropTrailingSlash(std::string_view& name) {
  if (name.size() < 2 || name.back() != '/') return false;
  name.remove_suffix(1);
  return true;
}

// A typed part of a name (UTF-8) as it is written: a U+FFFD (a name a file
// dialog could not read) becomes '_', never the replacement character.
std::string TypedPart(std::string_view typed) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string part(typed);
  for (size_t at = part.find(kReplacement); at != std::string::npos;
       at = part.find(kReplacement, at + 1))
    part.replace(at, kReplacement.size(), "_");
  return part;
}

bool NameExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The bytes of the entry under `parent` (the bytes of an absolute folder,
// ending in '/') that the user sees as `typed`: its UTF-8 spelling, else its
// spelling in the ANSI page (an older version's folder); nothing when there
// is neither.
std::optional<std::string> PartOnDisk(const std::string& parent, const std::string& typed) {
  if (parent.empty() || parent.front() != '/' || typed.empty() || typed == "." || typed == "..")
    return std::nullopt;
  if (NameExists(parent + typed)) return typed;
  const std::optional<std::string> ansi = FromUtf8Exact(typed, AnsiCodePage());
  if (ansi && *ansi != typed && !IsUtf8(*ansi) && NameExists(parent + *ansi)) return ansi;
  return std::nullopt;
}

}  // namespace

std::string DiskNameFromText(std::string_view filled, std::string_view text) {
  if (text == DiskNameText(filled)) return std::string(filled);
  DropTrailingSlash(filled);
  const bool slash = DropTrailingSlash(text);
  const std::vector<std::string_view> was = NameParts(filled);
  const std::vector<std::string_view> now = NameParts(text);
  // Only an unchanged leading path keeps the bytes it was filled with: the
  // same text under another parent may be another folder.
  size_t head = 0;
  while (head < was.size() && head < now.size() &&
         (IsUtf8(was[head]) ? std::string(was[head]) : AnsiToUtf8(was[head])) == now[head])
    ++head;
  std::string out;
  out.reserve(text.size() + 1);
  for (size_t i = 0; i < now.size(); ++i) {
    if (i > 0) out += '/';
    if (i < head) {
      out += was[i];
      continue;
    }
    const std::string typed = TypedPart(now[i]);
    out += PartOnDisk(out, typed).value_or(typed);
  }
  if (slash) out += '/';
  return out;
}

std::string LineText(std::string_view outside, LinePage page) {
  return page == LinePage::Utf8 ? DiskNameText(outside) : Utf8ToAnsi(DiskNameText(outside));
}
std::string LogName(std::string_view name) { return LineText(name, LinePage::Ansi); }
std::optional<std::string> PathToOem(std::string_view path) {
  return FromUtf8Exact(DiskNameText(path), OemCodePage());
}
std::string PathToOemText(std::string_view path) {
  return FromUtf8(DiskNameText(path), OemCodePage());
}
namespace {
bool IsAscii(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}
// Well-formed UTF-8 that holds a Cyrillic letter (U+0400 to U+04FF): text a
// modern tosser wrote, never a tag of a code page. No CP866 tag a person
// writes holds these byte pairs (a box-drawing line before a letter).
bool IsUtf8Cyrillic(std::string_view bytes) {
  if (!IsUtf8(bytes)) return false;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead >= 0xD0 && lead <= 0xD3) return true;
  }
  return false;
}
// Whether the ANSI page's name goes into the OEM page and comes back as it is.
bool GoesToOemAndBack(std::string_view name) {
  const std::optional<std::string> oem = RecodeExact(name, AnsiCodePage(), OemCodePage());
  return oem && RecodeExact(*oem, OemCodePage(), AnsiCodePage()) == name;
}
}  // namespace

std::string TagToOem(std::string_view tag, bool raw) {
  if (raw) return std::string(tag);
  return RecodeExact(tag, AnsiCodePage(), OemCodePage()).value_or(std::string(tag));
}
std::string TagToOem(std::string_view tag) {
  // An AREA line comes here whole: the tag is what follows "AREA:".
  std::string_view name = tag;
  if (name.substr(0, 5) == "AREA:") name.remove_prefix(5);
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.remove_suffix(1);
  return TagToOem(tag, IsRawTag(name));
}
bool IsRawTag(std::string_view name) {
  if (IsAscii(name)) return false;
  if (IsUtf8Cyrillic(name)) return true;
  // A name that TagFromOem could have made from a tag in the OEM page (it
  // goes into that page and comes back as it is) is that tag converted, even
  // when its bytes happen to be valid UTF-8 too: CP866 "RU.ЛЁ" is CP1251
  // CB A8, which UTF-8 reads as one modifier letter. Bytes the ANSI page
  // cannot send back stay raw.
  return !GoesToOemAndBack(name);
}
bool IsRawPacketTag(std::string_view tag) {
  if (IsAscii(tag)) return false;
  if (IsUtf8Cyrillic(tag)) return true;
  return !RecodeExact(tag, OemCodePage(), AnsiCodePage());
}
bool IsRawTypedTag(std::string_view name) { return !IsAscii(name) && !GoesToOemAndBack(name); }
bool IsUtf8Tag(std::string_view name) { return IsUtf8(name) && IsRawTag(name); }
std::string TagText(std::string_view name) {
  return IsUtf8Tag(name) ? std::string(name) : AnsiToUtf8(name);
}
std::string TagInPage(std::string_view name, CodePage page) {
  return IsUtf8Tag(name) ? FromUtf8(name, page) : Recode(name, AnsiCodePage(), page);
}
std::string TagInAnsi(std::string_view name) { return TagInPage(name, AnsiCodePage()); }
std::string TagText(std::string_view name, bool raw) {
  return raw && IsUtf8(name) ? std::string(name) : AnsiToUtf8(name);
}
std::string TagInPage(std::string_view name, bool raw, CodePage page) {
  return raw && IsUtf8(name) ? FromUtf8(name, page) : Recode(name, AnsiCodePage(), page);
}
std::string TagInAnsi(std::string_view name, bool raw) {
  return TagInPage(name, raw, AnsiCodePage());
}
std::string TagFromOem(std::string_view tag) {
  return RecodeExact(tag, OemCodePage(), AnsiCodePage()).value_or(std::string(tag));
}

}  // namespace velmaris::platform

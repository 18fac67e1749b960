#include "platform/CaseFold.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/Ascii.h"

namespace velmaris::platform {

namespace {

// The small letter of a capital, for the capitals the supported code pages
// hold; any other code point stands for itself.
char32_t SmallLetter(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return c + 0x20;  // Latin-1
  if (c == 0x0178) return 0x00FF;                                  // Ÿ
  // Latin Extended-A: pairs of capital and small letter, the capital on an
  // even code point in the first and third run and on an odd one between.
  if ((c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177))
    return c % 2 == 0 ? c + 1 : c;
  if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) return c % 2 == 1 ? c + 1 : c;
  if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return c + 0x20;    // Greek
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;                   // Ѐ .. Џ
  if (c >= 0x0410 && c <= 0x042F) return c + 0x20;                   // А .. Я
  if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF))  // Ѡ .., Ґ ..
    return c % 2 == 0 ? c + 1 : c;
  return c;
}

CaseFold MakeFold(CodePage cp) {
  CaseFold fold{};
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    const char32_t letter = ToUnicode(byte, cp);
    const char32_t small = SmallLetter(letter);
    // 0 never stands for a letter: it tells that the code page lacks the
    // small letter, and the capital then stays as it is.
    const unsigned char to = small == letter ? byte : FromUnicode(small, cp, 0);
    fold[b] = to != 0 ? to : byte;
  }
  return fold;
}

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

// The Cyrillic letters that follow another letter of their alphabet but lie
// outside the run а..я: the small letter, the letter it follows and its
// place among the letters that follow the same one.
struct Follower {
  char32_t letter, after;
  uint8_t place;
};
constexpr Follower kFollowers[] = {
    {0x0451, 0x0435, 1},  // ё after е
    {0x0454, 0x0435, 2},  // є
    {0x0491, 0x0433, 1},  // ґ after г
    {0x0453, 0x0433, 2},  // ѓ
    {0x0452, 0x0434, 1},  // ђ after д
    {0x0455, 0x0437, 1},  // ѕ after з
    {0x0456, 0x0438, 1},  // і after и
    {0x0457, 0x0438, 2},  // ї
    {0x0458, 0x0438, 3},  // ј
    {0x045C, 0x043A, 1},  // ќ after к
    {0x0459, 0x043B, 1},  // љ after л
    {0x045A, 0x043D, 1},  // њ after н
    {0x045B, 0x0442, 1},  // ћ after т
    {0x045E, 0x0443, 1},  // ў after у
    {0x045F, 0x0447, 1},  // џ after ч
};

using Ranks = std::array<uint16_t, 256>;

// The rank of every byte: the byte value in the high byte, or for a follower
// the byte of the letter it follows and its place in the low byte.
Ranks MakeRanks(CodePage cp) {
  Ranks ranks{};
  for (int b = 0; b < 256; ++b) {
    ranks[b] = static_cast<uint16_t>(b << 8);
    const char32_t c = ToUnicode(static_cast<unsigned char>(b), cp);
    const bool capital = (c >= 0x0400 && c <= 0x040F) || c == 0x0490;
    const char32_t small = c == 0x0490 ? 0x0491 : capital ? c + 0x50 : c;
    for (const Follower& f : kFollowers) {
      if (f.letter != small) continue;
      const unsigned char after = FromUnicode(capital ? f.after - 0x20 : f.after, cp, 0);
      if (after != 0) ranks[b] = static_cast<uint16_t>(after << 8 | f.place);
    }
  }
  return ranks;
}

const Ranks& RanksOf(CodePage cp) {
  static const std::array<Ranks, 4> ranks = {MakeRanks(CodePage::CP866), MakeRanks(CodePage::CP437),
                                             MakeRanks(CodePage::CP1251),
                                             MakeRanks(CodePage::CP1252)};
  return ranks[static_cast<size_t>(cp)];
}

// The capital of every small letter that some capital folds to.
CaseFold MakeUpper(const CaseFold& fold) {
  CaseFold upper{};
  for (int b = 0; b < 256; ++b) upper[b] = static_cast<unsigned char>(b);
  for (int b = 0; b < 256; ++b)
    if (fold[b] != b) upper[fold[b]] = static_cast<unsigned char>(b);
  return upper;
}

const CaseFold& UpperOf(CodePage cp) {
  static const std::array<CaseFold, 4> uppers = {
      MakeUpper(CaseFoldOf(CodePage::CP866)), MakeUpper(CaseFoldOf(CodePage::CP437)),
      MakeUpper(CaseFoldOf(CodePage::CP1251)), MakeUpper(CaseFoldOf(CodePage::CP1252))};
  return uppers[static_cast<size_t>(cp)];
}

}  // namespace

const CaseFold& CaseFoldOf(CodePage cp) {
  static const std::array<CaseFold, 4> folds = {
      MakeFold(CodePage::CP866), MakeFold(CodePage::CP437), MakeFold(CodePage::CP1251),
      MakeFold(CodePage::CP1252)};
  return folds[static_cast<size_t>(cp)];
}

bool EqualNoCase(std::string_view a, std::string_view b, CodePage cp) {
  if (a.size() != b.size()) return false;
  const CaseFold& fold = CaseFoldOf(cp);
  for (size_t i = 0; i < a.size(); ++i)
    if (fold[Byte(a[i])] != fold[Byte(b[i])]) return false;
  return true;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle, CodePage cp) {
  if (needle.empty() || needle.size() > haystack.size()) return false;
  const CaseFold& fold = CaseFoldOf(cp);
  const uint8_t first = fold[Byte(needle[0])];
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (fold[Byte(haystack[i])] != first) continue;
    size_t k = 1;
    while (k < needle.size() && fold[Byte(haystack[i + k])] == fold[Byte(needle[k])]) ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

bool LessNoCase(std::string_view a, std::string_view b, CodePage cp) {
  const CaseFold& fold = CaseFoldOf(cp);
  const Ranks& rank = RanksOf(cp);
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
    return rank[fold[Byte(x)]] < rank[fold[Byte(y)]];
  });
}

bool LessByAlphabet(std::string_view a, std::string_view b, CodePage cp) {
  const Ranks& rank = RanksOf(cp);
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [&rank](char x, char y) { return rank[Byte(x)] < rank[Byte(y)]; });
}

bool IsLetter(unsigned char byte, CodePage cp) {
  return CaseFoldOf(cp)[byte] != byte || UpperOf(cp)[byte] != byte;
}

void FoldInPlace(std::string& text, CodePage cp) {
  // Eight bytes at a time while they are all ASCII: a byte whose value lies
  // in 'A' .. 'Z' gains its 0x20 bit (no addition carries into the next
  // byte, as every byte is below 0x80). Other words go byte by byte through
  // the table, which agrees with this on ASCII.
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x80 * kOnes;
  const CaseFold& fold = CaseFoldOf(cp);
  char* p = text.data();
  size_t n = text.size();
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    if ((x & kHigh) != 0) {
      for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(fold[Byte(p[i])]);
      continue;
    }
    const uint64_t fromA = x + (0x80 - 'A') * kOnes;      // high bit set: >= 'A'
    const uint64_t pastZ = x + (0x80 - 'Z' - 1) * kOnes;  // high bit set: > 'Z'
    x |= (fromA & ~pastZ & kHigh) >> 2;
    std::memcpy(p, &x, 8);
  }
  for (; n > 0; ++p, --n) *p = static_cast<char>(fold[Byte(*p)]);
}

void UpperInPlace(std::string& text, CodePage cp) {
  const CaseFold& upper = UpperOf(cp);
  for (char& c : text) c = static_cast<char>(upper[Byte(c)]);
}

std::string UpperText(std::string_view text, CodePage cp) {
  std::string upper(text);
  UpperInPlace(upper, cp);
  return upper;
}

namespace {

// UTF-8 text with its ASCII letters raised, and each letter of two bytes
// that the code page holds raised as the page raises it (Cyrillic in CP866,
// so "ёжик" is "ЁЖИК" as in CP866 bytes). Every letter the supported pages
// fold is written in two bytes, and so is its capital: the length stays.
std::string UpperUtf8(std::string_view utf8, CodePage cp) {
  std::string out = UpperAscii(utf8);
  const CaseFold& upper = UpperOf(cp);
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    const uint8_t lead = Byte(out[i]);
    const uint8_t next = Byte(out[i + 1]);
    if (lead < 0xC2 || lead > 0xDF || (next & 0xC0) != 0x80) continue;
    const auto letter = static_cast<char32_t>(((lead & 0x1Fu) << 6) | (next & 0x3Fu));
    const unsigned char byte = FromUnicode(letter, cp, 0);
    const char32_t capital = byte == 0 ? letter : ToUnicode(upper[byte], cp);
    if (capital != letter && capital >= 0x80 && capital < 0x800) {
      out[i] = static_cast<char>(0xC0 | (capital >> 6));
      out[i + 1] = static_cast<char>(0x80 | (capital & 0x3F));
    }
    ++i;
  }
  return out;
}

// A name with its letters raised: a raw tag in UTF-8 as UTF-8, any other
// name in the ANSI page it is read in wherever it is shown.
std::string UpperName(std::string_view name, bool raw) {
  return raw && IsUtf8(name) ? UpperUtf8(name, OemCodePage()) : UpperText(name, AnsiCodePage());
}

}  // namespace

std::string UpperTag(std::string_view name, bool raw) { return UpperName(name, raw); }
std::string UpperTag(std::string_view name) { return UpperName(name, IsRawTag(name)); }

std::string TagKey(std::string_view name, bool raw) {
  // Byte 1 never stands in a tag: it keeps the two kinds of key apart.
  return raw ? '\x01' + UpperName(name, raw) : UpperName(name, raw);
}
std::string TagKey(std::string_view name) { return TagKey(name, IsRawTag(name)); }

bool SameTag(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Names equal without ASCII case have the same bytes above 0x7F, so they
  // are raw or converted alike and equal either way.
  if (platform::EqualNoCase(a, b)) return true;
  return TagKey(a) == TagKey(b);
}

std::optional<std::string> RecodeExact(std::string_view bytes, CodePage from, CodePage to) {
  std::string out(bytes);
  if (from == to) return out;
  for (char& c : out) {
    const uint8_t b = Byte(c);
    if (b < 0x80) continue;
    // 0 is ASCII and never the byte of a character above 0x7F.
    const unsigned char mapped = FromUnicode(ToUnicode(b, from), to, 0);
    if (mapped == 0) return std::nullopt;
    c = static_cast<char>(mapped);
  }
  return out;
}

}  // namespace velmaris::platform

#include "platform/TextFinder.h"

#include <cstring>

#include "platform/Ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmaris::platform {

namespace {

uint8_t CaseBit(uint8_t folded, bool caseSensitive) {
  return !caseSensitive && folded >= 'a' && folded <= 'z' ? 0x20 : 0;
}

}  // namespace

TextFinder::TextFinder(std::string_view needle, bool caseSensitive)
    : needle_(needle), caseSensitive_(caseSensitive) {
  for (int c = 0; c < 256; ++c)
    fold_[c] = static_cast<uint8_t>(caseSensitive ? c : AsciiLower(static_cast<char>(c)));
  for (char& c : needle_) c = static_cast<char>(fold_[static_cast<uint8_t>(c)]);
  if (!needle_.empty()) {
    firstCase_ = CaseBit(static_cast<uint8_t>(needle_.front()), caseSensitive);
    lastCase_ = CaseBit(static_cast<uint8_t>(needle_.back()), caseSensitive);
  }
}

bool TextFinder::At(const uint8_t* hay) const {
  if (caseSensitive_) return std::memcmp(hay, needle_.data(), needle_.size()) == 0;
  const auto* pat = reinterpret_cast<const uint8_t*>(needle_.data());
  for (size_t i = 0; i < needle_.size(); ++i)
    if (fold_[hay[i]] != pat[i]) return false;
  return true;
}

bool TextFinder::In(std::string_view haystack) const {
  const size_t m = needle_.size();
  if (m == 0 || m > haystack.size()) return false;
  const auto* hay = reinterpret_cast<const uint8_t*>(haystack.data());
  const auto first = static_cast<uint8_t>(needle_.front());
  const auto last = static_cast<uint8_t>(needle_.back());
  const size_t places = haystack.size() - m + 1;  // where the needle may start
  size_t pos = 0;
#if defined(__SSE2__)
  const __m128i firstCase = _mm_set1_epi8(static_cast<char>(firstCase_));
  const __m128i lastCase = _mm_set1_epi8(static_cast<char>(lastCase_));
  const __m128i firstByte = _mm_set1_epi8(static_cast<char>(first));
  const __m128i lastByte = _mm_set1_epi8(static_cast<char>(last));
  for (; pos + 16 <= places; pos += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + pos));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + pos + m - 1));
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstCase), firstByte),
                                       _mm_cmpeq_epi8(_mm_or_si128(b, lastCase), lastByte));
    for (auto bits = static_cast<unsigned>(_mm_movemask_epi8(both)); bits != 0; bits &= bits - 1)
      if (At(hay + pos + static_cast<size_t>(__builtin_ctz(bits)))) return true;
  }
#endif
  for (; pos < places; ++pos)
    if ((hay[pos] | firstCase_) == first && (hay[pos + m - 1] | lastCase_) == last && At(hay + pos))
      return true;
  return false;
}

}  // namespace velmaris::platform

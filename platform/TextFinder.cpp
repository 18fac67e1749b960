#include "platform/TextFinder.h"

#include <cstring>

#include "platform/CaseFold.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmaris::platform {

namespace {

// The bits in which the bytes that fold to folded differ from it.
uint8_t FoldBits(const std::array<uint8_t, 256>& fold, uint8_t folded) {
  uint8_t bits = 0;
  for (int b = 0; b < 256; ++b)
    if (fold[b] == folded) bits |= static_cast<uint8_t>(b ^ folded);
  return bits;
}

}  // namespace

TextFinder::TextFinder(std::string_view needle, bool caseSensitive, CodePage cp)
    : needle_(needle), caseSensitive_(caseSensitive) {
  if (caseSensitive) {
    for (int c = 0; c < 256; ++c) fold_[c] = static_cast<uint8_t>(c);
  } else {
    const CaseFold& fold = CaseFoldOf(cp);
    std::memcpy(fold_.data(), fold.data(), fold_.size());
  }
  for (char& c : needle_) c = static_cast<char>(fold_[static_cast<uint8_t>(c)]);
  if (!needle_.empty()) {
    const auto first = static_cast<uint8_t>(needle_.front());
    const auto last = static_cast<uint8_t>(needle_.back());
    firstBits_ = FoldBits(fold_, first);
    lastBits_ = FoldBits(fold_, last);
    firstWant_ = first | firstBits_;
    lastWant_ = last | lastBits_;
  }
}

bool TextFinder::At(const uint8_t* hay) const {
  if (caseSensitive_) return std::memcmp(hay, needle_.data(), needle_.size()) == 0;
  const auto* pat = reinterpret_cast<const uint8_t*>(needle_.data());
  for (size_t i = 0; i < needle_.size(); ++i)
    if (fold_[hay[i]] != pat[i]) return false;
  return true;
}

bool TextFinder::Equals(std::string_view value) const {
  return value.size() == needle_.size() &&
         (value.empty() || At(reinterpret_cast<const uint8_t*>(value.data())));
}

bool TextFinder::In(std::string_view haystack) const {
  const size_t m = needle_.size();
  if (m == 0 || m > haystack.size()) return false;
  const auto* hay = reinterpret_cast<const uint8_t*>(haystack.data());
  const size_t places = haystack.size() - m + 1;  // where the needle may start
  size_t pos = 0;
#if defined(__SSE2__)
  const __m128i firstBits = _mm_set1_epi8(static_cast<char>(firstBits_));
  const __m128i lastBits = _mm_set1_epi8(static_cast<char>(lastBits_));
  const __m128i firstWant = _mm_set1_epi8(static_cast<char>(firstWant_));
  const __m128i lastWant = _mm_set1_epi8(static_cast<char>(lastWant_));
  for (; pos + 16 <= places; pos += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + pos));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + pos + m - 1));
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstBits), firstWant),
                                       _mm_cmpeq_epi8(_mm_or_si128(b, lastBits), lastWant));
    for (auto bits = static_cast<unsigned>(_mm_movemask_epi8(both)); bits != 0; bits &= bits - 1)
      if (At(hay + pos + static_cast<size_t>(__builtin_ctz(bits)))) return true;
  }
#endif
  for (; pos < places; ++pos)
    if ((hay[pos] | firstBits_) == firstWant_ && (hay[pos + m - 1] | lastBits_) == lastWant_ &&
        At(hay + pos))
      return true;
  return false;
}

}  // namespace velmaris::platform

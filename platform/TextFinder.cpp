#include "platform/TextFinder.h"

#include <cstring>

#include "platform/Ascii.h"

namespace velmaris::platform {

TextFinder::TextFinder(std::string_view needle, bool caseSensitive)
    : needle_(needle), caseSensitive_(caseSensitive) {
  for (int c = 0; c < 256; ++c)
    fold_[c] = static_cast<uint8_t>(caseSensitive ? c : AsciiLower(static_cast<char>(c)));
  for (char& c : needle_) c = static_cast<char>(fold_[static_cast<uint8_t>(c)]);
  const size_t m = needle_.size();
  shift_.fill(static_cast<uint32_t>(m));
  // A byte's shift is the distance of its last place before the needle's
  // last byte from the end; without case both letter cases share it.
  for (size_t i = 0; i + 1 < m; ++i)
    for (int c = 0; c < 256; ++c)
      if (fold_[c] == static_cast<uint8_t>(needle_[i])) shift_[c] = static_cast<uint32_t>(m - 1 - i);
}

bool TextFinder::In(std::string_view haystack) const {
  const size_t m = needle_.size();
  if (m == 0 || m > haystack.size()) return false;
  if (caseSensitive_) return haystack.find(needle_) != std::string_view::npos;
  const auto* hay = reinterpret_cast<const uint8_t*>(haystack.data());
  const auto* pat = reinterpret_cast<const uint8_t*>(needle_.data());
  const uint8_t last = pat[m - 1];
  const size_t end = haystack.size() - m;
  for (size_t pos = 0; pos <= end;) {
    const uint8_t c = hay[pos + m - 1];
    if (fold_[c] == last) {
      size_t i = 0;
      while (i + 1 < m && fold_[hay[pos + i]] == pat[i]) ++i;
      if (i + 1 >= m) return true;
    }
    pos += shift_[c];
  }
  return false;
}

}  // namespace velmaris::platform

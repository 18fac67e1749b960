// A prepared substring search for scanning much text for one word, needle
// and text in the same code page. Without case, letters fold by that code
// page's table (CaseFold.h), as in every other text compare of the
// messages. An empty needle occurs nowhere.
//
// The scan tests 16 places at a time (SSE2 where the machine has it) for the
// needle's first and last byte, every letter case at once, and compares the
// whole needle only where both agree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace velmaris::platform {

class TextFinder {
 public:
  TextFinder(std::string_view needle, bool caseSensitive, CodePage cp);
  bool In(std::string_view haystack) const;
  // Whether the whole of value is the needle (an empty needle equals an
  // empty value).
  bool Equals(std::string_view value) const;

 private:
  // Whether the needle stands at hay (which has room for it).
  bool At(const uint8_t* hay) const;

  std::string needle_;  // folded when without case
  bool caseSensitive_;
  std::array<uint8_t, 256> fold_{};
  // A haystack byte b may be the needle's first (last) byte when
  // (b | firstBits_) == firstWant_: firstBits_ holds every bit in which a
  // byte of the same fold differs from the folded one (0x20 for an ASCII
  // letter, 0 for a byte alone in its fold), so every case passes and few
  // other bytes do.
  uint8_t firstBits_ = 0, firstWant_ = 0;
  uint8_t lastBits_ = 0, lastWant_ = 0;
};

}  // namespace velmaris::platform

// A prepared substring search for scanning much text for one word. Without
// case the ASCII letters a-z and A-Z are taken as equal, as everywhere else
// in the system. An empty needle occurs nowhere.
//
// The scan tests 16 places at a time (SSE2 where the machine has it) for the
// needle's first and last byte, both letter cases at once, and compares the
// whole needle only where both agree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris::platform {

class TextFinder {
 public:
  TextFinder(std::string_view needle, bool caseSensitive);
  bool In(std::string_view haystack) const;

 private:
  // Whether the needle stands at hay (which has room for it).
  bool At(const uint8_t* hay) const;

  std::string needle_;  // folded when without case
  bool caseSensitive_;
  std::array<uint8_t, 256> fold_{};
  // A haystack byte b agrees with the needle's first (last) byte when
  // (b | firstCase_) == first byte; the case bit is 0x20 for a letter
  // without case and 0 otherwise.
  uint8_t firstCase_ = 0;
  uint8_t lastCase_ = 0;
};

}  // namespace velmaris::platform

// A prepared substring search for scanning much text for one word: the
// needle's skip table is built once (Horspool), and without case the ASCII
// letters a-z and A-Z are taken as equal, as everywhere else in the system.
// An empty needle occurs nowhere.
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
  std::string needle_;  // folded when without case
  bool caseSensitive_;
  std::array<uint8_t, 256> fold_{};
  std::array<uint32_t, 256> shift_{};
};

}  // namespace velmaris::platform

// A nodediff against a list: the input holds the list, a 0 byte and the
// diff. The CRC check, the first-line comparison and the application must
// stay within both texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nodelist/NodeListProcessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  std::string list = input.substr(0, split);
  std::string diff = split == std::string::npos ? std::string() : input.substr(split + 1);
  if (list.empty() || list.back() != '\x1A') list.push_back('\x1A');
  if (diff.empty() || diff.back() != '\x1A') diff.push_back('\x1A');
  velmaris::CheckListCrc(list);
  velmaris::CheckListCrc(diff);
  std::string out;
  if (velmaris::ApplyDiffText(list, diff, out)) {
    // The new list holds only lines of the list and of the diff.
    if (out.size() > list.size() + diff.size()) std::abort();
    velmaris::CheckListCrc(out);
  }
  return 0;
}

// An area-list text from arbitrary bytes (the first three bytes choose the
// columns) is cut into lines and every line is read as an area line: a tag
// found must be a non-empty run of tag characters standing at the name
// column, and its description must be the tail of the description row.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "processing/AreaManager.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  if (size < 3) return 0;
  const int nameO = data[0] % 82;      // 0 and 81 lie outside the dialog's range
  const int descO = data[1] % 83 - 1;  // -1 .. 81
  const int descL = data[2] % 13 - 6;  // -6 .. 6
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::vector<std::string> lines = SplitMailLines(text);
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    std::string description, tag;
    if (!ParseAreaLine(lines, i, nameO, descO, descL, description, tag)) continue;
    const std::string& line = lines[static_cast<size_t>(i)];
    const size_t start = static_cast<size_t>(std::max(nameO, 1) - 1);
    if (tag.empty() || line.compare(start, tag.size(), tag) != 0) std::abort();
    const std::string& row = lines[static_cast<size_t>(i + descL)];
    if (row.size() < description.size() ||
        row.compare(row.size() - description.size(), description.size(), description) != 0)
      std::abort();
    std::string again;
    if (!ParseAreaTag(tag, again) || again != tag) std::abort();
  }
  return 0;
}

// The nodelist browser's search and cells over a damaged index set: the
// records, the sorted-order indexes and the texts all come from the input,
// so offsets point anywhere. The first byte gives the record count, the
// second the filter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ScratchDir.h"
#include "nodelist/NodelistBrowse.h"
#include "nodelist/NodelistLookup.h"

namespace {

const std::string& Dir() {
  static const velmaris::fuzz::TScratchDir dir("nlbrowse");
  return dir.Path();
}

void Write(const std::string& name, const uint8_t* data, size_t size) {
  std::ofstream(Dir() + name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t filterBits = data[1];
  const size_t n = std::min<size_t>(data[0] % 32, (size - 2) / 48);
  size_t at = 2;
  Write("Addresses.Index", data + at, n * 32);
  at += n * 32;
  const char* keys[] = {"Names", "Sysops", "Cities", "Misc"};
  for (const char* key : keys) {
    Write(std::string(key) + ".Index", data + at, n * 4);
    at += n * 4;
  }
  const size_t quarter = (size - at) / 4;
  for (const char* key : keys) {
    Write(std::string(key) + ".Data", data + at, quarter);
    at += quarter;
  }
  velmaris::TNodelistLookup lookup;
  lookup.SetPath(Dir());
  lookup.Open();
  velmaris::TNodelistFilter filter;
  if (filterBits & 1) filter.Name = "A";
  if (filterBits & 2) filter.Sysop = " ";
  if (filterBits & 4) filter.City = "B_";
  if (filterBits & 8) filter.Zone = 1;
  if (filterBits & 16) filter.Point = 0;
  const std::vector<int> records = velmaris::FilterNodelist(lookup, filter);
  for (int record : records) {
    if (record < 0 || record >= lookup.Count()) std::abort();
    for (int column = 0; column < velmaris::nlcColumnCount; ++column)
      velmaris::NodelistCellText(lookup, record, column);
  }
  return 0;
}

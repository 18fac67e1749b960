// Nodelist and pointlist text: read into entries, sorted, de-duplicated and
// turned into an index set in memory. The first byte chooses the reader and
// the default zone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nodelist/NodeListProcessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool pointlist = data[0] & 1;
  const int zone = data[0] >> 1;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  velmaris::TNodeListProcessor proc;
  proc.ReadListText(text, "FUZZ.001", zone, pointlist);
  const size_t entries = proc.EntryCount();
  const auto files = proc.BuildIndexImage();
  // Every record of the image points inside its .Data files.
  const std::string& main = files.back().second;
  if (main.size() > entries * velmaris::kNodeIndexRecordSize) std::abort();
  for (size_t off = 0; off + velmaris::kNodeIndexRecordSize <= main.size();
       off += velmaris::kNodeIndexRecordSize) {
    const auto rec =
        velmaris::DecodeNodeIndexRecord(reinterpret_cast<const uint8_t*>(main.data() + off));
    const uint32_t offsets[4] = {rec.NameOffset, rec.SysopOffset, rec.CityOffset, rec.MiscOffset};
    for (int k = 0; k < 4; ++k)
      if (offsets[k] >= files[2 * k].second.size()) std::abort();
  }
  return 0;
}

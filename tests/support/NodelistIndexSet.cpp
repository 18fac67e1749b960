#include "support/NodelistIndexSet.h"

#include "core/ByteOrder.h"
#include "nodelist/NodelistFiles.h"
#include "support/TempDir.h"

namespace velmaris::test {

std::string IndexOffsets(std::initializer_list<uint32_t> values) {
  std::string s;
  for (uint32_t v : values) AppendLE32(s, v);
  return s;
}

std::string IndexRecord(TFidoAddr a, uint32_t name, uint32_t sysop, uint32_t city, uint32_t misc,
                        int32_t type) {
  TNodeIndexRecord r;
  r.Addr = a;
  r.NameOffset = name;
  r.SysopOffset = sysop;
  r.CityOffset = city;
  r.MiscOffset = misc;
  r.NodeType = type;
  uint8_t b[kNodeIndexRecordSize];
  EncodeNodeIndexRecord(r, b);
  return std::string(reinterpret_cast<char*>(b), sizeof b);
}

void WriteBrowseIndexSet(const TempDir& dir, const std::string& sub) {
  dir.Write(sub + "Addresses.Index", IndexRecord({1, 1, 1, 0}, 0, 0, 0, 0, ntNode) +
                                         IndexRecord({2, 5020, 1, 0}, 11, 4, 7, 13, ntHost) +
                                         IndexRecord({2, 5020, 1, 5}, 6, 8, 7, 29, ntPoint));
  dir.Write(sub + "Names.Data", "Alpha\rBeta\rNew_York\r");
  dir.Write(sub + "Names.Index", IndexOffsets({0, 6, 11}));
  dir.Write(sub + "Sysops.Data", "Ann\rBob\rBob_Jr\r");
  dir.Write(sub + "Sysops.Index", IndexOffsets({0, 4, 8}));
  dir.Write(sub + "Cities.Data", "Berlin\rMoscow\r");
  dir.Write(sub + "Cities.Index", IndexOffsets({0, 7, 7}));
  dir.Write(sub + "Misc.Data", "49-1,9600,CM\r7-1,33600,CM,XA\r-Unpublished-\r");
  dir.Write(sub + "Misc.Index", IndexOffsets({0, 13, 29}));
}

}  // namespace velmaris::test

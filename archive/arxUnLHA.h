// The LHA/LZH extractor: header levels 0, 1 and 2; methods -lh0- (stored),
// -lh1- (adaptive Huffman), -lh4-, -lh5- and -lh6- (static Huffman).
#pragma once

#include <cstdint>
#include <string>

#include "archive/LhaFormat.h"
#include "archive/arxBase.h"

namespace velmaris {

class TUnLHA : public TUnBase {
 public:
  TUnLHA();

 protected:
  void ExtractIt() override;

 private:
  class Source;
  class Sink;

  void FirstPass(uint64_t start);
  void ExtractEntry(const TarxFileRec& rec);
  void Decode(const TLhaHeader& h, const std::string& fn);
};

// The DOS date-time of an entry: levels 0 and 1 store one, level 2 stores
// Unix seconds.
uint32_t LhaDosTime(const TLhaHeader& h);

}  // namespace velmaris

// ARC extraction: archives of the ARC family (plain and self-extracting),
// methods 1 to 9, with the directory records of the PAK-style archives.
#pragma once

#include "archive/arxBase.h"

namespace velmaris {

class TUnARC : public TUnBase {
 public:
  TUnARC();

 protected:
  void ExtractIt() override;

 private:
  void CollectEntries();
  void ExtractEntry(const TarxFileRec& rec);
};

}  // namespace velmaris

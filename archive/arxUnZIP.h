// ZIP extraction: plain, self-extracting and JAR archives, walked by their
// central directory or, when that is missing, by their local headers.
#pragma once

#include "archive/arxBase.h"

namespace velmaris {

class TUnZIP : public TUnBase {
 public:
  TUnZIP();

 protected:
  void ExtractIt() override;

 private:
  bool CollectEntries();
  bool EntryDataSound(const TarxFileRec& rec, const std::string& name);
  void ExtractEntry(const TarxFileRec& rec);
  bool FindPassword(const std::string& fn, const uint8_t header[12], const TarxFileRec& rec,
                    uint32_t dosTime, bool& stopRun);
  void Decode(const TarxFileRec& rec, const std::string& fn);

  std::string lastPassword_;  // the password that fitted the previous entry
};

}  // namespace velmaris

// ZIP extraction: plain, self-extracting and JAR archives, walked by their
// central directory or, when that is missing, by their local headers.
#pragma once

#include "archive/arxBase.h"

namespace velmaris {

// The values of a header that its ZIP64 extended information extra field
// (tag 0x0001) may stand for. Set each to the header's 32-bit field (the
// disk's 16-bit one); ReadZip64Extra replaces those that are all ones.
struct Zip64Sizes {
  uint64_t unpacked = 0, packed = 0, offset = 0, disk = 0;
  // The extra field holds a ZIP64 block: sizes in a data descriptor are
  // 8 bytes each then.
  bool present = false;
};
// Reads the ZIP64 block of an extra field: its values stand in the order
// unpacked, packed, offset, disk, each only when its header field is all
// ones; a local header (central false) holds both sizes when either is.
// False when a value that is all ones is not there (the header is damaged);
// true without change when none is all ones.
bool ReadZip64Extra(const uint8_t* extra, size_t len, Zip64Sizes& z, bool central);

class TUnZIP : public TUnBase {
 public:
  TUnZIP();

 protected:
  void ExtractIt() override;

 private:
  bool CollectEntries();
  // The ZIP64 values of a header's extra field (extraLen bytes at
  // extraPos) into rec's sizes and z (see ReadZip64Extra); false when one
  // that the header calls for is missing.
  bool ReadZip64Fields(uint64_t extraPos, unsigned extraLen, TarxFileRec& rec, Zip64Sizes& z,
                       bool central);
  bool EntryDataSound(const TarxFileRec& rec, const std::string& name);
  void ExtractEntry(const TarxFileRec& rec);
  bool FindPassword(const std::string& fn, const uint8_t header[12], const TarxFileRec& rec,
                    uint32_t dosTime, bool& stopRun);
  void Decode(const TarxFileRec& rec, const std::string& fn);

  std::string lastPassword_;  // the password that fitted the previous entry
};

}  // namespace velmaris

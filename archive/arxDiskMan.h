// The drive behind an archive. The extractors ask it whether the archive
// lies on a removable disk of a spanned set and for the disk's label; on this
// system every archive lies on a fixed drive without a label, so spanned-disk
// handling never starts.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris {

enum TDriveType : int {
  dtUnknown = 0,
  dtNone = 1,
  dtFloppy = 2,
  dtFixed = 3,
  dtNetwork = 4,
  dtCdRom = 5,
  dtRam = 6,
  dt35Floppy = 7,
  dt525Floppy = 8
};

class TDiskManager {
 public:
  // Reads the drive information for the directory of path.
  void Refresh(const std::string& path);

  const std::string& VolumeLabel() const { return volumeLabel_; }
  const std::string& SerialNumber() const { return serial_; }  // 8 hex digits
  const std::string& FileSystemName() const { return fsName_; }
  TDriveType DriveType() const { return driveType_; }
  static const char* DriveTypeName(TDriveType t);
  bool IsRemovable() const;
  // The number after the last "PKBACK# " of the label when it is all digits,
  // else 0.
  int DiskNumber() const;
  bool HasSpanLabel() const;  // the label holds "PKBACK# "

 private:
  std::string volumeLabel_;
  std::string serial_ = "00000000";
  std::string fsName_;
  TDriveType driveType_ = dtFixed;
};

}  // namespace velmaris

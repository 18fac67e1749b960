#include "archive/arxDiskMan.h"

#include <cctype>

namespace velmaris {

void TDiskManager::Refresh(const std::string&) {
  // A fixed drive, no label: there are no removable spanned disks here.
  volumeLabel_.clear();
  serial_ = "00000000";
  fsName_ = "posix";
  driveType_ = dtFixed;
}

const char* TDiskManager::DriveTypeName(TDriveType t) {
  switch (t) {
    case dtNone: return "None";
    case dtFloppy: return "Floppy";
    case dtFixed: return "Fixed";
    case dtNetwork: return "Network";
    case dtCdRom: return "CD-ROM";
    case dtRam: return "RAM";
    case dt35Floppy: return "3\xBD Floppy";
    case dt525Floppy: return "5\xBC Floppy";
    default: return "Unknown";
  }
}

bool TDiskManager::IsRemovable() const {
  return driveType_ == dtFloppy || driveType_ == dt35Floppy || driveType_ == dt525Floppy;
}

bool TDiskManager::HasSpanLabel() const {
  return volumeLabel_.find("PKBACK# ") != std::string::npos;
}

int TDiskManager::DiskNumber() const {
  const auto p = volumeLabel_.rfind("PKBACK# ");
  if (p == std::string::npos) return 0;
  const std::string digits = volumeLabel_.substr(p + 8);
  if (digits.empty() || digits.size() > 6) return 0;
  for (unsigned char c : digits)
    if (!std::isdigit(c)) return 0;
  return std::stoi(digits);
}

}  // namespace velmaris

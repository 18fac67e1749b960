#include "platform/WireName.h"

#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris::platform {

std::string WireName(std::string_view diskName) {
  return PathToOem(diskName).value_or(DiskNameText(diskName));
}

std::string WireShortName(std::string_view diskName) {
  // One byte per character from here on: the cuts never split a letter.
  const std::string oem = FromUtf8(DiskNameText(diskName), OemCodePage(), '_');
  const size_t dot = oem.rfind('.');
  const std::string stem = dot == std::string::npos ? oem : oem.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : oem.substr(dot, 4);
  return LowerAscii(stem.substr(0, 8) + ext);
}

}  // namespace velmaris::platform

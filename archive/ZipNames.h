// The name of a ZIP entry as the disk takes it (UTF-8). Stored names are in
// the OEM code page unless the entry says otherwise:
//   - the Info-ZIP Unicode Path extra field (0x7075; version 1, the CRC-32
//     of the stored name, the name in UTF-8) wins while that CRC matches the
//     stored name (a tool that renamed the entry without knowing the field
//     leaves it stale);
//   - general purpose bit 11 says the stored name is UTF-8;
//   - otherwise the stored bytes go through platform::DiskName: kept when
//     they are valid UTF-8 (Info-ZIP on Unix stores the bytes it was given),
//     else read in the OEM page.
// A field that is cut short, or whose name is not UTF-8, is passed over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

std::string ZipEntryDiskName(std::string_view stored, uint32_t flags, std::string_view extra);

}  // namespace velmaris

// File names between the disk and the FidoNet formats. On the disk (and
// wherever the program holds a name) a name is the file system's bytes,
// UTF-8; a part that is not UTF-8 (a name a Windows archive or a copied disk
// left) is read in the ANSI page (DiskNameText). A format that carries a
// name (EMSI, Hydra and ZModem file offers, archive entries, TIC lines)
// carries it in the OEM code page; the name is converted at that edge, and
// nowhere else:
//
//   disk -> wire   WireName: the OEM bytes when the OEM page holds every
//                  character, else the name as UTF-8 (a receiver that keeps
//                  valid UTF-8 gets the name whole);
//                  WireShortName: an 8.3 name in the OEM page, cut in
//                  characters, the nearest character or '_' for one the
//                  page lacks.
//   wire -> disk   DiskName: kept as it is when it is valid UTF-8 (ASCII
//                  among it), else read in the OEM page.
//   disk -> log    LogName: a log line and REPORT are made in the ANSI page;
//                  a name from the wire goes into it as LogName(DiskName()).
//
// Bytes below 0x80 are the same in every form, so no conversion makes or
// removes a '/', a backslash, ':' or "..": the safety checks of a received name
// hold for the converted name.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"  // DiskName, LogName

namespace velmaris::platform {

std::string WireName(std::string_view diskName);
std::string WireShortName(std::string_view diskName);

}  // namespace velmaris::platform

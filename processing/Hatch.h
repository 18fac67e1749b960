// File hatching: a file is sent into a file echo by writing a TIC
// announcement into the uplink's outbound directory and listing the file and
// the TIC file in the uplink's flow file, so that the next call sends both.
//
// The TIC file, one keyword a line, each line ended by CR LF:
//   Area <file echo>, File <name>, To <uplink 4D>, From <own 4D>,
//   Origin <own 4D>, Crc <CRC-32, 8 upper-case hex digits>, Size <bytes>,
//   Date <time stamp as seconds since 1970 in local time>,
//   [Replaces <name>], [Magic <name>], Desc <first line>, LDesc <line>...,
//   Created by <program id>, [Pw <FileScan password>].
//
// Safety: the names and fields are checked as the receiving tosser checks
// them (a file or area name holds no path separator, control character, "."
// or ".." and is no mail file name; no field holds a control character), so
// nothing is announced that a peer would refuse or misread. A TIC line is
// read as its keyword and first word, so the file, area and Replaces names
// hold no blank either. The whole TIC file stays within what our own reader
// takes (kMaxTicFileSize); a longer description is refused. Size and CRC
// come from one read of the file; a file whose size, modification or change time
// or identity is not the same after the read as before it changed while it
// was read and is not announced. The TIC file gets a new serial name, created
// exclusively, so it never replaces another file.
// Names: the file and the Replaces name are file names (the file system's
// bytes) and go into the TIC file in the OEM page, as do the area, the magic
// name and the description (ANSI text); a file name the OEM page cannot
// hold is refused. The errors quote names in the ANSI page. The file and the
// TIC file are listed in the flow file in one write: both or neither; a
// hatch that fails leaves no TIC file behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/SerialCounter.h"

namespace velmaris {

class TNetLink;
class TPckList;

inline constexpr const char* kNoDescription = "No Description";

struct THatchRequest {
  std::string FileName;                  // the file to send (its path on disk)
  bool KillSrc = false;                  // delete it once sent
  std::vector<std::string> Description;  // lines in the ANSI code page
  TNetLink* Uplink = nullptr;
  std::string Area, Magic;               // ANSI text
  std::string Replace;                   // a file name, as on disk
  // Called after each block of the file is read, with the bytes read so far
  // (tests change the file here).
  std::function<void(uint64_t)> OnBlockRead;
};

struct THatchResult {
  bool Ok = false;
  std::string Error;    // why it failed
  std::string TicPath;  // the TIC file written
};

// What the checks find wrong with a request; empty when nothing.
std::string CheckHatchRequest(const THatchRequest& request);

// The TIC file's text.
std::string BuildTicText(const THatchRequest& request, const std::string& name, uint32_t crc,
                         uint64_t size, int64_t date);

// The file's time stamp as the TIC file gives it: seconds since 1970 of its
// local modification time.
int64_t LocalFileDate(int64_t utcSeconds);

// Writes the TIC file "<serial as 8 hex digits>.tic" into the uplink's
// outbound directory and lists the file and the TIC file in its flow file
// (the TIC file always to be deleted once sent).
THatchResult HatchFile(const THatchRequest& request, TSerialCounter& serials = FileSerial());

// The description of an archive: the lines of its "file_id.diz" in the ANSI
// code page, extracted into a folder of its own below tempBase that is
// removed afterwards; "No Description" when the file is an archive without
// one. Empty when no packer knows the file (the caller keeps its text).
std::vector<std::string> ArchiveDescription(const std::string& fileName, const TPckList& packers,
                                            const std::string& tempBase,
                                            TSerialCounter& serials = FileSerial());

}  // namespace velmaris

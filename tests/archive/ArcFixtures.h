// Fixture makers for the ARC tests: archives built by Debian's arc, archives
// assembled by hand from headers and encoded data, and small encoders for the
// methods arc no longer writes (the old crunch with hashed codes, the 0x90
// run-length coding). Their output is checked against nomarch, which decodes
// every method 1 to 9 independently of us.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArcHeader.h"

namespace velmaris::test {

// Data shaped so that arc picks the named method for it.
std::string DataForStored();                  // random bytes: nothing shrinks them
std::string DataForPacked();                  // long runs of random bytes, few of them
std::string DataForSqueezed();                // skewed random letters
std::string DataForCrunched();                // repeating text
std::string DataWithClearCodes(size_t size);  // vocabulary changes: LZW tables fill and reset
// Skewed text of the size of a day's mail with the ending given: squeezed.
// arc writes no end code after some of these; what follows their original
// length is padding.
std::string SqueezedText(size_t size, const std::string& ending);

// The 0x90 run-length coding: runs of 3..255 as byte, 0x90, count; each
// 0x90 as 0x90 0x00.
std::string RunLengthEncode(const std::string& data);
// 12-bit LZW with codes placed by the old (methods 5, 6) or new hash (7).
std::string CrunchEncode(const std::string& data, bool newHash);

// One entry of a hand-made archive.
struct ArcFixtureEntry {
  int type = 2;
  std::string name;
  std::string packed;                 // the encoded data
  std::string original;               // for the CRC and the size
  uint32_t dosDateTime = 0x5A8B6000;  // 2025-04-11 12:00:00
  bool badCrc = false;
};
// Headers and data in order, then the end mark (unless endMark is false).
std::string BuildArc(const std::vector<ArcFixtureEntry>& entries, bool endMark = true);

// The CRC-16/ARC of data.
uint16_t Crc16Of(const std::string& data);

// Runs "nomarch -p" on the archive for one member and returns its output.
std::string NomarchExtract(const std::string& archive, const std::string& member);

// Runs "arc x" on the archive in a scratch directory and returns the member.
std::string ArcToolExtract(const std::string& archive, const std::string& member);

// Whether arc and nomarch are installed.
bool HaveArcTools();

}  // namespace velmaris::test

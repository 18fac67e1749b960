// The compiled nodelist index set and the small routines that the compiler
// and the nodediff step share: the index record layout, CRC-16 of list
// files, day numbers, whole-file text buffers and line and field splitting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/FidoAddress.h"

namespace velmaris {

class ENodelist : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Node type codes stored in every index record.
enum TNodeType : int32_t {
  ntNode = 0,
  ntPrivateNode = 1,
  ntNodeDown = 2,
  ntNodeHold = 3,
  ntHub = 4,
  ntHost = 5,
  ntRegion = 6,
  ntZone = 7,
  ntPoint = 8,
  ntPrivatePoint = 9,
  ntPointDown = 10,
  ntPointHold = 11,
  ntUnlisted = 127,
};

// The nine files of an index set, by name.
inline constexpr const char* kAddressesIndex = "Addresses.Index";
inline constexpr const char* kTextKeys[4] = {"Names", "Sysops", "Cities", "Misc"};

// One record of "Addresses.Index": 32 bytes, little-endian.
struct TNodeIndexRecord {
  TFidoAddr Addr;
  uint32_t NameOffset = 0;
  uint32_t SysopOffset = 0;
  uint32_t CityOffset = 0;
  uint32_t MiscOffset = 0;
  int32_t NodeType = ntNode;
  uint32_t Reserved = 0;
};
inline constexpr size_t kNodeIndexRecordSize = 32;

void EncodeNodeIndexRecord(const TNodeIndexRecord& rec, uint8_t out[kNodeIndexRecordSize]);
TNodeIndexRecord DecodeNodeIndexRecord(const uint8_t in[kNodeIndexRecordSize]);

// Orders two addresses by zone, net, node and point: <0, 0 or >0.
int CompareFidoAddr(const TFidoAddr& a, const TFidoAddr& b);

// CRC-16 of list files: polynomial 0x1021, the register stepped over the
// bytes and then over two zero bytes, i.e. CRC-16/XMODEM of the data.
uint16_t NlCrc16Block(uint16_t start, const void* data, size_t len);
uint16_t NlCrc16(const void* data, size_t len);

// The day number of next week's nodediff; past the end of the year the
// length of the year before currentYear is subtracted.
int NextDiffDay(int day, int currentYear);
int CurrentCalendarYear();
// Three digits with leading zeros: 7 -> "007".
std::string DayNumberExt(int n);

// Largest list, diff or pointlist file taken into memory.
inline constexpr uint64_t kMaxListFileSize = 256u << 20;
// Longest text read back from a .Data file.
inline constexpr size_t kMaxDataText = 64u << 10;

// Reads a whole list or diff file; its last byte is the end-of-file byte 26
// (appended when the file does not end in one). Nothing when the file cannot
// be read or is larger than kMaxListFileSize.
std::optional<std::string> LoadTextFile(const std::string& path);

// Splits a list text into lines at LF. A CR before the LF is dropped; a 0
// byte is kept in its line (the caller decides what it means); a last line
// without LF counts when it is not empty.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text);
  bool Next(std::string_view& line);

 private:
  std::string_view rest_;
  bool done_;
};

// Splits one line at commas; after the last field every further field is
// empty. Rest() is the unsplit remainder of the line.
class TFieldReader {
 public:
  explicit TFieldReader(std::string_view line) : rest_(line) {}
  std::string_view Next();
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// Raw lines with their own line ends (LF, or CR LF); a last piece without
// LF is a line of its own when it is not empty.
std::vector<std::string_view> SplitRawLines(std::string_view text);

// A decimal number of at most 10 digits with an optional sign; nothing when
// the text is anything else or the value does not fit in 32 bits.
std::optional<int32_t> ParseDecimal(std::string_view text);

// Checks the CRC in the first line of a list buffer as LoadTextFile returns
// it (the last byte being the end-of-file byte).
bool CheckListCrc(std::string_view buffer);

}  // namespace velmaris

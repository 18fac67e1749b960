// The ZModem wire format: headers, data subpackets, ZDLE escaping, and the
// byte-level parser of what the remote sends.
//
// Header: ZPAD ("*"), ZDLE (0x18), a format letter, the type and four
// argument bytes (the 32-bit argument least significant first), then the CRC:
//   "A" binary with CRC-16 (most significant byte first),
//   "C" binary with CRC-32 (complemented, least significant byte first),
//   "B" hex: "**", ZDLE, "B", the five bytes and the CRC-16 as lower-case hex
//       pairs, CR LF, then XON (not after ZFIN and ZACK).
// Binary header bytes and every data byte are escaped: ZDLE, DLE, XON and
// XOFF (also with the top bit set), CR after "@", and with escapeCtl every
// control character, go as ZDLE and the byte XOR 0x40.
// Data subpacket (after ZFILE, ZDATA, ZSINIT): escaped data, ZDLE and the
// frame end ("h" ZCRCE, "i" ZCRCG, "j" ZCRCQ, "k" ZCRCW), then the escaped
// CRC of the data and the frame end (the header's CRC kind).
//
// The parser takes any bytes: what is not a well-formed frame is skipped,
// a frame whose CRC fails is reported as bad, a subpacket longer than
// kZMaxSubpacket is cut off as bad, and five CAN bytes in a row cancel.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

enum TZHeaderType : uint8_t {
  ZRQINIT = 0,
  ZRINIT = 1,
  ZSINIT = 2,
  ZACK = 3,
  ZFILE = 4,
  ZSKIP = 5,
  ZNAK = 6,
  ZABORT = 7,
  ZFIN = 8,
  ZRPOS = 9,
  ZDATA = 10,
  ZEOF = 11,
  ZFERR = 12,
  ZCRC = 13,
  ZCHALLENGE = 14,
  ZCOMPL = 15,
  ZCAN = 16,
  ZFREECNT = 17,
  ZCOMMAND = 18,
};

enum TZFrameEnd : char { ZCRCE = 'h', ZCRCG = 'i', ZCRCQ = 'j', ZCRCW = 'k' };

constexpr uint8_t kZDLE = 0x18;
constexpr uint8_t kXON = 0x11;
constexpr size_t kZMaxSubpacket = 8192;

// ZRINIT flags (ZF0, the argument's top byte).
constexpr uint8_t kZCanFullDuplex = 0x01, kZCanOverlapIO = 0x02, kZCanFC32 = 0x20, kZEscCtl = 0x40,
                  kZEsc8 = 0x80;

struct TZHeader {
  uint8_t type = 0;
  uint32_t arg = 0;  // P0 least significant .. P3 (ZF0) most significant
  uint8_t ZF0() const { return static_cast<uint8_t>(arg >> 24); }
};

// Escapes bytes onto an output string; remembers the last byte for the
// CR-after-"@" rule.
class TZEscaper {
 public:
  bool escapeCtl = false;
  void Put(std::string& out, uint8_t c);
  void Put(std::string& out, std::string_view bytes) {
    for (char c : bytes) Put(out, static_cast<uint8_t>(c));
  }

 private:
  uint8_t last_ = 0;
};

// The bytes of a header. Binary headers (ZFILE and ZDATA go binary) use
// CRC-32 when use32 is set.
std::string HexHeader(const TZHeader& h);
std::string BinaryHeader(const TZHeader& h, bool use32, TZEscaper& esc);
// The bytes of a data subpacket with its frame end; XON follows ZCRCW.
std::string Subpacket(std::string_view data, char frameEnd, bool use32, TZEscaper& esc);

// CRCs as the frames carry them.
uint16_t ZCrc16(std::string_view bytes, int extra = -1);  // extra: one more byte
uint32_t ZCrc32(std::string_view bytes, int extra = -1);

// What the parser found.
struct TZEvent {
  enum Kind { Header, Data, BadHeader, BadData, Cancel } kind = Header;
  TZHeader header;
  std::string data;   // Data and BadData
  char frameEnd = 0;  // Data: ZCRCE .. ZCRCW
};

class TZParser {
 public:
  // Feeds bytes; each complete frame goes to `emit` at once.
  template <class Emit>
  void Feed(std::string_view bytes, Emit&& emit) {
    for (char c : bytes) {
      if (Step(static_cast<uint8_t>(c))) emit(event_);
    }
  }
  bool Cancelled() const { return cancelled_; }
  // Forget a half-read frame (a new session).
  void Reset();

 private:
  enum State { Idle, Pad, Format, HeaderBytes, SubData, SubCrc };
  bool Step(uint8_t c);
  bool HeaderDone();
  bool SubpacketDone();
  // Takes one byte of a binary field, undoing ZDLE escapes; true when a
  // byte came out (in `out`).
  bool Unescape(uint8_t c, uint8_t& out, bool& frameEnd);

  State state_ = Idle;
  char format_ = 0;
  bool use32_ = false;  // of the frame being read
  bool escaped_ = false;
  size_t need_ = 0;
  std::string buf_;
  std::string data_;
  char frameEnd_ = 0;
  bool prevWasZdle_ = false;
  int crlf_ =
      0;  // after a hex header: its CR LF may still come  // between frames: the last byte was ZDLE
  int cans_ = 0;
  bool cancelled_ = false;
  TZEvent event_;
};

}  // namespace velmaris

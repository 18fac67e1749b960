// The Hydra wire format: packets, their four encodings and the parser of
// what the remote sends.
//
// A packet is its data, its type letter ("A" START .. "N" DEVDACK) and a
// checksum: CRC-32 (least significant byte first) when the encoding is not
// hex and the option C32 is on, else the complemented reflected CRC-16
// (least significant byte first). On the line it is DLE (0x18), the
// encoding letter ("b" binary, "c" hex, "d" 7-bit, "e" UUE), the encoded
// bytes, DLE "a", and CR LF unless the encoding is binary or the packet is
// DATA.
//
// The parser takes any bytes: what is not a packet is skipped, a packet
// whose checksum fails or that grows beyond kHydraMaxPacket is dropped
// (counted in BadPackets), and five DLE bytes in a row are the remote's
// abort.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris {

enum THydraPacket : char {
  hpStart = 'A',
  hpInit = 'B',
  hpInitAck = 'C',
  hpFinfo = 'D',
  hpFinfoAck = 'E',
  hpData = 'F',
  hpDataAck = 'G',
  hpRpos = 'H',
  hpEof = 'I',
  hpEofAck = 'J',
  hpEnd = 'K',
  hpIdle = 'L',
  hpDevData = 'M',
  hpDevDack = 'N',
};

// Option bits, named as the INIT packet writes them.
enum THydraOption : uint32_t {
  hoXON = 1,
  hoTLN = 2,
  hoCTL = 4,
  hoHIC = 8,
  hoHI8 = 16,
  hoBRK = 32,
  hoASC = 64,
  hoUUE = 128,
  hoC32 = 256,
  hoDEV = 512,
  hoFPT = 1024,
};

constexpr uint8_t kHydraDLE = 0x18;
constexpr size_t kHydraMaxPacket = 6183;

// "XON,TLN,..." for the bits set, and back (unknown names are ignored).
std::string HydraOptionNames(uint32_t options);
uint32_t HydraOptionBits(std::string_view names);

// The bytes of one packet as the options say it goes on the line.
std::string HydraPacket(char type, std::string_view data, uint32_t options);

struct THydraReceived {
  char type = 0;
  std::string data;
};

class THydraParser {
 public:
  // Feeds bytes; packets that pass their checksum are appended to `out`.
  // `options` decides the checksum of the non-hex encodings.
  void Feed(std::string_view bytes, uint32_t options, std::vector<THydraReceived>& out);
  bool Cancelled() const { return cancelled_; }
  int BadPackets() const { return bad_; }

 private:
  void Finish(uint32_t options, std::vector<THydraReceived>& out);

  char format_ = 0;  // 0: between packets
  bool escaped_ = false;
  std::string raw_;  // the packet's bytes with DLE escapes undone
  int dles_ = 0, bad_ = 0;
  bool cancelled_ = false;
};

// Little-endian 32-bit fields of the binary packets.
void PutLong(std::string& out, int32_t v);
int32_t GetLong(std::string_view data, size_t at);  // 0 beyond the end

}  // namespace velmaris

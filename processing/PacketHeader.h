// The FTS-0001 type-2 packet header (58 bytes) with the type 2+ fields
// (capability word, zones and points at the end), and the layout of a packed
// message inside a packet. Both are encoded and decoded field by field,
// little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/DateTimeUtil.h"
#include "core/FidoAddress.h"

namespace velmaris {

inline constexpr size_t kPacketHeaderSize = 58;
// A packet ends with a zero message type word.
inline constexpr size_t kPacketTerminatorSize = 2;
inline constexpr uint16_t kPacketType2 = 2;
inline constexpr uint16_t kPackedMessageType = 2;

// Offsets of the packet header fields.
struct PacketHeaderOffset {
  static constexpr size_t OrigNode = 0;
  static constexpr size_t DestNode = 2;
  static constexpr size_t Year = 4;
  static constexpr size_t Month = 6;  // 0 to 11
  static constexpr size_t Day = 8;
  static constexpr size_t Hour = 10;
  static constexpr size_t Minute = 12;
  static constexpr size_t Second = 14;
  static constexpr size_t Baud = 16;
  static constexpr size_t PacketType = 18;
  static constexpr size_t OrigNet = 20;
  static constexpr size_t DestNet = 22;
  static constexpr size_t ProductCodeLow = 24;
  static constexpr size_t RevisionMajor = 25;
  static constexpr size_t Password = 26;  // 8 bytes, NUL-padded
  static constexpr size_t QOrigZone = 34;
  static constexpr size_t QDestZone = 36;
  static constexpr size_t AuxNet = 38;
  static constexpr size_t CapabilityCopy = 40;  // the capability word byte-swapped
  static constexpr size_t ProductCodeHigh = 42;
  static constexpr size_t RevisionMinor = 43;
  static constexpr size_t Capability = 44;
  static constexpr size_t OrigZone = 46;
  static constexpr size_t DestZone = 48;
  static constexpr size_t OrigPoint = 50;
  static constexpr size_t DestPoint = 52;
  static constexpr size_t ProductData = 54;  // 4 bytes
};

// Limits of a packed message (the message header inside a packet). Its
// image is the body of a stored message, so its field offsets are
// MailBodyOffset (core/Mail.h); the fixed part ends where the to-name begins.
inline constexpr size_t kPackedMessageFixedSize = 34;
// Characters before the NUL, as FTS-0001 allows them.
inline constexpr size_t kPackedToNameMax = 36;
inline constexpr size_t kPackedFromNameMax = 36;
inline constexpr size_t kPackedSubjectMax = 72;

inline constexpr size_t kPacketPasswordSize = 8;
inline constexpr uint16_t kCapabilityType2Plus = 0x0001;
inline constexpr uint8_t kOwnProductCodeLow = 0xFE;

struct TPacketHeader {
  uint16_t OrigNode = 0;
  uint16_t DestNode = 0;
  uint16_t Year = 0;
  uint16_t Month = 0;  // 0 to 11
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint16_t Baud = 0;
  uint16_t PacketType = kPacketType2;
  uint16_t OrigNet = 0;
  uint16_t DestNet = 0;
  uint8_t ProductCodeLow = 0;
  uint8_t RevisionMajor = 0;
  std::array<uint8_t, kPacketPasswordSize> Password{};
  uint16_t QOrigZone = 0;
  uint16_t QDestZone = 0;
  uint16_t AuxNet = 0;
  uint16_t CapabilityCopy = 0;
  uint8_t ProductCodeHigh = 0;
  uint8_t RevisionMinor = 0;
  uint16_t Capability = 0;
  uint16_t OrigZone = 0;
  uint16_t DestZone = 0;
  uint16_t OrigPoint = 0;
  uint16_t DestPoint = 0;
  uint32_t ProductData = 0;

  void Encode(uint8_t* out) const;
  std::array<uint8_t, kPacketHeaderSize> Encode() const;
  // Reads 58 bytes; no field is checked.
  static TPacketHeader Decode(const uint8_t* in);

  // The header this system writes for a packet from own to uplink at the
  // given time: type 2+ with capability word 1 and its byte-swapped copy,
  // product code 0xFE, the zones in both places, the points at the end and
  // the first 8 characters of the password, NUL-padded.
  static TPacketHeader ForLink(const TFidoAddr& own, const TFidoAddr& uplink,
                               std::string_view password, TDateTime when);

  // True when the capability word and its byte-swapped copy agree and
  // announce type 2+ (the zones at 46/48 and points at 50/52 are valid).
  bool IsType2Plus() const;
  // The addresses as far as the header tells them: a type 2+ header gives
  // the zones from 46/48 (or from 34/36 when those are 0) and the points; a
  // point packet that names net 65535 with an auxiliary net (the other
  // type 2+ convention) gives the auxiliary net as the origin net. A plain
  // type-2 header gives the zones from 34/36 and point 0.
  TFidoAddr OrigAddress() const;
  TFidoAddr DestAddress() const;

  // The password up to its first NUL (at most 8 bytes).
  std::string PasswordText() const;
  // Stores the first 8 characters, NUL-padded.
  void SetPassword(std::string_view password);

  bool operator==(const TPacketHeader&) const = default;
};

// The program identifier used in tear lines, PID kludges and TIC files.
const char* GetProgramId();

}  // namespace velmaris

// The 256-byte header record of every stored message. The same record is the
// index entry of ".PackedIndex", the header of a TMail and what the tosser,
// the scanner and the filters read. It is encoded and decoded field by field,
// little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/FidoAddress.h"

namespace velmaris {

inline constexpr size_t kMsgHeaderSize = 256;

// Bits of TMsgHeader::Flags.
struct MsgFlag {
  static constexpr uint16_t Hold = 0x0002;     // hold for pickup
  static constexpr uint16_t Unread = 0x0004;   // not yet read
  static constexpr uint16_t ToSysop = 0x0010;  // addressed to the point's own user
  static constexpr uint16_t Kill = 0x0020;     // delete after sending
  static constexpr uint16_t Send = 0x0040;     // waiting to be exported
  static constexpr uint16_t Sent = 0x0080;     // exported
  static constexpr uint16_t Crash = 0x0100;    // send directly to the destination
  static constexpr uint16_t Attach = 0x0200;   // file attach
  static constexpr uint16_t Request = 0x0400;  // file request
  static constexpr uint16_t Deleted = 0x1000;  // removed by the next optimisation
  static constexpr uint16_t New = 0x2000;      // arrived with the last import

  // Composed here: the message may be edited.
  static constexpr uint16_t Editable = 0x0800;
};

// A length-prefixed string of at most N characters in a field of N + 1
// bytes. Characters after the length are kept as zeros.
template <size_t N>
struct TShortStr {
  uint8_t Length = 0;
  std::array<char, N> Chars{};

  static constexpr size_t MaxLength = N;

  std::string_view View() const { return std::string_view(Chars.data(), Length); }
  std::string Str() const { return std::string(View()); }
  // Stores the text, cut to N characters.
  void Assign(std::string_view text) {
    Chars.fill(0);
    Length = static_cast<uint8_t>(text.size() < N ? text.size() : N);
    for (size_t i = 0; i < Length; ++i) Chars[i] = text[i];
  }
  TShortStr& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  bool operator==(const TShortStr&) const = default;
};

struct TMsgHeader {
  uint32_t Reserved0 = 0;
  TFidoAddr OrigAddr{};
  TFidoAddr DestAddr{};
  uint32_t MsgIdCrc = 0;  // CRC-32 of the MSGID address word, 0 when none
  uint32_t ReplyCrc = 0;  // CRC-32 of the REPLY address word, 0 when none
  TShortStr<35> FromName;
  TShortStr<35> ToName;
  TShortStr<71> Subject;
  TShortStr<51> AreaName;  // the area the message was written into
  int32_t Created = 0;     // Unix seconds of the message's own date
  int32_t Tossed = 0;      // Unix seconds when it entered this area
  uint32_t Reserved232 = 0;
  uint32_t MsgIdNumber = 0;  // MSGID serial, 0 when none
  uint32_t ReplyNumber = 0;  // REPLY serial, 0 when none
  uint16_t TextOffset = 0;   // offset of the message text in the body
  uint32_t BodyLength = 0;   // decompressed body length
  uint32_t BodyOffset = 0;   // offset of the body record in ".PackedBody"
  uint16_t Flags = 0;        // MsgFlag bits

  static constexpr uint32_t NotStored = 0xFFFFFFFF;  // BodyOffset of a mail not stored

  // Writes the 256 bytes of the record to out.
  void Encode(uint8_t* out) const;
  std::array<uint8_t, kMsgHeaderSize> Encode() const;
  // Reads a record; string lengths above their field's maximum are cut.
  static TMsgHeader Decode(const uint8_t* in);

  bool operator==(const TMsgHeader& other) const;
};

// Field offsets of the record, for readers that look at single fields.
struct MsgHeaderOffset {
  static constexpr size_t Reserved0 = 0;
  static constexpr size_t OrigAddr = 4;
  static constexpr size_t DestAddr = 12;
  static constexpr size_t MsgIdCrc = 20;
  static constexpr size_t ReplyCrc = 24;
  static constexpr size_t FromName = 28;
  static constexpr size_t ToName = 64;
  static constexpr size_t Subject = 100;
  static constexpr size_t AreaName = 172;
  static constexpr size_t Created = 224;
  static constexpr size_t Tossed = 228;
  static constexpr size_t Reserved232 = 232;
  static constexpr size_t MsgIdNumber = 236;
  static constexpr size_t ReplyNumber = 240;
  static constexpr size_t TextOffset = 244;
  static constexpr size_t BodyLength = 246;
  static constexpr size_t BodyOffset = 250;
  static constexpr size_t Flags = 254;
};

}  // namespace velmaris

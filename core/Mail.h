// A stored message: its 256-byte header record and its body, the FTS-0001
// packed message image (type word, node and net numbers, attribute, cost,
// 20-byte date text, the NUL-terminated to-name, from-name and subject, then
// the NUL-terminated text starting at the header's TextOffset).
//
// This holds what the message base needs of a message; the message's own
// operations (stored-message files, printing, macros, dates, masks) build on
// it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/MsgHeader.h"
#include "core/PubLst.h"

namespace velmaris {

// Offsets in the packed message image of the body.
struct MailBodyOffset {
  static constexpr size_t Type = 0;
  static constexpr size_t OrigNode = 2;
  static constexpr size_t DestNode = 4;
  static constexpr size_t OrigNet = 6;
  static constexpr size_t DestNet = 8;
  static constexpr size_t Attribute = 10;
  static constexpr size_t Cost = 12;
  static constexpr size_t Date = 14;      // 20 bytes: "dd Mon yy  hh:mm:ss" and a NUL
  static constexpr size_t ToName = 34;    // then from-name and subject, NUL-terminated
};
inline constexpr size_t kMailDateSize = 20;

// FTS-0001 attribute bits of the body's attribute word.
struct FtsAttr {
  static constexpr uint16_t Private = 0x0001;
  static constexpr uint16_t Crash = 0x0002;
  static constexpr uint16_t FileAttached = 0x0010;
  static constexpr uint16_t KillSent = 0x0080;
  static constexpr uint16_t FileRequest = 0x0800;
};

class TMail : public TObject {
 public:
  // Copies the body and the header; BodyOffset and Flags start at 0.
  TMail(std::string body, const TMsgHeader& header);

  int32_t BodySize() const { return static_cast<int32_t>(Body.size()); }
  // A copy with the body, the header and the flags; BodyOffset 0.
  std::unique_ptr<TMail> Clone() const;

  // The body's attribute word (0 when the body is too short to hold one).
  uint16_t GetAttribute() const;
  void SetAttribute(uint16_t attribute);

  TMsgHeader Header;
  std::string Body;
};

}  // namespace velmaris

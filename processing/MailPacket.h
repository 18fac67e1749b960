// Reading an inbound FTS-0001 packet: the whole file is read into memory and
// handed out one packed message at a time, together with the message header
// record the tosser stores (addresses from the kludges and the origin line,
// names, subject, area tag) and the MSGID/REPLY keys of the reply chain.
//
// Everything is bounded by the file: a message that does not fit, a name or
// subject longer than FTS-0001 allows or a string without its NUL is damage.
// Damage ends the reading of the packet; the messages before it were handed
// out whole and stay usable, and the damage is reported through
// GetDamageText (and, unless switched off, an error box). A message that is
// whole but larger than the message base stores is no damage: it is passed
// over to its terminating NUL, recorded in GetSkippedMails, and reading goes
// on with the message after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MsgHeader.h"
#include "processing/PacketHeader.h"

namespace velmaris {

// Status of opening a packet.
enum TPacketStatus : int {
  psReady = 0,
  psCannotOpen = 1,     // "Konnte Paketdatei nicht öffnen!"
  psDamagedHeader = 2,  // fewer than 58 header bytes
  psUnknownType = 3,    // packet type not 2
  psNoMemory = 4,       // body too large to hold
  psDamagedFile = 5,    // the body could not be read whole
  psTooLarge = 6,       // the file is larger than kMaxPacketFileSize
};

// The text the tosser logs for a status ("" for psReady), in the ANSI page.
std::string PacketStatusText(int status);

// The largest packet file that is read (larger ones get psTooLarge).
inline constexpr uint64_t kMaxPacketFileSize = 256ull * 1024 * 1024;
// The largest packed message; the message base stores nothing larger.
inline constexpr size_t kMaxPackedMessageSize = 0x4000000;
// Bounds of the values taken from the text.
inline constexpr size_t kMaxKludgeValue = 255;
inline constexpr size_t kMaxAreaTagScan = 59;
inline constexpr size_t kMaxAreaTag = 51;

// A whole message that was passed over because it is too large to store.
struct TSkippedMail {
  int Number = 0;       // its position among the packet's messages, from 1
  uint64_t Offset = 0;  // its offset in the packet file
  uint64_t Size = 0;    // its length up to and including the text's NUL
};

class TMailPacket {
 public:
  // Opens and reads the packet file; see GetStatus.
  explicit TMailPacket(const std::string& fileName);
  // A packet given as bytes (the whole file); fileName names it in reports.
  static TMailPacket FromBytes(std::string_view bytes, const std::string& fileName = "<memory>");

  int GetStatus() const { return status_; }
  std::string GetStatusText() const { return PacketStatusText(status_); }
  const std::string& GetFileName() const { return fileName_; }
  // The decoded 58-byte header (zeros when it could not be read).
  const TPacketHeader& GetHeader() const { return header_; }
  // The body size plus 58.
  uint64_t GetPacketSize() const { return body_.size() + kPacketHeaderSize; }

  // The current packed message (empty before the first NextMail).
  const std::string& GetMailBuffer() const { return mail_; }
  // The header record of the current message.
  const TMsgHeader& GetMailHeader() const { return mailHeader_; }
  // The keys of the current message: MSGID and REPLY serials (0 when none
  // or not hexadecimal) and the CRC-32 of their address words (0 when none),
  // also stored in GetMailHeader().
  uint32_t GetMsgIdSerial() const { return msgIdSerial_; }
  // Whether the message's area tag (GetMailHeader().AreaName) is raw, as
  // judged from the bytes of its AREA line (platform::IsRawPacketTag).
  bool GetAreaTagRaw() const { return areaTagRaw_; }
  uint32_t GetReplySerial() const { return replySerial_; }
  uint32_t GetMsgIdCrc() const { return msgIdCrc_; }
  uint32_t GetReplyCrc() const { return replyCrc_; }
  const std::string& GetMsgIdAddress() const { return msgIdAddress_; }
  const std::string& GetReplyAddress() const { return replyAddress_; }

  // Back to the first message; a damage report is cleared.
  void Rewind();

  // Looks for byte 1 followed by name in the current message's text; the
  // rest of that line without leading backspaces, blanks and colons and
  // without trailing backspaces and blanks (at most 255 bytes), else def.
  std::string GetKludge(std::string_view name, std::string_view def) const;

  // Parses the next packed message and returns it (the same buffer as
  // GetMailBuffer), or nullptr at the end of the packet or on damage.
  const std::string* NextMail();

  // Damage found while parsing: reading has stopped there.
  bool IsDamaged() const { return !damage_.empty(); }
  // "Das Paket <name> is beschädigt!" followed by what is wrong and where,
  // in the ANSI page (a log line).
  const std::string& GetDamageText() const { return damage_; }
  // The body offset of the next message (the bytes consumed so far).
  size_t GetReadPosition() const { return pos_; }
  // Number of messages handed out since the start (or Rewind).
  int GetMailCount() const { return count_; }
  // The messages passed over as too large since the start (or Rewind).
  const std::vector<TSkippedMail>& GetSkippedMails() const { return skipped_; }
  // The largest message handed out (kMaxPackedMessageSize unless set).
  void SetMaxMessageSize(size_t bytes) { maxMessageSize_ = bytes; }

  // Whether damage is also shown to the user as an error box (the process-
  // wide Prompter). On by default.
  void SetShowDamageBox(bool show) { showDamageBox_ = show; }

 private:
  TMailPacket() = default;
  void Load(std::string_view bytes);
  const std::string* Damage(size_t at, const std::string& what);
  // Finds the message at start: its three strings and its text's NUL, all
  // inside the body. False at the packet's end or on damage (recorded).
  bool Locate(size_t start, size_t strStart[3], size_t strLen[3], size_t& textStart,
              size_t& textNul);

  std::string fileName_;
  int status_ = psCannotOpen;
  TPacketHeader header_{};
  std::string body_;
  size_t pos_ = 0;
  int count_ = 0;
  std::string mail_;
  TMsgHeader mailHeader_{};
  size_t textOffset_ = 0;  // within mail_
  uint32_t msgIdSerial_ = 0, replySerial_ = 0, msgIdCrc_ = 0, replyCrc_ = 0;
  bool areaTagRaw_ = false;
  std::string msgIdAddress_, replyAddress_;
  std::string damage_;
  bool showDamageBox_ = true;
  std::vector<TSkippedMail> skipped_;
  size_t maxMessageSize_ = kMaxPackedMessageSize;
};

// The address text of an origin line (" * Origin: text (2:5020/1.7)"):
// the run of digits, ":", "/" and "." just before the line's last ")"; a
// domain after "@" ("(2:5020/1@fidonet)") is passed over. "" when none.
std::string OriginLineAddress(std::string_view line);

}  // namespace velmaris

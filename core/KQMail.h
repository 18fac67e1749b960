// A message being written by the program: by the message editor, replies
// and forwards, mail filters, scheduled mails, area-robot requests and the
// report poster. It holds addresses, names, subject, flags and text lines in
// the ANSI code page, adds the kludge lines, tear line, origin line and
// SEEN-BY line, numbers the message from the MSGID serial counter and builds
// the stored TMail (in the OEM code page) that an area then queues and
// writes.
//
// Kludge block, each line ending in CR (13), kludges preceded by byte 1:
//   netmail area:  ^AINTL <dest 3D> <orig 3D>, ^AFMPT <point>, ^ATOPT <point>
//   other areas:   AREA:<name>                (no ^A; the name as TagToOem
//                                              gives it, never a look-alike)
//   always:        ^AMSGID: <orig 4D> <serial as 8 lower-case hex digits>
//   with an area:  ^ACHRS: IBMPC 2
//   with UsePid:   ^APID: <ProgramId>
// A REPLY kludge is part of the text (ReplyKludge, ApplyReplyKey).
//
// Body text after the kludges: every text line + CR, one more CR, the tear
// line + CR, the origin line + CR, the SEEN-BY line + CR (each as switched
// on), then a NUL.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTimeUtil.h"
#include "core/FidoAddress.h"
#include "core/Mail.h"
#include "core/PubLst.h"

namespace velmaris {

class TArea;
class TLinkList;
class SettingsValues;

// The program identifier of tear lines and PID kludges (packets carry the
// same one).
inline constexpr const char* kProgramId = "KQ/95 Rel 1.78E (215.0)";

// The longest origin line; a longer one loses characters of its origin text
// (never of the address).
inline constexpr size_t kMaxOriginLine = 79;
// The origin text is cut to this many characters in any case.
inline constexpr size_t kMaxOriginText = 70;

// "\x01REPLY: " + address + " " + serial as 8 lower-case hexadecimal digits.
std::string ReplyKludge(std::string_view address, uint32_t serial);
// The REPLY key of a message from its text lines: the first line beginning
// with byte 1 and "REPLY: " whose last 8 characters are hexadecimal gives
// ReplyNumber (those digits) and ReplyCrc (CRC-32 of the text between
// "REPLY: " and the blank before them). False, header untouched, without one.
bool ApplyReplyKey(const std::vector<std::string>& lines, TMsgHeader& header);

class TKQMail : public TObject {
 public:
  TKQMail();
  TKQMail(const TKQMail&) = delete;
  TKQMail& operator=(const TKQMail&) = delete;

  TArea* Area = nullptr;          // the area the message is written into
  TFidonetAddress DestAddr;       // destination
  std::string ToName;             // addressee
  uint16_t Flags = 0;             // MsgFlag bits of the stored header
  std::vector<std::string> Text;  // the lines without kludges, tear, origin, SEEN-BY
  TFidonetAddress OrigAddr;       // the point's own address
  std::string Origin;             // origin text
  std::string FromName;           // sender
  std::string Subject;
  std::string TearLine;   // "--- " + program identifier at creation
  std::string ProgramId;  // value of the PID kludge
  bool UseOrigin = true;
  bool UseTearLine = true;
  bool UsePid = false;
  bool UseSeenBy = true;
  uint32_t Serial = 0;  // MSGID serial of the last build

  // What BuildMail reads besides the mail: the gateway settings (the
  // program's settings object when not set; no gateway when there is none)
  // and the uplinks whose own addresses a gateway mail may take.
  std::shared_ptr<const SettingsValues> Config;
  const TLinkList* Uplinks = nullptr;
  // The clock of the message date and the store macros (Now when not set).
  std::function<TDateTime()> Clock;

  void AssignText(const std::vector<std::string>& lines) { Text = lines; }
  // Copies addresses, area, names, origin, subject, flags and text.
  void Assign(const TKQMail& other);

  // Fills the fields from a stored message. areas (the area list) gives the
  // area named by the text's AREA line, else "NETMAIL"; none without it.
  // Kludge, tear and origin lines are dropped; the origin text is kept
  // without its address; the text comes back in the ANSI code page.
  void LoadFromMail(const TMail& mail, const TPubLst* areas = nullptr);

  // " * Origin: " + origin text + " (" + 4D origin address + ")". The
  // origin field is cut to kMaxOriginText characters; when the line would
  // still exceed kMaxOriginLine, the origin text in it is shortened further.
  std::string GetOriginLine();
  // The kludge block; takes a new serial into Serial.
  std::string WriteKludges();
  // The size of the text a build writes: kludge block + 2 (the empty line's
  // CR and the NUL), tear line + 1 and origin line + 1 when switched on, and
  // every text line + 1. The SEEN-BY line is not counted. Takes a serial.
  int GetTextSize();

  // Replaces the new-message macros ("%neworigaddr", "%newdestaddr",
  // "%newdestname", "%neworigname", "%newsubject", "%newarea",
  // "%newdestfirst", "%neworigfirst", "%storedate", "%storetime",
  // "%storeday") in that order; each pass replaces the occurrences present
  // when it begins, from left to right, never its own insertions.
  std::string ExpandMacros(std::string_view line) const;

  // BuildMail with every text line macro-expanded; Text stays unexpanded.
  std::unique_ptr<TMail> BuildExpandedMail();
  // The stored message. The fields are left as they were (the gateway's
  // changes go into the built message only), except Serial.
  std::unique_ptr<TMail> BuildMail();

  // The next MSGID serial (MsgIdSerial()).
  static uint32_t NextSerial();

  // Stores the message as the editor does: builds it (macros expanded),
  // queues it in the area and writes the area's queue, under an exclusive
  // lock of the area waited for (WaitLock) unless the caller holds one
  // already (lockArea false). False without an area or when the area could
  // not write it.
  bool StoreInArea(bool lockArea = true);

 private:
  std::string KludgeBlock(const TFidonetAddress& orig, const TFidonetAddress& dest);
  // "AREA:" + the area's name + CR for an area other than netmail, else "".
  std::string AreaLine() const;
  std::string OriginLineFor(const TFidonetAddress& orig);
  TDateTime ClockNow() const;
};

// The own address a gateway mail takes: of the uplinks in order, the first
// whose own address has the destination's zone, net and node; failing that
// the first with the same zone and net; failing that the same zone. Null
// when none matches.
const class TNetLink* FindGatewayUplink(const TLinkList& uplinks, const TFidoAddr& dest);

// The area that the tag of a stored message's AREA line names (the OEM page,
// as a packet carries it): the area of that name in the ANSI page, else the
// one an earlier version named by the tag's own bytes. Separators are no
// areas. Null when neither exists.
class TArea* FindAreaOfTag(const TPubLst& areas, std::string_view oemTag);

}  // namespace velmaris

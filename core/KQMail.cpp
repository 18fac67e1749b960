#include "core/KQMail.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/Area.h"
#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/EMailAddress.h"
#include "core/NetLink.h"
#include "core/SerialCounter.h"
#include "core/Settings.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

constexpr char kKludge = '\x01';
constexpr char kCR = '\r';
constexpr const char* kOriginPrefix = " * Origin: ";

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// A name in the body is a C string: everything from a NUL on is dropped.
std::string CString(std::string_view text, size_t maxLength) {
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return std::string(text.substr(0, maxLength));
}

// Text lines end at the NUL of the body; a NUL inside a line is dropped.
void AppendTextLine(std::string& out, std::string_view line) {
  for (char c : line)
    if (c != '\0') out += c;
  out += kCR;
}

// Replaces every occurrence of macro present when the pass begins.
void ReplaceAll(std::string& text, std::string_view macro, const std::string& value) {
  size_t pos = 0;
  while ((pos = text.find(macro, pos)) != std::string::npos) {
    text.replace(pos, macro.size(), value);
    pos += value.size();
  }
}

std::string FirstWord(const std::string& name) {
  std::string rest = name, word;
  CutFirstWordOrQuoted(rest, word);
  return word;
}

std::shared_ptr<const SettingsValues> CurrentSettings() {
  try {
    return GetSettings().Snapshot();
  } catch (const ESettings&) {
    return nullptr;
  }
}

}  // namespace

std::string ReplyKludge(std::string_view address, uint32_t serial) {
  return std::string(1, kKludge) + "REPLY: " + std::string(address) + " " + Hex8(serial);
}

bool ApplyReplyKey(const std::vector<std::string>& lines, TMsgHeader& header) {
  static constexpr std::string_view kPrefix = "\x01REPLY: ";
  for (const auto& line : lines) {
    if (line.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    const std::string_view value = std::string_view(line).substr(kPrefix.size());
    if (value.size() < 8) continue;
    const std::string_view digits = value.substr(value.size() - 8);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return platform::HexDigitValue(c) >= 0; })) {
      continue;
    }
    std::string_view address = value.substr(0, value.size() - 8);
    if (!address.empty() && address.back() == ' ') address.remove_suffix(1);
    header.ReplyNumber = HexStrToInt(digits);
    header.ReplyCrc = Crc32OfString(address);
    return true;
  }
  return false;
}

const TNetLink* FindGatewayUplink(const TLinkList& uplinks, const TFidoAddr& dest) {
  // Three passes, each less strict: zone, net and node; zone and net; zone.
  for (int level = 3; level >= 1; --level) {
    for (int i = 0; i < uplinks.GetCount(); ++i) {
      const TNetLink* link = uplinks.GetItem(i);
      if (!link) continue;
      const TFidoAddr& own = link->SysopAddress.Address();
      bool match = own.Zone == dest.Zone;
      if (level >= 2) match = match && own.Net == dest.Net;
      if (level >= 3) match = match && own.Node == dest.Node;
      if (match) return link;
    }
  }
  return nullptr;
}

TKQMail::TKQMail() : TearLine(std::string("--- ") + kProgramId), ProgramId(kProgramId) {}

void TKQMail::Assign(const TKQMail& other) {
  DestAddr.SetText(other.DestAddr.Text4D());
  OrigAddr.SetText(other.OrigAddr.Text4D());
  Area = other.Area;
  ToName = other.ToName;
  Origin = other.Origin;
  FromName = other.FromName;
  Subject = other.Subject;
  Flags = other.Flags;
  Text = other.Text;
}

TDateTime TKQMail::ClockNow() const { return Clock ? Clock() : Now(); }

uint32_t TKQMail::NextSerial() { return MsgIdSerial().Next(); }

std::string TKQMail::OriginLineFor(const TFidonetAddress& orig) {
  if (Origin.size() > kMaxOriginText) Origin.resize(kMaxOriginText);
  const std::string tail = " (" + orig.Text4D() + ")";
  const size_t fixed = std::string_view(kOriginPrefix).size() + tail.size();
  std::string text = Origin;
  // The address is never shortened; the origin text gives way instead.
  const size_t room = fixed < kMaxOriginLine ? kMaxOriginLine - fixed : 0;
  if (text.size() > room) text.resize(room);
  return kOriginPrefix + text + tail;
}

std::string TKQMail::GetOriginLine() { return OriginLineFor(OrigAddr); }

std::string TKQMail::KludgeBlock(const TFidonetAddress& orig, const TFidonetAddress& dest) {
  std::string block;
  auto kludge = [&block](const std::string& line) {
    block += kKludge;
    block += line;
    block += kCR;
  };
  if (Area) {
    if (Area->AreaType == AreaTypeCode::Netmail) {
      kludge("INTL " + dest.Text3D() + " " + orig.Text3D());
      if (orig.Address().Point != 0) kludge("FMPT " + std::to_string(orig.Address().Point));
      if (dest.Address().Point != 0) kludge("TOPT " + std::to_string(dest.Address().Point));
    } else {
      block += AreaLine();
    }
  }
  Serial = NextSerial();
  kludge("MSGID: " + orig.Text4D() + " " + Hex8(Serial));
  if (Area) kludge("CHRS: IBMPC 2");
  if (UsePid) kludge("PID: " + ProgramId);
  return block;
}

std::string TKQMail::AreaLine() const {
  if (!Area || Area->AreaType == AreaTypeCode::Netmail) return {};
  return "AREA:" + Area->Name + kCR;
}

std::string TKQMail::WriteKludges() { return KludgeBlock(OrigAddr, DestAddr); }

int TKQMail::GetTextSize() {
  size_t size = WriteKludges().size() + 2;
  if (UseTearLine) size += TearLine.size() + 1;
  if (UseOrigin) size += GetOriginLine().size() + 1;
  for (const auto& line : Text) size += line.size() + 1;
  return static_cast<int>(size);
}

std::string TKQMail::ExpandMacros(std::string_view line) const {
  std::string text(line);
  const TDateTime now = ClockNow();
  const std::pair<std::string_view, std::function<std::string()>> macros[] = {
      {"%neworigaddr", [&] { return OrigAddr.Text4D(); }},
      {"%newdestaddr", [&] { return DestAddr.Text4D(); }},
      {"%newdestname", [&] { return ToName; }},
      {"%neworigname", [&] { return FromName; }},
      {"%newsubject", [&] { return Subject; }},
      {"%newarea", [&] { return Area ? Area->NameInAnsi() : std::string(); }},
      {"%newdestfirst", [&] { return FirstWord(ToName); }},
      {"%neworigfirst", [&] { return FirstWord(FromName); }},
      {"%storedate", [&] { return FormatShortDate(now); }},
      {"%storetime", [&] { return FormatMacroTime(now); }},
      {"%storeday", [&] { return FormatDayName(now); }},
  };
  for (const auto& [macro, value] : macros)
    if (text.find(macro) != std::string::npos) ReplaceAll(text, macro, value());
  return text;
}

std::unique_ptr<TMail> TKQMail::BuildExpandedMail() {
  const std::vector<std::string> kept = Text;
  for (auto& line : Text) line = ExpandMacros(line);
  std::unique_ptr<TMail> mail;
  try {
    mail = BuildMail();
  } catch (...) {
    Text = kept;
    throw;
  }
  Text = kept;
  return mail;
}

std::unique_ptr<TMail> TKQMail::BuildMail() {
  // The gateway works on copies: a second build of the same mail must not
  // insert its address lines again or start from changed addresses.
  std::string toName = ToName;
  // The copies tell nobody of their changes: the fields' listeners (an
  // editor's controls) must not see the gateway's addresses.
  TFidonetAddress dest = DestAddr;
  TFidonetAddress orig = OrigAddr;
  dest.OnChange = nullptr;
  orig.OnChange = nullptr;
  std::vector<std::string> leading;

  std::string address, name;
  if (SplitEMailAddress(ToName, address, name)) {
    toName = name;
    const uint8_t type = Area ? Area->AreaType : AreaTypeCode::Echomail;
    std::shared_ptr<const SettingsValues> config = Config ? Config : CurrentSettings();
    const bool gateway = Area && type == AreaTypeCode::Netmail && config && config->CbUseGateWay();
    if (gateway || (Area && type == AreaTypeCode::EMail)) {
      if (!name.empty() && name != address)
        leading.push_back("to: " + address + " (" + name + ")");
      else
        leading.push_back("to: " + address);
      leading.emplace_back();
    }
    if (gateway) {
      if (config->CbUseUUCPName()) toName = config->EdUUCPName();
      dest.SetText(config->EdUUCPAddr());
      if (Uplinks) {
        if (const TNetLink* link = FindGatewayUplink(*Uplinks, dest.Address()))
          orig.SetText(link->SysopAddress.Text4D());
      }
    }
  }

  std::string seenBy;
  if (UseSeenBy)
    seenBy = "SEEN-BY: " + std::to_string(orig.Address().Net) + "/" +
             std::to_string(orig.Address().Node) + kCR;

  const std::string from = CString(FromName, 35);
  const std::string to = CString(toName, 35);
  const std::string subject = CString(Subject, 71);

  std::string body(MailBodyOffset::Date, '\0');
  PutLE16At(body, MailBodyOffset::Type, 2);
  PutLE16At(body, MailBodyOffset::OrigNode, orig.Address().Node);
  PutLE16At(body, MailBodyOffset::DestNode, dest.Address().Node);
  PutLE16At(body, MailBodyOffset::OrigNet, orig.Address().Net);
  PutLE16At(body, MailBodyOffset::DestNet, dest.Address().Net);
  std::string date = FormatPacketDate(ClockNow());
  date.resize(kMailDateSize, '\0');
  date.back() = '\0';
  body += date;
  body += AnsiToOemStr(to) + '\0' + AnsiToOemStr(from) + '\0' + AnsiToOemStr(subject) + '\0';
  const size_t textOffset = body.size();

  std::string text = KludgeBlock(orig, dest);
  // The tag goes as it comes back (TagToOem), the rest of the text in the
  // OEM page.
  const std::string areaLine = AreaLine();
  for (const auto& line : leading) AppendTextLine(text, line);
  for (const auto& line : Text) AppendTextLine(text, line);
  text += kCR;
  if (UseTearLine) AppendTextLine(text, TearLine);
  if (UseOrigin) AppendTextLine(text, OriginLineFor(orig));
  text += seenBy;
  body += platform::TagToOem(areaLine, Area && Area->RawTag) +
          AnsiToOemStr(std::string_view(text).substr(areaLine.size()));
  body += '\0';

  TMsgHeader header;
  header.OrigAddr = orig.Address();
  header.DestAddr = dest.Address();
  header.MsgIdCrc = Crc32OfString(orig.Text4D());
  header.ReplyCrc = 0;
  header.FromName = from;
  header.ToName = to;
  header.Subject = subject;
  header.AreaName = Area ? Area->Name : std::string();
  header.MsgIdNumber = Serial;
  header.ReplyNumber = 0;
  header.TextOffset = static_cast<uint16_t>(textOffset);
  header.BodyLength = static_cast<uint32_t>(body.size());

  auto mail = std::make_unique<TMail>(std::move(body), header);
  mail->Header.Flags = Flags;
  return mail;
}

bool TKQMail::StoreInArea(bool lockArea) {
  if (!Area) return false;
  std::unique_ptr<TMail> mail = BuildExpandedMail();
  std::optional<TAreaLockHold> hold;
  if (lockArea) {
    Area->WaitLock(true, [] { return false; });
    hold.emplace(*Area);
  }
  return Area->StoreMail(std::move(mail));
}

void TKQMail::LoadFromMail(const TMail& mail, const TPubLst* areas) {
  auto findArea = [areas](const std::string& tag) -> TArea* {
    return areas ? FindAreaOfTag(*areas, tag) : nullptr;
  };
  FromName = mail.Header.FromName.Str();
  ToName = mail.Header.ToName.Str();
  Subject = mail.Header.Subject.Str();
  OrigAddr.SetAddress(mail.Header.OrigAddr);
  DestAddr.SetAddress(mail.Header.DestAddr);
  Flags = mail.Header.Flags;
  Area = findArea("NETMAIL");
  Origin.clear();
  Text.clear();

  const std::string_view body = mail.BodyText();
  size_t pos = 0;
  while (pos < body.size()) {
    const size_t cr = body.find(kCR, pos);
    const bool last = cr == std::string_view::npos;
    const std::string line(body.substr(pos, last ? std::string_view::npos : cr - pos));
    pos = last ? body.size() : cr + 1;
    if (!last && pos < body.size() && body[pos] == '\n') ++pos;

    if (!line.empty() && line[0] == kKludge) continue;
    if (line.rfind("AREA:", 0) == 0) {
      std::string rest = line.substr(5), word;
      CutFirstWord(rest, word);
      Area = findArea(word);
      continue;
    }
    if (line.rfind(kOriginPrefix, 0) == 0) {
      std::string origin = line.substr(std::string_view(kOriginPrefix).size());
      const size_t open = origin.rfind('(');
      if (open != std::string::npos) {
        origin.resize(open);
        while (!origin.empty() && origin.back() == ' ') origin.pop_back();
      }
      Origin = OemToAnsiStr(origin);
      continue;
    }
    if (line.rfind("--- ", 0) == 0) continue;
    if (last && line.empty()) continue;
    Text.push_back(OemToAnsiStr(line));
  }
}

TArea* FindAreaOfTag(const TPubLst& areas, std::string_view oemTag) {
  // The tag is judged as a packet's: a raw one names only the area of those
  // bytes, any other the area of its conversion (an area an earlier version
  // made on the bytes themselves after that).
  auto find = [&areas](const std::string& name, bool raw) -> TArea* {
    for (int i = 0; i < areas.GetCount(); ++i) {
      TArea* area = dynamic_cast<TArea*>(areas.GetObject(i));
      if (area && !area->IsSeparator() && area->HasName(name, raw)) return area;
    }
    return nullptr;
  };
  const std::string bytes(oemTag);
  if (platform::IsRawPacketTag(oemTag)) return find(bytes, true);
  if (TArea* area = find(platform::TagFromOem(oemTag), false)) return area;
  return find(bytes, platform::IsRawTag(bytes));
}

}  // namespace velmaris

#include "processing/MailPacket.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/FidoAddress.h"
#include "core/Mail.h"
#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

using M = MailBodyOffset;
static_assert(kPackedMessageFixedSize == M::ToName);

constexpr char kCR = 13;
constexpr char kKludgeMark = 1;

bool IsBlank(unsigned char c) { return c <= 32; }

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// The first two blank-delimited words of a kludge value.
void SplitTwoWords(std::string_view value, std::string& first, std::string& second) {
  std::string rest(value);
  CutFirstWordShort(rest, first);
  CutFirstWordShort(rest, second);
}

// The value after a kludge keyword: up to the first byte below 32, at most
// kMaxKludgeValue bytes.
std::string KludgeValue(std::string_view line) {
  size_t n = 0;
  while (n < line.size() && n < kMaxKludgeValue && static_cast<unsigned char>(line[n]) >= 32) ++n;
  return std::string(line.substr(0, n));
}

bool IsAddressChar(char c) { return (c >= '0' && c <= '9') || c == ':' || c == '/' || c == '.'; }

bool IsDomainChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
         c == '-' || c == '_';
}

// Finds a NUL in body[from, from + limit]: its position, or npos.
size_t FindNul(const std::string& body, size_t from, size_t limit) {
  const size_t end = std::min(body.size(), from + limit);
  for (size_t i = from; i < end; ++i) {
    if (body[i] == '\0') return i;
  }
  return std::string::npos;
}

}  // namespace

std::string PacketStatusText(int status) {
  // The texts go into the import log, which is made in the ANSI page.
  using platform::Utf8ToAnsi;
  switch (status) {
    case psReady: return "";
    case psCannotOpen: return Utf8ToAnsi("Konnte Paketdatei nicht öffnen!");
    case psDamagedHeader: return Utf8ToAnsi("Paketkopf ist beschädigt!");
    case psUnknownType: return "Pakettyp ist unbekannt!";
    case psNoMemory: return "Nicht genug Speicher!";
    case psDamagedFile: return Utf8ToAnsi("Paketdatei ist beschädigt!");
    case psTooLarge:
      return "The packet file is larger than the " + std::to_string(kMaxPacketFileSize >> 20) +
             " MB a packet may have.";
    default: return "Unbekannter Paketstatus " + std::to_string(status);
  }
}

std::string OriginLineAddress(std::string_view line) {
  const size_t close = line.rfind(')');
  if (close == std::string_view::npos) return "";
  size_t end = close;
  // A domain after the address: "(2:5020/1@fidonet)".
  size_t p = end;
  while (p > 0 && IsDomainChar(line[p - 1])) --p;
  if (p > 0 && line[p - 1] == '@') end = p - 1;
  size_t start = end;
  while (start > 0 && IsAddressChar(line[start - 1])) --start;
  return std::string(line.substr(start, end - start));
}

TMailPacket::TMailPacket(const std::string& fileName) : fileName_(fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    status_ = psCannotOpen;
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    status_ = psCannotOpen;
    return;
  }
  uint8_t head[kPacketHeaderSize];
  if (platform::ReadFull(fd, reinterpret_cast<char*>(head), kPacketHeaderSize) <
      kPacketHeaderSize) {
    ::close(fd);
    status_ = psDamagedHeader;
    return;
  }
  header_ = TPacketHeader::Decode(head);
  if (header_.PacketType != kPacketType2) {
    ::close(fd);
    status_ = psUnknownType;
    return;
  }
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (fileSize > kMaxPacketFileSize) {
    ::close(fd);
    status_ = psTooLarge;
    return;
  }
  const size_t bodySize = static_cast<size_t>(fileSize - kPacketHeaderSize);
  try {
    body_.resize(bodySize);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    status_ = psNoMemory;
    return;
  }
  const size_t got = platform::ReadFull(fd, body_.data(), bodySize);
  ::close(fd);
  if (got < bodySize) {
    body_.clear();
    body_.shrink_to_fit();
    status_ = psDamagedFile;
    return;
  }
  pos_ = 0;
  status_ = psReady;
}

TMailPacket TMailPacket::FromBytes(std::string_view bytes, const std::string& fileName) {
  TMailPacket p;
  p.fileName_ = fileName;
  p.Load(bytes);
  return p;
}

void TMailPacket::Load(std::string_view bytes) {
  if (bytes.size() < kPacketHeaderSize) {
    status_ = psDamagedHeader;
    return;
  }
  header_ = TPacketHeader::Decode(reinterpret_cast<const uint8_t*>(bytes.data()));
  if (header_.PacketType != kPacketType2) {
    status_ = psUnknownType;
    return;
  }
  if (bytes.size() > kMaxPacketFileSize) {
    status_ = psTooLarge;
    return;
  }
  body_.assign(bytes.substr(kPacketHeaderSize));
  pos_ = 0;
  status_ = psReady;
}

void TMailPacket::Rewind() {
  pos_ = 0;
  count_ = 0;
  damage_.clear();
  skipped_.clear();
}

const std::string* TMailPacket::Damage(size_t at, const std::string& what) {
  const size_t number = static_cast<size_t>(count_) + skipped_.size() + 1;
  // The text goes into the import log (the ANSI page), the box takes UTF-8.
  damage_ = "Das Paket " + platform::LogName(fileName_) + platform::Utf8ToAnsi(" is beschädigt!") +
            " (message " + std::to_string(number) + " at offset " +
            std::to_string(at + kPacketHeaderSize) + ": " + what + ")";
  if (showDamageBox_) {
    platform::GetPrompter().Ask(
        platform::MsgKind::Error,
        "Das Paket " + platform::DiskNameText(fileName_) + " is beschädigt!", platform::mbOk);
  }
  return nullptr;
}

bool TMailPacket::Locate(size_t start, size_t strStart[3], size_t strLen[3], size_t& textStart,
                         size_t& textNul) {
  const size_t remaining = body_.size() - start;
  // The terminating zero word, or a file that ends without it.
  if (remaining < 2) return false;
  const uint16_t type = GetLE16(reinterpret_cast<const uint8_t*>(body_.data() + start));
  if (type == 0) return false;
  if (type != kPackedMessageType) {
    Damage(start, "unknown message type " + std::to_string(type));
    return false;
  }
  // The fixed part and four NULs at the least.
  if (remaining < kPackedMessageFixedSize + 4) {
    Damage(start, "message cut off");
    return false;
  }

  // The three strings and the text, each ending inside the body.
  struct Field {
    const char* name;
    size_t max;
  };
  static constexpr Field kFields[3] = {
      {"to-name", kPackedToNameMax},
      {"from-name", kPackedFromNameMax},
      {"subject", kPackedSubjectMax},
  };
  size_t p = start + kPackedMessageFixedSize;
  for (int i = 0; i < 3; ++i) {
    const size_t nul = FindNul(body_, p, kFields[i].max + 1);
    if (nul == std::string::npos) {
      if (p + kFields[i].max + 1 > body_.size()) {
        Damage(p, std::string(kFields[i].name) + " not terminated before the end of the file");
      } else {
        Damage(p, std::string(kFields[i].name) + " longer than " + std::to_string(kFields[i].max) +
                      " characters");
      }
      return false;
    }
    strStart[i] = p;
    strLen[i] = nul - p;
    p = nul + 1;
  }
  textStart = p;
  textNul = body_.find('\0', textStart);
  if (textNul == std::string::npos) {
    Damage(textStart, "text not terminated before the end of the file");
    return false;
  }
  return true;
}

const std::string* TMailPacket::NextMail() {
  if (status_ != psReady || !damage_.empty()) return nullptr;
  // Messages too large to store are passed over whole.
  size_t start = 0, textStart = 0, textNul = 0;
  size_t strStart[3] = {}, strLen[3] = {};
  for (;;) {
    start = pos_;
    if (!Locate(start, strStart, strLen, textStart, textNul)) return nullptr;
    const size_t length = textNul + 1 - start;
    if (length <= maxMessageSize_) break;
    skipped_.push_back({count_ + static_cast<int>(skipped_.size()) + 1,
                        static_cast<uint64_t>(start) + kPacketHeaderSize, length});
    pos_ = textNul + 1;
  }
  const size_t length = textNul + 1 - start;

  mail_.assign(body_, start, length);
  textOffset_ = textStart - start;
  const std::string_view text(mail_.data() + textOffset_, textNul - textStart);

  // The area tag is the uplink's line, not the author's: it comes from the
  // OEM page into the page an area name is stored in, as the writer sent it
  // (TagToOem), whatever page a CHRS line names; then it is upper-cased with
  // that page's letters, Cyrillic as Latin ("ru.тест" is "RU.ТЕСТ"). A tag
  // the ANSI page cannot hold (a CP866 byte the page lacks) and a UTF-8
  // one from a modern tosser (platform::IsRawPacketTag, judged here once)
  // keep their bytes, only their ASCII letters raised, so that the tag is
  // found by them and a reply carries them back.
  std::string area = "NETMAIL";
  areaTagRaw_ = false;
  if (text.substr(0, 5) == "AREA:") {
    std::string_view rest = text.substr(5, kMaxAreaTagScan);
    const size_t cr = rest.find(kCR);
    if (cr != std::string_view::npos) rest = rest.substr(0, cr);
    const std::string tag = Trim(rest);
    const platform::CodePage ansi = platform::AnsiCodePage();
    areaTagRaw_ = platform::IsRawPacketTag(tag);
    std::optional<std::string> converted;
    if (!areaTagRaw_) converted = platform::RecodeExact(tag, platform::OemCodePage(), ansi);
    if (converted) {
      area = platform::UpperText(*converted, ansi);
      if (area.size() > kMaxAreaTag) area.resize(kMaxAreaTag);
    } else {
      area = platform::UpperAscii(tag);
      // A UTF-8 tag is cut at a whole letter.
      if (area.size() > kMaxAreaTag)
        area = platform::IsUtf8(area) ? std::string(platform::Utf8Prefix(area, kMaxAreaTag))
                                      : area.substr(0, kMaxAreaTag);
    }
  }

  // Kludges and the origin line, line by line.
  std::string msgId, reply, intl, fmpt, topt, origin;
  bool haveMsgId = false, haveReply = false, haveIntl = false, haveFmpt = false, haveTopt = false;
  bool haveOrigin = false;
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t lineEnd = text.find(kCR, lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = text.size();
    const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    if (!line.empty() && line[0] == kKludgeMark) {
      const std::string_view k = line.substr(1);
      struct Kludge {
        std::string_view key;
        std::string* value;
        bool* seen;
      };
      const Kludge kludges[] = {
          {"MSGID:", &msgId, &haveMsgId}, {"INTL", &intl, &haveIntl},
          {"FMPT", &fmpt, &haveFmpt},     {"TOPT", &topt, &haveTopt},
          {"REPLY:", &reply, &haveReply},
      };
      for (const Kludge& kl : kludges) {
        if (!*kl.seen && k.substr(0, kl.key.size()) == kl.key) {
          *kl.value = KludgeValue(k.substr(kl.key.size()));
          *kl.seen = true;
          break;
        }
      }
    } else if (line.substr(0, 11) == " * Origin: ") {
      origin = OriginLineAddress(line);
      haveOrigin = true;
    }
    lineStart = lineEnd + 1;
    // A line feed after the carriage return belongs to the line end.
    if (lineStart < text.size() && text[lineStart] == '\n') ++lineStart;
  }

  std::string msgIdSerialText, replySerialText;
  msgIdAddress_.clear();
  replyAddress_.clear();
  SplitTwoWords(msgId, msgIdAddress_, msgIdSerialText);
  SplitTwoWords(reply, replyAddress_, replySerialText);

  // Addresses.
  TMsgHeader h;
  h.OrigAddr = TFidoAddr{};
  h.DestAddr = header_.DestAddress();
  if (haveOrigin && !origin.empty()) {
    StrToFidoAddress(origin, h.OrigAddr);
  } else if (!msgIdAddress_.empty()) {
    StrToFidoAddress(msgIdAddress_, h.OrigAddr);
  } else if (area == "NETMAIL") {
    // Netmail without origin line and MSGID: the packed message's own net
    // and node in the packet's origin zone.
    const auto* m = reinterpret_cast<const uint8_t*>(mail_.data());
    h.OrigAddr =
        TFidoAddr{header_.OrigAddress().Zone, GetLE16(m + M::OrigNet), GetLE16(m + M::OrigNode), 0};
  }
  if (haveIntl) {
    std::string destWord, origWord;
    SplitTwoWords(intl, destWord, origWord);
    StrToFidoAddress(destWord, h.DestAddr);
    StrToFidoAddress(origWord, h.OrigAddr);
    if (haveTopt) {
      const std::string t = Trim(topt);
      if (auto a = ParseFidoAddress("0:0/0." + t)) h.DestAddr.Point = a->Point;
    }
    if (haveFmpt) {
      const std::string f = Trim(fmpt);
      if (auto a = ParseFidoAddress("0:0/0." + f)) h.OrigAddr.Point = a->Point;
    }
  }

  // Names, subject, area, offsets.
  const std::string toName = body_.substr(strStart[0], strLen[0]);
  const std::string fromName = body_.substr(strStart[1], strLen[1]);
  const std::string subject = body_.substr(strStart[2], strLen[2]);
  mailHeader_ = TMsgHeader{};
  TMsgHeader& out = mailHeader_;
  out.OrigAddr = h.OrigAddr;
  out.DestAddr = h.DestAddr;
  out.TextOffset = static_cast<uint16_t>(textOffset_);
  out.BodyLength = static_cast<uint32_t>(length);
  out.AreaName = area;
  const std::string chrs = platform::UpperAscii(GetKludge("CHRS", "")) + " " +
                           platform::UpperAscii(GetKludge("CHARSET", ""));
  if (chrs.find("LATIN") != std::string::npos) {
    out.ToName = toName;
    out.FromName = fromName;
    out.Subject = subject;
  } else {
    out.ToName = OemToAnsiStr(toName);
    out.FromName = OemToAnsiStr(fromName);
    out.Subject = OemToAnsiStr(subject);
  }

  // Reply keys.
  msgIdSerial_ = HexStrToInt(msgIdSerialText);
  replySerial_ = HexStrToInt(replySerialText);
  msgIdCrc_ = msgIdAddress_.empty() ? 0 : Crc32OfString(msgIdAddress_);
  replyCrc_ = replyAddress_.empty() ? 0 : Crc32OfString(replyAddress_);
  out.MsgIdNumber = msgIdSerial_;
  out.ReplyNumber = replySerial_;
  out.MsgIdCrc = msgIdCrc_;
  out.ReplyCrc = replyCrc_;

  pos_ = start + length;
  ++count_;
  return &mail_;
}

std::string TMailPacket::GetKludge(std::string_view name, std::string_view def) const {
  if (mail_.size() <= textOffset_ || name.empty()) return std::string(def);
  std::string_view text(mail_.data() + textOffset_, mail_.size() - textOffset_);
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::string needle(1, kKludgeMark);
  needle += name;
  const size_t at = text.find(needle);
  if (at == std::string_view::npos) return std::string(def);
  std::string_view rest = text.substr(at + needle.size());
  const size_t cr = rest.find(kCR);
  if (cr != std::string_view::npos) rest = rest.substr(0, cr);
  size_t b = 0;
  while (b < rest.size() && (rest[b] == 8 || rest[b] == ' ' || rest[b] == ':')) ++b;
  size_t e = rest.size();
  while (e > b && (rest[e - 1] == 8 || rest[e - 1] == ' ')) --e;
  rest = rest.substr(b, std::min(e - b, kMaxKludgeValue));
  return std::string(rest);
}

}  // namespace velmaris

#include "mailer/Emsi.h"

#include <algorithm>
#include <cstdio>

#include "core/Crc.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

constexpr const char* kReq = "**EMSI_REQ";
constexpr const char* kAck = "**EMSI_ACK";
constexpr const char* kNak = "**EMSI_NAK";
constexpr const char* kDat = "**EMSI_DAT";
// The longest pattern; a scan keeps this many bytes less one.
constexpr size_t kPatternLength = 10;
// A raw brace field may hold escapes and a whole IDENT list.
constexpr size_t kMaxRawField = 4096;
// What the caller prompts with and how often.
constexpr uint32_t kPromptMs = 500;
constexpr int kMaxPrompts = 60;
constexpr uint32_t kRequestMs = 2000;
constexpr int kMaxRequests = 30;
// What may wait in the buffer once the handshake is over.
constexpr size_t kMaxLeftover = 1u << 16;

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Four hex digits at the start of text; -1 when they are not.
int32_t ReadHex4(std::string_view text) {
  if (text.size() < 4) return -1;
  int32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const int d = HexDigit(text[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// One field opened by `open` at or after pos (only blanks may stand before
// it); a doubled `close` stands for itself. Escapes stay as they are.
enum class FieldRead { Ok, None, Unterminated, TooLong, Stray };
FieldRead ReadRawField(std::string_view text, size_t& pos, char open, char close,
                       std::string& out) {
  out.clear();
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\r' || text[pos] == '\n')) ++pos;
  if (pos >= text.size()) return FieldRead::None;
  if (text[pos] != open) return FieldRead::Stray;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    if (text[i] == close) {
      if (i + 1 < text.size() && text[i + 1] == close) {
        out += close;
        ++i;
      } else {
        pos = i + 1;
        return FieldRead::Ok;
      }
    } else {
      out += text[i];
    }
    if (out.size() > kMaxRawField) return FieldRead::TooLong;
  }
  return FieldRead::Unterminated;
}

// "\hh" gives the byte of that value, "\\" a backslash; control characters
// become "_" so that no field can break a log line.
std::string DecodeField(std::string_view raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\' && i + 1 < raw.size() && raw[i + 1] == '\\') {
      ++i;
    } else if (c == '\\' && i + 2 < raw.size() && HexDigit(raw[i + 1]) >= 0 &&
               HexDigit(raw[i + 2]) >= 0) {
      c = static_cast<char>(HexDigit(raw[i + 1]) * 16 + HexDigit(raw[i + 2]));
      i += 2;
    }
    const auto u = static_cast<unsigned char>(c);
    out += (u < 32 || u == 127) ? '_' : c;
  }
  return out;
}

const char* FieldError(FieldRead read) {
  switch (read) {
    case FieldRead::None: return "field missing";
    case FieldRead::Unterminated: return "field without its end";
    case FieldRead::TooLong: return "field too long";
    case FieldRead::Stray: return "text between fields";
    case FieldRead::Ok: break;
  }
  return "";
}

bool ReadValue(std::string_view text, size_t& pos, char open, char close, std::string& value,
               std::string& reason, const char* what, size_t limit = kMaxEmsiField) {
  std::string raw;
  const FieldRead read = ReadRawField(text, pos, open, close, raw);
  if (read != FieldRead::Ok) {
    reason = std::string(FieldError(read)) + " (" + what + ")";
    return false;
  }
  value = DecodeField(raw);
  if (value.size() > limit) {
    reason = std::string("field too long (") + what + ")";
    return false;
  }
  return true;
}

void AddAkas(const std::string& field, TEmsiRemote& remote) {
  std::string rest = field;
  while (!rest.empty()) {
    std::string word = TakeField(rest, ' ');
    if (word.empty()) continue;
    std::string_view address(word);
    address = address.substr(0, address.find('@'));  // a domain may follow
    const auto parsed = ParseFidoAddress(address);
    if (!parsed) {
      remote.Warnings.push_back("EMSI Warning: Bad AKA: " + word + " !");
      continue;
    }
    if (remote.AkaList.size() >= kMaxEmsiAkas) {
      remote.Warnings.push_back("EMSI Warning: More than " + std::to_string(kMaxEmsiAkas) +
                                " AKAs, " + word + " and the rest left out !");
      return;
    }
    if (std::find(remote.AkaList.begin(), remote.AkaList.end(), *parsed) != remote.AkaList.end()) {
      remote.Warnings.push_back("EMSI Warning: Duplicate AKA: " + FidoAddressToStr(*parsed) + " !");
      continue;
    }
    remote.AkaList.push_back(*parsed);
  }
}

const char* ProtocolCode(TEmsiProtocol protocol) {
  switch (protocol) {
    case TEmsiProtocol::Hydra: return "HYD";
    case TEmsiProtocol::ZedZap: return "ZAP";
    case TEmsiProtocol::ZModem: return "ZMO";
    case TEmsiProtocol::None: break;
  }
  return "NCP";
}

}  // namespace

// --- Text helpers ----------------------------------------------------------------

std::string TakeDelimitedField(std::string& text, char open, char close) {
  const size_t start = text.find(open);
  const size_t end = start == std::string::npos ? start : text.find(close, start + 1);
  if (end == std::string::npos) {
    std::string all;
    all.swap(text);
    return all;
  }
  std::string field = text.substr(start + 1, end - start - 1);
  text.erase(0, end + 1);
  return field;
}

std::string TakeField(std::string& text, char separator) {
  const size_t end = text.find(separator);
  if (end == std::string::npos) {
    std::string all;
    all.swap(text);
    return all;
  }
  std::string field = text.substr(0, end);
  text.erase(0, end + 1);
  return field;
}

std::string SanitizeEmsiText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 180 || c == '`')
      c = '\'';
    else if (u > 127)
      c = '_';
  }
  return out;
}

std::string EmsiShortPacket(std::string_view type) {
  const std::string body = "EMSI_" + std::string(type);
  return "**" + body + Hex4(Crc16OfString(body)) + "\r";
}

std::string EmsiDatPacket(std::string_view data, uint16_t* crc) {
  const std::string body =
      "EMSI_DAT" + Hex4(static_cast<uint16_t>(data.size())) + std::string(data);
  const uint16_t value = Crc16OfString(body);
  if (crc) *crc = value;
  return "**" + body + Hex4(value) + "\r";
}

const char* EmsiProtocolName(TEmsiProtocol protocol) {
  switch (protocol) {
    case TEmsiProtocol::ZModem: return "ZModem";
    case TEmsiProtocol::ZedZap: return "ZedZap";
    case TEmsiProtocol::Hydra: return "Hydra";
    case TEmsiProtocol::None: break;
  }
  return "";
}

std::string CallerCompatCodes(bool hydra, bool zedZap) {
  return std::string(hydra ? "HYD," : "") + (zedZap ? "ZAP," : "") + "ZMO,XMA,ARC";
}

namespace {
// One of our IDENT texts (stored in the ANSI page) as the field carries it:
// in the OEM page, with every byte beyond ASCII, every control byte and the
// bytes that would end or open a field (backslash, "[", "]", "{", "}")
// written as "\hh", so that a Russian name arrives whole. "`" goes out as "'", as
// in the rest of the packet.
std::string IdentText(std::string_view ansi) {
  std::string out;
  for (char c : platform::AnsiToOem(ansi)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u < 0x20 || u == 0x7F ||
        std::string_view("\\[]{}").find(c) != std::string_view::npos) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02x", u);
      out += '\\';
      out += hex;
    } else {
      out += c == '`' ? '\'' : c;
    }
  }
  return out;
}
}  // namespace

std::string BuildEmsiData(const TEmsiIdentity& id) {
  std::string akas;
  for (const std::string& aka : id.Akas) akas += " " + aka;
  akas.erase(0, akas.find_first_not_of(' ') == std::string::npos ? akas.size()
                                                                 : akas.find_first_not_of(' '));
  std::string data =
      "{EMSI}{" + akas + "}{" + id.Password + "}{" + id.LinkCodes + "}{" + id.CompatCodes + "}{" +
      id.ProductCode + "}{" + id.MailerName + "}{" + id.MailerVersion + "}{" + id.MailerSerial +
      "}{IDENT}{[" + IdentText(id.SystemName) + "][" + IdentText(id.Location) + "][" +
      IdentText(id.Sysop) + "][" + id.Phone + "][" + id.Baud + "][" + id.Flags + "]}";
  return SanitizeEmsiText(data);
}

// --- The remote's packet -----------------------------------------------------------

TEmsiDatCheck CheckEmsiDat(std::string_view buffer) {
  TEmsiDatCheck check;
  if (buffer.size() < 4) return check;
  const int32_t length = ReadHex4(buffer);
  if (length < 0) {
    check.Result = TEmsiCheck::SizeDamaged;
    return check;
  }
  const size_t size = static_cast<size_t>(length);
  if (buffer.size() < size + 9) return check;
  if (buffer[size + 8] != '\r') {
    check.Result = TEmsiCheck::BadTerminator;
    return check;
  }
  const int32_t received = ReadHex4(buffer.substr(size + 4));
  if (received < 0) {
    check.Result = TEmsiCheck::CrcDamaged;
    return check;
  }
  check.Received = static_cast<uint16_t>(received);
  check.Computed = Crc16OfString("EMSI_DAT" + std::string(buffer.substr(0, size + 4)));
  if (check.Computed != check.Received) {
    check.Result = TEmsiCheck::CrcMismatch;
    return check;
  }
  check.Result = TEmsiCheck::Ok;
  check.Data = std::string(buffer.substr(4, size));
  check.Consumed = size + 9;
  return check;
}

bool ParseEmsiDat(std::string_view data, TEmsiRemote& remote, std::string& reason) {
  remote = TEmsiRemote();
  size_t pos = 0;
  std::string first;
  if (!ReadValue(data, pos, '{', '}', first, reason, "EMSI") || first != "EMSI") {
    reason.clear();
    return true;  // not EMSI: the fields stay "?"
  }
  struct Slot {
    std::string* field;
    const char* what;
  };
  std::string product;
  const Slot slots[] = {{&remote.Akas, "AKAs"},
                        {&remote.Password, "password"},
                        {&remote.LinkCodes, "link codes"},
                        {&remote.CompatCodes, "compatibility codes"},
                        {&product, "product code"},
                        {&remote.MailerName, "mailer name"},
                        {&remote.MailerVersion, "mailer version"},
                        {&remote.MailerSerial, "mailer serial"}};
  for (const Slot& slot : slots) {
    const size_t limit = slot.field == &remote.Akas ? kMaxEmsiAkaField : kMaxEmsiField;
    if (!ReadValue(data, pos, '{', '}', *slot.field, reason, slot.what, limit)) return false;
  }
  std::string* ident[] = {&remote.SystemName, &remote.Location, &remote.Sysop,
                          &remote.Phone,      &remote.Baud,     &remote.Flags};
  for (;;) {
    std::string tag, raw;
    const FieldRead read = ReadRawField(data, pos, '{', '}', tag);
    if (read == FieldRead::None) break;
    if (read != FieldRead::Ok) {
      reason = std::string(FieldError(read)) + " (tag)";
      return false;
    }
    const FieldRead value = ReadRawField(data, pos, '{', '}', raw);
    if (value != FieldRead::Ok) {
      reason = std::string(FieldError(value)) + " (" + DecodeField(tag).substr(0, 16) + ")";
      return false;
    }
    if (tag != "IDENT") continue;
    size_t p = 0;
    for (std::string* field : ident) {
      std::string probe;
      size_t at = p;
      if (ReadRawField(raw, at, '[', ']', probe) == FieldRead::None) break;
      if (!ReadValue(raw, p, '[', ']', *field, reason, "IDENT")) return false;
    }
    std::string extra;
    if (ReadRawField(raw, p, '[', ']', extra) == FieldRead::Stray) {
      reason = "text between fields (IDENT)";
      return false;
    }
  }
  AddAkas(remote.Akas, remote);
  remote.IsEmsi = true;
  return true;
}

namespace {

// The letters and digits of a field in upper case: what a person reads in
// it when blanks, controls and punctuation are left aside.
std::string ReadAsWord(std::string_view field) {
  std::string word;
  for (char c : field) {
    const auto u = static_cast<unsigned char>(c);
    const char upper = platform::AsciiUpper(c);
    if (u > 127 || (c >= '0' && c <= '9') || (upper >= 'A' && upper <= 'Z')) word += upper;
  }
  return word;
}

}  // namespace

bool RemoteRefusedPassword(const TEmsiRemote& remote, std::string_view sentPassword) {
  static constexpr std::string_view kRefusals[] = {"BADPASSWORD", "PASSWORDERROR", "WRONGPASSWORD",
                                                   "PWDREFUSED"};
  if (platform::ContainsNoCase(remote.CompatCodes, "NCP")) return true;
  // An echo is the field exactly as we sent it, blanks and NULs around it
  // aside (a decoded field holds "_" for a NUL or another control):
  // "BAD_PASSWORD" is a refusal of our "BAD PASSWORD".
  const auto trimmed = [](std::string_view field) {
    constexpr std::string_view kAround(" _\t\0", 4);
    const size_t first = field.find_first_not_of(kAround);
    if (first == std::string_view::npos) return std::string_view();
    return field.substr(first, field.find_last_not_of(kAround) - first + 1);
  };
  const std::string_view own = trimmed(sentPassword);
  if (!own.empty() && trimmed(remote.Password) == own) return false;
  const std::string word = ReadAsWord(remote.Password);
  return std::ranges::find(kRefusals, word) != std::end(kRefusals);
}

TEmsiProtocol ChooseEmsiProtocol(std::string_view compat, bool zedZap, bool hydra) {
  TEmsiProtocol chosen = TEmsiProtocol::None;
  if (compat.find("ZMO") != std::string_view::npos) chosen = TEmsiProtocol::ZModem;
  if (zedZap && compat.find("ZAP") != std::string_view::npos) chosen = TEmsiProtocol::ZedZap;
  if (hydra && compat.find("HYD") != std::string_view::npos) chosen = TEmsiProtocol::Hydra;
  return chosen;
}

// --- The common part of both roles -------------------------------------------------

TEmsiSession::TEmsiSession(Sink send, LogSink log, Clock clock)
    : send_(std::move(send)), log_(std::move(log)), clock_(std::move(clock)) {}

void TEmsiSession::Receive(std::string_view bytes) {
  if (bytes.empty()) return;
  dataSeen_ = true;
  if (!Running()) {
    const size_t room = kMaxLeftover - std::min(kMaxLeftover, buffer_.size());
    buffer_.append(bytes.substr(0, room));
    return;
  }
  buffer_.append(bytes);
  Scan();
}

void TEmsiSession::Scan() {
  while (Running()) {
    if (collecting_) {
      const TEmsiDatCheck check = CheckEmsiDat(buffer_);
      if (check.Result == TEmsiCheck::NeedMore) return;
      collecting_ = false;
      if (check.Result == TEmsiCheck::Ok) buffer_.erase(0, check.Consumed);
      OnDatChecked(check);
      continue;
    }
    size_t best = std::string::npos;
    const std::string* found = nullptr;
    for (const std::string& pattern : Patterns()) {
      const size_t at = buffer_.find(pattern);
      if (at < best) {
        best = at;
        found = &pattern;
      }
    }
    if (!found) {
      if (buffer_.size() >= kPatternLength) buffer_.erase(0, buffer_.size() - (kPatternLength - 1));
      return;
    }
    const std::string pattern = *found;
    buffer_.erase(0, best + pattern.size());
    OnPattern(pattern);
  }
}

std::string TEmsiSession::TakeLeftover() {
  // The tails of the last short packets are no transfer data.
  for (;;) {
    if (buffer_.starts_with(kAck))
      buffer_.erase(0, 10);
    else if (buffer_.starts_with("A490"))
      buffer_.erase(0, 4);
    else if (!buffer_.empty() && (buffer_[0] == '\r' || buffer_[0] == '\n'))
      buffer_.erase(0, 1);
    else
      break;
  }
  std::string out;
  out.swap(buffer_);
  return out;
}

void TEmsiSession::StartCollecting() {
  Log("EMSI Receiving handshake");
  collecting_ = true;
}

bool TEmsiSession::LogDamage(const TEmsiDatCheck& check) {
  switch (check.Result) {
    case TEmsiCheck::SizeDamaged: Log("EMSI EMSI_DAT size field damaged"); return true;
    case TEmsiCheck::BadTerminator: Log("EMSI EMSI_DAT terminated is not <CR>"); return true;
    case TEmsiCheck::CrcDamaged: Log("EMSI EMSI_DAT CRC damaged"); return true;
    case TEmsiCheck::CrcMismatch:
      Log("EMSI EMSI_DAT CRC is $" + Hex4(check.Computed) + ", but not $" + Hex4(check.Received));
      return true;
    default: return false;
  }
}

bool TEmsiSession::ParseRemote(const std::string& data) {
  std::string reason;
  if (!ParseEmsiDat(data, remote_, reason)) {
    Fail("EMSI Damaged EMSI_DAT: " + reason);
    return false;
  }
  for (const std::string& warning : remote_.Warnings) Log(warning);
  return true;
}

void TEmsiSession::Fail(const std::string& line) {
  Log(line);
  failure_ = line;
  status_ = Status::Failed;
}

// --- Caller ------------------------------------------------------------------------

TEmsiCaller::TEmsiCaller(std::string ownPacket, uint16_t ownCrc, bool zedZap, bool hydra, Sink send,
                         LogSink log, Clock clock)
    : TEmsiSession(std::move(send), std::move(log), std::move(clock)),
      ownPacket_(std::move(ownPacket)),
      ownCrc_(ownCrc),
      zedZap_(zedZap),
      hydra_(hydra) {
  // The password as the remote reads it in our packet, to know its echo.
  if (ownPacket_.size() < kPatternLength) return;
  const TEmsiDatCheck own = CheckEmsiDat(std::string_view(ownPacket_).substr(kPatternLength));
  TEmsiRemote fields;
  std::string reason;
  if (own.Result == TEmsiCheck::Ok && ParseEmsiDat(own.Data, fields, reason) && fields.IsEmsi)
    ownPassword_ = fields.Password;
}

void TEmsiCaller::Connected() {
  phase_ = Phase::WaitRequest;
  connectedAt_ = lastPrompt_ = Now();
  if (!dataSeen_) {
    Send("\r");
    prompts_ = 1;
  }
}

const std::vector<std::string>& TEmsiCaller::Patterns() const {
  static const std::vector<std::string> none, request = {kReq}, all = {kAck, kNak, kDat},
                                              ackOnly = {kAck, kNak}, datOnly = {kDat};
  if (phase_ == Phase::WaitRequest) return request;
  if (phase_ != Phase::Exchange) return none;
  if (!ackSeen_ && !datAccepted_) return all;
  if (!ackSeen_) return ackOnly;
  if (!datAccepted_) return datOnly;
  return none;
}

void TEmsiCaller::Tick() {
  if (!Running()) return;
  const uint32_t now = Now();
  if (phase_ == Phase::WaitRequest) {
    if (!dataSeen_) {
      if (now - lastPrompt_ < kPromptMs) return;
      if (prompts_ >= kMaxPrompts) return Fail("NOEM Remote does not support EMSI");
      Send("\r");
      ++prompts_;
      lastPrompt_ = now;
    } else if (now - connectedAt_ >= RequestTimeoutMs) {
      Fail("RECV Timeout for handshake");
    }
    return;
  }
  if (phase_ != Phase::Exchange) return;
  if (!ackSeen_ && now - ackTimer_ >= kEmsiRetryMs) {
    if (datSends_ >= kEmsiMaxTries) return Fail("EMSI Timeout for handshake acknowledge");
    SendOwnPacket();
  }
  if (Running() && !datAccepted_ && now - datTimer_ >= kEmsiRetryMs) RequestAgain();
}

void TEmsiCaller::SendOwnPacket() {
  Send(ownPacket_);
  ++datSends_;
  ackTimer_ = Now();
}

void TEmsiCaller::OnPattern(const std::string& pattern) {
  if (pattern == kReq) {
    Send(EmsiShortPacket("INQ"));
    SendOwnPacket();
    attempts_ = 1;
    datTimer_ = Now();
    phase_ = Phase::Exchange;
    Log("EMSI Sending handshake");
  } else if (pattern == kAck) {
    ackSeen_ = true;
    Log("EMSI Handshake sent");
    HalfDone();
  } else if (pattern == kNak) {
    if (datSends_ >= kEmsiMaxTries) return Fail("EMSI Timeout for handshake acknowledge");
    Log("EMSI Handshake refused, sending again");
    SendOwnPacket();
  } else if (pattern == kDat) {
    StartCollecting();
  }
}

void TEmsiCaller::OnDatChecked(const TEmsiDatCheck& check) {
  if (LogDamage(check)) return RequestAgain();
  if (check.Received == ownCrc_) {
    Log("EMSI EMSI_DAT is a remote echo");
    return RequestAgain();
  }
  datAccepted_ = true;
  const std::string ack = EmsiShortPacket("ACK");
  Send(ack);
  Send(ack);
  Log("EMSI Handshake received");
  if (!ParseRemote(check.Data)) return;
  protocol_ = ChooseEmsiProtocol(remote_.CompatCodes, zedZap_, hydra_);
  const bool refused = PasswordSent && RemoteRefusedPassword(remote_, ownPassword_);
  if (protocol_ == TEmsiProtocol::None) {
    if (!refused) return Fail("!NCP No common protocol");
    Log("!NCP No common protocol");
  }
  if (refused) {
    protocol_ = TEmsiProtocol::None;
    return Fail(kPasswordRefusedLine);
  }
  Log(std::string("ECPR ") + EmsiProtocolName(protocol_) + " Session");
  HalfDone();
}

void TEmsiCaller::RequestAgain() {
  StopCollecting();
  if (attempts_ >= kEmsiMaxTries) return Fail("EMSI Too many handshake attempts");
  Log("EMSI Requesting handshake again");
  ++attempts_;
  datTimer_ = Now();
  Send(EmsiShortPacket("NAK"));
}

void TEmsiCaller::HalfDone() {
  if (!halfDone_) {
    halfDone_ = true;
    return;
  }
  Log("EMSI Handshake complete");
  Finish();
}

// --- Answerer ----------------------------------------------------------------------

TEmsiAnswerer::TEmsiAnswerer(TEmsiIdentity identity, std::string password,
                             std::vector<TEmsiProtocol> offered, Sink send, LogSink log,
                             Clock clock)
    : TEmsiSession(std::move(send), std::move(log), std::move(clock)),
      identity_(std::move(identity)),
      password_(std::move(password)),
      offered_(std::move(offered)) {}

void TEmsiAnswerer::Start() {
  started_ = true;
  Send(EmsiShortPacket("REQ"));
  requests_ = 1;
  lastRequest_ = Now();
}

const std::vector<std::string>& TEmsiAnswerer::Patterns() const {
  static const std::vector<std::string> none, dat = {kDat}, ack = {kAck, kNak};
  if (!started_) return none;
  return datAccepted_ ? ack : dat;
}

void TEmsiAnswerer::Tick() {
  if (!Running() || !started_) return;
  const uint32_t now = Now();
  if (!datAccepted_) {
    if (Collecting() || now - lastRequest_ < kRequestMs) return;
    if (requests_ >= kMaxRequests) return Fail("EMSI No handshake from the caller");
    Send(EmsiShortPacket("REQ"));
    ++requests_;
    lastRequest_ = now;
  } else if (now - ackTimer_ >= kEmsiRetryMs) {
    if (datSends_ >= kEmsiMaxTries) return Fail("EMSI Timeout for handshake acknowledge");
    SendOwnPacket();
  }
}

void TEmsiAnswerer::SendOwnPacket() {
  Send(ownPacket_);
  ++datSends_;
  ackTimer_ = Now();
}

void TEmsiAnswerer::OnPattern(const std::string& pattern) {
  if (pattern == kDat) return StartCollecting();
  if (pattern == kNak) {
    if (datSends_ >= kEmsiMaxTries) return Fail("EMSI Timeout for handshake acknowledge");
    return SendOwnPacket();
  }
  // ACK: the caller has our data.
  if (badPassword_) return Fail("EMSI Bad password");
  if (protocol_ == TEmsiProtocol::None) return Fail("!NCP No common protocol");
  Log("EMSI Handshake complete");
  Finish();
}

void TEmsiAnswerer::OnDatChecked(const TEmsiDatCheck& check) {
  if (LogDamage(check)) {
    if (++naks_ >= kEmsiMaxTries) return Fail("EMSI Too many handshake attempts");
    lastRequest_ = Now();
    return Send(EmsiShortPacket("NAK"));
  }
  if (!ParseRemote(check.Data)) return;
  const std::string ack = EmsiShortPacket("ACK");
  Send(ack);
  Send(ack);
  Log("EMSI Handshake received");
  if (!password_.empty() && remote_.Password != password_) {
    badPassword_ = true;
    Log("EMSI Bad password");
  } else {
    for (TEmsiProtocol p : offered_) {
      if (remote_.CompatCodes.find(ProtocolCode(p)) != std::string::npos) {
        protocol_ = p;
        break;
      }
    }
  }
  TEmsiIdentity answer = identity_;
  answer.CompatCodes = badPassword_ ? "NCP" : ProtocolCode(protocol_);
  if (badPassword_ && !RefusalCodes.empty()) {
    answer.Password = RefusalPassword;
    answer.LinkCodes = "8N1,HAT";
    answer.CompatCodes = RefusalCodes;
  }
  ownPacket_ = EmsiDatPacket(BuildEmsiData(answer));
  datAccepted_ = true;
  SendOwnPacket();
}

}  // namespace velmaris

// The EMSI handshake (FidoNet's Electronic Mail Standard Identification) in
// both roles, without any device: bytes come in through Receive, go out
// through the Send sink, time comes from an injected clock, and every step
// writes a session-log line (four-letter code, blank, text).
//
// Packets on the line (each ends in one CR; a LF after it is ignored):
//   **EMSI_REQA77E   the answering side asks for the caller's data
//   **EMSI_INQC816   the caller says it speaks EMSI
//   **EMSI_ACKA490   the other side's data packet was accepted (sent twice)
//   **EMSI_NAKEEC3   the other side's data packet was damaged: send again
//   **EMSI_DAT<len><data><crc>   len: four hex digits counting <data>;
//       crc: four hex digits of CRC-16/XMODEM over "EMSI_DAT" + len + data.
//
// Data part: brace fields {EMSI}{AKAs}{password}{link codes}{compatibility
// codes}{product code}{mailer name}{version}{serial}, then {tag}{value} pairs;
// the IDENT value holds bracket fields [system][location][sysop][phone]
// [baud][flags]. Inside a field a doubled closing character stands for
// itself and "\hh" for the byte of that hex value.
//
// Remote data is bounded: the packet by its length field, every field to
// kMaxEmsiField bytes (the AKA list to kMaxEmsiAkaField), the AKAs to
// kMaxEmsiAkas (the rest is left out with a warning). A damaged packet (size,
// terminator, CRC) is answered with NAK and awaited again, at most six times;
// a packet whose CRC is right but whose fields cannot be read is a handshake
// failure.
//
// Caller: waits for REQ (prompting with a CR every half second while the
// line is silent, at most 60 times), sends INQ and its data packet, resends
// it every 360 ticks of 54 ms (or on NAK) until ACK, at most six sends; meanwhile
// collects the remote's packet (the ACK may come before or after it), ACKs
// it twice and picks the protocol. Answerer: sends REQ until the caller's
// packet arrives, ACKs it, sends its own packet with the one protocol it
// chose and waits for the caller's ACK.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FidoAddress.h"

namespace velmaris {

inline constexpr size_t kMaxEmsiField = 255;
inline constexpr size_t kMaxEmsiAkas = 64;
inline constexpr size_t kMaxEmsiAkaField = 4096;  // the AKA list may be long
// 360 ticks of 54 ms.
inline constexpr uint32_t kEmsiRetryMs = 360 * 54;
inline constexpr int kEmsiMaxTries = 6;

// --- Text helpers ---------------------------------------------------------------

// What stands between the first `open` and the first `close` after it; text
// keeps what follows that `close`. Either missing: the whole text, text empty.
std::string TakeDelimitedField(std::string& text, char open, char close);
// What stands before the first separator; text keeps what follows it.
// Without a separator: the whole text, text empty.
std::string TakeField(std::string& text, char separator);
// Our outgoing text: the acute accent (180) and "`" become "'", every other
// byte above 127 "_".
std::string SanitizeEmsiText(std::string_view text);
// "**EMSI_<type>" + hex CRC + CR for the four-letter short packets.
std::string EmsiShortPacket(std::string_view type);
// The complete data packet: "**EMSI_DAT", length, data, CRC, CR. The CRC
// is returned through crc when given.
std::string EmsiDatPacket(std::string_view data, uint16_t* crc = nullptr);

// --- Our data packet -------------------------------------------------------------

enum class TEmsiProtocol : int { None = 0, ZModem = 1, ZedZap = 2, Hydra = 3 };
const char* EmsiProtocolName(TEmsiProtocol protocol);  // "ZModem", "ZedZap", "Hydra"

struct TEmsiIdentity {
  std::vector<std::string> Akas;  // 4D texts, the address used towards this system first
  std::string Password;
  std::string LinkCodes = "8N1,PUA";
  std::string CompatCodes;  // see CallerCompatCodes
  std::string ProductCode = "FE";
  std::string MailerName = "KQ/CM Mailer";
  std::string MailerVersion = "Rel 1.78E";
  std::string MailerSerial = "NoSerial";
  std::string SystemName, Location, Sysop, Phone;
  std::string Baud = "9600";
  std::string Flags;
};
// "HYD," when Hydra is offered, "ZAP," when ZedZap is, then "ZMO,XMA,ARC".
std::string CallerCompatCodes(bool hydra, bool zedZap);
// The data part, cleaned by SanitizeEmsiText. The texts are ours, in the
// ANSI page as stored; the system's name, location and sysop go out in the
// OEM page, each byte beyond ASCII (and each backslash, "[", "]", "{" and
// "}") escaped as "\hh", which ParseEmsiDat reads back.
std::string BuildEmsiData(const TEmsiIdentity& identity);

// --- The remote's packet ---------------------------------------------------------

enum class TEmsiCheck { NeedMore, SizeDamaged, BadTerminator, CrcDamaged, CrcMismatch, Ok };
struct TEmsiDatCheck {
  TEmsiCheck Result = TEmsiCheck::NeedMore;
  uint16_t Computed = 0, Received = 0;
  std::string Data;     // the data part when Ok
  size_t Consumed = 0;  // bytes of the buffer the packet took (Ok)
};
// Checks a buffer that holds what followed "**EMSI_DAT".
TEmsiDatCheck CheckEmsiDat(std::string_view buffer);

struct TEmsiRemote {
  bool IsEmsi = false;  // the first field said EMSI
  // All "?" until parsed.
  std::string Akas = "?", Password = "?", LinkCodes = "?", CompatCodes = "?", MailerName = "?",
              MailerVersion = "?", MailerSerial = "?", SystemName = "?", Location = "?",
              Sysop = "?", Phone = "?", Baud = "?", Flags = "?";
  std::vector<TFidoAddr> AkaList;     // without repeats
  std::vector<std::string> Warnings;  // session-log texts (duplicate or bad AKAs)
};
// Reads the data part field by field. False (with the reason) when it cannot
// be read: a field without its end, a field over kMaxEmsiField, an IDENT
// value that is no bracket list. A first field
// other than EMSI is no failure: the fields stay "?".
bool ParseEmsiDat(std::string_view data, TEmsiRemote& remote, std::string& reason);

// The caller's choice from the remote's compatibility codes: ZModem when
// "ZMO" occurs, ZedZap over it when "ZAP" occurs and is offered, Hydra over
// both when "HYD" occurs and is offered.
TEmsiProtocol ChooseEmsiProtocol(std::string_view compatCodes, bool zedZap, bool hydra);

// EMSI has no word for a refused password: a remote that got a wrong one
// answers with "no common protocol" (NCP) among its compatibility codes or
// puts a refusal word in its password field, whatever protocols it lists
// beside. The field is read as a person reads it: its letters and digits in
// any case, whatever blanks, tabs, NULs, "_" or "-" stand around and between
// them, must spell the whole of BAD_PASSWORD, PASSWORD_ERROR, WRONG_PASSWORD
// or PWD_REFUSED ("BAD PASSWORD", " bad-password\0"; a password such as
// "BADEN" is no refusal). A field that is the password we sent, exactly as
// we sent it with blanks, tabs and NULs around either left aside, is the
// remote echoing it, never a refusal.
bool RemoteRefusedPassword(const TEmsiRemote& remote, std::string_view sentPassword);
inline constexpr const char* kPasswordRefusedLine = "!PWD Session password refused by the remote";

// --- The two roles ---------------------------------------------------------------

class TEmsiSession {
 public:
  using Sink = std::function<void(std::string_view bytes)>;
  using LogSink = std::function<void(const std::string& line)>;
  using Clock = std::function<uint32_t()>;  // milliseconds

  enum class Status { Running, Done, Failed };

  TEmsiSession(Sink send, LogSink log, Clock clock);
  virtual ~TEmsiSession() = default;

  // Bytes from the line, in any pieces.
  void Receive(std::string_view bytes);
  // Runs the timers; call it often (every tick or so).
  virtual void Tick() = 0;

  Status GetStatus() const { return status_; }
  const std::string& Failure() const { return failure_; }  // the log line of the failure
  const TEmsiRemote& Remote() const { return remote_; }
  TEmsiProtocol Protocol() const { return protocol_; }
  // What arrived after the handshake's last packet (the start of the
  // transfer); emptied by the call.
  std::string TakeLeftover();

 protected:
  // Called with the index of the pattern found; the buffer then holds what
  // followed it.
  virtual void OnPattern(const std::string& pattern) = 0;
  virtual const std::vector<std::string>& Patterns() const = 0;
  // While collecting a data packet: check the buffer.
  void StartCollecting();
  void StopCollecting() { collecting_ = false; }
  bool Collecting() const { return collecting_; }
  virtual void OnDatChecked(const TEmsiDatCheck& check) = 0;
  // Logs the standard lines of a damaged packet; false when it was none.
  bool LogDamage(const TEmsiDatCheck& check);
  bool ParseRemote(const std::string& data);

  void Send(std::string_view bytes) { send_(bytes); }
  void Log(const std::string& line) { log_(line); }
  uint32_t Now() const { return clock_(); }
  void Finish() { status_ = Status::Done; }
  void Fail(const std::string& line);
  bool Running() const { return status_ == Status::Running; }
  std::string& Buffer() { return buffer_; }

  TEmsiRemote remote_;
  TEmsiProtocol protocol_ = TEmsiProtocol::None;
  bool dataSeen_ = false;

 private:
  void Scan();
  Sink send_;
  LogSink log_;
  Clock clock_;
  std::string buffer_;
  bool collecting_ = false;
  Status status_ = Status::Running;
  std::string failure_;
};

class TEmsiCaller : public TEmsiSession {
 public:
  // ownPacket: our complete EMSI_DAT packet (EmsiDatPacket), ownCrc its CRC.
  TEmsiCaller(std::string ownPacket, uint16_t ownCrc, bool zedZap, bool hydra, Sink send,
              LogSink log, Clock clock);
  // The connection stands (starts the REQ wait and its timers).
  void Connected();
  void Tick() override;

  // The limit of the wait for REQ once the line is not silent.
  uint32_t RequestTimeoutMs = 60000;
  // Our packet carries a session password: a remote packet that refuses it
  // (RemoteRefusedPassword) fails the handshake with kPasswordRefusedLine,
  // whatever protocol it offers.
  bool PasswordSent = false;

 protected:
  void OnPattern(const std::string& pattern) override;
  const std::vector<std::string>& Patterns() const override;
  void OnDatChecked(const TEmsiDatCheck& check) override;

 private:
  void SendOwnPacket();
  void RequestAgain();
  void HalfDone();

  std::string ownPacket_;
  std::string ownPassword_;  // the password field of ownPacket_
  uint16_t ownCrc_;
  bool zedZap_, hydra_;
  enum class Phase { Idle, WaitRequest, Exchange } phase_ = Phase::Idle;
  bool ackSeen_ = false, datAccepted_ = false, halfDone_ = false;
  int datSends_ = 0, attempts_ = 0, prompts_ = 0;
  uint32_t connectedAt_ = 0, lastPrompt_ = 0, ackTimer_ = 0, datTimer_ = 0;
};

class TEmsiAnswerer : public TEmsiSession {
 public:
  // identity: our data without compatibility codes (the chosen protocol goes
  // there). password: what the caller must send ("" accepts any).
  // offered: the protocols we run, best first.
  TEmsiAnswerer(TEmsiIdentity identity, std::string password, std::vector<TEmsiProtocol> offered,
                Sink send, LogSink log, Clock clock);
  void Start();
  void Tick() override;

  // What a caller with a wrong password gets: "NCP" as our compatibility
  // codes. With RefusalCodes set, our packet carries the password field
  // RefusalPassword, the link codes "8N1,HAT" and these codes instead, as
  // some mailers answer.
  std::string RefusalCodes;
  std::string RefusalPassword = "BAD_PASSWORD";

 protected:
  void OnPattern(const std::string& pattern) override;
  const std::vector<std::string>& Patterns() const override;
  void OnDatChecked(const TEmsiDatCheck& check) override;

 private:
  void SendOwnPacket();

  TEmsiIdentity identity_;
  std::string password_;
  std::vector<TEmsiProtocol> offered_;
  std::string ownPacket_;
  bool started_ = false, datAccepted_ = false, badPassword_ = false;
  int requests_ = 0, datSends_ = 0, naks_ = 0;
  uint32_t lastRequest_ = 0, ackTimer_ = 0;
};

}  // namespace velmaris

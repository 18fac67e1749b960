// The mailer of one profile: finds the numbers of the system to call, dials
// through the line device with redials, runs the EMSI handshake as the
// caller, drives the file transfer (ZModem, ZedZap or Hydra), takes sent
// files out of their flow files, keeps the session log, and starts the
// tosser when a call brought mail. The mailer window shows this object; the
// batch driver runs it without a window.
//
// A poll: idle -> dialling [PollAddress/CallSystem] -> redial pending
// [failed or cancelled attempt, ScheduleRedial] -> dialling [Redial] ...
// -> connected [OnConnected: handshake] -> transferring [handshake done:
// send phase, then receive phase] -> disconnecting [HangUp] -> idle
// [OnDisconnected: EndSession]. A connection that stood cancels any redial.
//
// Safety: a file is taken out of its flow file (and deleted or truncated as
// its line says) only when the protocol reports it sent, which it does
// once the remote has confirmed it; a call dropped in the middle of a file
// leaves it listed, to be sent again (resumed) on the next call.
//
// Everything runs on the main thread: device, trigger and protocol events
// reach it there.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DateTimeUtil.h"
#include "mailer/CMCore.h"
#include "mailer/Emsi.h"
#include "mailer/Mailers.h"
#include "mailer/Outbound.h"
#include "processing/Tosser.h"

namespace velmaris {

class TNodelistLookup;

// The number of mailer sessions that are busy (main thread). Whether a call
// brought mail that has not been tossed yet is the tosser's
// InboundMailPending.
int ActiveMailerSessions();

// The canonical form of a translated number: "+", the digits after it, a
// blank, then the rest unchanged when it holds "(", else "(" + what stands
// before its first "-" + ") " + what follows it, else "() " + the rest. A
// number without a leading "+" stays as it is.
std::string CanonicalPhoneNumber(const std::string& number);
// The log line of the remote Hydra's application text: its first eight
// characters are its build time in hexadecimal Unix seconds, shown as date
// and time, then the rest; "HAPP Defunct Appinfo: " + the text when they
// are not hexadecimal.
std::string HydraAppInfoLine(const std::string& appInfo);
// "n s", "m:ss min" or "h:mm:ss h".
std::string FormatDuration(int64_t seconds);

// What a session needs from around it.
struct TMailerContext {
  TConfigStore* Store = nullptr;        // null: the process-wide one
  TNodelistLookup* Nodelist = nullptr;  // null: numbers from the mailboxes only
  // Makes the protocol of a session; the default makes ZModem, ZedZap and
  // Hydra. A protocol it cannot make is not offered.
  std::function<std::unique_ptr<TCMProtocol>(TEmsiProtocol)> MakeProtocol;
  // Starts the tosser after a session that brought mail (AutoImport on).
  std::function<void()> StartTosser;
  // Asked when a flow file cannot be rewritten (default: give up).
  RetryPrompt FlowRetry;
  // The time of the log's stamps (default: now).
  std::function<TDateTime()> Clock;
};

class TMailerSession : public TMailerWindow {
 public:
  // The device is the profile's line; the session wires its events.
  TMailerSession(TMailer& profile, TCMConnectionDevice& device, TMailerContext context = {});
  ~TMailerSession() override;
  TMailerSession(const TMailerSession&) = delete;
  TMailerSession& operator=(const TMailerSession&) = delete;

  // TMailerWindow.
  std::string DeviceName() const override { return deviceName_; }
  void SelectDevice(const std::string& name) override;
  void ShowDeviceName() override {}
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  void ScanOutbound() override;

  // --- Polling -------------------------------------------------------------
  // Finds the numbers of the address (mailboxes, then the nodelist) and
  // calls. False when there is none or the line is in use (the reason is in
  // the log and Error()). Error() also names a call that failed for a known
  // reason (the remote refused our session password, a file that came could
  // not be stored), also when its session ran to its end; each call attempt
  // clears it.
  bool PollAddress(const std::string& addressText);
  // A poll the user asked for (a mailbox's call, the window's poll
  // commands): redials reset, then PollAddress; a poll that cannot start
  // says why in a box through the Prompter ("Mailer is in use!" as
  // information, any other reason as an error).
  bool PollCommand(const std::string& addressText);
  // False when the line is in use, the inbound cannot keep what the call
  // would bring (core InboundProblem) or there is no number (Error()).
  bool CallSystem(const std::string& systemName, const std::string& addressText,
                  const std::vector<std::string>& numbers);
  static constexpr const char* kInUseText = "Mailer is in use!";
  void ResetRedial();
  void CancelRedial();
  void HangUp();
  // Ends a call at once (a user's hang-up, the program's end): what waits
  // to be sent is dropped, an attached protocol sends its abort frames,
  // then the line drops.
  void CutCall();
  // The user's hang-up command.
  void HangupCommand();

  bool Busy() const { return busy_; }
  bool RedialPending() const { return redialPending_; }
  // Neither in a call nor waiting for a redial.
  bool Finished() const { return !busy_ && !redialPending_; }
  // A line in UTF-8: names in it are converted as the line was made.
  const std::string& Error() const { return error_; }
  // The last call's transfer ran to its end.
  bool Completed() const { return completed_; }

  // --- Log and state -----------------------------------------------------------
  void AddLogLine(const std::string& text);
  // Each line: "dd/mm/yy hh:nn:ss " + text, in the ANSI page (file names
  // and the remote's EMSI texts converted into it: platform/WireName.h).
  const std::vector<std::string>& Log() const { return log_; }
  std::function<void(const std::string& line)> OnLogLine;
  std::function<void(const std::string& status)> OnStatus;
  // The send (sending true) or receive display: file name (as the disk
  // holds it, UTF-8), position, size and rate (bytes per second); an empty
  // name clears the display.
  struct TTransferDisplay {
    std::string FileName;
    int64_t Position = 0, Size = 0, Rate = 0;
    // "time needed" for the whole file and "time left" at the rate ("?"
    // without a rate); percentage of the size done.
    std::string TimeNeeded() const;
    std::string TimeLeft() const;
    int Percent() const;
  };
  std::function<void(bool sending, const TTransferDisplay& display)> OnTransfer;
  // The steps of a call that change what a window shows: the line has
  // connected, the handshake has made the remote known (Remote()), the line
  // goes down.
  enum class TCallStep { Connected, RemoteKnown, Disconnecting };
  std::function<void(TCallStep step)> OnCallStep;
  const std::string& Status() const { return status_; }
  const std::string& Caption() const { return caption_; }
  TOutbound& Outbound() { return *outbound_; }
  const std::vector<TFileInfo>& SendList() const { return sendList_; }
  const TEmsiRemote* Remote() const { return emsi_ ? &emsi_->Remote() : nullptr; }
  TEmsiProtocol Protocol() const { return protocolKind_; }
  int FilesSent() const { return filesSent_; }
  int FilesReceived() const { return filesReceived_; }
  bool ProtocolDetails = false;  // protocol state 2 writes DEBG lines
  // The log goes into REPORT when the session ends with the program (when
  // the settings ask for the mailer report and it holds more than 3 lines);
  // a call that still stands then is cut first, and its lines go with it.
  bool PostLogOnEnd = false;

  // Our EMSI_DAT for a call to that address (kept for the echo check).
  std::string BuildEmsiDat(const TFidoAddr& called);
  const std::string& OwnPacket() const { return ownPacket_; }

 private:
  TConfigStore& Store() const;
  void SetStatus(const std::string& status);
  // The call's error; the first one stays.
  void SetError(const std::string& error);
  // A file the remote offered was not stored: the error names it with the
  // others of the call ("File A ...", "Files A, B and C could not be
  // stored") while no other error came first.
  void NoteUnstored(const std::string& name);
  void Dial(const std::string& number);
  void SetSessionActive(bool busy);
  void ScheduleRedial();
  void Redial();
  void EndSession();
  void WireDevice();
  void UnwireDevice();
  void OnConnected();
  void OnTimer(int handle);
  void PumpHandshake();
  void StartTransfer();
  void LogRemote();
  void BuildSendList();
  std::string WriteDummyPacket();
  void ProtocolState(int state, const std::string& text, int64_t p1, int64_t p2);
  void NextFile(std::string& path, std::string& alias);
  void ProtocolFinished();
  void CallStep(TCallStep step);
  bool CanMake(TEmsiProtocol kind) const;

  TMailer& profile_;
  TCMConnectionDevice& device_;
  TMailerContext ctx_;
  std::string deviceName_, caption_, status_, error_;
  std::vector<std::string> unstored_;  // of the call, for error_
  std::unique_ptr<TOutbound> outbound_;
  std::vector<std::string> log_;

  // Call and redials.
  bool busy_ = false, redialPending_ = false;
  std::string systemName_, addressText_;
  std::vector<std::string> numbers_;
  int remainingRedials_ = 0, countdown_ = 0;
  uint64_t redialTimer_ = 0;
  TFidoAddr called_{};
  uint32_t connectedAt_ = 0;
  bool wasConnected_ = false;

  // Handshake.
  std::string ownPacket_;
  uint16_t ownCrc_ = 0;
  bool offerHydra_ = false, offerZedZap_ = false;
  std::unique_ptr<TEmsiCaller> emsi_;
  int tickTrigger_ = 0;
  bool handshaking_ = false;
  const TNetLink* chosenUplink_ = nullptr;
  TFidoAddr ownAddress_{};

  // Transfer.
  TEmsiProtocol protocolKind_ = TEmsiProtocol::None;
  std::unique_ptr<TCMProtocol> protocol_;
  bool transferring_ = false, sendPhase_ = false;
  std::vector<TFileInfo> sendList_;
  size_t nextIndex_ = 0;
  int currentFile_ = -1;
  std::string dummyPath_;
  void DropDummyPacket();
  int filesSent_ = 0, filesReceived_ = 0;
  TTransferDisplay sendDisplay_, receiveDisplay_;
  void ShowTransfer(bool sending);
  bool completed_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace velmaris

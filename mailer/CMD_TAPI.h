// The line device: a Hayes AT modem on a serial port, with the operations
// the mailer window drives (select a line by name, open, translate the
// number, dial, report the call's course, hand the connected line to the
// serial threads, hang up).
//
// Lines are configured by name with a device path and, optionally, the
// line's speed and flow control ("Name=/dev/ttyUSB0;57600;none" in the
// ModemLines setting; without them 115200 bits per second and RTS/CTS); the
// list offered to the user adds every serial device found, named by its
// path. A name that is a path selects that path.
//
// Settings changed while the device is selected (ApplySettings) reach the
// port: at once while the device is idle (the port is opened again with
// them), otherwise when the next call is made.
//
// The course of a call, all events on the main thread:
//   MakeCall -> OnConnecting; a dial thread opens the port again when it
//   died, sends ATZ and the init string (OK within CommandLimit each), then
//   ATDT<dialable> and waits up to DialLimit for the result:
//   CONNECT [rate] -> OnConnected, the serial threads start, OnReady;
//   BUSY -> OnBusy, NO ANSWER or no result in time -> OnNoAnswer,
//   NO DIALTONE -> OnDeviceUnavailable; each failure then OnConnectFailed,
//   OnCancelling and OnCancelled (the line is hung up);
//   a modem that cannot be opened or initialised -> OnConnectFailed alone.
// HangUp while connecting aborts the dial (any character stops a Hayes
// dial) -> OnCancelling, OnCancelled; while connected -> OnDisconnecting
// (a protocol still at work is cut off: its queued data dropped, its abort
// frames sent), what is queued leaves (a call that ended well: until the
// bytes written can have left the modem at the connect rate, plus EndMargin
// for the far end to hang up first, as TCMStreamDevice says; a modem's
// buffer cannot be seen into, and a pty's output queue reads empty at once;
// a cut call: its abort frames only, briefly), the serial threads stop, a
// hang-up thread drops DTR (on a device without modem lines: the speed 0,
// answered by NO CARRIER, else "+++" and "ATH0", where the silence already
// kept counts as the guard time before "+++"; when that fails too the port
// is closed, which drops DTR, and opened again for the next call) ->
// OnDisconnected. A modem set to AT&D2 discards what it still holds when
// DTR drops.
// A line that dies under a call (EOF, EIO, hang-up of a pty, DCD dropped)
// is hung up the same way, less the drop: its carrier is gone, and nothing
// is waited for. A line that dies while the hang-up waits for the modem's
// answer (the far end ended the call as ours did) ends that wait, with no
// escape after it.
//
// The port is locked from Open to Close, so no other program dials on it.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mailer/CMStream.h"
#include "mailer/HayesModem.h"
#include "platform/SerialPort.h"

namespace velmaris {

class SettingsValues;

struct TLineDeviceEntry {
  static constexpr uint32_t kDefaultSpeed = 115200;
  std::string Name;
  std::string Path;
  uint32_t Speed = kDefaultSpeed;  // bits per second
  bool RtsCts = true;              // hardware flow control
  bool operator==(const TLineDeviceEntry&) const = default;
};

// One configured line from its setting line ("Name=Path[;speed[;rtscts|none]]");
// nothing for a line without name or path. A speed that is no number from 300
// to 4000000, or a flow word that is neither, keeps its default.
std::optional<TLineDeviceEntry> ParseLineSetting(const std::string& line);
// The setting line of a line device; speed and flow are written only when
// they differ from the defaults.
std::string LineSettingText(const TLineDeviceEntry& entry);
// The configured lines with `entry` in place of the line of the same name,
// or added at the end when none has it.
std::vector<std::string> WithLineSetting(std::vector<std::string> configured,
                                         const TLineDeviceEntry& entry);

// The configured lines (lines that do not parse are skipped), then every
// serial device found below devRoot that no configured line names.
std::vector<TLineDeviceEntry> ListLineDevices(const std::vector<std::string>& configured,
                                              const std::string& devRoot = "/dev");

class TCMTAPIDevice : public TCMStreamDevice {
 public:
  explicit TCMTAPIDevice(platform::Dispatcher& dispatcher = platform::GetDispatcher());
  ~TCMTAPIDevice() override;

  // Configuration, read from the settings by ApplySettings (the constructor
  // applies the program's settings when they are set).
  std::vector<std::string> ConfiguredLines;
  std::string DevRoot = "/dev";
  TDialLocation Location;
  std::string InitString = "ATE0V1";
  std::chrono::milliseconds CommandLimit{5000};  // each command's OK
  std::chrono::milliseconds DialLimit{60000};    // the result of a dial
  std::chrono::milliseconds GuardTime{1000};     // silence around "+++"
  // How long a modem that hangs up when DTR drops takes to say NO CARRIER.
  static constexpr std::chrono::milliseconds kDtrAnswer{200};
  // Kept for the mailer profile; the kernel sizes the buffers of a
  // descriptor, so they do not change anything here.
  bool CustomBufferSizes = false;
  int BufferIn = 16384, BufferOut = 16384;
  bool ImmediateRead = true;
  // Takes the settings over; a changed configuration of the selected line
  // reaches the port (see above).
  void ApplySettings(const SettingsValues& settings);

  // Selects the line by name (a configured name, a listed path or any path);
  // an unknown name leaves DeviceID at -1 and no path.
  void SetDeviceName(const std::string& name);
  // Selects entry `id` of ListLineDevices (-1: none); keeps Opened.
  void SetDeviceID(int id);
  const std::string& DeviceName() const { return deviceName_; }
  int DeviceID() const { return deviceId_; }
  const std::string& DevicePath() const { return line_.Path; }
  // The selected line's configuration (path, speed, flow control) as the
  // port uses it now.
  const TLineDeviceEntry& Line() const { return line_; }
  const platform::SerialPort& Port() const { return port_; }

  bool GetOpened() const override { return opened_; }
  void SetOpened(bool open) override;
  // Opens and locks the port; OnDeviceUnavailable when it cannot.
  void Open() override;
  // Hangs up, waits until idle, unlocks and closes the port.
  void Close() override;

  void SetPhoneNumber(const std::string& number) override;
  std::string GetPhoneNumber() const override { return phoneNumber_; }
  std::string GetDisplayableNumber() const override { return displayable_; }
  const std::string& GetDialableNumber() const { return dialable_; }

  void MakeCall() override;
  void HangUp() override;

  // Why the last call or open failed (for the log).
  std::string LastError() const;

 private:
  void DialThread(std::string dialable);
  void Disconnector();
  void CallConnected(uint32_t rate);
  void MakeCallCompleted(const std::string& error, bool unavailable);
  bool EnsurePort(std::string* error);
  void DropLine();
  void SetLastError(const std::string& text);
  // Joins a finished helper thread, pumping messages while it hands over.
  void JoinPumping(std::thread& thread, platform::Event& done);

  // Puts the wanted line configuration in place while idle: the port is
  // closed when it differs (it opens again with the new one).
  void TakeWantedLine();

  std::string deviceName_;
  // The configuration the port uses, and the one the settings ask for
  // (taken over while idle). Both belong to the main thread; the dial
  // thread reads line_ only between MakeCall and its end.
  TLineDeviceEntry line_, wanted_;
  int deviceId_ = -1;
  // Written on the main thread under the device lock (SetOpenedLocked), read
  // anywhere; the comm event thread reads it under that lock with each
  // hand-over to the protocol.
  std::atomic<bool> opened_{false};
  std::string phoneNumber_, dialable_, displayable_;

  // The port belongs to one thread at a time: the main thread while idle
  // (Open, Close), the dial thread while connecting, the serial threads
  // while connected, the hang-up thread while disconnecting.
  platform::SerialPort port_;
  THayesModem modem_{port_};
  bool lineUp_ = false;  // the modem is in a call (data mode)

  std::atomic<bool> abort_{false};
  std::thread dialer_, disconnector_;
  platform::Event dialerDone_{true, true}, disconnectorDone_{true, true};
  mutable std::mutex errorMutex_;
  std::string lastError_;
};

}  // namespace velmaris

// The line device: a Hayes AT modem on a serial port, with the operations
// the mailer window drives (select a line by name, open, translate the
// number, dial, report the call's course, hand the connected line to the
// serial threads, hang up).
//
// Lines are configured by name with a device path ("Name=/dev/ttyUSB0" in
// the ModemLines setting); the list offered to the user adds every serial
// device found, named by its path. A name that is a path selects that path.
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
// dial) -> OnCancelling, OnCancelled; while connected -> OnDisconnecting,
// the serial threads stop, a hang-up thread drops DTR (on a device without
// modem lines: "+++" and "ATH0"; when that fails too the port is closed,
// which drops DTR, and opened again for the next call) -> OnDisconnected.
// A line that dies under a call (EOF, EIO, hang-up of a pty, DCD dropped)
// is hung up the same way.
//
// The port is locked from Open to Close, so no other program dials on it.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mailer/CMStream.h"
#include "mailer/HayesModem.h"
#include "platform/SerialPort.h"

namespace velmaris {

class SettingsValues;

struct TLineDeviceEntry {
  std::string Name;
  std::string Path;
  bool operator==(const TLineDeviceEntry&) const = default;
};

// The configured lines ("Name=Path" lines; others are skipped), then every
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
  uint32_t Speed = 115200;
  bool RtsCts = true;
  // Kept for the mailer profile; the kernel sizes the buffers of a
  // descriptor, so they do not change anything here.
  bool CustomBufferSizes = false;
  int BufferIn = 16384, BufferOut = 16384;
  bool ImmediateRead = true;
  void ApplySettings(const SettingsValues& settings);

  // Selects the line by name (a configured name, a listed path or any path);
  // an unknown name leaves DeviceID at -1 and no path.
  void SetDeviceName(const std::string& name);
  // Selects entry `id` of ListLineDevices (-1: none); keeps Opened.
  void SetDeviceID(int id);
  const std::string& DeviceName() const { return deviceName_; }
  int DeviceID() const { return deviceId_; }
  const std::string& DevicePath() const { return devicePath_; }

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

  std::string deviceName_, devicePath_;
  int deviceId_ = -1;
  bool opened_ = false;
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

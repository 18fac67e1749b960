// A serial port as the modem code needs it: a POSIX descriptor in raw mode
// (speed, RTS/CTS, DTR, carrier from DCD where the device has it), locked
// while it is open so that two programs never share a modem.
//
// Locking: an exclusive flock on the device (the lock follows the device
// node behind a symlink) plus the terminal's exclusive mode (TIOCEXCL), so a
// second open fails at once and a crash releases everything. A device that
// is locked answers "in use".
//
// Safety: every read and write waits at most the limit it is given; a
// device that has gone away (an unplugged USB adapter, the far side of a pty
// closed) reports Gone, never blocks and never raises from Read or Write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris::platform {

class ESerialPort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Modem status lines as TIOCMGET reports them.
struct ModemLines {
  bool cts = false, dsr = false, ring = false, dcd = false;
};

class SerialPort {
 public:
  enum class IoResult { Ok, Timeout, Gone };

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens and locks the device, sets raw mode at the speed (bits per
  // second; the nearest supported speed at or below it) with RTS/CTS when
  // asked, and raises DTR. Raises ESerialPort: "in use" when another holder
  // has it, otherwise the system's reason.
  void Open(const std::string& path, uint32_t speed = 115200, bool rtsCts = true);
  // Drops DTR (closing does that too, through HUPCL), unlocks and closes.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  int Fd() const { return fd_; }

  // Reads what is there, at most `max` bytes, waiting at most `limit` for
  // the first byte. Gone on EOF, EIO or a hang-up.
  IoResult Read(std::string& out, size_t max, std::chrono::milliseconds limit);
  // Writes all bytes, waiting at most `limit` for room each time the line is
  // full (flow control).
  IoResult Write(std::string_view data, std::chrono::milliseconds limit);
  // Discards unread input and unsent output.
  void Purge();
  // Discards unread input only: what was written still leaves (on a pty,
  // discarding output would take it from the far side's unread input).
  void PurgeInput();

  // DTR on or off; false when the device has no modem lines (a pty).
  bool SetDTR(bool on);
  // The hang-up of POSIX termios: the speed 0 (B0) takes the modem lines
  // down where the driver has them; off restores the speed it had. On a pty
  // only the far side's program can see it. False when the speed cannot be
  // set.
  bool SetZeroSpeed(bool on);
  // The modem lines; false when the device has none.
  bool GetModemLines(ModemLines& lines) const;

  // Whether the device is locked by another holder right now.
  static bool IsLocked(const std::string& path);

 private:
  int fd_ = -1;
  std::string path_;
  // The speed code (speed_t) to restore after SetZeroSpeed(true); 0: none.
  uint32_t savedSpeed_ = 0;
};

// The serial devices present on this machine: /dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM* and the stable names in /dev/serial/by-id/, sorted, each
// once. `devRoot` replaces "/dev" for tests.
std::vector<std::string> FindSerialDevices(const std::string& devRoot = "/dev");

}  // namespace velmaris::platform

// The command phase of a Hayes AT modem on a serial port: commands, result
// lines, the escape to command mode, and the translation of a canonical
// phone number into the digits to dial.
//
// Result lines (verbal, V1): "OK", "CONNECT [rate[/...]]", "RING", "BUSY",
// "NO CARRIER", "NO ANSWER", "NO DIALTONE" (or "NO DIAL TONE"), "ERROR".
// Echoed commands, empty lines and anything else are skipped. A line is cut
// at kMaxResultLine characters, so a modem that talks garbage costs bounded
// memory, and every wait ends at its limit or when the abort flag is set.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SerialPort.h"

namespace velmaris {

class SettingsValues;

enum class ModemResult { None, Ok, Connect, Ring, Busy, NoCarrier, NoAnswer, NoDialtone, Error };

constexpr size_t kMaxResultLine = 128;

// The result code of one line, None for anything else; `rate` gets the
// digits after CONNECT (0 when none).
ModemResult ParseResultLine(std::string_view line, uint32_t* rate = nullptr);

// Takes the lines out of `pending` (bytes read so far) up to and including
// the first final result line, which it returns; None when no final line is
// complete yet. An unfinished line longer than kMaxResultLine loses its
// start, so `pending` stays bounded.
ModemResult TakeResult(std::string& pending, uint32_t* rate = nullptr);

class THayesModem {
 public:
  struct Answer {
    ModemResult result = ModemResult::None;  // None: no final result in time
    uint32_t rate = 0;
    bool gone = false;     // the device went away
    bool aborted = false;  // the abort flag was set
  };

  explicit THayesModem(platform::SerialPort& port) : port_(port) {}

  // Sends the command and a CR, then waits for a final result line.
  Answer Command(const std::string& command, std::chrono::milliseconds limit,
                 const std::atomic<bool>* abort = nullptr);
  // Waits for a final result line (RING is not final).
  Answer WaitResult(std::chrono::milliseconds limit, const std::atomic<bool>* abort = nullptr);
  // "ATZ", then the init string (when not empty), each answered by OK within
  // the limit. `error` gets the reason of a failure.
  bool Initialise(const std::string& init, std::chrono::milliseconds limit, std::string* error,
                  const std::atomic<bool>* abort = nullptr);
  // Back to command mode from a call: silence for what is left of the guard
  // time (`quietFor`: how long the line has been silent already, so a wait
  // that was silence counts), "+++", and the modem's OK, which it gives once
  // a guard time of silence has followed.
  bool Escape(std::chrono::milliseconds guard, std::chrono::milliseconds limit,
              std::chrono::milliseconds quietFor = std::chrono::milliseconds(0));
  // The bytes read after the last result line (after CONNECT: the first
  // data of the call, which belongs to the data phase).
  std::string TakePending();

 private:
  platform::SerialPort& port_;
  std::string pending_;  // bytes after the last line end
};

// The dialling location: country and area codes of the place the modem is
// at, and the prefixes for an outside line, long distance and abroad.
struct TDialLocation {
  std::string Country = "49";
  std::string Area;
  std::string OutsideLine;
  std::string LongDistance = "0";
  std::string International = "00";
};
TDialLocation LocationOf(const SettingsValues& settings);

struct TTranslatedNumber {
  std::string dialable;     // the characters after ATDT
  std::string displayable;  // for the log and the status line
};

// "+CC (AREA) LOCAL": the local number alone in the own area, long distance
// prefix and area in the own country, international prefix, country, area
// and local number abroad; the outside-line prefix goes first. A number in
// any other form is dialled as written. Only dial characters survive
// (digits, "*", "#", ",", "W", "P", "T", "!", "@"), so nothing from a
// number can reach the modem as a command.
TTranslatedNumber TranslateAddress(const std::string& number, const TDialLocation& location);

}  // namespace velmaris

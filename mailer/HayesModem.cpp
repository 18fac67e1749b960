#include "mailer/HayesModem.h"

#include <cctype>
#include <thread>

#include "core/Settings.h"
#include "platform/Ascii.h"

namespace velmaris {

using namespace std::chrono_literals;

ModemResult ParseResultLine(std::string_view line, uint32_t* rate) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (rate) *rate = 0;
  struct Code {
    std::string_view text;
    ModemResult result;
  };
  static constexpr Code kExact[] = {
      {"OK", ModemResult::Ok},
      {"RING", ModemResult::Ring},
      {"BUSY", ModemResult::Busy},
      {"NO CARRIER", ModemResult::NoCarrier},
      {"NO ANSWER", ModemResult::NoAnswer},
      {"NO DIALTONE", ModemResult::NoDialtone},
      {"NO DIAL TONE", ModemResult::NoDialtone},
      {"ERROR", ModemResult::Error},
  };
  for (const Code& c : kExact) {
    if (line == c.text) return c.result;
  }
  constexpr std::string_view kConnect = "CONNECT";
  if (line.substr(0, kConnect.size()) != kConnect) return ModemResult::None;
  std::string_view rest = line.substr(kConnect.size());
  if (!rest.empty() && rest.front() != ' ') return ModemResult::None;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  uint64_t value = 0;
  size_t digits = 0;
  while (digits < rest.size() && digits < 9 &&
         std::isdigit(static_cast<unsigned char>(rest[digits]))) {
    value = value * 10 + static_cast<uint64_t>(rest[digits] - '0');
    ++digits;
  }
  if (rate) *rate = static_cast<uint32_t>(value);
  return ModemResult::Connect;
}

ModemResult TakeResult(std::string& pending, uint32_t* rate) {
  size_t end;
  while ((end = pending.find_first_of("\r\n")) != std::string::npos) {
    const std::string line = pending.substr(0, std::min(end, kMaxResultLine));
    pending.erase(0, end + 1);
    const ModemResult r = ParseResultLine(line, rate);
    if (r != ModemResult::None && r != ModemResult::Ring) return r;
  }
  if (pending.size() > kMaxResultLine) pending.erase(0, pending.size() - kMaxResultLine);
  return ModemResult::None;
}

THayesModem::Answer THayesModem::WaitResult(std::chrono::milliseconds limit,
                                            const std::atomic<bool>* abort) {
  Answer answer;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    answer.result = TakeResult(pending_, &answer.rate);
    if (answer.result != ModemResult::None) return answer;
    if (abort && *abort) {
      answer.aborted = true;
      return answer;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return answer;
    const auto slice = std::min<std::chrono::milliseconds>(
        100ms, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + 1ms);
    if (port_.Read(pending_, 256, slice) == platform::SerialPort::IoResult::Gone) {
      answer.gone = true;
      return answer;
    }
  }
}

THayesModem::Answer THayesModem::Command(const std::string& command,
                                         std::chrono::milliseconds limit,
                                         const std::atomic<bool>* abort) {
  pending_.clear();
  if (port_.Write(command + "\r", limit) != platform::SerialPort::IoResult::Ok) {
    Answer answer;
    answer.gone = true;
    return answer;
  }
  return WaitResult(limit, abort);
}

bool THayesModem::Initialise(const std::string& init, std::chrono::milliseconds limit,
                             std::string* error, const std::atomic<bool>* abort) {
  for (const std::string& command : {std::string("ATZ"), init}) {
    if (command.empty()) continue;
    const Answer a = Command(command, limit, abort);
    if (a.result == ModemResult::Ok) continue;
    if (error) {
      if (a.gone) {
        *error = "The modem has gone away";
      } else if (a.aborted) {
        *error = "Aborted";
      } else if (a.result == ModemResult::None) {
        *error = "The modem does not answer " + command;
      } else {
        *error = "The modem refused " + command;
      }
    }
    return false;
  }
  return true;
}

bool THayesModem::Escape(std::chrono::milliseconds guard, std::chrono::milliseconds limit,
                         std::chrono::milliseconds quietFor) {
  if (quietFor < guard) std::this_thread::sleep_for(guard - quietFor);
  port_.PurgeInput();  // the call's last bytes may still be on their way out
  pending_.clear();
  if (port_.Write("+++", limit) != platform::SerialPort::IoResult::Ok) return false;
  // Nothing is sent until the answer: the guard time after "+++" is the
  // modem's to wait.
  return WaitResult(guard + limit).result == ModemResult::Ok;
}

std::string THayesModem::TakePending() {
  std::string rest = std::move(pending_);
  pending_.clear();
  if (!rest.empty() && rest.front() == '\n') rest.erase(0, 1);  // the CR LF of the result
  return rest;
}

TDialLocation LocationOf(const SettingsValues& settings) {
  TDialLocation l;
  l.Country = settings.Text(SettingId::EdCountryCode);
  l.Area = settings.Text(SettingId::EdAreaCode);
  l.OutsideLine = settings.Text(SettingId::EdOutsideLine);
  l.LongDistance = settings.Text(SettingId::EdLongDistance);
  l.International = settings.Text(SettingId::EdInternational);
  return l;
}

namespace {

bool IsDialChar(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) ||
         std::string_view("*#,WPT!@").find(platform::AsciiUpper(c)) != std::string_view::npos;
}

std::string DialChars(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (IsDialChar(c)) out += platform::AsciiUpper(c);
  }
  return out;
}

std::string Digits(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) out += c;
  }
  return out;
}

}  // namespace

TTranslatedNumber TranslateAddress(const std::string& number, const TDialLocation& location) {
  TTranslatedNumber t;
  t.displayable = number;
  std::string_view n = number;
  while (!n.empty() && n.front() == ' ') n.remove_prefix(1);
  const auto open = n.find('(');
  const auto close = n.find(')');
  if (n.empty() || n.front() != '+' || open == std::string_view::npos || close < open) {
    t.dialable = DialChars(n);
    return t;
  }
  const std::string country = Digits(n.substr(1, open - 1));
  const std::string area = Digits(n.substr(open + 1, close - open - 1));
  const std::string local = DialChars(n.substr(close + 1));
  std::string dial;
  if (country != Digits(location.Country)) {
    dial = DialChars(location.International) + country + area + local;
  } else if (!area.empty() && area != Digits(location.Area)) {
    dial = DialChars(location.LongDistance) + area + local;
  } else {
    dial = local;
  }
  t.dialable = DialChars(location.OutsideLine) + dial;
  return t;
}

}  // namespace velmaris

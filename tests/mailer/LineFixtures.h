// Helpers of the line tests: the fake modem as a child process, and a
// recorder of a connection device's events.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mailer/CMCore.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "support/TempDir.h"

namespace velmaris::test {

class FakeModem {
 public:
  // One line of the modem's events file: when (ms), how many bytes the
  // remote had got by then in this call, and what happened.
  struct Event {
    long long ms = 0;
    uint64_t remote = 0;
    std::string what;
  };

  FakeModem(const TempDir& dir, std::vector<std::string> args, const std::string& name = "modem")
      : link_(dir / name), log_(dir / (name + ".log")), events_(dir / (name + ".events")) {
    std::vector<std::string> argv = {FAKEMODEM, "--link",   link_,  "--log",
                                     log_,      "--events", events_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = platform::Process::Start(argv);
    for (int i = 0; i < 3000 && ::access(link_.c_str(), F_OK) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~FakeModem() { Stop(); }
  // Ends the modem: its pty goes away as an unplugged device would.
  void Stop() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGTERM);
    platform::Process::Wait(pid_);
    pid_ = -1;
  }
  const std::string& Link() const { return link_; }
  // The command lines and events the modem logged so far.
  std::string Log() const { return platform::FileExists(log_) ? platform::ReadFile(log_) : ""; }
  std::vector<Event> Events() const {
    std::vector<Event> list;
    if (!platform::FileExists(events_)) return list;
    std::istringstream in(platform::ReadFile(events_));
    for (std::string line; std::getline(in, line);) {
      Event e;
      std::istringstream fields(line);
      fields >> e.ms >> e.remote;
      std::getline(fields >> std::ws, e.what);
      list.push_back(e);
    }
    return list;
  }
  // The events' names in order, one a line.
  std::string EventNames() const {
    std::string text;
    for (const Event& e : Events()) text += e.what + "\n";
    return text;
  }
  // The first event whose name starts with `what`, after event `from`;
  // nothing when there is none.
  std::optional<Event> Find(const std::string& what, size_t from = 0, size_t* at = nullptr) const {
    const auto list = Events();
    for (size_t i = from; i < list.size(); ++i) {
      if (list[i].what.starts_with(what)) {
        if (at) *at = i;
        return list[i];
      }
    }
    return std::nullopt;
  }
  // Marks this moment among the events (the modem logs "MARK" on SIGUSR1)
  // and waits until it is there, so what the test does next comes after it.
  bool Mark() {
    const size_t before = Events().size();
    ::kill(pid_, SIGUSR1);
    for (int i = 0; i < 6000; ++i) {
      const auto list = Events();
      for (size_t k = before; k < list.size(); ++k)
        if (list[k].what == "MARK") return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  std::string link_, log_, events_;
  pid_t pid_ = -1;
};

// Records the events of a connection device by name, in order.
struct EventRecorder {
  std::vector<std::string> events;
  std::string data;

  void Attach(TCMConnectionDevice& d) {
    auto add = [this](const char* name) {
      return [this, name](TCMDevice&) { events.push_back(name); };
    };
    d.OnBusy = add("Busy");
    d.OnCancelled = add("Cancelled");
    d.OnCancelling = add("Cancelling");
    d.OnConnected = add("Connected");
    d.OnConnecting = add("Connecting");
    d.OnConnectFailed = add("ConnectFailed");
    d.OnDisconnected = add("Disconnected");
    d.OnDisconnecting = add("Disconnecting");
    d.OnNoAnswer = add("NoAnswer");
    d.OnDeviceUnavailable = add("DeviceUnavailable");
    d.OnReady = add("Ready");
    d.OnDataAvail = [this](TCMDevice&, const std::string& bytes) { data += bytes; };
  }
  bool Has(const std::string& name) const {
    for (const auto& e : events) {
      if (e == name) return true;
    }
    return false;
  }
};

// "sh -c SCRIPT" as the fake modem's peer command line: the script is one
// word of it (CommandWord); SCRIPT quotes its own words with ShellWord.
inline std::string Shell(const std::string& script) { return "sh -c " + CommandWord(script); }
// A path as one word inside a Shell script (the test and build folders may
// hold blanks); on a command line the fake modem splits, CommandWord.
inline std::string ShellWord(const std::string& path) { return ShellQuote(path); }

// Generous: the machine may be busy; nothing here is a bound on speed.
inline constexpr std::chrono::seconds kPatience{60};

}  // namespace velmaris::test

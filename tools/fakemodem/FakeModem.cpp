// fakemodem: a Hayes modem on a pty, for the mailer's tests and benchmarks.
//
//   fakemodem --link PATH [--dial [DELAY_MS:]RESULT]... [--peer COMMAND]
//             [--throttle] [--noise PER_MILLION] [--seed N] [--guard MS]
//             [--answer ok|silent|garbage] [--log FILE] [--damage-zeof N] [--ignore-dtr]
//
// It opens a pty pair and publishes the slave as the symlink PATH. It
// answers AT commands (echo on after ATZ, E0/E1, H, O, Z, everything else
// OK). A dial (ATD...) takes the next --dial entry (the last one repeats;
// default "CONNECT 33600"): after DELAY_MS it answers RESULT, one of
// "CONNECT <rate>", BUSY, "NO CARRIER", "NO ANSWER", "NO DIALTONE", ERROR,
// or NONE (never answers). Any byte from the line while dialling aborts the
// dial with NO CARRIER, as on a real modem.
//
// On CONNECT it starts the peer command (default: cat, an echo) on pipes and
// relays bytes both ways, throttled to the connect rate with --throttle
// (ten bits per byte; the pty fills up when the caller sends faster, which
// is the flow control) and with --noise bytes per million damaged (seeded
// by --seed); --damage-zeof damages the first N ZModem ZEOF headers from
// the caller to the peer, on purpose (TLineShape). "+++" between two guard times (--guard, default
// 200 ms) goes to command mode; ATH there ends the call, ATO resumes it. The caller dropping DTR
// (on a pty: its speed set to 0, B0) ends the call as AT&D2 does: "NO CARRIER" at once, then
// what the caller wrote before is passed to the peer without the line's delay (a modem's buffer
// going out), then the peer is ended; the line stays for the next call. --ignore-dtr makes it a
// modem set to AT&D0, which only "+++" and ATH hang up. When the peer ends, its
// last bytes are delivered, then "NO CARRIER", and the carrier drops: the pty is closed (the caller
// reads EOF/EIO, as on a hang-up) after a fresh one has been published under PATH for the next
// call.
//
// --answer silent never answers a command; garbage answers noise instead of
// OK. --log writes every command line received, one per line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mailer/LineShaper.h"
#include "platform/Ascii.h"
#include "platform/Files.h"
#include "platform/Process.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using velmaris::platform::Fd;

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

struct DialStep {
  int delayMs = 0;
  std::string result;  // "NONE": never answers
};

struct Options {
  std::string link;
  std::vector<DialStep> dials;
  std::string peer = "cat";
  bool throttle = false;
  uint32_t noise = 0;
  uint64_t seed = 1;
  int damageZEof = 0;
  int guardMs = 200;
  std::string answer = "ok";
  std::string log;
  bool ignoreDtr = false;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "fakemodem: %s\n", why);
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value after " + a).c_str());
      return argv[++i];
    };
    if (a == "--link") {
      o.link = value();
    } else if (a == "--dial") {
      const std::string v = value();
      DialStep step;
      const auto colon = v.find(':');
      if (colon != std::string::npos && colon > 0 &&
          std::isdigit(static_cast<unsigned char>(v[0]))) {
        step.delayMs = std::atoi(v.substr(0, colon).c_str());
        step.result = v.substr(colon + 1);
      } else {
        step.result = v;
      }
      o.dials.push_back(step);
    } else if (a == "--peer") {
      o.peer = value();
    } else if (a == "--throttle") {
      o.throttle = true;
    } else if (a == "--ignore-dtr") {
      o.ignoreDtr = true;
    } else if (a == "--noise") {
      o.noise = static_cast<uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
    } else if (a == "--seed") {
      o.seed = std::strtoull(value().c_str(), nullptr, 10);
    } else if (a == "--damage-zeof") {
      o.damageZEof = std::atoi(value().c_str());
    } else if (a == "--guard") {
      o.guardMs = std::atoi(value().c_str());
    } else if (a == "--answer") {
      o.answer = value();
    } else if (a == "--log") {
      o.log = value();
    } else {
      Usage(("unknown option " + a).c_str());
    }
  }
  if (o.link.empty()) Usage("--link PATH is required");
  if (o.dials.empty()) o.dials.push_back({0, "CONNECT 33600"});
  return o;
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// A pty pair. The modem keeps a descriptor of the slave itself, so that the
// caller closing and reopening the device is no hang-up, and so that it can
// see how much the caller has not read yet.
struct Pty {
  Fd master, slave;
  std::string slavePath;
};

Pty OpenPty() {
  Pty p;
  p.master = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!p.master.ok() || ::grantpt(p.master.get()) != 0 || ::unlockpt(p.master.get()) != 0) {
    Usage("cannot open a pty");
  }
  p.slavePath = ::ptsname(p.master.get());
  p.slave = Fd(::open(p.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!p.slave.ok()) Usage("cannot open the pty slave");
  termios tio{};
  ::tcgetattr(p.slave.get(), &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(p.slave.get(), TCSANOW, &tio);
  SetNonBlocking(p.master.get());
  return p;
}

// Points the link at the pty's slave, replacing the old link in one step.
void Publish(const Pty& pty, const std::string& link) {
  const std::string temp = link + ".new";
  ::unlink(temp.c_str());
  if (::symlink(pty.slavePath.c_str(), temp.c_str()) != 0 ||
      ::rename(temp.c_str(), link.c_str()) != 0) {
    Usage("cannot publish the link");
  }
}

class Modem {
 public:
  explicit Modem(Options o) : o_(std::move(o)), pty_(OpenPty()) {
    if (!o_.log.empty()) log_ = std::fopen(o_.log.c_str(), "a");
    Publish(pty_, o_.link);
  }
  ~Modem() {
    EndCall();
    ::unlink(o_.link.c_str());
    if (log_) std::fclose(log_);
  }
  void Run();

 private:
  enum class Mode { Command, Dialing, Online, OnlineCommand };

  void Log(const std::string& line) {
    if (!log_) return;
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }
  void Send(const std::string& text) {
    // The caller may not be reading; bytes that do not fit are dropped
    // after a while, as a modem's buffer would overflow.
    velmaris::platform::WriteAll(pty_.master.get(), text);
  }
  void Result(const std::string& text) { Send("\r\n" + text + "\r\n"); }
  void CommandBytes(const std::string& bytes);
  void CommandLine(std::string line);
  void StartDial();
  void DialStep();
  void Connect(uint32_t rate);
  void OnlineStep();
  void EndCall();
  void DropCarrier();
  bool DtrDown();
  void DtrDropped();
  std::string ReadMaster(int waitMs);

  Options o_;
  Pty pty_;
  std::FILE* log_ = nullptr;
  Mode mode_ = Mode::Command;
  bool echo_ = true;
  std::string line_;
  size_t dialIndex_ = 0;
  Clock::time_point dialDue_;
  std::string dialResult_;
  uint32_t rate_ = 0;
  pid_t peer_ = -1;
  Fd toPeer_, fromPeer_;
  std::unique_ptr<velmaris::TLineRelay> relay_;
  // Escape detection: pluses seen after a guard time of silence.
  int pluses_ = 0;
  Clock::time_point lastData_;
  bool peerEnded_ = false;
};

std::string Modem::ReadMaster(int waitMs) {
  pollfd p{pty_.master.get(), POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return {};
  char buf[512];
  const ssize_t n = ::read(pty_.master.get(), buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

void Modem::CommandBytes(const std::string& bytes) {
  for (char c : bytes) {
    if (echo_ && o_.answer == "ok") Send(std::string(1, c));
    if (c == '\r') {
      CommandLine(line_);
      line_.clear();
    } else if (c != '\n' && line_.size() < 256) {
      line_ += c;
    }
  }
}

void Modem::CommandLine(std::string line) {
  line = velmaris::platform::UpperAscii(line);
  while (!line.empty() && line.front() == ' ') line.erase(0, 1);
  if (line.size() < 2 || line.compare(0, 2, "AT") != 0) return;
  Log(line);
  if (o_.answer == "silent") return;
  if (o_.answer == "garbage") {
    Send("\r\n#%&@ 0x7F ~~ LINE NOISE ~~\r\nO K\r\n");
    return;
  }
  for (size_t i = 2; i < line.size(); ++i) {
    const char c = line[i];
    const char arg = i + 1 < line.size() ? line[i + 1] : '0';
    if (c == 'D') {
      if (mode_ != Mode::Command) return Result("ERROR");
      Log("DIAL " + line.substr(i + 1));
      return StartDial();
    }
    if (c == 'Z') echo_ = true;
    if (c == 'E') echo_ = arg == '1';
    if (c == 'H' && mode_ == Mode::OnlineCommand) {
      EndCall();
      mode_ = Mode::Command;
    }
    if (c == 'O' && mode_ == Mode::OnlineCommand) {
      mode_ = Mode::Online;
      lastData_ = Clock::now();
      return Result("CONNECT " + std::to_string(rate_));
    }
  }
  Result("OK");
}

void Modem::StartDial() {
  const auto& step = o_.dials[std::min(dialIndex_, o_.dials.size() - 1)];
  ++dialIndex_;
  dialDue_ = Clock::now() + std::chrono::milliseconds(step.delayMs);
  dialResult_ = step.result;
  mode_ = Mode::Dialing;
}

void Modem::DialStep() {
  // Any byte from the caller aborts the dial.
  if (!ReadMaster(0).empty()) {
    Log("DIAL ABORTED");
    mode_ = Mode::Command;
    return Result("NO CARRIER");
  }
  if (dialResult_ == "NONE" || Clock::now() < dialDue_) return;
  mode_ = Mode::Command;
  if (dialResult_.compare(0, 7, "CONNECT") == 0) {
    const uint32_t rate = static_cast<uint32_t>(std::strtoul(dialResult_.c_str() + 7, nullptr, 10));
    Result(dialResult_);
    return Connect(rate ? rate : 33600);
  }
  Result(dialResult_);
}

void Modem::Connect(uint32_t rate) {
  rate_ = rate;
  int in = -1, out = -1;
  try {
    peer_ = velmaris::platform::Process::StartPiped(velmaris::platform::SplitCommandLine(o_.peer),
                                                    &in, &out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fakemodem: %s\n", e.what());
    Result("NO CARRIER");
    return;
  }
  toPeer_ = Fd(in);
  fromPeer_ = Fd(out);
  SetNonBlocking(in);
  SetNonBlocking(out);
  velmaris::TLineShape shape;
  shape.bitsPerSecond = o_.throttle ? rate : 0;
  shape.noisePerMillion = o_.noise;
  shape.seed = o_.seed;
  shape.damageZEofToB = o_.damageZEof;
  relay_ =
      std::make_unique<velmaris::TLineRelay>(pty_.master.get(), pty_.master.get(), out, in, shape);
  relay_->OnFromA = [this](std::string_view bytes) {
    const auto now = Clock::now();
    const auto guard = std::chrono::milliseconds(o_.guardMs);
    for (char c : bytes) {
      if (c == '+' && (pluses_ > 0 || now - lastData_ >= guard) && pluses_ < 3) {
        ++pluses_;
      } else {
        pluses_ = 0;
      }
      lastData_ = now;
    }
  };
  pluses_ = 0;
  lastData_ = Clock::now();
  peerEnded_ = false;
  mode_ = Mode::Online;
  Log("CONNECTED");
}

bool Modem::DtrDown() {
  // The master reads the slave's settings: the caller's speed.
  termios tio{};
  return !o_.ignoreDtr && ::tcgetattr(pty_.master.get(), &tio) == 0 &&
         ::cfgetospeed(&tio) == B0;
}

void Modem::DtrDropped() {
  Log("DTR DROPPED");
  // What the caller wrote before: the pty hands it over in steps, so it is
  // read until the line has been quiet for a moment (bounded). Only then
  // the answer: after it the caller raises DTR and talks commands again.
  std::string rest = relay_ ? relay_->TakePendingToB() : std::string();
  const auto readUntil = Clock::now() + 2s;
  for (std::string more; Clock::now() < readUntil && !(more = ReadMaster(30)).empty();)
    rest += more;
  Result("NO CARRIER");
  relay_.reset();
  if (toPeer_.ok() && !rest.empty()) {
    ::fcntl(toPeer_.get(), F_SETFL, ::fcntl(toPeer_.get(), F_GETFL) & ~O_NONBLOCK);
    velmaris::platform::WriteAll(toPeer_.get(), rest);
  }
  // The peer reads the end of its input and may end by itself (bounded: it
  // may not read); EndCall ends it otherwise.
  toPeer_.Close();
  const auto deadline = Clock::now() + 2s;
  int status = 0;
  while (peer_ > 0 && Clock::now() < deadline) {
    const pid_t ended = ::waitpid(peer_, &status, WNOHANG);
    if (ended == peer_ || (ended < 0 && errno != EINTR)) peer_ = -1;
    if (peer_ > 0) std::this_thread::sleep_for(5ms);
  }
  Log("PASSED " + std::to_string(rest.size()) + " AFTER DTR");
  EndCall();
  mode_ = Mode::Command;
}

void Modem::OnlineStep() {
  if (DtrDown()) return DtrDropped();
  const auto state = relay_->Step(10ms);
  if (pluses_ == 3 && Clock::now() - lastData_ >= std::chrono::milliseconds(o_.guardMs)) {
    pluses_ = 0;
    Log("ESCAPE");
    mode_ = Mode::OnlineCommand;
    return Result("OK");
  }
  if (state != velmaris::TLineRelay::State::BEnded) return;
  // The peer has ended: what it sent is through; the caller reads it, then
  // NO CARRIER, then the carrier drops.
  Log("PEER ENDED");
  Result("NO CARRIER");
  EndCall();
  DropCarrier();
  mode_ = Mode::Command;
}

void Modem::EndCall() {
  relay_.reset();
  toPeer_.Close();
  fromPeer_.Close();
  if (peer_ > 0) {
    // A peer that has not ended two seconds after SIGTERM (sz can hang in
    // its own signal handler) is killed; either way it is reaped here, so
    // no peer outlives the call holding the caller's output open.
    ::kill(peer_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + 2s;
    pid_t ended = 0;
    while (((ended = ::waitpid(peer_, &status, WNOHANG)) == 0 || (ended < 0 && errno == EINTR)) &&
           Clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    if (ended != peer_ && (ended == 0 || errno == EINTR)) {  // still there
      ::kill(peer_, SIGKILL);
      while (::waitpid(peer_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    peer_ = -1;
  }
}

void Modem::DropCarrier() {
  // Let the caller read what is on its way (bounded: it may not read).
  // Bytes written to the master reach the slave's queue a moment later, so
  // the queue must stay empty for a while before the line counts as read.
  const auto deadline = Clock::now() + 5s;
  auto emptySince = Clock::now();
  while (Clock::now() < deadline && Clock::now() - emptySince < 200ms) {
    int queued = 0;
    if (::ioctl(pty_.slave.get(), FIONREAD, &queued) != 0) break;
    if (queued > 0) emptySince = Clock::now();
    std::this_thread::sleep_for(10ms);
  }
  Pty fresh = OpenPty();
  Publish(fresh, o_.link);
  pty_ = std::move(fresh);  // closes the old pair: the caller sees the hang-up
  echo_ = true;
  line_.clear();
  Log("CARRIER DROPPED");
}

void Modem::Run() {
  while (!gStop) {
    switch (mode_) {
      case Mode::Command: CommandBytes(ReadMaster(50)); break;
      case Mode::OnlineCommand:
        if (DtrDown()) {
          DtrDropped();
          break;
        }
        CommandBytes(ReadMaster(50));
        break;
      case Mode::Dialing:
        DialStep();
        std::this_thread::sleep_for(5ms);
        break;
      case Mode::Online: OnlineStep(); break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  Modem modem(std::move(options));
  modem.Run();
  return 0;
}

// fakemodem: a Hayes modem on a pty, for the mailer's tests and benchmarks.
//
//   fakemodem --link PATH [--dial [DELAY_MS:]RESULT]... [--peer COMMAND]
//             [--throttle] [--buffer BYTES] [--noise PER_MILLION] [--seed N] [--guard MS]
//             [--answer ok|silent|garbage] [--log FILE] [--events FILE]
//             [--damage-zeof N] [--ignore-dtr]
//
// It opens a pty pair and publishes the slave as the symlink PATH. It
// answers AT commands (echo on after ATZ, E0/E1, H, O, Z, &D0/&D2, everything
// else OK). A dial (ATD...) takes the next --dial entry (the last one
// repeats; default "CONNECT 33600"): after DELAY_MS it answers RESULT, one of
// "CONNECT <rate>", BUSY, "NO CARRIER", "NO ANSWER", "NO DIALTONE", ERROR,
// or NONE (never answers). Any byte from the line while dialling aborts the
// dial with NO CARRIER, as on a real modem.
//
// On CONNECT it starts the peer command (the remote; default: cat, an echo)
// on pipes. The modem keeps what the caller writes in its buffer (--buffer,
// default 2048 bytes; a full buffer takes no more, which on a pty is the flow
// control) and sends it to the remote at the connect rate with --throttle
// (ten bits per byte), else as fast as the remote reads; the remote's
// receive buffer is 16 KB. The remote's bytes come back at the same
// rate. --noise damages bytes per million (seeded by --seed); --damage-zeof
// damages the first N ZModem ZEOF headers from the caller to the remote, on
// purpose (TLineShape). "+++" with a guard time of silence before and after
// (--guard, default 200 ms) goes to command mode; the buffer waits there; ATH
// ends the call and discards it, ATO resumes. The caller dropping DTR (on a
// pty: its speed set to 0, B0) ends the call as AT&D2 does: the buffer and
// whatever the caller wrote that the modem had not taken are discarded,
// "NO CARRIER" at once, the remote sees its line end; the line stays for the
// next call. AT&D0 or --ignore-dtr (until ATZ) make it ignore DTR, so that
// only "+++" and ATH hang up. When the remote ends, its last bytes are
// delivered, then "NO CARRIER", and the carrier drops: the pty is closed (the
// caller reads EOF/EIO, as on a hang-up) after a fresh one has been published
// under PATH for the next call.
//
// --answer silent never answers a command; garbage answers noise instead of
// OK. --log writes every command line received and the call's events, one
// per line. --events writes the call's events for a test to check, one per
// line: the milliseconds since the modem started, the bytes the remote has
// read so far in this call, and the event (the events of a call's end are
// written before the answer that tells the caller of it, so a caller that
// looks at them then finds them however late the modem got to run):
// "CONNECT <rate>", "MARK" (the
// modem got SIGUSR1: a test marks the moment of a request), "DTR DROP",
// "ESCAPE", "HANG-UP" (ATH), "REMOTE ENDED", "DISCARDED <bytes>" (held for the
// remote and dropped), "NO CARRIER", and "CALL END <ms>" with the time the
// last byte reached the remote.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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
volatile sig_atomic_t gMark = 0;
void OnSignal(int) { gStop = 1; }
void OnMark(int) { gMark = 1; }

struct DialStep {
  int delayMs = 0;
  std::string result;  // "NONE": never answers
};

struct Options {
  std::string link;
  std::vector<DialStep> dials;
  std::string peer = "cat";
  bool throttle = false;
  size_t buffer = 2048;
  uint32_t noise = 0;
  uint64_t seed = 1;
  int damageZEof = 0;
  int guardMs = 200;
  std::string answer = "ok";
  std::string log, events;
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
    } else if (a == "--buffer") {
      o.buffer = std::max<size_t>(1, std::strtoul(value().c_str(), nullptr, 10));
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
    } else if (a == "--events") {
      o.events = value();
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
  int packetMode = 1;
  ::ioctl(p.master.get(), TIOCPKT, &packetMode);
  return p;
}

// The master is in packet mode (TIOCPKT), so that the modem learns when the
// caller discards its unsent output (tcflush TCOFLUSH). On a serial port
// that takes everything the modem has not taken yet; on a pty it leaves what
// already sits in the master's read buffer, which the modem drops then
// (DropFlushed). Reads at most n bytes of data; a notice or a packet without
// data reads as EAGAIN, a flush notice also sets *flushed.
ssize_t ReadPty(int fd, char* buf, size_t n, bool* flushed = nullptr) {
  char packet[4097];
  const ssize_t got = ::read(fd, packet, std::min<size_t>(n, 4096) + 1);
  if (got <= 0) return got;
  if (packet[0] != TIOCPKT_DATA) {
    if ((packet[0] & TIOCPKT_FLUSHWRITE) && flushed) *flushed = true;
    errno = EAGAIN;
    return -1;
  }
  if (got == 1) {
    errno = EAGAIN;
    return -1;
  }
  std::memcpy(buf, packet + 1, static_cast<size_t>(got - 1));
  return got - 1;
}

// After a flush notice: what the caller wrote before its flush is dropped
// (with it, perhaps, what it wrote just after: a line whose output was
// stopped loses that as well).
size_t DropFlushed(int fd) {
  size_t dropped = 0;
  char buf[4096];
  for (ssize_t got; (got = ReadPty(fd, buf, sizeof buf)) > 0;) dropped += static_cast<size_t>(got);
  return dropped;
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

// The connection of a call. Towards the remote the modem takes the caller's
// bytes as fast as they come while its buffer has room, and sends them at
// the line's rate as far as the remote's receive buffer (the pipe) takes
// them; the remote's bytes come back at the line's rate and are handed to
// the caller as fast as the pty takes them.
class Line {
 public:
  enum class State { Running, RemoteEnded };
  Line(int pty, int toRemote, int fromRemote, const Options& o, uint32_t rate)
      : pty_(pty),
        toRemote_(toRemote),
        fromRemote_(fromRemote),
        capacity_(o.buffer),
        outThrottle_(o.throttle ? rate : 0),
        inThrottle_(o.throttle ? rate : 0),
        outNoise_(o.noise, o.seed),
        inNoise_(o.noise, o.seed + 1),
        damage_(o.damageZEof) {}

  State Step(std::chrono::milliseconds limit);
  // The caller's bytes as the modem takes them (escape detection).
  std::function<void(std::string_view)> OnFromCaller;
  // Bytes held for the remote.
  size_t Held() const { return toRemoteBuffer_.size(); }
  // Drops what is held for the remote; returns how many bytes that was.
  size_t Discard() {
    const size_t n = toRemoteBuffer_.size() + damage_.Flush().size();
    toRemoteBuffer_.clear();
    return n;
  }
  // Bytes that have crossed the line to the remote (into its receive
  // buffer, the pipe).
  uint64_t ReachedRemote() const { return sent_; }
  Clock::time_point LastToRemote() const { return lastToRemote_; }

 private:
  int pty_, toRemote_, fromRemote_;
  size_t capacity_;
  velmaris::TThrottle outThrottle_, inThrottle_;
  velmaris::TNoise outNoise_, inNoise_;
  velmaris::THeaderDamage damage_;
  std::string toRemoteBuffer_, toCallerBuffer_;
  bool remoteGone_ = false, remoteSilent_ = false;
  uint64_t sent_ = 0;
  Clock::time_point lastToRemote_ = Clock::now();
};

Line::State Line::Step(std::chrono::milliseconds limit) {
  const auto now = Clock::now();
  auto wait = limit;
  pollfd fds[3];
  fds[0] = {pty_, 0, 0};
  if (toRemoteBuffer_.size() < capacity_) fds[0].events |= POLLIN;
  if (!toCallerBuffer_.empty()) fds[0].events |= POLLOUT;
  fds[1] = {-1, POLLOUT, 0};
  if (!toRemoteBuffer_.empty() && !remoteGone_) {
    if (outThrottle_.Allowance(now) > 0) {
      fds[1].fd = toRemote_;
    } else {
      wait = std::min(wait, outThrottle_.UntilNext(now));
    }
  }
  fds[2] = {-1, POLLIN, 0};
  if (!remoteSilent_ && toCallerBuffer_.size() < capacity_) {
    if (inThrottle_.Allowance(now) > 0) {
      fds[2].fd = fromRemote_;
    } else {
      wait = std::min(wait, inThrottle_.UntilNext(now));
    }
  }
  const int r = ::poll(fds, 3, static_cast<int>(wait.count()));
  if (r < 0 && errno != EINTR) return State::RemoteEnded;
  char chunk[4096];
  if (r > 0 && (fds[0].revents & POLLIN)) {
    const size_t room = std::min(sizeof chunk, capacity_ - toRemoteBuffer_.size());
    bool flushed = false;
    const ssize_t got = ReadPty(pty_, chunk, room, &flushed);
    if (flushed) DropFlushed(pty_);
    if (got > 0) {
      std::string bytes(chunk, static_cast<size_t>(got));
      if (OnFromCaller) OnFromCaller(bytes);
      bytes = damage_.Pass(bytes);
      outNoise_.Apply(bytes);
      toRemoteBuffer_ += bytes;
    }
  }
  if (r > 0 && fds[1].fd >= 0 && fds[1].revents) {
    const size_t n = std::min(toRemoteBuffer_.size(), outThrottle_.Limited()
                                                          ? outThrottle_.Allowance(Clock::now())
                                                          : toRemoteBuffer_.size());
    const ssize_t put =
        n ? velmaris::platform::WriteNoSignal(toRemote_, toRemoteBuffer_.data(), n) : 0;
    if (put > 0) {
      toRemoteBuffer_.erase(0, static_cast<size_t>(put));
      if (outThrottle_.Limited()) outThrottle_.Consume(static_cast<size_t>(put));
      sent_ += static_cast<uint64_t>(put);
      lastToRemote_ = Clock::now();
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
      remoteGone_ = true;
    }
  }
  if (r > 0 && fds[2].fd >= 0 && fds[2].revents) {
    const size_t room = std::min(
        {sizeof chunk, capacity_ - toCallerBuffer_.size(), inThrottle_.Allowance(Clock::now())});
    const ssize_t got = room ? ::read(fromRemote_, chunk, room) : 0;
    if (got > 0) {
      std::string bytes(chunk, static_cast<size_t>(got));
      if (inThrottle_.Limited()) inThrottle_.Consume(bytes.size());
      inNoise_.Apply(bytes);
      toCallerBuffer_ += bytes;
    } else if (room && (got == 0 || (errno != EAGAIN && errno != EINTR))) {
      remoteSilent_ = true;
    }
  }
  if (r > 0 && (fds[0].revents & POLLOUT) && !toCallerBuffer_.empty()) {
    const ssize_t put =
        velmaris::platform::WriteNoSignal(pty_, toCallerBuffer_.data(), toCallerBuffer_.size());
    if (put > 0) toCallerBuffer_.erase(0, static_cast<size_t>(put));
  }
  // The remote has ended when it stopped sending and what it sent is
  // through, or when it takes nothing any more.
  if ((remoteSilent_ && toCallerBuffer_.empty()) || remoteGone_) return State::RemoteEnded;
  return State::Running;
}

class Modem {
 public:
  explicit Modem(Options o) : o_(std::move(o)), pty_(OpenPty()) {
    if (!o_.log.empty()) log_ = std::fopen(o_.log.c_str(), "a");
    if (!o_.events.empty()) events_ = std::fopen(o_.events.c_str(), "a");
    ignoreDtr_ = o_.ignoreDtr;
    Publish(pty_, o_.link);
  }
  ~Modem() {
    EndCall();
    ::unlink(o_.link.c_str());
    if (log_) std::fclose(log_);
    if (events_) std::fclose(events_);
  }
  void Run();

 private:
  enum class Mode { Command, Dialing, Online, OnlineCommand };

  void Log(const std::string& line) {
    if (!log_) return;
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }
  // One line of the events file: when, how much the remote has read, what.
  void Event(const std::string& what) {
    if (!events_) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count();
    const uint64_t reached = line_ ? line_->ReachedRemote() : reached_;
    std::fprintf(events_, "%lld %llu %s\n", static_cast<long long>(ms),
                 static_cast<unsigned long long>(reached), what.c_str());
    std::fflush(events_);
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
  // Ends the connection of the call (what it held for the remote is
  // discarded) and logs the call's end.
  void EndLine();
  void DropCarrier();
  bool DtrDown();
  void DtrDropped();
  // Drops what is held for the remote and what the caller wrote that the
  // modem has not taken yet (read until the pty is quiet for a moment).
  void DiscardHeld();
  std::string ReadMaster(int waitMs);

  Options o_;
  Pty pty_;
  std::FILE* log_ = nullptr;
  std::FILE* events_ = nullptr;
  const Clock::time_point started_ = Clock::now();
  Mode mode_ = Mode::Command;
  bool echo_ = true;
  bool ignoreDtr_ = false;  // AT&D0
  std::string line_text_;
  size_t dialIndex_ = 0;
  Clock::time_point dialDue_;
  std::string dialResult_;
  uint32_t rate_ = 0;
  pid_t peer_ = -1;
  pid_t peerGroup_ = -1;  // the peer's process group, ended with the call
  Fd toPeer_, fromPeer_;
  std::unique_ptr<Line> line_;
  uint64_t reached_ = 0;  // the remote's count once the line is gone
  // Escape detection: pluses seen after a guard time of silence.
  int pluses_ = 0;
  Clock::time_point lastData_;
};

std::string Modem::ReadMaster(int waitMs) {
  pollfd p{pty_.master.get(), POLLIN, 0};
  if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN)) return {};
  char buf[512];
  const ssize_t n = ReadPty(pty_.master.get(), buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

void Modem::CommandBytes(const std::string& bytes) {
  for (char c : bytes) {
    if (echo_ && o_.answer == "ok") Send(std::string(1, c));
    if (c == '\r') {
      CommandLine(line_text_);
      line_text_.clear();
    } else if (c != '\n' && line_text_.size() < 256) {
      line_text_ += c;
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
    if (c == '&') {
      if (arg == 'D' && i + 2 < line.size()) ignoreDtr_ = line[i + 2] == '0';
      i += 2;
      continue;
    }
    if (c == 'Z') {
      echo_ = true;
      ignoreDtr_ = o_.ignoreDtr;
    }
    if (c == 'E') echo_ = arg == '1';
    if (c == 'H' && mode_ == Mode::OnlineCommand) {
      Event("HANG-UP");
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
                                                    &in, &out, /*ownGroup=*/true);
    peerGroup_ = peer_;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fakemodem: %s\n", e.what());
    Result("NO CARRIER");
    return;
  }
  toPeer_ = Fd(in);
  fromPeer_ = Fd(out);
  SetNonBlocking(in);
  SetNonBlocking(out);
  // The remote's receive buffer: 16 KB (a pipe of four pages), as a modem's
  // and a tty's hold some kilobytes; a remote that stops reading stops the
  // line soon.
  ::fcntl(in, F_SETPIPE_SZ, 16384);
  line_ = std::make_unique<Line>(pty_.master.get(), in, out, o_, rate);
  line_->OnFromCaller = [this](std::string_view bytes) {
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
  reached_ = 0;
  mode_ = Mode::Online;
  Log("CONNECTED");
  Event("CONNECT " + std::to_string(rate));
}

bool Modem::DtrDown() {
  // The master reads the slave's settings: the caller's speed.
  termios tio{};
  return !ignoreDtr_ && ::tcgetattr(pty_.master.get(), &tio) == 0 && ::cfgetospeed(&tio) == B0;
}

void Modem::DiscardHeld() {
  size_t discarded = (line_ ? line_->Discard() : 0) + DropFlushed(pty_.master.get());
  // The pty hands over what the caller wrote in steps: read until it has
  // been quiet for a moment (bounded).
  const auto readUntil = Clock::now() + 300ms;
  for (std::string more; Clock::now() < readUntil && !(more = ReadMaster(20)).empty();)
    discarded += more.size();
  Event("DISCARDED " + std::to_string(discarded));
}

void Modem::DtrDropped() {
  Log("DTR DROPPED");
  Event("DTR DROP");
  // AT&D2: the call ends at once; nothing held goes out any more. Only then
  // the answer: after it the caller raises DTR and talks commands again, and
  // may look at the events at once, however late this modem got to run: the
  // call's end is written down before it.
  DiscardHeld();
  EndLine();
  Event("NO CARRIER");
  Result("NO CARRIER");
  // The remote sees its line end (the end of its input) and may end by
  // itself (bounded: it may not read); EndCall ends it otherwise.
  toPeer_.Close();
  const auto deadline = Clock::now() + 2s;
  int status = 0;
  while (peer_ > 0 && Clock::now() < deadline) {
    const pid_t ended = ::waitpid(peer_, &status, WNOHANG);
    if (ended == peer_ || (ended < 0 && errno != EINTR)) peer_ = -1;
    if (peer_ > 0) std::this_thread::sleep_for(5ms);
  }
  Log("PASSED 0 AFTER DTR");
  EndCall();
  mode_ = Mode::Command;
}

void Modem::OnlineStep() {
  if (DtrDown()) return DtrDropped();
  const auto state = line_->Step(10ms);
  if (pluses_ == 3 && Clock::now() - lastData_ >= std::chrono::milliseconds(o_.guardMs)) {
    pluses_ = 0;
    Log("ESCAPE");
    Event("ESCAPE");
    mode_ = Mode::OnlineCommand;
    return Result("OK");
  }
  if (state != Line::State::RemoteEnded) return;
  // The remote has ended: what it sent is through; the caller reads it, then
  // NO CARRIER, then the carrier drops.
  Log("PEER ENDED");
  Event("REMOTE ENDED");
  EndLine();
  Result("NO CARRIER");
  EndCall();
  DropCarrier();
  mode_ = Mode::Command;
}

void Modem::EndLine() {
  if (!line_) return;
  if (line_->Held()) Event("DISCARDED " + std::to_string(line_->Discard()));
  reached_ = line_->ReachedRemote();
  const auto last =
      std::chrono::duration_cast<std::chrono::milliseconds>(line_->LastToRemote() - started_)
          .count();
  line_.reset();
  Event("CALL END " + std::to_string(last));
}

void Modem::EndCall() {
  EndLine();
  toPeer_.Close();
  fromPeer_.Close();
  if (peer_ > 0) {
    // A peer that has not ended two seconds after SIGTERM (sz can hang in
    // its own signal handler) is killed; either way it is reaped here, so
    // no peer outlives the call holding the caller's output open. The
    // signals go to the peer's whole group: a shell's children end with it,
    // as a remote's do when its carrier drops.
    ::kill(-peer_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + 2s;
    pid_t ended = 0;
    while (((ended = ::waitpid(peer_, &status, WNOHANG)) == 0 || (ended < 0 && errno == EINTR)) &&
           Clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    if (ended != peer_ && (ended == 0 || errno == EINTR)) {  // still there
      ::kill(-peer_, SIGKILL);
      while (::waitpid(peer_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    peer_ = -1;
  }
  // What the peer started and left behind (its leader may have ended by
  // itself) ends with the call too.
  if (peerGroup_ > 0) ::kill(-peerGroup_, SIGKILL);
  peerGroup_ = -1;
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
  line_text_.clear();
  Log("CARRIER DROPPED");
  Event("NO CARRIER");
}

void Modem::Run() {
  while (!gStop) {
    if (gMark) {
      gMark = 0;
      Event("MARK");
    }
    switch (mode_) {
      case Mode::Command: CommandBytes(ReadMaster(50)); break;
      case Mode::OnlineCommand:
        if (DtrDown()) {
          DtrDropped();
          break;
        }
        CommandBytes(ReadMaster(20));
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
  struct sigaction mark {};
  mark.sa_handler = OnMark;
  mark.sa_flags = SA_RESTART;
  ::sigaction(SIGUSR1, &mark, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  Modem modem(std::move(options));
  modem.Run();
  return 0;
}

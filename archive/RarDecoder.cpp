#include "archive/RarDecoder.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string_view>

#include "archive/UnrarApi.h"
#include "core/ByteOrder.h"
#include "platform/Process.h"

namespace velmaris::unrar {

namespace {

constexpr int kChildSocket = 3;
constexpr size_t kBlock = kMaxRarFrame - 1;
constexpr const char* kOutOfOrder = "its answer was out of order";

// ---------------------------------------------------------------- the child

// Sends one frame; a program that no longer listens ends the child.
void Put(std::string_view frame) {
  for (;;) {
    const ssize_t n = ::send(kChildSocket, frame.data(), frame.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n != ssize_t(frame.size())) ::_exit(0);
    return;
  }
}

void PutResult(int result) {
  std::string frame(1, 'R');
  AppendLE32(frame, uint32_t(result));
  Put(frame);
}

// libarchive tells of memory it could not have with ENOMEM, or in words;
// where it takes a failed allocation for bad data, the C library's errno
// of that allocation (cleared before each call) still tells. The child's
// memory is bounded, so any allocation that fails is its bound.
bool OutOfMemory(archive* a) {
  const char* text = archive_error_string(a);
  const std::string_view words = text ? text : "";
  return errno == ENOMEM || archive_errno(a) == ENOMEM ||
         words.find("memory") != std::string_view::npos ||
         words.find("alloc") != std::string_view::npos;
}

// A failure of libarchive: memory named as such, then encryption (in
// headers), else damage.
int Failure(archive* a, bool header) {
  if (OutOfMemory(a)) return ERAR_NO_MEMORY;
  const char* text = archive_error_string(a);
  if (header && text && std::string_view(text).find("ncrypt") != std::string_view::npos)
    return ERAR_NO_DECRYPTION;
  return ERAR_BAD_DATA;
}

void AppendName(std::string& frame, const char* name) {
  const size_t n = name ? strnlen(name, kMaxRarFrameName) : 0;
  AppendLE16(frame, uint16_t(n));
  frame.append(name ? name : "", n);
}

void AnswerHeader(archive* a) {
  archive_entry* e = nullptr;
  errno = 0;
  const int rc = archive_read_next_header(a, &e);
  const int result = rc == ARCHIVE_EOF                        ? ERAR_END_ARCHIVE
                     : rc == ARCHIVE_OK || rc == ARCHIVE_WARN ? ERAR_SUCCESS
                                                              : Failure(a, true);
  std::string frame(1, 'E');
  AppendLE32(frame, uint32_t(result));
  frame += char(archive_format(a) == ARCHIVE_FORMAT_RAR_V5);
  AppendLE64(frame, uint64_t(archive_read_header_position(a)));
  if (result == ERAR_SUCCESS) {
    AppendLE32(frame, uint32_t(archive_entry_filetype(e)));
    AppendLE32(frame, uint32_t(archive_entry_mode(e)));
    frame += char(archive_entry_is_encrypted(e) ? 1 : 0);
    frame += char(archive_entry_size_is_set(e) ? 1 : 0);
    frame += char(archive_entry_filetype(e) == AE_IFLNK || archive_entry_hardlink(e) ? 1 : 0);
    AppendLE64(frame, uint64_t(archive_entry_size(e)));
    AppendLE64(frame, uint64_t(int64_t(archive_entry_mtime(e))));
    AppendName(frame, archive_entry_pathname(e));
    AppendName(frame, archive_entry_pathname_utf8(e));
  }
  Put(frame);
}

// The data of the entry, never more than limit bytes.
void AnswerData(archive* a, uint64_t limit) {
  static char frame[kMaxRarFrame];
  frame[0] = 'D';
  uint64_t total = 0;
  for (;;) {
    errno = 0;
    const la_ssize_t n = archive_read_data(a, frame + 1, kBlock);
    if (n == 0) return PutResult(ERAR_SUCCESS);
    if (n < 0) return PutResult(Failure(a, false));
    total += uint64_t(n);
    if (total > limit) return PutResult(ERAR_BAD_DATA);  // more than its header announced
    Put(std::string_view(frame, size_t(n) + 1));
  }
}

// Opens the archive, then answers the program until it closes its end.
[[noreturn]] void Serve(const char* path) {
  archive* a = archive_read_new();
  if (!a) ::_exit(3);
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  errno = 0;
  if (archive_read_open_filename(a, path, kBlock) != ARCHIVE_OK) {
    // libarchive tells of a format it does not know with EILSEQ on Linux.
    const int err = archive_errno(a);
    PutResult(OutOfMemory(a)  ? ERAR_NO_MEMORY
              : err == EILSEQ ? ERAR_UNKNOWN_FORMAT
              : err > 0       ? ERAR_EOPEN
                              : Failure(a, true));
    ::_exit(0);
  }
  PutResult(ERAR_SUCCESS);
  char request[16];
  for (;;) {
    const ssize_t n = ::recv(kChildSocket, request, sizeof request, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ::_exit(0);
    if (request[0] == 'H' && n == 1) {
      AnswerHeader(a);
    } else if (request[0] == 'S' && n == 1) {
      errno = 0;
      PutResult(archive_read_data_skip(a) == ARCHIVE_OK ? ERAR_SUCCESS : Failure(a, false));
    } else if (request[0] == 'X' && n == 9) {
      AnswerData(a, GetLE64(reinterpret_cast<const uint8_t*>(request + 1)));
    } else {
      ::_exit(2);
    }
  }
}

// The address space of this process, in bytes (0 when it cannot be read).
uint64_t AddressSpace() {
  char text[64] = {};
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  return std::strtoull(text, nullptr, 10) * uint64_t(::sysconf(_SC_PAGESIZE));
}

// Lowers the soft limit of a resource to value (at most the hard limit).
bool Limit(int resource, rlim_t value) {
  struct rlimit rl {};
  if (::getrlimit(resource, &rl) != 0) return false;
  if (rl.rlim_max != RLIM_INFINITY && value > rl.rlim_max) value = rl.rlim_max;
  rl.rlim_cur = value;
  return ::setrlimit(resource, &rl) == 0;
}

// The socket at kChildSocket, /dev/null at 0 to 2, nothing else open.
void KeepOnlySocket(int sock) {
  if (sock < kChildSocket) sock = ::fcntl(sock, F_DUPFD, kChildSocket);
  const int null = ::open("/dev/null", O_RDWR);
  for (int fd = 0; fd < kChildSocket; ++fd)
    if (null >= 0 && null != fd) ::dup2(null, fd);
  if (sock != kChildSocket) ::dup2(sock, kChildSocket);
  if (::close_range(kChildSocket + 1, ~0U, 0) == 0) return;
  struct rlimit rl {};
  const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY
                         ? std::min<rlim_t>(rl.rlim_cur, 1 << 20)
                         : 65536;
  for (rlim_t fd = kChildSocket + 1; fd < top; ++fd) ::close(int(fd));
}

[[noreturn]] void Child(int sock, const char* path, pid_t parent, unsigned cpuSeconds) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);  // the program ended before the line above
  ::prctl(PR_SET_NAME, "velmaris-rar");
  KeepOnlySocket(sock);
  // The default actions, so that a crash, the CPU limit or a signal from
  // outside ends the child as what it is, whatever handlers the program
  // has set.
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (const int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGXCPU, SIGPIPE, SIGALRM,
                        SIGTERM, SIGINT, SIGHUP, SIGQUIT})
    ::signal(sig, SIG_DFL);
  Limit(RLIMIT_CORE, 0);
  if (!Limit(RLIMIT_CPU, cpuSeconds) ||
      !Limit(RLIMIT_AS, rlim_t(AddressSpace() + kRarAddressBudget)))
    ::_exit(3);
  Serve(path);
}

// ---------------------------------------------------------- the program

// A bounded reading of one frame.
struct FrameCursor {
  std::string_view bytes;
  size_t pos = 0;
  bool ok = true;

  const uint8_t* Take(size_t n) {
    if (!ok || bytes.size() - pos < n) {
      ok = false;
      return nullptr;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + pos);
    pos += n;
    return p;
  }
  uint8_t U8() {
    const uint8_t* p = Take(1);
    return p ? *p : 0;
  }
  uint16_t U16() {
    const uint8_t* p = Take(2);
    return p ? GetLE16(p) : 0;
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return p ? GetLE32(p) : 0;
  }
  uint64_t U64() {
    const uint8_t* p = Take(8);
    return p ? GetLE64(p) : 0;
  }
  std::string Name() {
    const uint16_t n = U16();
    if (n > kMaxRarFrameName) ok = false;
    const uint8_t* p = Take(n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  bool AtEnd() const { return ok && pos == bytes.size(); }
};

std::string Ended(int status) {
  if (WIFSIGNALED(status)) {
    return "it was ended by " + platform::SignalText(WTERMSIG(status));
  }
  if (WIFEXITED(status)) return "it ended with exit code " + std::to_string(WEXITSTATUS(status));
  return "it ended";
}

// The signals by which decoding an archive ends the child: a crash, or a
// limit it ran into.
bool ArchiveSignal(int sig) {
  switch (sig) {
    case SIGSEGV:
    case SIGBUS:
    case SIGILL:
    case SIGFPE:
    case SIGABRT:
    case SIGSYS:
    case SIGTRAP:
    case SIGXCPU:
    case SIGXFSZ: return true;
    default: return false;
  }
}

// The CPU limit the child gets, in seconds: ours, or the hard limit the
// program itself has when that is lower.
double CpuLimitOfChild(unsigned wanted) {
  struct rlimit rl {};
  if (::getrlimit(RLIMIT_CPU, &rl) == 0 && rl.rlim_max != RLIM_INFINITY && rl.rlim_max < wanted)
    return double(rl.rlim_max);
  return double(wanted);
}

// The CPU time a process has used, in clock ticks (/proc/PID/stat, utime
// and stime), and whether it is stopped; nothing when it cannot be read.
struct ProcessState {
  unsigned long long Ticks = 0;
  bool Stopped = false;
};
std::optional<ProcessState> ReadProcessState(pid_t pid) {
  char text[1024] = {};
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const ssize_t n = platform::ReadFull(fd, text, sizeof text - 1);
  ::close(fd);
  // After the name in parentheses: state (field 3), ..., utime (14), stime (15).
  const char* close = n > 0 ? std::strrchr(text, ')') : nullptr;
  if (!close) return std::nullopt;
  char state = 0;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(close + 1, " %c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &state,
                  &utime, &stime) != 3)
    return std::nullopt;
  return ProcessState{utime + stime, state == 'T' || state == 't'};
}

std::mutex& BoundsMutex() {
  static std::mutex m;
  return m;
}
TRarReaderBounds& Bounds() {
  static TRarReaderBounds bounds;
  return bounds;
}
std::function<void(pid_t)>& Watch() {
  static std::function<void(pid_t)> watch;
  return watch;
}

}  // namespace

void SetRarReaderBounds(const TRarReaderBounds& bounds) {
  std::lock_guard lock(BoundsMutex());
  Bounds() = bounds;
}

TRarReaderBounds RarReaderBounds() {
  std::lock_guard lock(BoundsMutex());
  return Bounds();
}

void SetRarReaderWatch(std::function<void(pid_t)> watch) {
  std::lock_guard lock(BoundsMutex());
  Watch() = std::move(watch);
}

int TRarDecoder::Open(const std::string& path) {
  End();
  failure_.clear();
  kind_ = TReaderFailure::Archive;
  bounds_ = RarReaderBounds();
  cpuLimit_ = CpuLimitOfChild(bounds_.CpuSeconds);
  std::function<void(pid_t)> watch;
  {
    std::lock_guard lock(BoundsMutex());
    watch = Watch();
  }
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return ERAR_NO_MEMORY;
  platform::Fd mine(pair[0]), theirs(pair[1]);
  buffer_.resize(kMaxRarFrame + 1);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return ERAR_NO_MEMORY;
  if (pid == 0) Child(theirs.get(), path.c_str(), parent, bounds_.CpuSeconds);
  pid_ = pid;
  socket_ = std::move(mine);
  theirs.Close();
  if (watch) watch(pid);
  std::string_view frame;
  if (!Receive(frame)) return ERAR_READER_FAILED;
  return ResultOf(frame);
}

int TRarDecoder::NextHeader(TRarEntryInfo& info) {
  std::string_view frame;
  if (!Send("H")) return Fail({});
  if (!Receive(frame)) return ERAR_READER_FAILED;
  FrameCursor c{frame};
  const bool header = c.U8() == 'E';
  const int result = int(c.U32());
  info = TRarEntryInfo{};
  info.Rar5 = c.U8() != 0;
  info.HeaderPosition = c.U64();
  if (!header || !c.ok) return Fail(kOutOfOrder);
  if (result != ERAR_SUCCESS) return c.AtEnd() ? Checked(result) : Fail(kOutOfOrder);
  info.FileType = c.U32();
  info.Mode = c.U32();
  info.Encrypted = c.U8() != 0;
  info.SizeSet = c.U8() != 0;
  info.Link = c.U8() != 0;
  info.Size = c.U64();
  info.Mtime = int64_t(c.U64());
  info.Name = c.Name();
  info.NameUtf8 = c.Name();
  return c.AtEnd() ? ERAR_SUCCESS : Fail(kOutOfOrder);
}

int TRarDecoder::Skip() {
  std::string_view frame;
  if (!Send("S")) return Fail({});
  if (!Receive(frame)) return ERAR_READER_FAILED;
  return ResultOf(frame);
}

int TRarDecoder::Read(uint64_t limit,
                      const std::function<bool(const char* data, size_t n)>& block) {
  std::string request(1, 'X');
  AppendLE64(request, limit);
  if (!Send(request)) return Fail({});
  for (;;) {
    std::string_view frame;
    if (!Receive(frame)) return ERAR_READER_FAILED;
    if (frame[0] != 'D' || frame.size() < 2) return ResultOf(frame);
    if (!block(frame.data() + 1, frame.size() - 1)) {
      End();
      failure_ = "its data were not taken";
      return ERAR_UNKNOWN;
    }
  }
}

bool TRarDecoder::Send(std::string_view request) {
  if (!socket_.ok()) return false;
  for (;;) {
    const ssize_t n = ::send(socket_.get(), request.data(), request.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return n == ssize_t(request.size());
  }
}

bool TRarDecoder::Receive(std::string_view& frame) {
  const auto wait = bounds_.AnswerWait;
  unsigned long long ticks = 0;
  StillWorking(&ticks);
  int ready = -1;
  while (socket_.ok() && (ready = platform::WaitReadable(socket_.get(), -1, wait)) == 0 &&
         StillWorking(&ticks)) {
  }
  if (ready == 0) {
    // Stopped, or given no CPU time: nothing the archive did.
    const auto state = ReadProcessState(pid_);
    const std::string seconds = wait.count() % 1000 == 0
                                    ? std::to_string(wait.count() / 1000) + " seconds"
                                    : std::to_string(wait.count()) + " ms";
    Fail("it gave no answer within " + seconds +
             (state && state->Stopped ? " (it was stopped)" : ""),
         TReaderFailure::OwnSide);
    return false;
  }
  ssize_t n = -1;
  while (ready > 0 && (n = ::recv(socket_.get(), buffer_.data(), buffer_.size(), MSG_TRUNC)) < 0 &&
         errno == EINTR) {
  }
  if (n <= 0 || size_t(n) > kMaxRarFrame) {
    // The child ended (how it ended is the reason), or it said too much.
    Fail(n > 0 ? "its answer was too long" : "");
    return false;
  }
  frame = std::string_view(buffer_.data(), size_t(n));
  return true;
}

int TRarDecoder::ResultOf(std::string_view frame) {
  if (frame.size() != 5 || frame[0] != 'R') return Fail(kOutOfOrder);
  return Checked(int(GetLE32(reinterpret_cast<const uint8_t*>(frame.data() + 1))));
}

int TRarDecoder::Checked(int result) {
  switch (result) {
    case ERAR_SUCCESS:
    case ERAR_END_ARCHIVE:
    case ERAR_BAD_DATA:
    case ERAR_NO_DECRYPTION:
    case ERAR_UNKNOWN_FORMAT:
    case ERAR_EOPEN: return result;
    case ERAR_NO_MEMORY:
      return Fail("it needs more than the " + std::to_string(kRarAddressBudget >> 20) +
                      " MB of memory it may take",
                  TReaderFailure::Memory);
    default: return Fail(kOutOfOrder);
  }
}

int TRarDecoder::Fail(const std::string& why, TReaderFailure kind) {
  const std::optional<Ending> ending = End();
  if (!why.empty()) {
    failure_ = why;
    kind_ = kind;
  } else if (ending) {
    failure_ = Ended(ending->Status);
    // A signal that neither a crash nor a limit explains came from outside;
    // the CPU limit's hard end is a SIGKILL after the child used its time.
    if (WIFSIGNALED(ending->Status)) {
      const int sig = WTERMSIG(ending->Status);
      // The kernel holds the limit against CPU time counted in clock ticks,
      // the rusage tells the time the scheduler measured: they differ by a
      // good part of a second (a tenth of a short limit has been seen).
      const bool cpuLimit = sig == SIGKILL && ending->CpuSeconds >= 0.75 * ending->CpuLimit;
      if (!ArchiveSignal(sig) && !cpuLimit) kind_ = TReaderFailure::OwnSide;
      if (cpuLimit)
        failure_ += ", at its limit of " + std::to_string(unsigned(ending->CpuLimit)) +
                    " seconds of CPU time";
    }
  } else if (failure_.empty()) {
    failure_ = "it had ended";
  }
  return ERAR_READER_FAILED;
}

bool TRarDecoder::StillWorking(unsigned long long* cpuTicks) const {
  const auto state = ReadProcessState(pid_);
  if (!state || state->Stopped) return false;
  const bool used = state->Ticks > *cpuTicks;
  *cpuTicks = state->Ticks;
  return used;
}

std::optional<TRarDecoder::Ending> TRarDecoder::End() {
  socket_.Close();
  if (pid_ < 0) return std::nullopt;
  // The CPU limit it had (a limit set from outside counts as well), read
  // before it is reaped; whether it ended by itself is read before it is
  // killed here.
  struct rlimit cpu {};
  double limit = cpuLimit_;
  if (::prlimit(pid_, RLIMIT_CPU, nullptr, &cpu) == 0 && cpu.rlim_cur != RLIM_INFINITY)
    limit = double(cpu.rlim_cur);
  int status = 0;
  struct rusage usage {};
  pid_t got;
  while ((got = ::wait4(pid_, &status, WNOHANG, &usage)) < 0 && errno == EINTR) {
  }
  if (got == 0) {
    ::kill(pid_, SIGKILL);
    while ((got = ::wait4(pid_, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  if (got < 0) return std::nullopt;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return Ending{status, seconds(usage.ru_utime) + seconds(usage.ru_stime), limit};
}

}  // namespace velmaris::unrar

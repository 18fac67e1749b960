#include "platform/TerminalText.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <streambuf>
#include <thread>

#include "platform/CheckedMutex.h"
#include "platform/CodePage.h"

namespace velmaris::platform {

std::string TerminalText(std::string_view line) {
  return IsUtf8(line) ? std::string(line) : AnsiToUtf8(line);
}

namespace {

// Collects each thread's line apart and hands it on converted, whole, when
// it is complete: jobs, the store's log and the duplicate checker write
// standard error off the main thread, and their lines never mix. A flush
// (std::cerr flushes after every output) hands on only complete lines; what
// a thread left unfinished goes out at the end of the program.
class TerminalLineBuf : public std::streambuf {
 public:
  explicit TerminalLineBuf(std::streambuf* out) : out_(out) {}

  // The lines threads left unfinished.
  void PassUnfinished() {
    std::lock_guard<CheckedMutex> hold(mutex_);
    for (auto& [thread, line] : lines_) Pass(line);
    lines_.clear();
    out_->pubsync();
  }

 protected:
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    xsputn(&c, 1);
    return ch;
  }
  // A failed write (standard error closed, its reader gone) loses the
  // line, never the run: the stream stays usable.
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::lock_guard<CheckedMutex> hold(mutex_);
    std::string& line = LineOfThisThread();
    for (std::streamsize i = 0; i < n; ++i) {
      line.push_back(s[i]);
      if (s[i] == '\n') Pass(line);
    }
    if (line.empty()) lines_.erase(std::this_thread::get_id());
    return n;
  }
  int sync() override {
    std::lock_guard<CheckedMutex> hold(mutex_);
    out_->pubsync();
    return 0;
  }

 private:
  std::string& LineOfThisThread() {
    assert(mutex_.HeldByThisThread());
    return lines_[std::this_thread::get_id()];
  }

  void Pass(std::string& line) {
    assert(mutex_.HeldByThisThread());
    if (line.empty()) return;
    const std::string text = TerminalText(line);
    line.clear();
    out_->sputn(text.data(), static_cast<std::streamsize>(text.size()));
  }

  CheckedMutex mutex_;  // guards lines_ and out_, so that lines go out whole
  std::map<std::thread::id, std::string> lines_;  // each thread's unfinished line
  std::streambuf* const out_;
};

TerminalLineBuf* Buffer() {
  // Never freed: the streams are flushed after every static object is gone.
  static TerminalLineBuf* const buffer = new TerminalLineBuf(std::cerr.rdbuf());
  return buffer;
}

// Descriptors 0 to 2 that are closed are opened on /dev/null, so that no
// file the program opens later takes one of them (warnings written to
// standard error would go into it).
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

}  // namespace

void PrepareStandardStreams() {
  OpenStandardDescriptors();
  // A reader of standard error (or output) that went away makes a write
  // fail with EPIPE instead of ending the run. Programs started later get
  // the default action back (Process).
  ::signal(SIGPIPE, SIG_IGN);
  WriteStandardErrorInUtf8();
}

void WriteStandardErrorInUtf8() {
  TerminalLineBuf* const buffer = Buffer();
  if (std::cerr.rdbuf() == buffer) return;
  std::cerr.rdbuf(buffer);
  std::clog.rdbuf(buffer);
  std::atexit([] { Buffer()->PassUnfinished(); });
}

}  // namespace velmaris::platform

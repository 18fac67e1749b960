// A test plug-in process (tools/testplugin) driven line by line: each
// command written to it is answered by one line. While the answer is
// awaited the main-thread dispatcher runs, so the program's side goes on.
// Suites that use it define TESTPLUGIN as the program's path.
#pragma once

#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Dispatcher.h"
#include "platform/Process.h"

namespace velmaris::test {

class TestPlugin {
 public:
  explicit TestPlugin(const std::string& folder, const std::string& name = "Test Plugin") {
    pid_ = platform::Process::StartPiped({TESTPLUGIN, folder, name}, &in_, &out_);
  }
  ~TestPlugin() {
    ::close(in_);
    ::close(out_);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }

  // Sends a command and returns its answer line ("" when the plug-in ended).
  std::string operator()(const std::string& command) {
    const std::string line = command + "\n";
    if (::write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return {};
    std::string answer;
    char c = 0;
    for (;;) {
      platform::GetDispatcher().RunUntil([this] {
        pollfd p{out_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
      });
      if (::read(out_, &c, 1) != 1 || c == '\n') return answer;
      answer += c;
    }
  }
  // Kills the process and collects it.
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
};

}  // namespace velmaris::test

#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Files.h"

extern char** environ;

namespace velmaris::platform {

std::vector<CommandLineWord> CommandLineWords(std::string_view line) {
  std::vector<CommandLineWord> words;
  CommandLineWord word;
  bool inWord = false;  // a word has begun (even an empty quoted one)
  bool quoted = false;
  auto add = [&](size_t i) {
    word.text += line[i];
    word.at.push_back(i);
  };
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!inWord && !blank) {
      word = CommandLineWord{};
      word.begin = i;
      inWord = true;
    }
    if (quoted) {
      if (c != '"') {
        add(i);
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        add(i++);
      } else {
        quoted = false;
      }
    } else if (blank) {
      if (inWord) {
        word.end = i;
        words.push_back(std::move(word));
        inWord = false;
      }
    } else if (c == '"') {
      quoted = word.quoted = true;
    } else {
      add(i);
    }
  }
  if (inWord) {
    word.end = line.size();
    words.push_back(std::move(word));
  }
  return words;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> argv;
  for (CommandLineWord& word : CommandLineWords(commandLine)) argv.push_back(std::move(word.text));
  return argv;
}

std::string QuoteCommandWord(std::string_view word) {
  std::string quoted = "\"";
  for (const char c : word) quoted += c == '"' ? std::string_view("\"\"") : std::string_view(&c, 1);
  return quoted + '"';
}

namespace {

// Spawns argv with the actions already in `actions` (which it destroys), in
// this process's environment with the entries of env set on top.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& workDir,
            posix_spawn_file_actions_t& actions, const std::vector<std::string>& env = {},
            bool ownGroup = false) {
  std::vector<char*> envp;
  if (!env.empty()) {
    for (char** e = environ; *e; ++e) {
      const std::string_view entry(*e);
      const size_t eq = entry.find('=');
      bool replaced = false;
      for (const auto& set : env)
        replaced = replaced || (eq != std::string_view::npos && set.size() > eq &&
                                set.compare(0, eq + 1, entry.substr(0, eq + 1)) == 0);
      if (!replaced) envp.push_back(*e);
    }
    for (const auto& set : env) envp.push_back(const_cast<char*>(set.c_str()));
    envp.push_back(nullptr);
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with the default signal actions and an empty mask,
  // whatever this process has set for its own threads.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (ownGroup) {
    // A group of its own (led by the child): what it starts can be ended
    // with it.
    posix_spawnattr_setpgroup(&attr, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attr, flags);

  // glibc reports a failed chdir or exec of the child as the result of
  // posix_spawnp, so a missing program is an error here, not exit code 127.
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(),
                              env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    throw EProcess("cannot start " + argv[0] + (workDir.empty() ? "" : " in " + workDir) + ": " +
                   std::strerror(rc));
  }
  return pid;
}

}  // namespace

pid_t Process::Start(const std::vector<std::string>& argv, const std::string& workDir) {
  if (argv.empty() || argv[0].empty()) throw EProcess("no program to start");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  return Spawn(argv, workDir, actions);
}

pid_t Process::StartPiped(const std::vector<std::string>& argv, int* toChild, int* fromChild,
                          bool ownGroup) {
  if (argv.empty() || argv[0].empty()) throw EProcess("no program to start");
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw EProcess(std::string("pipe: ") + std::strerror(errno));
  Fd inRead(in[0]), inWrite(in[1]);
  if (::pipe2(out, O_CLOEXEC) != 0) throw EProcess(std::string("pipe: ") + std::strerror(errno));
  Fd outRead(out[0]), outWrite(out[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const pid_t pid = Spawn(argv, {}, actions, {}, ownGroup);
  // The child's ends close here; the caller owns the other two.
  *toChild = inWrite.Release();
  *fromChild = outRead.Release();
  return pid;
}

namespace {

// The exit code of a wait status, or 128 + the signal that ended the
// program (also in *signal, which is 0 otherwise).
int ExitCode(int status, int* signal) {
  if (signal) *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 255;
}

}  // namespace

std::string SignalText(int signal) {
  const char* what = ::sigdescr_np(signal);
  return "signal " + std::to_string(signal) + (what ? " (" + std::string(what) + ")" : "");
}

int Process::Wait(pid_t pid, int* signal) {
  int status = 0;
  for (;;) {
    if (::waitpid(pid, &status, 0) >= 0) break;
    if (errno != EINTR)
      throw EProcess(std::string("cannot wait for a process: ") + std::strerror(errno));
  }
  return ExitCode(status, signal);
}

int Process::Run(const std::vector<std::string>& argv, const std::string& workDir) {
  return Wait(Start(argv, workDir));
}

int Process::RunCaptured(const std::vector<std::string>& argv, const std::string& workDir,
                         std::string* output, const std::vector<std::string>& env, size_t maxOutput,
                         std::chrono::milliseconds limit, bool* timedOut, int* signal) {
  if (signal) *signal = 0;
  if (argv.empty() || argv[0].empty()) throw EProcess("no program to start");
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw EProcess(std::string("pipe: ") + std::strerror(errno));
  Fd outRead(out[0]), outWrite(out[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  const pid_t pid = Spawn(argv, workDir, actions, env, true);
  outWrite.Close();  // the child holds the only writing end now
  using Clock = std::chrono::steady_clock;
  const bool bounded = limit.count() > 0;
  const Clock::time_point deadline = Clock::now() + limit;
  // Milliseconds left for poll; -1 without a limit.
  auto left = [&]() -> int {
    if (!bounded) return -1;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return ms <= 0 ? 0 : int(std::min<long long>(ms, 1000));
  };
  auto endGroup = [&] {
    // The leader is not reaped yet, so its id still names this group.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    if (timedOut) *timedOut = true;
    return Wait(pid, signal);
  };
  // The program's end wakes the poll too: a process it left behind (a
  // daemon, a child in the background) may hold the output open for ever.
  Fd ending(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  // Whether the program has ended, without reaping it: its id keeps naming
  // its group until Wait.
  auto ended = [&] {
    for (;;) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
        return info.si_pid == pid;
      if (errno != EINTR) return true;  // nothing to wait for: Wait says why
    }
  };
  char buf[4096];
  auto keep = [&](ssize_t n) {
    if (output && output->size() < maxOutput)
      output->append(buf, std::min(size_t(n), maxOutput - output->size()));
  };
  bool eof = false;
  for (;;) {
    if (ended()) break;
    pollfd p[2] = {{outRead.get(), POLLIN, 0}, {ending.get(), POLLIN, 0}};
    // Without a descriptor for its end, the program is looked at now and then.
    const int wait = ending.ok() ? left() : (bounded ? std::min(left(), 50) : 50);
    const int ready = ::poll(p, ending.ok() ? 2 : 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && p[0].revents != 0) {
      const ssize_t n = ::read(outRead.get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        eof = true;
        break;
      }
      keep(n);
      continue;
    }
    if (bounded && Clock::now() >= deadline && !ended()) return endGroup();
  }
  if (!eof) {
    // The program has ended and something else holds its output: what is
    // there to read now is its last words; nothing more is waited for
    // (at most a bounded amount is taken from a writer that goes on).
    for (size_t drained = 0; drained < std::max<size_t>(maxOutput, 1 << 20);) {
      pollfd p{outRead.get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      const ssize_t n = ::read(outRead.get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      keep(n);
      drained += size_t(n);
    }
    // What it left in its own group goes with it (the leader is not reaped
    // yet, so its id still names the group); a process that left the group
    // (setsid) is on its own.
    ::kill(-pid, SIGKILL);
    return Wait(pid, signal);
  }
  if (!bounded) return Wait(pid, signal);
  // The output is closed; the program itself may still run.
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) return ExitCode(status, signal);
    if (got < 0 && errno != EINTR)
      throw EProcess(std::string("cannot wait for a process: ") + std::strerror(errno));
    if (Clock::now() >= deadline) return endGroup();
    ::poll(nullptr, 0, std::min(left(), 20));
  }
}

int Process::Run(std::string_view commandLine, const std::string& workDir) {
  return Run(SplitCommandLine(commandLine), workDir);
}

}  // namespace velmaris::platform

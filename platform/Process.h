// Starting external programs (packers, packet processors, external mailers,
// plug-ins) without a shell.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace velmaris::platform {

class EProcess : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Splits a configured command line into argv the way the Windows command line
// is read:
// - blanks (space, tab, CR, LF) separate words;
// - double quotes group blanks into a word and are removed; they may start
//   and end inside a word (a"b c"d is one word: ab cd); "" on its own is an
//   empty word; a quote left open runs to the end of the line;
// - "" inside quotes is a literal quote ("say ""hi""" is: say "hi");
// - backslashes are ordinary characters, since configured paths use them
//   (C:\FIDO\ stays as written).
// No other character is special: no variables, no wildcards, no redirection.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
// One argument as a word SplitCommandLine gives back unchanged: in double
// quotes, a quote inside doubled. For a program's or a file's path put into
// a command line, which may hold blanks.
std::string QuoteCommandWord(std::string_view word);
// One word of a command line as SplitCommandLine reads it: where it stands
// in the line (begin to end, quotes included), its text with the quotes
// taken out, where each byte of the text stands, and whether it was quoted.
struct CommandLineWord {
  size_t begin = 0, end = 0;
  std::string text;
  std::vector<size_t> at;
  bool quoted = false;
};
std::vector<CommandLineWord> CommandLineWords(std::string_view line);

// "signal 9 (Killed)": a signal that ended a program, as a log line names it.
std::string SignalText(int signal);

class Process {
 public:
  // Starts the program (looked up in PATH when the name holds no "/") in the
  // working directory (the current one when empty). Raises EProcess when it
  // cannot be started.
  static pid_t Start(const std::vector<std::string>& argv, const std::string& workDir = {});
  // Starts the program with its standard input and output on pipes:
  // *toChild gets the end that writes its input, *fromChild the end that
  // reads its output (both close-on-exec, owned by the caller). With
  // ownGroup the child leads a process group of its own, so what it starts
  // can be ended with it (kill of -pid).
  static pid_t StartPiped(const std::vector<std::string>& argv, int* toChild, int* fromChild,
                          bool ownGroup = false);
  // Waits without spinning; returns the exit code, or 128 + the signal
  // (which *signal then names; it is 0 when the program exited). Raises
  // EProcess when pid is not a child still to be waited for.
  static int Wait(pid_t pid, int* signal = nullptr);
  // Start and Wait.
  static int Run(const std::vector<std::string>& argv, const std::string& workDir = {});
  // Run with the program's standard output and standard error gathered into
  // *output (the first maxOutput bytes; the rest is read and dropped), its
  // standard input empty (/dev/null), and the "NAME=value" entries of env
  // set in its environment on top of this process's.
  // The program runs in a process group of its own. The run ends when the
  // program ends: what is readable of its output then is taken, what it
  // left running in its group is killed, and a process that left the group
  // (a daemon) and holds the output open is not waited for. With a limit
  // above zero, a program that has not ended within it is ended: the whole
  // group is killed and *timedOut is set; the result is the program's own
  // (128 + SIGKILL when it was still running). A program ended by a signal
  // gives 128 + the signal, and *signal names it (0 when it exited).
  static int RunCaptured(const std::vector<std::string>& argv, const std::string& workDir,
                         std::string* output, const std::vector<std::string>& env = {},
                         size_t maxOutput = 65536,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(0),
                         bool* timedOut = nullptr, int* signal = nullptr);
  // SplitCommandLine, then Run; an empty line raises EProcess.
  static int Run(std::string_view commandLine, const std::string& workDir = {});
};

}  // namespace velmaris::platform

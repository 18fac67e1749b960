#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

using test::TempDir;
using Args = std::vector<std::string>;

TEST(Process, SplitCommandLine) {
  const struct {
    const char* line;
    Args argv;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"arj x -y a.arj", {"arj", "x", "-y", "a.arj"}},
      {"  lead  and   trail  ", {"lead", "and", "trail"}},
      {"\"C:\\Program Files\\pkzip.exe\" -ex %a", {"C:\\Program Files\\pkzip.exe", "-ex", "%a"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"x \"\" y", {"x", "", "y"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"a\"\"b", {"ab"}},
      {"\"unclosed rest", {"unclosed rest"}},
      {"c:\\fido\\bin\\ unpack.exe", {"c:\\fido\\bin\\", "unpack.exe"}},
      {"tab\tseparated\r\nlines", {"tab", "separated", "lines"}},
      {"\xe0\xa8 \"\xff x\"", {"\xe0\xa8", "\xff x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.argv) << c.line;
  // Quoted words come back as they were, whatever they hold.
  for (const char* word : {"", "plain", "/tmp/Мои проекты/сборка 1/velmaris-batch", "say \"hi\"",
                           "\"", "tab\tand\nline", "C:\\Program Files\\"}) {
    EXPECT_EQ(SplitCommandLine("x " + QuoteCommandWord(word) + " y"), (Args{"x", word, "y"}))
        << word;
  }
}

TEST(Process, ExitCodes) {
  const struct {
    Args argv;
    int code;
  } cases[] = {
      {{"true"}, 0},
      {{"false"}, 1},
      {{"sh", "-c", "exit 42"}, 42},
      {{"sh", "-c", "kill -TERM $$"}, 128 + 15},
      {{"sh", "-c", "kill -KILL $$"}, 128 + 9},
      {{"/bin/sh", "-c", "exit 255"}, 255},
  };
  for (const auto& c : cases) EXPECT_EQ(Process::Run(c.argv), c.code) << c.argv.back();
}

TEST(Process, ArgumentsArriveUnchangedWithoutAShell) {
  TempDir dir;
  const int rc = Process::Run(R"(sh -c "printf '%s|' ""$@"" > out" sh "a b" * $HOME "q""q" C:\x\)",
                              dir.Path());
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(dir.Read("out"), R"(a b|*|$HOME|q"q|C:\x\|)");
}

TEST(Process, WorkingDirectory) {
  TempDir dir;
  EXPECT_EQ(Process::Run(Args{"sh", "-c", "pwd > here"}, dir.Path()), 0);
  char real[4096];
  ASSERT_NE(realpath(dir.Path().c_str(), real), nullptr);
  EXPECT_EQ(dir.Read("here"), std::string(real) + "\n");
}

TEST(Process, CannotStart) {
  TempDir dir;
  dir.Write("noexec", "#!/bin/sh\n");
  const Args cases[] = {
      {},
      {""},
      {"velmaris-no-such-program-here"},
      {"/nonexistent/prog"},
      {dir / "noexec"},  // not executable
  };
  for (const auto& argv : cases) EXPECT_THROW(Process::Start(argv), EProcess);
  EXPECT_THROW(Process::Run(Args{"true"}, dir / "missing-dir"), EProcess);
  EXPECT_THROW(Process::Run(std::string_view("  ")), EProcess);
}

TEST(Process, CapturedOutput) {
  TempDir dir;
  const struct {
    const char* what;
    Args argv;
    std::vector<std::string> env;
    size_t max;
    int code;
    std::string output;
    std::chrono::milliseconds limit{0};  // none
    bool timedOut = false;
  } cases[] = {
      {"both streams in order",
       {"sh", "-c", "echo out; echo err >&2; echo out2; exit 3"},
       {},
       1000,
       3,
       "out\nerr\nout2\n"},
      {"standard input is empty", {"sh", "-c", "cat; echo end"}, {}, 1000, 0, "end\n"},
      {"an entry of env replaces the inherited one",
       {"sh", "-c", "echo \"$TMPDIR|$VELMARIS_X\""},
       {"TMPDIR=.", "VELMARIS_X=1"},
       1000,
       0,
       ".|1\n"},
      {"the rest past the limit is dropped",
       {"sh", "-c", "yes abc | head -c 300000"},
       {},
       8,
       0,
       "abc\nabc\n"},
      {"nothing said", {"true"}, {}, 1000, 0, ""},
      // A bound: what never ends is ended there (the program never ends,
      // so the bound's length does not matter), and it leaves no process.
      {"a program that does not end",
       {"sleep", "infinity"},
       {},
       1000,
       128 + SIGKILL,
       "",
       std::chrono::milliseconds(200),
       true},
      // Its end ends the run: what it left in its group is ended with it,
      // a daemon of its own session is not waited for.
      {"a program that leaves a child holding its output",
       {"sh", "-c", "sleep infinity & echo started"},
       {},
       1000,
       0,
       "started\n",
       std::chrono::minutes(10),
       false},
      {"a program that leaves a daemon holding its output",
       {"sh", "-c", "echo packed; setsid sh -c 'sleep 20; echo late' & exit 0"},
       {},
       1000,
       0,
       "packed\n",
       std::chrono::minutes(10),
       false},
      {"a program that ends within the bound",
       {"sh", "-c", "echo quick; exit 2"},
       {},
       1000,
       2,
       "quick\n",
       std::chrono::minutes(10),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    bool timedOut = false;
    EXPECT_EQ(Process::RunCaptured(c.argv, dir.Path(), &out, c.env, c.max, c.limit, &timedOut),
              c.code);
    EXPECT_EQ(out, c.output);
    EXPECT_EQ(timedOut, c.timedOut);
  }
  {
    // The child that held the output was ended with its program.
    std::string out;
    bool timedOut = false;
    Process::RunCaptured({"sh", "-c", "sleep infinity & echo $!"}, dir.Path(), &out, {}, 1000,
                         std::chrono::minutes(10), &timedOut);
    EXPECT_FALSE(timedOut);
    const std::string stat = "/proc/" + std::to_string(std::atoi(out.c_str())) + "/stat";
    const auto gone = [&] {
      std::ifstream in(stat);
      std::string text;
      if (!std::getline(in, text)) return true;
      return text.find(") Z ") != std::string::npos;  // a zombie: ended, not yet reaped
    };
    for (int i = 0; i < 1000 && !gone(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(gone()) << out;
  }
  // The environment of this process stays as it was.
  const char* tmp = ::getenv("TMPDIR");
  EXPECT_TRUE(tmp == nullptr || std::string(tmp) != ".");
  EXPECT_THROW(Process::RunCaptured(Args{"velmaris-no-such-program-here"}, {}, nullptr), EProcess);
}

TEST(Process, StartAndWaitSeparately) {
  const pid_t a = Process::Start({"sh", "-c", "sleep 0.05; exit 3"});
  const pid_t b = Process::Start({"sh", "-c", "exit 4"});
  EXPECT_EQ(Process::Wait(b), 4);
  EXPECT_EQ(Process::Wait(a), 3);
  EXPECT_THROW(Process::Wait(a), EProcess);  // already reaped
}

}  // namespace
}  // namespace velmaris::platform

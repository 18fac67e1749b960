// A temporary directory removed with everything in it at the end of a test.
#pragma once

#include <string>
#include <vector>

#include "platform/Process.h"

namespace velmaris::test {

class TempDir {
 public:
  // In the system's temporary folder (TMPDIR).
  TempDir();
  // In the given folder.
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }  // ends in '/'
  std::string operator/(const std::string& name) const { return path_ + name; }

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// A folder for what a user's runtime folder ($XDG_RUNTIME_DIR, a short
// /run/user/UID) holds: the plug-in sockets, whose paths a Unix socket limits
// to 108 bytes. It lies in /tmp, not in the long TMPDIR the tests run in;
// private to the user, removed at the end.
class RuntimeDir : public TempDir {
 public:
  RuntimeDir() : TempDir("/tmp") {}
};

// Runs a command through /bin/sh (tests only), returning its exit status and
// putting its stdout into *out when given.
int RunShell(const std::string& command, std::string* out = nullptr);

// One argument quoted for /bin/sh.
std::string ShellQuote(const std::string& arg);

// One word quoted for a configured command line (platform::SplitCommandLine),
// such as the fake modem's peer.
inline std::string CommandWord(const std::string& arg) { return platform::QuoteCommandWord(arg); }

// Runs velmaris-batch on a start directory and a registry file, each argument
// quoted; `redirect` says where standard error goes.
int RunBatch(const std::string& startDir, const std::string& registry,
             const std::vector<std::string>& args, std::string* out = nullptr,
             const std::string& redirect = "2>/dev/null");

}  // namespace velmaris::test

// The batch driver: runs the system's jobs without windows. Each command lives
// in a file of its own and registers itself with a static BatchCommand.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmaris::batch {

struct BatchContext {
  std::string startDir;           // ends in '/'
  std::string registryPath;       // the registry file
  std::vector<std::string> args;  // the command's own arguments
  std::ostream& out;
  std::ostream& err;
  // How long a command waits for the start directory held by another run.
  int lockWaitSeconds = 60;
};

// A command returns the process exit status; it may throw, which the driver
// reports on stderr with exit status 1.
using BatchCommandFn = std::function<int(BatchContext&)>;

// The command registered under the name, or null.
const BatchCommandFn* FindCommand(const std::string& name);
void PrintUsage(std::ostream& err);

struct BatchCommand {
  BatchCommand(std::string name, std::string usage, BatchCommandFn fn);
};

// Raised for wrong arguments; the driver prints the message and the usage.
struct EBatchUsage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Option parsing over ctx.args: "--name VALUE" pairs and positional words.
class BatchArgs {
 public:
  BatchArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions);
  const std::vector<std::string>& Positional() const { return positional_; }
  bool Has(const std::string& option) const;
  std::string Get(const std::string& option, const std::string& fallback = {}) const;
  // An option's value as stored text in the ANSI page (AnsiText).
  std::string GetText(const std::string& option) const { return AnsiText(Get(option)); }

  // A name or subject typed on the command line is the terminal's text: an
  // argument that is valid UTF-8 is read as UTF-8, as a text file is
  // (TextFileToAnsi); other bytes are taken in the ANSI page as they stand.
  static std::string AnsiText(const std::string& arg);

 private:
  std::vector<std::string> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
};

// One JSON object on one line. Byte strings are written with every byte as the
// code point of the same value (Latin-1), so nothing is lost.
class JsonLine {
 public:
  JsonLine& Str(std::string_view key, std::string_view bytes);
  // Text that is Unicode already (a file name on disk, which the
  // extractors write in UTF-8 after converting it from the archive's code
  // page) is written as its characters; mapping its bytes again would
  // encode it twice. Bytes that are not well-formed UTF-8 are written as
  // Str writes them.
  JsonLine& Utf8(std::string_view key, std::string_view text);
  JsonLine& Int(std::string_view key, int64_t value);
  JsonLine& UInt(std::string_view key, uint64_t value);
  JsonLine& Bool(std::string_view key, bool value);
  JsonLine& Raw(std::string_view key, std::string_view json);  // already encoded JSON
  std::string Text() const;                                    // "{...}" without a line end

  static std::string Quote(std::string_view bytes);

 private:
  void Key(std::string_view key);
  std::string body_;
};

}  // namespace velmaris::batch

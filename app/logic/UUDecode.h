// Decoding of uuencoded files out of message text.
//
// A file starts with a begin line: the word "begin", the mode as a
// hexadecimal number, the file name (a word, or a quoted one). Data lines
// follow: the first character gives the number of bytes n = code - 32
// (1 to 80), then groups of four characters carry three bytes, six bits
// each as (code - 32) and 63. A line starting with "`" ends the file.
// Only full lines (45 bytes) are written as they come; a shorter line is
// held and written only when the end line follows it directly, else it is
// logged as garbage. Empty lines are skipped. A new begin line ends the
// open file. A file that ends without its end line, loses a held line or
// holds a data line cut short is kept but logged as "Incomplete", never as
// "Done".
//
// Safety: the file name must be a bare name (the remote-name rule of the
// inbound: no separators, no drive, no "..", no control characters, and no
// dot at its start); files
// go only into the chosen folder, created anew and never through a link,
// and a name already taken there gets the next free one instead of
// replacing that file. A data line is decoded only from the characters it
// holds, so the output never exceeds what the input can carry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

// Where the decoded files go.
class TUUDecodeSink {
 public:
  enum class Opened { Created, Refused, Failed };
  virtual ~TUUDecodeSink() = default;
  virtual Opened Create(const std::string& name) = 0;
  virtual bool Write(std::string_view bytes) = 0;
  // Ends the file; keep false removes what was written of it.
  virtual bool Close(bool keep) = 0;
  // The name the file last created got, in the page of the text (ANSI), when
  // it differs from the one asked.
  virtual std::string SavedName() const { return {}; }
};

// The files in one folder (created when missing).
class TUUFolderSink : public TUUDecodeSink {
 public:
  explicit TUUFolderSink(std::string folder) : folder_(std::move(folder)) {}
  Opened Create(const std::string& name) override;
  bool Write(std::string_view bytes) override;
  bool Close(bool keep) override;
  // The name on disk into the text's page, when it is not the one asked.
  std::string SavedName() const override {
    return saved_ == asked_ ? std::string() : platform::LogName(saved_);
  }

 private:
  std::string folder_;
  std::string asked_;  // the name asked, on disk
  std::string saved_;
  std::string path_;
  platform::Fd fd_;
};

// The line has more than (4n + 2) / 3 characters and its characters 2 to
// (4n + 2) / 3 + 1 all lie between 33 and 96.
bool IsUUDataLine(std::string_view line, int n);
// A line of data characters only that ends before its length character's
// n bytes: the data line was cut short.
bool IsCutUUDataLine(std::string_view line, int n);
// A begin line: "begin", a hexadecimal mode, a file name.
bool ParseUUBeginLine(std::string_view line, uint32_t& mode, std::string& name);
// The n bytes of a data line (characters past its end count as zero bits).
std::string DecodeUULine(std::string_view line, int n);

struct TUUDecodeTotals {
  int Files = 0;       // files written whole
  int64_t Bytes = 0;   // bytes written into them
  int Incomplete = 0;  // files cut short: kept, but logged as incomplete
};

// Decodes every file of the lines into the sink. log receives the log lines
// ("Line 3: a.zip (644)", "  Garbage at line 9 skipped", "Done (120 Bytes)",
// "  No end line", "Incomplete (45 Bytes)"),
// progress the number of lines read so far.
TUUDecodeTotals UUDecodeLines(const std::vector<std::string>& lines, TUUDecodeSink& sink,
                              const std::function<void(const std::string&)>& log,
                              const std::function<void(int)>& progress = {});

}  // namespace velmaris

#include "app/logic/UUDecode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/TextHelpers.h"
#include "mailer/InboundFile.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris {

// --- Files in a folder ----------------------------------------------------------

TUUDecodeSink::Opened TUUFolderSink::Create(const std::string& name) {
  Close(true);
  // The name is message text (the ANSI page); on disk it is the file
  // system's bytes. A name beginning with a dot would be hidden (or a
  // configuration file of the folder's owner): refused like the other unsafe
  // names.
  asked_ = platform::PathFromStored(name);
  saved_.clear();
  const auto safe = SafeRemoteName(asked_);
  if (!safe || name.front() == '.') return Opened::Refused;
  if (folder_.empty()) return Opened::Failed;
  try {
    if (!platform::DirExists(folder_)) platform::MakeDirs(folder_);
  } catch (const std::exception&) {
    return Opened::Failed;
  }
  // A name taken meanwhile (or a link planted under it) is never opened:
  // the next free name is tried instead.
  for (int attempt = 0; attempt < 8; ++attempt) {
    saved_ = NextFreeName(folder_, *safe);
    path_ = platform::JoinPath(folder_, saved_);
    fd_ = platform::Fd(
        ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd_.ok()) return Opened::Created;
    if (errno != EEXIST) break;
  }
  path_.clear();
  return Opened::Failed;
}

bool TUUFolderSink::Write(std::string_view bytes) {
  return fd_.ok() && platform::WriteAll(fd_.get(), bytes);
}

bool TUUFolderSink::Close(bool keep) {
  if (!fd_.ok()) return false;
  const bool closed = fd_.Close();
  if (!keep || !closed) ::unlink(path_.c_str());
  path_.clear();
  return keep && closed;
}

// --- Lines ---------------------------------------------------------------------

namespace {

constexpr int kFullLine = 45;
constexpr int kMaxLineBytes = 80;

int GroupChars(int n) { return (4 * n + 2) / 3; }

int LineBytes(std::string_view line) { return static_cast<uint8_t>(line[0]) - 32; }

bool IsHexWord(std::string_view word) {
  if (word.empty() || word.size() > 8) return false;
  for (char c : word)
    if (platform::HexDigitValue(c) < 0) return false;
  return true;
}

std::string HexMode(uint32_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%03X", mode);
  return text;
}

}  // namespace

bool IsUUDataLine(std::string_view line, int n) {
  const int k = GroupChars(n);
  if (static_cast<int>(line.size()) <= k) return false;
  for (int i = 1; i <= k; ++i) {
    const auto c = static_cast<uint8_t>(line[static_cast<size_t>(i)]);
    if (c < 33 || c > 96) return false;
  }
  return true;
}

bool IsCutUUDataLine(std::string_view line, int n) {
  const int k = GroupChars(n);
  if (static_cast<int>(line.size()) > k) return false;
  for (size_t i = 1; i < line.size(); ++i) {
    const auto c = static_cast<uint8_t>(line[i]);
    if (c < 33 || c > 96) return false;
  }
  return true;
}

bool ParseUUBeginLine(std::string_view line, uint32_t& mode, std::string& name) {
  std::string rest(line), word;
  CutFirstWordOrQuoted(rest, word);
  if (word != "begin") return false;
  CutFirstWordOrQuoted(rest, word);
  if (!IsHexWord(word)) return false;
  mode = HexStrToInt(word);
  CutFirstWordOrQuoted(rest, name);
  return !name.empty();
}

std::string DecodeUULine(std::string_view line, int n) {
  std::string out;
  out.reserve(static_cast<size_t>(n) + 2);
  auto sixBits = [&line](size_t at) -> uint8_t {
    return at < line.size() ? static_cast<uint8_t>((static_cast<uint8_t>(line[at]) - 32) & 63) : 0;
  };
  for (size_t at = 1; static_cast<int>(out.size()) < n; at += 4) {
    const uint8_t c1 = sixBits(at), c2 = sixBits(at + 1), c3 = sixBits(at + 2),
                  c4 = sixBits(at + 3);
    out += static_cast<char>(static_cast<uint8_t>(c1 << 2 | c2 >> 4));
    out += static_cast<char>(static_cast<uint8_t>(c2 << 4 | c3 >> 2));
    out += static_cast<char>(static_cast<uint8_t>(c3 << 6 | c4));
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

// --- Decoding --------------------------------------------------------------------

TUUDecodeTotals UUDecodeLines(const std::vector<std::string>& lines, TUUDecodeSink& sink,
                              const std::function<void(const std::string&)>& log,
                              const std::function<void(int)>& progress) {
  TUUDecodeTotals totals;
  size_t L = 0;         // lines read, so the number of the line last read
  size_t reported = 0;  // a begin line read again is not reported again
  auto next = [&]() -> const std::string& {
    const std::string& line = lines[L++];
    if (progress && L > reported) progress(static_cast<int>(reported = L));
    return line;
  };
  auto garbage = [&] { log("  Garbage at line " + std::to_string(L) + " skipped"); };

  while (L < lines.size()) {
    uint32_t mode = 0;
    std::string name;
    if (!ParseUUBeginLine(next(), mode, name)) continue;
    log("Line " + std::to_string(L) + ": " + name + " (" + HexMode(mode) + ")");
    const TUUDecodeSink::Opened opened = sink.Create(name);
    if (opened != TUUDecodeSink::Opened::Created) {
      log(opened == TUUDecodeSink::Opened::Refused ? "ERROR: Unsafe file name refused"
                                                   : "ERROR: Could not create file");
      continue;
    }
    const std::string saved = sink.SavedName();
    if (!saved.empty() && saved != name) log("  Saved as " + saved);
    bool written = true;
    int64_t bytes = 0;
    auto put = [&](const std::string& data) {
      if (written && !sink.Write(data)) written = false;
      bytes += static_cast<int64_t>(data.size());
    };
    std::string pending;
    bool hasPending = false;
    bool ended = false;    // the end line was read
    bool complete = true;  // no data line was lost or cut short
    while (L < lines.size()) {
      const std::string& line = next();
      if (line.empty()) continue;
      if (line[0] == '`') {
        if (hasPending) put(pending);
        hasPending = false;
        ended = true;
        break;
      }
      uint32_t nextMode = 0;
      std::string nextName;
      if (ParseUUBeginLine(line, nextMode, nextName)) {
        // The next file begins: this one ends here, without its end line,
        // and the begin line is read again by the outer loop.
        --L;
        break;
      }
      if (hasPending) {
        hasPending = false;
        complete = false;
        garbage();
      }
      const int n = LineBytes(line);
      if (n < 1 || n > kMaxLineBytes || !IsUUDataLine(line, n)) {
        if (n >= 1 && n <= kMaxLineBytes && IsCutUUDataLine(line, n)) {
          complete = false;
          log("  Line " + std::to_string(L) + " is shorter than its length");
        } else {
          garbage();
        }
        continue;
      }
      std::string data = DecodeUULine(line, n);
      if (n == kFullLine) {
        put(data);
      } else {
        pending = std::move(data);
        hasPending = true;
      }
    }
    if (!ended) {
      complete = false;
      log("  No end line");
    }
    if (!sink.Close(written) || !written) {
      log("ERROR: Could not write file");
    } else if (!complete) {
      ++totals.Incomplete;
      log("Incomplete (" + std::to_string(bytes) + " Bytes)");
    } else {
      ++totals.Files;
      totals.Bytes += bytes;
      log("Done (" + std::to_string(bytes) + " Bytes)");
    }
  }
  return totals;
}

}  // namespace velmaris

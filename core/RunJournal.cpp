#include "core/RunJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/Area.h"
#include "core/ByteOrder.h"
#include "core/MessageBase.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

constexpr const char* kAbsent = "-";

int64_t FileSizeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string Number(int64_t v) { return v < 0 ? std::string(kAbsent) : std::to_string(v); }

bool ParseNumber(const std::string& text, int64_t& v) {
  if (text == kAbsent) {
    v = -1;
    return true;
  }
  if (text.empty() || text.size() > 18) return false;
  v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

// The record count in the head of an index file, -1 when there is none.
int64_t IndexCountOf(const std::string& path) {
  platform::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return -1;
  uint8_t head[kIndexHeadSize];
  if (::pread(fd.get(), head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return 0;
  return GetLE32(head + 4);
}

bool RemoveIfThere(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

// Renames from to to, or to a numbered name beside it when to is taken.
bool MoveAside(const std::string& from, const std::string& to) {
  if (!platform::FileExists(from)) return true;
  for (int n = 0; n < 1000; ++n) {
    const std::string target = n == 0 ? to : to + "." + std::to_string(n);
    try {
      if (platform::RenameNoReplace(from, target)) return true;
    } catch (const platform::EFile&) {
      return false;
    }
  }
  return false;
}

std::atomic<TRunStepHook> stepHook{nullptr};

}  // namespace

void SetRunStepHook(TRunStepHook hook) { stepHook.store(hook); }

void RunStep() {
  if (const TRunStepHook hook = stepHook.load()) hook();
}

// --- The file ------------------------------------------------------------------------

bool TRunJournal::Exists() const { return platform::FileExists(path_); }

std::string TRunJournal::EncodeField(const std::string& field) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  if (field.empty()) return "%";  // an empty field stays a field
  for (unsigned char c : field) {
    if (c <= 0x20 || c == 0x7F || c == '%') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string TRunJournal::DecodeField(const std::string& field) {
  if (field == "%") return {};
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '%' && i + 2 < field.size() && digit(field[i + 1]) >= 0 &&
        digit(field[i + 2]) >= 0) {
      out += static_cast<char>(digit(field[i + 1]) * 16 + digit(field[i + 2]));
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

void TRunJournal::Append(const std::vector<Record>& records) {
  std::string text;
  for (const Record& record : records) {
    for (size_t i = 0; i < record.size(); ++i) text += (i ? " " : "") + EncodeField(record[i]);
    text += '\n';
  }
  platform::Fd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd.ok() || !platform::WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.Close()) {
    const int error = errno;
    // Made as a log line is (the ANSI page): the run logs it as it stands.
    throw platform::EFile("cannot write the run journal " + platform::LogName(path_) + ": " +
                          std::strerror(error));
  }
  if (!started_) {
    platform::FsyncPath(platform::DirOf(path_).empty() ? "." : platform::DirOf(path_));
    started_ = true;
  }
}

std::vector<TRunJournal::Record> TRunJournal::Read() const {
  std::vector<Record> records;
  std::string text;
  try {
    text = platform::ReadFile(path_);
  } catch (const platform::EFile&) {
    return records;
  }
  size_t pos = 0;
  for (size_t end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1) {
    Record record;
    const std::string line = text.substr(pos, end - pos);
    size_t at = 0;
    while (at < line.size()) {
      size_t blank = line.find(' ', at);
      if (blank == std::string::npos) blank = line.size();
      record.push_back(DecodeField(line.substr(at, blank - at)));
      at = blank + 1;
    }
    if (!record.empty()) records.push_back(std::move(record));
  }
  return records;
}

void TRunJournal::Remove() {
  RemoveIfThere(path_);
  try {
    platform::FsyncPath(platform::DirOf(path_).empty() ? "." : platform::DirOf(path_));
  } catch (const platform::EFile&) {
    // The journal is gone from this process's view; a recovery repeats safely.
  }
  started_ = false;
}

// --- Areas ----------------------------------------------------------------------------

TRunJournal::Record AreaJournalRecord(const TArea& area) {
  return {"area", area.BaseDir, area.FileName, Number(FileSizeOf(area.FilePath(kPackedBodyExt))),
          Number(IndexCountOf(area.FilePath(kPackedIndexExt)))};
}

bool RollBackArea(const TRunJournal::Record& record) {
  int64_t bodySize = 0, indexCount = 0;
  if (record.size() != 5 || record[2].empty() || !ParseNumber(record[3], bodySize) ||
      !ParseNumber(record[4], indexCount))
    return false;
  const auto journalArea = TArea::OnRecordedFiles(record[1], record[2]);
  TArea& area = *journalArea;
  const std::string body = area.FilePath(kPackedBodyExt);
  const std::string index = area.FilePath(kPackedIndexExt);
  bool ok = true;
  if (bodySize < 0) {
    ok = RemoveIfThere(body) && ok;
  } else if (FileSizeOf(body) > bodySize) {
    ok = ::truncate(body.c_str(), bodySize) == 0 && ok;
  }
  if (indexCount < 0) {
    ok = RemoveIfThere(index) && ok;
    ok = RemoveIfThere(area.FilePath(kTempIndexExt)) && ok;
  } else if (IndexCountOf(index) != indexCount) {
    std::vector<TMsgHeader> headers;
    if (!area.Base().ReadIndex(headers) || headers.size() < static_cast<size_t>(indexCount))
      ok = false;
    else
      ok = area.Base().WriteIndex(headers, static_cast<size_t>(indexCount)) && ok;
  }
  return ok;
}

// --- Recovery ------------------------------------------------------------------------

bool RecoverImportJournal(const std::string& journalPath, std::vector<std::string>* log) {
  TRunJournal journal(journalPath);
  if (!journal.Exists()) return true;
  const auto records = journal.Read();
  bool committed = false;
  for (const auto& r : records)
    if (r[0] == "commit") committed = true;
  auto tell = [&](const std::string& line) {
    if (log) log->push_back(line);
  };
  bool ok = true;
  for (const auto& r : records) {
    if (committed) {
      if (r[0] == "move" && r.size() == 3) {
        ok = MoveAside(r[1], r[2]) && ok;
        RunStep();
      } else if (r[0] == "replace" && r.size() == 3 && platform::FileExists(r[1])) {
        try {
          platform::ReplaceFile(r[1], r[2]);
        } catch (const platform::EFile&) {
          ok = false;
        }
        RunStep();
      }
    } else if (r[0] == "area") {
      if (!RollBackArea(r)) {
        ok = false;
        tell("The area files " + (r.size() > 2 ? r[1] + r[2] : std::string()) +
             " could not be put back as they were before the interrupted import.");
      }
    } else if ((r[0] == "created" || r[0] == "replace") && r.size() >= 2) {
      ok = RemoveIfThere(r[1]) && ok;
    }
  }
  if (!ok) return false;
  tell(committed ? "The interrupted import has been finished."
                 : "The interrupted import has been undone; its packets are tossed again.");
  journal.Remove();
  RunStep();
  return true;
}

}  // namespace velmaris

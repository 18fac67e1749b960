// Nodediff application: turns the newest list into next week's list with
// the diff for that week, checks the result against the CRC in its first
// line and rotates the files; repeats for as many weeks as diffs are there.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "nodelist/NodeListProcessor.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// A file name in a log line: the log is made in the ANSI page.
std::string Quoted(const std::string& s) { return "\"" + platform::LogName(s) + "\""; }

std::string_view FirstLine(std::string_view buffer) {
  std::string_view line = buffer.substr(0, buffer.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

}  // namespace

bool ApplyDiffText(std::string_view list, std::string_view diff, std::string& out) {
  if (list.empty() || diff.empty()) return false;
  // Both buffers end in the end-of-file byte, which belongs to no line.
  const auto listLines = SplitRawLines(list.substr(0, list.size() - 1));
  const auto diffLines = SplitRawLines(diff.substr(0, diff.size() - 1));
  size_t li = 0;  // the list is read from its first line
  size_t di = 1;  // the diff's commands follow its first line
  while (di < diffLines.size()) {
    const std::string_view raw = diffLines[di++];
    const std::string_view command = WithoutLineEnd(raw);
    if (command == "\x1A") continue;
    if (command.empty()) return false;
    const auto count = ParseDecimal(command.substr(1));
    if (!count || *count < 0) return false;
    const auto n = static_cast<size_t>(*count);
    switch (command[0]) {
      case 'A':
        if (n > diffLines.size() - di) return false;
        for (size_t k = 0; k < n; ++k) out.append(diffLines[di++]);
        break;
      case 'C':
        if (n > listLines.size() - li) return false;
        for (size_t k = 0; k < n; ++k) out.append(listLines[li++]);
        break;
      case 'D':
        if (n > listLines.size() - li) return false;
        li += n;
        break;
      default: break;
    }
  }
  out.push_back('\x1A');
  return true;
}

namespace {

bool WriteNew(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0;
}

}  // namespace

int TNodeListProcessor::ApplyDiffs() {
  DoLog("Start Diff");
  int folded = drNothing;
  auto fold = [&folded](int r) {
    switch (r) {
      case drApplied:
        folded = (folded == drApplied || folded == drNothing) ? drApplied : drPartly;
        break;
      case drFailed:
        folded = (folded == drFailed || folded == drNothing) ? drFailed : drPartly;
        break;
      case drPartly: folded = drPartly; break;
      default: break;
    }
  };
  for (const auto& info : NodeLists) fold(ApplyDiff(info.List, info.Diff));
  for (const auto& info : PointLists) fold(ApplyDiff(info.List, info.Diff));
  DoLog("Diff finished");
  return folded;
}

int TNodeListProcessor::ApplyDiff(const std::string& list, const std::string& diff) {
  const int first = ApplyDiffStep(list, diff);
  if (first != drApplied) return first;
  // Diffs of the following weeks, each deleted once applied.
  for (;;) {
    const int r = ApplyDiffStep(list, diff);
    if (r == drFailed) return drPartly;
    if (r != drApplied) return drApplied;
  }
}

int TNodeListProcessor::ApplyDiffStep(const std::string& list, const std::string& diff) {
  std::string base;
  const int ext = FindNewestList(list, &base);
  if (ext <= 0) return drNothing;
  const int next = NextDiffDay(ext, Year());
  const auto listFile = platform::FindNoCase(ListDir, base + "." + DayNumberExt(ext));
  const auto diffFile = platform::FindNoCase(ListDir, diff + "." + DayNumberExt(next));
  if (!listFile || !diffFile) return drNothing;

  const std::string listPath = ListDir + *listFile;
  const std::string diffPath = ListDir + *diffFile;
  const std::string newPath = ListDir + base + ".New";
  const std::string oldPath = ListDir + base + ".Old";
  const std::string nextName = base + "." + DayNumberExt(next);
  const std::string nextPath = ListDir + nextName;

  const auto listText = LoadTextFile(listPath);
  if (!listText) {
    DoLog("Could not read list " + Quoted(listPath) + " !");
    return drFailed;
  }
  if (!CheckListCrc(*listText)) {
    DoLog("CRC Error in " + Quoted(listPath) + "!");
    return drFailed;
  }
  const auto diffText = LoadTextFile(diffPath);
  if (!diffText) {
    DoLog("Could not read Diff file " + Quoted(diffPath) + " !");
    return drFailed;
  }
  if (FirstLine(*listText) != FirstLine(*diffText)) {
    DoLog("Diffile " + Quoted(diffPath) + " does not match for list " + Quoted(listPath) + " !");
    return drFailed;
  }

  // From here a failed step leaves no new list behind.
  const auto failed = [&newPath] {
    std::remove(newPath.c_str());
    return drFailed;
  };
  platform::Fd fd(::open(newPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd.ok()) {
    DoLog("Could not write to output file " + Quoted(newPath) + " " + "(Create) !");
    return failed();
  }
  std::string out;
  const bool built = ApplyDiffText(*listText, *diffText, out);
  const bool written = built && WriteNew(fd.get(), out);
  const bool closed = fd.Close();
  if (!built) {
    DoLog("Structure error in file " + Quoted(diffPath) + " !");
    return failed();
  }
  if (!written || !closed) {
    DoLog("Could not write to output file " + Quoted(newPath) + " !");
    return failed();
  }

  const auto newText = LoadTextFile(newPath);
  if (!newText) {
    DoLog("File " + Quoted(newPath) + " could not be" + " verified!");
    return failed();
  }
  if (!CheckListCrc(*newText)) {
    DoLog("New " + Quoted(nextName) + " would have a CRC-" + "Error!");
    return failed();
  }

  std::remove(oldPath.c_str());
  if (std::rename(listPath.c_str(), oldPath.c_str()) != 0) {
    DoLog("File " + Quoted(listPath) + " could not be renamed to " + Quoted(oldPath) + " !");
    return failed();
  }
  if (std::rename(newPath.c_str(), nextPath.c_str()) != 0) {
    DoLog("File " + Quoted(newPath) + " could not be renamed to " + Quoted(nextPath) + " !");
    // The old list goes back, so that a numbered list remains.
    std::rename(oldPath.c_str(), listPath.c_str());
    return failed();
  }

  std::remove(diffPath.c_str());
  DoLog(Quoted(*listFile) + " + " + Quoted(*diffFile) + " = " + Quoted(nextName));
  return drApplied;
}

}  // namespace velmaris

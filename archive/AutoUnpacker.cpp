#include "archive/AutoUnpacker.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "archive/Unpacker.h"
#include "core/DateTimeUtil.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

const char* const kDisabledTail =
    "Automatic Unpacking has been disabled to help you fix the problem.";

// A path in a box's line (UTF-8), in quotes.
std::string Quoted(const std::string& path) {
  return "\"" + platform::LineText(path, platform::LinePage::Utf8) + "\"";
}

// The directory of a mask as a full path ending in "/"; the current
// directory when the mask has none.
std::string FullDirectoryOf(const std::string& mask) {
  const std::string dir = platform::DirOf(mask);
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(dir.empty() ? "." : dir, ec);
  if (ec) return dir;
  return platform::WithSlash(full.lexically_normal().string());
}

// The worker runs below normal priority, so the windows stay responsive.
void LowerThreadPriority() {
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, tid);
  if (errno == 0) ::setpriority(PRIO_PROCESS, tid, current + 1);
}

bool DefaultReportWanted() {
  try {
    return GetSettings().Snapshot()->UnpackReport();
  } catch (const ESettings&) {
    return true;
  }
}

// Copies from to a temporary file in dir, then puts it in place of target.
void CopyInto(const std::string& from, const std::string& dir, const std::string& target) {
  std::string temp = platform::WithSlash(dir) + ".unpack-move-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw platform::EFile(std::strerror(errno));
  ::close(fd);
  try {
    std::filesystem::copy_file(from, temp, std::filesystem::copy_options::overwrite_existing);
    platform::ReplaceFile(temp, target);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace

std::string StampUnpackLogLine(std::time_t when, const std::string& text) {
  return TJob::StampedLine(when, "\t", text);
}

// ---------------------------------------------------------------------------

TAutoUnpacker::TAutoUnpacker(const TUnpJobList& jobs, const TPckList& packers,
                             TAutoUnpackHooks hooks, std::chrono::milliseconds timerInterval)
    : jobs_(jobs),
      packers_(packers),
      hooks_(std::move(hooks)),
      interval_(timerInterval),
      dispatcher_(platform::GetDispatcher()) {}

TAutoUnpacker::~TAutoUnpacker() {
  SetTimerOn(false);
  RequestStop();
  Wait();
}

bool TAutoUnpacker::StartUnpack() {
  if (Busy()) return false;
  return Launch([this] {
    {
      std::lock_guard lock(mutex_);
      log_.clear();
    }
    if (hooks_.OnLogCleared) hooks_.OnLogCleared();
  });
}

void TAutoUnpacker::RunJob() {
  LowerThreadPriority();
  TUnpackThread(*this).Execute();
}

// Execute reports its own failures; this is what escaped it.
void TAutoUnpacker::Failed(const std::string& what) {
  LogProblem("The automatic unpacking stopped: " + what);
}

void TAutoUnpacker::TimerTimer() {
  if (hooks_.MailerSessionActive && hooks_.MailerSessionActive()) return;
  StartUnpack();
}

void TAutoUnpacker::SetTimerOn(bool on) {
  if (on && timer_ == 0) {
    timer_ = dispatcher_.StartTimer(interval_, [this] { TimerTimer(); });
  } else if (!on && timer_ != 0) {
    dispatcher_.StopTimer(timer_);
    timer_ = 0;
  }
}

void TAutoUnpacker::Wait() { Join(); }

std::vector<std::string> TAutoUnpacker::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::string TAutoUnpacker::Status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void TAutoUnpacker::AddLogLine(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
  }
  if (hooks_.OnLog) hooks_.OnLog(line);
}

void TAutoUnpacker::SetStatus(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    status_ = text;
  }
  if (hooks_.OnStatus) hooks_.OnStatus(text);
}

void TAutoUnpacker::SwitchOff() {
  SetTimerOn(false);
  SetStatus(kUnpackAbortedStatus);
  if (hooks_.AutoUnpackDisabled) hooks_.AutoUnpackDisabled();
}

// ---------------------------------------------------------------------------

void TUnpackThread::Sync(const std::function<void()>& work) { owner_.dispatcher_.Send(work); }

void TUnpackThread::Log(const std::string& text) {
  const std::time_t now = owner_.hooks_.Now ? owner_.hooks_.Now() : std::time(nullptr);
  const std::string line = StampUnpackLogLine(now, text);
  lines_.push_back(line);
  Sync([&] { owner_.AddLogLine(line); });
}

void TUnpackThread::Status(const std::string& text) {
  Sync([&] { owner_.SetStatus(text); });
}

void TUnpackThread::ShowError(const std::string& text) {
  Sync([&] { platform::GetPrompter().Ask(platform::MsgKind::Error, text, platform::mbOk); });
}

void TUnpackThread::Execute() {
  Log("//Starting Unpack Job//");
  TUnpJobList jobs;
  Sync([&] { jobs.AssignCopies(owner_.jobs_); });

  bool foundFiles = false;
  for (int i = 0; i < jobs.GetCount() && !owner_.StopRequested(); ++i) {
    const std::string name = jobs.GetString(i);
    Log("*" + name + "*");
    bool goOn = false;
    try {
      goOn = RunJob(name, *jobs.GetJob(i), foundFiles);
    } catch (const std::exception& e) {
      Log("//*Error:*// " + std::string(e.what()));
      ShowError("The Job " + platform::AnsiToUtf8(name) + " failed: " + e.what() + " " + kDisabledTail);
      Sync([&] { owner_.SwitchOff(); });
    }
    // After a failure automatic unpacking is off: no further job runs.
    if (!goOn) break;
  }
  Log("//Unpack Job completed//");

  if (!foundFiles || owner_.StopRequested()) return;
  try {
    Sync([&] {
      const auto& hooks = owner_.hooks_;
      const bool wanted = hooks.ReportWanted ? hooks.ReportWanted() : DefaultReportWanted();
      if (wanted && hooks.PostReport)
        hooks.PostReport(kUnpackReportFrom, kUnpackReportTo, kUnpackReportSubject,
                         kUnpackReportOrigin, lines_);
    });
  } catch (const std::exception& e) {
    // The report is lost; the window's log keeps the run and says so.
    Log("//*Error:*// " + std::string(e.what()));
  }
}

bool TUnpackThread::RunJob(const std::string& name, const TUnpackJob& job, bool& foundFiles) {
  const std::string dir = FullDirectoryOf(job.Mask);
  const std::string pattern = platform::NameOf(job.Mask);
  std::vector<platform::DirEntry> files;
  if (!pattern.empty()) files = platform::ScanDir(dir, pattern, true, false);
  if (files.empty()) {
    Log("No files to unpack");
    return true;
  }
  foundFiles = true;

  for (const platform::DirEntry& entry : files) {
    if (owner_.StopRequested()) return true;
    const std::string path = dir + entry.name;
    // The log and the status are ANSI text: the names on disk go into the
    // ANSI page where the lines are made (the boxes take UTF-8).
    const std::string fileName = platform::LogName(entry.name);
    const std::string pathText = platform::LogName(path);
    // Taken away since the scan (by the tosser, for instance): nothing to do.
    if (!platform::FileExists(path)) continue;

    // The packer is looked up and copied on the main thread, which alone
    // changes the packer list.
    TPacker packer;
    bool found = false;
    Sync([&] {
      if (const TPacker* p = owner_.packers_.FindPackerForFile(path)) {
        packer = *p;
        found = true;
      }
    });
    if (!found) {
      Log("//*Error:*// No  unpack command for " + pathText);
      ShowError("The Job " + platform::AnsiToUtf8(name) + " has no unpack command! " + "Automatic unpacking has " +
                "been disabled to help  " + "you fix the problem " + ".");
      Sync([&] { owner_.SwitchOff(); });
      return false;
    }

    const std::string command = "(" + platform::LogName(packer.GetUnPack()) + ")";
    Status("Decompressing " + fileName + command);
    bool unpacked = false;
    TUnpackNotes notes;
    try {
      unpacked = packer.Unpack(path, job.DestDir, false, &notes);
    } catch (const std::exception& e) {
      Log("//*Error:*// " + fileName + ": " + platform::LogName(e.what()));
    }
    // Why it failed, and the entries written under another name than they
    // came under (a cut name, a numbered one).
    for (const std::string& line : notes.Errors) Log("//*Error:*// " + line);
    for (const std::string& line : notes.Notes) Log(fileName + ": " + line);
    if (!unpacked) {
      Log("//*Error:*// Could " + fileName + " !");
      ShowError("The file " + Quoted(path) + " could not be unpacked automatically.  " +
                "Autmatic " + "Unpacking has been " + "disabled to help you " + "fix the problem.");
      Sync([&] { owner_.SwitchOff(); });
      return false;
    }
    Status("Finishing  " + fileName + command);
    Log(fileName + " unpacked to " + platform::LogName(job.DestDir));

    if (job.Source == TUnpackJob::usDelete) {
      if (::unlink(path.c_str()) != 0) {
        Log("//*Error*//: " + fileName + " could not be " + "deleted");
        ShowError("The file " + Quoted(path) + " could not be  " + "deleted. Automatic " +
                  "Unpacking has been " + "disabled to help you " + "fix the problem.");
        Sync([&] { owner_.SwitchOff(); });
        return false;
      }
      Log(fileName + " has been deleted");
    } else if (job.Source == TUnpackJob::usMove) {
      std::string why;
      if (!MoveArchive(path, entry.name, job.MoveDir, why)) {
        Log("//*Error*//: " + fileName + " could not be" + " moved");
        Log(fileName + " stays in " + platform::LogName(dir) + " (" + platform::LogName(why) + ")");
        ShowError("The file " + Quoted(path) + " could not be moved to " + Quoted(job.MoveDir) +
                  ": " + platform::LineText(why, platform::LinePage::Utf8) + ". " + kDisabledTail);
        Sync([&] { owner_.SwitchOff(); });
        return false;
      }
      Log(fileName + " has been moved ");
    }
    Status("");
  }
  return true;
}

bool TUnpackThread::MoveArchive(const std::string& path, const std::string& fileName,
                                const std::string& moveDir, std::string& why) {
  if (moveDir.empty()) {
    why = "no directory to move to is set";
    return false;
  }
  if (!platform::DirExists(moveDir)) {
    why = "the directory does not exist";
    return false;
  }
  const std::string target = platform::WithSlash(moveDir) + fileName;
  struct stat from {
  }, to{};
  if (::stat(path.c_str(), &from) != 0) {
    why = std::strerror(errno);
    return false;
  }
  // Moving a file onto itself would end in deleting it.
  if (::stat(target.c_str(), &to) == 0 && from.st_dev == to.st_dev && from.st_ino == to.st_ino) {
    why = "it is in that directory already";
    return false;
  }
  if (::rename(path.c_str(), target.c_str()) == 0) {
    try {
      platform::FsyncPath(platform::WithSlash(moveDir));
    } catch (const platform::EFile&) {
    }
    return true;
  }
  if (errno != EXDEV) {
    why = std::strerror(errno);
    return false;
  }
  // Another file system: copy, then remove the original.
  try {
    CopyInto(path, moveDir, target);
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
  if (::unlink(path.c_str()) != 0) {
    why = std::string("copied, but the original could not be removed: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace velmaris

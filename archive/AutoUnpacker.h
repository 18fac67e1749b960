// The automatic unpacker: runs every configured unpack job on a worker
// thread, when its timer fires (every 17 seconds while automatic unpacking
// runs by the timer and no mailer session is active) or when the main
// window's command asks for it. It keeps a status line and a time-stamped
// log, posts the log as a report message when the settings ask for it, and
// switches automatic unpacking off after any failure, until the user turns
// it on again. The window around it shows the status and the log; this part
// holds everything else.
//
// Threads: TAutoUnpacker lives on the main thread and is used only there.
// The run works on its own copy of the jobs; the packer lookup, every status
// and log update, the message boxes and the report are handed to the main
// thread through the Dispatcher. Extracting runs on the worker; the packers
// serialise extractions process-wide (ExtractionLock), so a run never
// extracts while the tosser or a command does.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/Packer.h"
#include "archive/UnpackJob.h"
#include "core/Job.h"
#include "platform/Dispatcher.h"

namespace velmaris {

inline constexpr const char* kUnpackReportFrom = "Automatic Unpacker";
inline constexpr const char* kUnpackReportTo = "Sysop";
inline constexpr const char* kUnpackReportSubject = "Unpack Log";
inline constexpr const char* kUnpackReportOrigin = "The Velmaris 95 Automatic Unpacker";
inline constexpr const char* kUnpackAbortedStatus = "Aborted !!!!";
inline constexpr std::chrono::milliseconds kUnpackTimerInterval{17000};

// What the automatic unpacker needs from the rest of the program. Every
// hook is optional and, but for Now, is called on the main thread while the
// run waits for it: a hook must not wait for the run (Wait, destroying the
// unpacker).
struct TAutoUnpackHooks {
  // The status line changed ("" clears it).
  std::function<void(const std::string& text)> OnStatus;
  // A time-stamped line was added to the log.
  std::function<void(const std::string& line)> OnLog;
  // A run starts: the log was emptied.
  std::function<void()> OnLogCleared;
  // Posts the log of a run that found files, when ReportWanted says so, as
  // a report message into the REPORT area: from, to, subject, origin and
  // the text lines (the shape of WriteReportMessage).
  std::function<void(const std::string& from, const std::string& to, const std::string& subject,
                     const std::string& origin, const std::vector<std::string>& lines)>
      PostReport;
  // A failure switched automatic unpacking off (the timer is stopped
  // already): the main window clears the check mark of its menu item.
  std::function<void()> AutoUnpackDisabled;
  // The timer starts nothing while this says a mailer session is active.
  std::function<bool()> MailerSessionActive;
  // The "post the unpack log" setting; unset: the process-wide settings
  // (on when there are none).
  std::function<bool()> ReportWanted;
  // The clock of the time stamps (called on the worker); the current time
  // unless set.
  std::function<std::time_t()> Now;
};

// "dd.mm.yy hh:mm:ss" + tab + text, in local time.
std::string StampUnpackLogLine(std::time_t when, const std::string& text);

class TAutoUnpacker : public TJob {
 public:
  // jobs and packers are the configured lists; they are read on the main
  // thread only and must outlive this object. The timer starts off.
  TAutoUnpacker(const TUnpJobList& jobs, const TPckList& packers, TAutoUnpackHooks hooks,
                std::chrono::milliseconds timerInterval = kUnpackTimerInterval);
  // Stops the timer, lets a running run stop after its current archive and
  // waits for it (processing the main thread's messages meanwhile).
  ~TAutoUnpacker() override;
  TAutoUnpacker(const TAutoUnpacker&) = delete;
  TAutoUnpacker& operator=(const TAutoUnpacker&) = delete;

  // The command: unless a run is going on, empties the log and starts a run
  // of all jobs on a worker thread. False when a run was going on.
  bool StartUnpack();
  // One timer tick: StartUnpack unless a mailer session is active.
  void TimerTimer();

  // Switches the timer on or off (the menu command and the unpack setting).
  void SetTimerOn(bool on);
  // The unpack setting: 0 runs the jobs by the timer, 1 only by command.
  void ApplyUnpackOn(int32_t unpackOn) { SetTimerOn(unpackOn == 0); }
  bool TimerOn() const { return timer_ != 0; }

  bool Busy() const { return !Idle(); }
  // Waits for a running run to end (processing messages on the main thread).
  void Wait();

  // The log lines of the current or last run, and the status line.
  std::vector<std::string> Log() const;
  std::string Status() const;

 private:
  friend class TUnpackThread;
  void RunJob() override;
  void Failed(const std::string& what) override;
  // Called on the main thread by the run.
  void AddLogLine(const std::string& line);
  void SetStatus(const std::string& text);
  void SwitchOff();

  const TUnpJobList& jobs_;
  const TPckList& packers_;
  TAutoUnpackHooks hooks_;
  std::chrono::milliseconds interval_;
  platform::Dispatcher& dispatcher_;
  platform::Dispatcher::TimerId timer_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  std::string status_;
};

// One run of all jobs (the worker's body). Public for the runner only.
class TUnpackThread {
 public:
  explicit TUnpackThread(TAutoUnpacker& owner) : owner_(owner) {}
  void Execute();

 private:
  // Runs one job; false when it switched automatic unpacking off.
  bool RunJob(const std::string& name, const TUnpackJob& job, bool& foundFiles);
  // Moves the archive into the job's move directory; on failure the archive
  // stays where it is and why says what went wrong.
  bool MoveArchive(const std::string& path, const std::string& fileName, const std::string& moveDir,
                   std::string& why);
  void Log(const std::string& text);
  void Status(const std::string& text);
  void ShowError(const std::string& text);
  void Sync(const std::function<void()>& work);

  TAutoUnpacker& owner_;
  std::vector<std::string> lines_;
};

}  // namespace velmaris

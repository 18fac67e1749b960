// Autosend jobs: a prepared mail written into an area on a schedule, every
// so many days (SendMode 0), on a day of every month (1) or on a day of
// every year (2), to one receiver (RecMode 0) or to every member of an
// address-book group (1). Due jobs are sent at start-up and, while the
// program runs, whenever the scheduler's timer finds one due.
//
// Registry form below the program's root key: "Autosend" holds "Count" and
// "Name1".."NameN"; each job's values lie in "Autosend\JobN": the texts
// Name, Receiver, RecAddr, RecList, Area, MailText, Subject; the integers
// Last (Unix seconds of the last sending, 0 never), SendMode, RecMode,
// SendDate, SendDays, DateDay, DateMonth; the boolean Active.
//
// States: a job is active or inactive. A file, group or area that is
// missing, or an area of the wrong type, deactivates it (the user switches
// it on again); a refused area lock leaves it as it was. Last changes only
// after a successful sending, so a job that was not sent stays due.
//
// Everything runs on the main thread (message boxes, area locks).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ConfigStore.h"
#include "core/DateTimeUtil.h"
#include "core/PubLst.h"
#include "core/SearchRequest.h"

namespace velmaris {

inline constexpr const char* kAutoSendOrigin = "Velmaris 95 Autosend Process";
inline constexpr const char* kNewAutoSendJobName = "New autosend job";
inline constexpr uint16_t kAutoSendFlags = 0x0840;

// What a sending needs from around it.
struct TAutoSendEnv {
  TConfigStore* Store = nullptr;
  std::function<TDateTime()> Clock;  // Now unless set
  TDateTime ClockNow() const { return Clock ? Clock() : Now(); }
};

class TAutoSendJob : public TObject {
 public:
  std::string Name = kNewAutoSendJobName;
  std::string Receiver, RecAddr, RecList, Area, MailText, Subject;
  int32_t Last = 0;  // Unix seconds; 0 never sent
  int32_t SendMode = 0, RecMode = 0;
  int32_t SendDate = 1, SendDays = 7, DateDay = 1, DateMonth = 1;
  bool Active = false;
  // The job's properties window while it is open; it goes with the job.
  TDialogSlot Dialog;

  void LoadFromRegistry(const TWinRegistry& registry, const std::string& key);
  void SaveToRegistry(TWinRegistry& registry, const std::string& key) const;
  void Assign(const TAutoSendJob& other) { *this = other; }

  bool NeverSent() const { return Last == 0; }
  // The day the job is next due (a date without time; in an unknown mode
  // the current date and time). A day beyond the end of its month is the
  // month's last day (31 in April is 30 April, 29 February in a common
  // year 28 February).
  TDateTime NextDueDate(TDateTime now) const;
  // Today (now cut to whole days) is on or after NextDueDate.
  bool IsDue(TDateTime now) const;
  // Sends the job when it is Active and due; true when it was sent.
  bool RunIfDue(const TAutoSendEnv& env);
  // Sends it now; true when the mails were written (Last is then now).
  bool Execute(const TAutoSendEnv& env);

 private:
  void Deactivate(const std::string& text);
};

class TAutoSendJobs : public TTypedList<TAutoSendJob> {
 public:
  static constexpr const char* kKey = "Autosend";
  TAutoSendJob* GetJob(int index) const { return GetItem(index); }
  // Adds the job under its name; the list keeps it until it ends.
  TAutoSendJob* AddJob(std::unique_ptr<TAutoSendJob> job);
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& key = kKey);
  void SaveToRegistry(TWinRegistry& registry, const std::string& key = kKey) const;

 private:
  std::vector<std::unique_ptr<TAutoSendJob>> owned_;
};

// Every job's RunIfDue in list order; the number of jobs sent. A job that
// was sent has its Last saved with the configuration.
int RunDueAutoSendJobs(TAutoSendJobs& jobs, const TAutoSendEnv& env);

// Runs the due jobs now and then every interval on the dispatcher's timer
// (a run never starts inside another, e.g. while a run's message box is
// open).
class TAutoSendScheduler {
 public:
  TAutoSendScheduler(TAutoSendJobs& jobs, TAutoSendEnv env);
  ~TAutoSendScheduler();
  TAutoSendScheduler(const TAutoSendScheduler&) = delete;
  TAutoSendScheduler& operator=(const TAutoSendScheduler&) = delete;
  // The start-up run, then the timer.
  void Start(std::chrono::milliseconds interval = std::chrono::minutes(10));
  void Stop();
  // One run (what the timer does).
  int Tick();

 private:
  TAutoSendJobs& jobs_;
  TAutoSendEnv env_;
  uint64_t timer_ = 0;
  bool running_ = false;
};

// The job list as part of the configuration (slot AutosendJobs).
class TAutoSendConfig : public TConfigSection {
 public:
  ~TAutoSendConfig() override;
  TAutoSendJobs& Jobs() { return jobs_; }
  void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) override;
  void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const override;

 private:
  TAutoSendJobs jobs_;
};

// Installs the job list into the store and makes it the process-wide one.
TAutoSendJobs& InstallAutoSendConfig(TConfigStore& store);
TAutoSendJobs* GetAutoSendJobs();

}  // namespace velmaris

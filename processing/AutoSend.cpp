#include "processing/AutoSend.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "core/TextHelpers.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {
namespace {

std::atomic<TAutoSendJobs*> currentJobs{nullptr};

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The day of that month, a day past its end giving its last day.
TDateTime DayOf(int year, int month, int day) {
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  if (day < 1) day = 1;
  return EncodeDate(year, month, std::min(day, DaysInMonth(year, month)));
}

TDateTime Today(TDateTime now) { return std::trunc(now); }

std::string Lead(const TAutoSendJob& job) { return " Autosend job " + job.Name + " could not  "; }

// The lines of a text file; false when it cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  if (path.empty()) return false;
  try {
    lines = SplitTextLines(platform::TextFileToAnsi(platform::ReadFile(path)));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

// --- Schedule ---------------------------------------------------------------------

TDateTime TAutoSendJob::NextDueDate(TDateTime now) const {
  const TDateTime today = Today(now);
  const TDateTime last = UnixToDateTime(Last);
  switch (SendMode) {
    case 0: return NeverSent() ? today : Today(last) + std::max(SendDays, 1);
    case 1: {
      const TDateTimeParts from = DecodeDateTime(NeverSent() ? today - 1 : last);
      int year = from.Year, month = from.Month;
      if (!NeverSent() && today >= DayOf(year, month, SendDate)) {
        if (++month > 12) month = 1, ++year;
      }
      return DayOf(year, month, SendDate);
    }
    case 2: {
      int year = DecodeDateTime(NeverSent() ? today : Today(last) + 1).Year;
      if (today >= DayOf(year, DateMonth, DateDay)) ++year;
      return DayOf(year, DateMonth, DateDay);
    }
    default: return now;
  }
}

bool TAutoSendJob::IsDue(TDateTime now) const { return Today(now) >= NextDueDate(now); }

bool TAutoSendJob::RunIfDue(const TAutoSendEnv& env) {
  return Active && IsDue(env.ClockNow()) && Execute(env);
}

// --- Sending ----------------------------------------------------------------------

// The warnings name the job, its file, list and area: ANSI text, which the
// message box takes as UTF-8.
void TAutoSendJob::Deactivate(const std::string& text) {
  Active = false;
  platform::GetPrompter().Warn(
      platform::AnsiToUtf8(text + " does  not exist. The autosend job has been deactivated!"));
}

bool TAutoSendJob::Execute(const TAutoSendEnv& env) {
  if (!env.Store) return false;
  TConfigStore& store = *env.Store;
  std::vector<std::string> lines;
  if (!ReadLines(MailText, lines)) {
    Deactivate(Lead(*this) + "be executed because the file " + platform::LogName(MailText));
    return false;
  }
  TGroup* group = nullptr;
  if (RecMode == 1) {
    group = store.AddressGroups().FindByName(RecList);
    if (!group) {
      Deactivate(Lead(*this) + "be executed because the address list  " + RecList);
      return false;
    }
  }
  TArea* area = store.FindArea(Area);
  if (!area) {
    Deactivate(Lead(*this) + "execute because the destination area  " + platform::TagInAnsi(Area));
    return false;
  }
  for (;;) {
    platform::GetDispatcher().ProcessMessages();
    if (area->OpenIndex()) {
      if (area->Lock(true)) break;
      area->CloseIndex();
    }
    if (platform::GetPrompter().Ask(
            platform::MsgKind::Warning,
            platform::AnsiToUtf8("Could not lock area " + area->NameInAnsi() + " for access!"),
            platform::mbAbort | platform::mbRetry) != platform::mbRetry)
      return false;
  }
  const auto release = [area] {
    area->Unlock();
    area->CloseIndex();
  };
  const uint8_t type = area->AreaType;
  if (type != AreaTypeCode::Echomail && type != AreaTypeCode::Netmail &&
      type != AreaTypeCode::EMail) {
    Active = false;
    platform::GetPrompter().Warn(platform::AnsiToUtf8(
        Lead(*this) + "execute because the destination area  " + area->NameInAnsi() +
        "\nis no netmail, echomail, or email area.\n"
        "The autosend job has been deactivated!"));
    release();
    return false;
  }
  TNetLink* uplink = type == AreaTypeCode::Echomail ? area->Uplink : nullptr;
  if (!uplink && store.Uplinks().GetCount() > 0) uplink = store.Uplinks().GetItem(0);

  TKQMail mail;
  const bool echo = type == AreaTypeCode::Echomail;
  mail.UseOrigin = mail.UseTearLine = mail.UseSeenBy = echo;
  mail.UsePid = type == AreaTypeCode::Netmail;
  mail.Flags = kAutoSendFlags;
  mail.Area = area;
  mail.Origin = kAutoSendOrigin;
  mail.Subject = Subject;
  if (uplink) {
    mail.OrigAddr.SetAddress(uplink->SysopAddress.Address());
    mail.FromName = uplink->Sysop;
  }
  mail.Text = lines;
  mail.Uplinks = &store.Uplinks();
  if (env.Clock) mail.Clock = env.Clock;
  std::vector<std::unique_ptr<TMail>> mails;
  if (RecMode == 0) {
    mail.DestAddr.SetText(RecAddr);
    mail.ToName = Receiver;
    mails.push_back(mail.BuildMail());
  } else {
    for (int i = 0; i < group->GetCount(); ++i) {
      TKQMail copy;
      copy.Assign(mail);
      copy.UseOrigin = mail.UseOrigin, copy.UseTearLine = mail.UseTearLine;
      copy.UseSeenBy = mail.UseSeenBy, copy.UsePid = mail.UsePid;
      copy.Uplinks = mail.Uplinks;
      copy.Clock = mail.Clock;
      const TFriend& member = *group->GetFriend(i);
      copy.ToName = member.GetName();
      copy.DestAddr.SetAddress(member.Address().Address());
      mails.push_back(copy.BuildExpandedMail());
    }
  }
  const bool written = area->StoreMails(std::move(mails));
  if (written) Last = DateTimeToUnix(env.ClockNow());
  release();
  return written;
}

// --- Registry ---------------------------------------------------------------------

void TAutoSendJob::LoadFromRegistry(const TWinRegistry& r, const std::string& key) {
  Name = r.ReadString(key, "Name", Name);
  Receiver = r.ReadString(key, "Receiver", Receiver);
  RecAddr = r.ReadString(key, "RecAddr", RecAddr);
  RecList = r.ReadString(key, "RecList", RecList);
  Area = r.ReadString(key, "Area", Area);
  MailText = platform::UnquotedPath(r.ReadPath(key, "MailText", MailText));
  Subject = r.ReadString(key, "Subject", Subject);
  Last = r.ReadInteger(key, "Last", 0);
  SendMode = r.ReadInteger(key, "SendMode", SendMode);
  RecMode = r.ReadInteger(key, "RecMode", RecMode);
  SendDate = r.ReadInteger(key, "SendDate", SendDate);
  SendDays = r.ReadInteger(key, "SendDays", SendDays);
  DateDay = r.ReadInteger(key, "DateDay", DateDay);
  DateMonth = r.ReadInteger(key, "DateMonth", DateMonth);
  Active = r.ReadBool(key, "Active", false);
}

void TAutoSendJob::SaveToRegistry(TWinRegistry& r, const std::string& key) const {
  r.WriteString(key, "Name", Name);
  r.WriteString(key, "Receiver", Receiver);
  r.WriteString(key, "RecAddr", RecAddr);
  r.WriteString(key, "RecList", RecList);
  r.WriteString(key, "Area", Area);
  r.WriteString(key, "MailText", MailText);
  r.WriteString(key, "Subject", Subject);
  r.WriteInteger(key, "Last", Last);
  r.WriteInteger(key, "SendMode", SendMode);
  r.WriteInteger(key, "RecMode", RecMode);
  r.WriteInteger(key, "SendDate", SendDate);
  r.WriteInteger(key, "SendDays", SendDays);
  r.WriteInteger(key, "DateDay", DateDay);
  r.WriteInteger(key, "DateMonth", DateMonth);
  r.WriteBool(key, "Active", Active);
}

TAutoSendJob* TAutoSendJobs::AddJob(std::unique_ptr<TAutoSendJob> job) {
  TAutoSendJob* raw = job.get();
  owned_.push_back(std::move(job));
  Add(raw->Name, raw);
  return raw;
}

void TAutoSendJobs::LoadFromRegistry(const TWinRegistry& registry, const std::string& key) {
  BeginUpdate();
  Clear();
  owned_.clear();
  // More entries than anyone keeps are not read.
  const int32_t count = std::clamp(registry.ReadInteger(key, "Count", 0), 0, 10000);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string sub = key + "\\Job" + std::to_string(n);
    // A count beyond the stored entries must not make jobs out of nothing.
    if (!registry.Registry().KeyExists(registry.KeyOf(sub))) continue;
    auto job = std::make_unique<TAutoSendJob>();
    job->LoadFromRegistry(registry, sub);
    AddJob(std::move(job));
    SetString(GetCount() - 1, registry.ReadString(key, "Name" + std::to_string(n), "?"));
  }
  EndUpdate();
}

void TAutoSendJobs::SaveToRegistry(TWinRegistry& registry, const std::string& key) const {
  registry.WriteInteger(key, "Count", GetCount());
  for (int i = 0; i < GetCount(); ++i) {
    const std::string n = std::to_string(i + 1);
    GetJob(i)->SaveToRegistry(registry, key + "\\Job" + n);
    registry.WriteString(key, "Name" + n, GetString(i));
  }
  registry.DeleteEntriesBeyond(key, "Job", GetCount());
  registry.DeleteEntriesBeyond(key, "Name", GetCount());
}

int RunDueAutoSendJobs(TAutoSendJobs& jobs, const TAutoSendEnv& env) {
  int sent = 0;
  for (int i = 0; i < jobs.GetCount(); ++i)
    if (jobs.GetJob(i)->RunIfDue(env)) ++sent;
  if (sent > 0 && env.Store) env.Store->SaveConfiguration();
  return sent;
}

// --- Scheduler --------------------------------------------------------------------

TAutoSendScheduler::TAutoSendScheduler(TAutoSendJobs& jobs, TAutoSendEnv env)
    : jobs_(jobs), env_(std::move(env)) {}

TAutoSendScheduler::~TAutoSendScheduler() { Stop(); }

void TAutoSendScheduler::Start(std::chrono::milliseconds interval) {
  Tick();
  if (!timer_) timer_ = platform::GetDispatcher().StartTimer(interval, [this] { Tick(); });
}

void TAutoSendScheduler::Stop() {
  if (timer_) platform::GetDispatcher().StopTimer(timer_);
  timer_ = 0;
}

int TAutoSendScheduler::Tick() {
  if (running_) return 0;
  running_ = true;
  int sent = 0;
  try {
    sent = RunDueAutoSendJobs(jobs_, env_);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  running_ = false;
  return sent;
}

// --- Configuration ----------------------------------------------------------------

TAutoSendConfig::~TAutoSendConfig() {
  TAutoSendJobs* expected = &jobs_;
  currentJobs.compare_exchange_strong(expected, nullptr);
}

void TAutoSendConfig::LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) {
  (void)store;
  jobs_.LoadFromRegistry(registry);
}

void TAutoSendConfig::SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const {
  (void)store;
  jobs_.SaveToRegistry(registry);
}

TAutoSendJobs& InstallAutoSendConfig(TConfigStore& store) {
  auto section = std::make_unique<TAutoSendConfig>();
  TAutoSendJobs& jobs = section->Jobs();
  store.SetSection(TConfigSlot::AutosendJobs, std::move(section));
  currentJobs.store(&jobs);
  return jobs;
}

TAutoSendJobs* GetAutoSendJobs() { return currentJobs.load(); }

}  // namespace velmaris

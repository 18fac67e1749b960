#include "core/Report.h"

#include <iostream>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

void LogLine(const std::string& line) {
  if (TConfigStore* store = GetConfigStore())
    store->Log(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

}  // namespace

TReportPoster::~TReportPoster() {
  // The process ends: the dispatcher that runs the timer may be gone already,
  // so it is not touched.
  for (const TReportMessage& message : queue_)
    LogLine("Report \"" + message.Subject + "\" lost: the area REPORT stayed locked");
}

void TReportPoster::Post(TReportMessage message) {
  queue_.push_back(std::move(message));
  TryWrite();
}

void TReportPoster::TryWrite() {
  if (writing_) return;
  writing_ = true;
  try {
    while (!queue_.empty()) {
      TArea* area = ReportArea();
      if (!area) {
        // Without the area every waiting report is lost; the error box was
        // shown once.
        for (const TReportMessage& message : queue_)
          LogLine("Report \"" + message.Subject + "\" lost: no REPORT area");
        queue_.clear();
        break;
      }
      if (!area->Lock(true)) {
        StartRetry();
        writing_ = false;
        return;
      }
      TAreaLockHold hold(*area);
      TReportMessage message = std::move(queue_.front());
      queue_.pop_front();
      Store(*area, message);
    }
  } catch (...) {
    writing_ = false;
    StopRetry();
    throw;
  }
  StopRetry();
  writing_ = false;
}

void TReportPoster::StartRetry() {
  if (timerDispatcher_) return;
  timerDispatcher_ = &platform::GetDispatcher();
  timer_ = timerDispatcher_->StartTimer(kReportRetryInterval, [this] { TryWrite(); });
}

void TReportPoster::StopRetry() {
  if (!timerDispatcher_) return;
  timerDispatcher_->StopTimer(timer_);
  timerDispatcher_ = nullptr;
  timer_ = 0;
}

TArea* TReportPoster::ReportArea() {
  TConfigStore* store = GetConfigStore();
  TArea* area = store ? store->FindArea(kReportAreaName) : nullptr;
  if (!area && store) {
    store->AddAreaQuiet(kReportAreaName, kReportAreaName, AreaTypeCode::Report, nullptr);
    area = store->FindArea(kReportAreaName);
  }
  if (!area) platform::GetPrompter().Error("Cannot access \"REPORT\" area");
  return area;
}

void TReportPoster::Store(TArea& area, const TReportMessage& message) {
  TConfigStore* store = GetConfigStore();
  TKQMail mail;
  mail.Text = message.Lines;
  mail.Origin = message.Origin;
  mail.ToName = message.ToName;
  mail.FromName = message.FromName;
  mail.Subject = message.Subject;
  mail.Area = &area;
  mail.UseOrigin = !message.Origin.empty();
  mail.UseSeenBy = false;
  mail.UseTearLine = false;
  mail.UsePid = true;
  if (store) {
    mail.Config = store->Values();
    mail.Uplinks = &store->Uplinks();
  }
  try {
    if (!area.BaseDir.empty()) ForceDirectoryPath(area.BaseDir);
    // Stored past the queue, which a running import may be filling.
    if (!area.StoreMail(mail.BuildMail()))
      LogLine("Report \"" + message.Subject + "\" could not be written into REPORT");
  } catch (const std::exception& e) {
    LogLine("Report \"" + message.Subject + "\" could not be written: " + e.what());
  }
}

TReportPoster& GetReportPoster() {
  static TReportPoster poster;
  return poster;
}

void WriteReportMessage(const std::string& fromName, const std::string& toName,
                        const std::string& subject, const std::string& origin,
                        const std::vector<std::string>& lines) {
  TReportMessage message{fromName, toName, subject, origin, lines};
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  if (dispatcher.IsMainThread()) {
    GetReportPoster().Post(std::move(message));
  } else {
    dispatcher.Send([&message] { GetReportPoster().Post(std::move(message)); });
  }
}

}  // namespace velmaris

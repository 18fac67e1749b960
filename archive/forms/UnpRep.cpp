#include "archive/forms/UnpRep.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "archive/AutoUnpacker.h"
#include "archive/forms/VUPProgress.h"
#include "core/Report.h"
#include "core/forms/FormText.h"
#include "core/forms/LogWindow.h"
#include "platform/Help.h"
#include "widgets/HelpKey.h"

namespace velmaris {

TUnpRep::TUnpRep(const TUnpJobList& jobs, const TPckList& packers,
                 std::function<bool()> mailerSessionActive, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName("UnpRep");
  setWindowTitle(QStringLiteral("Автоматическая распаковка"));
  BindHelpKey(this, platform::kHelpUnpack);
  resize(480, 300);
  const TLogWindowParts parts = BuildLogWindow(this);
  Report = parts.Report;
  StatusBar = parts.StatusBar;
  status_ = parts.Status;

  TAutoUnpackHooks hooks;
  hooks.OnLogCleared = [this] { Report->clear(); };
  hooks.OnStatus = [this](const std::string& text) { status_->setText(AnsiText(text)); };
  hooks.OnLog = [this](const std::string& line) { Report->appendPlainText(AnsiText(line)); };
  hooks.PostReport = [](const std::string& from, const std::string& to, const std::string& subject,
                        const std::string& origin, const std::vector<std::string>& lines) {
    WriteReportMessage(from, to, subject, origin, lines);
  };
  hooks.AutoUnpackDisabled = [this] { emit autoUnpackDisabled(); };
  hooks.MailerSessionActive = std::move(mailerSessionActive);
  unpacker_ = std::make_unique<TAutoUnpacker>(jobs, packers, std::move(hooks));
  // Every extraction of an integrated extractor shows its progress window.
  InstallVUPProgressView();
}

TUnpRep::~TUnpRep() {
  unpacker_->SetTimerOn(false);
  unpacker_.reset();
  RemoveVUPProgressView();
}

void TUnpRep::StartUnpack() { unpacker_->StartUnpack(); }

void TUnpRep::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  emit visibilityChanged(true);
}

void TUnpRep::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit visibilityChanged(false);
}

}  // namespace velmaris

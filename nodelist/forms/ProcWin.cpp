#include "nodelist/forms/ProcWin.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>

#include "core/ConfigStore.h"
#include "core/forms/FormText.h"
#include "core/forms/LogWindow.h"
#include "nodelist/NodelistService.h"
#include "platform/Help.h"
#include "widgets/HelpKey.h"

namespace velmaris {

TProcWin::TProcWin(TConfigStore& store, std::function<bool()> mailerSessionActive, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("ProcWin");
  setWindowTitle(QStringLiteral("Обработка нодлиста"));
  BindHelpKey(this, platform::kHelpNodelist);
  resize(480, 300);
  const TLogWindowParts parts = BuildLogWindow(this);
  Report = parts.Report;
  StatusBar = parts.StatusBar;
  status_ = parts.Status;

  TNodelistServiceHooks hooks;
  hooks.OnLogCleared = [this] { Report->clear(); };
  hooks.OnStatus = [this](const std::string& text) { status_->setText(AnsiText(text)); };
  hooks.OnLog = [this](const std::string& line) { Report->appendPlainText(AnsiText(line)); };
  hooks.MailerSessionActive = std::move(mailerSessionActive);
  service_ = std::make_unique<TNodelistService>(store, GetNodelistLookup(), GetNodeListProcessor(),
                                                std::move(hooks));
}

TProcWin::~TProcWin() {
  service_->SetTimerOn(false);
  service_.reset();
}

void TProcWin::StartProcessing() {
  show();
  raise();
  service_->StartProcessing();
}

void TProcWin::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  emit visibilityChanged(true);
}

void TProcWin::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit visibilityChanged(false);
}

}  // namespace velmaris

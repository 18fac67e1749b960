#include "nodelist/forms/ProcWin.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/ConfigStore.h"
#include "nodelist/NodelistService.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {
QString Ansi(const std::string& bytes) {
  return QString::fromStdString(platform::ToUtf8(bytes, platform::AnsiCodePage()));
}
}  // namespace

TProcWin::TProcWin(TConfigStore& store, std::function<bool()> mailerSessionActive,
                   QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("ProcWin");
  setWindowTitle(QStringLiteral("Обработка нодлиста"));
  resize(480, 300);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* menu = new QMenuBar(this);
  auto* close = new QAction(QStringLiteral("Закрыть"), this);
  close->setObjectName("Close1");
  close->setShortcut(QKeySequence(Qt::Key_Escape));
  connect(close, &QAction::triggered, this, &QWidget::hide);
  menu->addAction(close);
  addAction(close);
  column->setMenuBar(menu);
  Report = new QPlainTextEdit(this);
  Report->setObjectName("Report");
  Report->setReadOnly(true);
  Report->setLineWrapMode(QPlainTextEdit::NoWrap);
  column->addWidget(Report, 1);
  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setSizeGripEnabled(false);
  status_ = new QLabel(StatusBar);
  StatusBar->addWidget(status_, 1);
  column->addWidget(StatusBar);

  TNodelistServiceHooks hooks;
  hooks.OnLogCleared = [this] { Report->clear(); };
  hooks.OnStatus = [this](const std::string& text) { status_->setText(Ansi(text)); };
  hooks.OnLog = [this](const std::string& line) { Report->appendPlainText(Ansi(line)); };
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

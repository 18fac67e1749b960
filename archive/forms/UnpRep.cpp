#include "archive/forms/UnpRep.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

#include "archive/AutoUnpacker.h"
#include "core/Report.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {
QString Ansi(const std::string& bytes) {
  return QString::fromStdString(platform::ToUtf8(bytes, platform::AnsiCodePage()));
}
}  // namespace

TUnpRep::TUnpRep(const TUnpJobList& jobs, const TPckList& packers,
                 std::function<bool()> mailerSessionActive, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName("UnpRep");
  setWindowTitle(QStringLiteral("Автоматическая распаковка"));
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

  TAutoUnpackHooks hooks;
  hooks.OnLogCleared = [this] { Report->clear(); };
  hooks.OnStatus = [this](const std::string& text) { status_->setText(Ansi(text)); };
  hooks.OnLog = [this](const std::string& line) { Report->appendPlainText(Ansi(line)); };
  hooks.PostReport = [](const std::string& from, const std::string& to, const std::string& subject,
                        const std::string& origin, const std::vector<std::string>& lines) {
    WriteReportMessage(from, to, subject, origin, lines);
  };
  hooks.AutoUnpackDisabled = [this] { emit autoUnpackDisabled(); };
  hooks.MailerSessionActive = std::move(mailerSessionActive);
  unpacker_ = std::make_unique<TAutoUnpacker>(jobs, packers, std::move(hooks));
}

TUnpRep::~TUnpRep() {
  unpacker_->SetTimerOn(false);
  unpacker_.reset();
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

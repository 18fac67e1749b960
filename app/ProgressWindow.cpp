#include "app/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/StatusLabel.h"

namespace velmaris {

namespace {
// Pending messages are processed at most this often while a tool works.
constexpr int kBreathMs = 40;
}  // namespace

TProgressWindow::TProgressWindow(QWidget* owner, const QString& caption, bool cancellable)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("ProgressWindow");
  setWindowTitle(caption);
  auto* column = new QVBoxLayout(this);
  status_ = new TStatusLabel(this);
  status_->setObjectName("Status");
  gauge_ = new QProgressBar(this);
  gauge_->setObjectName("Gauge");
  gauge_->setRange(0, 1);
  gauge_->setValue(0);
  cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_->setObjectName("CancelBtn");
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  column->addWidget(status_);
  column->addWidget(gauge_);
  column->addWidget(cancel_, 0, Qt::AlignRight);
  cancel_->setVisible(cancellable);
  resize(360, 100);
  sinceBreath_.start();
}

void TProgressWindow::SetStatus(const QString& text) {
  status_->setText(text);
  if (isVisible()) repaint();
}

void TProgressWindow::Begin(int count) {
  count_ = count;
  gauge_->setRange(0, count > 0 ? count : 1);
  gauge_->setValue(0);
  Breathe(sinceBreath_, true);
}

void TProgressWindow::Step(int done, int32_t index) {
  (void)index;
  gauge_->setValue(done);
  if (StepText) SetStatus(StepText(done, count_));
  Breathe(sinceBreath_, done == count_);
}

void Breathe(QElapsedTimer& since, bool force) {
  if (!since.isValid()) since.start();
  if (!force && since.elapsed() < kBreathMs) return;
  since.restart();
  QApplication::processEvents();
}

}  // namespace velmaris

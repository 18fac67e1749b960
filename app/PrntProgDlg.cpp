#include "app/PrntProgDlg.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "core/forms/FormText.h"
#include "widgets/StatusLabel.h"

namespace velmaris {

TPrntProgDlg::TPrntProgDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("PrntProgDlg");
  setWindowTitle(QStringLiteral("Прогресс печати"));
  auto make = [this](const char* name, const QString& text = {}) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    return label;
  };
  // The status and the title are cut to the window's width, never widen it.
  auto line = [this](const char* name) {
    auto* label = new TStatusLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    return label;
  };
  lblStatus_ = line("lblStatus");
  lblTitle_ = line("lblTitle");
  lblPageNumDesc_ = make("lblPageNumDesc", QStringLiteral("Номер страницы:"));
  lblPageNumber_ = make("lblPageNumber");
  auto* grid = new QGridLayout(this);
  grid->addWidget(lblStatus_, 0, 0, 1, 2);
  grid->addWidget(lblTitle_, 1, 0, 1, 2);
  grid->addWidget(lblPageNumDesc_, 2, 0);
  grid->addWidget(lblPageNumber_, 2, 1);
  lblTitle_->setMinimumWidth(240);
  grid->setSizeConstraint(QLayout::SetFixedSize);
}

void TPrntProgDlg::ShowStatus(const std::string& status, const std::string& title, int page) {
  if (!status.empty()) lblStatus_->setText(AnsiText(status));
  lblTitle_->setText(AnsiText(title));
  lblPageNumber_->setText(QString::number(page));
  if (!isVisible()) {
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    show();
  }
  repaint();
}

TPrntProgress::~TPrntProgress() = default;

void TPrntProgress::Show(const std::string& status, const std::string& title, int page) {
  if (!window_) window_ = std::make_unique<TPrntProgDlg>();
  window_->ShowStatus(status, title, page);
}

void TPrntProgress::Close() { window_.reset(); }

}  // namespace velmaris

#include "processing/forms/AssistentFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "core/WinLst.h"
#include "widgets/PageManager.h"

namespace velmaris {

TAssistentFrame::TAssistentFrame(const char* objectName, const QString& windowListName,
                                 QWidget* parent)
    : QDialog(parent), windowListName_(windowListName) {
  setObjectName(QString::fromLatin1(objectName));
  setWindowTitle(windowListName);
  resize(520, 340);
  auto* column = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* picture = new QLabel(this);
  picture->setObjectName("Picture");
  picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(64, 64));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  picture->setFixedWidth(96);
  row->addWidget(picture);
  nb_ = new TNotebook(this);
  nb_->setObjectName("NB_DEL");
  row->addWidget(nb_, 1);
  column->addLayout(row, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  prev_ = new QPushButton(QStringLiteral("< Назад"), this);
  prev_->setObjectName("DEL_Prev");
  next_ = new QPushButton(QStringLiteral("Далее >"), this);
  next_->setObjectName("DEL_Next");
  next_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName("DEL_Cancel");
  buttons->addWidget(prev_);
  buttons->addWidget(next_);
  buttons->addSpacing(12);
  buttons->addWidget(cancel_);
  column->addLayout(buttons);
  connect(cancel_, &QPushButton::clicked, this, [this] { DEL_CancelClick(); });

  manager_ = new TPageManager(this);
}

TAssistentFrame::~TAssistentFrame() {
  if (listed_) WinLst().Remove(this);
}

QVBoxLayout* TAssistentFrame::AddPage(const char* name, const QString& text) {
  QWidget* page = nb_->AddPage(QString::fromLatin1(name));
  auto* layout = new QVBoxLayout(page);
  auto* label = new QLabel(text, page);
  label->setObjectName("PageText");
  label->setWordWrap(true);
  layout->addWidget(label);
  return layout;
}

QLabel* TAssistentFrame::PageText(int page) const {
  QWidget* widget = nb_->widget(page);
  return widget ? widget->findChild<QLabel*>("PageText", Qt::FindDirectChildrenOnly) : nullptr;
}

void TAssistentFrame::PagesAdded() {
  for (int i = 0; i < nb_->count(); ++i)
    static_cast<QVBoxLayout*>(nb_->widget(i)->layout())->addStretch(1);
  manager_->SetPageOwner(nb_);
  manager_->SetPriorBtn(prev_);
  manager_->SetNextBtn(next_);
  connect(manager_, &TPageManager::pageChanged, this, [this] { NB_DELPageChanged(); });
  manager_->Loaded();
}

void TAssistentFrame::SetButtons(bool prevVisible, bool prevEnabled, bool nextVisible,
                                 bool nextEnabled, const QString& cancelCaption) {
  prev_->setVisible(prevVisible);
  prev_->setEnabled(prevEnabled);
  next_->setVisible(nextVisible);
  next_->setEnabled(nextEnabled);
  cancel_->setText(cancelCaption);
}

void TAssistentFrame::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) Reset();
  if (!listed_) WinLst().Add(windowListName_.toStdString(), this);
  listed_ = true;
}

void TAssistentFrame::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (listed_) WinLst().Remove(this);
  listed_ = false;
}

}  // namespace velmaris

#include "app/AboutDialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/logic/Startup.h"

namespace velmaris {

TAboutDialog::TAboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutDialog");
  setWindowTitle(QStringLiteral("О программе Velmaris 95"));
  setMinimumWidth(300);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 18, 24, 14);
  layout->setSpacing(6);
  auto* name = new QLabel(QStringLiteral("Velmaris 95"), this);
  name->setObjectName("ProductName");
  QFont font = name->font();
  font.setPointSize(font.pointSize() + 6);
  font.setBold(true);
  name->setFont(font);
  name->setAlignment(Qt::AlignCenter);
  auto* comment = new QLabel(QStringLiteral("FidoNet Point"), this);
  comment->setObjectName("Comments");
  comment->setAlignment(Qt::AlignCenter);
  verInfo_ = new QLabel(this);
  verInfo_->setObjectName("VerInfo");
  verInfo_->setAlignment(Qt::AlignCenter);
  longVer_ = new QLabel(this);
  longVer_->setObjectName("LongVer");
  longVer_->setAlignment(Qt::AlignCenter);
  auto* button = new QPushButton(QStringLiteral("OK"), this);
  button->setObjectName("Button1");
  button->setDefault(true);
  connect(button, &QPushButton::clicked, this, [this] { Button1Click(); });
  layout->addWidget(name);
  layout->addWidget(comment);
  layout->addWidget(verInfo_);
  layout->addWidget(longVer_);
  layout->addSpacing(8);
  layout->addWidget(button, 0, Qt::AlignHCenter);
  FormCreate();
}

void TAboutDialog::FormCreate() {
  verInfo_->setText(QString::fromLatin1(kReleaseText));
  longVer_->setText(QString::fromStdString(LongVersionText()));
}

void TAboutDialog::Button1Click() { close(); }

void TAboutDialog::closeEvent(QCloseEvent* event) {
  // Closing the box in any way counts as OK.
  if (isVisible()) accept();
  event->accept();
}

}  // namespace velmaris

#include "processing/forms/Calibrator.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/NetLink.h"
#include "core/forms/FormText.h"
#include "processing/AreaManager.h"
#include "widgets/VxCheckListBox.h"
#include "widgets/VxSpin.h"

namespace velmaris {

TCalibrator::TCalibrator(const std::vector<std::string>& lines, TNetLink* uplink, TRobotKind kind,
                         QWidget* parent)
    : QDialog(parent), lines_(lines), uplink_(uplink), kind_(kind) {
  setObjectName("TCalibrator");
  setWindowTitle(QStringLiteral("Area List Parser Calibration"));
  resize(640, 480);
  auto* column = new QVBoxLayout(this);
  MsgText = new TTextListBox(this);
  MsgText->setObjectName("MsgText");
  MsgText->setFont(QFont(QStringLiteral("Monospace")));
  QStringList items;
  for (const std::string& line : lines_) items << AnsiText(line);
  MsgText->SetItems(items);
  column->addWidget(MsgText, 1);

  const TRobotLayout layout = uplink_ ? RobotLayoutOf(*uplink_, kind_) : TRobotLayout{};
  auto* form = new QFormLayout;
  SNOfs = AddSpin("SNOfs", 1, 80, layout.NameO);
  SDLine = AddSpin("SDLine", -5, 5, layout.DescL);
  SDOfs = AddSpin("SDOfs", 0, 80, layout.DescO);
  form->addRow(QStringLiteral("Areaname: Start Column"), SNOfs);
  form->addRow(QStringLiteral("Description: Relative Row"), SDLine);
  form->addRow(QStringLiteral("Description: Start Column"), SDOfs);
  LAreaName = new QLabel(this);
  LAreaName->setObjectName("LAreaName");
  LAreaDesc = new QLabel(this);
  LAreaDesc->setObjectName("LAreaDesc");
  form->addRow(QStringLiteral("Areaname:"), LAreaName);
  form->addRow(QStringLiteral("Description:"), LAreaDesc);
  column->addLayout(form);
  for (const char* text :
       {"Please ensure your calibration is right by clicking on an area name and verifying that "
        "the right decription for that area is extacted.",
        "If this is not the case please first set the start line correct. Then enter the "
        "distance between this line and the area description. Finally tune the start column for "
        "the area description. ",
        "If the list does not contain area descriptions set the start column value to 0. "}) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setWordWrap(true);
    column->addWidget(label);
  }
  UseAsStandard = new QCheckBox(QStringLiteral("Set as default for this uplink"), this);
  UseAsStandard->setObjectName("UseAsStandard");
  UseAsStandard->setChecked(true);
  UseAsStandard->setVisible(uplink_ != nullptr);
  column->addWidget(UseAsStandard);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OKBtn");
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { OKClick(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);

  connect(MsgText, &QListWidget::currentRowChanged, this, [this] { ShowResult(); });
  SelectFirstArea();
}

TVxSpinEdit* TCalibrator::AddSpin(const char* name, int min, int max, int value) {
  auto* spin = new TVxSpinEdit(this);
  spin->setObjectName(QString::fromLatin1(name));
  spin->SetMinValue(min);
  spin->SetMaxValue(max);
  spin->SetValue(value);
  connect(spin, &TVxSpinEdit::change, this, [this] { ShowResult(); });
  return spin;
}

int TCalibrator::NameO() const { return static_cast<int>(std::lround(SNOfs->Value())); }
int TCalibrator::DescO() const { return static_cast<int>(std::lround(SDOfs->Value())); }
int TCalibrator::DescL() const { return static_cast<int>(std::lround(SDLine->Value())); }

void TCalibrator::ShowResult() {
  std::string description, tag;
  const bool found =
      ParseAreaLine(lines_, MsgText->ItemIndex(), NameO(), DescO(), DescL(), description, tag);
  LAreaName->setText(found ? AreaNameText(tag) : QString());
  LAreaDesc->setText(found ? AnsiText(description) : QString());
}

void TCalibrator::SelectFirstArea() {
  std::string description, tag;
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    if (!ParseAreaLine(lines_, i, NameO(), DescO(), DescL(), description, tag)) continue;
    MsgText->SetItemIndex(i);
    break;
  }
  ShowResult();
}

void TCalibrator::OKClick() {
  if (uplink_ && UseAsStandard->isChecked()) {
    if (kind_ == TRobotKind::FileScan) {
      uplink_->FSNameO = NameO(), uplink_->FSDescO = DescO(), uplink_->FSDescL = DescL();
    } else {
      uplink_->AFNameO = NameO(), uplink_->AFDescO = DescO(), uplink_->AFDescL = DescL();
    }
  }
  accept();
}

}  // namespace velmaris

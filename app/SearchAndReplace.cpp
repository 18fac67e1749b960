#include "app/SearchAndReplace.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmaris {

namespace {

// The form is laid out by position, as the find-only switch moves controls.
constexpr int kClientWidth = 392;
constexpr int kButtonLeft = 296;
constexpr int kButtonWidth = 88;

template <class W>
W* Place(const char* name, int left, int top, int width, int height, W* widget) {
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

}  // namespace

TSARForm::TSARForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SARForm");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* label1 = Place("Label1", 8, 12, 98, 17, new QLabel(QStringLiteral("&Suchen nach:"), this));
  edFind_ = Place("EdFind", 108, 8, 180, 23, new QLineEdit(this));
  lbRep_ = Place("LbRep", 8, 40, 98, 17, new QLabel(QStringLiteral("Ersetzen &durch:"), this));
  edRep_ = Place("EdRep", 108, 36, 180, 23, new QLineEdit(this));
  cbWhole_ = Place("CbWhole", 8, 104, 280, 19,
                   new QCheckBox(QStringLiteral(" Nur ganze &Wörter"), this));
  cbCase_ = Place("CbCase", 8, 80, 280, 19,
                  new QCheckBox(QStringLiteral(" &Groß-/Kleinschreibung unterscheiden"), this));
  auto* find = Place("Button1", kButtonLeft, 8, kButtonWidth, 25,
                     new QPushButton(QStringLiteral("&Weitersuchen"), this));
  find->setDefault(true);
  btnRep_ = Place("BtnRep", kButtonLeft, 40, kButtonWidth, 25,
                  new QPushButton(QStringLiteral("&Ersetzen"), this));
  btnRepAll_ = Place("BtnRepAll", kButtonLeft, 72, kButtonWidth, 25,
                     new QPushButton(QStringLiteral("A&lles ersetzen"), this));
  btnCancel_ = Place("BtnCancel", kButtonLeft, 104, kButtonWidth, 25,
                     new QPushButton(QStringLiteral("Abbruch"), this));
  label1->setBuddy(edFind_);
  lbRep_->setBuddy(edRep_);
  connect(find, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(btnRep_, &QPushButton::clicked, this, [this] { BtnRepClick(); });
  connect(btnRepAll_, &QPushButton::clicked, this, [this] { BtnRepAllClick(); });
  connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);
  FormCreate();
}

void TSARForm::FormCreate() { SetFindOnly(false); }

void TSARForm::SetFindOnly(bool findOnly) {
  for (QWidget* control : {static_cast<QWidget*>(edRep_), static_cast<QWidget*>(lbRep_),
                           static_cast<QWidget*>(btnRep_), static_cast<QWidget*>(btnRepAll_)}) {
    control->setVisible(!findOnly);
    control->setEnabled(!findOnly);
  }
  btnCancel_->move(kButtonLeft, findOnly ? 40 : 104);
  cbCase_->move(8, findOnly ? 40 : 80);
  cbWhole_->move(8, findOnly ? 64 : 104);
  setFixedSize(kClientWidth, findOnly ? 116 : 160);
  setWindowTitle(findOnly ? QStringLiteral("Suchen") : QStringLiteral("Suchen und Ersetzen"));
}

QString TSARForm::GetFindText() const { return edFind_->text(); }
void TSARForm::SetFindText(const QString& text) { edFind_->setText(text); }
QString TSARForm::GetReplaceText() const { return edRep_->text(); }
void TSARForm::SetReplaceText(const QString& text) { edRep_->setText(text); }
bool TSARForm::GetWholeWords() const { return cbWhole_->isChecked(); }
bool TSARForm::GetCaseSensitive() const { return cbCase_->isChecked(); }

void TSARForm::Button1Click() {
  if (OnFind) OnFind(*this);
}

void TSARForm::BtnRepClick() {
  if (OnReplace) OnReplace(*this);
}

void TSARForm::BtnRepAllClick() {
  if (OnReplaceAll) OnReplaceAll(*this);
}

}  // namespace velmaris

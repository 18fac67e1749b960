#include "processing/forms/ALReq.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>

#include "core/ConfigStore.h"
#include "core/forms/FormText.h"
#include "widgets/FileEdits.h"

namespace velmaris {

TALReq::TALReq(TConfigStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName("TALReq");
  setWindowTitle(QStringLiteral("Загрузить список эх"));
  resize(480, 120);
  auto* form = new QFormLayout(this);
  LCombo = new QComboBox(this);
  LCombo->setObjectName("LCombo");
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) LCombo->addItem(AnsiText(links.GetString(i)));
  FN = new TFilenameEdit(this);
  FN->setObjectName("FN");
  FN->SetHoldsPath(true);
  form->addRow(QStringLiteral("Аплинк"), LCombo);
  form->addRow(QStringLiteral("Файл"), FN);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OKBtn");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

TNetLink* TALReq::Uplink() const {
  const int index = LCombo->currentIndex();
  return index >= 0 && index < store_.Uplinks().GetCount() ? store_.Uplinks().GetItem(index)
                                                           : nullptr;
}

}  // namespace velmaris

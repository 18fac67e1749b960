#include "processing/forms/AreaDescReq.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "core/ConfigStore.h"
#include "core/forms/FormText.h"

namespace velmaris {

TAreaDescReq::TAreaDescReq(TConfigStore& store, const std::string& robotName, QWidget* parent)
    : QDialog(parent), store_(store) {
  setObjectName("TAreaDescReq");
  setWindowTitle(AnsiText("New " + robotName + " - area"));
  auto* form = new QFormLayout(this);
  eName = new QLineEdit(this);
  eName->setObjectName("eName");
  cUplink = new QComboBox(this);
  cUplink->setObjectName("cUplink");
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) cUplink->addItem(AnsiText(links.GetString(i)));
  eDesc = new QLineEdit(this);
  eDesc->setObjectName("eDesc");
  form->addRow(QStringLiteral("Эха"), eName);
  form->addRow(QStringLiteral("Аплинк"), cUplink);
  form->addRow(QStringLiteral("Описание"), eDesc);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OKBtn");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

TNetLink* TAreaDescReq::Uplink() const {
  const int index = cUplink->currentIndex();
  return index >= 0 && index < store_.Uplinks().GetCount() ? store_.Uplinks().GetItem(index)
                                                           : nullptr;
}

}  // namespace velmaris

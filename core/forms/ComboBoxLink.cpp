#include "core/forms/ComboBoxLink.h"

#include <QSignalBlocker>

#include "core/forms/FormText.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"

namespace velmaris {

QString AnsiToQString(const std::string& bytes) { return AnsiText(bytes); }

std::string QStringToAnsi(const QString& text) { return AnsiBytes(text); }

std::string ListNameBytes(const TPubLst& list, const QString& text) {
  for (int i = 0; i < list.GetCount(); ++i) {
    const std::string& name = list.GetString(i);
    if (AreaNameText(name).compare(text, Qt::CaseInsensitive) == 0) return name;
  }
  return AnsiBytes(text);
}

std::string ComboNameBytes(const TPubLst& list, const QComboBox* box) {
  if (!box) return {};
  const QString text = box->currentText();
  const int row = box->currentIndex();
  if (row >= 0 && box->itemText(row) == text) {
    const QVariant bytes = box->itemData(row, Qt::UserRole);
    if (bytes.isValid()) return bytes.toByteArray().toStdString();
  }
  return ListNameBytes(list, text);
}

void ShowComboName(QComboBox* box, const std::string& name) {
  if (!box) return;
  int found = -1;
  for (int pass = 0; pass < 2 && found < 0; ++pass)
    for (int i = 0; i < box->count() && found < 0; ++i) {
      const QVariant data = box->itemData(i, Qt::UserRole);
      if (!data.isValid()) continue;
      const std::string bytes = data.toByteArray().toStdString();
      if (pass == 0 ? bytes == name : platform::SameTag(bytes, name)) found = i;
    }
  if (found >= 0) box->setCurrentIndex(found);
  if (box->isEditable()) box->setEditText(found >= 0 ? box->itemText(found) : AreaNameText(name));
}

int TComboBoxLink::GetItemIndex() const { return box_ ? box_->currentIndex() : -1; }

void TComboBoxLink::SetItemIndex(int index) {
  if (!box_) return;
  box_->setCurrentIndex(index >= 0 && index < box_->count() ? index : -1);
}

void TComboBoxLink::SetItems(const std::vector<std::string>& names) {
  if (!box_) return;
  const QSignalBlocker quiet(box_.data());
  const QString text = box_->currentText();
  box_->clear();
  for (const std::string& name : names) box_->addItem(AreaNameText(name), StoredBytes(name));
  if (box_->isEditable()) {
    box_->setEditText(text);
  } else {
    box_->setCurrentIndex(box_->findText(text));
  }
}

}  // namespace velmaris

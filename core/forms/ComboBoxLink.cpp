#include "core/forms/ComboBoxLink.h"

#include <QSignalBlocker>

#include "core/forms/FormText.h"
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
  for (const std::string& name : names) box_->addItem(AreaNameText(name));
  if (box_->isEditable()) {
    box_->setEditText(text);
  } else {
    box_->setCurrentIndex(box_->findText(text));
  }
}

}  // namespace velmaris

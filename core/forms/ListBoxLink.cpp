#include "core/forms/ListBoxLink.h"

#include <QSignalBlocker>

#include "core/WinLst.h"
#include "core/forms/FormText.h"

namespace velmaris {

int TListBoxLink::GetItemIndex() const { return box_ ? box_->currentRow() : -1; }

void TListBoxLink::SetItemIndex(int index) {
  if (!box_) return;
  box_->setCurrentRow(index >= 0 && index < box_->count() ? index : -1);
}

void TListBoxLink::SetItems(const std::vector<std::string>& names) {
  if (!box_) return;
  const int current = box_->currentRow();
  {
    // Refilled quietly: an entry renamed as its name is typed must not pass
    // through "no row" on the way, which disables the entry's fields and
    // takes the keyboard from the field being typed into.
    const QSignalBlocker block(box_.data());
    box_->clear();
    for (const std::string& name : names) box_->addItem(AreaNameText(name));
    // The row chosen before stays chosen; none stays none.
    box_->setCurrentRow(current >= 0 && current < box_->count() ? current : -1);
  }
  // The row's entry may be another one now: told once, with the row it ends on.
  const int row = box_->currentRow();
  if (current >= 0 || row >= 0) emit box_->currentRowChanged(row);
}

void BringToFront(QWidget* window) {
  if (!window) return;
  if (window->isMinimized()) window->showNormal();
  window->show();
  window->raise();
  window->activateWindow();
}

void ShowWindowListEntry(int row) {
  if (row < 0 || row >= WinLst().GetCount()) return;
  BringToFront(dynamic_cast<QWidget*>(WinLst().GetItem(row)));
}

}  // namespace velmaris

// Lets a configuration list keep a Qt list widget filled with its names: the
// list calls SetItems on every change, the widget shows the names (stored
// bytes in the ANSI code page, shown as Unicode).
#pragma once

#include <QListWidget>
#include <QPointer>

#include "core/PubLst.h"
#include "core/forms/ComboBoxLink.h"

namespace velmaris {

class TListBoxLink : public TListControl {
 public:
  explicit TListBoxLink(QListWidget* box) : box_(box) {}

  int GetItemIndex() const override;
  void SetItemIndex(int index) override;
  void SetItems(const std::vector<std::string>& names) override;

  QListWidget* Box() const { return box_; }

 private:
  QPointer<QListWidget> box_;
};

// Brings a window to the front as a double-click in a window list does:
// restored when minimised, shown, raised and activated. Nothing for null.
void BringToFront(QWidget* window);

// Brings the window at the row of the global window list to the front; a
// row outside the list does nothing.
void ShowWindowListEntry(int row);

}  // namespace velmaris

// The OK ("Button3"), Cancel ("Button2") and Apply ("bApply") buttons of a
// properties dialog, at the right of a row added to the dialog's layout.
#pragma once

class QBoxLayout;
class QPushButton;

namespace velmaris {

struct TDialogButtons {
  QPushButton* OK;
  QPushButton* Cancel;
  QPushButton* Apply;
};

TDialogButtons AddDialogButtons(QBoxLayout* layout);

}  // namespace velmaris

// The OK ("Button3"), Cancel ("Button2") and Apply ("bApply") buttons of a
// properties dialog, at the right of a row added to the dialog's layout.
#pragma once

#include <functional>

class QBoxLayout;
class QObject;
class QPushButton;

namespace velmaris {

struct TDialogButtons {
  QPushButton* OK;
  QPushButton* Cancel;
  QPushButton* Apply;
};

TDialogButtons AddDialogButtons(QBoxLayout* layout);

// What a click on each button runs.
struct TDialogHandlers {
  std::function<void()> OK;
  std::function<void()> Cancel;
  std::function<void()> Apply;
};

// The buttons with their handlers connected; owner is the dialog, whose
// life ends the connections.
TDialogButtons AddDialogButtons(QBoxLayout* layout, QObject* owner,
                                const TDialogHandlers& handlers);

}  // namespace velmaris

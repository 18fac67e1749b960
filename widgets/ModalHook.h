// Every modal loop of the controls (their dialogs and drop-down menus) runs
// through one replaceable hook, so that tests answer them without timers.
#pragma once

#include <QPoint>
#include <functional>

class QAction;
class QDialog;
class QMenu;
class QWidget;

namespace velmaris {

// Gets the dialog or menu (built, not shown) and returns the dialog's result
// code; for a menu the hook may trigger an action itself.
using ModalHook = std::function<int(QWidget* window)>;

// Sets the hook; an empty one restores the real loops. Returns the old one.
ModalHook SetModalHook(ModalHook hook);

// dialog.exec(), or the hook's answer.
int ExecModal(QDialog& dialog);
// For the forms that wait for their answer by processing messages instead of
// a modal loop: shows the form and processes messages until answered() holds
// (its buttons set the form's flags) and returns -1; with a hook set, the hook
// gets the form instead and its result code is returned.
int WaitForAnswer(QWidget& form, const std::function<bool()>& answered);
// menu.exec(pos), or the hook (the menu is then placed at pos but not shown).
void ExecPopupMenu(QMenu& menu, const QPoint& pos);
// Shows a window that does not wait for its answer (a properties window) in
// front. A modal window takes the input of every window outside it, so one
// opened from a modal window must be modal too (for the whole program):
// `modal` says so; the modality changes only while the window is hidden.
void ShowInFront(QWidget& window, bool modal);

}  // namespace velmaris

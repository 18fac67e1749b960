#include "widgets/ModalHook.h"

#include <QDialog>
#include <QMenu>

namespace velmaris {

namespace {

ModalHook& Hook() {
  static ModalHook hook;
  return hook;
}

}  // namespace

ModalHook SetModalHook(ModalHook hook) {
  ModalHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

int ExecModal(QDialog& dialog) {
  if (!Hook()) return dialog.exec();
  const int result = Hook()(&dialog);
  dialog.setResult(result);
  return result;
}

void ExecPopupMenu(QMenu& menu, const QPoint& pos) {
  if (!Hook()) {
    menu.exec(pos);
    return;
  }
  menu.move(pos);
  Hook()(&menu);
}

}  // namespace velmaris

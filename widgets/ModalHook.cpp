#include "widgets/ModalHook.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>
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

int WaitForAnswer(QWidget& form, const std::function<bool()>& answered) {
  if (Hook()) return Hook()(&form);
  form.show();
  form.raise();
  form.activateWindow();
  const QPointer<QWidget> alive(&form);
  while (alive && !answered()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return -1;
}

void ExecPopupMenu(QMenu& menu, const QPoint& pos) {
  if (!Hook()) {
    menu.exec(pos);
    return;
  }
  menu.move(pos);
  Hook()(&menu);
}

void ShowInFront(QWidget& window, bool modal) {
  const Qt::WindowModality modality = modal ? Qt::ApplicationModal : Qt::NonModal;
  if (window.windowModality() != modality) {
    window.hide();
    window.setWindowModality(modality);
  }
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace velmaris

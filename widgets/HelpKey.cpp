#include "widgets/HelpKey.h"

#include <QAction>
#include <QWidget>

#include "platform/Help.h"

namespace velmaris {

QAction* BindHelpKey(QWidget* window, int context, QAction* helpItem) {
  QAction* action = helpItem;
  if (!action) {
    action = new QAction(window);
    action->setObjectName("HelpKey");
    QObject::connect(action, &QAction::triggered, window,
                     [context] { platform::ShowHelp(context); });
  }
  action->setShortcut(QKeySequence(Qt::Key_F1));
  action->setShortcutContext(Qt::WindowShortcut);
  window->addAction(action);
  return action;
}

}  // namespace velmaris

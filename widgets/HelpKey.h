// F1 in a window opens the help page of the window's context, as the Help
// item of its menu does where it has one.
#pragma once

class QAction;
class QWidget;

namespace velmaris {

// Binds F1 in the window and its controls to the help page of the context.
// A window whose Help menu item already opens that page hands the item
// over: the item then carries F1 (two commands on one key would leave the
// key to neither). Otherwise a command of the window, outside its menus,
// answers the key. Returns the command that answers F1.
QAction* BindHelpKey(QWidget* window, int context, QAction* helpItem = nullptr);

}  // namespace velmaris

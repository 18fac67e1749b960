// The keys of a window that more than one of its enabled commands answers:
// Qt calls such a key ambiguous and runs none of them.
#pragma once

#include <QAction>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

namespace velmaris::test {

inline std::vector<std::string> ShortcutClashes(const QWidget& window) {
  std::map<std::string, std::vector<std::string>> users;
  for (QAction* a : window.findChildren<QAction*>()) {
    auto* owner = qobject_cast<QWidget*>(a->parent());
    if (!owner || owner->window() != &window || !a->isEnabled() || !a->isVisible()) continue;
    const Qt::ShortcutContext context = a->shortcutContext();
    if (context == Qt::WidgetShortcut || context == Qt::WidgetWithChildrenShortcut) continue;
    for (const QKeySequence& key : a->shortcuts())
      if (!key.isEmpty())
        users[key.toString().toStdString()].push_back(a->objectName().toStdString());
  }
  std::vector<std::string> clashes;
  for (const auto& [key, names] : users) {
    if (names.size() < 2) continue;
    std::string line = key + ":";
    for (const std::string& name : names) line += " " + name;
    clashes.push_back(line);
  }
  return clashes;
}

}  // namespace velmaris::test

// The plug-in browser: a stay-on-top window with a tree of the connected
// plug-ins, their information lines and their services. The main window
// rebuilds it whenever a plug-in connects, ends, registers or unregisters a
// service.
#pragma once

#include <QWidget>
#include <vector>

#include "app/plugin/PluginMenus.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace velmaris {

class TPluginBrowser : public QWidget {
  Q_OBJECT

 public:
  explicit TPluginBrowser(QWidget* parent = nullptr);

  // Replaces the tree.
  void Rebuild(const std::vector<plugin::TBrowserNode>& nodes);
  QTreeWidget* PluginTree() const { return tree_; }

 private:
  void AddNode(QTreeWidgetItem* parent, const plugin::TBrowserNode& node);
  void SetImage(QTreeWidgetItem* item, int image);

  QTreeWidget* tree_ = nullptr;
};

}  // namespace velmaris

// The main window's side of the plug-in interface: the server, the plug-in
// browser, the Plugins menu and the calls of the plug-ins' services.
#include <QAction>
#include <QMenu>

#include "app/KQMainWindow.h"
#include "app/PluginBrowser.h"
#include "app/plugin/PluginLauncher.h"
#include "app/plugin/PluginMenus.h"
#include "app/plugin/PluginServer.h"
#include "core/ConfigStore.h"
#include "platform/Prompter.h"
#include "platform/SharedMem.h"
#include "core/forms/FormText.h"
#include "widgets/EZBetterListBox.h"

namespace velmaris {

void TKQMainWindow::StartPluginHost(const std::string& folder) {
  if (pluginHost_ || !session_) return;
  try {
    auto host = std::make_unique<plugin::TPluginHost>(
        ConfigStore(), folder.empty() ? platform::PluginRuntimeFolder() : folder);
    host->OnChanged = [this] { UpdatePluginBrowser(); };
    host->Start();
    pluginHost_ = std::move(host);
  } catch (const std::exception& e) {
    ConfigStore().Log(std::string("The plug-in interface could not start: ") + e.what());
  }
}

void TKQMainWindow::StartPlugins() {
  StartPluginHost();
  if (pluginHost_) plugin::LaunchPlugins(ConfigStore().Values()->PluginDir());
}

void TKQMainWindow::StopPlugins() {
  if (pluginHost_) pluginHost_->StopPluginConnections();
}

void TKQMainWindow::FreePlugins() {
  pluginHost_.reset();
  pluginBrowser_.reset();
}

TPluginBrowser* TKQMainWindow::PluginBrowser() {
  if (!pluginBrowser_) pluginBrowser_ = std::make_unique<TPluginBrowser>(this);
  return pluginBrowser_.get();
}

void TKQMainWindow::bersicht1Click() {
  TPluginBrowser* browser = PluginBrowser();
  browser->show();
  browser->raise();
}

void TKQMainWindow::UpdatePluginBrowser() {
  if (shutDown_ || !pluginHost_) return;
  BuildPluginMenu(findChild<QMenu*>("Plugins"), false,
                  [this](uint32_t handle) { InvokePluginService(handle); });
  emit PluginsChanged();
  PluginBrowser()->Rebuild(plugin::BuildPluginTree(*pluginHost_));
}

void TKQMainWindow::BuildPluginMenu(QMenu* menu, bool messageWindow,
                                    const std::function<void(uint32_t handle)>& onPick) {
  if (!menu) return;
  // clear() leaves the submenus made by addMenu behind: they go first.
  for (QMenu* sub : menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete sub;
  menu->clear();
  const auto groups = pluginHost_ ? plugin::PluginMenuGroups(pluginHost_->PluginServices(),
                                                             messageWindow)
                                  : std::vector<plugin::TPluginMenuGroup>{};
  for (const plugin::TPluginMenuGroup& group : groups) {
    QMenu* sub = menu->addMenu(QString::fromStdString(group.Caption));
    sub->setObjectName(QString::fromStdString(group.Caption));
    for (const plugin::TPluginMenuItem& item : group.Items) {
      QAction* action = sub->addAction(AnsiText(item.Caption));
      action->setData(item.Handle);
      const uint32_t handle = item.Handle;
      connect(action, &QAction::triggered, this, [onPick, handle] { onPick(handle); });
    }
  }
  menu->menuAction()->setVisible(!groups.empty());
}

// The main window offers the general and the area services; an area
// service gets the selected areas of the area list, separators left out.
void TKQMainWindow::InvokePluginService(uint32_t handle) {
  if (!pluginHost_) return;
  try {
    std::vector<std::string> names;
    const TAreaList& areas = ConfigStore().Areas();
    for (int row = 0; row < areas.GetCount() && row < areaList_->Count(); ++row)
      if (areaList_->Selected(row) && !areas.GetItem(row)->IsSeparator())
        names.push_back(areas.GetItem(row)->Name);
    const std::string box = pluginHost_->InvokePluginService(handle, names, nullptr, {});
    if (!box.empty()) platform::GetPrompter().Inform(box);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

}  // namespace velmaris

// The message list window's Plugins menu: the general, area and message
// services of the plug-ins, run on the window's area and selection.
#include <QMenu>
#include <QMenuBar>

#include "app/KQMainWindow.h"
#include "app/MsgWin.h"
#include "app/plugin/PluginServer.h"
#include "core/Area.h"
#include "platform/Prompter.h"

namespace velmaris {

void TMessageListWindow::BuildPluginMenu() {
  TKQMainWindow* main = GetMainWindow();
  if (!main || Menu("Plugins")) return;
  auto* plugins = new QMenu(QStringLiteral("&Плагины"), this);
  plugins->setObjectName("Plugins");
  if (QMenu* help = Menu("HilfeMenu"))
    menuBar()->insertMenu(help->menuAction(), plugins);
  else
    menuBar()->addMenu(plugins);
  const auto rebuild = [this, main, plugins] {
    main->BuildPluginMenu(plugins, true, [this](uint32_t handle) { PluginMenuClick(handle); });
  };
  connect(main, &TKQMainWindow::PluginsChanged, plugins, rebuild);
  rebuild();
}

// An area service gets this window's area (count 1), a message service the
// selected messages, with the area handed to the plug-in's connection.
void TMessageListWindow::PluginMenuClick(uint32_t handle) {
  TKQMainWindow* main = GetMainWindow();
  TArea* area = Area();
  if (!main || !main->PluginHost() || !area) return;
  try {
    std::vector<uint32_t> selection;
    for (int32_t index : SelectedMessages())
      if (index >= 0) selection.push_back(static_cast<uint32_t>(index));
    const std::string box =
        main->PluginHost()->InvokePluginService(handle, {area->Name}, area, selection);
    if (!box.empty()) platform::GetPrompter().Inform(box);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

}  // namespace velmaris

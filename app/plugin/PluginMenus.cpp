#include "app/plugin/PluginMenus.h"

namespace velmaris::plugin {

namespace {

std::string CategoryText(uint32_t category) {
  switch (category) {
    case PluginCategory::General:
      return "Category: General";
    case PluginCategory::Area:
      return "Category: Area related";
    case PluginCategory::Msg:
      return "Category: Mail related";
    default:
      return "Category: " + std::to_string(category);
  }
}

}  // namespace

TBrowserNode PluginNode(const std::optional<TPluginInfo>& info,
                        const std::vector<TPluginService>& services) {
  if (!info) return {"[Defunct Plugin!]", BrowserImage::Plugin, {}};
  TBrowserNode node{info->Name, BrowserImage::Plugin, {}};
  for (std::string line : {"Copyright: " + info->Copyright,
                           "Version: " + std::to_string(info->Version),
                           "Revision: " + std::to_string(info->Revision),
                           "Description: " + info->Description,
                           "API version requiered: " + std::to_string(info->ApiRequired),
                           "API version supported: " + std::to_string(info->ApiSupported)})
    node.Children.push_back({std::move(line), BrowserImage::Info, {}});
  TBrowserNode list{"Services: none", BrowserImage::ServicesClosed, {}};
  for (const TPluginService& s : services) {
    list.Children.push_back(
        {s.Caption,
         BrowserImage::Service,
         {{"Description: " + s.Description, BrowserImage::Info, {}},
          {CategoryText(s.Category), BrowserImage::Info, {}},
          {"Command: " + std::to_string(s.Command), BrowserImage::Info, {}}}});
  }
  if (!list.Children.empty()) list.Text = "Services: " + std::to_string(list.Children.size());
  node.Children.push_back(std::move(list));
  return node;
}

std::vector<TBrowserNode> BuildPluginTree(TPluginHost& host) {
  std::vector<TBrowserNode> tree;
  // The list may change while a plug-in is asked: walk a copy.
  const auto connections = host.PluginConnections();
  for (const auto& connection : connections) {
    const auto info = host.QueryPluginInfo(*connection);
    std::vector<TPluginService> services;
    for (const TServiceEntry& s : host.PluginServices())
      if (s.Connection == connection) services.push_back(s.Record);
    tree.push_back(PluginNode(info, services));
  }
  return tree;
}

std::vector<TPluginMenuGroup> PluginMenuGroups(const std::vector<TServiceEntry>& services,
                                               bool messageWindow) {
  std::vector<TPluginMenuGroup> groups{{"General", PluginCategory::General, {}},
                                       {"Area", PluginCategory::Area, {}}};
  if (messageWindow) groups.push_back({"Msg", PluginCategory::Msg, {}});
  for (const TServiceEntry& s : services)
    for (TPluginMenuGroup& g : groups)
      if (g.Category == s.Record.Category) g.Items.push_back({s.Handle, s.Record.Caption});
  std::erase_if(groups, [](const TPluginMenuGroup& g) { return g.Items.empty(); });
  return groups;
}

}  // namespace velmaris::plugin

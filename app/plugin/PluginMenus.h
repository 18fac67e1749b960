// What the plug-in browser and the plug-in menus show, built from the
// server's lists without Qt: the browser's tree (one root per connected
// plug-in with its information lines and its services) and the menus'
// submenus ("General", "Area" and, in a message list window, "Msg").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/plugin/PluginServer.h"

namespace velmaris::plugin {

// Image indexes of the browser's tree.
namespace BrowserImage {
inline constexpr int Service = 0;
inline constexpr int Plugin = 1;
inline constexpr int ServicesClosed = 2;
inline constexpr int ServicesOpen = 3;
inline constexpr int Info = 4;
}  // namespace BrowserImage

struct TBrowserNode {
  std::string Text;
  int Image = BrowserImage::Info;
  std::vector<TBrowserNode> Children;
};

// The node of one plug-in: its record (none: it did not answer) and its
// services in registration order.
TBrowserNode PluginNode(const std::optional<TPluginInfo>& info,
                        const std::vector<TPluginService>& services);
// Every connected plug-in in connection order; asks each for its record
// (main thread).
std::vector<TBrowserNode> BuildPluginTree(TPluginHost& host);

struct TPluginMenuItem {
  uint32_t Handle = 0;
  std::string Caption;
};
struct TPluginMenuGroup {
  std::string Caption;
  uint32_t Category = 0;
  std::vector<TPluginMenuItem> Items;
};
// The submenus that have services, in the order General, Area, Msg (the
// last only for a message list window).
std::vector<TPluginMenuGroup> PluginMenuGroups(const std::vector<TServiceEntry>& services,
                                               bool messageWindow);

}  // namespace velmaris::plugin

// Starting the plug-in programs at start-up: every executable file of the
// plug-in folder whose name matches "Plugin_*", in name order, each as a
// process of its own that the program does not wait for (a thread collects
// it when it ends, so no zombie stays).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velmaris::plugin {

// The command lines: the folder text directly followed by the file name.
std::vector<std::string> PluginPrograms(const std::string& folder);
// Starts them with `pause` between two starts; one that cannot start is
// skipped. Returns how many started.
int LaunchPlugins(const std::string& folder,
                  std::chrono::milliseconds pause = std::chrono::milliseconds(100));

}  // namespace velmaris::plugin

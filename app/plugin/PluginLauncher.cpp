#include "app/plugin/PluginLauncher.h"

#include <thread>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Process.h"

namespace velmaris::plugin {

std::vector<std::string> PluginPrograms(const std::string& folder) {
  std::vector<std::string> programs;
  if (folder.empty()) return programs;
  for (const platform::DirEntry& entry : platform::ScanDir(folder, "Plugin_*")) {
    const std::string path = folder + entry.name;
    if (::access(path.c_str(), X_OK) == 0) programs.push_back(path);
  }
  return programs;
}

int LaunchPlugins(const std::string& folder, std::chrono::milliseconds pause) {
  int started = 0;
  for (const std::string& program : PluginPrograms(folder)) {
    if (started > 0) std::this_thread::sleep_for(pause);
    try {
      const pid_t pid = platform::Process::Start({program});
      std::thread([pid] {
        try {
          platform::Process::Wait(pid);
        } catch (const platform::EProcess&) {
        }
      }).detach();
      ++started;
    } catch (const platform::EProcess&) {
    }
  }
  return started;
}

}  // namespace velmaris::plugin

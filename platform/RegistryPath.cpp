#include <cstdlib>
#include <string>

#include "platform/Registry.h"

namespace velmaris::platform {

std::string DefaultRegistryPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = ".";
  }
  return base + "/Brimvale/Velmaris.reg";
}

}  // namespace velmaris::platform

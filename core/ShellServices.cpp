#include "core/ShellServices.h"

#include <atomic>

namespace velmaris {

namespace {
std::atomic<TShellServices*> gShellServices{nullptr};
}

TShellServices* GetShellServices() { return gShellServices.load(std::memory_order_acquire); }

void SetShellServices(TShellServices* services) {
  gShellServices.store(services, std::memory_order_release);
}

}  // namespace velmaris

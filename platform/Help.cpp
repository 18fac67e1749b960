#include "platform/Help.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace velmaris::platform {
namespace {

std::mutex viewerLock;
HelpViewerFn& Viewer() {
  static HelpViewerFn viewer;
  return viewer;
}
std::atomic<int> lastContext{0};

}  // namespace

HelpViewerFn SetHelpViewer(HelpViewerFn viewer) {
  std::lock_guard<std::mutex> hold(viewerLock);
  return std::exchange(Viewer(), std::move(viewer));
}

void ShowHelp(int context) {
  if (context <= 0) return;
  lastContext = context;
  HelpViewerFn viewer;
  {
    std::lock_guard<std::mutex> hold(viewerLock);
    viewer = Viewer();
  }
  if (viewer) viewer(context);
}

int LastHelpContext() { return lastContext; }

}  // namespace velmaris::platform

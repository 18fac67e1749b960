#include "widgets/ApplicationHelp.h"

#include <utility>

namespace velmaris {

namespace {
std::function<void(int)>& HelpViewer() {
  static std::function<void(int)> show;
  return show;
}
}  // namespace

void SetApplicationHelp(std::function<void(int context)> show) { HelpViewer() = std::move(show); }

bool ShowApplicationHelp(int context) {
  if (context <= 0 || !HelpViewer()) return false;
  HelpViewer()(context);
  return true;
}

}  // namespace velmaris

// Help topics. Windows of every layer ask for the help of a numbered context;
// the application installs the viewer that shows it (one page per context in
// the help folder). Without a viewer, as in tests and the batch driver, a
// request is only remembered, so a test can see which topic was asked for.
#pragma once

#include <functional>

namespace velmaris::platform {

// The contexts the windows name. Contents is the help index.
enum HelpContext : int {
  kHelpContents = 1,
  kHelpMainWindow = 1000,
  kHelpSearch = 1100,
  kHelpMessageList = 2000,
  kHelpAddressBook = 3000,
  kHelpFilter = 4000,
  kHelpAreaManager = 4100,
  kHelpMailer = 5000,
  kHelpFileRequest = 5100,
  kHelpSettings = 6000,
  kHelpSpeedBar = 7000,
  kHelpEditor = 8000,
  kHelpNodelist = 9000,
  kHelpNodelistBrowser = 9100,
  kHelpUnpack = 9200,
};

using HelpViewerFn = std::function<void(int context)>;

// Installs the viewer (nullptr removes it); returns the one it replaces.
HelpViewerFn SetHelpViewer(HelpViewerFn viewer);
// Shows the help of the context; a context of 0 or below shows nothing.
void ShowHelp(int context);
// The context most recently asked for (0 when none).
int LastHelpContext();

}  // namespace velmaris::platform

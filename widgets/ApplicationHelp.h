// The application's help as the controls reach it: the shell installs the
// viewer once at start-up, and a control's Help button asks for a context.
#pragma once

#include <functional>

namespace velmaris {

// Installs (or, with an empty function, removes) the help viewer.
void SetApplicationHelp(std::function<void(int context)> show);
// Shows the help topic of the context; false when no viewer is installed or
// the context is not above 0.
bool ShowApplicationHelp(int context);

}  // namespace velmaris

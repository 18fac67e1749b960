// Shared pieces of the packer and unpacker tests: a main-thread dispatcher
// and a scripted prompter installed for one test, and checks for the tools.
#pragma once

#include <string>

#include "ArchiveFixtures.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace velmaris::test {

// Installs a PlainDispatcher (this thread is its main thread) and a
// ScriptedPrompter for the lifetime of the object.
struct ScopedUi {
  platform::PlainDispatcher dispatcher;
  platform::ScriptedPrompter prompter;
  ScopedUi() {
    platform::SetDispatcher(&dispatcher);
    platform::SetPrompter(&prompter);
  }
  ~ScopedUi() {
    platform::SetDispatcher(nullptr);
    platform::SetPrompter(nullptr);
  }
  ScopedUi(const ScopedUi&) = delete;
  ScopedUi& operator=(const ScopedUi&) = delete;
};

}  // namespace velmaris::test

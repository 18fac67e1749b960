// The application's dispatcher and a scripted prompter installed for a test
// of its windows; the test's own SetUp and TearDown call these first and
// last.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "QtTestApp.h"
#include "app/QtDispatcher.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace velmaris::test {

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    dispatcher = std::make_unique<QtDispatcher>();
    platform::SetDispatcher(dispatcher.get());
    platform::SetPrompter(&prompter);
  }
  void TearDown() override {
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
    dispatcher.reset();
  }

  TempDir dir;
  std::unique_ptr<QtDispatcher> dispatcher;
  platform::ScriptedPrompter prompter;
};

}  // namespace velmaris::test

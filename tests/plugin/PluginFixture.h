// A loaded configuration with an echomail area, the plug-in server listening
// in a private folder of the test, and test plug-ins started as processes
// that the tests drive line by line. Every wait pumps the test's main-thread
// dispatcher, so the connections' hand-overs to the main thread run.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/plugin/PluginServer.h"
#include "core/ConfigStore.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "support/TestPlugin.h"

namespace velmaris::test {

class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDispatcher(&dispatcher);
    platform::SetPrompter(&prompter);
    store = std::make_unique<TConfigStore>(dir.Path() + "start/", registry);
    store->SetLogSink([](const std::string&) {});
    store->LoadConfiguration();
    store->MakeCurrent();
    echo = store->AddAreaQuiet("TEST.ECHO", "TEST.ECHO", AreaTypeCode::Echomail,
                               store->Uplinks().GetItem(0));
    StartHost();
  }
  void TearDown() override {
    host.reset();
    store.reset();
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
  }

  void StartHost(plugin::TPluginLimits limits = {}) {
    host.reset();
    host = std::make_unique<plugin::TPluginHost>(*store, folder, limits);
    host->SetLogSink([this](const std::string& line) {
      std::lock_guard lock(logMutex);
      log.push_back(line);
    });
    host->OnChanged = [this] { ++changes; };
    host->Start();
  }

  // Waits until the number of live connections is n.
  bool ConnectionsAre(size_t n) {
    return dispatcher.RunUntil([&] { return host->PluginConnections().size() == n; });
  }
  bool Logged(const std::string& part) {
    return dispatcher.RunUntil([&] {
      std::lock_guard lock(logMutex);
      for (const std::string& line : log)
        if (line.find(part) != std::string::npos) return true;
      return false;
    });
  }
  // A plug-in that has connected.
  std::unique_ptr<TestPlugin> Connected(const std::string& name = "Test Plugin") {
    auto p = std::make_unique<TestPlugin>(folder, name);
    const size_t before = host->PluginConnections().size();
    EXPECT_NE((*p)("connect"), "id 0x0");
    EXPECT_TRUE(ConnectionsAre(before + 1));
    return p;
  }

  TempDir dir;
  RuntimeDir runtime;
  std::string folder = runtime.Path() + "run/";
  platform::PlainDispatcher dispatcher;
  platform::ScriptedPrompter prompter;
  platform::Registry registry{dir / "Velmaris.reg"};
  std::unique_ptr<TConfigStore> store;
  TArea* echo = nullptr;
  std::unique_ptr<plugin::TPluginHost> host;
  std::mutex logMutex;
  std::vector<std::string> log;
  int changes = 0;
};

}  // namespace velmaris::test

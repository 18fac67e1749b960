// A start directory with a registry file, and configuration stores loaded
// from it as the program's start-up loads them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "core/SerialCounter.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::test {

// A registry file and the store loaded from it.
struct LoadedConfig {
  std::unique_ptr<platform::Registry> registry;
  std::unique_ptr<TConfigStore> store;
  TPckList* packers = nullptr;
  TUnpJobList* unpackJobs = nullptr;

  TConfigStore* operator->() { return store.get(); }
  TConfigStore& operator*() { return *store; }
};

class ConfigStoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&prompter);
    platform::SetDispatcher(&dispatcher);
    fileSerial = FileSerial().Peek();
    msgIdSerial = MsgIdSerial().Peek();
  }
  void TearDown() override {
    // The process counters go on from where they were (other tests rely on
    // their start-time seeds).
    FileSerial().Reset(std::max(fileSerial, FileSerial().Peek()));
    MsgIdSerial().Reset(std::max(msgIdSerial, MsgIdSerial().Peek()));
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
  }

  // Fixed serial counters, for golden registry texts.
  static void ResetSerials() {
    FileSerial().Reset(0x1000);
    MsgIdSerial().Reset(0x2000);
  }

  // The start directory below the temporary directory.
  std::string Start() const { return dir.Path() + "start/"; }
  std::string RegistryPath() const { return dir / "Velmaris.reg"; }

  // A store on the registry file, loaded as at start-up (with the packers and
  // the unpack jobs),
  // and made the process-wide one.
  LoadedConfig Load() {
    LoadedConfig config;
    config.registry = std::make_unique<platform::Registry>(RegistryPath());
    config.store = std::make_unique<TConfigStore>(Start(), *config.registry);
    config.store->SetLogSink([this](const std::string& line) { log.push_back(line); });
    config.packers = &InstallPackerConfig(*config.store);
    config.unpackJobs = &InstallUnpackJobConfig(*config.store);
    config.store->LoadConfiguration();
    config.store->MakeCurrent();
    return config;
  }

  // Writes into the registry file before a load.
  void Seed(const std::function<void(TWinRegistry&)>& fill) {
    platform::Registry registry(RegistryPath());
    {
      TWinRegistry reg(kConfigRootKey, registry);
      fill(reg);
      reg.Flush();
    }
  }

  // The registry file's text with the start directory replaced by "$START/".
  std::string RegistryText() const {
    std::string text = platform::Registry(RegistryPath()).ToText();
    const std::string start = Start();
    for (size_t pos = 0; (pos = text.find(start, pos)) != std::string::npos;)
      text.replace(pos, start.size(), "$START/");
    return text;
  }

  TempDir dir;
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  std::vector<std::string> log;
  uint32_t fileSerial = 0, msgIdSerial = 0;
};

}  // namespace velmaris::test

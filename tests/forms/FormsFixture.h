// A configuration store in a temporary start directory for the forms'
// tests, and a way to look at a window once (VELMARIS_SHOTS=folder saves
// each window's picture there).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "core/ConfigStore.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "support/qt/QtTestApp.h"

namespace velmaris::test {

class FormsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&prompter);
    platform::SetDispatcher(&dispatcher);
    registry = std::make_unique<platform::Registry>(dir / "Velmaris.reg");
    store = std::make_unique<TConfigStore>(dir.Path() + "start/", *registry);
    store->LoadConfiguration();
    store->MakeCurrent();
  }
  void TearDown() override {
    store.reset();
    registry.reset();
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
  }
  // The named child of `w`; a failure when there is none.
  template <class T>
  T* Get(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  static void Shot(QWidget& w, const char* name) { SaveShot(w, name); }
  TempDir dir;
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
  std::unique_ptr<platform::Registry> registry;
  std::unique_ptr<TConfigStore> store;
};

}  // namespace velmaris::test

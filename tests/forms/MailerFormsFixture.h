// A loaded configuration with the mailer profiles installed, for the tests of
// the mailer's windows.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QWidget>
#include <cstdlib>

#include "core/ConfigStoreFixture.h"
#include "core/MailBox.h"
#include "mailer/Mailers.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {

class MailerFormsFixture : public ConfigStoreFixture {
 protected:
  void SetUp() override {
    ConfigStoreFixture::SetUp();
    config.registry = std::make_unique<platform::Registry>(RegistryPath());
    config.store = std::make_unique<TConfigStore>(Start(), *config.registry);
    profiles = &InstallMailerConfig(*config.store);
    config.store->LoadConfiguration();
    config.store->MakeCurrent();
  }
  void TearDown() override {
    SetModalHook(nullptr);
    SetMailerWindowFactory(nullptr);
    config.store.reset();
    ConfigStoreFixture::TearDown();
  }
  // With VELMARIS_SHOTS set, the window as a PNG in that folder.
  static void Shot(QWidget& w, const char* name) {
    if (const char* folder = std::getenv("VELMARIS_SHOTS")) {
      QCoreApplication::processEvents();  // pending layout, as a user would see it
      w.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
    }
  }
  LoadedConfig config;
  TMailerConfig* profiles = nullptr;
};

}  // namespace velmaris::test

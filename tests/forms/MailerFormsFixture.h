// A loaded configuration with the mailer profiles installed, for the tests of
// the mailer's windows.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/ConfigStoreFixture.h"
#include "core/MailBox.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/LineFixtures.h"
#include "mailer/Mailers.h"
#include "platform/Files.h"
#include "support/qt/QtTestApp.h"
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
  // A mailbox of that name and address, listed under its name.
  TMailBox* AddBox(const char* name, const char* address) {
    TMailBox* box = config->AddDefaultMailbox();
    box->Name = name;
    box->Address.SetText(address);
    config->Mailboxes().SetString(config->Mailboxes().IndexOf(box), name);
    return box;
  }
  // A call ready to be made: the uplink 2:5020/1042 with its mailbox "Boss"
  // (555-1234) handled by a new profile, which is returned, over the line
  // "Line" of a fake modem that the EMSI test peer answers (with peerArgs
  // added to its command line).
  TMailer* PrepareCall(std::unique_ptr<FakeModem>& modem, const std::string& peerArgs = "") {
    SetTapiDebugLogPath(dir / "cmdebug.txt");
    TNetLink* link = config->Uplinks().GetItem(0);
    link->UplinkAddress.SetText("2:5020/1042");
    link->SysopAddress.SetText("2:5020/1042.7");
    TMailer* profile = profiles->AddMailer(*config);
    TMailBox* box = AddBox("Boss", "2:5020/1042");
    box->Numbers = {"555-1234"};
    box->Command = profile->Name();
    platform::MakeDirs(dir / "peer-in");
    modem = std::make_unique<FakeModem>(
        dir, std::vector<std::string>{"--peer", CommandWord(EMSIPEER) + " --inbound " +
                                                    CommandWord(dir / "peer-in") + " --log " +
                                                    CommandWord(dir / "peer.log") + peerArgs});
    config->SettingsModel().SetLines(SettingId::ModemLines, {"Line=" + modem->Link()});
    return profile;
  }
  // With VELMARIS_SHOTS set, the window as a PNG in that folder.
  static void Shot(QWidget& w, const char* name) { SaveShot(w, name); }
  LoadedConfig config;
  TMailerConfig* profiles = nullptr;
};

}  // namespace velmaris::test

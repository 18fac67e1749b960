// A start directory with a registry file, areas with stored messages, and
// the main window on it, with the application's dispatcher and a scripted
// prompter.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "app/KQMainWindow.h"
#include "app/logic/ConfigSession.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/MsgBaseFixtures.h"
#include "widgets/EZBetterListBox.h"

namespace velmaris::test {

// An area to prepare: its name (kSeparatorName for a separator) and the
// flag words of its messages.
struct AreaSpec {
  std::string name;
  std::vector<uint16_t> flags;
};

class MainWindowFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(ForceDirectoryPath(Start()));
  }
  void TearDown() override {
    window.reset();
    AppFixture::TearDown();
  }

  std::string Start() const { return dir.Path() + "start/"; }
  std::string RegistryPath() const { return dir / "Velmaris.reg"; }

  // Stores the areas (after the system areas) with their messages.
  void Prepare(const std::vector<AreaSpec>& areas) {
    TConfigSession session(Start(), RegistryPath());
    session.Load();
    TConfigStore& store = session.Store();
    int n = 0;
    for (const AreaSpec& entry : areas) {
      const bool separator = entry.name == kSeparatorName;
      TArea* area =
          store.AddAreaQuiet(entry.name, separator ? "Separator" : entry.name,
                             separator ? AreaTypeCode::Separator : AreaTypeCode::Echomail, nullptr);
      ASSERT_NE(area, nullptr) << entry.name;
      if (entry.flags.empty()) continue;
      for (uint16_t flags : entry.flags) area->QueueMail(MakeMail(++n, 40, flags), false);
      ASSERT_TRUE(area->WriteQueuedMail());
    }
    ASSERT_TRUE(session.Save());
  }

  TKQMainWindow& Open() {
    window = std::make_unique<TKQMainWindow>(Start(), RegistryPath());
    return *window;
  }

  QStringList Rows() const { return window->AreaListBox()->Items(); }
  QString Status() const { return window->AreaCountPanel()->text(); }
  TArea* Area(const std::string& name) { return window->ConfigStore().FindArea(name); }

  std::unique_ptr<TKQMainWindow> window;
};

// Flag words, n times.
inline std::vector<uint16_t> Times(int n, uint16_t flags) {
  return std::vector<uint16_t>(static_cast<size_t>(n), flags);
}
inline std::vector<uint16_t> Join(std::initializer_list<std::vector<uint16_t>> parts) {
  std::vector<uint16_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace velmaris::test

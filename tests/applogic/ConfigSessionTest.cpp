#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/logic/ConfigSession.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

std::vector<std::string> AreaNames(TConfigStore& store) {
  std::vector<std::string> names;
  for (int i = 0; i < store.Areas().GetCount(); ++i) names.push_back(store.Areas().GetString(i));
  return names;
}

class ConfigSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetPrompter(&prompter);
    platform::SetDispatcher(&dispatcher);
  }
  void TearDown() override {
    platform::SetPrompter(nullptr);
    platform::SetDispatcher(nullptr);
  }
  std::string Start() const { return dir.Path() + "start/"; }
  std::string RegistryPath() const { return dir / "config/Velmaris.reg"; }

  test::TempDir dir;
  platform::ScriptedPrompter prompter;
  platform::PlainDispatcher dispatcher;
};

TEST_F(ConfigSessionTest, LoadedSessionIsTheProcessWideOneUntilItEnds) {
  // What a configuration holds is checked with the store; here, what the
  // session makes reachable and takes back.
  ASSERT_TRUE(ForceDirectoryPath(Start()));
  ASSERT_TRUE(ForceDirectoryPath(dir.Path() + "config/"));
  {
    TConfigSession session(Start(), RegistryPath());
    session.Load();
    EXPECT_EQ(GetConfigStore(), &session.Store());
    EXPECT_EQ(GetAreaList(), &session.Store().Areas());
    EXPECT_EQ(&platform::GetRegistry(), &session.Registry());
    ASSERT_NE(GetPackerList(), nullptr);
    EXPECT_GT(GetPackerList()->GetCount(), 0);
    ASSERT_NE(GetUnpackJobList(), nullptr);
    GetUnpackJobList()->AddJob(
        "Files", std::make_unique<TUnpackJob>("/fido/files/*.zip", "/fido/out/", "", 0));
    ASSERT_NE(session.Store().AddAreaQuiet("FIDO.GER", "FIDO.GER", AreaTypeCode::Echomail, nullptr),
              nullptr);
    EXPECT_TRUE(session.Save());
    EXPECT_TRUE(prompter.Questions().empty());
  }
  EXPECT_EQ(GetConfigStore(), nullptr);
  EXPECT_EQ(GetAreaList(), nullptr);
  EXPECT_EQ(GetPackerList(), nullptr);
  EXPECT_EQ(GetUnpackJobList(), nullptr);

  TConfigSession again(Start(), RegistryPath());
  again.Load();
  EXPECT_EQ(AreaNames(again.Store()),
            (std::vector<std::string>{"NETMAIL", "BAD", "DUPES", "FIDO.GER"}));
  ASSERT_NE(GetUnpackJobList(), nullptr);
  ASSERT_EQ(GetUnpackJobList()->GetCount(), 1);
  EXPECT_EQ(GetUnpackJobList()->GetString(0), "Files");
}

TEST_F(ConfigSessionTest, MalformedRegistryFileIsRefused) {
  dir.Write("bad.reg", "this is not a registry file\n");
  EXPECT_THROW(TConfigSession(Start(), dir / "bad.reg"), platform::ERegistry);
  // A refused session leaves no process-wide registry behind.
  EXPECT_NE(platform::GetRegistry().Path(), dir / "bad.reg");
}

}  // namespace
}  // namespace velmaris

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

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

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

TEST_F(ConfigSessionTest, FreshStartGivesAWorkingConfiguration) {
  ASSERT_TRUE(ForceDirectoryPath(Start()));
  ASSERT_TRUE(ForceDirectoryPath(dir.Path() + "config/"));
  TConfigSession session(Start(), RegistryPath());
  session.Load();
  TConfigStore& store = session.Store();
  EXPECT_EQ(GetConfigStore(), &store);
  EXPECT_EQ(GetAreaList(), &store.Areas());
  EXPECT_EQ(&platform::GetRegistry(), &session.Registry());
  EXPECT_EQ(AreaNames(store), (std::vector<std::string>{"NETMAIL", "BAD", "DUPES"}));
  EXPECT_EQ(store.Areas().GetItem(0)->AreaType, AreaTypeCode::Netmail);
  EXPECT_EQ(store.Areas().GetItem(1)->AreaType, AreaTypeCode::Badmail);
  EXPECT_EQ(store.Areas().GetItem(2)->AreaType, AreaTypeCode::Dupes);
  EXPECT_EQ(store.Uplinks().GetCount(), 1);
  EXPECT_EQ(store.TextGroups().GetCount(), 1);
  ASSERT_NE(GetPackerList(), nullptr);
  EXPECT_GT(GetPackerList()->GetCount(), 0);
  EXPECT_NE(GetUnpackJobList(), nullptr);
  // The directories of the defaults lie below the start directory.
  EXPECT_TRUE(IsDirectory(Start() + "Msgbase"));
  EXPECT_TRUE(IsDirectory(Start() + "Outbound"));
  // Nothing asked on a first start.
  EXPECT_TRUE(prompter.Questions().empty());
}

TEST_F(ConfigSessionTest, SavedConfigurationComesBack) {
  ASSERT_TRUE(ForceDirectoryPath(Start()));
  ASSERT_TRUE(ForceDirectoryPath(dir.Path() + "config/"));
  {
    TConfigSession session(Start(), RegistryPath());
    session.Load();
    ASSERT_NE(session.Store().AddAreaQuiet("!SEP!", "Separator", AreaTypeCode::Separator, nullptr),
              nullptr);
    ASSERT_NE(session.Store().AddAreaQuiet("FIDO.GER", "FIDO.GER", AreaTypeCode::Echomail,
                                           session.Store().Uplinks().GetItem(0)),
              nullptr);
    ASSERT_NE(GetUnpackJobList(), nullptr);
    GetUnpackJobList()->AddJob(
        "Files", std::make_unique<TUnpackJob>("/fido/files/*.zip", "/fido/out/", "", 0));
    EXPECT_TRUE(session.Save());
  }
  // The session cleared its process-wide references.
  EXPECT_EQ(GetConfigStore(), nullptr);
  EXPECT_EQ(GetAreaList(), nullptr);
  EXPECT_EQ(GetPackerList(), nullptr);
  EXPECT_EQ(GetUnpackJobList(), nullptr);

  TConfigSession again(Start(), RegistryPath());
  again.Load();
  EXPECT_EQ(AreaNames(again.Store()),
            (std::vector<std::string>{"NETMAIL", "BAD", "DUPES", "!SEP!", "FIDO.GER"}));
  EXPECT_EQ(again.Store().Areas().GetItem(3)->AreaType, AreaTypeCode::Separator);
  EXPECT_EQ(again.Store().Areas().GetItem(4)->Uplink, again.Store().Uplinks().GetItem(0));
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

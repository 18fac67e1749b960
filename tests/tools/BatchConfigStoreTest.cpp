// The batch driver works on the configuration the program's start-up loads:
// a fresh start directory becomes a complete configuration, and "write"
// creates a missing area as the configuration store adds one and saves the
// whole configuration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/PackerConfig.h"
#include "core/ConfigStore.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

class BatchConfigStoreTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args, std::string* out = nullptr) {
    return RunBatch(dir.Path(), dir / "Velmaris.reg", args, out);
  }
  TempDir dir;
};

TEST_F(BatchConfigStoreTest, WriteCreatesTheAreaAndSavesTheConfiguration) {
  std::string out;
  ASSERT_EQ(Run({"areas"}, &out), 0);
  EXPECT_NE(out.find("\"name\":\"NETMAIL\""), std::string::npos);
  for (const char* folder : {"Inbound", "Outbound", "Msgbase", "Filebase"})
    EXPECT_TRUE(platform::DirExists(dir / folder)) << folder;

  ASSERT_EQ(Run({"write", "MY.ECHO", "--from", "Me", "--to", "All", "--subject", "Hi"}), 0);

  platform::Registry registry(dir / "Velmaris.reg");
  TConfigStore store(dir.Path(), registry);
  InstallPackerConfig(store);
  store.LoadConfiguration();
  std::vector<std::string> names;
  for (int i = 0; i < store.Areas().GetCount(); ++i) names.push_back(store.Areas().GetString(i));
  EXPECT_EQ(names, (std::vector<std::string>{"NETMAIL", "BAD", "DUPES", "MY.ECHO"}));
  TArea* area = store.FindArea("MY.ECHO");
  EXPECT_EQ(area->AreaType, AreaTypeCode::Echomail);
  EXPECT_EQ(area->Uplink, store.Uplinks().GetItem(0));
  // The whole configuration was saved, with the packers and their markers.
  EXPECT_EQ(GetPackerList()->GetCount(), 5);
  EXPECT_TRUE(store.ReadUpdateMarker("Standard Packers"));
  EXPECT_GT(registry.ReadDWord(store.Registry().KeyOf("Serials"), "LastMsgIdSerial"), 0u);
}

}  // namespace
}  // namespace velmaris::test

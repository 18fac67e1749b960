// Removing areas and uplinks: what is deleted, what stays, and the boxes.
#include <gtest/gtest.h>

#include "TosserFixtures.h"
#include "processing/AreaRemoval.h"

namespace velmaris::test {
namespace {

using Removal = TosserFixture;

TEST_F(Removal, AreasInUseAndUnknownNamesStayWithTheirBox) {
  struct Case {
    TRemovalTexts texts;
    const char* missingText;
    const char* inUseText;
  };
  const Case cases[] = {
      {TRemovalTexts::Uplink, "Could not find area NOPE",
       "The area BUSY is in use and cannot be deleted!"},
      {TRemovalTexts::Area, "Could not find area  NOPE !",
       "The area BUSY is in use and cannot be deleted !"},
  };
  for (const Case& c : cases) {
    Fresh();
    TArea* gone = AddEcho("GONE");
    gone->QueueMail(std::make_unique<TMail>(std::string(200, 'x'), TMsgHeader{}));
    ASSERT_TRUE(gone->WriteQueuedMail());
    const std::string file = gone->FilePath(".PackedIndex");
    ASSERT_TRUE(platform::FileExists(file));
    ASSERT_TRUE(AddEcho("BUSY")->Lock(false));
    std::vector<std::pair<int, int>> steps;
    EXPECT_EQ(DeleteListedAreas(*store, {"GONE", "NOPE", "BUSY"}, c.texts,
                                [&](int p, int n) { steps.emplace_back(p, n); }),
              1);
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(store->FindArea("GONE"), nullptr);
    EXPECT_FALSE(platform::FileExists(file));
    ASSERT_NE(store->FindArea("BUSY"), nullptr);
    store->FindArea("BUSY")->Unlock();
    const auto q = prompter.Questions();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].kind, platform::MsgKind::Error);
    EXPECT_EQ(q[0].text, c.missingText);
    EXPECT_EQ(q[0].buttons, platform::mbAbort);
    EXPECT_EQ(q[1].kind, platform::MsgKind::Warning);
    EXPECT_EQ(q[1].text, c.inUseText);
  }
}

TEST_F(Removal, UplinkGoesOnlyWithoutAreasAndNetmailIsNeverListed) {
  TNetLink* link = store->Uplinks().GetItem(0);
  store->FindArea("NETMAIL")->SetUplink(link);
  AddEcho("ECHO.A");
  EXPECT_EQ(AreasOfUplink(*store, link), (std::vector<std::string>{"ECHO.A"}));
  DeleteListedAreas(*store, AreasOfUplink(*store, link), TRemovalTexts::Uplink);
  EXPECT_FALSE(RemoveUnusedUplink(*store, link));
  store->FindArea("NETMAIL")->SetUplink(nullptr);
  EXPECT_TRUE(RemoveUnusedUplink(*store, link));
  EXPECT_EQ(store->Uplinks().GetCount(), 0);
  ASSERT_NE(store->FindArea("BAD"), nullptr);  // the collectors stay, unbound
  EXPECT_EQ(store->FindArea("BAD")->Uplink, nullptr);
  Load();  // saved without it (the load adds the default uplink back)
  EXPECT_EQ(store->FindArea("ECHO.A"), nullptr);
}

}  // namespace
}  // namespace velmaris::test

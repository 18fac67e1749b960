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
    std::vector<TKeptArea> kept;
    EXPECT_EQ(DeleteListedAreas(
                  *store, {"GONE", "NOPE", "BUSY"}, c.texts,
                  [&](int p, int n) { steps.emplace_back(p, n); }, &kept),
              1);
    EXPECT_EQ(kept, (std::vector<TKeptArea>{{"NOPE", TKeptArea::Reason::NotFound},
                                            {"BUSY", TKeptArea::Reason::InUse}}));
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

// The uplink goes once the areas that go with it are gone; the areas that
// hold every uplink's mail (NETMAIL, BAD, DUPES, other netmail areas) are
// never listed, never keep it, and stay unbound. An area that could not be
// deleted (in use) keeps it, and then nothing changes.
TEST_F(Removal, UplinkGoesOnceItsAreasAreGoneWhateverElseIsBoundToIt) {
  struct Case {
    const char* name;
    std::vector<std::string> bound;  // bound to the uplink besides ECHO.A
    bool echoInUse;
    bool removed;
  };
  const Case cases[] = {
      {"NETMAIL bound", {"NETMAIL"}, false, true},
      {"collectors bound", {"BAD", "DUPES"}, false, true},
      {"all system areas and a second netmail area", {"NETMAIL", "BAD", "DUPES", "NET.2"}, false,
       true},
      {"nothing else bound", {}, false, true},
      {"the echo in use", {"NETMAIL"}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    TNetLink* link = store->Uplinks().GetItem(0);
    ASSERT_NE(store->AddAreaQuiet("NET.2", "NET.2", AreaTypeCode::Netmail, nullptr), nullptr);
    for (TArea* area : store->Areas().Areas()) area->SetUplink(nullptr);
    for (const std::string& name : c.bound) store->FindArea(name)->SetUplink(link);
    TArea* echo = AddEcho("ECHO.A");
    ASSERT_EQ(echo->Uplink, link);
    EXPECT_EQ(AreasOfUplink(*store, link), (std::vector<std::string>{"ECHO.A"}));
    if (c.echoInUse) {
      ASSERT_TRUE(echo->Lock(false));
    }
    DeleteListedAreas(*store, AreasOfUplink(*store, link), TRemovalTexts::Uplink);
    EXPECT_EQ(RemoveUnusedUplink(*store, link), c.removed);
    EXPECT_EQ(store->Uplinks().GetCount(), c.removed ? 0 : 1);
    for (const std::string& name : c.bound) {
      ASSERT_NE(store->FindArea(name), nullptr) << name;  // never deleted
      EXPECT_EQ(store->FindArea(name)->Uplink, c.removed ? nullptr : link) << name;
    }
    if (c.echoInUse) {
      store->FindArea("ECHO.A")->Unlock();
      continue;
    }
    Load();  // saved without it (the load adds the default uplink back)
    EXPECT_EQ(store->FindArea("ECHO.A"), nullptr);
    ASSERT_NE(store->FindArea("NETMAIL"), nullptr);
  }
}

}  // namespace
}  // namespace velmaris::test

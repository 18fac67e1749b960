#include "core/TextGroups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PubLst.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

constexpr TTextPart kAllParts[] = {
    TTextPart::CommentFooter, TTextPart::CommentHeader, TTextPart::ForwardFooter,
    TTextPart::ForwardHeader, TTextPart::NewHeader,     TTextPart::NewFooter,
    TTextPart::Origins,       TTextPart::ReplyHeader,   TTextPart::ReplyFooter,
};

std::string Describe(const TTextGroup& g) {
  std::string s;
  for (TTextPart part : kAllParts) {
    s += std::string(TextPartName(part)) + ":";
    for (const auto& line : g.Part(part)) s += "[" + line + "]";
    s += ";";
  }
  return s;
}

using TextGroupsRegistryTest = RegistryFixture;

TEST_F(TextGroupsRegistryTest, RoundTripKeepsNamesOrderAndEveryPart) {
  TZRTexts groups;
  auto standard = std::make_unique<TTextGroup>();
  FillDefaultTextGroup(*standard, {"Ann Point"});
  groups.Add("New Group", std::move(standard));
  auto odd = std::make_unique<TTextGroup>();
  for (TTextPart part : kAllParts) odd->Part(part) = {std::string(TextPartName(part)) + " \"x\""};
  groups.Add("Odd \\ one", std::move(odd));
  groups.SaveToRegistry(reg);

  TZRTexts loaded;
  for (int pass = 0; pass < 2; ++pass) {  // loading again does not duplicate
    loaded.LoadFromRegistry(reg);
    ASSERT_EQ(loaded.GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(loaded.GetString(i), groups.GetString(i));
      EXPECT_EQ(Describe(*loaded.GetItem(i)), Describe(*groups.GetItem(i)));
    }
  }
}

// ---------------------------------------------------------------------------
// The default group

TEST(TextGroupDefaultTest, FooterEndsInTheSignatureOnlyWhenTheUserHasAName) {
  TTextGroup named, nameless;
  FillDefaultTextGroup(named, {"Ann Point", "A. Point"});
  FillDefaultTextGroup(nameless, {});
  const std::string signature = "               Ann Point";
  EXPECT_EQ(named.ReplyFooter, (std::vector<std::string>{"", "Bye ..", signature}));
  EXPECT_EQ(nameless.ReplyFooter, (std::vector<std::string>{"", "Bye .."}));
  for (auto TTextGroup::*part :
       {&TTextGroup::CommentFooter, &TTextGroup::NewFooter, &TTextGroup::ForwardFooter}) {
    EXPECT_EQ((named.*part).back(), signature);
    EXPECT_EQ((nameless.*part).back(), "Bye ..");
  }
  EXPECT_EQ(named.Origins, std::vector<std::string>{"Original Velmaris Origin!"});
  EXPECT_EQ(named.NewHeader, (std::vector<std::string>{"Hi %newdestfirst,", ""}));
}

TEST(TextGroupDefaultTest, ForwardedMessagesAreFramedBySeparatorLines) {
  TTextGroup g;
  FillDefaultTextGroup(g, {});
  const std::string separator = g.ForwardHeader.front();
  EXPECT_EQ(separator.size(), 77u);
  EXPECT_EQ(separator.substr(0, 5), ">-=-=");
  EXPECT_EQ(separator.substr(71), "-=-=-<");
  ASSERT_EQ(g.ForwardHeader.size(), 10u);
  EXPECT_EQ(g.ForwardHeader[2], separator);
  EXPECT_EQ(g.ForwardHeader[4], ">  From: *%on(%oa)*");
  EXPECT_EQ(g.ForwardHeader[8], separator);
  EXPECT_EQ(g.ForwardHeader[9], "");
  ASSERT_EQ(g.ForwardFooter.size(), 5u);
  EXPECT_EQ(g.ForwardFooter[0], separator);
  EXPECT_EQ(g.ForwardFooter[1].size(), 78u);
  EXPECT_EQ(g.ForwardFooter[2], separator);
  EXPECT_EQ(g.CommentHeader[4], "about *\"%su\"*.");
}

// ---------------------------------------------------------------------------
// Keeping the areas' text-group indices in step

// The areas, as far as text groups are concerned.
struct FakeAreas : TTextGroupUsers {
  std::vector<int32_t> groups;
  int remaps = 0;
  void RemapTextGroups(const std::function<int32_t(int32_t)>& remap) override {
    ++remaps;
    for (auto& g : groups) g = remap(g);
  }
};

struct Fixture {
  TZRTexts list;
  FakeAreas areas;
  Fixture(int count, std::vector<int32_t> areaGroups) {
    areas.groups = std::move(areaGroups);
    list.SetUsers(&areas);
    for (int i = 0; i < count; ++i)
      list.Add("G" + std::to_string(i), std::make_unique<TTextGroup>());
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.GetString(i));
    return out;
  }
};

TEST(ZRTextsTest, DeleteMovesAreasToTheGroupBefore) {
  struct Case {
    const char* name;
    int deleted;
    std::vector<int32_t> before, after;
  } cases[] = {
      {"first group", 0, {0, 1, 2, -1}, {-1, 0, 1, -1}},
      {"middle group", 1, {0, 1, 2, -1}, {0, 0, 1, -1}},
      {"last group", 2, {2, 2, 0}, {1, 1, 0}},
  };
  for (const auto& c : cases) {
    Fixture f(3, c.before);
    f.list.Delete(c.deleted);
    EXPECT_EQ(f.areas.groups, c.after) << c.name;
    EXPECT_EQ(f.list.GetCount(), 2) << c.name;
  }
}

TEST(ZRTextsTest, DeleteOutOfRangeRaisesAndChangesNoArea) {
  Fixture f(2, {0, 1});
  EXPECT_THROW(f.list.Delete(2), EListIndexError);
  EXPECT_EQ(f.areas.remaps, 0);
  EXPECT_EQ(f.areas.groups, (std::vector<int32_t>{0, 1}));
}

TEST(ZRTextsTest, MovesSwapTheGroupsAndTheAreasIndices) {
  struct Case {
    const char* name;
    bool up;
    int index;
    std::vector<std::string> names;
    std::vector<int32_t> after;
    int remaps;
  } cases[] = {
      {"second up", true, 1, {"G1", "G0", "G2"}, {1, 0, 2, -1, 0}, 1},
      {"last up", true, 2, {"G0", "G2", "G1"}, {0, 2, 1, -1, 2}, 1},
      {"first down", false, 0, {"G1", "G0", "G2"}, {1, 0, 2, -1, 0}, 1},
      {"middle down", false, 1, {"G0", "G2", "G1"}, {0, 2, 1, -1, 2}, 1},
      {"first up", true, 0, {"G0", "G1", "G2"}, {0, 1, 2, -1, 1}, 0},
      {"last down", false, 2, {"G0", "G1", "G2"}, {0, 1, 2, -1, 1}, 0},
      {"beyond the end", true, 7, {"G0", "G1", "G2"}, {0, 1, 2, -1, 1}, 0},
  };
  for (const auto& c : cases) {
    Fixture f(3, {0, 1, 2, -1, 1});
    if (c.up) {
      f.list.MoveUp(c.index);
    } else {
      f.list.MoveDown(c.index);
    }
    EXPECT_EQ(f.Names(), c.names) << c.name;
    EXPECT_EQ(f.areas.groups, c.after) << c.name;
    EXPECT_EQ(f.areas.remaps, c.remaps) << c.name;
  }
}

}  // namespace
}  // namespace velmaris::test

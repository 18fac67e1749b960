#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/PubLst.h"
#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

struct Item : TObject {
  explicit Item(int v) : value(v) {}
  int value;
};

// A list box or combo box that records what the list did to it.
class FakeControl : public TListControl {
 public:
  int GetItemIndex() const override { return index; }
  void SetItemIndex(int i) override { index = (i >= 0 && i < (int)items.size()) ? i : -1; }
  void SetItems(const std::vector<std::string>& names) override {
    items = names;
    index = -1;
    ++fills;
  }
  std::vector<std::string> items;
  int index = -1;
  int fills = 0;
};

class PubLstTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list.OnChange = [this](TPubLst& sender) {
      EXPECT_EQ(&sender, &list);
      ++events;
    };
  }
  void Fill(std::initializer_list<const char*> names) {
    list.BeginUpdate();
    for (auto* n : names) {
      items.push_back(std::make_unique<Item>((int)items.size()));
      list.AddObject(n, items.back().get());
    }
    list.EndUpdate();
    events = 0;
  }
  TPubLst list;
  std::vector<std::unique_ptr<Item>> items;
  int events = 0;
};

TEST_F(PubLstTest, EveryChangeOutsideABracketFiresOnce) {
  Item a(1), b(2);
  struct Case {
    const char* what;
    std::function<void()> change;
  } cases[] = {
      {"add", [&] { list.AddObject("x", &a); }},
      {"insert", [&] { list.InsertObject(0, "y", &b); }},
      {"rename", [&] { list.SetString(0, "z"); }},
      {"object", [&] { list.SetObject(0, &a); }},
      {"move up", [&] { list.MoveUp(1); }},
      {"move down", [&] { list.MoveDown(0); }},
      {"delete", [&] { list.Delete(0); }},
      {"clear", [&] { list.Clear(); }},
  };
  for (auto& c : cases) {
    events = 0;
    c.change();
    EXPECT_EQ(events, 1) << c.what;
  }
}

TEST_F(PubLstTest, ChangesThatChangeNothingFireNothing) {
  Fill({"A", "B"});
  list.SetString(0, "A");
  list.MoveUp(0);
  list.MoveDown(1);
  list.MoveUp(2);
  list.MoveDown(-1);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(list.GetString(0), "A");

  TPubLst empty;
  int fired = 0;
  empty.OnChange = [&](TPubLst&) { ++fired; };
  empty.MoveUp(0);
  empty.MoveDown(0);
  EXPECT_EQ(fired, 0);
}

TEST_F(PubLstTest, BracketFiresOnceAtEndAndNotAgain) {
  FakeControl box;
  list.AttachListBox(&box);
  box.fills = 0;
  Item a(1);
  list.BeginUpdate();
  list.AddObject("a", &a);
  list.AddObject("b", &a);
  list.Delete(0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(box.fills, 0);
  EXPECT_TRUE(list.IsChangePending());
  list.EndUpdate();
  EXPECT_EQ(events, 1);
  EXPECT_EQ(box.fills, 1);
  EXPECT_FALSE(list.IsChangePending());
  // A later bracket without changes stays quiet.
  list.BeginUpdate();
  list.EndUpdate();
  EXPECT_EQ(events, 1);
}

TEST_F(PubLstTest, BracketsDoNotNest) {
  Item a(1);
  list.BeginUpdate();
  list.BeginUpdate();
  list.AddObject("a", &a);
  list.EndUpdate();
  EXPECT_EQ(events, 1);
  EXPECT_FALSE(list.IsUpdating());
  list.AddObject("b", &a);
  EXPECT_EQ(events, 2);
  list.EndUpdate();
  EXPECT_EQ(events, 2);
}

TEST_F(PubLstTest, AssignCopiesEntriesWithOneEvent) {
  TPubLst other;
  Item a(1), b(2), c(3);
  other.AddObject("one", &a);
  other.AddObject("two", &b);
  other.AddObject("three", &c);
  Fill({"old"});
  list.Assign(other);
  EXPECT_EQ(events, 1);
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(list.GetString(2), "three");
  EXPECT_EQ(list.GetObject(1), &b);
}

TEST_F(PubLstTest, FindersCompareAsTold) {
  // Names are in the ANSI code page (CP1251), whose letters fold.
  const std::string friends = platform::FromUtf8("Друзья", platform::CodePage::CP1251);
  Fill({"NETMAIL", "Bad", "netmail", friends.c_str()});
  EXPECT_EQ(list.ObjectByName("netmail"), items[0].get());  // first match, any case
  EXPECT_EQ(list.ObjectByName("BAD"), items[1].get());
  EXPECT_EQ(list.ObjectByName(platform::FromUtf8("ДРУЗЬЯ", platform::CodePage::CP1251)),
            items[3].get());
  EXPECT_EQ(list.ObjectByName("DUPES"), nullptr);
  Item stranger(7);
  EXPECT_EQ(list.IndexOfObject(items[2].get()), 2);
  EXPECT_EQ(list.IndexOfObject(&stranger), -1);
}

TEST_F(PubLstTest, IndexOutOfRangeRaises) {
  Fill({"a"});
  Item a(1);
  EXPECT_THROW(list.GetObject(1), EListIndexError);
  EXPECT_THROW(list.GetString(-1), EListIndexError);
  EXPECT_THROW(list.SetString(3, "x"), EListIndexError);
  EXPECT_THROW(list.SetObject(1, &a), EListIndexError);
  EXPECT_THROW(list.Delete(1), EListIndexError);
  EXPECT_THROW(list.InsertObject(2, "x", &a), EListIndexError);
  list.InsertObject(1, "end", &a);  // at the end is fine
  EXPECT_EQ(list.GetString(1), "end");
}

TEST_F(PubLstTest, SortIsByteOrderStableAndAnnouncedOnce) {
  Fill({"delta", "Bravo", "alpha", "Charlie", "alpha", "ECHO"});
  Item* firstAlpha = items[2].get();
  Item* secondAlpha = items[4].get();
  list.Sort();
  std::vector<std::string> names;
  for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetString(i));
  EXPECT_EQ(names,
            (std::vector<std::string>{"Bravo", "Charlie", "ECHO", "alpha", "alpha", "delta"}));
  EXPECT_EQ(list.GetObject(3), firstAlpha);
  EXPECT_EQ(list.GetObject(4), secondAlpha);
  EXPECT_EQ(events, 1);

  events = 0;
  list.Sort();  // already sorted: nothing moves, nothing announced
  EXPECT_EQ(events, 0);
}

TEST_F(PubLstTest, SortComparesBytesAsUnsigned) {
  Fill({"\xE0\xE1", "zz", "\x80"});
  list.Sort();
  EXPECT_EQ(list.GetString(0), "zz");
  EXPECT_EQ(list.GetString(1), "\x80");
  EXPECT_EQ(list.GetString(2), "\xE0\xE1");
}

// The names are ANSI (CP1251) text: Ё and ё, which that code page keeps
// below А, sort after Е and е; capitals still come before small letters.
TEST_F(PubLstTest, SortPutsYoAfterYe) {
  const auto ansi = [](const char* utf8) {
    return platform::FromUtf8(utf8, platform::CodePage::CP1251);
  };
  const std::vector<std::string> names = {ansi("жанна"), ansi("Жанна"), ansi("ёлкин"),
                                          ansi("Ёлкин"), ansi("Егор"),  ansi("Анна"),
                                          ansi("Ежов"),  ansi("еж"),    "Zorro"};
  list.BeginUpdate();
  for (const std::string& n : names) {
    items.push_back(std::make_unique<Item>(static_cast<int>(items.size())));
    list.AddObject(n, items.back().get());
  }
  list.EndUpdate();
  list.Sort();
  std::vector<std::string> sorted;
  for (int i = 0; i < list.GetCount(); ++i) sorted.push_back(list.GetString(i));
  EXPECT_EQ(sorted, (std::vector<std::string>{"Zorro", ansi("Анна"), ansi("Егор"), ansi("Ежов"),
                                              ansi("Ёлкин"), ansi("Жанна"), ansi("еж"),
                                              ansi("ёлкин"), ansi("жанна")}));
}

TEST_F(PubLstTest, AttachedControlsFollowTheList) {
  FakeControl box, combo, linked;
  TPubLst empty;
  empty.AttachListBox(&box);
  EXPECT_EQ(box.index, -1);  // empty list: nothing to select
  empty.DetachListBox(&box);

  Fill({"a", "b", "c"});
  list.AttachListBox(&box);
  EXPECT_EQ(box.items, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(box.index, 2);  // nothing was selected: the last row
  box.index = 0;
  list.AttachComboBox(&combo);
  combo.index = 1;
  list.SetLinkedComboBox(&linked);
  EXPECT_EQ(linked.fills, 1);
  list.SetLinkedComboBox(&linked);  // the same control: no refill
  EXPECT_EQ(linked.fills, 1);

  list.SetString(1, "B");
  EXPECT_EQ(box.items[1], "B");
  EXPECT_EQ(box.index, 0);  // selection kept
  EXPECT_EQ(combo.index, 1);
  EXPECT_EQ(linked.items[1], "B");

  list.Delete(2);
  list.Delete(1);
  EXPECT_EQ(combo.index, 0);  // old row gone: the last row

  list.DetachComboBox(&combo);
  int before = combo.fills;
  list.AddObject("d", nullptr);
  EXPECT_EQ(combo.fills, before);
  EXPECT_EQ(box.items.size(), 2u);
}

}  // namespace
}  // namespace velmaris::test

// Address book data: the entry's change notification, the lists' renames,
// and the registry form of the book and the groups.
#include <gtest/gtest.h>

#include "core/AddressBook.h"
#include "core/WinRegistry.h"
#include "support/RegistryFixture.h"

namespace velmaris::test {
namespace {

struct RecordingBox : TListControl {
  std::vector<std::string> items;
  int index = -1;
  int GetItemIndex() const override { return index; }
  void SetItemIndex(int i) override { index = i; }
  void SetItems(const std::vector<std::string>& names) override { items = names; }
};

using AddressBookTest = RegistryFixture;

// Which changes fire OnChange, and how often.
TEST(FriendTest, ChangeNotification) {
  struct Case {
    const char* what;
    std::function<void(TFriend&)> change;
    int fired;
  };
  const Case cases[] = {
      {"a new name fires at once", [](TFriend& f) { f.SetName("Anna"); }, 1},
      {"the same name fires nothing", [](TFriend& f) { f.SetName("?"); }, 0},
      {"a new e-mail address fires", [](TFriend& f) { f.SetEMail("a@b.c"); }, 1},
      {"the same e-mail address fires nothing", [](TFriend& f) { f.SetEMail(""); }, 0},
      {"an address change fires", [](TFriend& f) { f.Address().SetText("2:5020/1"); }, 1},
      {"address changes in a bracket fire once at its end",
       [](TFriend& f) {
         f.BeginUpdate();
         f.Address().SetText("2:5020/1");
         f.Address().SetText("2:5020/2.3");
         f.EndUpdate();
       },
       1},
      {"a name inside a bracket fires at once, the bracket stays quiet",
       [](TFriend& f) {
         f.BeginUpdate();
         f.SetName("Bert");
         f.EndUpdate();
       },
       1},
      {"an empty bracket fires nothing",
       [](TFriend& f) {
         f.BeginUpdate();
         f.EndUpdate();
       },
       0},
      {"a second end of a bracket fires nothing more",
       [](TFriend& f) {
         f.BeginUpdate();
         f.Address().Clear();
         f.EndUpdate();
         f.EndUpdate();
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFriend entry;
    int fired = 0;
    entry.OnChange = [&](TFriend& sender) {
      EXPECT_EQ(&sender, &entry);
      ++fired;
    };
    c.change(entry);
    EXPECT_EQ(fired, c.fired);
  }
}

TEST(GroupTest, RenamedEntryIsRenamedInTheListAndItsBoxes) {
  TGroup group;
  RecordingBox box;
  group.AttachListBox(&box);
  TFriend* anna = group.AddFriend(std::make_unique<TFriend>());
  anna->SetName("Anna");
  TFriend* bert = group.AddFriend(std::make_unique<TFriend>());
  bert->SetName("Bert");
  EXPECT_EQ(box.items, (std::vector<std::string>{"Anna", "Bert"}));
  int changes = 0;
  group.OnChange = [&](TPubLst&) { ++changes; };
  anna->BeginUpdate();
  anna->SetName("Anne");
  anna->Address().SetText("2:240/1");
  anna->EndUpdate();
  EXPECT_EQ(group.GetString(0), "Anne");
  EXPECT_EQ(box.items, (std::vector<std::string>{"Anne", "Bert"}));
  EXPECT_EQ(changes, 2);  // the rename, then the address at the bracket's end
  group.DetachListBox(&box);
}

TEST(GroupTest, EntryOutlivingItsGroupCallsNothing) {
  TFriend entry;
  {
    TGroup group;
    group.AddFriend(&entry);
  }
  entry.SetName("after");  // must not reach the freed group
  EXPECT_EQ(entry.GetName(), "after");
}

TEST_F(AddressBookTest, EntryRegistryValues) {
  TFriend entry;
  entry.SetName("Anna Bell");
  entry.SetEMail("anna@example.org");
  entry.Address().SetText("2:5020/1234.5");
  entry.Comments = {"met at \"the\" meeting", "C:\\path"};
  entry.SaveToRegistry(reg, "Addressbook\\Address1");
  const std::string key = reg.KeyOf("Addressbook\\Address1");
  EXPECT_EQ(store.ReadString(key, "Name"), "Anna Bell");
  EXPECT_EQ(store.ReadString(key, "EMail"), "anna@example.org");
  EXPECT_EQ(store.ReadString(key, "Address"), "2:5020/1234.5");
  EXPECT_EQ(store.ReadDWord(key, "CommentCount"), 2u);
  EXPECT_EQ(store.ReadString(key, "Comment1"), "met at \"the\" meeting");
  EXPECT_EQ(store.ReadString(key, "Comment2"), "C:\\path");
}

TEST_F(AddressBookTest, HugeCountsAreBounded) {
  reg.WriteInteger("Addressbook", "Count", 0x7fffffff);
  reg.WriteInteger("Addressbook\\Address1", "CommentCount", -5);
  TGroup book;
  EXPECT_NO_THROW(book.LoadFromRegistry(reg, "Addressbook"));
  EXPECT_LE(book.GetCount(), 100000);
  EXPECT_TRUE(book.GetFriend(0)->Comments.empty());
  reg.WriteInteger("Groups", "Count", 0x7fffffff);
  reg.WriteString("Groups\\Group1", "Name", "Work");
  TGroupList groups;
  groups.LoadFromRegistry(reg, "Groups");
  EXPECT_EQ(groups.GetCount(), 1);  // the groups end at the first missing key
}

TEST_F(AddressBookTest, BookAndGroupsRoundTrip) {
  TGroup book;
  for (const char* name : {"Anna", "Bert", "Anna"}) {
    auto entry = std::make_unique<TFriend>();
    entry->SetName(name);
    entry->Comments = {std::string(name) + " comment"};
    book.AddFriend(std::move(entry));
  }
  book.GetFriend(1)->Address().SetText("1:2/3.4");
  TGroupList groups;
  auto work = std::make_unique<TGroup>();
  auto colleague = std::make_unique<TFriend>();
  colleague->SetName("Carl");
  colleague->SetEMail("carl@work");
  work->AddFriend(std::move(colleague));
  groups.Add("Work", std::move(work));
  groups.Add("Empty", std::make_unique<TGroup>());
  book.SaveToRegistry(reg, "Addressbook");
  groups.SaveToRegistry(reg, "Groups");
  const std::string text = store.ToText();

  TGroup book2;
  TGroupList groups2;
  book2.LoadFromRegistry(reg, "Addressbook");
  groups2.LoadFromRegistry(reg, "Groups");
  ASSERT_EQ(book2.GetCount(), 3);
  EXPECT_EQ(book2.GetString(2), "Anna");
  EXPECT_EQ(book2.GetFriend(1)->Address().Text4D(), "1:2/3.4");
  EXPECT_EQ(book2.GetFriend(0)->Comments, std::vector<std::string>{"Anna comment"});
  ASSERT_EQ(groups2.GetCount(), 2);
  EXPECT_EQ(groups2.GetString(0), "Work");
  EXPECT_EQ(groups2.GetString(1), "Empty");
  ASSERT_EQ(groups2.GetGroup(0)->GetCount(), 1);
  EXPECT_EQ(groups2.GetGroup(0)->GetFriend(0)->GetEMail(), "carl@work");
  EXPECT_EQ(store.ReadString(reg.KeyOf("Groups\\Group1\\Address1"), "Name"), "Carl");
  EXPECT_EQ(store.ReadString(reg.KeyOf("Groups\\Group1"), "Name"), "Work");

  // Saving what was loaded writes the same registry.
  book2.SaveToRegistry(reg, "Addressbook");
  groups2.SaveToRegistry(reg, "Groups");
  EXPECT_EQ(store.ToText(), text);
}

}  // namespace
}  // namespace velmaris::test

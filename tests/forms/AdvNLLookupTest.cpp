// The nodelist browser on a small compiled list: the first search, the
// filters, taking a shown address as the filter, the address book command
// and the picker.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "FormsFixture.h"
#include "core/AddressBook.h"
#include "core/MailBox.h"
#include "nodelist/NodelistLookup.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "support/NodelistIndexSet.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/BetterListBox.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

// Calls back when the watched widget is shown.
class ShowWatch : public QObject {
 public:
  explicit ShowWatch(std::function<void()> onShow) : onShow_(std::move(onShow)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) onShow_();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onShow_;
};

class AdvNLLookupTest : public FormsFixture {
 protected:
  void SetUp() override {
    FormsFixture::SetUp();
    WriteBrowseIndexSet(dir, "");
    lookup.SetPath(dir.Path());
  }
  void Settle(TAdvNLLookup& browser) {
    ASSERT_TRUE(dispatcher.RunUntil([&] { return !browser.Updater().Running(); }));
  }
  TNodelistLookup lookup;
};

TEST_F(AdvNLLookupTest, BrowsesFiltersAndCopiesTheSysopOnce) {
  TAdvNLLookup browser(lookup,
                       {&store->AddressBook(), &store->Mailboxes(), [] { return "Modem"; }});
  EXPECT_EQ(lookup.LockCount(), 1);
  browser.show();
  Settle(browser);
  EXPECT_EQ(browser.List->Count(), 3);
  EXPECT_EQ(browser.StatusBar->text(), "3 of 3 entries shown");
  EXPECT_TRUE(browser.isEnabled());
  EXPECT_EQ(browser.ResName->text(), "Alpha");
  Shot(browser, "AdvNLLookup");

  // The busy sign plays while the filter runs, and stops with it.
  bool playedWhenShown = false;
  ShowWatch watch([&] {
    playedWhenShown = browser.Anim->IsPlaying();
    Shot(browser, "AdvNLLookupBusy");
  });
  browser.Anim->installEventFilter(&watch);
  QTest::keyClicks(browser.EdName, "new york");
  QTest::keyClick(browser.EdName, Qt::Key_Return);
  Settle(browser);
  browser.Anim->removeEventFilter(&watch);
  EXPECT_TRUE(playedWhenShown);
  EXPECT_FALSE(browser.Anim->IsPlaying());
  EXPECT_FALSE(browser.Anim->isVisible());
  ASSERT_EQ(browser.List->Count(), 1);
  EXPECT_EQ(browser.ResAddr->text(), "2:5020/1");
  EXPECT_EQ(browser.ResPhone->text(), "7-1");
  EXPECT_EQ(browser.ResFlags->text(), "CM,XA");

  browser.ResAddrButtonClick();  // the node with all its points
  Settle(browser);
  EXPECT_EQ(browser.EdName->text(), "");
  EXPECT_EQ(browser.Records(), (std::vector<int>{1, 2}));

  const int before = store->AddressBook().GetCount();
  for (int i = 0; i < 2; ++i) browser.InsAdressbuchaufnehmen1->trigger();
  ASSERT_EQ(store->AddressBook().GetCount(), before + 1);
  const TFriend& added = *store->AddressBook().GetFriend(before);
  EXPECT_EQ(added.GetName(), "Bob");
  EXPECT_EQ(added.Address().Text4D(), "2:5020/1");
  EXPECT_EQ(added.Comments, std::vector<std::string>{"Is sysop of New York"});

  browser.InMailboxenaufnehmen1->trigger();
  TMailBox& box = *store->Mailboxes().GetItem(store->Mailboxes().GetCount() - 1);
  EXPECT_EQ(box.Name, "New York");
  EXPECT_EQ(box.Command, "Modem");

  browser.RestFilterClick();
  Settle(browser);
  EXPECT_EQ(browser.List->Count(), 3);
}

TEST_F(AdvNLLookupTest, PickerReturnsTheChosenRecordOrNothing) {
  for (bool ok : {true, false}) {
    const ModalHook old = SetModalHook([&](QWidget* w) {
      auto& browser = static_cast<TAdvNLLookup&>(*w);
      EXPECT_TRUE(browser.PnOKC->isVisibleTo(&browser));
      w->show();
      Settle(browser);
      browser.List->SelectItem(1);
      browser.ListClick();
      return int(ok ? QDialog::Accepted : QDialog::Rejected);
    });
    TNodelistFilter start;
    start.City = "moscow";
    const auto pick = PickFromNodelist(lookup, start);
    SetModalHook(old);
    ASSERT_EQ(pick.has_value(), ok);
    if (!ok) continue;
    EXPECT_TRUE(SameFidoAddress(pick->Address, TFidoAddr{2, 5020, 1, 5}));
    EXPECT_EQ(pick->Sysop, "Bob Jr");
  }
  EXPECT_EQ(lookup.LockCount(), 0);
}

}  // namespace
}  // namespace velmaris::test

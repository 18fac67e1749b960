// The filter window: its named parts, filling from the filter, the check
// boxes that enable their partners, storing with Apply and OK, and Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "FormsFixture.h"
#include "processing/Secretary.h"
#include "processing/forms/FilterProperties.h"

namespace velmaris::test {
namespace {

class FilterPropertiesTest : public FormsFixture {
 protected:
  TFilter& Make() {
    auto f = std::make_unique<TFilter>();
    f->ApplySubj = true;
    f->SetSubj("offer");
    f->DoCopy = true;
    f->CopyArea = "SPAM";
    f->OrigSet = MsgFlag::Hold;
    f->CopyReset = MsgFlag::Unread;
    return *list.AddFilter("Spam", std::move(f));
  }
  TFilterList list;
};

TEST_F(FilterPropertiesTest, FillsEnablesAndStores) {
  TFilter& f = Make();
  TFilterProperties* w = ShowFilterProperties(f, list, *store);
  EXPECT_EQ(ShowFilterProperties(f, list, *store), w);  // one window per filter
  EXPECT_EQ(w->windowTitle(), "Properties of Spam");
  for (const char* name :
       {"CbType", "CbOrig", "CbDest", "CbSubj", "CbText", "CbArea", "CbCopy", "CbList", "CbUnList",
        "CbLaunch", "CbAnswer", "CbSave", "CbKill", "CbForward"})
    Get<QCheckBox>(*w, name);
  EXPECT_TRUE(Get<QLineEdit>(*w, "EdSubj")->isEnabled());
  EXPECT_EQ(Get<QLineEdit>(*w, "EdSubj")->text(), "OFFER");
  EXPECT_FALSE(Get<QLineEdit>(*w, "EdOrig")->isEnabled());
  EXPECT_EQ(Get<QComboBox>(*w, "Hold")->currentIndex(), 2);
  EXPECT_EQ(Get<QComboBox>(*w, "KUnread")->currentIndex(), 1);
  EXPECT_EQ(Get<QComboBox>(*w, "CoCopy")->count(), store->Areas().GetCount());
  QPushButton* apply = Get<QPushButton>(*w, "ApplyBtn");
  EXPECT_FALSE(apply->isEnabled());
  Get<QTabWidget>(*w, "PageControl1")->setCurrentIndex(2);
  Shot(*w, "FilterProperties");

  Get<QTabWidget>(*w, "PageControl1")->setCurrentIndex(1);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  ClickThroughWindow(Get<QCheckBox>(*w, "CbOrig"));
  EXPECT_TRUE(Get<QLineEdit>(*w, "EdOrig")->isEnabled());
  EXPECT_TRUE(apply->isEnabled());
  ClickThroughWindow(Get<QLineEdit>(*w, "EdOrig"));
  TypeThroughWindow(w, "joe");
  Get<QComboBox>(*w, "Hold")->setCurrentIndex(0);
  Get<QComboBox>(*w, "KSend")->setCurrentIndex(2);
  Get<QLineEdit>(*w, "Desc")->setText("Junk");
  ClickThroughWindow(apply);
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_TRUE(f.ApplyOrig);
  EXPECT_EQ(f.Orig(), "JOE");
  EXPECT_EQ(f.OrigSet, 0);
  EXPECT_EQ(f.CopySet, MsgFlag::Send);
  EXPECT_EQ(f.CopyReset, MsgFlag::Unread);
  EXPECT_EQ(list.GetString(0), "Junk");
  EXPECT_EQ(w->windowTitle(), "Properties of Junk");

  // Cancel closes without storing; the window frees itself.
  QPointer<TFilterProperties> guard(w);
  Get<QCheckBox>(*w, "CbKill")->click();
  Get<QPushButton>(*w, "CancelBtn")->click();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
  EXPECT_TRUE(guard.isNull());
  EXPECT_FALSE(f.DoKill);
  // A new window after that; OK stores and closes.
  w = ShowFilterProperties(f, list, *store);
  Get<QCheckBox>(*w, "CbKill")->click();
  guard = w;
  Get<QPushButton>(*w, "OKBtn")->click();
  EXPECT_TRUE(f.DoKill);
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
  EXPECT_TRUE(guard.isNull());
}

TEST_F(FilterPropertiesTest, AnOpenWindowGoesWithItsFilterAndAClosedOneLeavesTheLists) {
  auto filters = std::make_unique<TFilterList>();
  TFilter* f = filters->AddFilter("Spam", std::make_unique<TFilter>());
  QPointer<TFilterProperties> open(ShowFilterProperties(*f, *filters, *store));
  filters.reset();
  EXPECT_TRUE(open.isNull());

  // A closed window waits to be freed; the lists it showed may go first.
  QPointer<TFilterProperties> closed(ShowFilterProperties(Make(), list, *store));
  closed->close();
  EXPECT_EQ(list.GetFilter(0)->Dialog.Dialog, nullptr);
  store.reset();
  QCoreApplication::sendPostedEvents(closed, QEvent::DeferredDelete);
  EXPECT_TRUE(closed.isNull());
}

}  // namespace
}  // namespace velmaris::test

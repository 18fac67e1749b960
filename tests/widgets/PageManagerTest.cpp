// The wizard page manager driven by its Prior and Next buttons: page order,
// skipped pages, the path back with history, a page that refuses to be left,
// and the order of the page events.
#include "widgets/PageManager.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace velmaris::test {
namespace {

struct Wizard {
  QWidget form;
  TNotebook* book = new TNotebook(&form);
  QPushButton* prior = new QPushButton("< Back", &form);
  QPushButton* next = new QPushButton("Next >", &form);
  TPageManager manager{&form};
  std::vector<std::string> log;
  explicit Wizard(int pages = 4) {
    prior->setObjectName("DEL_Prev");
    next->setObjectName("DEL_Next");
    for (int i = 0; i < pages; ++i) book->AddPage(QString("Page%1").arg(i));
    manager.SetPageOwner(book);
    manager.SetPriorBtn(prior);
    manager.SetNextBtn(next);
    for (TPageProxy* proxy : manager.PageProxies()) {
      const std::string name = proxy->PageName().toStdString();
      proxy->OnEnter = [this, name](bool) { log.push_back("enter " + name); };
      proxy->OnLeave = [this, name](bool) { log.push_back("leave " + name); };
      proxy->OnShow = [this, name](bool) { log.push_back("show " + name); };
      proxy->OnHide = [this, name](bool) { log.push_back("hide " + name); };
    }
    manager.Loaded();
    form.show();
  }
  // Clicks: N next, P prior. Returns the pages shown after each click.
  std::string Drive(const char* clicks) {
    std::string pages;
    for (const char* c = clicks; *c; ++c) {
      QTest::mouseClick(*c == 'N' ? next : prior, Qt::LeftButton);
      pages += char('0' + book->PageIndex());
    }
    return pages;
  }
};

struct NavCase {
  const char* name;
  bool useHistory;
  int skipFrom;  // OnGetNextPage: from this page jump two ahead (-1 none)
  const char* clicks;
  const char* pages;
  bool priorEnabled, nextEnabled;
};

class WizardNavigation : public ::testing::TestWithParam<NavCase> {};

TEST_P(WizardNavigation, FollowsTheButtons) {
  const NavCase& c = GetParam();
  Wizard w;
  w.manager.SetUseHistory(c.useHistory);
  // With history, Next beyond the last visited page is the form's to name.
  w.manager.OnGetNextPage = [&](int current, int& page) {
    if (current == c.skipFrom) {
      page = current + 2;
    } else if (page < 0 && current + 1 < w.manager.PageCount()) {
      page = current + 1;
    }
  };
  w.manager.UpdateButtons();
  EXPECT_FALSE(w.prior->isEnabled());
  EXPECT_EQ(w.Drive(c.clicks), c.pages);
  EXPECT_EQ(w.prior->isEnabled(), c.priorEnabled);
  EXPECT_EQ(w.next->isEnabled(), c.nextEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, WizardNavigation,
    ::testing::Values(NavCase{"InOrder", false, -1, "NNN", "123", true, false},
                      NavCase{"BackInOrder", false, -1, "NNP", "121", true, true},
                      NavCase{"SkipWithoutHistory", false, 1, "NNP", "132", true, true},
                      NavCase{"SkipWithHistory", true, 1, "NNP", "131", true, true},
                      NavCase{"HistoryBackToStart", true, 1, "NNPP", "1310", false, true},
                      NavCase{"ForwardAlongHistory", true, 1, "NNPPN", "13101", true, true}),
    [](const auto& info) { return info.param.name; });

TEST(Wizard, PageEventsInOrder) {
  Wizard w;
  QSignalSpy changed(&w.manager, &TPageManager::pageChanged);
  w.log.clear();
  w.Drive("N");
  EXPECT_EQ(w.log,
            (std::vector<std::string>{"leave Page0", "enter Page1", "hide Page0", "show Page1"}));
  EXPECT_EQ(changed.count(), 1);
}

TEST(Wizard, APageThatRefusesToBeLeft) {
  Wizard w;
  bool filledIn = false;
  w.book->OnPageChanging = [&](int, bool& allow) {
    if (w.book->PageIndex() == 1) allow = filledIn;
  };
  QSignalSpy changed(&w.manager, &TPageManager::pageChanged);
  EXPECT_EQ(w.Drive("NN"), "11");
  EXPECT_EQ(changed.count(), 1);
  w.log.clear();
  w.Drive("P");
  EXPECT_EQ(w.log, (std::vector<std::string>{"leave Page1", "enter Page0"}));  // no show/hide
  filledIn = true;
  EXPECT_EQ(w.Drive("N"), "2");
  EXPECT_EQ(changed.count(), 2);
}

TEST(Wizard, HistoryKeepsTenPages) {
  Wizard w(12);
  w.manager.SetUseHistory(true);
  for (int page = 1; page <= 11; ++page) w.manager.SetPage(page, true);  // 12 pages seen
  std::string back;
  while (w.prior->isEnabled()) back += w.Drive("P");
  EXPECT_EQ(back, ":98765432");  // pages 10 down to 2 ('0' + 10 is ':')
}

TEST(Wizard, RenamedPageHasNoEvents) {
  Wizard w;
  w.book->widget(1)->setObjectName("Renamed");
  w.log.clear();
  w.Drive("N");
  EXPECT_EQ(w.log, (std::vector<std::string>{"leave Page0", "hide Page0"}));
  w.manager.PageProxies()[2]->SetPageName("Nonexistent");
  EXPECT_EQ(w.manager.PageProxies()[2]->PageName(), "");
}

}  // namespace
}  // namespace velmaris::test

// The search over many areas: its hits against the stored messages' own
// mask test, the labels and progress it shows, busy areas, abort, damage.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/AreaSearch.h"
#include "core/Area.h"
#include "core/AreaFixtures.h"
#include "core/MailFixtures.h"
#include "core/MessageBase.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

using test::MailSpec;
using test::MakeSpecMail;

class RecordingView : public TSearchView {
 public:
  std::vector<std::string> areaLabels, mailLabels;
  std::vector<TSearchHit> hits;
  std::pair<int, int> areaProgress{-1, -1};
  int messageRounds = 0;
  std::function<void(RecordingView&)> onRound, onHit;

  void AreaLabel(const std::string& t) override { areaLabels.push_back(t); }
  void MailLabel(const std::string& t) override { mailLabels.push_back(t); }
  void AreaProgress(int p, int m) override { areaProgress = {p, m}; }
  void MailProgress(int, int) override {}
  void AddHit(const TSearchHit& hit) override {
    hits.push_back(hit);
    if (onHit) onHit(*this);
  }
  void ProcessMessages() override {
    ++messageRounds;
    if (onRound) onRound(*this);
  }
  std::vector<std::pair<int, int>> Places() const {
    std::vector<std::pair<int, int>> places;
    for (const TSearchHit& h : hits) places.emplace_back(h.AreaIndex, h.MsgIndex);
    return places;
  }
};

const char* const kFroms[] = {"Ivan Petrov", "ivan petrov", "Anna Berg", "Ivan Petrov "};
const char* const kWords[] = {"nothing here", "the VELMARIS point", "velmaris", "Velmar is"};

class AreaSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Area 1 is a separator; areas 0 and 2 hold 150 messages each.
    for (const char* name : {"RU.TEST", kSeparatorName, "NETMAIL"}) {
      const bool separator = std::string(name) == kSeparatorName;
      areas.Adopt(
          std::make_unique<TArea>(dir.Path(), name, separator ? "Sep" : name,
                                  separator ? AreaTypeCode::Separator : AreaTypeCode::Echomail));
      if (separator) continue;
      TArea& area = *areas.GetItem(areas.GetCount() - 1);
      for (int i = 0; i < 150; ++i) {
        MailSpec mailSpec;
        mailSpec.from = kFroms[i % 4];
        mailSpec.to = i % 3 ? "All" : "Sysop";
        mailSpec.subject = "Subject " + std::to_string(i);
        mailSpec.text =
            std::string(i % 8 < 4 ? 0 : i * 7 % 300, 'x') + kWords[i % 4] + "\rmore text\r";
        mailSpec.flags = i % 5 ? 0 : 0x0004;
        area.QueueMail(MakeSpecMail(mailSpec), false);
      }
      ASSERT_TRUE(area.WriteQueuedMail());
    }
  }

  // What reading every message and asking it gives.
  std::vector<std::pair<int, int>> Expected(const TSearchRequest& request, std::vector<int> rows) {
    std::vector<std::pair<int, int>> places;
    for (int row : rows) {
      TArea& area = *areas.GetItem(row);
      if (area.IsSeparator()) continue;
      EXPECT_TRUE(area.OpenIndex());
      area.OpenBody();
      for (int i = 0; i < area.Count; ++i)
        if (area.ReadMail(i)->MatchesRequest(request)) places.emplace_back(row, i);
      area.CloseBody();
      area.CloseIndex();
    }
    return places;
  }

  test::TempDir dir;
  test::ShellScope shell;
  TAreaList areas;
};

TEST_F(AreaSearchTest, HitsAreThoseTheMessagesThemselvesMatchInAreaAndIndexOrder) {
  struct Case {
    const char* what;
    std::function<void(TSearchRequest&)> set;
  };
  const std::vector<Case> cases = {
      {"word anywhere, any case",
       [](TSearchRequest& r) {
         r.ApplyText = true;
         r.Text.SetText("velmaris");
       }},
      {"word with case",
       [](TSearchRequest& r) {
         r.ApplyText = true;
         r.Text.SetText("VELMARIS");
         r.Text.CaseSensitive = true;
       }},
      {"whole text",
       [](TSearchRequest& r) {
         r.ApplyText = true;
         r.Text.SetText("VELMARIS\rMORE TEXT\r");
         r.Text.SubstringMatch = false;
       }},
      {"sender exactly",
       [](TSearchRequest& r) {
         r.ApplyOrigin = true;
         r.Origin.SetText("IVAN PETROV");
         r.Origin.SubstringMatch = false;
       }},
      {"sender and text and unread",
       [](TSearchRequest& r) {
         r.ApplyOrigin = true;
         r.Origin.SetText("petrov");
         r.ApplyText = true;
         r.Text.SetText("point");
         r.FlagMask = r.Flags = 0x0004;
       }},
      {"recipient and subject",
       [](TSearchRequest& r) {
         r.ApplyDestination = true;
         r.Destination.SetText("sys");
         r.ApplySubject = true;
         r.Subject.SetText("t 1");
       }},
      {"no condition finds nothing", [](TSearchRequest&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSearchRequest request;
    c.set(request);
    for (unsigned threads : {1u, 4u}) {
      RecordingView view;
      TAreaSearch search(request, view);
      search.Threads = threads;
      search.BatchSize = 100;
      search.Run(areas, {2, 1, 0});
      EXPECT_EQ(view.Places(), Expected(request, {0, 2})) << threads;
      EXPECT_EQ(view.areaLabels.back(), "Done");
      EXPECT_EQ(view.areaProgress, std::make_pair(3, 3));
    }
  }
}

// The search window types its texts in the ANSI code page (CP1251); bodies
// are stored in the OEM code page (CP866), names and subjects in ANSI.
TEST_F(AreaSearchTest, CyrillicWordsAreFoundInBodiesAndNamesWithAndWithoutCase) {
  using platform::CodePage;
  const auto ansi = [](const char* utf8) { return platform::FromUtf8(utf8, CodePage::CP1251); };
  areas.Adopt(std::make_unique<TArea>(dir.Path(), "RU.CYRILLIC", "RU.CYRILLIC"));
  const int row = areas.GetCount() - 1;
  TArea& area = *areas.GetItem(row);
  const char* const texts[] = {"Привет, дедушка! Latin word", "Тест кириллицы", "ДЕДУШКА МОРОЗ",
                               "nothing Cyrillic here", "Ёлка и ёжик"};
  for (int i = 0; i < 100; ++i) {
    MailSpec mailSpec;
    mailSpec.from = ansi(i % 2 ? "Иван Петров" : "Anna Berg");
    mailSpec.subject = ansi(i % 5 == 1 ? "Тест кириллицы" : "Subject");
    mailSpec.text = platform::FromUtf8(texts[i % 5], CodePage::CP866) + "\r";
    area.QueueMail(MakeSpecMail(mailSpec), false);
  }
  ASSERT_TRUE(area.WriteQueuedMail());
  const auto every = [](int from, int step) {
    std::vector<int> v;
    for (int i = from; i < 100; i += step) v.push_back(i);
    return v;
  };
  struct Case {
    const char* text;
    int field;  // 1 sender, 3 subject, 4 text
    bool cs, sub;
    std::vector<int> hits;
  } cases[] = {
      {"дедушка", 4, false, true,
       [&] {
         std::vector<int> v;
         for (int i = 0; i < 100; ++i)
           if (i % 5 == 0 || i % 5 == 2) v.push_back(i);
         return v;
       }()},
      {"дедушка", 4, true, true, every(0, 5)},
      {"ТЕСТ", 4, false, true, every(1, 5)},
      {"latin", 4, false, true, every(0, 5)},
      {"ёжик", 4, false, true, every(4, 5)},
      {"ЁЛКА И ЁЖИК\r", 4, false, false, every(4, 5)},
      {"«Ёлка»", 4, false, true, {}},
      {"ТЕСТ", 3, false, true, every(1, 5)},
      {"иван петров", 1, false, false, every(1, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TSearchRequest request;
    TSearchString& condition = c.field == 1   ? request.Origin
                               : c.field == 3 ? request.Subject
                                              : request.Text;
    (c.field == 1   ? request.ApplyOrigin
     : c.field == 3 ? request.ApplySubject
                    : request.ApplyText) = true;
    condition.SetText(ansi(c.text));
    condition.CaseSensitive = c.cs;
    condition.SubstringMatch = c.sub;
    for (unsigned threads : {1u, 4u}) {
      RecordingView view;
      TAreaSearch search(request, view);
      search.Threads = threads;
      search.BatchSize = 30;
      search.Run(areas, {row});
      std::vector<int> hits;
      for (const TSearchHit& hit : view.hits) hits.push_back(hit.MsgIndex);
      EXPECT_EQ(hits, c.hits) << threads;
      EXPECT_EQ(view.Places(), Expected(request, {row})) << threads;
    }
  }
}

TEST_F(AreaSearchTest, HitLineNamesAreaIndexNamesAndQuotedSubject) {
  TMsgHeader header;
  header.FromName = "A";
  header.ToName = "B";
  header.Subject = "X";
  EXPECT_EQ(SearchHitLine("NETMAIL", 7, header), "NETMAIL #7: A to B about \"X\"");

  // An echo whose tag is kept as UTF-8 is named by its letters in the ANSI
  // page the lines are made in, not by its bytes read in that page.
  areas.Adopt(std::make_unique<TArea>(dir.Path(), "RU.ТЕСТ", "RU.ТЕСТ"));
  TArea& utf8 = *areas.GetItem(3);
  ASSERT_TRUE(utf8.RawTag);
  MailSpec mailSpec;
  mailSpec.from = "A";
  mailSpec.to = "B";
  mailSpec.subject = "X";
  utf8.QueueMail(MakeSpecMail(mailSpec), false);
  ASSERT_TRUE(utf8.WriteQueuedMail());
  TSearchRequest request;
  request.ApplyOrigin = true;
  request.Origin.SetText("A");
  RecordingView view;
  TAreaSearch(request, view).Run(areas, {3});
  const std::string ansi = "RU.\xD2\xC5\xD1\xD2";
  ASSERT_EQ(view.hits.size(), 1u);
  EXPECT_EQ(view.hits[0].Line, ansi + " #0: A to B about \"X\"");
  EXPECT_EQ(view.hits[0].AreaName, "RU.ТЕСТ");  // what finds the area again
  EXPECT_EQ(view.mailLabels,
            (std::vector<std::string>{"Waiting for acces to " + ansi + " ..",
                                      "Searching area " + ansi + " ..", "Area processed"}));
}

TEST_F(AreaSearchTest, NoRowsEndsAtOnceAndSeparatorsAreCountedButNotSearched) {
  TSearchRequest request;
  request.ApplyOrigin = true;
  request.Origin.SetText("anna");
  RecordingView none;
  TAreaSearch(request, none).Run(areas, {});
  EXPECT_EQ(none.areaLabels, std::vector<std::string>{"Done"});
  EXPECT_TRUE(none.hits.empty());
  RecordingView separator;
  TAreaSearch(request, separator).Run(areas, {1});
  EXPECT_EQ(separator.areaProgress, std::make_pair(1, 1));
  EXPECT_TRUE(separator.mailLabels.empty());
}

// With several threads the busy area is refused when the search tries to
// take it ahead, and is waited for at its turn.
TEST_F(AreaSearchTest, ABusyAreaIsWaitedForAndSearchedWhenReleased) {
  TArea& busy = *areas.GetItem(2);
  ASSERT_TRUE(busy.Lock(true));
  TSearchRequest request;
  request.ApplyText = true;
  request.Text.SetText("velmaris");
  RecordingView view;
  int waits = 0;
  view.onRound = [&busy, &waits](RecordingView& v) {
    if (!v.mailLabels.empty() && v.mailLabels.back() == "Waiting for acces to NETMAIL .." &&
        ++waits == 3)
      busy.Unlock();
  };
  TAreaSearch search(request, view);
  search.Threads = 4;
  search.Run(areas, {0, 2});
  EXPECT_GE(waits, 3);
  EXPECT_EQ(view.mailLabels,
            (std::vector<std::string>{"Waiting for acces to RU.TEST ..", "Searching area RU.TEST ..",
                                      "Area processed", "Waiting for acces to NETMAIL ..",
                                      "Searching area NETMAIL ..", "Area processed"}));
  EXPECT_EQ(view.Places(), Expected(request, {0, 2}));
  EXPECT_FALSE(busy.IsLocked());
}

TEST_F(AreaSearchTest, AbortStopsAfterTheMessageBeingToldAndReleasesTheArea) {
  TSearchRequest request;
  request.ApplyText = true;
  request.Text.SetText("velmaris");
  RecordingView view;
  TAreaSearch search(request, view);
  search.Threads = 4;
  view.onHit = [&search](RecordingView&) { search.RequestAbort(); };
  search.Run(areas, {0, 2});
  ASSERT_EQ(view.hits.size(), 1u);
  EXPECT_EQ(view.areaLabels.back(), "Search aborted");
  // Area 2, taken ahead, is given back as well.
  for (int row : {0, 2}) {
    EXPECT_FALSE(areas.GetItem(row)->IsLocked()) << row;
    EXPECT_FALSE(areas.GetItem(row)->IsIndexLoaded()) << row;
  }
}

TEST_F(AreaSearchTest, DamagedBodiesAreNotFoundAndDoNotStopTheSearch) {
  TArea& area = *areas.GetItem(0);
  ASSERT_TRUE(area.OpenIndex());
  const TMsgHeader second = area.GetHeader(1);
  area.CloseIndex();
  {
    // One byte of the second body's stored data changed: its CRC fails.
    std::fstream body(area.FilePath(kPackedBodyExt),
                      std::ios::in | std::ios::out | std::ios::binary);
    body.seekp(second.BodyOffset + kBodyRecordHeadSize + 3);
    body.put('\x7F');
  }
  TSearchRequest request;
  request.ApplyText = true;
  request.Text.SetText("velmaris");
  RecordingView view;
  TAreaSearch(request, view).Run(areas, {0});
  EXPECT_EQ(view.areaLabels.back(), "Done");
  for (const TSearchHit& hit : view.hits) EXPECT_NE(hit.MsgIndex, 1);
  EXPECT_FALSE(view.hits.empty());
}

}  // namespace
}  // namespace velmaris

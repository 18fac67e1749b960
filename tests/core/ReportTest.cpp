// Report messages: the REPORT area made on first use, the message's shape,
// the wait for a job that holds the area, the hand-over from workers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ConfigStoreFixture.h"
#include "core/Report.h"

namespace velmaris::test {
namespace {

using platform::MsgKind;

class ReportTest : public ConfigStoreFixture {
 protected:
  void TearDown() override {
    // No retry timer may outlive the test's dispatcher.
    ASSERT_EQ(GetReportPoster().PendingCount(), 0u);
    ConfigStoreFixture::TearDown();
  }

  // The messages of the REPORT area: (from, to, subject, text).
  struct Stored {
    std::string from, to, subject, text;
  };
  static std::vector<Stored> ReadReports(TArea& area) {
    std::vector<Stored> out;
    EXPECT_TRUE(area.Lock(false));
    EXPECT_TRUE(area.OpenIndex());
    area.OpenBody();
    for (int i = 0; i < area.Count; ++i) {
      auto mail = area.ReadMail(i);
      out.push_back({std::string(mail->Header.FromName.View()),
                     std::string(mail->Header.ToName.View()),
                     std::string(mail->Header.Subject.View()), std::string(mail->BodyText())});
    }
    area.CloseBody();
    area.CloseIndex();
    area.Unlock();
    return out;
  }
};

TEST_F(ReportTest, FirstReportCreatesTheAreaAndIsStored) {
  auto config = Load();
  ASSERT_EQ(config->FindArea("REPORT"), nullptr);
  WriteReportMessage("Tosser", "Sysop", "Import Log", "", {"line one", "line two"});
  TArea* area = config->FindArea("REPORT");
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->AreaType, AreaTypeCode::Report);
  EXPECT_EQ(area->FileName, "REPORT");
  EXPECT_EQ(area->Uplink, nullptr);
  EXPECT_EQ(GetReportPoster().PendingCount(), 0u);
  const auto reports = ReadReports(*area);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].from, "Tosser");
  EXPECT_EQ(reports[0].to, "Sysop");
  EXPECT_EQ(reports[0].subject, "Import Log");
  const std::string& text = reports[0].text;
  EXPECT_EQ(text.rfind("AREA:REPORT\r", 0), 0u) << text;
  EXPECT_NE(text.find("\x01MSGID: "), std::string::npos);
  EXPECT_NE(text.find("\x01"
                      "CHRS: IBMPC 2\r"),
            std::string::npos);
  EXPECT_NE(text.find("\x01PID: "), std::string::npos);
  EXPECT_NE(text.find("\rline one\rline two\r"), std::string::npos);
  EXPECT_EQ(text.find("--- "), std::string::npos);
  EXPECT_EQ(text.find("SEEN-BY"), std::string::npos);
  EXPECT_EQ(text.find(" * Origin: "), std::string::npos);
  // The new area was saved with the configuration at once.
  auto other = Load();
  EXPECT_NE(other->FindArea("REPORT"), nullptr);
  config->MakeCurrent();
}

TEST_F(ReportTest, OriginTextGivesAnOriginLine) {
  auto config = Load();
  WriteReportMessage("Scanner", "Sysop", "Export Log", "My point", {"x"});
  const auto reports = ReadReports(*config->FindArea("REPORT"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].text.find(" * Origin: My point ("), std::string::npos);
}

TEST_F(ReportTest, ReportWaitsForTheExclusiveHolderAndThenLands) {
  auto config = Load();
  TArea* area = config->AddAreaQuiet("REPORT", "REPORT", AreaTypeCode::Report, nullptr);
  ASSERT_TRUE(area->Lock(true));  // a job holds the area
  WriteReportMessage("Tosser", "Sysop", "Import Log", "", {"first"});
  WriteReportMessage("Scanner", "Sysop", "Export Log", "", {"second"});
  EXPECT_EQ(GetReportPoster().PendingCount(), 2u);
  // The main thread goes on; the timer finds the area still locked.
  dispatcher.RunUntil([] { return false; }, std::chrono::milliseconds(250));
  EXPECT_EQ(GetReportPoster().PendingCount(), 2u);
  area->Unlock();
  EXPECT_TRUE(dispatcher.RunUntil([] { return GetReportPoster().PendingCount() == 0; },
                                  std::chrono::seconds(60)));
  const auto reports = ReadReports(*area);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].subject, "Import Log");
  EXPECT_EQ(reports[1].subject, "Export Log");
}

TEST_F(ReportTest, ReportWaitingBehindAnotherKeepsItsPlace) {
  auto config = Load();
  TArea* area = config->AddAreaQuiet("REPORT", "REPORT", AreaTypeCode::Report, nullptr);
  ASSERT_TRUE(area->Lock(true));
  WriteReportMessage("A", "Sysop", "one", "", {});
  area->Unlock();
  // The area is free now, but the waiting report goes first.
  WriteReportMessage("B", "Sysop", "two", "", {});
  EXPECT_EQ(GetReportPoster().PendingCount(), 0u);
  const auto reports = ReadReports(*area);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].subject, "one");
  EXPECT_EQ(reports[1].subject, "two");
}

TEST_F(ReportTest, WorkerReportsThroughTheMainThread) {
  auto config = Load();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    WriteReportMessage("Unpacker", "Sysop", "Unpack Log", "", {"from a worker"});
    done = true;
    dispatcher.Wake();
  });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return done.load(); }));
  worker.join();
  const auto reports = ReadReports(*config->FindArea("REPORT"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].subject, "Unpack Log");
}

TEST_F(ReportTest, WithoutAConfigurationTheReportIsLostWithAnError) {
  ASSERT_EQ(GetConfigStore(), nullptr);
  WriteReportMessage("Tosser", "Sysop", "Import Log", "", {"x"});
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].kind, MsgKind::Error);
  EXPECT_EQ(questions[0].text, "Cannot access \"REPORT\" area");
  EXPECT_EQ(questions[0].buttons, platform::mbOk);
}

// A message box shown while a report is being written lets the dispatcher
// run the retry timer; the poster must not start writing the queue again
// from inside. Here the box is the failed save after creating REPORT.
TEST_F(ReportTest, PosterDoesNotReenterItself) {
  dir.Write("not-a-dir", "x");
  platform::Registry registry(dir / "not-a-dir/Velmaris.reg");
  TConfigStore store(Start(), registry);
  store.SetLogSink([](const std::string&) {});
  store.LoadConfiguration();
  store.MakeCurrent();

  struct PumpingPrompter : platform::Prompter {
    std::vector<size_t> pendingInside;
    platform::MsgButton Ask(MsgKind, const std::string&, platform::MsgButtons,
                            const std::string&) override {
      GetReportPoster().TryWrite();  // what the timer would do
      pendingInside.push_back(GetReportPoster().PendingCount());
      return platform::mbOk;
    }
  } pumping;
  platform::SetPrompter(&pumping);
  WriteReportMessage("Tosser", "Sysop", "Import Log", "", {"once"});
  platform::SetPrompter(&prompter);

  ASSERT_EQ(pumping.pendingInside.size(), 1u);  // the save failure
  EXPECT_EQ(pumping.pendingInside[0], 1u);      // still waiting: not written from inside
  EXPECT_EQ(GetReportPoster().PendingCount(), 0u);
  const auto reports = ReadReports(*store.FindArea("REPORT"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].subject, "Import Log");
}

}  // namespace
}  // namespace velmaris::test

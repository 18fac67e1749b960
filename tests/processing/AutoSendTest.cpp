// Autosend jobs with a fake clock: the schedule of the three modes, the
// start-up run (due, not due, missed while the program was closed), the
// composed mail, the failures that deactivate a job, and the registry form.
#include <gtest/gtest.h>

#include "TosserFixtures.h"
#include "core/AddressBook.h"
#include "platform/CodePage.h"
#include "processing/AutoSend.h"

namespace velmaris::test {
namespace {

TDateTime Day(int y, int m, int d, int h = 12) { return EncodeDateTime(y, m, d, h, 0, 0); }
int32_t Unix(TDateTime t) { return DateTimeToUnix(t); }

TEST(AutoSendSchedule, NextDueDateOfEachMode) {
  struct Row {
    const char* what;
    int mode, days, date, dday, dmonth;
    int32_t last;
    TDateTime now, due;
  } rows[] = {
      {"every 7 days, never sent: today", 0, 7, 0, 0, 0, 0, Day(2026, 3, 4), Day(2026, 3, 4, 0)},
      {"every 7 days after a sending", 0, 7, 0, 0, 0, Unix(Day(2026, 3, 4, 18)), Day(2026, 3, 5),
       Day(2026, 3, 11, 0)},
      {"monthly, sent 20 March, asked 25 March", 1, 0, 15, 0, 0, Unix(Day(2026, 3, 20)),
       Day(2026, 3, 25), Day(2026, 4, 15, 0)},
      {"monthly, never sent: yesterday's month", 1, 0, 15, 0, 0, 0, Day(2026, 3, 20),
       Day(2026, 3, 15, 0)},
      {"monthly from December to January", 1, 0, 15, 0, 0, Unix(Day(2026, 12, 20)),
       Day(2026, 12, 21), Day(2027, 1, 15, 0)},
      {"monthly on the 31st in April: its last day", 1, 0, 31, 0, 0, Unix(Day(2026, 3, 31)),
       Day(2026, 4, 2), Day(2026, 4, 30, 0)},
      {"yearly, never sent, on the very day: a year later", 2, 0, 0, 6, 12, 0, Day(2026, 12, 6),
       Day(2027, 12, 6, 0)},
      {"yearly after a sending", 2, 0, 0, 6, 12, Unix(Day(2026, 12, 6)), Day(2027, 1, 3),
       Day(2027, 12, 6, 0)},
      {"yearly 29 February in a common year", 2, 0, 0, 29, 2, 0, Day(2026, 1, 5),
       Day(2026, 2, 28, 0)},
  };
  for (const Row& r : rows) {
    TAutoSendJob job;
    job.SendMode = r.mode, job.SendDays = r.days, job.SendDate = r.date;
    job.DateDay = r.dday, job.DateMonth = r.dmonth, job.Last = r.last;
    EXPECT_EQ(job.NextDueDate(r.now), r.due) << r.what;
  }
  TAutoSendJob monthly;
  monthly.SendMode = 1, monthly.SendDate = 15, monthly.Last = Unix(Day(2026, 3, 20));
  EXPECT_FALSE(monthly.IsDue(Day(2026, 4, 10)));
  EXPECT_TRUE(monthly.IsDue(Day(2026, 4, 15, 0)));
}

class AutoSendTest : public TosserFixture {
 protected:
  void SetUp() override {
    TosserFixture::SetUp();
    platform::WriteFileAtomic(Start() + "text.txt", "Hello %dn,\r\nthe weekly note.\r\n");
    env.Store = store.get();
    env.Clock = [this] { return now; };
  }
  TAutoSendJob& Job(const std::string& area) {
    auto job = std::make_unique<TAutoSendJob>();
    job->Area = area;
    job->MailText = Start() + "text.txt";
    job->Subject = "Weekly";
    job->Receiver = "Boss";
    job->RecAddr = "2:5030/1";
    job->Active = true;
    job->SendDays = 7;
    return *jobs.AddJob(std::move(job));
  }
  TAutoSendJobs jobs;
  TAutoSendEnv env;
  TDateTime now = Day(2026, 12, 6, 9);
};

TEST_F(AutoSendTest, StartUpSendsWhatIsDueOnceAndKeepsTheRest) {
  AddEcho("LOCAL.ECHO");
  TAutoSendJob& fresh = Job("NETMAIL");  // never sent: due
  TAutoSendJob& missed = Job("LOCAL.ECHO");
  missed.Last = Unix(Day(2026, 11, 1));  // due since 8 November
  TAutoSendJob& recent = Job("NETMAIL");
  recent.Last = Unix(Day(2026, 12, 1));  // due on 8 December
  TAutoSendJob& off = Job("NETMAIL");
  off.Active = false;
  TAutoSendScheduler scheduler(jobs, env);
  EXPECT_EQ(scheduler.Tick(), 2);
  EXPECT_EQ(fresh.Last, Unix(now));
  EXPECT_EQ(missed.Last, Unix(now));
  EXPECT_EQ(recent.Last, Unix(Day(2026, 12, 1)));
  EXPECT_EQ(off.Last, 0);
  EXPECT_EQ(Mails("NETMAIL").size(), 1u);
  EXPECT_EQ(Mails("LOCAL.ECHO").size(), 1u);  // once, however long it was missed
  EXPECT_EQ(scheduler.Tick(), 0);
  now = Day(2026, 12, 8, 0);
  EXPECT_EQ(scheduler.Tick(), 1);  // the timer finds the next one due
  // Sending now works on an inactive job.
  EXPECT_TRUE(off.Execute(env));
  EXPECT_EQ(Mails("NETMAIL").size(), 3u);
}

TEST_F(AutoSendTest, TheComposedMailsCarryTheirAreasKludges) {
  AddEcho("LOCAL.ECHO");
  TNetLink* link = store->Uplinks().GetItem(0);
  link->Sysop = "Point Seven";
  ASSERT_TRUE(Job("NETMAIL").Execute(env));
  ASSERT_TRUE(Job("LOCAL.ECHO").Execute(env));
  const auto net = Mails("NETMAIL");
  ASSERT_EQ(net.size(), 1u);
  EXPECT_EQ(net[0].from, "Point Seven");
  EXPECT_EQ(net[0].to, "Boss");
  EXPECT_EQ(net[0].subject, "Weekly");
  EXPECT_EQ(net[0].flags & MsgFlag::Send, MsgFlag::Send);
  for (const char* kludge : {"\x01INTL 2:5030/1 2:5020/1042\r",
                             "\x01"
                             "FMPT 7\r",
                             "\x01MSGID: 2:5020/1042.7 ", "\x01PID: "})
    EXPECT_NE(net[0].text.find(kludge), std::string::npos) << kludge;
  EXPECT_EQ(net[0].text.find("Origin"), std::string::npos);
  EXPECT_NE(net[0].text.find("Hello %dn,\rthe weekly note.\r"), std::string::npos);
  const auto echo = Mails("LOCAL.ECHO");
  ASSERT_EQ(echo.size(), 1u);
  EXPECT_EQ(echo[0].text.rfind("AREA:LOCAL.ECHO\r", 0), 0u);
  EXPECT_EQ(echo[0].text.find("\x01PID"), std::string::npos);
  EXPECT_NE(echo[0].text.find(" * Origin: Velmaris 95 Autosend Process (2:5020/1042.7)"),
            std::string::npos);
}

// The text file of a job as a Linux editor writes it (UTF-8, with or
// without a byte-order mark) or as a Windows one does (CP1251): the mail
// carries the letters, in the OEM page, with the nearest character for what
// that page lacks.
TEST_F(AutoSendTest, TheTextFileIsSentAsTheLettersItHolds) {
  const std::string oem = "\x8f\xe0\xa8\xa2\xa5\xe2 \"\xac\xa8\xe0\" - \xae\xaa\r";
  const struct {
    const char* what;
    std::string file;
  } rows[] = {
      {"UTF-8", "Привет «мир» — ок\r\n"},
      {"UTF-8 with a byte-order mark", "\xef\xbb\xbfПривет «мир» — ок\r\n"},
      {"CP1251", "\xcf\xf0\xe8\xe2\xe5\xf2 \xab\xec\xe8\xf0\xbb \x97 \xee\xea\r\n"},
  };
  size_t sent = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    platform::WriteFileAtomic(Start() + "text.txt", r.file);
    ASSERT_TRUE(Job("NETMAIL").Execute(env));
    const auto net = Mails("NETMAIL");
    ASSERT_EQ(net.size(), ++sent);
    EXPECT_NE(net.back().text.find("\r" + oem), std::string::npos);
  }
}

TEST_F(AutoSendTest, AGroupGetsOneMailPerMemberWithItsName) {
  auto group = std::make_unique<TGroup>();
  for (const char* name : {"Ann", "Bob", "Cid"}) {
    auto member = std::make_unique<TFriend>();
    member->SetName(name);
    member->Address().SetText("2:5030/9");
    group->AddFriend(std::move(member));
  }
  store->AddressGroups().Add("Club", std::move(group));
  platform::WriteFileAtomic(Start() + "text.txt", "Hello %newdestname,\r\n");
  TAutoSendJob& job = Job("NETMAIL");
  job.RecMode = 1;
  job.RecList = "Club";
  ASSERT_TRUE(job.Execute(env));
  const auto mails = Mails("NETMAIL");
  ASSERT_EQ(mails.size(), 3u);
  EXPECT_EQ(mails[1].to, "Bob");
  EXPECT_NE(mails[1].text.find("Hello Bob,"), std::string::npos);
}

TEST_F(AutoSendTest, FailuresDeactivateOrWaitForTheUser) {
  AddEcho("LOCAL.ECHO");
  store->AddAreaQuiet("STORE", "STORE", AreaTypeCode::Storage, nullptr);
  struct Row {
    std::function<void(TAutoSendJob&)> set;
    std::string text;
    bool active;
  } rows[] = {
      {[&](TAutoSendJob& j) { j.MailText = Start() + "none.txt"; },
       "be executed because the file " + Start() + "none.txt does  not exist.", false},
      {[](TAutoSendJob& j) { j.RecMode = 1, j.RecList = "Nobody"; },
       "be executed because the address list  Nobody does  not exist.", false},
      {[](TAutoSendJob& j) { j.Area = "GONE"; },
       "execute because the destination area  GONE does  not exist.", false},
      {[](TAutoSendJob& j) { j.Area = "STORE"; },
       "STORE\nis no netmail, echomail, or email area.\nThe autosend job has been deactivated!",
       false},
      {[&](TAutoSendJob& j) {
         j.Area = "LOCAL.ECHO";
         ASSERT_TRUE(store->FindArea("LOCAL.ECHO")->Lock(true));
         prompter.Script({platform::mbRetry, platform::mbAbort});
       },
       "Could not lock area LOCAL.ECHO for access!", true},
  };
  for (const Row& row : rows) {
    prompter.Clear();
    TAutoSendJob& job = Job("NETMAIL");
    row.set(job);
    EXPECT_FALSE(job.RunIfDue(env)) << row.text;
    EXPECT_EQ(job.Active, row.active) << row.text;
    EXPECT_EQ(job.Last, 0) << row.text;
    const auto questions = prompter.Questions();
    ASSERT_FALSE(questions.empty()) << row.text;
    EXPECT_NE(questions.back().text.find(row.text), std::string::npos) << questions.back().text;
  }
  EXPECT_EQ(prompter.Questions().size(), 2u);  // asked again after Retry
}

// The job's name, list, file and area are ANSI (CP1251) text; the warnings
// reach the message box in UTF-8, the names readable.
TEST_F(AutoSendTest, WarningsShowRussianNamesInUtf8) {
  const auto ansi = [](const char* utf8) {
    return platform::FromUtf8(utf8, platform::CodePage::CP1251);
  };
  store->AddAreaQuiet(ansi("Эхо"), "RUECHO", AreaTypeCode::Echomail, store->Uplinks().GetItem(0));
  store->AddAreaQuiet(ansi("Хранилище"), "RUSTORE", AreaTypeCode::Storage, nullptr);
  struct Row {
    std::function<void(TAutoSendJob&)> set;
    std::string text;  // UTF-8
  } rows[] = {
      // The text file is a name on disk (UTF-8), put into the ANSI text and
      // shown as such.
      {[&](TAutoSendJob& j) { j.MailText = Start() + "нет.txt"; },
       " Autosend job Рассылка Ёлкину could not  be executed because the file " + Start() +
           "нет.txt does  not exist."},
      {[&](TAutoSendJob& j) { j.RecMode = 1, j.RecList = ansi("Друзья"); },
       "the address list  Друзья does  not exist."},
      {[&](TAutoSendJob& j) { j.Area = ansi("Пропавшая"); },
       "execute because the destination area  Пропавшая does  not exist."},
      {[&](TAutoSendJob& j) { j.Area = ansi("Хранилище"); },
       " Autosend job Рассылка Ёлкину could not  execute because the destination area  "
       "Хранилище\nis no netmail"},
      {[&](TAutoSendJob& j) {
         j.Area = ansi("Эхо");
         ASSERT_TRUE(store->FindArea(ansi("Эхо"))->Lock(true));
         prompter.Script({platform::mbAbort});
       },
       "Could not lock area Эхо for access!"},
  };
  for (const Row& row : rows) {
    prompter.Clear();
    TAutoSendJob& job = Job("NETMAIL");
    job.Name = ansi("Рассылка Ёлкину");
    row.set(job);
    EXPECT_FALSE(job.RunIfDue(env)) << row.text;
    const auto questions = prompter.Questions();
    ASSERT_EQ(questions.size(), 1u) << row.text;
    EXPECT_TRUE(platform::IsUtf8(questions[0].text)) << questions[0].text;
    EXPECT_NE(questions[0].text.find(row.text), std::string::npos) << questions[0].text;
  }
}

TEST_F(AutoSendTest, TheListKeepsItsRegistryForm) {
  TAutoSendJobs& list = InstallAutoSendConfig(*store);
  auto job = std::make_unique<TAutoSendJob>();
  job->SendMode = 2, job->DateDay = 24, job->DateMonth = 12, job->Active = true;
  job->Last = 1700000000;
  job->Subject = "Season's greetings";
  // A text file with a blank in its path, stored in quotes by an earlier
  // version's file-name edit.
  const std::string text = Start() + "Рассылки Ивана/Поздравление с праздником.txt";
  platform::MakeDirs(Start() + "Рассылки Ивана/");
  platform::WriteFileAtomic(text, "Happy holidays\r\n");
  job->MailText = "\"" + text + "\"";
  job->Area = "NETMAIL";
  job->RecAddr = "2:5030/1";
  job->Receiver = "Boss";
  list.AddJob(std::move(job));
  store->SaveToRegistry();
  EXPECT_EQ(store->Registry().ReadString("Autosend", "Name1", ""), kNewAutoSendJobName);
  EXPECT_EQ(store->Registry().ReadInteger("Autosend\\Job1", "Last", 0), 1700000000);
  Load();
  TAutoSendJobs& again = InstallAutoSendConfig(*store);
  store->LoadFromRegistry();
  ASSERT_EQ(again.GetCount(), 1);
  const TAutoSendJob& j = *again.GetJob(0);
  EXPECT_TRUE(j.Active);
  EXPECT_EQ(j.DateMonth, 12);
  EXPECT_EQ(j.Subject, "Season's greetings");
  EXPECT_EQ(j.MailText, text);
  EXPECT_EQ(GetAutoSendJobs(), &again);
  // It is sent, not deactivated as naming a file that does not exist.
  TAutoSendJob& stored = *again.GetJob(0);
  env.Store = store.get();
  prompter.Clear();
  EXPECT_TRUE(stored.Execute(env));
  EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions().front().text;
  EXPECT_TRUE(stored.Active);
}

}  // namespace
}  // namespace velmaris::test

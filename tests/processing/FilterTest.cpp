// The mail filters: conditions, actions on import (through the tosser) and
// on export (through the area export), their order, a copy that cannot be
// made, and the registry form.
#include <gtest/gtest.h>

#include "TosserFixtures.h"
#include "core/AddressBook.h"
#include "core/KQMail.h"
#include "core/TextHelpers.h"
#include "platform/CodePage.h"
#include "processing/Secretary.h"

namespace velmaris::test {
namespace {

TMail MailOf(const std::string& from, const std::string& to, const std::string& subject,
             const std::string& text) {
  PackedFields s;
  s.from = from;
  s.to = to;
  s.subject = subject;
  s.text = text;
  const std::string body = PackedMessage(s);
  TMsgHeader h;
  h.FromName = from;
  h.ToName = to;
  h.Subject = subject;
  h.TextOffset = static_cast<uint16_t>(34 + to.size() + from.size() + subject.size() + 3);
  return TMail(body, h);
}

class FilterTest : public TosserFixture {
 protected:
  TFilter& Add(TFilterList& list, const std::string& name) {
    return *list.AddFilter(name, std::make_unique<TFilter>());
  }
  TFilterEnv Env() {
    TFilterEnv env;
    env.Store = store.get();
    env.Error = [this](const std::string& text) { errors.push_back(text); };
    return env;
  }
  TFilterList list;
  std::vector<std::string> errors;
};

TEST_F(FilterTest, ConditionsMatchAsTheirSwitchesSay) {
  AddEcho("FIDO.GER");
  // Echo tags kept as the UTF-8 a modern tosser sent: RU.ТЕСТ, and RU.СЕСС,
  // which is RU.ТЕСТ raised byte by byte as if it were CP1251.
  const std::string utf8Test = "RU.\xD0\xA2\xD0\x95\xD0\xA1\xD0\xA2";
  const std::string utf8Sess = "RU.\xD0\xA1\xD0\x95\xD0\xA1\xD0\xA1";
  const std::string utf8SmallTest = "ru.\xD1\x82\xD0\xB5\xD1\x81\xD1\x82";  // ru.тест
  AddEcho(utf8Test);
  AddEcho(utf8Sess);
  struct Row {
    const char* what;
    std::function<void(TFilter&)> set;
    std::string area;
    bool matches;
  };
  const std::vector<Row> rows = {
      {"no switch on", [](TFilter& f) { f.SetOrig("joe"); }, "FIDO.GER", false},
      {"sender substring, any case", [](TFilter& f) { f.ApplyOrig = true, f.SetOrig("oe rem"); },
       "FIDO.GER", true},
      {"sender empty pattern", [](TFilter& f) { f.ApplyOrig = true; }, "FIDO.GER", false},
      {"receiver", [](TFilter& f) { f.ApplyDest = true, f.SetDest("SYS"); }, "FIDO.GER", true},
      {"receiver misses", [](TFilter& f) { f.ApplyDest = true, f.SetDest("Bob"); }, "FIDO.GER",
       false},
      {"subject", [](TFilter& f) { f.ApplySubj = true, f.SetSubj("offer"); }, "FIDO.GER", true},
      {"area exact, typed lower-case",
       [](TFilter& f) { f.ApplyArea = true, f.SetArea("fido.ger"); }, "FIDO.GER", true},
      {"area shorter name", [](TFilter& f) { f.ApplyArea = true, f.SetArea("fido.ge"); },
       "FIDO.GER", false},
      {"UTF-8 area", [&](TFilter& f) { f.ApplyArea = true, f.SetArea(utf8Test); }, utf8Test, true},
      {"UTF-8 area beside its look-alike",
       [&](TFilter& f) { f.ApplyArea = true, f.SetArea(utf8Test); }, utf8Sess, false},
      {"UTF-8 area typed in small letters",
       [&](TFilter& f) { f.ApplyArea = true, f.SetArea(utf8SmallTest); }, utf8Test, true},
      {"text", [](TFilter& f) { f.ApplyText = true, f.SetText("cheap"); }, "FIDO.GER", true},
      {"text in kludge-free body only", [](TFilter& f) { f.ApplyText = true, f.SetText("zzz"); },
       "FIDO.GER", false},
      {"type echomail", [](TFilter& f) { f.ApplyType = true, f.Type = 0; }, "FIDO.GER", true},
      {"type netmail", [](TFilter& f) { f.ApplyType = true, f.Type = 3; }, "FIDO.GER", false},
      {"type of an unknown area", [](TFilter& f) { f.ApplyType = true, f.Type = 0; }, "NOPE",
       false},
      {"all of several",
       [](TFilter& f) {
         f.ApplyOrig = f.ApplySubj = true;
         f.SetOrig("JOE");
         f.SetSubj("nothing like it");
       },
       "FIDO.GER", false},
  };
  const TMail mail = MailOf("Joe Remote", "Sysop", "Special Offer", "Buy cheap stuff\r");
  for (const Row& row : rows) {
    TFilter f;
    row.set(f);
    EXPECT_EQ(f.Matches(mail, row.area, &store->Areas()), row.matches) << row.what;
    EXPECT_EQ(f.MatchCount, row.matches ? 1 : 0) << row.what;
  }
  // The area is saved as the letters of the tag, raised.
  TFilter small;
  small.SetArea(utf8SmallTest);
  EXPECT_EQ(small.Area(), utf8Test);
  TFilter empty;
  EXPECT_FALSE(empty.Matches(MailOf("", "x", "y", "z"), "FIDO.GER", nullptr));
}

// Patterns are typed in the ANSI code page (CP1251), as the names and the
// subject are stored; the body is in the OEM code page (CP866).
TEST_F(FilterTest, CyrillicPatternsMatchNamesAndBodyInAnyCase) {
  using platform::CodePage;
  const auto ansi = [](const char* utf8) { return platform::FromUtf8(utf8, CodePage::CP1251); };
  const TMail mail = MailOf(ansi("Иван Петров"), "Sysop", ansi("Тест кириллицы"),
                            platform::FromUtf8("Привет, дедушка! Latin word\r", CodePage::CP866));
  const struct {
    int field;  // 1 sender, 3 subject, 4 text
    const char* pattern;
    bool matches;
  } rows[] = {
      {4, "дедушка", true},    {4, "ДЕДУШКА", true}, {4, "latin WORD", true}, {4, "бабушка", false},
      {4, "«дедушка»", false}, {1, "петров", true},  {3, "ТЕСТ КИР", true},   {3, "тесты", false},
  };
  for (const auto& row : rows) {
    TFilter f;
    const std::string pattern = ansi(row.pattern);
    if (row.field == 1) f.ApplyOrig = true, f.SetOrig(pattern);
    if (row.field == 3) f.ApplySubj = true, f.SetSubj(pattern);
    if (row.field == 4) f.ApplyText = true, f.SetText(pattern);
    EXPECT_EQ(f.Matches(mail, "FIDO.GER", nullptr), row.matches) << row.pattern;
  }
}

// The setters keep every pattern upper-cased by the letters of the ANSI code
// page, Cyrillic as well as Latin, and the upper-cased patterns still match
// the names in any case.
TEST_F(FilterTest, PatternsAreStoredInCapitalsOfTheAnsiCodePage) {
  using platform::CodePage;
  const auto ansi = [](const char* utf8) { return platform::FromUtf8(utf8, CodePage::CP1251); };
  const struct {
    const char *typed, *stored;
  } rows[] = {
      {"Анна", "АННА"},
      {"тест Ёлка", "ТЕСТ ЁЛКА"},
      {"ёжик", "ЁЖИК"},
      {"Joe Ёлкин 1", "JOE ЁЛКИН 1"},
      {"ґанок і ї є ў", "ҐАНОК І Ї Є Ў"},
      {"«кавычки» №5", "«КАВЫЧКИ» №5"},
  };
  for (const auto& row : rows) {
    TFilter f;
    f.SetOrig(ansi(row.typed));
    f.SetDest(ansi(row.typed));
    f.SetSubj(ansi(row.typed));
    f.SetText(ansi(row.typed));
    f.SetArea(ansi(row.typed));
    const std::string stored = ansi(row.stored);
    EXPECT_EQ(f.Orig(), stored) << row.typed;
    EXPECT_EQ(f.Dest(), stored) << row.typed;
    EXPECT_EQ(f.Subj(), stored) << row.typed;
    EXPECT_EQ(f.Text(), stored) << row.typed;
    EXPECT_EQ(f.Area(), stored) << row.typed;
  }
  const TMail mail = MailOf(ansi("анна ёлкина"), ansi("Тест Ёлка"), ansi("ёлка"), "x\r");
  const struct {
    const char* what;
    std::function<void(TFilter&)> set;
    std::string area;
    bool matches;
  } matches[] = {
      {"sender typed in capitals",
       [&](TFilter& f) { f.ApplyOrig = true, f.SetOrig(ansi("АННА Ё")); }, "X", true},
      {"receiver typed as it stands",
       [&](TFilter& f) { f.ApplyDest = true, f.SetDest(ansi("тест ёлка")); }, "X", true},
      {"Ё is no Е", [&](TFilter& f) { f.ApplySubj = true, f.SetSubj(ansi("елка")); }, "X", false},
      {"Cyrillic area name in any case",
       [&](TFilter& f) { f.ApplyArea = true, f.SetArea(ansi("личное")); }, ansi("Личное"), true},
      {"Cyrillic area name, a letter more",
       [&](TFilter& f) { f.ApplyArea = true, f.SetArea(ansi("личное")); }, ansi("Личное2"), false},
  };
  for (const auto& row : matches) {
    TFilter f;
    row.set(f);
    EXPECT_EQ(f.Matches(mail, row.area, nullptr), row.matches) << row.what;
  }
}

TEST_F(FilterTest, ImportActionsInListOrder) {
  AddEcho("FIDO.GER");
  TFilter& copy = Add(list, "copy spam");
  copy.ApplySubj = true;
  copy.SetSubj("offer");
  copy.DoCopy = true;
  copy.CopyArea = "SPAM";  // missing: created as a storage area
  copy.CopySet = MsgFlag::Hold;
  copy.CopyReset = MsgFlag::Unread;
  copy.DoKill = true;
  TFilter& flags = Add(list, "mark");
  flags.ApplyOrig = true;
  flags.SetOrig("joe");
  flags.OrigSet = MsgFlag::Hold;
  flags.DoAdd = true;
  flags.List = "Friends";
  flags.DoSave = true;
  flags.SaveFile = Start() + "saved.txt";
  TImportFilterRun run(list, Env());
  filters = &run;
  Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "Special offer"),
                            EchoMessage("FIDO.GER", "Plain talk")}));
  const TTossCounters c = Toss();
  EXPECT_EQ(c.FilterMoved, 1);
  EXPECT_EQ(c.FilterDeleted, 0);
  const auto spam = Mails("SPAM");
  ASSERT_EQ(spam.size(), 1u);
  EXPECT_EQ(spam[0].subject, "Special offer");
  EXPECT_EQ(spam[0].flags & (MsgFlag::Hold | MsgFlag::Unread), MsgFlag::Hold);
  EXPECT_EQ(store->FindArea("SPAM")->AreaType, AreaTypeCode::Storage);
  // The second filter still ran on the killed message (it matches both).
  EXPECT_EQ(flags.MatchCount, 2);
  const auto echo = Mails("FIDO.GER");
  ASSERT_EQ(echo.size(), 1u);
  EXPECT_EQ(echo[0].subject, "Plain talk");
  EXPECT_TRUE(echo[0].flags & MsgFlag::Hold);
  TGroup* friends = store->AddressGroups().FindByName("Friends");
  ASSERT_NE(friends, nullptr);
  ASSERT_EQ(friends->GetCount(), 1);
  EXPECT_EQ(friends->GetFriend(0)->Comments, std::vector<std::string>{kAddedComment});
  EXPECT_NE(platform::ReadFile(Start() + "saved.txt").find("Plain talk"), std::string::npos);
  EXPECT_TRUE(Logged("Filter \"copy spam\": 1 matches"));
  EXPECT_TRUE(Logged("1 messages have been moved by filters"));
}

TEST_F(FilterTest, AMoveToAnAreaThatCannotBeWrittenKeepsTheMessage) {
  AddEcho("FIDO.GER");
  platform::WriteFileAtomic(Start() + "blocker", "x");
  TArea* broken = AddEcho("BROKEN");
  broken->SetBaseDir(Start() + "blocker/sub");
  struct Row {
    std::string target;
    std::string why;
  } rows[] = {{"BROKEN", "area BROKEN cannot be written"}, {"", "Could not create area   !"}};
  for (const Row& row : rows) {
    list.Clear();
    TFilter& move = Add(list, "move");
    move.ApplyArea = true;
    move.SetArea("fido.ger");
    move.DoCopy = move.DoKill = true;
    move.CopyArea = row.target;
    TImportFilterRun run(list, Env());
    filters = &run;
    Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "Keep me " + row.target)}));
    const TTossCounters c = Toss();
    EXPECT_EQ(c.FilterMoved + c.FilterDeleted, 0) << row.target;
    EXPECT_TRUE(LoggedPart(row.why)) << row.target;
    EXPECT_TRUE(LoggedPart("stays in FIDO.GER")) << row.target;
  }
  EXPECT_EQ(Mails("FIDO.GER").size(), 2u);
}

TEST_F(FilterTest, AKillStaysSetWhenALaterFilterMatchesWithoutIt) {
  AddEcho("FIDO.GER");
  for (const char* name : {"kill", "keep"}) {
    TFilter& f = Add(list, name);
    f.ApplyOrig = true;
    f.SetOrig("joe");
    f.DoKill = std::string(name) == "kill";
  }
  TImportFilterRun run(list, Env());
  filters = &run;
  Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "Gone")}));
  EXPECT_EQ(Toss().FilterDeleted, 1);
  EXPECT_TRUE(Mails("FIDO.GER").empty());
  EXPECT_TRUE(Logged("1 have been deleted by filters"));
}

TEST_F(FilterTest, ForwardedCopiesAndListRemoval) {
  AddEcho("FIDO.GER");
  TArea* forward = AddEcho("FORWARD.ECHO");
  store->AddAreaQuiet("LOCAL", "LOCAL", AreaTypeCode::Storage, nullptr);
  store->Uplinks().GetItem(0)->Sysop = "Point Seven";
  auto group = std::make_unique<TGroup>();
  auto joe = std::make_unique<TFriend>();
  joe->SetName("Joe Remote");
  group->AddFriend(std::move(joe));
  store->AddressGroups().Add("Pals", std::move(group));
  for (const char* target : {"FORWARD.ECHO", "LOCAL"}) {
    TFilter& f = Add(list, target);
    f.ApplyArea = f.DoCopy = f.ForwardCopy = true;
    f.SetArea("FIDO.GER");
    f.CopyArea = target;
  }
  list.GetFilter(0)->DoRem = true;
  list.GetFilter(0)->UnList = "pals";
  TImportFilterRun run(list, Env());
  filters = &run;
  Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "News")}));
  EXPECT_EQ(Toss().FilterDuplicated, 1);
  ASSERT_EQ(Mails("FORWARD.ECHO").size(), 1u);
  const StoredMail sent = Mails("FORWARD.ECHO")[0];
  EXPECT_EQ(sent.from, "Point Seven");
  EXPECT_EQ(sent.to, "All");
  EXPECT_TRUE(sent.flags & MsgFlag::Send);
  EXPECT_NE(sent.text.find(" @ ORIGINAL: Remote (2:5030/1)\r"), std::string::npos) << sent.text;
  EXPECT_NE(sent.text.find(" * Origin: Forwarded by Velmaris 95 Secretary"), std::string::npos);
  EXPECT_EQ(forward->AreaType, AreaTypeCode::Echomail);
  // Not an echomail area: a plain copy.
  ASSERT_EQ(Mails("LOCAL").size(), 1u);
  EXPECT_EQ(Mails("LOCAL")[0].from, "Joe Remote");
  EXPECT_EQ(store->AddressGroups().FindByName("Pals")->GetCount(), 0);
}

TEST_F(FilterTest, AutomaticReplyAndLaunch) {
  AddEcho("FIDO.GER");
  platform::WriteFileAtomic(Start() + "answer.txt", "Dear %on,\r\nI am away.\n");
  TFilter& f = Add(list, "away");
  f.ApplyDest = true;
  f.SetDest("sysop");
  f.DoAnswer = true;
  f.Answer = "\"" + Start() + "answer.txt\"";
  f.DoLaunch = true;
  // The message path is a word of its own, blanks and all (the start
  // directory holds some): the shell gets it as $0.
  f.Processor = "/bin/sh -c \"cp \"\"$0\"\" \"\"" + Start() + "launched.copy\"\"\" %filename";
  TImportFilterRun run(list, Env());
  filters = &run;
  Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "Hi", "Sysop")}));
  Toss();
  const auto replies = Mails("NETMAIL");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].from, kSecretaryName);
  EXPECT_EQ(replies[0].to, "Joe Remote");
  EXPECT_EQ(replies[0].subject, "Automatic Reply");
  EXPECT_NE(replies[0].text.find("\x01REPLY: 2:5030/1 "), std::string::npos);
  EXPECT_NE(replies[0].text.find("Dear Joe Remote,\rI am away.\r"), std::string::npos);
  EXPECT_NE(replies[0].text.find("\x01PID: "), std::string::npos);
  EXPECT_EQ(replies[0].text.find(" * Origin"), std::string::npos);
  // The program got the message as a stored-message file, removed afterwards.
  const std::string launched = platform::ReadFile(Start() + "launched.copy");
  EXPECT_EQ(launched.substr(MsgFileOffset::FromName, 10), "Joe Remote");
  EXPECT_TRUE(platform::ScanDir(Start(), "*.MSG").empty());
}

TEST_F(FilterTest, ExportFiltersDeleteCopyAndHoldBack) {
  TArea* echo = AddEcho("OUT.ECHO");
  TNetLink* link = store->Uplinks().GetItem(0);
  for (const char* subject : {"delete me", "copy me", "hold me", "copy into myself"}) {
    TKQMail m;
    m.Area = echo;
    m.FromName = "Point";
    m.ToName = "All";
    m.Subject = subject;
    m.OrigAddr.SetAddress(link->SysopAddress.Address());
    m.Flags = MsgFlag::Send;
    m.Text = {"text"};
    ASSERT_TRUE(m.StoreInArea());
  }
  const auto rule = [&](const char* name, const char* subject) -> TFilter& {
    TFilter& f = Add(list, name);
    f.ApplySubj = true;
    f.SetSubj(subject);
    return f;
  };
  rule("del", "delete").DoKill = true;
  TFilter& copy = rule("copy", "copy me");
  copy.DoCopy = true;
  copy.CopyArea = "ARCHIVE";
  rule("hold", "hold").OrigReset = MsgFlag::Send;
  TFilter& self = rule("self", "myself");
  self.DoCopy = self.DoKill = true;
  self.CopyArea = "OUT.ECHO";  // locked by the export itself
  TExportFilterRun run(list, Env());
  std::vector<std::string> problems;
  TAreaExportOptions options;
  options.Filters = &run;
  std::vector<TExportLine> kinds;
  options.Problem = [&](TExportLine kind, const std::string& line) {
    kinds.push_back(kind);
    problems.push_back(line);
  };
  ASSERT_TRUE(echo->Lock(true));
  EXPECT_EQ(ExportToUplink(*echo, options), 2);
  echo->Unlock();
  const auto stored = Mails("OUT.ECHO");
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].flags & (MsgFlag::Deleted | MsgFlag::Send | MsgFlag::Sent), MsgFlag::Deleted);
  EXPECT_TRUE(stored[1].flags & MsgFlag::Sent);
  EXPECT_EQ(stored[2].flags & (MsgFlag::Send | MsgFlag::Sent), 0);
  EXPECT_TRUE(stored[3].flags & MsgFlag::Sent);  // not deleted: its copy failed
  ASSERT_EQ(Mails("ARCHIVE").size(), 1u);
  EXPECT_EQ(Mails("ARCHIVE")[0].subject, "copy me");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("area OUT.ECHO is in use"), std::string::npos);
  // Told as a filter's failure, so the summary names the filter.
  EXPECT_EQ(kinds, std::vector<TExportLine>{TExportLine::FilterFailed});
}

TEST_F(FilterTest, TheListsKeepTheirRegistryForm) {
  TFilterConfig& config = InstallFilterConfig(*store);
  TFilter& f = Add(config.ExportFilters(), "Mine");
  f.ApplyArea = f.DoCopy = f.ForwardCopy = true;
  f.SetArea("net.x");
  f.CopyArea = "COPIES";
  f.OrigSet = 0x2000;
  f.CopyReset = 0x0040;
  f.Type = 9;
  Add(config.ImportFilters(), "Other").DoKill = true;
  store->SaveToRegistry();
  TWinRegistry& r = store->Registry();
  EXPECT_EQ(r.ReadString("Export Filters", "Name1", ""), "Mine");
  EXPECT_EQ(r.ReadString("Export Filters\\Filter1", "Area", ""), "NET.X");
  EXPECT_EQ(r.ReadInteger("Export Filters\\Filter1", "CopyReset", 0), 0x40);
  Load();
  TFilterConfig& again = InstallFilterConfig(*store);
  store->LoadFromRegistry();
  ASSERT_EQ(again.ExportFilters().GetCount(), 1);
  const TFilter& g = *again.ExportFilters().GetFilter(0);
  EXPECT_TRUE(g.ApplyArea && g.DoCopy && g.ForwardCopy && !g.DoKill);
  EXPECT_EQ(g.Area(), "NET.X");
  EXPECT_EQ(g.OrigSet, 0x2000);
  EXPECT_EQ(g.Type, 9);
  ASSERT_EQ(again.ImportFilters().GetCount(), 1);
  EXPECT_TRUE(again.ImportFilters().GetFilter(0)->DoKill);
  EXPECT_EQ(GetImportFilters(), &again.ImportFilters());
}

// The batch import runs the filters the registry holds: a save file an
// earlier version stored in quotes is the file without them, and a save
// that cannot be written is an error in the log and a failed import (the
// message itself is placed).
TEST_F(FilterTest, TheBatchImportRunsTheConfiguredFilters) {
  const std::string folder = Start() + "Сохранённые письма/";
  const std::string saved = folder + "Письма от Ивана.txt";
  struct Row {
    const char* what;
    std::string saveFile;  // as stored; "" for no save
    int exit;
    const char* logged;
  } rows[] = {
      {"a filter that drops all", "", 0, "2 have been deleted by filters"},
      {"a save file stored in quotes", "\"" + saved + "\"", 0, "Filter \\\"Save\\\": 2 matches"},
      {"a save file in a folder that does not exist", Start() + "нет такой папки/Письма.txt", 1,
       "Filter \\\"Save\\\" could not write to text file "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Fresh();
    platform::MakeDirs(folder);
    AddEcho("FIDO.GER");
    TFilterConfig& config = InstallFilterConfig(*store);
    config.ImportFilters().Clear();
    TFilter& f = Add(config.ImportFilters(), row.saveFile.empty() ? "Drop all" : "Save");
    f.ApplyArea = true;
    f.SetArea("fido.ger");
    f.DoKill = row.saveFile.empty();
    f.DoSave = !row.saveFile.empty();
    f.SaveFile = row.saveFile;
    store->SaveToRegistry();
    Drop("a.pkt", PacketFrom({EchoMessage("FIDO.GER", "a"), EchoMessage("FIDO.GER", "b")}));
    std::string out;
    EXPECT_EQ(RunBatch(Start(), dir / "Velmaris.reg", {"import"}, &out), row.exit);
    EXPECT_NE(out.find(row.logged), std::string::npos) << out;
    if (row.saveFile.empty()) {
      EXPECT_NE(out.find("\"text\":\"Filter \\\"Drop all\\\": 2 matches\"}"), std::string::npos)
          << out;
      continue;
    }
    const bool written = row.exit == 0;
    EXPECT_EQ(platform::FileExists(saved), written);
    if (written) {
      EXPECT_NE(platform::ReadFile(saved).find("AREA:FIDO.GER"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace velmaris::test

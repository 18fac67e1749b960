#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/Compose.h"
#include "core/Area.h"
#include "core/NetLink.h"
#include "core/TextGroups.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"

namespace velmaris {
namespace {

using Lines = std::vector<std::string>;

// Two uplinks, the areas NETMAIL (netmail), FIDO.GER (echomail, first
// uplink, text group 0), LOCAL (echomail, no uplink, no group), STORE
// (storage) and FOO; a message from Max Mustermann at 1:234/5 to the point.
struct ComposeFixture : ::testing::Test {
  TLinkList uplinks;
  TAreaList areas;
  TTGList groups;
  TArea *netmail, *fido, *local, *store;
  std::unique_ptr<TMail> shown;
  TComposeSource source;

  ComposeFixture() {
    AddUplink("Boss", "Paul Point", "2:5020/100.5");
    AddUplink("Other", "Jon Point", "1:234/7.2");
    netmail = AddArea("NETMAIL", AreaTypeCode::Netmail);
    fido = AddArea("FIDO.GER", AreaTypeCode::Echomail);
    local = AddArea("LOCAL", AreaTypeCode::Echomail);
    store = AddArea("STORE", AreaTypeCode::Storage);
    AddArea("FOO", AreaTypeCode::Echomail);
    fido->Uplink = uplinks.GetItem(0);
    fido->TextGroup = 0;
    fido->RandomOrig = false;
    fido->Reflow = false;
    auto group = std::make_unique<TTextGroup>();
    group->ReplyHeader = {"Hello %of!"};
    group->ReplyFooter = {"Bye"};
    group->CommentHeader = {"%on wrote to %dn:"};
    group->ForwardHeader = {"* Forwarded"};
    group->NewHeader = {"Hi all"};
    group->NewFooter = {"Cheers"};
    group->Origins = {"First origin", "Second origin"};
    groups.Add("Default", std::move(group));
    SetShown("Hello", "hello text\r");
    source.WindowArea = fido;
    source.Areas = &areas;
    source.Uplinks = &uplinks;
    source.TextGroups = &groups;
    source.Kludges.MsgIdAddress = "1:234/5";
  }

  void AddUplink(const char* name, const char* sysop, const char* address) {
    auto link = std::make_unique<TNetLink>();
    link->Name = name;
    link->Sysop = sysop;
    link->SysopAddress.SetText(address);
    uplinks.Add(std::move(link));
  }
  TArea* AddArea(const char* name, uint8_t type) {
    return areas.Adopt(std::make_unique<TArea>("", name, name, type));
  }
  void SetShown(const std::string& subject, const std::string& body) {
    TMsgHeader h;
    h.FromName = "Max Mustermann";
    h.ToName = "Paul Point";
    h.Subject = subject;
    h.OrigAddr = *ParseFidoAddress("1:234/5");
    h.DestAddr = *ParseFidoAddress("2:5020/100.5");
    h.MsgIdNumber = 0x1a2b3c4d;
    h.ReplyNumber = 0x00c0ffee;
    shown = std::make_unique<TMail>(body + '\0', h);
    shown->Header.Flags = 0x0884;
    source.Displayed = shown.get();
    source.DisplayedIndex = 7;
  }
  void SetPane(Lines starts, Lines texts) {
    source.Reader = TReaderPane::FromParagraphs(std::move(starts), std::move(texts));
  }
};

TEST_F(ComposeFixture, RepliesAreAddressedByTheirKind) {
  struct Case {
    const char* what;
    TComposition (*compose)(const TComposeSource&, bool);
    TArea* window;
    TKludgeValues kludges;
    const char* area;
    const char* to;
    const char* dest;
    const char* from;
    const char* orig;
  };
  TKludgeValues plain;
  plain.MsgIdAddress = "1:234/5";
  TKludgeValues replyTo = plain;
  replyTo.ReplyToAddress = "2:2/2";
  replyTo.ReplyToName = "Gate Way";
  TKludgeValues replyAddr = replyTo;
  replyAddr.ReplyAddr = "Max <max@example.org>";
  const std::vector<Case> cases = {
      {"answer in echomail: the area's uplink", ComposeAnswer, fido, plain, "FIDO.GER",
       "Max Mustermann", "1:234/5", "Paul Point", "2:5020/100.5"},
      {"answer without uplink: best own address", ComposeAnswer, local, plain, "LOCAL",
       "Max Mustermann", "1:234/5", "Jon Point", "1:234/7.2"},
      {"answer to a REPLYTO", ComposeAnswer, local, replyTo, "LOCAL", "Gate Way", "2:2/2",
       "Paul Point", "2:5020/100.5"},
      {"answer with REPLYADDR", ComposeAnswer, local, replyAddr, "LOCAL",
       "Max <max@example.org>", "2:2/2", "Paul Point", "2:5020/100.5"},
      {"comment: the message's addressee", ComposeComment, fido, plain, "FIDO.GER", "Paul Point",
       "2:5020/100.5", "Paul Point", "2:5020/100.5"},
      {"netmail answer: the window area's uplink", ComposeNetmailAnswer, fido, plain, "NETMAIL",
       "Max Mustermann", "1:234/5", "Paul Point", "2:5020/100.5"},
      {"netmail answer from an area without uplink", ComposeNetmailAnswer, local, plain,
       "NETMAIL", "Max Mustermann", "1:234/5", "Jon Point", "1:234/7.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    source.WindowArea = c.window;
    source.Kludges = c.kludges;
    const TComposition r = c.compose(source, false);
    const TKQMail& m = *r.Mail;
    EXPECT_EQ(m.Area->Name, c.area);
    EXPECT_EQ(m.ToName, c.to);
    EXPECT_EQ(m.DestAddr.Text4D(), c.dest);
    EXPECT_EQ(m.FromName, c.from);
    EXPECT_EQ(m.OrigAddr.Text4D(), c.orig);
    EXPECT_EQ(m.Flags, kComposedFlags);
    EXPECT_EQ(r.Header, Lines{"\x01REPLY: 1:234/5 1a2b3c4d"});
    EXPECT_EQ(r.ReplyNumber, 0x1a2b3c4du);
    EXPECT_EQ(r.Focus, TComposeFocus::Text);
  }
}

TEST_F(ComposeFixture, ReplySubjectFollowsNoRex) {
  struct Case {
    const char* subject;
    bool noRex;
    const char* expected;
  };
  for (const Case& c : std::vector<Case>{{"Hello", false, "Re: Hello"},
                                         {"Re: Hello", false, "Re^2:  Hello"},
                                         {"Re: Hello", true, "Hello"}}) {
    SCOPED_TRACE(c.subject);
    SetShown(c.subject, "");
    fido->NoRex = c.noRex;
    EXPECT_EQ(ComposeAnswer(source, false).Mail->Subject, c.expected);
  }
}

TEST_F(ComposeFixture, StorageAnswersGoToTheAreaOfTheMessage) {
  source.WindowArea = store;
  struct Case {
    const char* body;
    const char* area;
  };
  for (const Case& c : std::vector<Case>{{"AREA:FOO\rtext\r", "FOO"},
                                         {"AREA:MISSING\rtext\r", "STORE"},
                                         {"text\r", "NETMAIL"}}) {
    SCOPED_TRACE(c.body);
    SetShown("x", c.body);
    EXPECT_EQ(ComposeAnswer(source, false).Mail->Area->Name, c.area);
    EXPECT_EQ(ComposeComment(source, false).Mail->Area->Name, c.area);
  }
}

TEST_F(ComposeFixture, TemplatesAndQuoteMakeTheText) {
  SetPane({"", " JD> ", ""}, {"First line", "older quote", ""});
  const TComposition answer = ComposeAnswer(source, true);
  EXPECT_EQ(answer.Mail->Text, (Lines{"Hello Max!", " MM> First line", " JD>> older quote", "",
                                      "Bye"}));
  EXPECT_EQ(answer.Mail->Origin, "First origin");
  EXPECT_EQ(answer.Origins, (Lines{"First origin", "Second origin"}));
  EXPECT_EQ(ComposeAnswer(source, false).Mail->Text, (Lines{"Hello Max!", "Bye"}));
  EXPECT_EQ(ComposeComment(source, true).Mail->Text.front(), "Max Mustermann wrote to Paul Point:");

  fido->RandomOrig = true;
  source.Random = [](int n) { return n - 1; };
  EXPECT_EQ(ComposeAnswer(source, false).Mail->Origin, "Second origin");

  // Without a text group nothing but the quote, and the default origin.
  source.WindowArea = local;
  const TComposition bare = ComposeAnswer(source, true);
  EXPECT_EQ(bare.Mail->Text.size(), 3u);
  EXPECT_EQ(bare.Mail->Origin, kDefaultOriginText);
  EXPECT_FALSE(bare.HasTextGroup);

  // The default templates in an echo whose tag came as UTF-8: the text is in
  // the ANSI page, so the area's letters are written in it, and the stored
  // message (the OEM page, as the echo reads it) holds them too.
  auto standard = std::make_unique<TTextGroup>();
  FillDefaultTextGroup(*standard, {});
  groups.Add("Standard", std::move(standard));
  TArea* utf8 = AddArea("RU.ТЕСТ", AreaTypeCode::Echomail);
  ASSERT_TRUE(utf8->RawTag);
  utf8->TextGroup = 1;
  source.WindowArea = utf8;
  const std::string ansi = "RU.\xD2\xC5\xD1\xD2";
  const TComposition reply = ComposeAnswer(source, false);
  ASSERT_GE(reply.Mail->Text.size(), 3u);
  EXPECT_TRUE(reply.Mail->Text[2].ends_with(" you wrote in the area *" + ansi + "*"))
      << reply.Mail->Text[2];
  reply.Mail->OrigAddr.SetText("2:5020/100.5");
  const std::unique_ptr<TMail> stored = reply.Mail->BuildMail();
  EXPECT_NE(stored->BodyText().find("in the area *RU.\x92\x85\x91\x92*"), std::string::npos);
  const TComposition comment = ComposeComment(source, false);
  ASSERT_GE(comment.Mail->Text.size(), 4u);
  EXPECT_EQ(comment.Mail->Text[3], "in the area *" + ansi + "* a message to you");
  netmail->TextGroup = 1;  // a forward goes to netmail, and names the echo it came from
  const TComposition forward = ComposeForward(source);
  EXPECT_NE(
      std::find(forward.Mail->Text.begin(), forward.Mail->Text.end(), "> Area: *" + ansi + "*"),
      forward.Mail->Text.end());
}

TEST(ComposeQuote, SelectionReflowAndWidth) {
  struct Case {
    const char* what;
    TReaderPane pane;
    bool reflow;
    Lines expected;
  };
  auto pane = [](Lines starts, Lines texts) {
    return TReaderPane::FromParagraphs(std::move(starts), std::move(texts));
  };
  auto selected = [&](Lines starts, Lines texts, int sp, int sc, int ep, int ec) {
    TReaderPane p = pane(std::move(starts), std::move(texts));
    p.StartPara = sp, p.StartCol = sc, p.EndPara = ep, p.EndCol = ec;
    return p;
  };
  const auto ansi = [](const char* utf8) {  // the reader's text is in CP1251
    return platform::FromUtf8(utf8, platform::CodePage::CP1251);
  };
  const std::string word9 = "abcdefgh ";
  std::string longText;
  for (int i = 0; i < 12; ++i) longText += word9;
  longText.pop_back();  // 107 characters
  const std::vector<Case> cases = {
      {"inside one paragraph", selected({""}, {"one two three"}, 0, 4, 0, 7), false, {" AB> two"}},
      {"backwards over two paragraphs",
       selected({"", " JD> "}, {"one two", "three four"}, 1, 10, 0, 4), false,
       {" AB> two", " JD>> three"}},
      {"same prefix joined up to an empty paragraph and a tear line",
       pane({"", "", "", "", ""}, {"one", "two", "", "x", "--- tear"}), true,
       {" AB> one two", "", " AB> x", " AB> -+- tear"}},
      {"different prefixes stay apart", pane({" JD> ", ""}, {"one", "two"}), true,
       {" JD>> one", " AB> two"}},
      {"prefixes differing in Cyrillic case are joined",
       pane({ansi(" ИП> "), ansi(" иП> ")}, {"one", "two"}), true, {ansi(" ИП>> one two")}},
      {"no line over 78 characters", pane({""}, {longText}), false,
       {" AB> " + longText.substr(0, 8 * 9 - 1), " AB> " + longText.substr(8 * 9)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(QuoteReaderText(c.pane, "AB", c.reflow), c.expected);
  }
}

TEST(ComposeQuote, InitialsAreFirstLettersOfWords) {
  EXPECT_EQ(NameInitials("Max Mustermann"), "MM");
  EXPECT_EQ(NameInitials("  jon  q  doe "), "jqd");
  EXPECT_EQ(NameInitials("\"Big Boss\" Smith"), "BS");
  EXPECT_EQ(NameInitials(""), "");
}

TEST_F(ComposeFixture, ForwardAndNewMailStartFresh) {
  SetPane({"", " JD> "}, {"body", "quoted"});
  groups.GetItem(0)->Origins = {std::string(90, 'o')};
  source.WindowArea = fido;
  const TComposition fwd = ComposeForward(source);
  EXPECT_EQ(fwd.Mail->Area, netmail);
  EXPECT_EQ(fwd.Mail->ToName, "");
  EXPECT_EQ(fwd.Mail->DestAddr.Text4D(), "0:0/0");
  EXPECT_EQ(fwd.Mail->Subject, "Hello");
  EXPECT_EQ(fwd.Mail->FromName, "Paul Point");
  EXPECT_EQ(fwd.Mail->Text, (Lines{"body", " JD> quoted"}));  // NETMAIL has no text group
  EXPECT_TRUE(fwd.Header.empty());
  EXPECT_EQ(fwd.Focus, TComposeFocus::Receiver);

  const TComposition echo = ComposeNewMail(source);
  EXPECT_EQ(echo.Mail->ToName, "All");
  EXPECT_EQ(echo.Mail->Subject, "");
  EXPECT_EQ(echo.Mail->Text, (Lines{"Hi all", "Cheers"}));
  EXPECT_EQ(echo.Mail->Origin.size(), kMaxOriginText);
  source.WindowArea = netmail;
  const TComposition net = ComposeNewMail(source);
  EXPECT_EQ(net.Mail->ToName, "");
  EXPECT_EQ(net.Mail->FromName, "Paul Point");  // the first uplink
}

TEST_F(ComposeFixture, LongOriginFillsTheOriginLineExactly) {
  groups.GetItem(0)->Origins = {std::string(90, 'o')};
  TComposition r = ComposeAnswer(source, false);
  EXPECT_EQ(r.Mail->GetOriginLine().size(), kMaxOriginLine);
}

TEST_F(ComposeFixture, EditKeepsTheStoredMessageWithoutTearAndOrigin) {
  SetPane({"", "", "", " * Origin: "}, {"text", "", "--- tear", "My station (1:234/5)"});
  source.Kludges.ReplyAddress = "3:3/3";
  const TComposition r = ComposeEdit(source);
  const TKQMail& m = *r.Mail;
  EXPECT_EQ(m.Text, (Lines{"text", ""}));
  EXPECT_EQ(m.Origin, "My station");
  EXPECT_EQ(m.Flags, 0x0884);
  EXPECT_EQ(m.FromName, "Max Mustermann");
  EXPECT_EQ(m.DestAddr.Text4D(), "2:5020/100.5");
  EXPECT_EQ(r.Header, Lines{"\x01REPLY: 3:3/3 00c0ffee"});
  EXPECT_EQ(r.Modifies, 7);
  EXPECT_FALSE(r.AllowAreaChange);
  EXPECT_EQ(r.Focus, TComposeFocus::None);
}

TEST_F(ComposeFixture, EditLockAsksWhileTheAreaIsBusy) {
  platform::ScriptedPrompter prompter;
  ASSERT_TRUE(local->Lock(false));
  prompter.Script({platform::mbRetry, platform::mbAbort});
  EXPECT_FALSE(TakeEditLock(*local, prompter));
  ASSERT_EQ(prompter.Questions().size(), 2u);
  EXPECT_EQ(prompter.Questions()[0].text, "Cannot get exclusive access to the area  LOCAL !");
  local->Unlock();
  EXPECT_TRUE(TakeEditLock(*local, prompter));
  EXPECT_TRUE(local->IsLockedExclusive());
  EXPECT_EQ(prompter.Questions().size(), 2u);
  local->Unlock();
}

TEST_F(ComposeFixture, NetmailAnswerCarriesIntlPointAndReplyKludges) {
  source.WindowArea = local;
  SetShown("Hi", "text\r");
  TComposition r = ComposeNetmailAnswer(source, false);
  TKQMail& m = *r.Mail;
  m.DestAddr.SetText("1:234/5.9");
  Lines text = r.Header;
  text.insert(text.end(), m.Text.begin(), m.Text.end());
  m.Text = text;
  const std::string body(m.BuildMail()->BodyText());
  EXPECT_NE(body.find("\x01INTL 1:234/5 1:234/7\r"), std::string::npos) << body;
  EXPECT_NE(body.find("\x01" "FMPT 2\r"), std::string::npos);
  EXPECT_NE(body.find("\x01TOPT 9\r"), std::string::npos);
  EXPECT_NE(body.find("\x01REPLY: 1:234/5 1a2b3c4d\r"), std::string::npos);
}

}  // namespace
}  // namespace velmaris

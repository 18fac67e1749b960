#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgList.h"
#include "app/logic/MsgRender.h"
#include "app/logic/MsgThreads.h"
#include "core/Area.h"
#include "core/MsgBaseFixtures.h"
#include "platform/CodePage.h"
#include "processing/Secretary.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

using test::MakeMail;

// Names and subjects are stored in the ANSI code page (CP1251).
std::string Ansi(const char* utf8) { return platform::FromUtf8(utf8, platform::CodePage::CP1251); }

// One stored message: names, subject, times, flags, and the MSGID/REPLY
// serials (the address CRC is the serial, so a REPLY names its MSGID).
struct Msg {
  std::string from, to, subject;
  int32_t created = 1700000000;
  uint16_t flags = 0;
  uint32_t msgId = 0, reply = 0;
  size_t textSize = 40;
};

class AreaWith {
 public:
  explicit AreaWith(const std::vector<Msg>& msgs) : area(dir.Path(), "TEST.ECHO", "TEST.ECHO") {
    int n = 0;
    for (const Msg& m : msgs) {
      auto mail = MakeMail(++n, m.textSize, m.flags);
      mail->Header.FromName = m.from;
      mail->Header.ToName = m.to;
      mail->Header.Subject = m.subject;
      mail->Header.Created = m.created;
      mail->Header.MsgIdNumber = m.msgId;
      mail->Header.MsgIdCrc = m.msgId;
      mail->Header.ReplyNumber = m.reply;
      mail->Header.ReplyCrc = m.reply;
      area.QueueMail(std::move(mail), false);
    }
    if (!msgs.empty()) {
      EXPECT_TRUE(area.WriteQueuedMail());
    }
    EXPECT_TRUE(area.OpenIndex());
  }
  ~AreaWith() { area.CloseIndex(); }
  test::TempDir dir;
  TArea area;
};

std::vector<int> Rows(const TArea& area, const TSearchRequest& mask, int key, bool descending) {
  TIntegerList list;
  BuildDisplayRows(area, mask, key, descending, list);
  std::vector<int> rows;
  for (int i = 0; i < list.Count(); ++i) rows.push_back(list.Get(i));
  return rows;
}

TEST(MsgListRows, CellsFollowTheFlags) {
  struct Case {
    uint16_t flags;
    int state, mark, unread;
    const char* flagText;
    bool bold, sysopColour;
  };
  const Case cases[] = {
      {0x0000, 1, -1, -1, "---- ------", false, false},
      {0x0004, 0, -1, 7, "-U-- ------", true, false},
      {0x0010, 3, 6, -1, "--S- ------", false, true},
      {0x0014, 2, 10, 7, "-US- ------", true, true},
      {0x0094, 2, 9, 7, "-US- -S----", true, true},    // Sent replaces the sysop mark
      {0x00D0, 3, 8, -1, "--S- DS----", false, true},  // Send replaces both
      {0x0040, 1, 8, -1, "---- D-----", false, true},
      {0x2002, 1, -1, -1, "I--H ------", false, false},
      {0x0720, 1, -1, -1, "---- --KCAR", false, false},
      {0x3FFF, 2, 8, 7, "IUSH DSKCAR", true, true},  // Deleted and Editable show no letter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flagText);
    EXPECT_EQ(MsgStateImage(c.flags), c.state);
    EXPECT_EQ(MsgMarkImage(c.flags), c.mark);
    EXPECT_EQ(MsgUnreadImage(c.flags), c.unread);
    EXPECT_EQ(MsgFlagString(c.flags), c.flagText);
    EXPECT_EQ(MsgRowBold(c.flags), c.bold);
    EXPECT_EQ(MsgRowSysopColour(c.flags), c.sysopColour);
  }
  EXPECT_EQ(MsgTimeText(0), "?");
  EXPECT_EQ(MsgTimeText(-5), "?");
  EXPECT_EQ(MsgTimeText(86400 + 3600 + 61), "02.01.70 1:01:01");
}

TEST(MsgListRows, SortKeysOrderTheRowsAndTheMaskFilters) {
  AreaWith a({{"bob", "Zed", "beta", 300, 0x0004, 0, 0, 90},
              {"Alice", "amy", "Alpha", 100, 0, 0, 0, 40},
              {"carl", "Max", "alpha", 200, 0x0004, 0, 0, 60},
              {"alice", "Bea", "Gamma", 200, 0, 0, 0, 20}});
  const TSearchRequest all;
  struct Case {
    int key;
    bool descending;
    std::vector<int> rows;
  };
  const Case cases[] = {
      {MsgSortKey::Area, false, {0, 1, 2, 3}},
      {MsgSortKey::Received, false, {0, 1, 2, 3}},
      {MsgSortKey::Received, true, {3, 2, 1, 0}},
      {MsgSortKey::From, false, {1, 3, 0, 2}},  // case-insensitive, equal keys in area order
      {MsgSortKey::From, true, {2, 0, 3, 1}},
      {MsgSortKey::To, false, {1, 3, 2, 0}},
      {MsgSortKey::Subject, false, {1, 2, 0, 3}},
      {MsgSortKey::Created, false, {1, 2, 3, 0}},
      {MsgSortKey::Size, false, {3, 1, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key * 10 + c.descending);
    EXPECT_EQ(Rows(a.area, all, c.key, c.descending), c.rows);
  }
  TSearchRequest unread;
  unread.FlagMask = unread.Flags = MsgFlag::Unread;
  EXPECT_EQ(Rows(a.area, unread, MsgSortKey::From, false), (std::vector<int>{0, 2}));
  AreaWith cyrillic({{Ansi("Яков"), "", ""}, {Ansi("Анна"), "", ""}, {Ansi("иван"), "", ""}});
  EXPECT_EQ(Rows(cyrillic.area, all, MsgSortKey::From, false), (std::vector<int>{1, 2, 0}));
  // Ё and ё, below А in CP1251, sort right after Е and е, in either case;
  // they stay letters of their own (ёжик is no ежик).
  AreaWith yo({{Ansi("Жанна"), "", ""},
               {Ansi("Ёлкин"), "", ""},
               {Ansi("Анна"), "", ""},
               {Ansi("Егор"), "", ""},
               {Ansi("ёжик"), "", ""},
               {Ansi("ежов"), "", ""},
               {Ansi("ЕЖИК"), "", ""}});
  EXPECT_EQ(Rows(yo.area, all, MsgSortKey::From, false), (std::vector<int>{2, 3, 6, 5, 4, 1, 0}));
  EXPECT_EQ(Rows(yo.area, all, MsgSortKey::From, true), (std::vector<int>{0, 1, 4, 5, 6, 3, 2}));
  EXPECT_EQ(MsgListCaption(&a.area, 2), "TEST.ECHO - 4 Messages (Filtered)");
  EXPECT_EQ(MsgListCaption(&a.area, 4), "TEST.ECHO - 4 Messages");
  EXPECT_EQ(MsgListCaption(nullptr, 0), "No area assigned");
  // The columns that sort and the glyph's column of each key.
  for (int column = 0; column < MsgColumn::Count; ++column)
    if (const int key = SortKeyOfColumn(column); key >= 0) {
      EXPECT_EQ(ColumnOfSortKey(key), column);
    }
  EXPECT_EQ(ColumnOfSortKey(MsgSortKey::Area), MsgColumn::State);
  EXPECT_EQ(SortKeyOfColumn(MsgColumn::Mark), -1);
}

// The display mask tests the names and the subject, which are stored in the
// ANSI code page (CP1251), as the mask's texts are typed.
TEST(MsgListRows, TheDisplayMaskFoldsCyrillicLetters) {
  AreaWith a({{Ansi("Иван Петров"), "All", Ansi("Тест кириллицы")},
              {"Anna Berg", "All", "Latin test"},
              {Ansi("ёжик"), "All", Ansi("ТЕСТ")},
              {Ansi("Ежик"), "All", "Other"}});
  const struct {
    int field;  // 1 sender, 3 subject
    const char* text;
    bool cs, sub;
    std::vector<int> rows;
  } cases[] = {
      {3, "ТЕСТ", false, true, {0, 2}}, {3, "Тест", true, true, {0}},
      {3, "тест", false, false, {2}},   {1, "ИВАН", false, true, {0}},
      {1, "ЁЖИК", false, false, {2}},   {1, "ежик", false, false, {3}},
  };
  for (const auto& c : cases) {
    TSearchRequest mask;
    TSearchString& condition = c.field == 1 ? mask.Origin : mask.Subject;
    (c.field == 1 ? mask.ApplyOrigin : mask.ApplySubject) = true;
    condition.SetText(Ansi(c.text));
    condition.CaseSensitive = c.cs;
    condition.SubstringMatch = c.sub;
    EXPECT_EQ(Rows(a.area, mask, MsgSortKey::Area, false), c.rows) << c.text;
  }
}

TEST(MsgListRows, StatusTextNamesEveryCount) {
  TArea area("", "A", "A");
  area.Count = 120;
  area.ToSysopCount = 5;
  area.UnreadCount = 12;
  area.UnreadToSysopCount = 2;
  EXPECT_EQ(MsgListStatusText(area, 100),
            "120 Messages(5 to sysop), 12 unread(2 to sysop), 20 filtered, 100 shown");
  area.ToSysopCount = area.UnreadCount = area.UnreadToSysopCount = 0;
  EXPECT_EQ(MsgListStatusText(area, 120), "120 Messages");
  EXPECT_EQ(MsgListCaption(&area, 120), "Could not access area A !");
  // An echo tag kept as UTF-8 is named by its letters (the caption is UTF-8).
  TArea utf8("", "RU.ТЕСТ", "RU.ТЕСТ");
  EXPECT_EQ(MsgListCaption(&utf8, 0), "Could not access area RU.ТЕСТ !");
  TArea ansi("", "RU.\xD2\xC5\xD1\xD2", "RU.ТЕСТ");
  EXPECT_EQ(MsgListCaption(&ansi, 0), "Could not access area RU.ТЕСТ !");
  // Whether the tag is raw is the area's to say: UTF-8 bytes that would go
  // into the OEM page and back are still the letters they hold when the area
  // keeps them as its uplink sent them.
  TArea raw("", "RU.\xD0\xA2\xD0\xA1\xD0\xA0", "RU.TSR");
  raw.RawTag = true;
  EXPECT_EQ(MsgListCaption(&raw, 0), "Could not access area RU.ТСР !");
}

TEST(MsgListSearch, FlagAndTopicSearchesStepOverTheArea) {
  AreaWith a({{"a", "b", "Hello", 0, 0x0004},
              {"a", "b", "Re: hello", 0, 0x0010},
              {"a", "b", "Other", 0, 0x0014},
              {"a", "b", "RE^3:  HELLO", 0, 0}});
  EXPECT_EQ(FindNextByFlags(a.area, 0, 0x0004, 0), 2);
  EXPECT_EQ(FindNextByFlags(a.area, 2, 0x0004, 0), -1);
  EXPECT_EQ(FindNextByFlags(a.area, 0, 0x0010, 0x0004), 1);
  EXPECT_EQ(FindNextByFlags(a.area, 3, 0, 0), -1);  // from the last message
  EXPECT_EQ(FindPrevByFlags(a.area, 3, 0x0014, 0), 2);
  EXPECT_EQ(FindPrevByFlags(a.area, 0, 0, 0), -1);
  EXPECT_EQ(FindNextSameTopic(a.area, 0, 0, "Hello", 0), 1);
  EXPECT_EQ(FindNextSameTopic(a.area, 1, 0, "hello", 0), 3);
  EXPECT_EQ(FindPrevSameTopic(a.area, 3, 0, "Re: Hello", 0), 1);
  EXPECT_EQ(FindPrevSameTopic(a.area, 1, 0x0004, "Hello", 0), 0);
  EXPECT_EQ(FindNextSameTopic(a.area, 0, 0, "Nothing", 0), -1);
  AreaWith cyrillic({{"a", "b", Ansi("Тест")}, {"a", "b", "Other"}, {"a", "b", Ansi("Re: ТЕСТ")}});
  EXPECT_EQ(FindNextSameTopic(cyrillic.area, 0, 0, Ansi("Тест"), 0), 2);
  EXPECT_EQ(FindPrevSameTopic(cyrillic.area, 2, 0, Ansi("Re: ТЕСТ"), 0), 0);
}

TEST(MsgListSearch, NavigatorStepsThroughRowsOrTheArea) {
  TIntegerList rows;
  for (int i : {4, 1, 3}) rows.Add(i);
  struct Case {
    bool next, displayOrder, advance;
    int displayed;
    TMsgStep::Kind kind;
    int index;
  };
  const Case cases[] = {
      {true, true, false, 4, TMsgStep::Show, 1},
      {true, true, false, 3, TMsgStep::None, -1},
      {true, true, true, 3, TMsgStep::OtherArea, -1},
      {true, true, false, 2, TMsgStep::Show, 4},   // filtered out: before the first row
      {false, true, false, 2, TMsgStep::Show, 3},  // and after the last one
      {false, true, false, 1, TMsgStep::Show, 4},
      {false, true, true, 4, TMsgStep::OtherArea, -1},
      {true, false, false, 3, TMsgStep::Show, 4},
      {true, false, false, 4, TMsgStep::None, -1},
      {false, false, false, 0, TMsgStep::None, -1},
      {false, false, true, 0, TMsgStep::OtherArea, -1},
      {false, false, false, 2, TMsgStep::Show, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.next << c.displayOrder << c.advance << c.displayed);
    const TMsgStep step = c.next ? NextMessageStep(rows, 5, c.displayed, c.displayOrder, c.advance)
                                 : PrevMessageStep(rows, 5, c.displayed, c.displayOrder, c.advance);
    EXPECT_EQ(step.kind, c.kind);
    if (c.kind == TMsgStep::Show) {
      EXPECT_EQ(step.index, c.index);
    }
  }
}

TEST(MsgListFilters, FiltersFromAMessageKillItsSenderOrTopicInTheAreaOnly) {
  auto mail = MakeMail(1);
  mail->Header.FromName = "Spam Master";
  mail->Header.Subject = "Re^2: Buy now";
  std::string name;
  auto sender = SenderKillFilter("Spam Master", "FIDO.GER", name);
  EXPECT_EQ(name, "DELETE: Spam Master in FIDO.GER");
  EXPECT_TRUE(sender->DoKill);
  EXPECT_TRUE(sender->Matches(*mail, "FIDO.GER", nullptr));
  EXPECT_FALSE(sender->Matches(*mail, "SU.GENERAL", nullptr));
  auto topic = SubjectKillFilter("Re^2: Buy now", "FIDO.GER", name);
  EXPECT_EQ(name, "DELETE: Thread \"Buy now\"");
  EXPECT_TRUE(topic->Matches(*mail, "FIDO.GER", nullptr));
  mail->Header.FromName = "Someone Else";
  EXPECT_FALSE(sender->Matches(*mail, "FIDO.GER", nullptr));
}

// The forest as text: one line per record, indented by depth, "[i]" for a
// message record.
std::string Dump(const TThreadForest& forest) {
  std::string out;
  std::function<void(const TThreadNode*, int)> walk = [&](const TThreadNode* n, int depth) {
    for (; n; n = n->Next) {
      out += std::string(2 * depth, ' ') + n->Text;
      if (n->Header) out += " [" + std::to_string(n->MsgIndex) + "]";
      out += "\n";
      walk(n->FirstChild, depth + 1);
    }
  };
  walk(forest.RootNode.FirstChild, 0);
  return out;
}

TEST(MsgThreads, RepliesHangUnderTheirParentsAndRootsGroupBySubject) {
  AreaWith a({
      {"Ann", "All", "Re^2: Coffee", 0, 0, 10, 30},  // replies to a later message
      {"Bob", "All", "coffee", 0, 0x0014, 20, 0},
      {"Cid", "All", "Tea", 0, 0x0004, 30, 20},
      {"Dan", "All", "Re: COFFEE", 0, 0, 40, 99},  // its parent is not in the area
      {"Eve", "All", "Re: Tea", 0, 0, 50, 10},     // reply to a reply several levels deep
      {"Fay", "All", "Apples", 0, 0, 0, 0},
  });
  TThreadForest forest;
  std::vector<int> circles;
  std::vector<std::string> steps;
  forest.Build(
      a.area, [&](const char* label) { steps.push_back(label); },
      [&](int i) { circles.push_back(i); });
  EXPECT_EQ(Dump(forest),
            "Apples\n"
            "  Fay to All [5]\n"
            "coffee\n"
            "  Bob to All [1]\n"
            "    Cid to All [2]\n"
            "      Ann to All [0]\n"
            "        Eve to All [4]\n"
            "  Dan to All [3]\n");
  EXPECT_TRUE(circles.empty());
  EXPECT_EQ(steps,
            (std::vector<std::string>{"Building hash table ...", "Creating threads and roots ...",
                                      "Processing links ..."}));
  EXPECT_LE(forest.NextNode(), 12);
  EXPECT_EQ(forest.TopRecordOf(4)->Text, "coffee");
  EXPECT_EQ(forest.ReplyTargetOf(0), 2);
  EXPECT_EQ(forest.ReplyTargetOf(3), -1);
  const TThreadGroupStats stats = GroupStatistics(*forest.TopRecordOf(0));
  EXPECT_EQ(stats.Count, 5);
  EXPECT_EQ(stats.Bits, 2 | 4 | 8);
  EXPECT_EQ(GroupStatistics(*forest.TopRecordOf(5)).Bits, 0);
  EXPECT_TRUE(a.area.ReplyTable.empty());
  // Roots whose subjects differ in Cyrillic case make one group.
  AreaWith cyrillic({{"Gus", "All", Ansi("Re: Тест")}, {"Hal", "All", Ansi("ТЕСТ")}});
  forest.Build(cyrillic.area);
  EXPECT_EQ(Dump(forest), Ansi("Тест\n  Gus to All [0]\n  Hal to All [1]\n"));
  // Groups come in alphabet order, Ё after Е, and Ё stays apart from Е.
  AreaWith yo({{"Ann", "All", Ansi("Ёлка")},
               {"Ben", "All", Ansi("елка")},
               {"Cid", "All", Ansi("Жук")},
               {"Dan", "All", Ansi("Аист")},
               {"Eve", "All", Ansi("Re: ёлка")}});
  forest.Build(yo.area);
  EXPECT_EQ(Dump(forest), Ansi("Аист\n  Dan to All [3]\n"
                               "елка\n  Ben to All [1]\n"
                               "Ёлка\n  Ann to All [0]\n  Eve to All [4]\n"
                               "Жук\n  Cid to All [2]\n"));
}

TEST(MsgThreads, CirclesOfRepliesBecomeTopLevelRecords) {
  AreaWith a({
      {"Ann", "All", "Re: Self", 0, 0, 10, 10},  // answers itself
      {"Bob", "All", "Re: Ping", 0, 0, 20, 30},  // two that answer each other
      {"Cid", "All", "Re: Pong", 0, 0, 30, 20},
      {"Dan", "All", "Re: Ping", 0, 0, 40, 20},  // a reply into the circle
  });
  TThreadForest forest;
  std::vector<int> circles;
  forest.Build(a.area, {}, [&](int i) { circles.push_back(i); });
  // Bob starts the walk, Cid is reached second and closes the circle.
  EXPECT_EQ(Dump(forest),
            "Self [0]\n"
            "Pong [2]\n"
            "  Bob to All [1]\n"
            "    Dan to All [3]\n");
  EXPECT_EQ(circles, (std::vector<int>{0, 2}));
}

TEST(MsgThreads, LongReplyChainsNeedNoRecursion) {
  std::vector<Msg> msgs;
  const int n = 20000;
  for (int i = 0; i < n; ++i)  // each answers the next one, the last is the root
    msgs.push_back({"a", "b", "Chain", 0, 0, static_cast<uint32_t>(i + 1),
                    i + 1 < n ? static_cast<uint32_t>(i + 2) : 0u, 30});
  AreaWith a(msgs);
  TThreadForest forest;
  forest.Build(a.area);
  int depth = 0;
  for (const TThreadNode* r = forest.NodeOf(0); r && r != &forest.RootNode; r = r->Parent) ++depth;
  EXPECT_EQ(depth, n + 1);  // the group, then the chain
  EXPECT_EQ(GroupStatistics(*forest.TopRecordOf(0)).Count, n);
}

// --- Rendering -------------------------------------------------------------------

const std::string E = "\x1b";
const std::string Normal = E + "\x80";
const std::string Quote = E + "\x81";
const std::string End = E + "\x08";

TEST(MsgRender, LinesAreClassifiedAsOriginQuoteOrText) {
  const std::string text =
      "\x01MSGID: 2:5020/1 1234abcd\r"
      "AREA:FIDO.GER\r"
      "Hello\r\n"
      "AB> quoted text\r"
      "JD>> deeper\r"
      "> plain marker\r"
      "Hi JD> not a quote\r"
      "xxxxxx> too far\r"
      "\r"
      " * Origin: Somewhere (2:5020/1)\r"
      "SEEN-BY: 5020/1\r"
      "AREAFIX is a word\r"
      "last line";
  TRenderOptions options;
  const TRenderedText r = RenderMessageText(text, options);
  const std::vector<std::string> lines = {"Hello" + End,
                                          "quoted text" + End,
                                          "deeper" + End,
                                          "plain marker" + End,
                                          "Hi JD> not a quote" + End,
                                          "xxxxxx> too far" + End,
                                          End,
                                          "Somewhere (2:5020/1)" + End,
                                          "AREAFIX is a word" + End,
                                          "last line" + End};
  const std::vector<std::string> prefixes = {
      Normal, Quote + "AB> ", Quote + "JD>> ",        Quote + "> ", Normal,
      Normal, Normal,         Normal + " * Origin: ", Normal,       Normal};
  EXPECT_EQ(r.Lines, lines);
  EXPECT_EQ(r.Prefixes, prefixes);
  options.ShowKludges = options.ShowArea = options.ShowSeenBy = true;
  EXPECT_EQ(RenderMessageText(text, options).Lines.size(), lines.size() + 3);
  EXPECT_TRUE(RenderMessageText("", options).Lines.empty());
  EXPECT_EQ(RenderMessageText("one\r", options).Lines.size(), 1u);
}

TEST(MsgRender, InlineStylesNeedDelimitersAroundTheMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"Re: *bold* and _under_ //ital//", "Re: " + E +
                                              "\x01"
                                              "bold" +
                                              E + "\x02 and " + E +
                                              "\x05"
                                              "under" +
                                              E + "\x06 " + E +
                                              "\x03"
                                              "ital" +
                                              E + "\x04"},
      {"2*3*4", "2*3*4"},
      {"file_name_x", "file_name_x"},
      {"**", "**"},
      {"a ** b", "a ** b"},
      {"*x*y", "*x*y"},
      {"(*x*)", "(*x*)"},
      {"*a* *b*", E +
                      "\x01"
                      "a" +
                      E + "\x02 " + E +
                      "\x01"
                      "b" +
                      E + "\x02"},
      {"http://host//x", "http://host//x"},
      {"_*both*_", E + "\x05" + E +
                       "\x01"
                       "both" +
                       E + "\x02" + E + "\x06"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ApplyInlineStyles(in), out) << in;
  TRenderOptions plain;
  plain.Styles = false;
  EXPECT_EQ(RenderMessageText("*x*", plain).Lines[0], "*x*" + End);
}

TEST(MsgRender, KludgeValuesAndCharacterSets) {
  const std::string text =
      "\x01MSGID: 2:5020/1.5 1234abcd\r"
      "\x01REPLYTO 2:5020/9 UUCP \b\r"
      "\x01REPLYADDR John Doe <john@example.org>\r"
      "\x01"
      "CHRS: LATIN-1 2\r"
      "Body\r";
  EXPECT_EQ(GetKludge(text, "MSGID", "-"), "2:5020/1.5 1234abcd");
  EXPECT_EQ(GetKludge(text, "PID", "-"), "-");
  const TKludgeValues v = ReadKludgeValues(text, "2:5020/1");
  EXPECT_EQ(v.MsgIdAddress, "2:5020/1.5");
  EXPECT_EQ(v.ReplyAddress, "<unknown>");
  EXPECT_EQ(v.ReplyToAddress, "2:5020/9");
  EXPECT_EQ(v.ReplyToName, "UUCP");
  EXPECT_EQ(v.ReplyAddr, "John Doe <john@example.org>");
  const TKludgeValues w = ReadKludgeValues("\x01REPLY: 2:1/2 0\x01REPLYADDR no address\r", "2:9/9");
  EXPECT_EQ(w.MsgIdAddress, "2:9/9");
  EXPECT_EQ(w.ReplyAddress, "2:1/2");
  EXPECT_EQ(w.ReplyAddr, "");
  EXPECT_TRUE(IsLatinText(text));
  EXPECT_TRUE(
      IsLatinText("\x01"
                  "CHARSET: latin1\r"));
  EXPECT_TRUE(
      IsLatinText("\x01"
                  "CHRS: IBMPC 2\r\x01"
                  "CHARSET: LATIN\r"));
  EXPECT_FALSE(
      IsLatinText("\x01"
                  "CHRS: IBMPC 2\r"));
  EXPECT_FALSE(IsLatinText("plain"));
}

TEST(MsgRender, OemTextIsConvertedAroundTheEscapes) {
  platform::SetOemCodePage(platform::CodePage::CP866);
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  // "Привет" in CP866 behind a quote escape, bold in the middle.
  const std::string oem = Quote + "\x8f\xe0\xa8" + E +
                          "\x01"
                          "\xa2\xa5\xe2";
  EXPECT_EQ(OemDisplayToAnsi(oem), Quote + "\xcf\xf0\xe8" + E +
                                       "\x01"
                                       "\xe2\xe5\xf2");
  EXPECT_EQ(OemDisplayToAnsi("abc" + E), "abc" + E);  // an ESC at the end keeps its place
  // An AREA line keeps a raw tag's bytes: it shows the tag's letters.
  EXPECT_EQ(OemDisplayToAnsi("AREA:RU.ТЕСТ" + E), "AREA:RU.\xD2\xC5\xD1\xD2" + E);
  EXPECT_EQ(OemDisplayToAnsi("AREA:RU.\x92\x85\x91\x92"), "AREA:RU.\xD2\xC5\xD1\xD2");
}

TEST(MsgRender, HeaderDateAndTimeComeFromTheDateField) {
  const std::string field("06 Dec 26  19:45:00\0", 20);
  EXPECT_EQ(MailDateText(field), "06 Dec 26");
  EXPECT_EQ(MailTimeText(field), "19:45:00");
  const std::string broken("06 D\0c 26  19:45:00\0", 20);
  EXPECT_EQ(MailDateText(broken), "invalid");
  EXPECT_EQ(MailTimeText(broken), "19:45:00");
  EXPECT_EQ(MailTimeText("06 Dec"), "invalid");
}

}  // namespace
}  // namespace velmaris

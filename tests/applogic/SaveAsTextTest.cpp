#include "app/logic/SaveAsText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/AreaFixtures.h"
#include "core/MailFixtures.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

const std::string kStars(78, '*');

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(text.substr(pos, end - pos));
  EXPECT_EQ(pos, text.size());  // every line ends in CR LF
  return lines;
}

TEST(SaveAsTextTest, OneMessageBlockByteForByte) {
  test::MailSpec mailSpec;
  mailSpec.text = "Hi!\r\n\rJD> quoted\r\x01MSGID: 1\rSEEN-BY: 5020/1\rAREA:RU.TEST\rBye";
  const std::string saved = SavedMessageText(*test::MakeSpecMail(mailSpec), {});
  EXPECT_EQ(saved, kStars + "\r\n" +
                       "*      Area: RU.TEST\r\n"
                       "*   Subject: Test\r\n"
                       "*    Sender: Ivan Petrov(2:5020/1.7)\r\n"
                       "*  Receiver: All(1:5030/2)\r\n"
                       "*      Date: 05 Jan 98\r\n"
                       "*      Time: 12:00:00\r\n" +
                       kStars + "\r\n" + "Hi!\r\n\r\nJD> quoted\r\nBye\r\n" + kStars +
                       "\r\n\r\n\r\n\r\n");
}

// The file is made in the ANSI page: an echo is named there by the letters
// its area reads in its tag, in the box and in the message's own AREA line
// (whose bytes a raw tag keeps, which the OEM page would misread).
TEST(SaveAsTextTest, TheAreaIsNamedByItsLetters) {
  test::TempDir dir;
  test::ShellScope shell;
  TAreaList areas;
  const std::string tst = "RU.\xD0\xA2\xD0\xA1\xD0\xA0";  // "RU.ТСР" in UTF-8
  areas.Adopt(std::make_unique<TArea>(dir.Path(), tst, "RU.TSR"));
  areas.Adopt(std::make_unique<TArea>(dir.Path(), "RU.ТЕСТ", "RU.TEST"));
  // Whether a tag is raw is the area's to say, whatever its bytes suggest.
  areas.GetItem(0)->RawTag = true;
  ASSERT_TRUE(areas.GetItem(1)->RawTag);
  SetAreaList(&areas);
  const std::shared_ptr<void> unset(nullptr, [](void*) { SetAreaList(nullptr); });
  struct Case {
    std::string area, areaLine, box, shown;
  };
  for (const Case& c :
       {Case{tst, "AREA:" + tst, "RU.\xD2\xD1\xD0", "AREA:RU.\xD2\xD1\xD0"},
        Case{"RU.ТЕСТ", "AREA:RU.ТЕСТ", "RU.\xD2\xC5\xD1\xD2", "AREA:RU.\xD2\xC5\xD1\xD2"}}) {
    SCOPED_TRACE(c.area);
    test::MailSpec mailSpec;
    mailSpec.area = c.area;
    mailSpec.text = c.areaLine + "\rHi!\r";
    const std::vector<std::string> lines =
        Lines(SavedMessageText(*test::MakeSpecMail(mailSpec), {false, true, false}));
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[1], "*      Area: " + c.box);
    EXPECT_EQ(lines[8], c.shown);
    EXPECT_EQ(lines[9], "Hi!");
  }
}

TEST(SaveAsTextTest, LinesAreCutWrappedAndFilteredByTheSwitches) {
  test::MailSpec mailSpec;
  mailSpec.from = std::string(60, 'F');
  mailSpec.subject = std::string(100, 'S');
  mailSpec.date = std::string("05 Jan\0 98  12:00:00", 20);
  std::string words;
  while (words.size() < 200) words += "word ";
  mailSpec.text =
      "JD> " + words + "\rSEEN-BY: " + std::string(30, '1') + " " + std::string(60, '2');
  const auto mail = test::MakeSpecMail(mailSpec);

  const std::vector<std::string> off = Lines(SavedMessageText(*mail, {}));
  EXPECT_EQ(off[2], "*   Subject: " + std::string(71, 'S'));
  EXPECT_EQ(off[3], "*    Sender: " + std::string(35, 'F') + "(2:5020/1.7)");
  EXPECT_EQ(off[5], "*      Date: invalid");
  ASSERT_EQ(off.size(), 8u + 3u + 4u);  // the quote takes three lines
  for (size_t i = 8; i < 11; ++i) {
    EXPECT_EQ(off[i].substr(0, 4), "JD> ");
    EXPECT_LE(off[i].size(), 78u);
  }
  SCOPED_TRACE("SEEN-BY switched on");
  const std::vector<std::string> on = Lines(SavedMessageText(*mail, {false, false, true}));
  ASSERT_EQ(on.size(), off.size() + 2);
  EXPECT_EQ(on[11], "SEEN-BY: " + std::string(30, '1'));
  EXPECT_EQ(on[12], std::string(60, '2'));
}

TEST(SaveAsTextTest, SelectionIsAppendedOrReplacesTheFile) {
  test::TempDir dir;
  test::ShellScope shell;
  TArea area(dir.Path(), "SAVE", "SAVE");
  std::vector<std::unique_ptr<TMail>> mails;
  for (const char* who : {"Anna", "Boris", "Clara"}) {
    test::MailSpec mailSpec;
    mailSpec.from = who;
    mails.push_back(test::MakeSpecMail(mailSpec));
  }
  ASSERT_TRUE(area.Lock(true));
  ASSERT_TRUE(area.StoreMails(std::move(mails)));
  area.Unlock();

  const std::string file = dir / "saved.txt";
  TToolProgress quiet;
  // Appending to a file that does not exist creates it.
  EXPECT_EQ(SaveMessagesAsText(area, {2, 0}, file, true, {}, quiet).Processed, 2);
  const std::string two = dir.Read("saved.txt");
  const std::vector<std::string> lines = Lines(two);
  ASSERT_EQ(lines.size(), 2u * 13u);
  EXPECT_EQ(lines[3], "*    Sender: Clara(2:5020/1.7)");
  EXPECT_EQ(lines[13 + 3], "*    Sender: Anna(2:5020/1.7)");
  EXPECT_EQ(SaveMessagesAsText(area, {1}, file, true, {}, quiet).Processed, 1);
  EXPECT_EQ(dir.Read("saved.txt").substr(0, two.size()), two);
  EXPECT_EQ(SaveMessagesAsText(area, {1}, file, false, {}, quiet).Processed, 1);
  EXPECT_EQ(Lines(dir.Read("saved.txt")).size(), 13u);
  // A file that cannot be opened: nothing happens, no message.
  const TToolOutcome out = SaveMessagesAsText(area, {1}, dir / "missing/x.txt", false, {}, quiet);
  EXPECT_EQ(out.Outcome, TToolOutcome::Failed);
  EXPECT_TRUE(out.Error.empty());
  EXPECT_FALSE(area.IsLocked());
}

}  // namespace
}  // namespace velmaris

#include <gtest/gtest.h>

#include "app/logic/MsgPrint.h"
#include "core/MailFixtures.h"
#include "platform/CodePage.h"

namespace velmaris::test {
namespace {

TEST(MsgPrint, BoxInBoldThenTheTextWithQuotesRewrapped) {
  MailSpec s;
  s.area = std::string(60, 'A');
  s.subject = std::string(80, 'S');
  s.text = "\x01MSGID: 2:5020/1.7 1\rAREA:RU.TEST\r" +
           platform::FromUtf8("Привет!", platform::CodePage::CP866) + "\r\r" + "XY> " +
           std::string(40, 'q') + " " + std::string(40, 'r') + "\r";
  const auto mail = MakeSpecMail(s);
  const std::string stars(78, '*');
  const std::vector<TPrintedLine> want = {
      {stars, true},
      {"*      Area: " + std::string(51, 'A'), true},  // 64 characters in all
      {"*   Subject: " + std::string(71, 'S'), true},  // 84
      {"*    Sender: Ivan Petrov(2:5020/1.7)", true},
      {"*  Receiver: All(1:5030/2)", true},
      {"*      Date: 05 Jan 98", true},
      {"*      Time: 12:00:00", true},
      {stars, true},
      {platform::FromUtf8("Привет!", platform::AnsiCodePage()), false},
      {"", false},
      {"XY> " + std::string(40, 'q'), false},
      {"XY> " + std::string(40, 'r'), false},
      {stars, false},
  };
  EXPECT_EQ(MessagePrintLines(*mail, {}), want);
  EXPECT_EQ(MessagePrintLines(*mail, {true, true, false}).size(), want.size() + 2);

  // An echo whose tag came as UTF-8 is printed by its letters, in the box
  // and in the message's own AREA line (which keeps the tag's bytes).
  s.area = "RU.ТЕСТ";
  s.text = "AREA:RU.ТЕСТ\rHi\r";
  const std::vector<TPrintedLine> utf8 = MessagePrintLines(*MakeSpecMail(s), {false, true, false});
  ASSERT_EQ(utf8.size(), 11u);
  EXPECT_EQ(utf8[1].Text, "*      Area: RU.\xD2\xC5\xD1\xD2");
  EXPECT_EQ(utf8[8].Text, "AREA:RU.\xD2\xC5\xD1\xD2");
  EXPECT_EQ(utf8[9].Text, "Hi");
}

}  // namespace
}  // namespace velmaris::test

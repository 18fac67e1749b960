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
}

}  // namespace
}  // namespace velmaris::test

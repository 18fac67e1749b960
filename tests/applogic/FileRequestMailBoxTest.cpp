#include <gtest/gtest.h>

#include "app/logic/FileRequestMailBox.h"
#include "core/MailBox.h"
#include "core/MsgHeader.h"

namespace velmaris::test {
namespace {

TEST(FileRequestMailBox, TheSendersSystemReplacesTheRecordsListAndNumbers) {
  struct Case {
    std::string from, profile, name, command;
  };
  const Case cases[] = {
      {"Bbs Sysop", "Modem", "Mailbox of Bbs Sysop", "Modem"},
      {"Bbs Sysop", "", "Mailbox of Bbs Sysop", "old command"},
      // The longest sender a header holds just fits the 46 characters.
      {std::string(35, 'x'), "", "Mailbox of " + std::string(35, 'x'), "old command"},
  };
  for (const Case& c : cases) {
    TMailBox box;
    box.Command = "old command";
    box.FileList = "/lists/old.txt";
    box.AreaIndicator = "Area";
    box.Numbers = {"123", "456"};
    box.AreaColumn = 5;
    TMsgHeader h;
    h.FromName = c.from;
    h.OrigAddr = {2, 5020, 1, 2};
    FillRequestMailBox(box, h, c.profile);
    EXPECT_EQ(box.Name, c.name);
    EXPECT_EQ(box.Sysop, c.from);
    EXPECT_EQ(box.Address.Text4D(), "2:5020/1.2");
    EXPECT_EQ(box.Command, c.command);
    EXPECT_TRUE(box.FileList.empty());
    EXPECT_TRUE(box.AreaIndicator.empty());
    EXPECT_TRUE(box.Numbers.empty());
    EXPECT_EQ(box.AreaColumn, 5);  // the layout of area lines stays
  }
}

}  // namespace
}  // namespace velmaris::test

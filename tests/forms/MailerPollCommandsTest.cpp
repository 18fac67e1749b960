// The mailer window's poll commands that pick the node in the nodelist
// browser: Poll > node and a double click on an outbound entry. The session
// takes the number from the program's nodelist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "MailerFormsFixture.h"
#include "core/ConfigStoreFixture.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/MailerForm.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/Files.h"
#include "support/NodelistIndexSet.h"
#include "widgets/BetterListBox.h"
#include "widgets/ModalHook.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {
namespace {

class MailerPollCommandsTest : public MailerFormsFixture {
 protected:
  void SetUp() override {
    MailerFormsFixture::SetUp();
    WriteBrowseIndexSet(dir, "nl/");
    GetNodelistLookup().SetPath(dir / "nl/");
  }
  void TearDown() override {
    GetNodelistLookup().SetPath("");
    MailerFormsFixture::TearDown();
  }
  // Answers the browser: its caption and filter are noted, then the row
  // showing `address` is chosen (none: cancelled).
  void AnswerBrowser(const std::string& address) {
    SetModalHook([this, address](QWidget* w) {
      auto& browser = static_cast<TAdvNLLookup&>(*w);
      caption = browser.windowTitle().toStdString();
      filter = {static_cast<int>(browser.SpZone->Value()), static_cast<int>(browser.SpNet->Value()),
                static_cast<int>(browser.SpNode->Value()),
                static_cast<int>(browser.SpPoint->Value())};
      w->show();
      EXPECT_TRUE(dispatcher.RunUntil([&] { return !browser.Updater().Running(); }));
      records = browser.Records();
      Shot(browser, "MailerPollNodeBrowser");
      if (address.empty()) return int(QDialog::Rejected);
      for (int row = 0; row < browser.List->Count(); ++row) {
        browser.List->SelectItem(row);
        browser.ListClick();
        if (browser.ResAddr->text().toStdString() == address) return int(QDialog::Accepted);
      }
      ADD_FAILURE() << address << " is not listed";
      return int(QDialog::Rejected);
    });
  }
  std::string Log(TMailerForm& form) { return form.LogMemo->toPlainText().toStdString(); }

  std::string caption;
  std::vector<int> filter, records;
};

TEST_F(MailerPollCommandsTest, PollNodeCallsTheNodePickedWithItsNodelistNumber) {
  TMailer* profile = profiles->AddMailer(*config);
  TMailerForm form(*profile, *config);
  EXPECT_NE(form.findChild<QAction*>("NOde1"), nullptr);
  AnswerBrowser("2:5020/1");
  form.NOde1->trigger();
  EXPECT_EQ(caption, "Select Node");
  EXPECT_EQ(filter, (std::vector<int>{-1, -1, -1, -1}));
  const std::string log = Log(form);
  EXPECT_NE(log.find("DSYS Connecting to system New York(2:5020/1)"), std::string::npos) << log;
  EXPECT_NE(log.find("DEBG Original number: +7-1"), std::string::npos) << log;
  EXPECT_TRUE(prompter.Questions().empty());  // the line cannot open: logged only

  AnswerBrowser("");  // cancelled: nothing is called
  form.NOde1->trigger();
  EXPECT_EQ(Log(form), log);

  // The inbound a link into a drive that is not mounted: nothing is dialled,
  // a box says why.
  const std::string inbound = platform::WithoutSlash(config->Values()->InboundDir());
  std::filesystem::remove_all(inbound);
  std::filesystem::create_directory_symlink(dir / "usb/Inbound", inbound);
  AnswerBrowser("2:5020/1");
  form.NOde1->trigger();
  const std::string why = "The inbound folder " + inbound + " is a link to " + dir / "usb/Inbound" +
                          ", which is missing (is its drive mounted?): no call is made";
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(prompter.Questions()[0].text, why);
  const std::string after = Log(form).substr(log.size());
  EXPECT_NE(after.find("DERR The inbound folder "), std::string::npos) << after;
  EXPECT_EQ(after.find("DEBG Original number"), std::string::npos) << after;
  std::filesystem::remove(inbound);
}

TEST_F(MailerPollCommandsTest, DoubleClickOnAnEntryOpensTheBrowserAtItsAddress) {
  TMailer* profile = profiles->AddMailer(*config);
  TMailerForm form(*profile, *config);
  dir.Write("out.pkt", "packet");
  platform::MakeDirs(config->Values()->OutboundDir());
  platform::WriteFileAtomic(config->Values()->OutboundDir() + "139C0001.flo",
                            dir / "out.pkt" + "\r\n");
  form.resize(700, 500);
  form.show();
  form.RescanBtn->trigger();
  ASSERT_EQ(form.OutboundList->topLevelItemCount(), 1);
  QTreeWidgetItem* item = form.OutboundList->topLevelItem(0);
  form.OutboundList->setCurrentItem(item);
  AnswerBrowser("2:5020/1");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  Shot(form, "MailerFormOutbound");
  const QPoint at = form.OutboundList->visualItemRect(item).center();
  QTest::mouseClick(form.OutboundList->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(form.OutboundList->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(caption, "Poll Node");
  EXPECT_EQ(filter, (std::vector<int>{2, 5020, 1, 0}));
  EXPECT_EQ(records, std::vector<int>{1});  // the node, not its point
  EXPECT_NE(Log(form).find("DSYS Connecting to system New York(2:5020/1)"), std::string::npos)
      << Log(form);
}

}  // namespace
}  // namespace velmaris::test

// Messages of the message list window handed on as lists, through the real
// main window: a robot's area list into the area managers, a BBS's file list
// into the file request editor.
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>

#include "MainWindowFixture.h"
#include "app/LTypeReq.h"
#include "app/MsgWin.h"
#include "core/MsgBaseFixtures.h"
#include "core/NetLink.h"
#include "mailer/FileRequest.h"
#include "mailer/forms/FileReqEditor.h"
#include "platform/Files.h"
#include "processing/AreaManager.h"
#include "processing/forms/Calibrator.h"
#include "widgets/ModalHook.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {
namespace {

// A message from the name at the address with the text (lines ended by CR).
std::unique_ptr<TMail> ListMail(const std::string& from, TFidoAddr orig, const std::string& subject,
                                const std::string& text) {
  BodySpec b;
  b.from = from;
  b.to = "Point User";
  b.subject = subject;
  b.text = text;
  uint16_t offset = 0;
  std::string body = MakeBody(b, &offset);
  TMsgHeader h;
  h.OrigAddr = orig;
  h.DestAddr = {2, 5020, 1, 7};
  h.FromName = from;
  h.ToName = b.to;
  h.Subject = subject;
  h.TextOffset = offset;
  h.BodyLength = static_cast<uint32_t>(body.size());
  return std::make_unique<TMail>(std::move(body), h);
}

constexpr TFidoAddr kUplink{2, 5020, 1, 0};
const char* const kEchoList = "Areas available to you:\rRU.ONE  First\rRU.TWO  Second\rRU.THREE Third\r";

class MsgWinListsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Prepare({{"LISTS", {}}});
    Open();
    link = window->ConfigStore().Uplinks().GetItem(0);
    link->UplinkAddress.SetAddress(kUplink);
  }
  void TearDown() override {
    SetModalHook({});
    MainWindowFixture::TearDown();
  }
  // Stores the mails into LISTS and opens its window.
  TMessageListWindow& Store(std::vector<std::unique_ptr<TMail>> mails) {
    TArea& area = *Area("LISTS");
    EXPECT_TRUE(area.Lock(true));
    for (auto& mail : mails) area.QueueMail(std::move(mail), false);
    EXPECT_TRUE(area.WriteQueuedMail());
    area.Unlock();
    return *window->OpenMessageList(area);
  }
  // Answers the list-type question (when asked) and the calibration.
  void Answer(bool fileList, bool remember, std::vector<std::string>* asked) {
    SetModalHook([=](QWidget* w) {
      if (auto* request = qobject_cast<TLTypeReq*>(w)) {
        asked->push_back("type");
        (fileList ? request->RbFileList : request->RbEchoList)->setChecked(true);
        request->CbRemember->setChecked(remember);
        if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
          request->grab().save(QString::fromUtf8(dir) + "/TLTypeReq.png");
        return int(QDialog::Accepted);
      }
      if (auto* calibrator = qobject_cast<TCalibrator*>(w)) {
        asked->push_back("calibrate");
        // The lists here have the tag in column 1, the description in 10.
        calibrator->SNOfs->SetValue(1);
        calibrator->SDLine->SetValue(0);
        calibrator->SDOfs->SetValue(10);
        calibrator->OKClick();
        return calibrator->result();
      }
      return int(QDialog::Rejected);
    });
  }
  TNetLink* link = nullptr;
};

TEST_F(MsgWinListsTest, AListReplyOfTheUplinksRobotBecomesEntriesOfItsEchoList) {
  TMessageListWindow& list = Store([] {
    std::vector<std::unique_ptr<TMail>> m;
    m.push_back(ListMail("AreaFix", kUplink, "Your areas", kEchoList));
    m.push_back(ListMail("ListBot", kUplink, "File areas", "FILES.A  Archive\rFILES.B  Tools\r"));
    m.push_back(ListMail("AreaFix", {2, 5020, 99, 0}, "Areas", kEchoList));
    return m;
  }());
  QAction* command = list.Action("AlsArealistverwenden");
  ASSERT_NE(command, nullptr);
  EXPECT_FALSE(command->isEnabled());  // the message view only
  std::vector<std::string> asked;
  Answer(true, true, &asked);

  // The robot's name decides: no question, three new echo areas.
  list.GoToMessage(0);
  command->trigger();
  EXPECT_EQ(asked, std::vector<std::string>{"calibrate"});
  ASSERT_FALSE(prompter.Questions().empty());
  EXPECT_EQ(prompter.Questions().back().text, "3 new areas found !");
  const TAreaInfoList& echo = window->AreaManagers()->Echo().All();
  ASSERT_EQ(echo.Count(), 3);
  std::vector<std::string> tags;
  for (int i = 0; i < echo.Count(); ++i) tags.push_back(echo.Get(i)->Name);
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags, (std::vector<std::string>{"RU.ONE", "RU.THREE", "RU.TWO"}));
  // The calibration is kept as the uplink's columns.
  EXPECT_EQ(std::make_tuple(link->AFNameO, link->AFDescO), std::make_tuple(1, 10));
  EXPECT_EQ(window->AreaManagers()->Files().All().Count(), 0);
  // The same list again finds nothing new.
  command->trigger();
  EXPECT_EQ(prompter.Questions().back().text, "0 new areas found !");

  // An unknown sender: the user says file list and remembers it.
  asked.clear();
  list.GoToMessage(1);
  command->trigger();
  EXPECT_EQ(asked, (std::vector<std::string>{"type", "calibrate"}));
  EXPECT_EQ(prompter.Questions().back().text, "2 new areas found !");
  EXPECT_EQ(window->AreaManagers()->Files().All().Count(), 2);
  EXPECT_EQ(link->FSSender, "ListBot");
  EXPECT_EQ(link->FileScanTitles, std::vector<std::string>{"File areas"});
  EXPECT_EQ(link->AFSender, "AreaFix");
  // Next time the sender is known.
  asked.clear();
  command->trigger();
  EXPECT_EQ(asked, std::vector<std::string>{"calibrate"});

  // From no uplink's address: nothing is asked or added.
  asked.clear();
  list.GoToMessage(2);
  command->trigger();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(prompter.Questions().back().text, "Cannot assign these areas to an uplink !");
  EXPECT_EQ(echo.Count(), 3);
}

TEST_F(MsgWinListsTest, ACancelledQuestionSkipsTheMessageAndRemembersNothing) {
  TMessageListWindow& list =
      Store([] {
        std::vector<std::unique_ptr<TMail>> m;
        m.push_back(ListMail("Robot", kUplink, "Areas", kEchoList));
        return m;
      }());
  int asked = 0;
  SetModalHook([&](QWidget*) {
    ++asked;
    return int(QDialog::Rejected);
  });
  list.GoToMessage(0);
  prompter.Clear();
  list.Action("AlsArealistverwenden")->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(prompter.Questions().empty());
  EXPECT_EQ(window->AreaManagers()->Echo().All().Count(), 0);
  EXPECT_EQ(link->AFSender, "AreaFix");
  EXPECT_TRUE(link->AreaFixTitles.empty());
}

TEST_F(MsgWinListsTest, AFileListMessageFillsTheFileRequestEditor) {
  const TFidoAddr bbs{2, 5020, 1, 2};
  TMessageListWindow& list = Store([&] {
    std::vector<std::unique_ptr<TMail>> m;
    m.push_back(ListMail("Bbs Sysop", bbs, "Files",
                         "Area 1: Tools\rTOOL.ZIP   1000 A tool\rGAME.ZIP   2000 A game\r"));
    return m;
  }());
  const auto settings = window->ConfigStore().SettingsModel().Snapshot();
  const std::string outbound = platform::WithoutSlash(settings->OutboundDir());
  ASSERT_TRUE(ForceDirectoryPath(outbound + "/"));
  // A request already pending for that system is loaded with the list.
  WriteRequestFiles({"OLD.ZIP"}, outbound, settings->Zone(), bbs);

  QAction* command = list.Action("DateienausMailanfordern");
  ASSERT_NE(command, nullptr);
  EXPECT_FALSE(command->isEnabled());
  EXPECT_FALSE(list.Action("SDateienausMailanfordern")->isEnabled());
  list.GoToMessage(0);
  EXPECT_TRUE(command->isEnabled());
  command->trigger();

  TFileReqEditor& editor = window->FileReqEditor();
  EXPECT_TRUE(editor.isVisible());
  EXPECT_EQ(editor.MailBox().Name, "Mailbox of Bbs Sysop");
  EXPECT_EQ(editor.MailBox().Sysop, "Bbs Sysop");
  EXPECT_EQ(editor.MailBox().Address.Address(), bbs);
  EXPECT_EQ(editor.FileList().Name(), "Mailtext");
  EXPECT_EQ(editor.FileList().Count(), 3);
  EXPECT_EQ(editor.RequestLines(), std::vector<std::string>{"OLD.ZIP"});
  EXPECT_EQ(editor.windowTitle().toStdString(),
            "Mailbox of Bbs Sysop(2:5020/1.2): Mailtext with 3 lines, " +
                std::to_string(editor.FileList().Size()) + " bytes");
  editor.close();
}

}  // namespace
}  // namespace velmaris::test

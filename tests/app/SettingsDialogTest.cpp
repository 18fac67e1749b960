// The settings window on a stored configuration: fields changed and taken
// over by OK land in the registry file, Cancel leaves it alone, refused
// input keeps the window open, and the uplink page's last-uplink guard.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "../processing/TosserFixtures.h"
#include "MainWindowFixture.h"
#include "SettingsApplyFixture.h"
#include "app/AreaProperties.h"
#include "app/DirDialog.h"
#include "app/JobProperties.h"
#include "app/MailboxProperties.h"
#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "app/NetLinkProperties.h"
#include "app/PackerProperties.h"
#include "app/SettingsDialog.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJob.h"
#include "archive/UnpackJobConfig.h"
#include "core/MailBox.h"
#include "core/MsgBaseFixtures.h"
#include "core/NetLink.h"
#include "core/forms/FormText.h"
#include "mailer/Mailers.h"
#include "mailer/forms/MailerProperties.h"
#include "processing/AutoSend.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/Secretary.h"
#include "processing/forms/AddLinkAssistent.h"
#include "widgets/DirBtn.h"
#include "widgets/DirLists.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"
#include "widgets/PageManager.h"
#include "widgets/PageControl98.h"
#include "widgets/VxSpin.h"
#include "support/NameTable.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "core/WinRegistry.h"

namespace velmaris::test {
namespace {

class SettingsDialogTest : public SettingsApplyTest {
 protected:
  void SetUp() override {
    SettingsApplyTest::SetUp();
    Prepare({{"ECHO.ONE", {}}});
    Open();
    OpenSettings();
  }
  std::string RegistryText() const {
    std::ifstream in(RegistryPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void ShowPage(const char* name) { dialog->Notebook()->setCurrentWidget(Find<QWidget>(name)); }
};

TEST_F(SettingsDialogTest, OkStoresTheChangedFieldsInTheRegistryFile) {
  Find<QPlainTextEdit>("SysopNames")->setPlainText("Ivan Petrov\nI. Petrov");
  Find<TVxSpinEdit>("Zone")->SetValue(1);
  Find<QComboBox>("Dupes")->setCurrentIndex(1);
  ShowPage("TabMailboxen");
  Click("AddMB");
  Find<QLineEdit>("MBName")->setText("Boss BBS");
  Find<QLineEdit>("MBAddress")->setText("2:5020/1");
  Find<QPlainTextEdit>("MBNumbers")->setPlainText("+7 495 1234567");
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS")) {
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsDialog.png");
    ShowPage("TabAnzeige");
    dialog->findChild<QTabWidget*>("DisplayTabs")->setCurrentIndex(2);
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsColours.png");
    ShowPage("TabSonstiges");
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsSystem.png");
    ShowPage("TabAreas");
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsAreas.png");
    for (const char* page : {"TabPacker", "TabGruppen", "TabListen"}) {
      ShowPage(page);
      dialog->grab().save(QString::fromUtf8(dir) + "/Settings" + page + ".png");
    }
    ShowPage("TabAnzeige");
    dialog->findChild<QTabWidget*>("DisplayTabs")->setCurrentIndex(1);
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsFonts.png");
    ShowPage("TabMailboxen");
  }
  Click("OKBtn");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const std::string text = RegistryText();
  for (const char* line :
       {"\"Name1\"=\"Ivan Petrov\"", "\"Name2\"=\"I. Petrov\"", "\"Zone\"=dword:00000001",
        "\"OnDupe\"=dword:00000001", "\"Name\"=\"Boss BBS\"", "\"Address\"=\"2:5020/1\"",
        "\"Number1\"=\"+7 495 1234567\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(Store().Values()->Zone(), 1);
  EXPECT_TRUE(Store().Values()->IsSysopName("I. PETROV"));
}

TEST_F(SettingsDialogTest, CodePagesAreSettingsThatTheProgramFollows) {
  const auto ansiText = [] { return AnsiText("\xC0"); };  // first capital of either code page
  EXPECT_EQ(ansiText(), QString::fromUtf8("А"));
  Find<QComboBox>("CbOemCodePage")->setCurrentIndex(1);
  Find<QComboBox>("CbAnsiCodePage")->setCurrentIndex(1);
  Click("OKBtn");
  EXPECT_EQ(platform::OemCodePage(), platform::CodePage::CP437);
  EXPECT_EQ(ansiText(), QString::fromUtf8("À"));
  const std::string text = RegistryText();
  ApplyCodePages(SettingsValues(Store().StartDirectory()));  // the defaults for the next tests
  for (const char* line : {"[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\CodePages]",
                           "\"OEM\"=dword:00000001", "\"ANSI\"=dword:00000001"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(SettingsDialogTest, CancelChangesNeitherTheSettingsNorTheFile) {
  const std::string before = RegistryText();
  const SettingsValues values = *Store().Values();
  Find<TVxSpinEdit>("Zone")->SetValue(5);
  Find<QLineEdit>("EdUUCPName")->setText("gate");
  Click("CancelBtn");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_TRUE(*Store().Values() == values);
  EXPECT_EQ(RegistryText(), before);
}

TEST_F(SettingsDialogTest, CancelPutsEveryEditedListBackAndLeavesTheFileAlone) {
  const std::string before = RegistryText();
  TPckList& packers = *GetPackerList();
  TUnpJobList& jobs = *GetUnpackJobList();
  const std::vector<TPubLst*> lists = {&Store().Uplinks(),
                                       &Store().Mailboxes(),
                                       &Store().TextGroups(),
                                       &Store().Areas(),
                                       &Store().Nodelists(),
                                       &packers,
                                       &jobs};
  auto names = [&] {
    std::vector<std::vector<std::string>> all;
    for (const TPubLst* list : lists) {
      all.emplace_back();
      for (int i = 0; i < list->GetCount(); ++i) all.back().push_back(list->GetString(i));
    }
    return all;
  };
  const auto listed = names();
  TArea& echo = *Area("ECHO.ONE");
  const int32_t group = echo.TextGroup;
  {
    TNetLinkProperties link(*Store().Uplinks().GetItem(0), Store().Uplinks(), Store().Mailboxes(),
                            &packers);
    link.ConnectToName->setText("Renamed");
    QTest::mouseClick(link.OKButton, Qt::LeftButton);
    TAreaProperties area(echo, Store());
    area.SpinAge->SetValue(30);
    QTest::mouseClick(area.OKButton, Qt::LeftButton);
  }
  ShowPage("TabMailboxen");
  Click("AddMB");
  Find<QLineEdit>("MBName")->setText("Boss BBS");
  Click("MBUp");
  ShowPage("TabAreas");
  Find<QListWidget>("InfoAreaName")->setCurrentRow(3);
  Click("AreaUp");
  Click("AddSep");
  ShowPage("TabGruppen");
  Click("AddTG");
  Find<QListWidget>("TGList")->setCurrentRow(0);
  Click("KillTextGroup");
  ShowPage("TabPacker");
  Click("KillPacker");
  Click("AddNewPacker");
  Click("Button34");  // an unpack job
  ShowPage("TabListen");
  Click("Button35");  // the first node list deleted
  ASSERT_NE(names(), listed);
  ASSERT_EQ(RegistryText(), before);  // nothing written before OK or Apply
  // The add-uplink assistant saves what it adds; Cancel takes it back too.
  ShowPage("TabVerbindungen");
  const ModalHook old = SetModalHook([](QWidget* w) {
    auto* form = qobject_cast<TAddLinkAssistent*>(w);
    if (!form) return int(QDialog::Rejected);
    form->show();
    const auto next = [form] { QTest::mouseClick(form->NextButton(), Qt::LeftButton); };
    next();
    form->NewLinkName->setText("Second Boss");
    form->NewLinkAddress->setText("2:5030/1");
    next();
    form->NewSysopAddress->setText("2:5030/1.7");
    next();
    next();
    next();
    form->NewMailboxCommand->setText("Modem");
    next();
    EXPECT_EQ(form->Notebook()->PageIndex(), TAddLinkAssistent::ReportPage);
    QTest::mouseClick(form->CancelButton(), Qt::LeftButton);
    return form->result();
  });
  Click("AddLink");
  SetModalHook(old);
  ASSERT_NE(Store().Uplinks().FindByName("Second Boss"), nullptr);

  Click("CancelBtn");
  EXPECT_EQ(names(), listed);
  EXPECT_EQ(echo.MaxAge, 90);
  EXPECT_EQ(echo.TextGroup, group);
  EXPECT_EQ(Store().Uplinks().GetItem(0)->Name, listed[0][0]);
  EXPECT_EQ(Store().Uplinks().FindByName("Second Boss"), nullptr);
  EXPECT_EQ(Find<QListWidget>("MBList")->count(), Store().Mailboxes().GetCount());
  EXPECT_EQ(RegistryText(), before);
}

// Cancel also drops what was typed into an entry's fields and what the
// pages of filters, autosend jobs and mailer profiles did; a profile
// deleted in the window is freed only by OK.
TEST_F(SettingsDialogTest, CancelDropsTypedNamesAndTheLaterPagesChanges) {
  TMailerConfig& profiles = *GetMailerConfig();
  TMailer* profile = profiles.AddMailer(Store());
  profile->SetName("Line A");
  TMailBox* box = Store().AddDefaultMailbox();
  box->Command = "Line A";
  GetImportFilters()->AddFilter("Spam", std::make_unique<TFilter>());
  auto job = std::make_unique<TAutoSendJob>();
  job->Name = "Weekly";
  GetAutoSendJobs()->AddJob(std::move(job));
  ASSERT_TRUE(dialog->ApplyClick());  // what is now is what Cancel returns to
  const std::string before = RegistryText();
  TPckList& packers = *GetPackerList();
  const std::string packer = packers.GetString(0);

  ShowPage("TabPacker");
  Find<QListWidget>("PackerList")->setCurrentRow(0);
  Find<QLineEdit>("PackerName")->setFocus();
  QTest::keyClick(Find<QLineEdit>("PackerName"), Qt::Key_End);
  QTest::keyClicks(Find<QLineEdit>("PackerName"), "xy");
  ShowPage("TabSheet12");
  Find<QListWidget>("ImportFilters")->setCurrentRow(0);
  Click("KillFilter");
  ShowPage("TabSheet2");
  Find<QListWidget>("AutoSendList")->setCurrentRow(0);
  Click("Button25");
  ShowPage("TabMailer");
  Find<QListWidget>("MailerList")->setCurrentRow(0);
  Click("DeleteLine");
  EXPECT_EQ(profiles.Mailers().GetCount(), 0);
  EXPECT_EQ(GetImportFilters()->GetCount(), 0);
  EXPECT_EQ(GetAutoSendJobs()->GetCount(), 0);
  EXPECT_EQ(RegistryText(), before);  // nothing written, no profile freed yet

  Click("CancelBtn");
  EXPECT_EQ(packers.GetString(0), packer);
  ASSERT_EQ(profiles.Mailers().GetCount(), 1);
  EXPECT_EQ(profiles.Mailers().GetMailer(0), profile);
  EXPECT_EQ(box->Command, "Line A");
  ASSERT_EQ(GetImportFilters()->GetCount(), 1);
  EXPECT_EQ(GetImportFilters()->GetString(0), "Spam");
  ASSERT_EQ(GetAutoSendJobs()->GetCount(), 1);
  EXPECT_EQ(GetAutoSendJobs()->GetJob(0)->Name, "Weekly");
  EXPECT_EQ(RegistryText(), before);

  // The next OK writes nothing of what was cancelled.
  OpenSettings();
  Click("OKBtn");
  const std::string after = RegistryText();
  EXPECT_EQ(after.find(packer + "xy"), std::string::npos);
  EXPECT_NE(after.find("\"Name\"=\"Line A\""), std::string::npos);
  EXPECT_NE(after.find("\"Name1\"=\"Spam\""), std::string::npos);
}

// Lists that shrank leave no entry beside their new count, and the mailboxes
// of a deleted profile call the profile left.
TEST_F(SettingsDialogTest, ShrunkListsLeaveNoStaleSectionsAndMailboxesFollowTheProfiles) {
  TMailerConfig& profiles = *GetMailerConfig();
  for (const char* name : {"Line A", "Line B"}) profiles.AddMailer(Store())->SetName(name);
  TMailBox* box = Store().AddDefaultMailbox();
  box->Command = "Line B";
  ASSERT_TRUE(dialog->ApplyClick());
  const int packers = GetPackerList()->GetCount();
  const std::string root = "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\";
  const std::string lastPacker = root + "Packers\\Packer" + std::to_string(packers) + "]";
  ASSERT_NE(RegistryText().find(root + "Lines\\Mailer2]"), std::string::npos);
  ASSERT_NE(RegistryText().find(lastPacker), std::string::npos);

  ShowPage("TabMailer");
  Find<QListWidget>("MailerList")->setCurrentRow(1);
  Click("DeleteLine");
  // Before OK, the mailbox's properties show the call it gets: the profile
  // left, not the deleted one.
  const auto shownCall = [this](QString* lost) {
    QString call;
    const ModalHook old = SetModalHook([&](QWidget* w) {
      auto* form = qobject_cast<TMBProperties*>(w);
      if (!form) return int(QDialog::Rejected);
      call = form->mbCMD->currentText();
      *lost = form->LostProfile->isHidden() ? QString() : form->LostProfile->text();
      return int(QDialog::Rejected);
    });
    ShowPage("TabMailboxen");
    Find<QListWidget>("MBList")->setCurrentRow(Store().Mailboxes().GetCount() - 1);
    Click("MailboxProperties");
    SetModalHook(old);
    return call;
  };
  QString lost;
  EXPECT_EQ(shownCall(&lost), "Line A");
  EXPECT_EQ(lost, "");
  ShowPage("TabPacker");
  Find<QListWidget>("PackerList")->setCurrentRow(0);
  Click("KillPacker");
  ShowPage("TabListen");
  Find<QListWidget>("lbNodelists")->setCurrentRow(0);
  Click("Button35");
  Click("OKBtn");
  EXPECT_EQ(box->Command, "Line A");
  const std::string text = RegistryText();
  for (const std::string& stale :
       {root + "Lines\\Mailer2]", lastPacker, root + "Nodelists\\List1]"})
    EXPECT_EQ(text.find(stale), std::string::npos) << stale;
  EXPECT_NE(text.find("\"CMD\"=\"Line A\""), std::string::npos);
  // OK says that the mailbox now calls another profile.
  ASSERT_FALSE(prompter.Questions().empty());
  EXPECT_EQ(prompter.Questions().back().kind, platform::MsgKind::Warning);
  EXPECT_EQ(prompter.Questions().back().text,
            "The mailer profile \"Line B\" is deleted: the mailbox \"ACME Mailbox\" is now "
            "called by \"Line A\"!");

  // The last profile gone, OK says that the mailbox calls none, and its
  // properties say why beside the empty command.
  OpenSettings();
  ShowPage("TabMailer");
  Find<QListWidget>("MailerList")->setCurrentRow(0);
  Click("DeleteLine");
  EXPECT_EQ(shownCall(&lost), "");
  EXPECT_TRUE(lost.contains("«Line A»")) << lost.toStdString();
  Click("OKBtn");
  EXPECT_EQ(box->Command, "");
  EXPECT_EQ(prompter.Questions().back().text,
            "The mailer profile \"Line A\" is deleted: the mailbox \"ACME Mailbox\" calls no "
            "mailer now. Please choose its call in \"Настройки\"/\"Мейлбоксы\"!");
  TMBProperties form(*box, Store().Mailboxes(), {}, platform::CodePage::CP866);
  EXPECT_FALSE(form.LostProfile->isHidden());
  EXPECT_TRUE(form.LostProfile->text().contains("«Line A»"));
  form.mbCMD->setEditText("/usr/bin/callout");
  EXPECT_TRUE(form.LostProfile->isHidden());
  form.bApplyClick();
  EXPECT_EQ(box->LostProfile, "");
}

TEST_F(SettingsDialogTest, RefusedInputKeepsTheWindowOpenAndTheFileUnchanged) {
  const std::string before = RegistryText();
  ShowPage("TabMailboxen");
  Click("AddMB");
  Click("ApplyBtn");  // the default mailbox saved
  const std::string saved = RegistryText();
  ASSERT_NE(saved, before);
  struct {
    const char* name;
    const char* address;
    std::string error;
  } const cases[] = {
      {"Box", "2:70000/1", "\"2:70000/1\" is no valid FidoNet address!"},
      {"", "2:5020/1", "The name must not be empty!"},
  };
  for (const auto& c : cases) {
    prompter.Clear();
    Find<QLineEdit>("MBName")->setText(c.name);
    Find<QLineEdit>("MBAddress")->setText(c.address);
    Click("OKBtn");
    EXPECT_TRUE(dialog->isVisible()) << c.address;
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0].text, c.error);
    EXPECT_EQ(RegistryText(), saved);
  }
  // A gateway address is checked while the gateway is on.
  Find<QLineEdit>("MBName")->setText("Box");
  Find<QLineEdit>("MBAddress")->setText("2:5020/1");
  Find<QCheckBox>("CbUseGateWay")->setChecked(true);
  Find<QLineEdit>("EdUUCPAddr")->setText("gateway");
  prompter.Clear();
  Click("OKBtn");
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "\"gateway\" is no valid FidoNet address!");
}

TEST_F(SettingsDialogTest, KillingWithoutAnUplinkSaysOneIsNeeded) {
  Store().Uplinks().Clear();
  ShowPage("TabVerbindungen");
  Click("KillLink");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].kind, platform::MsgKind::Information);
  EXPECT_EQ(prompter.Questions()[0].text, "You need at least one uplink!");
}

TEST_F(SettingsDialogTest, AreaPageSortsAddsSeparatorsAndGuardsTheSystemAreas) {
  ShowPage("TabAreas");
  auto* list = Find<QListWidget>("InfoAreaName");
  ASSERT_EQ(list->count(), 4);
  list->setCurrentRow(0);  // NETMAIL
  EXPECT_FALSE(Find<QPushButton>("KillArea")->isEnabled());
  list->setCurrentRow(3);
  EXPECT_TRUE(Find<QPushButton>("KillArea")->isEnabled());
  Click("AddSep");
  EXPECT_EQ(list->count(), 5);
  EXPECT_EQ(list->currentItem()->text(), "!SEP!");
  Click("AreaUp");
  EXPECT_EQ(list->item(3)->text(), "!SEP!");
  Click("KillArea");  // a separator goes at once
  EXPECT_EQ(list->count(), 4);
  EXPECT_EQ(Store().Areas().GetCount(), 4);
}

TEST_F(SettingsDialogTest, AreasLeftInTheMessageBaseAreOfferedOnceEach) {
  for (const char* file : {"ECHO.TWO.PackedBody", "NETMAIL.PackedBody", "Separator.PackedBody",
                           "RU.ЁЛКА.PackedBody", "DE.STRAßE.PackedBody"})
    std::ofstream(Store().MessageBaseDir() + file).put('\0');
  ShowPage("TabAreas");
  Click("AreaAddOldOnes");
  ASSERT_EQ(prompter.Questions().size(), 3u);
  // A name the ANSI page cannot hold keeps the file name's UTF-8: the
  // question names it by its letters all the same.
  EXPECT_NE(prompter.Questions()[0].text.find("\"DE.STRAßE\""), std::string::npos)
      << prompter.Questions()[0].text;
  EXPECT_EQ(prompter.Questions()[1].text,
            "Do you wish the add the area \"ECHO.TWO\" ? ATTENTION: If you do not use the default "
            "uplink for  this area you have to fix the uplink in the area settings!");
  EXPECT_NE(prompter.Questions()[2].text.find("\"RU.ЁЛКА\""), std::string::npos)
      << prompter.Questions()[2].text;
  ASSERT_NE(Area("ECHO.TWO"), nullptr);
  EXPECT_EQ(Area("ECHO.TWO")->FileName, "ECHO.TWO");
  ASSERT_NE(Area("RU.\xA8\xCB\xCA\xC0"), nullptr);
  EXPECT_EQ(Area("RU.\xA8\xCB\xCA\xC0")->FileName, "RU.ЁЛКА");
  prompter.Clear();
  Click("AreaAddOldOnes");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "No inactive areas found!");
  // Cancel takes the area off the list again; its files stay to be offered.
  Click("CancelBtn");
  EXPECT_EQ(Area("ECHO.TWO"), nullptr);
  EXPECT_TRUE(platform::FileExists(Store().MessageBaseDir() + "ECHO.TWO.PackedBody"));
}

// A new message base folder typed while the old one holds mail: the
// settings say why and keep the folder, and the mail stays readable.
TEST_F(SettingsDialogTest, AMessageBaseFolderWithMailIsNotLeftBehind) {
  TArea* netmail = Area("NETMAIL");
  ASSERT_NE(netmail, nullptr);
  ASSERT_TRUE(netmail->Lock(true));
  ASSERT_TRUE(netmail->StoreMail(MakeMail(1)));
  netmail->Unlock();
  const std::string old = Store().MessageBaseDir();
  ShowPage("TabSonstiges");
  Find<TDirBtn>("MsgBaseDir")->setText(QString::fromUtf8((Start() + "Новая база/").c_str()));
  Click("ApplyBtn");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_NE(prompter.Questions()[0].text.find("The message base stays in"), std::string::npos)
      << prompter.Questions()[0].text;
  EXPECT_EQ(Store().MessageBaseDir(), old);
  EXPECT_EQ(Area("NETMAIL")->BaseDir, old);
}

// A base used for a day (every exit leaves its duplicate database there)
// moves to a folder typed in the settings: the folder is made only after a
// question of its own that the user answers, the database goes along, and
// a No leaves everything as it was and the field as typed.
TEST_F(SettingsDialogTest, AUsedMessageBaseMovesWithItsDuplicateDatabase) {
  const std::string old = Store().MessageBaseDir();
  GetDupeChecker().CheckAndAdd(0x1234);
  ASSERT_TRUE(SaveDupeChecker());
  const std::string saved = platform::ReadFile(old + "Velmaris.Dupes");
  const std::string moved = Start() + "Новая база/";
  const QString typed = QString::fromUtf8(moved.c_str());
  const std::string question = "Das Verzeichnis \"" + platform::WithoutSlash(moved) +
                               "\" existiert nicht. Soll es angelegt werden?";
  ShowPage("TabSonstiges");
  Find<TDirBtn>("MsgBaseDir")->setText(typed);
  for (const platform::MsgButton answer : {platform::mbNo, platform::mbYes}) {
    SCOPED_TRACE(answer == platform::mbYes ? "Yes" : "No");
    prompter.Clear();
    prompter.Script({answer});
    Click("ApplyBtn");
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0].text, question);
    const bool yes = answer == platform::mbYes;
    EXPECT_EQ(platform::DirExists(moved), yes);
    EXPECT_EQ(Store().MessageBaseDir(), yes ? moved : old);
    EXPECT_EQ(Area("NETMAIL")->BaseDir, yes ? moved : old);
    EXPECT_EQ(platform::ReadFile((yes ? moved : old) + "Velmaris.Dupes"), saved);
    EXPECT_EQ(platform::FileExists(old + "Velmaris.Dupes"), !yes);
    EXPECT_EQ(GetDupeChecker().Path(), (yes ? moved : old) + "Velmaris.Dupes");
    EXPECT_EQ(Find<TDirBtn>("MsgBaseDir")->text(), typed);
  }
}

// The README's recipe for a base with mail, with the program's own
// duplicate checker open: end the program, move the folder's files (the
// duplicate database among them), start it, change the folder. OK takes
// the folder, writes nothing into the old one, and the day-1 packet that
// comes again is known: it is not stored twice. A message list and an
// editor open on the old, empty folder lose nothing of the new one: the
// list shows what the new folder holds, the editor's message joins it, and
// an import of the same run no longer says the old folder is empty.
TEST_F(SettingsDialogTest, TheReadmeRecipeMovesABaseWithMailAndKeepsItsHistory) {
  const struct {
    const char* what;
    bool windowsOpen;  // a message list and an editor on the old folder
  } rows[] = {{"nothing open", false}, {"a message list and an editor open", true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    if (&r != rows) {
      EndProgram();
      std::filesystem::remove_all(Start());
      std::filesystem::remove(RegistryPath());
      ASSERT_TRUE(ForceDirectoryPath(Start()));
      Prepare({{"ECHO.ONE", {}}});
      Open();
      OpenSettings();
    }
    const std::string inbound = platform::WithSlash(Store().Values()->InboundDir());
    PackedFields dayOne;
    dayOne.origNode = 1;
    dayOne.origNet = 5030;
    dayOne.text = "AREA:ECHO.ONE\r\x01MSGID: 2:5030/1 0000d001\rDay one.\r";
    const std::string packet = PacketOf(PeerHeader(), PackedMessage(dayOne));
    const std::string old = Store().MessageBaseDir();
    EndProgram();
    // Day 1: the packet is imported, a netmail written.
    platform::WriteFileAtomic(inbound + "0000d001.pkt", packet);
    Batch("import");
    Batch("write NETMAIL --from Ivan --to Boss --subject Day1");
    ASSERT_EQ(BatchCount("ECHO.ONE"), 1);
    ASSERT_TRUE(platform::FileExists(old + "Velmaris.Dupes"));
    // The program ended, the folder's files moved by hand.
    const std::string moved = Start() + "Перенесённая база/";
    ASSERT_EQ(RunShell("mv " + ShellQuote(platform::WithoutSlash(old)) + " " +
                       ShellQuote(platform::WithoutSlash(moved))),
              0);
    const std::string netmailIndex = platform::ReadFile(moved + "NETMAIL.PackedIndex");
    Open();
    QPointer<TMessageListWindow> list;
    QPointer<TMessageEditor> editor;
    if (r.windowsOpen) {
      list = window->OpenMessageList(*Area("ECHO.ONE"));
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(Area("ECHO.ONE")->Count, 0);
      list->Action("NewMail")->trigger();
      ASSERT_FALSE(TMessageEditor::OpenEditors().empty());
      editor = TMessageEditor::OpenEditors().back();
      editor->SetSubject("Moved");
      editor->SetLines({"Written while the base moved."});
    }
    OpenSettings();
    ShowPage("TabSonstiges");
    Find<TDirBtn>("MsgBaseDir")->setText(QString::fromUtf8(moved.c_str()));
    for (int ok = 0; ok < 2 && dialog->isVisible(); ++ok) Click("OKBtn");  // not refused twice
    EXPECT_FALSE(dialog->isVisible());
    for (const auto& q : prompter.Questions()) ADD_FAILURE() << q.text;
    EXPECT_EQ(Store().MessageBaseDir(), moved);
    EXPECT_FALSE(platform::FileExists(old + "Velmaris.Dupes"));
    EXPECT_EQ(GetDupeChecker().Path(), moved + "Velmaris.Dupes");
    // What the runs of this program log: the old folder is no more.
    EXPECT_EQ(Store().MessageBaseStillGone(), "");
    if (r.windowsOpen) {
      QCoreApplication::processEvents();
      EXPECT_EQ(Area("ECHO.ONE")->Count, 1);
      EXPECT_EQ(list->DisplayList.Count(), 1);
      ASSERT_TRUE(editor->SaveMail()) << editor->LastSaveError();
      editor->close();
      list->close();
      QCoreApplication::processEvents();
    }
    EndProgram();
    EXPECT_FALSE(platform::FileExists(old + "Velmaris.Dupes"));
    EXPECT_FALSE(platform::FileExists(old + "ECHO.ONE.PackedIndex"));
    EXPECT_EQ(platform::ReadFile(moved + "NETMAIL.PackedIndex"), netmailIndex);
    EXPECT_EQ(BatchCount("ECHO.ONE"), r.windowsOpen ? 2 : 1);
    // The packet of day 1 comes again.
    platform::WriteFileAtomic(inbound + "0000d002.pkt", packet);
    const std::string log = Batch("import");
    EXPECT_EQ(log.find("is empty"), std::string::npos) << log;
    EXPECT_EQ(BatchCount("ECHO.ONE"), r.windowsOpen ? 2 : 1);
  }
}

// A refused message base folder takes nothing else either and keeps the
// window open with the field shown, whichever check refused it; once the
// field is put back, the other pages' edits (a mailer profile deleted)
// apply, from any page.
TEST_F(SettingsDialogTest, ARefusedBaseFolderLeavesTheOtherPagesUsable) {
  GetMailerConfig()->AddMailer(Store())->SetName("Line A");
  ASSERT_TRUE(dialog->ApplyClick());
  const std::string profile = "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Lines\\Mailer1]";
  const std::string old = Store().MessageBaseDir();
  platform::WriteFileAtomic(Start() + "plain file", "x");
  const struct {
    const char* what;
    bool mail;          // the old folder holds an area's mail
    std::string typed;  // the folder typed
  } rows[] = {
      {"the old folder holds mail", true, Start() + "Новая база/"},
      {"the new folder cannot be made", false, Start() + "plain file/База/"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    if (r.mail) {
      TArea* netmail = Area("NETMAIL");
      ASSERT_TRUE(netmail->Lock(true));
      ASSERT_TRUE(netmail->StoreMail(MakeMail(1)));
      netmail->Unlock();
    } else {
      for (const char* ext : {".PackedBody", ".PackedIndex"})
        std::filesystem::remove(old + Area("NETMAIL")->FileName + ext);
      Area("NETMAIL")->RecountFlags();
    }
    ASSERT_NE(RegistryText().find(profile), std::string::npos);
    const std::string before = RegistryText();
    ShowPage("TabSonstiges");
    auto* field = Find<TDirBtn>("MsgBaseDir");
    const QString stored = field->text();
    field->setText(QString::fromUtf8(r.typed.c_str()));
    ShowPage("TabMailer");
    Find<QListWidget>("MailerList")->setCurrentRow(0);
    Click("DeleteLine");
    prompter.Clear();
    prompter.Script({platform::mbYes});  // make the folder
    Click("OKBtn");
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_FALSE(prompter.Questions().empty());
    EXPECT_NE(prompter.Questions().back().text.find("The message base stays in"), std::string::npos)
        << prompter.Questions().back().text;
    EXPECT_TRUE(dialog->Notebook()->currentWidget()->isAncestorOf(field));
    EXPECT_EQ(RegistryText(), before);
    EXPECT_EQ(Store().MessageBaseDir(), old);
    // Put back, the deletion applies from another page.
    field->setText(stored);
    ShowPage("TabMailer");
    prompter.Clear();
    Click("ApplyBtn");
    for (const auto& q : prompter.Questions()) ADD_FAILURE() << q.text;
    EXPECT_EQ(RegistryText().find(profile), std::string::npos);
    EXPECT_EQ(Store().MessageBaseDir(), old);
    // The next row deletes a profile again.
    GetMailerConfig()->AddMailer(Store())->SetName("Line A");
    ASSERT_TRUE(dialog->ApplyClick());
    OpenSettings();
  }
}

TEST_F(SettingsDialogTest, ListPagesEditTheirEntriesAndOkSavesThem) {
  ShowPage("TabListen");
  Click("Button31");  // a node list
  EXPECT_EQ(Find<QLineEdit>("NLName")->text(), "<Select Domain>");
  QTest::keyClicks(Find<QLineEdit>("NLName"), "X");
  EXPECT_EQ(Find<QListWidget>("lbNodelists")->currentItem()->text(), "<Select Domain>X");
  ShowPage("TabGruppen");
  Click("AddTG");
  auto* name = Find<QLineEdit>("GroupName");
  name->selectAll();
  QTest::keyClicks(name, "Friends");
  Find<QComboBox>("TextCombo")->setCurrentIndex(8);  // origins
  Find<QPlainTextEdit>("TextText")->setPlainText("Greetings from the point");
  ShowPage("TabPacker");
  Click("Button34");  // an unpack job
  auto* jobs = Find<QListWidget>("JobList");
  Click("DelJob");
  EXPECT_EQ(jobs->currentRow(), -1);
  EXPECT_FALSE(Find<QPushButton>("DelJob")->isEnabled());
  Click("Button34");
  QTest::keyClicks(Find<QLineEdit>("JobDest"), "/fido/unpacked/");
  Click("OKBtn");
  const std::string text = RegistryText();
  for (const char* line : {"\"Domain\"=\"<Select Domain>X\"", "\"Name\"=\"Friends\"",
                           "\"Line1\"=\"Greetings from the point\"", "\"Mask\"=\"Mask.*\"",
                           "\"DestDir\"=\"/fido/unpacked/\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

// The buttons that act on the selected entry wait for one: an emptied list
// leaves them disabled, a new entry enables them again.
TEST_F(SettingsDialogTest, EntryButtonsAreDisabledWhileTheListIsEmpty) {
  struct Case {
    const char *page, *list, *add, *del;
    std::vector<const char*> entry;
  };
  const Case cases[] = {
      {"TabMailboxen",
       "MBList",
       "AddMB",
       "DeleteMB",
       {"DeleteMB", "MBUp", "MBDown", "MailboxProperties"}},
      {"TabPacker",
       "PackerList",
       "AddNewPacker",
       "KillPacker",
       {"KillPacker", "PackerUp", "PackerDown", "PackerProperties"}},
  };
  for (const Case& c : cases) {
    ShowPage(c.page);
    auto* list = Find<QListWidget>(c.list);
    Click(c.add);
    for (int guard = 0; list->count() > 0 && guard < 100; ++guard) Click(c.del);
    ASSERT_EQ(list->count(), 0) << c.list;
    for (const char* name : c.entry) EXPECT_FALSE(Find<QPushButton>(name)->isEnabled()) << name;
    Click(c.add);
    for (const char* name : c.entry) EXPECT_TRUE(Find<QPushButton>(name)->isEnabled()) << name;
  }
  Click("CancelBtn");
}

TEST_F(SettingsDialogTest, MailerPropertiesCloseByOkCancelAndEscapeOneWindowPerProfile) {
  ShowPage("TabMailer");
  Find<QPushButton>("Button53")->click();  // a profile
  ASSERT_EQ(GetMailerConfig()->Mailers().GetCount(), 1);
  TMailer* profile = GetMailerConfig()->Mailers().GetMailer(0);
  ASSERT_NE(profile, nullptr);
  struct Way {
    const char* name;
    std::function<void(TMailerProperties&)> close;
    bool stored;
  } ways[] = {
      {"OK", [](TMailerProperties& w) { w.BtnOk->click(); }, true},
      {"Cancel", [](TMailerProperties& w) { w.BtnCancel->click(); }, false},
      {"Escape", [](TMailerProperties& w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
  };
  for (const Way& way : ways) {
    profile->Sysop = "Old";
    Find<QPushButton>("ShowMailerProperties")->click();
    QPointer<TMailerProperties> window = FindMailerProperties(*profile);
    ASSERT_FALSE(window.isNull()) << way.name;
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);  // usable beside this dialog
    Find<QPushButton>("ShowMailerProperties")->click();
    EXPECT_EQ(FindMailerProperties(*profile), window.data()) << "one window per profile";
    window->EdSysop->setText("New");
    way.close(*window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << way.name;
    EXPECT_EQ(FindMailerProperties(*profile), nullptr);
    EXPECT_EQ(profile->Sysop, way.stored ? "New" : "Old") << way.name;
  }
  Find<QPushButton>("ShowMailerProperties")->click();
  QPointer<TMailerProperties> open = FindMailerProperties(*profile);
  // Deleted, the profile goes with its window when the settings are taken over.
  Find<QPushButton>("DeleteLine")->click();
  EXPECT_EQ(GetMailerConfig()->Mailers().GetCount(), 0);
  EXPECT_FALSE(open.isNull());
  Click("OKBtn");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(open.isNull());
}

TEST_F(SettingsDialogTest, PropertiesWindowsOpenedInTheModalSettingsTakeClicksAndKeys) {
  const struct {
    const char *page, *add, *props, *window, *edit, *ok, *list;  // props null: adding opens them
  } rows[] = {
      {"TabSheet12", "Button6", nullptr, "TFilterProperties", "Desc", "OKBtn", "ImportFilters"},
      {"TabSheet2", "Button24", "AutoSendProperties", "TAutoSendProperties", "EdName", "Button3",
       "AutoSendList"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.window);
    WhileModal([&] {
      ShowPage(r.page);
      ClickThroughWindow(Find<QPushButton>(r.add));
      if (r.props) ClickThroughWindow(Find<QPushButton>(r.props));
      QPointer<QWidget> w;
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->objectName() == r.window) w = top;
      ASSERT_TRUE(w && QTest::qWaitForWindowExposed(w));
      const QString name = w->findChild<QLineEdit*>(r.edit)->text();
      ClickThroughWindow(w->findChild<QLineEdit*>(r.edit));
      KeyThroughWindow(w, Qt::Key_End);
      TypeThroughWindow(w, "2");
      ClickThroughWindow(w->findChild<QPushButton*>(r.ok));
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_TRUE(w.isNull());
      QListWidget* list = Find<QListWidget>(r.list);
      EXPECT_EQ(list->item(list->count() - 1)->text(), name + "2");
    });
  }
}

TEST_F(SettingsDialogTest, ProfileOffersLinesTypedOnThePageAndItsLinePropertiesEditThePage) {
  ShowPage("TabMailer");
  Find<QPushButton>("Button53")->click();
  auto* lines = Find<QPlainTextEdit>("ModemLines");
  lines->setPlainText("Office=/dev/ttyS0");  // typed, not applied
  Find<QPushButton>("ShowMailerProperties")->click();
  TMailerProperties* window = FindMailerProperties(*GetMailerConfig()->Mailers().GetMailer(0));
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->CbTAPIDevice->findText("Office"), 0);
  window->CbTAPIDevice->setCurrentIndex(0);
  SetModalHook([](QWidget* w) {
    if (auto* line = w->findChild<QComboBox*>("CbSpeed")) line->setEditText("57600");
    return int(QDialog::Accepted);
  });
  window->TAPIProperies->click();
  SetModalHook(nullptr);
  EXPECT_EQ(lines->toPlainText(), "Office=/dev/ttyS0;57600");  // on the page,
  EXPECT_TRUE(Store().Values()->Lines(SettingId::ModemLines).empty());  // applied with it
  window->BtnCancel->click();
  Click("OKBtn");
  EXPECT_EQ(Store().Values()->Lines(SettingId::ModemLines),
            std::vector<std::string>{"Office=/dev/ttyS0;57600"});
}

TEST_F(SettingsDialogTest, UplinkPropertiesRefuseBadAddressesAndRenameTheEntry) {
  TNetLink& link = *Store().Uplinks().GetItem(0);
  TNetLinkProperties form(link, Store().Uplinks(), Store().Mailboxes(), GetPackerList());
  form.show();
  EXPECT_FALSE(form.bApply->isEnabled());
  form.ConnectToName->setText("Boss");
  form.ConnectFromAddr->setText("2:5020/1.70000");
  EXPECT_TRUE(form.bApply->isEnabled());
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "\"2:5020/1.70000\" is no valid FidoNet address!");
  EXPECT_NE(link.Name, "Boss");
  form.ConnectFromAddr->setText("2:5020/1.7");
  form.pwSession->setText("SECRET");
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(link.SysopAddress.Text4D(), "2:5020/1.7");
  EXPECT_EQ(Find<QListWidget>("LinkList")->item(0)->text(), "Boss");
  Click("OKBtn");
  const std::string text = RegistryText();
  for (const char* line : {"\"Sysopaddress\"=\"2:5020/1.7\"", "\"Name\"=\"Boss\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(SettingsDialogTest, AreaPropertiesStoreOnOkAndNotOnCancel) {
  TArea& area = *Area("ECHO.ONE");
  for (bool ok : {false, true}) {
    TAreaProperties form(area, Store());
    form.show();
    EXPECT_FALSE(form.bApply->isEnabled());
    form.SpinAge->SetValue(30);
    form.CbNoRex->setChecked(!area.NoRex);
    EXPECT_TRUE(form.bApply->isEnabled());
    QTest::mouseClick(ok ? form.OKButton : form.CancelButton, Qt::LeftButton);
    EXPECT_EQ(area.MaxAge, ok ? 30 : 90);
  }
  Click("OKBtn");
  EXPECT_NE(RegistryText().find("\"Packed\"=hex:1e,00,00,00"), std::string::npos);
  // The system areas keep the text settings out of sight.
  TAreaProperties bad(*Area("BAD"), Store());
  EXPECT_FALSE(bad.findChild<QTabWidget*>()->isTabVisible(2));
  EXPECT_TRUE(bad.Uplink->isHidden());
}

TEST_F(SettingsDialogTest, MailboxPropertiesStoreTheCommandAndRefuseAnEmptyName) {
  ShowPage("TabMailboxen");
  Click("AddMB");
  TMailBox& box = *Store().Mailboxes().GetItem(Store().Mailboxes().GetCount() - 1);
  TMBProperties form(box, Store().Mailboxes(), {"Modem"}, platform::CodePage::CP866);
  form.show();
  form.MBName->clear();
  QTest::mouseClick(form.BtnOk, Qt::LeftButton);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The name must not be empty!");
  form.MBName->setText("Boss");
  form.mbCMD->setCurrentIndex(0);
  form.NumberMemo->setPlainText("8-495-1234567");
  QTest::mouseClick(form.BtnOk, Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  Click("OKBtn");
  const std::string text = RegistryText();
  for (const char* line : {"\"CMD\"=\"Modem\"", "\"Number1\"=\"8-495-1234567\""})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(SettingsDialogTest, MailboxAreaIndicatorIsInTheFileListsCodePage) {
  // The indicator is matched against the file list's bytes: it is shown and
  // taken in the list's page, and kept byte for byte when left alone.
  const struct {
    platform::CodePage page;
    const char* typed;
  } cases[] = {
      {platform::CodePage::CP866, "Область:"},
      {platform::CodePage::CP1251, "Область:"},
      {platform::CodePage::CP437, "Région:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::CodePageName(c.page));
    TMailBox box;
    box.Name = "Boss";
    box.Address.SetText("2:5020/1042");
    box.AreaIndicator = platform::FromUtf8(c.typed, c.page);
    TMBProperties form(box, Store().Mailboxes(), {"Modem"}, c.page);
    EXPECT_EQ(form.EdInd->text(), QString::fromUtf8(c.typed));
    ASSERT_TRUE(form.bApplyClick());
    EXPECT_EQ(box.AreaIndicator, platform::FromUtf8(c.typed, c.page));
    form.EdInd->setText(QString::fromUtf8("Файлы:"));
    ASSERT_TRUE(form.bApplyClick());
    if (c.page != platform::CodePage::CP437) {
      EXPECT_EQ(box.AreaIndicator, platform::FromUtf8("Файлы:", c.page));
    }
  }
}

TEST_F(SettingsDialogTest, PackerPropertiesStoreTheSignatureAndRefuseAnEmptyName) {
  TPckList& packers = *GetPackerList();
  TPacker& packer = *packers.GetItem(0);
  TPackerProperties form(packer, packers);
  form.show();
  EXPECT_EQ(form.windowTitle(), "Properties of " + QString::fromStdString(packers.GetString(0)));
  EXPECT_FALSE(form.BtnApply->isEnabled());
  form.PackerName->clear();
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The name must not be empty!");
  form.PackerName->setText("Zip");
  form.PackerUnpack->setEditText("Integrated UnZIP");
  form.PackerOffset->SetValue(2);
  form.Bytes[0]->SetValue(0x50);
  for (size_t i = 1; i < 8; ++i) form.Bytes[i]->SetValue(-1);
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    form.grab().save(QString::fromUtf8(dir) + "/PackerProperties.png");
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(packer.IntegratedKind(), 0);
  EXPECT_EQ(Find<QListWidget>("PackerList")->item(0)->text(), "Zip");
  Click("OKBtn");
  const std::string text = RegistryText();
  for (const char* line : {"\"Name\"=\"Zip\"", "\"Offset\"=dword:00000002",
                           "\"Signature\"=hex:50,00,00,00,ff,ff,ff,ff"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(SettingsDialogTest, JobPropertiesShowTheMoveDirectoryOnlyForMoving) {
  ShowPage("TabPacker");
  Click("Button34");  // a new job, then its properties
  TUnpJobList& jobs = *GetUnpackJobList();
  TUnpackJob& job = *jobs.GetItem(jobs.GetCount() - 1);
  TJProperties form(job, jobs);
  form.show();
  EXPECT_FALSE(form.JobMove->isVisible());
  form.JobSrc->setCurrentIndex(1);
  EXPECT_TRUE(form.JobMove->isVisible());
  EXPECT_TRUE(form.bApply->isEnabled());
  form.Jobmask->clear();
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The file mask must not be empty!");
  form.Jobname->setText("Files");
  form.Jobmask->setText("/fido/in/*.zip");
  form.JobMoveDir->setText("/fido/done/");
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    form.grab().save(QString::fromUtf8(dir) + "/JobProperties.png");
  QTest::mouseClick(form.OKButton, Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  Click("OKBtn");
  const std::string text = RegistryText();
  for (const char* line : {"\"Name\"=\"Files\"", "\"Mask\"=\"/fido/in/*.zip\"",
                           "\"MoveDir\"=\"/fido/done/\"", "\"Source\"=dword:00000001"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(SettingsDialogTest, PickersForFontsDirectoriesListsAndMacrosFillTheirFields) {
  const std::string lists = Store().Values()->FTNDir();
  std::ofstream(lists + "NODELIST.123") << ";A\r\n";
  const ModalHook old = SetModalHook([&](QWidget* w) {
    if (auto* fonts = qobject_cast<QFontDialog*>(w)) {
      QFont font = fonts->currentFont();
      font.setPointSize(14);
      fonts->setCurrentFont(font);
    } else if (auto* dirs = qobject_cast<TDirDialogWindow*>(w)) {
      dirs->SetDirectory(QString::fromStdString(lists));
    } else if (auto* files = qobject_cast<TEnhFileRequest*>(w)) {
      EXPECT_EQ(files->windowTitle(), "Select node list");
      files->FileName()->setText("NODELIST.123");
    }
    return int(QDialog::Accepted);
  });
  Click("mrFe");
  Click("GetInbound");
  ShowPage("TabListen");
  Click("Button37");
  SetModalHook(old);
  EXPECT_EQ(Find<QLineEdit>("NLList")->text(), "NODELIST");
  EXPECT_EQ(Find<TDirBtn>("InboundDir")->text().toStdString(), lists);
  ShowPage("TabGruppen");
  auto* memo = Find<QPlainTextEdit>("TextText");
  memo->setPlainText("Hi ");
  memo->moveCursor(QTextCursor::End);
  auto* vars = Find<QListWidget>("Vars");
  vars->setCurrentRow(5);  // %df
  QTest::mouseClick(vars->viewport(), Qt::LeftButton, {},
                    vars->visualItemRect(vars->item(5)).center());
  EXPECT_EQ(memo->toPlainText(), "Hi %df");
  Click("OKBtn");
  EXPECT_EQ(Store().Values()->Font(SettingId::mrFe).Size, 14);
  EXPECT_EQ(Store().Values()->InboundDir(), lists);
  EXPECT_EQ(Store().Nodelists().GetItem(0)->List, "NODELIST");
  EXPECT_EQ(Store().TextGroups().GetItem(0)->Part(TTextPart::NewHeader),
            std::vector<std::string>{"Hi %df"});
}

// Every folder setting's "..." opens the chooser at the folder the setting
// holds; a folder entered there (double click) and OK is stored, OK at once
// keeps the setting, and an ancestor double-clicked goes back up.
TEST_F(SettingsDialogTest, DirectoryChooserOpensAtTheSettingAndStoresTheFolderEntered) {
  ShowPage("TabSonstiges");
  const auto row = [](TDirDialogWindow& chooser, const QString& text) {
    const auto found = chooser.DirLB()->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.back();
  };
  const auto doubleClick = [](TDirDialogWindow& chooser, QListWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    TDirectoryListBox* list = chooser.DirLB();
    DoubleClickThroughWindow(list->viewport(), list->visualItemRect(item).center());
  };
  for (const char* name : {"GetInbound", "GetOutbound", "GetMsgBaseDir", "GetFileBaseDir", "GetFTN",
                           "GetKQL", "GetPluginDir"}) {
    SCOPED_TRACE(name);
    auto* button = Find<QPushButton>(name);
    auto* edit = button->parentWidget()->findChild<TDirBtn*>();
    ASSERT_NE(edit, nullptr);
    const QString at = edit->text();
    ASSERT_TRUE(at.endsWith('/')) << at.toStdString();
    ASSERT_TRUE(QDir().mkpath(at + "Sub Folder"));
    const QString folder = QDir(at).dirName();
    struct Step {
      const char* name;
      std::function<void(TDirDialogWindow&)> act;
      QString stored;
    };
    const Step steps[] = {
        {"OK at once", [](TDirDialogWindow&) {}, at},
        {"a sub-folder entered", [&](TDirDialogWindow& c) { doubleClick(c, row(c, "Sub Folder")); },
         at + "Sub Folder/"},
        {"back up to the setting's folder",
         [&](TDirDialogWindow& c) { doubleClick(c, row(c, folder)); }, at},
    };
    for (const Step& step : steps) {
      SCOPED_TRACE(step.name);
      const QString before = edit->text();
      bool seen = false;
      QTimer::singleShot(0, dialog.get(), [&] {
        auto* chooser = dialog->findChild<TDirDialogWindow*>();
        ASSERT_NE(chooser, nullptr);
        seen = QTest::qWaitForWindowExposed(chooser);
        // It opens at the folder the setting holds, shown as the current one.
        EXPECT_EQ(chooser->GetDirectory(), before);
        QListWidgetItem* current = chooser->DirLB()->DirectoryItem();
        EXPECT_TRUE(current && current->text() == QDir(before).dirName());
        EXPECT_EQ(chooser->DirLB()->currentItem(), current);
        step.act(*chooser);
        ClickThroughWindow(chooser->findChild<QPushButton*>("Ok"));
      });
      ClickThroughWindow(button);
      EXPECT_TRUE(seen);
      EXPECT_EQ(edit->text(), step.stored);
    }
  }
}

// Each name of the table as a folder: the inbound picked in the chooser, the
// file base typed into its field. The settings and the registry file hold
// the folder's bytes on disk (UTF-8, not the ANSI page), the window shows
// the name as it is, and an import of the start directory finds the packet
// put into the folder.
TEST_F(SettingsDialogTest, FoldersPickedOrTypedAreStoredAsTheFoldersOnDisk) {
  int count = 0;
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    const std::string inbound = Start() + "Дом Иванова/Входящие/" + row.disk + "/";
    const std::string files = Start() + "Дом Иванова/Файлы/" + row.disk + "/";
    ASSERT_TRUE(QDir().mkpath(PathText(inbound)));
    ASSERT_TRUE(QDir().mkpath(PathText(files)));
    if (!dialog) OpenSettings();
    ShowPage("TabSonstiges");
    const ModalHook old = SetModalHook([&](QWidget* w) {
      if (auto* dirs = qobject_cast<TDirDialogWindow*>(w)) dirs->SetDirectory(PathText(inbound));
      return int(QDialog::Accepted);
    });
    Click("GetInbound");
    SetModalHook(old);
    EXPECT_EQ(Find<TDirBtn>("InboundDir")->text(), QString::fromUtf8(inbound.c_str()));
    Find<TDirBtn>("FileBaseDir")->setText(QString::fromUtf8(files.c_str()));
    // A line's device is a path as well; its name stays in the ANSI page.
    const std::string device = Start() + "Дом Иванова/Модемы/" + row.disk + "/ttyS0";
    ShowPage("TabMailer");
    Find<QPlainTextEdit>("ModemLines")
        ->setPlainText(QString::fromUtf8(("Модем=" + device + ";57600").c_str()));
    Click("OKBtn");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    dialog.reset();
    EXPECT_EQ(Store().Values()->InboundDir(), inbound);
    EXPECT_EQ(Store().Values()->FileBaseDir(), files);
    EXPECT_EQ(Store().Values()->Lines(SettingId::ModemLines),
              std::vector<std::string>{platform::FromUtf8("Модем", platform::AnsiCodePage()) + "=" +
                                       device + ";57600"});
    {
      platform::Registry file(RegistryPath());
      TWinRegistry reg(kConfigRootKey, file);
      EXPECT_EQ(reg.ReadString("Paths", "Inbound", ""), inbound);
      EXPECT_EQ(reg.ReadString("Paths", "Filebase", ""), files);
    }
    // The window shows them again as named.
    OpenSettings();
    EXPECT_EQ(Find<TDirBtn>("InboundDir")->text(), QString::fromUtf8(inbound.c_str()));
    EXPECT_EQ(Find<TDirBtn>("FileBaseDir")->text(), QString::fromUtf8(files.c_str()));
    EXPECT_EQ(Find<QPlainTextEdit>("ModemLines")->toPlainText(),
              QString::fromUtf8(("Модем=" + device + ";57600").c_str()));
    std::ofstream(inbound + "0000000" + std::to_string(count) + ".pkt", std::ios::binary)
        << PacketFrom({EchoMessage("ECHO.ONE", "Folder " + std::to_string(count))});
    Batch("import");
    EXPECT_EQ(BatchCount("ECHO.ONE"), ++count);
    EXPECT_TRUE(platform::ScanDir(inbound, "*.pkt").empty());
  }
  // No look-alike folder in the ANSI page's bytes was made beside them.
  for (const char* parent : {"Дом Иванова/Входящие/", "Дом Иванова/Файлы/"})
    for (const auto& e : platform::ScanDir(Start() + parent, "*", true, true))
      EXPECT_TRUE(platform::IsUtf8(e.name)) << e.name;
}

// The state an earlier version left: the base, the inbound, a packer's and a
// mailbox's program and the mailbox's file list in folders named in CP1251,
// which the store keeps byte for byte. The window shows them readably; OK
// with nothing changed neither refuses the base nor asks for a folder, and
// leaves the registry file as it was; the properties windows' OK keeps the
// bytes; an edited field keeps the bytes of the parts not changed.
TEST_F(SettingsDialogTest, FoldersNamedInCp1251SurviveTheWindowByteForByte) {
  const std::string cp = "\xCF\xEE\xF7\xF2\xE0";  // "Почта" in CP1251
  const std::string folder = Start() + cp + "/";
  const std::string base = folder + "base/", inbound = folder + "in/", list = folder + "files.lst";
  const std::string pack = folder + "zip -r", command = folder + "call.sh -x";
  dialog.reset();
  const std::string oldBase = Store().MessageBaseDir();
  window.reset();
  platform::MakeDirs(inbound);
  ASSERT_EQ(::rename(platform::WithoutSlash(oldBase).c_str(), platform::WithoutSlash(base).c_str()),
            0);
  platform::WriteFileAtomic(list, "FILE.ZIP  A file\r\n");
  platform::WriteFileAtomic(folder + "zip", "#!/bin/sh\n");
  platform::WriteFileAtomic(folder + "call.sh", "#!/bin/sh\n");
  {
    platform::Registry file(RegistryPath());
    TWinRegistry reg(kConfigRootKey, file);
    reg.WriteString("Paths", "Messagebase", base);
    reg.WriteString("Paths", "Inbound", inbound);
  }
  Open();
  ASSERT_EQ(Store().MessageBaseDir(), base);
  GetPackerList()->GetItem(0)->SetPack(pack);
  TMailBox& box = *Store().AddDefaultMailbox();
  box.FileList = list;
  box.Command = command;
  Store().SaveConfiguration();
  const std::string before = RegistryText();
  ASSERT_NE(before.find(inbound), std::string::npos);
  const QString shown = QString::fromUtf8((Start() + "Почта/").c_str());

  OpenSettings();
  EXPECT_EQ(Find<TDirBtn>("InboundDir")->text(), shown + "in/");
  EXPECT_EQ(Find<TDirBtn>("MsgBaseDir")->text(), shown + "base/");
  // The folder chooser cannot open such a folder: OK at once keeps it.
  ShowPage("TabSonstiges");
  const ModalHook hook = SetModalHook([](QWidget*) { return int(QDialog::Accepted); });
  Click("GetInbound");
  SetModalHook(hook);
  EXPECT_EQ(Find<TDirBtn>("InboundDir")->text(), shown + "in/");
  {
    TMBProperties form(box, Store().Mailboxes(), {}, platform::CodePage::CP866);
    EXPECT_EQ(form.mbFileList->text(), shown + "files.lst");
    EXPECT_EQ(form.mbCMD->currentText(), shown + "call.sh -x");
    form.BtnOkClick();
  }
  {
    TPackerProperties form(*GetPackerList()->GetItem(0), *GetPackerList());
    EXPECT_EQ(form.PackerPack->text(), shown + "zip -r");
    form.Button3Click();
  }
  ShowPage("TabPacker");
  Find<QListWidget>("PackerList")->setCurrentRow(0);
  EXPECT_EQ(Find<QLineEdit>("PackerPack")->text(), shown + "zip -r");
  const size_t questions = prompter.Questions().size();
  Click("OKBtn");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(prompter.Questions().size(), questions) << prompter.Questions().back().text;
  EXPECT_EQ(Store().MessageBaseDir(), base);
  EXPECT_EQ(Store().Values()->InboundDir(), inbound);
  EXPECT_EQ(box.FileList, list);
  EXPECT_EQ(box.Command, command);
  EXPECT_EQ(RegistryText(), before);

  // Edited: the packer's arguments and the inbound's last folder; the
  // CP1251 folder above them keeps its bytes, the new name is UTF-8.
  platform::MakeDirs(folder + "вход/");
  OpenSettings();
  ShowPage("TabPacker");
  Find<QListWidget>("PackerList")->setCurrentRow(0);
  Find<QLineEdit>("PackerPack")->setText(shown + "zip -q");
  Find<TDirBtn>("InboundDir")->setText(shown + "вход/");
  Click("ApplyBtn");
  EXPECT_EQ(GetPackerList()->GetItem(0)->GetPack(), folder + "zip -q");
  EXPECT_EQ(Store().Values()->InboundDir(), folder + "вход/");
  EXPECT_EQ(RegistryText().find("\xEF\xBF\xBD"), std::string::npos);

  // Typed paths name the folders the user sees, whatever the field held.
  platform::MakeDirs(Start() + "Новая/Почта/in/");  // UTF-8, holding mail
  platform::WriteFileAtomic(Start() + "Новая/Почта/in/0000abcd.pkt", "mail");
  platform::MakeDirs(Start() + "пойнт/" + cp + "/files/");  // an older version's folder
  OpenSettings();
  ShowPage("TabSonstiges");
  Find<TDirBtn>("InboundDir")->setText(shown + "in/");
  Click("ApplyBtn");
  ASSERT_EQ(Store().Values()->InboundDir(), inbound);
  // A folder that is still missing is asked for by the name the user reads.
  Find<TDirBtn>("InboundDir")->setText(shown + "neu/");
  prompter.Clear();
  prompter.Script({platform::mbNo});
  Click("ApplyBtn");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(
      prompter.Questions()[0].text,
      "Das Verzeichnis \"" + Start() + "Почта/neu\" existiert nicht. Soll es angelegt werden?");
  EXPECT_FALSE(platform::PathExists(folder + "neu"));
  EXPECT_EQ(Store().Values()->InboundDir(), inbound);
  const struct {
    const char* what;
    const char* field;
    std::string typed, stored;
  } typedRows[] = {
      {"a UTF-8 folder typed over the CP1251 one of that name", "InboundDir",
       Start() + "Новая/Почта/in/", Start() + "Новая/Почта/in/"},
      {"the name of an existing CP1251 folder", "FileBaseDir", Start() + "пойнт/Почта/files/",
       Start() + "пойнт/" + cp + "/files/"},
  };
  for (const auto& row : typedRows) {
    SCOPED_TRACE(row.what);
    OpenSettings();
    ShowPage("TabSonstiges");
    Find<TDirBtn>(row.field)->setText(QString::fromUtf8(row.typed.c_str()));
    const size_t asked = prompter.Questions().size();
    Click("ApplyBtn");
    EXPECT_EQ(prompter.Questions().size(), asked) << prompter.Questions().back().text;
    EXPECT_EQ(
        Store().Values()->Text(std::string(row.field) == "InboundDir" ? SettingId::InboundDir
                                                                      : SettingId::FileBaseDir),
        row.stored);
  }
  EXPECT_FALSE(platform::PathExists(Start() + "Новая/" + cp));
  EXPECT_FALSE(platform::PathExists(Start() + "пойнт/Почта"));

  // The chooser of a field that names a folder under the CP1251 one opens
  // there and lists the CP1251 folders by the names they read as; stepped
  // up to «Почта» and into «Пакеры» beside «in», the folder picked is
  // stored as its bytes on disk.
  const std::string packers = "\xCF\xE0\xEA\xE5\xF0\xFB";  // «Пакеры» in CP1251
  platform::MakeDirs(folder + packers + "/");
  OpenSettings();
  ShowPage("TabSonstiges");
  Find<TDirBtn>("InboundDir")->setText(shown + "in/");
  QString opened;
  QStringList missing;
  const ModalHook choose = SetModalHook([&](QWidget* w) {
    auto* chooser = qobject_cast<TDirDialogWindow*>(w);
    if (!chooser) return int(QDialog::Rejected);
    TDirectoryListBox* list = chooser->DirLB();
    opened = list->Directory();
    for (const char* name : {"Почта", "Пакеры"}) {
      const auto found = list->findItems(QString::fromUtf8(name), Qt::MatchExactly);
      if (found.isEmpty()) {
        missing << QString::fromUtf8(name);
        return int(QDialog::Rejected);
      }
      list->setCurrentItem(found.back());
      QTest::keyClick(list, Qt::Key_Return);
    }
    return int(QDialog::Accepted);
  });
  Click("GetInbound");
  SetModalHook(choose);
  EXPECT_EQ(opened, shown + "in/");
  EXPECT_EQ(missing.join(", ").toStdString(), "");
  EXPECT_EQ(Find<TDirBtn>("InboundDir")->text(), shown + QString::fromUtf8("Пакеры/"));
  const size_t asked = prompter.Questions().size();
  Click("ApplyBtn");
  EXPECT_EQ(prompter.Questions().size(), asked);
  EXPECT_EQ(Store().Values()->InboundDir(), folder + packers + "/");
  EXPECT_FALSE(platform::PathExists(Start() + "Почта"));
}

// The mailbox's file list and the unpack job's mask and folders, typed into
// their windows for each name of the table: stored as the names on disk,
// shown again as typed, and so in the registry file after OK.
TEST_F(SettingsDialogTest, MailboxAndJobWindowsStoreTheNamesOnDisk) {
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    const std::string list = Start() + "Списки файлов/" + row.disk + ".lst";
    const std::string mask = Start() + "Архивы/" + row.disk;
    const std::string dest = Start() + "Распаковано/" + row.disk + "/";
    const std::string move = Start() + "Готово/" + row.disk + "/";
    platform::MakeDirs(Start() + "Списки файлов/");
    platform::WriteFileAtomic(list, "FILE.ZIP  A file\r\n");
    if (!dialog) OpenSettings();
    ShowPage("TabMailboxen");
    Click("AddMB");
    TMailBox& box = *Store().Mailboxes().GetItem(Store().Mailboxes().GetCount() - 1);
    {
      TMBProperties form(box, Store().Mailboxes(), {"Modem"}, platform::CodePage::CP866);
      form.show();
      form.MBName->setText("Box");
      form.mbFileList->setText(QString::fromUtf8(list.c_str()));
      QTest::mouseClick(form.BtnOk, Qt::LeftButton);
      EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(box.FileList, list);
    {
      TMBProperties form(box, Store().Mailboxes(), {"Modem"}, platform::CodePage::CP866);
      EXPECT_EQ(form.mbFileList->FileName(), QString::fromUtf8(list.c_str()));
      EXPECT_EQ(form.mbFileList->text(), QString::fromUtf8(list.c_str())) << "shown unquoted";
    }
    ShowPage("TabPacker");
    Click("Button34");
    TUnpJobList& jobs = *GetUnpackJobList();
    TUnpackJob& job = *jobs.GetItem(jobs.GetCount() - 1);
    {
      TJProperties form(job, jobs);
      form.show();
      form.Jobname->setText("Names");
      form.Jobmask->setText(QString::fromUtf8(mask.c_str()));
      form.JobDir->setText(QString::fromUtf8(dest.c_str()));
      form.JobSrc->setCurrentIndex(1);
      form.JobMoveDir->setText(QString::fromUtf8(move.c_str()));
      QTest::mouseClick(form.OKButton, Qt::LeftButton);
      EXPECT_EQ(form.result(), QDialog::Accepted);
    }
    EXPECT_EQ(job.Mask, mask);
    EXPECT_EQ(job.DestDir, dest);
    EXPECT_EQ(job.MoveDir, move);
    {
      TJProperties form(job, jobs);
      EXPECT_EQ(form.JobDir->text(), QString::fromUtf8(dest.c_str()));
    }
    Click("OKBtn");
    dialog.reset();
    const std::string text = RegistryText();
    for (std::string value : {list, mask, dest, move}) {
      for (size_t at = 0; (at = value.find('"', at)) != std::string::npos; at += 2)
        value.insert(at, 1, '\\');  // as the registry file writes a quote
      EXPECT_NE(text.find("=\"" + value + "\""), std::string::npos) << value;
    }
  }
}

TEST_F(SettingsDialogTest, MainWindowOpensTheWindowFromItsSettingsCommand) {
  dialog.reset();
  QString opened;
  const ModalHook old = SetModalHook([&](QWidget* w) {
    opened = w->objectName();
    return int(QDialog::Rejected);
  });
  QAction* action = window->findChild<QAction*>("Settings");
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->isEnabled());
  action->trigger();
  SetModalHook(old);
  EXPECT_EQ(opened, "TSettingsDialog");
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

TEST_F(SettingsDialogTest, EveryPageTabIsShownWholeAtTheDefaultSize) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  QTabBar* bar = dialog->Notebook()->tabBar();
  // The default size, before the dialog is shown on a screen.
  const QSize designed = TSettingsDialog(Store(), GetPackerList(), nullptr).size();
  // A screen narrower than that (the offscreen one is 800 x 600): the dialog
  // shrinks to it, its last tabs reached by the tab bar's arrows.
  const QRect screen = dialog->screen()->availableGeometry();
  if (designed.width() > screen.width()) {
    const QRect frame = dialog->frameGeometry();
    EXPECT_TRUE(screen.contains(frame))
        << frame.width() << " x " << frame.height() << " at " << frame.x() << "," << frame.y();
    bool arrows = false;
    for (QToolButton* arrow : bar->findChildren<QToolButton*>()) arrows |= arrow->isVisible();
    EXPECT_TRUE(arrows);
  }
  // Where the screen has room for the default size, every tab shows whole.
  dialog->resize(designed);
  QCoreApplication::processEvents();
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    dialog->grab().save(QString::fromUtf8(dir) + "/SettingsDefaultSize.png");
  ASSERT_EQ(bar->count(), 12);
  for (int i = 0; i < bar->count(); ++i) {
    SCOPED_TRACE(bar->tabText(i).toStdString());
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(i)));
    EXPECT_GE(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
  }
  // No scroll arrows are needed to reach a tab.
  for (QToolButton* arrow : bar->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible());
}

// The settings as they open on screens of two sizes (the offscreen screen
// of a child run of this program): where the screen has room for their
// pages they take it, no page scrolls and every tab shows whole; on a
// small screen they fit it, OK and Cancel on it.
TEST_F(SettingsDialogTest, TheSettingsTakeTheRoomTheirPagesNeedOnEveryScreen) {
  for (const QSize screen : {QSize(1280, 1024), QSize(800, 600)})
    ExpectPassesOnScreen(dir.Path(), screen, "SettingsDialogTest.DISABLED_TheSettingsTakeTheRoomTheirPagesNeedOnThisScreen");
}

TEST_F(SettingsDialogTest, DISABLED_TheSettingsTakeTheRoomTheirPagesNeedOnThisScreen) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  QCoreApplication::processEvents();
  const QRect area = dialog->screen()->availableGeometry();
  std::cout << "settings " << dialog->width() << " x " << dialog->height() << " on " << area.width()
            << " x " << area.height() << std::endl;
  EXPECT_TRUE(area.contains(dialog->frameGeometry()))
      << dialog->frameGeometry().width() << " x " << dialog->frameGeometry().height() << " at "
      << dialog->frameGeometry().x() << "," << dialog->frameGeometry().y();
  for (const char* name : {"OKBtn", "CancelBtn", "ApplyBtn"}) {
    auto* button = Find<QPushButton>(name);
    EXPECT_TRUE(area.contains(QRect(button->mapToGlobal(QPoint()), button->size()))) << name;
  }
  if (area.width() < 1280) return;
  // The screen has room: nothing scrolls, on any page, and every tab shows.
  auto* scroll = Find<QScrollArea>("NotebookScroll");
  QTabBar* bar = dialog->Notebook()->tabBar();
  for (int i = 0; i < bar->count(); ++i) {
    SCOPED_TRACE(bar->tabText(i).toStdString());
    dialog->Notebook()->setCurrentIndex(i);
    QCoreApplication::processEvents();
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(i)));
  }
  for (QToolButton* arrow : bar->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible());
}

}  // namespace
}  // namespace velmaris::test

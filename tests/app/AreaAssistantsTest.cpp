// The uplink and area assistants driven page by page as the user does, the
// configuration they leave saved and read back, a page that refuses a bad
// address, and the area managers' windows reached from the main window.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <tuple>

#include "MainWindowFixture.h"
#include "archive/PackerConfig.h"
#include "core/MailBox.h"
#include "core/NetLink.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "processing/AreaManager.h"
#include "processing/forms/ALReq.h"
#include "processing/forms/AddAreaAssistent.h"
#include "processing/forms/AddLinkAssistent.h"
#include "processing/forms/AreaDescReq.h"
#include "processing/forms/AreaManagerWindow.h"
#include "processing/forms/Calibrator.h"
#include "processing/forms/KillAssistents.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"
#include "widgets/PageManager.h"
#include "widgets/SpeedBar.h"
#include "widgets/VxCheckListBox.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {
namespace {

class AssistantTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    Open();
  }
  // Next (or back) clicked; the page shown afterwards.
  static int Click(TAssistentFrame& form, QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    return form.Notebook()->PageIndex();
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  // With VELMARIS_SCREENSHOTS set, the window as a PNG in that folder.
  static void Shot(QWidget& widget, const char* name) {
    if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
      widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
  }
  TConfigStore& Store() { return window->ConfigStore(); }
  TNetLink* LinkNamed(const std::string& name) { return Store().Uplinks().FindByName(name); }
};

TEST_F(AssistantTest, NewUplinkFromFirstToLastPageIsSavedWithMailboxAndPacker) {
  TAddLinkAssistent form(Store(), GetPackerList());
  form.show();
  QPushButton* next = form.NextButton();
  EXPECT_FALSE(form.PrevButton()->isEnabled());
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::LinkPage);
  Type(form.NewLinkName, "Boss");
  Type(form.NewLinkAddress, "2:5030/1");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::SysopPage);
  Type(form.NewSysopName, "Point Seven");
  Type(form.NewSysopAddress, "2:5030/1.7");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::PasswordPage);
  Type(form.NewPassword, "PKT");
  Type(form.NewSessionPassword, "SES");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::RobotPage);
  Type(form.EdAreafix, "AFPW");
  Type(form.EdFileScan, "FSPW");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::MailboxPage);
  Shot(form, "AddLinkAssistent");
  Type(form.NewPhone, "+7 495 1234567");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::MailboxPage);  // no mailer named
  ASSERT_FALSE(prompter.Questions().empty());
  EXPECT_EQ(prompter.Questions().back().text, TAddLinkAssistent::kNoMailerText);
  Type(form.NewMailboxCommand, "   ");
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::MailboxPage);
  Type(form.NewMailboxCommand, "Modem");
  ASSERT_GT(form.NewPacker->count(), 1);
  const QString packer = form.NewPacker->currentText();
  EXPECT_EQ(Click(form, next), TAddLinkAssistent::ReportPage);
  EXPECT_FALSE(next->isVisible());
  QTest::mouseClick(form.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Accepted);

  window.reset();  // saves
  Open();
  const TNetLink* link = LinkNamed("Boss");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->UplinkAddress.Text4D(), "2:5030/1");
  EXPECT_EQ(link->Sysop, "Point Seven");
  EXPECT_EQ(link->SysopAddress.Text4D(), "2:5030/1.7");
  EXPECT_EQ(link->Password, "PKT");
  EXPECT_EQ(link->SessionPassword, "SES");
  EXPECT_EQ(link->AreaFixPassword, "AFPW");
  EXPECT_EQ(link->FileScanPassword, "FSPW");
  EXPECT_TRUE(link->UsePacker);
  EXPECT_EQ(QString::fromStdString(link->Packer), packer);
  ASSERT_GE(link->Mailbox, 0);
  const TMailBox* box = Store().Mailboxes().GetItem(link->Mailbox);
  EXPECT_EQ(box->Name, "Boss");
  EXPECT_EQ(box->Address.Text4D(), "2:5030/1");
  EXPECT_EQ(box->Numbers, (std::vector<std::string>{"+7 495 1234567"}));
  EXPECT_EQ(box->Command, "Modem");
}

TEST_F(AssistantTest, AnAddressThatDoesNotParseKeepsTheUserOnItsPage) {
  TAddLinkAssistent form(Store(), GetPackerList());
  form.show();
  Click(form, form.NextButton());
  for (const char* bad : {"garbage", "0:0/0", ""}) {
    Type(form.NewLinkAddress, bad);
    if (*bad == '\0') form.NewLinkAddress->clear();
    EXPECT_EQ(Click(form, form.NextButton()), TAddLinkAssistent::LinkPage) << bad;
    EXPECT_EQ(form.NewLinkAddress->text(), "0:0/0") << bad;
  }
  ASSERT_FALSE(prompter.Questions().empty());
  EXPECT_EQ(prompter.Questions().back().kind, platform::MsgKind::Error);
  Type(form.NewLinkAddress, "2:5030/1");
  EXPECT_EQ(Click(form, form.NextButton()), TAddLinkAssistent::SysopPage);
  EXPECT_EQ(Click(form, form.PrevButton()), TAddLinkAssistent::LinkPage);
  EXPECT_EQ(form.NewLinkAddress->text(), "2:5030/1");
  QTest::mouseClick(form.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(LinkNamed("New Uplink"), nullptr);
}

TEST_F(AssistantTest, NewEchoAreaIsOrderedFromItsUplinkAndShownInTheAreaList) {
  TNetLink* link = Store().Uplinks().GetItem(0);
  link->AreaFixPassword = "AFPW";
  TAddAreaAssistent form(Store(), &window->AreaManagers()->Echo());
  form.show();
  Click(form, form.NextButton());
  Type(form.NewAreaname, "RU.NEW.AREA");
  EXPECT_EQ(Click(form, form.NextButton()), TAddAreaAssistent::UplinkPage);
  EXPECT_TRUE(form.OrderArea->isChecked());
  Shot(form, "AddAreaAssistent");
  EXPECT_EQ(Click(form, form.NextButton()), TAddAreaAssistent::ReadyPage);
  EXPECT_EQ(Click(form, form.NextButton()), TAddAreaAssistent::DonePage);
  EXPECT_EQ(form.CancelButton()->text(), "Close");
  ASSERT_NE(form.AddedArea(), nullptr);
  EXPECT_EQ(form.AddedArea()->Uplink, link);
  EXPECT_TRUE(Rows().join('\n').contains("RU.NEW.AREA"));
  const TAreaManager& echo = window->AreaManagers()->Echo();
  ASSERT_EQ(echo.Selected().size(), 1u);
  EXPECT_EQ(echo.Selected()[0]->Name, "RU.NEW.AREA");
  TArea* netmail = Area("NETMAIL");
  ASSERT_TRUE(netmail->OpenIndex());
  EXPECT_EQ(netmail->Count, 1);
  netmail->CloseIndex();

  window.reset();
  Open();
  ASSERT_NE(Area("RU.NEW.AREA"), nullptr);
  EXPECT_EQ(Area("RU.NEW.AREA")->Uplink, Store().Uplinks().GetItem(0));
  EXPECT_EQ(window->AreaManagers()->Echo().Selected().size(), 1u);
}

TEST_F(AssistantTest, StorageAreaSkipsTheUplinkPageAndKeepsTheFirstUplink) {
  TAddAreaAssistent form(Store(), &window->AreaManagers()->Echo());
  form.show();
  Click(form, form.NextButton());
  Type(form.NewAreaname, "KEEP");
  form.StorageArea->setChecked(true);
  EXPECT_EQ(Click(form, form.NextButton()), TAddAreaAssistent::ReadyPage);
  EXPECT_EQ(Click(form, form.PrevButton()), TAddAreaAssistent::NamePage);
  Click(form, form.NextButton());
  EXPECT_EQ(Click(form, form.NextButton()), TAddAreaAssistent::DonePage);
  ASSERT_NE(Area("KEEP"), nullptr);
  EXPECT_EQ(Area("KEEP")->AreaType, AreaTypeCode::Storage);
  EXPECT_EQ(Area("KEEP")->Uplink, Store().Uplinks().GetItem(0));
  EXPECT_TRUE(window->AreaManagers()->Echo().Selected().empty());  // nothing ordered
}

TEST_F(AssistantTest, ManagerWindowMovesAreasAndSendsTheOrder) {
  TNetLink* link = Store().Uplinks().GetItem(0);
  TAreaManager& echo = window->AreaManagers()->Echo();
  echo.AddAreaList({"RU.ONE   First", "RU.TWO   Second"}, *link, 1, 10, 0);
  window->findChild<QAction*>("Echoareamanager1")->trigger();
  TAreaManagerWindow& form = *window->EchoAreaManager();
  ASSERT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), "EchoAreas Management");
  QTreeWidget* ready = form.ReadyList();
  ASSERT_EQ(ready->topLevelItemCount(), 2);
  EXPECT_EQ(ready->topLevelItem(1)->text(2), "Second");
  emit ready->itemDoubleClicked(ready->topLevelItem(1), 0);
  EXPECT_EQ(form.SelList()->topLevelItemCount(), 1);
  EXPECT_TRUE(form.findChild<QLabel*>("StatusLine")->text().endsWith("(Changes unsaved)"));
  Shot(form, "AreaManager");
  TSpeedItem* send = form.findChild<TSpeedItem*>("SendBtn");
  ASSERT_NE(send, nullptr);
  ASSERT_TRUE(send->Button()->isVisible());
  QTest::mouseClick(send->Button(), Qt::LeftButton);
  EXPECT_EQ(prompter.Questions().back().text, TAreaManager::kChangesSent);
  EXPECT_EQ(form.findChild<QLabel*>("StatusLine")->text(), "2 areas available; 1 signed");
  EXPECT_TRUE(Rows().join('\n').contains("RU.TWO"));
  EXPECT_FALSE(Rows().join('\n').contains("RU.ONE"));

  // A typed-in entry, then a search that finds it in the list where it stands.
  const ModalHook old = SetModalHook([](QWidget* w) {
    if (auto* request = qobject_cast<TAreaDescReq*>(w)) {
      EXPECT_EQ(request->windowTitle(), "New AreaFix - area");
      request->eName->setText("RU.THREE");
      request->eDesc->setText("Typed");
    } else if (auto* find = qobject_cast<QInputDialog*>(w)) {
      find->setTextValue("three");
    }
    return int(QDialog::Accepted);
  });
  form.findChild<QAction*>("NewDescription")->trigger();
  form.findChild<QAction*>("SearchItem")->trigger();
  SetModalHook(old);
  ASSERT_EQ(ready->topLevelItemCount(), 2);
  EXPECT_TRUE(ready->topLevelItem(1)->isSelected());
  EXPECT_EQ(ready->topLevelItem(1)->text(2), "Typed");
  const std::pair<const char*, const char*> keys[] = {
      {"RequestList", "Ctrl+L"}, {"SendChanges", "Ctrl+S"},    {"CancelChanges", "Ctrl+V"},
      {"MarkPresent", "Ctrl+A"}, {"NewDescription", "Ctrl+B"}, {"DeleteDescription", "Ctrl+Del"},
      {"SearchItem", "Ctrl+F"},  {"SearchAgain", "F3"},        {"HelpItem", "F1"}};
  for (const auto& [name, key] : keys)
    EXPECT_EQ(form.findChild<QAction*>(name)->shortcut(), QKeySequence(key)) << name;
  // F1 in the window opens its help page.
  platform::ShowHelp(platform::kHelpContents);
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(form.ReadyList(), Qt::Key_F1);
  EXPECT_EQ(platform::LastHelpContext(), platform::kHelpAreaManager);
}

TEST_F(AssistantTest, ListFileIsCalibratedAndReadIntoTheManager) {
  const std::string file = dir / "areas.lst";
  platform::WriteFileAtomic(
      file, "Areas of the uplink\n\n  RU.ONE\n  First area\r\n  RU.TWO\n  Second\n");
  TNetLink* link = Store().Uplinks().GetItem(0);
  const ModalHook old = SetModalHook([&](QWidget* w) {
    if (auto* request = qobject_cast<TALReq*>(w)) {
      request->FN->setText(QString::fromStdString(file));
      return int(QDialog::Accepted);
    }
    auto* calibrator = qobject_cast<TCalibrator*>(w);
    if (!calibrator) return int(QDialog::Rejected);
    EXPECT_FALSE(calibrator->UseAsStandard->isChecked());
    calibrator->SNOfs->SetValue(3);
    calibrator->SDLine->SetValue(1);
    calibrator->SDOfs->SetValue(3);
    calibrator->SelectFirstArea();
    EXPECT_EQ(calibrator->MsgText->ItemIndex(), 2);
    EXPECT_EQ(calibrator->LAreaName->text(), "RU.ONE");
    EXPECT_EQ(calibrator->LAreaDesc->text(), "First area");
    Shot(*calibrator, "Calibrator");
    calibrator->OKClick();
    return calibrator->result();
  });
  window->EchoAreaManager()->AddAreaListClick();
  SetModalHook(old);
  EXPECT_EQ(prompter.Questions().back().text, "2 new area added!");
  const auto& all = window->AreaManagers()->Echo().All();
  ASSERT_EQ(all.Count(), 2);
  EXPECT_EQ(all.Get(1)->Description, "Second");
  EXPECT_EQ(link->AFNameO, 3);  // the uplink's columns stay without the box ticked
  TCalibrator standard({"FILES.A", "All"}, link, TRobotKind::FileScan);
  standard.SDLine->SetValue(1);
  standard.SDOfs->SetValue(1);
  standard.OKClick();
  EXPECT_EQ(std::make_tuple(link->FSNameO, link->FSDescO, link->FSDescL), std::make_tuple(1, 1, 1));
}

TEST_F(AssistantTest, RemovingTheLastUplinkDeletesItsAreasAndOffersANewOne) {
  TNetLink* link = Store().Uplinks().GetItem(0);
  Store().AddAreaQuiet("ECHO.A", "ECHO.A", AreaTypeCode::Echomail, link);
  Store().FindArea("NETMAIL")->SetUplink(link);  // stays, unbound
  TKillLinkAssistent form(Store(), link, GetPackerList());
  bool offered = false;
  const ModalHook old = SetModalHook([&](QWidget* w) {
    if (qobject_cast<TAddLinkAssistent*>(w)) {
      offered = true;
      return int(QDialog::Rejected);
    }
    w->show();
    EXPECT_EQ(Click(form, form.NextButton()), TKillLinkAssistent::ListPage);
    EXPECT_EQ(form.KillList->count(), 1);
    EXPECT_EQ(Click(form, form.NextButton()), TKillLinkAssistent::ReportPage);
    EXPECT_EQ(form.Progress->value(), 1);
    QTest::mouseClick(form.CancelButton(), Qt::LeftButton);
    return form.result();
  });
  EXPECT_TRUE(form.Execute());
  SetModalHook(old);
  EXPECT_TRUE(offered);
  EXPECT_EQ(Store().Uplinks().GetCount(), 0);
  EXPECT_FALSE(Rows().join('\n').contains("ECHO.A"));
  ASSERT_NE(Area("NETMAIL"), nullptr);
  EXPECT_EQ(Area("NETMAIL")->Uplink, nullptr);
}

TEST_F(AssistantTest, AreasInUseStay) {
  TNetLink* link = Store().Uplinks().GetItem(0);
  Store().FindArea("NETMAIL")->SetUplink(link);
  TArea* echo = Store().AddAreaQuiet("BUSY.ECHO", "BUSY.ECHO", AreaTypeCode::Echomail, link);
  ASSERT_TRUE(echo->Lock(false));
  TKillLinkAssistent killLink(Store(), link, GetPackerList());
  killLink.show();
  Click(killLink, killLink.NextButton());
  EXPECT_EQ(killLink.KillList->count(), 1);  // NETMAIL is never listed
  EXPECT_EQ(Click(killLink, killLink.NextButton()), TKillLinkAssistent::FailurePage);
  echo->Unlock();
  EXPECT_EQ(killLink.PageText(TKillLinkAssistent::FailurePage)->text(),
            QString::fromUtf8("Не все эхи удалось удалить, аплинк оставлен.\n"
                              "BUSY.ECHO — используется, удалить нельзя"));
  EXPECT_EQ(killLink.CancelButton()->text(), "Close");
  EXPECT_EQ(Store().Uplinks().GetCount(), 1);
  EXPECT_EQ(Area("NETMAIL")->Uplink, link);  // nothing changed

  TArea* busy = Store().AddAreaQuiet("BUSY", "BUSY", AreaTypeCode::Echomail, nullptr);
  ASSERT_TRUE(busy->Lock(false));
  TKillAreaAssistent killArea(Store());
  killArea.KillList->addItem("BUSY");
  killArea.show();
  Click(killArea, killArea.NextButton());
  EXPECT_EQ(Click(killArea, killArea.NextButton()), TKillAreaAssistent::ReportPage);
  busy->Unlock();
  EXPECT_EQ(prompter.Questions().back().text, "The area BUSY is in use and cannot be deleted !");
  EXPECT_NE(Area("BUSY"), nullptr);
  // The last page says that the area stays, and why: not "Готово.".
  EXPECT_EQ(
      killArea.PageText(TKillAreaAssistent::ReportPage)->text(),
      QString::fromUtf8("Не все арии удалены, остались:\nBUSY — используется, удалить нельзя"));
  QTest::mouseClick(killArea.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(killArea.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace velmaris::test

// The mailer's windows offscreen: their named parts, and the wiring from
// controls to the profile, the mailbox list and the request files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "MailerFormsFixture.h"
#include "core/ConfigStoreFixture.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/LineFixtures.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/LineDialogs.h"
#include "mailer/forms/MailboxDialogs.h"
#include "mailer/forms/MailerForm.h"
#include "mailer/forms/MailerProperties.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "widgets/ALed.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {
namespace {

using MailerFormsTest = MailerFormsFixture;

template <class T>
void ExpectParts(QObject& form, std::initializer_list<const char*> names) {
  for (const char* name : names) EXPECT_NE(form.findChild<T*>(name), nullptr) << name;
}

TEST_F(MailerFormsTest, PropertiesEditTheProfile) {
  TMailer* profile = profiles->AddMailer(*config);
  profile->ReDials = 4;
  TMailerProperties window(profile, &profiles->Mailers(), {"Line A", "Line B"});
  ExpectParts<QWidget>(
      window, {"EdName", "EdSysop", "EdLocation", "EdPhone", "EdFlags", "CbZModem", "CbZedZap",
               "CbHydra", "SpRetries", "SpWait", "CbDummy", "CbTAPIDevice", "DialParams",
               "TAPIProperies", "SpReadJob", "CbOwnBuffers", "SpInSize", "SpOutSize"});
  EXPECT_EQ(window.windowTitle(), "Properties of Jon's Point");
  EXPECT_EQ(window.SpRetries->value(), 4);
  EXPECT_FALSE(window.BtnApply->isEnabled());
  window.CbZModem->click();  // ZModem cannot be switched off
  EXPECT_TRUE(window.CbZModem->isChecked());
  window.EdName->setText("Line 1");
  window.CbHydra->setChecked(false);
  window.CbTAPIDevice->setCurrentIndex(1);
  window.SpReadJob->SetValue(512);
  EXPECT_TRUE(window.BtnApply->isEnabled());
  window.BtnApply->click();
  EXPECT_EQ(profile->Name(), "Line 1");
  EXPECT_EQ(profiles->Mailers().GetString(0), "Line 1");
  EXPECT_FALSE(profile->Hydra);
  EXPECT_EQ(profile->TAPIDevice(), "Line B");
  EXPECT_EQ(profile->ReadJob, 512);
  EXPECT_EQ(window.windowTitle(), "Properties of Line 1");
  EXPECT_FALSE(window.BtnApply->isEnabled());
}

// The window shows every value a stored profile loads with, and Apply keeps
// it: the spin boxes take what loading takes.
TEST_F(MailerFormsTest, PropertiesShowAndKeepEveryValueAStoredProfileLoads) {
  struct Case {
    int32_t reDials, reDialWait, inBuf, outBuf, readJob;  // stored
    int32_t loadedWait, loadedIn;                         // what loading keeps
  };
  const Case cases[] = {
      {0, 1, 0, 0, 1, 1, 0},
      {0, 0, 0, 100, 2, 0, 0},
      {1000, 3600, 65536, 65536, 65536, 3600, 65536},
      {5, 9999, 70000, 4096, 256, 3600, 65536},
  };
  const std::string key = "Lines\\Mailer9";
  for (const Case& c : cases) {
    TWinRegistry& reg = config->Registry();
    reg.WriteInteger(key, "ReDials", c.reDials);
    reg.WriteInteger(key, "ReDialWait", c.reDialWait);
    reg.WriteInteger(key, "InBufSize", c.inBuf);
    reg.WriteInteger(key, "OutBufSize", c.outBuf);
    reg.WriteInteger(key, "ReadJob", c.readJob);
    TMailer* profile = profiles->AddMailer(*config);
    profile->LoadFromRegistry(reg, key);
    ASSERT_EQ(profile->ReDialWait, c.loadedWait);
    ASSERT_EQ(profile->InBufSize, c.loadedIn);
    TMailerProperties window(profile, &profiles->Mailers(), {"Line A"});
    EXPECT_EQ(window.SpRetries->value(), c.reDials);
    EXPECT_EQ(window.SpWait->value(), c.loadedWait);
    EXPECT_EQ(window.SpInSize->GetAsInteger(), c.loadedIn);
    EXPECT_EQ(window.SpOutSize->GetAsInteger(), c.outBuf);
    EXPECT_EQ(window.SpReadJob->GetAsInteger(), c.readJob);
    window.EdLocation->setText("Moscow");
    window.BtnApply->click();
    EXPECT_EQ(profile->ReDials, c.reDials);
    EXPECT_EQ(profile->ReDialWait, c.loadedWait);
    EXPECT_EQ(profile->InBufSize, c.loadedIn);
    EXPECT_EQ(profile->OutBufSize, c.outBuf);
    EXPECT_EQ(profile->ReadJob, c.readJob);
  }
}

TEST_F(MailerFormsTest, ModemPageEditsTheDiallingAndTheChosenLineSettings) {
  TMailer* profile = profiles->AddMailer(*config);
  config->SettingsModel().SetLines(SettingId::ModemLines, {"Office=/dev/ttyS0"});
  TMailerProperties* window =
      ShowMailerProperties(*profile, &profiles->Mailers(), TLineSettingsAccess::Program(*config));
  ASSERT_EQ(window->CbTAPIDevice->findText("Office"), 0);
  window->CbTAPIDevice->setCurrentIndex(0);
  window->Pages->setCurrentIndex(1);
  Shot(*window, "MailerPropertiesModem");
  SetModalHook([](QWidget* w) {
    auto* dialog = qobject_cast<TLineProperties*>(w);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return int(QDialog::Rejected);
    EXPECT_EQ(dialog->CbDevice->currentText(), "/dev/ttyS0");
    EXPECT_EQ(dialog->CbSpeed->currentText(), "115200");
    EXPECT_TRUE(dialog->CbRtsCts->isChecked());
    Shot(*dialog, "LineProperties");
    dialog->CbDevice->setEditText("/dev/ttyUSB3");
    dialog->CbSpeed->setEditText("57600");
    dialog->CbRtsCts->setChecked(false);
    return int(QDialog::Accepted);
  });
  window->TAPIProperies->click();
  EXPECT_EQ(config->Values()->Lines(SettingId::ModemLines),
            (std::vector<std::string>{"Office=/dev/ttyUSB3;57600;none"}));
  EXPECT_EQ(window->CbTAPIDevice->currentText(), "Office");
  SetModalHook([](QWidget* w) {
    auto* dialog = qobject_cast<TDialParams*>(w);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return int(QDialog::Rejected);
    EXPECT_EQ(dialog->EdCountryCode->text(), "49");
    Shot(*dialog, "DialParams");
    dialog->EdCountryCode->setText("7");
    dialog->EdAreaCode->setText("812");
    return int(QDialog::Accepted);
  });
  window->DialParams->click();
  EXPECT_EQ(config->Values()->Text(SettingId::EdCountryCode), "7");
  EXPECT_EQ(config->Values()->Text(SettingId::EdAreaCode), "812");
  SetModalHook([](QWidget*) { return int(QDialog::Rejected); });  // Cancel changes nothing
  window->DialParams->click();
  window->TAPIProperies->click();
  EXPECT_EQ(config->Values()->Text(SettingId::EdCountryCode), "7");
  EXPECT_EQ(config->Values()->Lines(SettingId::ModemLines),
            (std::vector<std::string>{"Office=/dev/ttyUSB3;57600;none"}));
  delete window;
}

TEST_F(MailerFormsTest, MailerWindowFollowsChangedLineSettings) {
  config->SettingsModel().SetLines(SettingId::ModemLines, {"Office=/dev/ttyS0"});
  TMailer* profile = profiles->AddMailer(*config);
  TMailerForm form(*profile, *config);
  form.SelectDevice("Office");
  EXPECT_EQ(form.Device().Line(), (TLineDeviceEntry{"Office", "/dev/ttyS0"}));
  config->SettingsModel().SetLines(SettingId::ModemLines, {"Office=/dev/ttyS1;9600;none"});
  EXPECT_EQ(form.Device().Line(), (TLineDeviceEntry{"Office", "/dev/ttyS1", 9600, false}));
  config->SettingsModel().SetText(SettingId::EdCountryCode, "7");
  EXPECT_EQ(form.Device().Location.Country, "7");
}

TEST_F(MailerFormsTest, MailboxChooserWarnsWithoutMailboxesAndReturnsTheChosenOne) {
  TGetBBSRequest empty(*config);
  EXPECT_FALSE(empty.Execute());
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].kind, platform::MsgKind::Warning);

  AddBox("Boss", "2:5020/1042");
  TMailBox* other = AddBox("Other", "2:5020/1");
  struct Case {
    int row;
    bool result;
    TMailBox* chosen;
  } cases[] = {{1, true, other}, {-1, false, nullptr}};
  for (const Case& c : cases) {
    TGetBBSRequest chooser(*config);
    SetModalHook([&](QWidget*) {
      chooser.BBSList->setCurrentRow(c.row);
      chooser.BtnokClick();
      return chooser.result();
    });
    EXPECT_EQ(chooser.Execute(), c.result);
    EXPECT_EQ(chooser.Chosen(), c.chosen);
  }
}

TEST_F(MailerFormsTest, PollDialogListsUplinkMailboxesOnce) {
  TMailBox* boss = AddBox("Boss", "2:5020/1042");
  config->Uplinks().GetItem(0)->Mailbox = 0;
  config->AddNewLink()->Mailbox = 0;
  TNetCallDlg dialog(*config);
  int shown = 0;
  SetModalHook([&](QWidget*) {
    ++shown;
    EXPECT_EQ(dialog.LinkLIst->count(), 1);
    dialog.LinkLIst->setCurrentRow(0);
    dialog.OkbtnClick();
    return dialog.result();
  });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.Chosen(), boss);
  config->Uplinks().GetItem(0)->Mailbox = -1;
  config->Uplinks().GetItem(1)->Mailbox = 7;
  SetModalHook([&](QWidget*) { return ++shown, int(QDialog::Rejected); });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(shown, 2);  // the dialog shows even after the warning
  EXPECT_EQ(prompter.Questions().size(), 1u);
}

TEST_F(MailerFormsTest, CalibratorTakesNameRangeThenIndicator) {
  TMailBox* standard = AddBox("Boss", "2:5020/1042");
  TMailBox box;
  box.Assign(*standard);
  TASCalibrator dialog(*config, box, {"Area: 1", "  UTILS   Utilities", "file1.zip"},
                       platform::CodePage::CP866);
  auto select = [&](int start, int length) {
    QTextCursor cursor = dialog.Memo->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
    dialog.Memo->setTextCursor(cursor);
  };
  select(10, 5);
  dialog.NextClick();
  EXPECT_EQ(dialog.NextButton->text(), "Fertig");
  select(0, 5);
  dialog.UseAsStandard->setChecked(true);
  dialog.NextClick();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(box.AreaIndicator, "Area:");
  EXPECT_EQ(box.AreaLine, 1);
  EXPECT_EQ(box.AreaColumn, 3);
  EXPECT_EQ(box.AreaSize, 5);
  EXPECT_EQ(standard->AreaIndicator, "Area:");  // the same mailbox in the list
}

TEST_F(MailerFormsTest, FileRequestEditorBuildsAndSavesTheRequest) {
  TMailBox* box = AddBox("Boss", "2:5020/1042");
  box->AreaIndicator = "Area:";
  box->AreaLine = 1;
  box->AreaColumn = 3;
  box->AreaSize = 6;
  TFileReqEditor editor(*config);
  ExpectParts<QWidget>(editor, {"EdAddress", "EdFileList", "CbMailer", "FileListBox", "RequestList",
                                "MagicList", "AreaList", "CountLabel", "EdNewName", "BtnAdd"});
  ExpectParts<QAction>(editor, {"RequestIt", "ImmediateRequest", "Recover", "Calibrate"});
  editor.SetMailBox(*box);
  editor.LoadMailText("Area: 1\n  UTILS   Utilities\n   util.zip  A tool\n");
  EXPECT_EQ(editor.AreaList->count(), 1);
  editor.FileListActivated(editor.FileListBox->model()->index(2, 0));
  editor.EdNewName->setText("FILES !pw");
  editor.BtnAdd->click();
  EXPECT_EQ(editor.CountLabel->text(), "2 files");
  prompter.Script({platform::mbOk});
  editor.RequestItClick();
  const std::string req = config->Values()->OutboundDir() + "139C0412.req";
  EXPECT_EQ(platform::ReadFile(req), "util.zip\r\nFILES !pw\r\n");
  EXPECT_TRUE(editor.windowTitle().contains("(2:5020/1042): Mailtext with 3 lines"));
}

TEST_F(MailerFormsTest, FileRequestEditorKeysPanelsFileDialogMailboxAndProfiles) {
  TFileReqEditor editor(*config);
  editor.show();
  for (const char* line : {"a.zip", "b.zip", "c.zip"}) editor.AddRequestLine(line);
  struct Key {
    Qt::KeyboardModifiers modifiers;
    int row;  // selected before the key
    std::vector<std::string> left;
  } keys[] = {
      {Qt::NoModifier, 1, {"a.zip", "c.zip"}},
      {Qt::NoModifier, 0, {"c.zip"}},
      {Qt::NoModifier, -1, {"c.zip"}},
      {Qt::ControlModifier, -1, {}},
  };
  for (const Key& k : keys) {
    editor.RequestList->setCurrentRow(k.row);
    QTest::keyClick(editor.RequestList, Qt::Key_Delete, k.modifiers);
    EXPECT_EQ(editor.RequestLines(), k.left) << k.row;
  }
  EXPECT_EQ(editor.CountLabel->text(), "No files");

  // The panels shrink to their title bars and grow back.
  QTest::mouseClick(editor.MagicPanelBtn, Qt::LeftButton);
  EXPECT_FALSE(editor.MagicList->isVisible());
  EXPECT_TRUE(editor.MagicPanelBtn->isVisible());
  editor.ShowRequestPanel(false);
  EXPECT_FALSE(editor.RequestList->isVisible());
  QTest::mouseClick(editor.MagicPanelBtn, Qt::LeftButton);
  QTest::mouseClick(editor.RequestPanelBtn, Qt::LeftButton);
  EXPECT_TRUE(editor.MagicList->isVisible());
  EXPECT_TRUE(editor.RequestList->isVisible());

  // The open dialog loads the chosen file list.
  dir.Write("files.txt", "Area: 1\r\nfile.zip\r\n");
  SetModalHook([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return int(QDialog::Rejected);
    EXPECT_EQ(dialog->objectName(), "OpenFileList");
    dialog->selectFile(QString::fromStdString(dir / "files.txt"));
    return int(QDialog::Accepted);
  });
  editor.BtnFileList->click();
  EXPECT_EQ(editor.FileList().Count(), 2);
  SetModalHook([](QWidget*) { return int(QDialog::Rejected); });
  editor.LoadFileList->trigger();  // Cancel keeps the list
  EXPECT_EQ(editor.FileList().Count(), 2);

  // The mailer combo follows the profile list; choosing sets the command.
  EXPECT_EQ(editor.CbMailer->count(), 0);
  TMailer* first = profiles->AddMailer(*config);
  first->SetName("Modem");
  profiles->Mailers().SetString(0, "Modem");
  TMailer* second = profiles->AddMailer(*config);
  second->SetName("ISDN");
  profiles->Mailers().SetString(1, "ISDN");
  ASSERT_EQ(editor.CbMailer->count(), 2);
  EXPECT_EQ(editor.CbMailer->itemText(1), "ISDN");
  editor.CbMailer->setCurrentIndex(1);
  emit editor.CbMailer->activated(1);
  EXPECT_EQ(editor.MailBox().Command, "ISDN");

  // Mailbox properties edit the editor's copy, and the editor shows it.
  editor.MailboxPropertiesHook = [](TMailBox& box) {
    box.Address.SetText("2:5020/77");
    box.Command = "Modem";
    box.AreaIndicator = "Area:";
  };
  editor.MailboxProperties->trigger();
  EXPECT_EQ(editor.EdAddress->text(), "2:5020/77");
  EXPECT_EQ(editor.CbMailer->currentText(), "Modem");
  EXPECT_EQ(editor.AreaList->count(), 1);  // scanned with the new indicator
  EXPECT_TRUE(editor.windowTitle().contains("(2:5020/77)"));
}

TEST_F(MailerFormsTest, MailerWindowLightsTheLineLedsAndPlaysWhileItCalls) {
  std::unique_ptr<FakeModem> modem;
  TMailer* profile = PrepareCall(modem);
  TMailerForm form(*profile, *config);
  form.SelectDevice("Line");
  form.show();
  for (TALed* led : form.Leds) {
    EXPECT_FALSE(led->Value());
    EXPECT_FALSE(led->Blink());
    EXPECT_EQ(led->TrueColor(), QColor(0, 0xBB, 0));
  }
  EXPECT_FALSE(form.Animate->IsPlaying());
  ASSERT_NE(form.HangupItem, nullptr);
  EXPECT_FALSE(form.HangupItem->Enabled());  // the abort button

  form.Session().ResetRedial();
  ASSERT_TRUE(form.Session().PollAddress("2:5020/1042")) << form.Session().Error();
  // Seen at some time during the call: the lights a pty gives (CTS, DSR,
  // CD), the busy sign and the abort button.
  bool lit[6] = {}, played = false, abortable = false;
  dispatcher.RunUntil(
      [&] {
        if (!lit[1] && form.Leds[1]->Value()) Shot(form, "MailerFormInACall");
        for (int i = 0; i < 6; ++i) lit[i] = lit[i] || form.Leds[i]->Value();
        played = played || form.Animate->IsPlaying();
        abortable = abortable || form.HangupItem->Enabled();
        return form.Session().Finished() && form.Device().IsIdle();
      },
      kPatience * 2);
  EXPECT_TRUE(form.Session().Completed()) << form.LogMemo->toPlainText().toStdString();
  EXPECT_TRUE(lit[0]);   // DSR
  EXPECT_TRUE(lit[1]);   // CD
  EXPECT_TRUE(lit[2]);   // CTS
  EXPECT_FALSE(lit[3]);  // RING
  EXPECT_TRUE(played);
  EXPECT_TRUE(abortable);
  Shot(form, "MailerForm");
  // After the call: dark, still, not abortable.
  for (TALed* led : form.Leds) EXPECT_FALSE(led->Value());
  EXPECT_FALSE(form.Animate->IsPlaying());
  EXPECT_FALSE(form.HangupItem->Enabled());
  SetTapiDebugLogPath("");
}

TEST_F(MailerFormsTest, MailerWindowShowsWhyTheLastCallFailed) {
  SetTapiDebugLogPath(dir / "cmdebug.txt");
  TNetLink* link = config->Uplinks().GetItem(0);
  link->UplinkAddress.SetText("2:5020/1042");
  link->SysopAddress.SetText("2:5020/1042.7");
  link->SessionPassword = "pw";
  TMailer* profile = profiles->AddMailer(*config);
  TMailBox* box = AddBox("Boss", "2:5020/1042");
  box->Numbers = {"555-1234"};
  box->Command = profile->Name();
  platform::MakeDirs(dir / "peer-in");
  // Each failed call leaves the window idle: still, the outbound in sight,
  // nothing to hang up.
  const struct {
    const char* what;
    std::vector<std::string> modem;  // empty: no modem behind the line
    std::string status, logged;
  } rows[] = {
      {"the remote refuses the password",
       {"--peer", CommandWord(EMSIPEER) + " --inbound " + CommandWord(dir / "peer-in") +
                      " --password other --log " + CommandWord(dir / "peer.log")},
       "Ready - Session password refused by the remote",
       "TAPI Connection closed"},
      {"the line device does not open", {}, "Ready", "DERR Could not open the line device Line"},
      {"the modem does not answer",
       {"--answer", "silent"},
       "Ready",
       "TAPI Could not establish connection"},
      {"the modem finds no carrier",
       {"--dial", "NO CARRIER"},
       "Ready",
       "TAPI Connection attempt aborted"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::unique_ptr<FakeModem> modem;
    if (!r.modem.empty()) modem = std::make_unique<FakeModem>(dir, r.modem);
    config->SettingsModel().SetLines(SettingId::ModemLines,
                                     {"Line=" + (modem ? modem->Link() : dir / "no-such-modem")});
    TMailerForm form(*profile, *config);
    form.SelectDevice("Line");
    form.Session().ResetRedial();
    ASSERT_TRUE(form.Session().PollAddress("2:5020/1042")) << form.Session().Error();
    dispatcher.RunUntil([&] { return form.Session().Finished() && form.Device().IsIdle(); },
                        kPatience * 2);
    EXPECT_EQ(form.StatusLabel->text().toStdString(), r.status);
    EXPECT_TRUE(form.LogMemo->toPlainText().contains(QString::fromStdString(r.logged)))
        << form.LogMemo->toPlainText().toStdString();
    EXPECT_FALSE(form.Animate->IsPlaying());
    EXPECT_TRUE(form.OutboundList->isVisibleTo(&form));
    EXPECT_FALSE(form.HangupBtn->isEnabled());
  }
  SetTapiDebugLogPath("");
}

TEST_F(MailerFormsTest, FileRequestEditorKeepsItsPlaceAndTheFileListFont) {
  platform::SetRegistry(config.registry.get());
  QRect placed;
  {
    TFileReqEditor editor(*config);
    editor.show();
    editor.move(120, 90);
    editor.resize(640, 420);
    placed = editor.geometry();
    editor.close();
  }
  {
    TFileReqEditor editor(*config);
    editor.show();
    EXPECT_EQ(editor.geometry(), placed);
    EXPECT_EQ(editor.FileListBox->font().family(), "Monospace");  // the default setting
    config->SettingsModel().SetText(SettingId::mrFl, "Courier New,14,1");
    EXPECT_EQ(editor.FileListBox->font().family(), "Courier New");
    EXPECT_EQ(editor.FileListBox->font().pointSize(), 14);
    EXPECT_TRUE(editor.FileListBox->font().bold());
    Shot(editor, "FileReqEditor");
  }
  platform::SetRegistry(nullptr);
}

TEST_F(MailerFormsTest, MailerWindowShowsTheOutboundAndTheLog) {
  TMailer* profile = profiles->AddMailer(*config);
  TMailerForm form(*profile, *config);
  ExpectParts<QAction>(form, {"mitMailbox1", "HangupBtn", "RescanBtn", "Entfernen1", "Verbergen1",
                              "Mailer2", "MnPD"});
  ExpectParts<QWidget>(form, {"OutboundList", "LogMemo", "StatusLabel", "LedCD", "LedRxD"});
  dir.Write("out.pkt", "packet");
  platform::MakeDirs(config->Values()->OutboundDir());
  platform::WriteFileAtomic(config->Values()->OutboundDir() + "139C0412.flo",
                            dir / "out.pkt" + "\r\n");
  form.RescanBtn->trigger();
  ASSERT_EQ(form.OutboundList->topLevelItemCount(), 1);
  EXPECT_EQ(form.OutboundList->topLevelItem(0)->text(1), "2:5020/1042");
  EXPECT_TRUE(form.LogMemo->toPlainText().contains("STRT Mailer started"));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The log follows its lines; scrolled up by the user, it stays there.
  for (int i = 0; i < 40; ++i) form.Session().AddLogLine("TEST Line " + std::to_string(i));
  QApplication::processEvents();  // the scroll bar comes with the lines
  QScrollBar* logBar = form.LogMemo->verticalScrollBar();
  EXPECT_EQ(logBar->value(), logBar->maximum());
  const QPoint pageUp(logBar->width() / 2, logBar->width() + 4);  // above the handle
  QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, logBar->mapTo(&form, pageUp));
  const int scrolled = logBar->value();
  EXPECT_LT(scrolled, logBar->maximum());
  form.Session().AddLogLine("TEST One more");
  EXPECT_EQ(logBar->value(), scrolled);
  form.OutboundList->setCurrentItem(form.OutboundList->topLevelItem(0));
  prompter.Script({platform::mbYes});
  form.Entfernen1->trigger();  // out of the list, the file stays
  EXPECT_EQ(form.OutboundList->topLevelItemCount(), 0);
  EXPECT_TRUE(platform::FileExists(dir / "out.pkt"));
  EXPECT_EQ(prompter.Questions().back().text,
            "Are you sure  you want to remove the file out.pkt from the list of files to be "
            "transferred to 2:5020/1042 ?");
  form.SetCaption("Mailer - X");
  EXPECT_EQ(form.windowTitle(), "Mailer - X");
  const int listed = WinLst().IndexOfObject(&form);
  ASSERT_GE(listed, 0);
  EXPECT_EQ(WinLst().GetString(listed), "Mailer - X");
  prompter.Script({platform::mbOk});
  form.HangupBtnClick();  // idle: told so
  EXPECT_EQ(prompter.Questions().back().text, "Mailer is already inactive");
}

TEST_F(MailerFormsTest, FileRequestEditorMenuAddressButtonAndSettingsPages) {
  AddBox("Station", "2:5020/1042");
  TFileReqEditor editor(*config);
  editor.show();
  std::vector<QAction*> inMenus;
  for (QAction* top : editor.menuBar()->actions())
    for (QAction* a : top->menu()->actions()) inMenus.push_back(a);
  for (QAction* a :
       {editor.NewRequest, editor.ChooseSystem, editor.RequestIt, editor.SaveAndClose,
        editor.ImmediateRequest, editor.LoadRequestAction, editor.RecoverAction,
        editor.SearchAction, editor.SearchAgain, editor.Calibrate, editor.DeleteLine,
        editor.ClearAll, editor.LoadFileList, editor.MailboxProperties, editor.CloseWithoutSaving,
        editor.SettingsAction, editor.UplinksAction, editor.MailboxesAction, editor.DisplayAction})
    EXPECT_NE(std::find(inMenus.begin(), inMenus.end(), a), inMenus.end())
        << a->objectName().toStdString();

  // The address field's button chooses the system without loading its request.
  std::string caption;
  SetModalHook([&](QWidget* w) {
    caption = w->windowTitle().toStdString();
    auto* list = w->findChild<QListWidget*>("BBSList");
    EXPECT_NE(list, nullptr);
    if (!list) return int(QDialog::Rejected);
    list->setCurrentRow(0);
    w->findChild<QPushButton*>("BtnOk")->click();
    return int(QDialog::Accepted);
  });
  editor.BtnChooseSystem->click();
  SetModalHook(nullptr);
  EXPECT_EQ(caption, "Request files from");
  EXPECT_EQ(editor.EdAddress->text(), "2:5020/1042");
  EXPECT_TRUE(editor.windowTitle().startsWith("Station(2:5020/1042)"))
      << editor.windowTitle().toStdString();
  Shot(editor, "FileReqEditorMenu");

  struct RecordingShell : TShellServices {
    std::vector<std::string> pages;
    void ShowSettingsPage(const std::string& page) override { pages.push_back(page); }
  } shell;
  SetShellServices(&shell);
  for (QAction* a :
       {editor.SettingsAction, editor.UplinksAction, editor.MailboxesAction, editor.DisplayAction})
    a->trigger();
  SetShellServices(nullptr);
  EXPECT_EQ(shell.pages,
            (std::vector<std::string>{"", "TabVerbindungen", "TabMailboxen", "TabAnzeige"}));

  // Closing without saving writes nothing.
  editor.AddRequestLine("FILES");
  editor.CloseWithoutSaving->trigger();
  EXPECT_FALSE(editor.isVisible());
  EXPECT_FALSE(platform::FileExists(config->Values()->OutboundDir() + "139C0412.req"));
}

TEST_F(MailerFormsTest, MailerWindowMenuViewStylesSettingsPagesHelpAndEntryPopup) {
  TMailer* profile = profiles->AddMailer(*config);
  TMailerForm form(*profile, *config);
  ExpectParts<QAction>(form, {"NOde1", "GroeSymbole1", "KleineSymbole1", "Liste1", "Details1",
                              "Verbindungen1", "Mailboxen1", "Hilfe1", "Hilfethemen1"});
  // Every command is reachable from the menu bar.
  std::vector<QAction*> inMenus;
  for (QAction* top : form.MainMenu->actions())
    for (QAction* a : top->menu()->actions()) inMenus.push_back(a);
  for (QAction* a : {form.NOde1, form.mitMailbox1, form.HangupBtn, form.RescanBtn, form.Entfernen1,
                     form.Verbergen1, form.Mailer2, form.MnPD, form.GroeSymbole1,
                     form.KleineSymbole1, form.Liste1, form.Details1, form.Verbindungen1,
                     form.Mailboxen1, form.Hilfe1, form.Hilfethemen1})
    EXPECT_NE(std::find(inMenus.begin(), inMenus.end(), a), inMenus.end())
        << a->objectName().toStdString();
  dir.Write("out.pkt", "packet");
  platform::MakeDirs(config->Values()->OutboundDir());
  platform::WriteFileAtomic(config->Values()->OutboundDir() + "139C0412.flo",
                            dir / "out.pkt" + "\r\n");
  form.show();
  form.RescanBtn->trigger();
  ASSERT_EQ(form.OutboundList->topLevelItemCount(), 1);

  struct Style {
    QAction* action;
    bool report;
    QListView::ViewMode mode;
    QListView::Flow flow;
    const char* shot;
  };
  const Style styles[] = {
      {form.GroeSymbole1, false, QListView::IconMode, QListView::LeftToRight, "MailerLargeIcons"},
      {form.KleineSymbole1, false, QListView::ListMode, QListView::LeftToRight, "MailerSmallIcons"},
      {form.Liste1, false, QListView::ListMode, QListView::TopToBottom, "MailerList"},
      {form.Details1, true, QListView::ListMode, QListView::TopToBottom, "MailerDetails"},
  };
  for (const Style& s : styles) {
    SCOPED_TRACE(s.shot);
    s.action->trigger();
    EXPECT_TRUE(s.action->isChecked());
    EXPECT_EQ(form.OutboundList->isVisible(), s.report);
    EXPECT_EQ(form.OutboundIcons->isVisible(), !s.report);
    if (!s.report) {
      EXPECT_EQ(form.OutboundIcons->viewMode(), s.mode);
      EXPECT_EQ(form.OutboundIcons->flow(), s.flow);
      EXPECT_EQ(form.OutboundIcons->model()->rowCount(), 1);
    }
    QCoreApplication::processEvents();
    Shot(form, s.shot);
  }

  // A right click on the entry in either view makes it current and pops the
  // entry menu up at the middle of its caption.
  for (QAction* style : {form.GroeSymbole1, form.Details1}) {
    style->trigger();
    form.OutboundList->setCurrentItem(nullptr);
    QAbstractItemView* view = style == form.Details1
                                  ? static_cast<QAbstractItemView*>(form.OutboundList)
                                  : static_cast<QAbstractItemView*>(form.OutboundIcons);
    const QModelIndex entry = view->model()->index(0, 0);
    const QPoint at = view->visualRect(entry).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &click);
    EXPECT_EQ(form.OutboundList->currentItem(), form.OutboundList->topLevelItem(0));
    EXPECT_TRUE(form.EntryPopup->isVisible());
    EXPECT_EQ(form.EntryPopup->pos(), view->viewport()->mapToGlobal(at));
    EXPECT_TRUE(form.EntryPopup->actions().contains(form.Entfernen1));
    if (style == form.Details1) Shot(*form.EntryPopup, "MailerEntryPopup");
    form.EntryPopup->hide();
  }
  // A right click beside the entries pops nothing up.
  QContextMenuEvent beside(QContextMenuEvent::Mouse,
                           QPoint(5, form.OutboundList->viewport()->height() - 5), QPoint(0, 0));
  QApplication::sendEvent(form.OutboundList->viewport(), &beside);
  EXPECT_FALSE(form.EntryPopup->isVisible());

  struct RecordingShell : TShellServices {
    std::vector<std::string> pages;
    void ShowSettingsPage(const std::string& page) override { pages.push_back(page); }
  } shell;
  SetShellServices(&shell);
  form.Verbindungen1->trigger();
  form.Mailboxen1->trigger();
  SetShellServices(nullptr);
  EXPECT_EQ(shell.pages, (std::vector<std::string>{"TabVerbindungen", "TabMailboxen"}));
  form.Hilfe1->trigger();
  EXPECT_EQ(platform::LastHelpContext(), platform::kHelpMailer);
  form.Hilfethemen1->trigger();
  EXPECT_EQ(platform::LastHelpContext(), platform::kHelpContents);
}

}  // namespace
}  // namespace velmaris::test

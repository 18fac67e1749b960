// The file request editor as one of the program's windows: its line in the
// window list and its window-list box, the search with its find dialog, the
// status texts while a file list loads, and the address it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "MailerFormsFixture.h"
#include "core/WinLst.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/MailboxDialogs.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "widgets/ModalHook.h"

namespace velmaris::test {
namespace {

using FileReqEditorWindowTest = MailerFormsFixture;

// Another window of the program, as the window list holds them.
struct ListedWindow : QWidget, TObject {};

int Listed(const TObject* window) { return WinLst().IndexOfObject(window); }

// Answers the find dialog with the text and the match-case switch.
void AnswerFind(const QString& text, bool matchCase) {
  SetModalHook([text, matchCase](QWidget* w) {
    auto* edit = w->findChild<QLineEdit*>("EdFind");
    auto* box = w->findChild<QCheckBox*>("CbMatchCase");
    EXPECT_EQ(w->objectName(), "FindDialog");
    if (!edit || !box) return int(QDialog::Rejected);
    edit->setText(text);
    box->setChecked(matchCase);
    return int(QDialog::Accepted);
  });
}

int CurrentLine(TFileReqEditor& editor) { return editor.FileListBox->currentIndex().row(); }

// A file list in CP866, the OEM code page that the settings convert to ANSI.
std::string OemList(const char* utf8) {
  return platform::FromUtf8(utf8, platform::CodePage::CP866);
}

TEST_F(FileReqEditorWindowTest, ListedWhileShownUnderItsCaptionWithAWindowListBox) {
  const int before = WinLst().GetCount();
  ListedWindow other;
  WinLst().Add("Other", &other);
  {
    TFileReqEditor editor(*config);
    EXPECT_LT(Listed(&editor), 0);  // created, not shown
    editor.show();
    const int entry = Listed(&editor);
    ASSERT_GE(entry, 0);
    EXPECT_EQ(WinLst().GetString(entry), "(0:8/15) - No file list loaded !");
    // The caption and the entry change together.
    editor.LoadMailText("a.zip\r\n");
    EXPECT_EQ(WinLst().GetString(Listed(&editor)), "(0:8/15): Mailtext with 1 lines, 7 bytes");

    // The box lists the windows; a double click brings one forward.
    ASSERT_EQ(editor.WList->count(), WinLst().GetCount());
    const int row = Listed(&other);
    EXPECT_EQ(editor.WList->item(row)->text(), "Other");
    EXPECT_FALSE(other.isVisible());
    editor.WList->setCurrentRow(row);
    emit editor.WList->itemDoubleClicked(editor.WList->item(row));
    EXPECT_TRUE(other.isVisible());

    editor.hide();
    EXPECT_LT(Listed(&editor), 0);
    editor.show();  // listed once again
  }
  // Gone with the window.
  EXPECT_EQ(WinLst().GetCount(), before + 1);
  WinLst().Remove(&other);
}

TEST_F(FileReqEditorWindowTest, FindHonoursMatchCaseAndWrapsOnYes) {
  TFileReqEditor editor(*config);
  editor.show();
  editor.LoadMailText("Area TOOLS\r\nunzip.zip Tools\r\nTOOLS.ZIP\r\nother.arj\r\n" +
                      OemList("ТЕСТ.ZIP Русские тексты\r\n"));
  struct Case {
    const char* text;
    bool matchCase;
    int current;      // before the search
    unsigned answer;  // to "End of file reached", 0 when not asked
    int found;
  } cases[] = {
      {"tools", false, -1, 0, 0},
      {"tools", false, 0, 0, 1},
      {"TOOLS", true, 0, 0, 2},
      {"Tools", true, -1, 0, 1},
      {"tools", true, -1, platform::mbNo, -1},
      {"TOOLS", true, 2, platform::mbYes, 0},
      {"русские", false, -1, 0, 4},  // typed in Unicode, found in the OEM list
      {"Русские", true, 0, 0, 4},
      {"РУССКИЕ", true, 0, platform::mbNo, -1},
      {"tools", false, 3, platform::mbNo, -1},  // stays where it was
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.current));
    editor.FileListBox->setCurrentIndex(editor.FileListBox->model()->index(c.current, 0));
    if (c.answer) prompter.Script({static_cast<platform::MsgButton>(c.answer)});
    const size_t asked = prompter.Questions().size();
    AnswerFind(c.text, c.matchCase);
    editor.SearchAction->trigger();
    EXPECT_EQ(CurrentLine(editor), c.found < 0 ? c.current : c.found);
    ASSERT_EQ(prompter.Questions().size() - asked, c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(prompter.Questions().back().text,
                "End of file reached !Do you want tocontinue from start?");
    }
  }
  // The dialog offers the last text and switch again; search again uses them.
  SetModalHook([](QWidget* w) {
    EXPECT_EQ(w->findChild<QLineEdit*>("EdFind")->text(), "tools");
    EXPECT_FALSE(w->findChild<QCheckBox*>("CbMatchCase")->isChecked());
    return int(QDialog::Rejected);
  });
  editor.SearchAction->trigger();
  editor.FileListBox->setCurrentIndex(editor.FileListBox->model()->index(0, 0));
  editor.SearchAgain->trigger();
  EXPECT_EQ(CurrentLine(editor), 1);
  Shot(editor, "FileReqEditorFound");
}

TEST_F(FileReqEditorWindowTest, ALinePickedFromAnOemListShowsReadableAndIsRequestedInItsBytes) {
  TFileReqEditor editor(*config);
  editor.SetMailBox(*AddBox("Boss", "2:5020/1042"));
  editor.LoadMailText(OemList("Файлы для Вас\r\n  ТЕСТ.ZIP  Русские тексты\r\n"));
  editor.resize(760, 480);
  editor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
  const QRect row = editor.FileListBox->visualRect(editor.FileListBox->model()->index(1, 0));
  QTest::mouseDClick(editor.windowHandle(), Qt::LeftButton, {},
                     editor.FileListBox->viewport()->mapTo(&editor, row.center()));
  ASSERT_EQ(editor.RequestList->count(), 1);
  EXPECT_EQ(editor.RequestList->item(0)->text(), "ТЕСТ.ZIP  Русские тексты");
  Shot(editor, "FileReqEditorRussian");
  prompter.Script({platform::mbOk});
  editor.RequestItClick();
  EXPECT_EQ(platform::ReadFile(config->Values()->OutboundDir() + "139C0412.req"),
            OemList("ТЕСТ.ZIP\r\n"));
}

// The code page file lists are in: OEM (CP866 or CP437) when they are shown
// converted to ANSI, else ANSI (CP1251).
struct ListPageSetting {
  const char* name;
  bool toAnsi;
  int oemChoice;  // 0 CP866, 1 CP437
  platform::CodePage page;
};
constexpr ListPageSetting kListPages[] = {
    {"CP866", true, 0, platform::CodePage::CP866},
    {"CP1251", false, 0, platform::CodePage::CP1251},
    {"CP437", true, 1, platform::CodePage::CP437},
};

// Sets the file lists' page for the test; the defaults come back with it.
class ListPageScope {
 public:
  ListPageScope(TConfigStore& store, const ListPageSetting& s) : store_(store) {
    store_.SettingsModel().SetChecked(SettingId::FLToAnsI, s.toAnsi);
    store_.SettingsModel().SetNumber(SettingId::CbOemCodePage, s.oemChoice);
  }
  ~ListPageScope() {
    store_.SettingsModel().SetChecked(SettingId::FLToAnsI, true);
    store_.SettingsModel().SetNumber(SettingId::CbOemCodePage, 0);
  }

 private:
  TConfigStore& store_;
};

void Select(QPlainTextEdit* memo, int start, int length) {
  QTextCursor cursor = memo->textCursor();
  cursor.setPosition(start);
  cursor.setPosition(start + length, QTextCursor::KeepAnchor);
  memo->setTextCursor(cursor);
}

TEST_F(FileReqEditorWindowTest, AreaNamesAndTheCalibratorReadInTheListsCodePage) {
  const struct {
    ListPageSetting setting;
    const char* indicator;
    const char* first;
    const char* second;
  } cases[] = {
      {kListPages[0], "Область:", "Утилиты", "Игры"},
      {kListPages[1], "Область:", "Утилиты", "Игры"},
      {kListPages[2], "Région:", "Café Utilités", "Jeux"},
  };
  TMailBox* box = AddBox("Boss", "2:5020/1042");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting.name);
    const ListPageScope scope(*config, c.setting);
    const QString indicator = QString::fromUtf8(c.indicator);
    const QString first = QString::fromUtf8(c.first), second = QString::fromUtf8(c.second);
    const QStringList lines = {indicator + " " + first, "  util.zip  x",
                               indicator + " " + second, "  game.zip"};
    TFileReqEditor editor(*config);
    editor.SetMailBox(*box);
    editor.LoadMailText(platform::FromUtf8((lines.join("\r\n") + "\r\n").toStdString(),
                                           c.setting.page));
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    EXPECT_EQ(editor.FileListBox->model()->index(0, 0).data().toString(), lines[0]);

    // Calibrated on the first line: the memo reads as the list does, and the
    // indicator is kept in the list's bytes, so the scan finds it.
    editor.FileListBox->setCurrentIndex(editor.FileListBox->model()->index(0, 0));
    QString memo;
    SetModalHook([&](QWidget* w) {
      auto* calibrator = qobject_cast<TASCalibrator*>(w);
      if (!calibrator) return int(QDialog::Rejected);
      memo = calibrator->Memo->toPlainText();
      Select(calibrator->Memo, static_cast<int>(indicator.size()) + 1,
             static_cast<int>(first.size()));
      calibrator->NextClick();
      Select(calibrator->Memo, 0, static_cast<int>(indicator.size()));
      calibrator->NextClick();
      return calibrator->result();
    });
    editor.Calibrate->trigger();
    EXPECT_EQ(memo, lines.mid(0, 3).join('\n'));
    EXPECT_EQ(editor.MailBox().AreaIndicator, platform::FromUtf8(c.indicator, c.setting.page));
    ASSERT_EQ(editor.AreaList->count(), 2);
    EXPECT_EQ(editor.AreaList->item(0)->text(), first);
    EXPECT_EQ(editor.AreaList->item(1)->text(), second.left(first.size()));
    Shot(editor, (std::string("FileReqEditorAreas") + c.setting.name).c_str());

    // A click on an area still goes to its line.
    const QRect row = editor.AreaList->visualItemRect(editor.AreaList->item(1));
    QTest::mouseClick(editor.windowHandle(), Qt::LeftButton, {},
                      editor.AreaList->viewport()->mapTo(&editor, row.center()));
    EXPECT_EQ(CurrentLine(editor), 2);
  }
}

TEST_F(FileReqEditorWindowTest, TypedNamesGoIntoTheRequestInTheListsPageOrNotAtAll) {
  const struct {
    ListPageSetting setting;
    const char* typed;
    const char* shown;   // read back from the request file
    const char* bytes;   // the request file's line; nullptr when refused
  } cases[] = {
      {kListPages[0], "Утилиты.zip", "Утилиты.zip", "\x93\xe2\xa8\xab\xa8\xe2\xeb.zip"},
      {kListPages[1], "Утилиты.zip", "Утилиты.zip", "\xd3\xf2\xe8\xeb\xe8\xf2\xfb.zip"},
      {kListPages[2], "café.zip !пароль", nullptr, nullptr},  // no Cyrillic in CP437
      {kListPages[2], "café.zip", "café.zip", "caf\x82.zip"},
      {kListPages[0], "«Тест».zip", nullptr, nullptr},  // no « in CP866
      {kListPages[0], "и\xcc\x86гры.zip !секрет", "йгры.zip !секрет",  // и and a breve
       "\xa9\xa3\xe0\xeb.zip !\xe1\xa5\xaa\xe0\xa5\xe2"},
      {kListPages[0], "  FILES  ", "FILES", "FILES"},
  };
  TMailBox* box = AddBox("Boss", "2:5020/1042");
  const std::string req = config->Values()->OutboundDir() + "139C0412.req";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.setting.name) + " " + c.typed);
    const ListPageScope scope(*config, c.setting);
    TFileReqEditor editor(*config);
    editor.SetMailBox(*box);
    editor.ClearAllClick();
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.EdNewName->setText(QString::fromUtf8(c.typed));
    const size_t asked = prompter.Questions().size();
    if (!c.bytes) prompter.Script({platform::mbOk});
    editor.EdNewName->setFocus();
    QTest::keyClick(editor.windowHandle(), Qt::Key_Return);
    if (!c.bytes) {
      // Refused, said so, and left in the field to be mended.
      ASSERT_EQ(prompter.Questions().size(), asked + 1);
      EXPECT_EQ(prompter.Questions().back().text,
                std::string("The name holds characters that the file list's code page ") +
                    c.setting.name + " cannot hold. It was not added to the request.");
      EXPECT_EQ(editor.RequestList->count(), 0);
      EXPECT_EQ(editor.EdNewName->text(), QString::fromUtf8(c.typed));
      continue;
    }
    EXPECT_EQ(prompter.Questions().size(), asked);
    EXPECT_TRUE(editor.EdNewName->text().isEmpty());
    ASSERT_TRUE(editor.WriteRequest());
    EXPECT_EQ(platform::ReadFile(req), std::string(c.bytes) + "\r\n");
    // The pending request loaded back reads as it was typed.
    editor.LoadRequestAction->trigger();
    ASSERT_EQ(editor.RequestList->count(), 1);
    EXPECT_EQ(editor.RequestList->item(0)->text(), QString::fromUtf8(c.shown));
  }
}

TEST_F(FileReqEditorWindowTest, SearchTextGoesStraightIntoTheListsPage) {
  // A CP437 list: é and É are there, not in the ANSI page (CP1251).
  const ListPageScope scope(*config, kListPages[2]);
  TFileReqEditor editor(*config);
  editor.show();
  editor.LoadMailText(platform::FromUtf8("a.zip Tools\r\nb.zip Café crème\r\n",
                                         platform::CodePage::CP437));
  const struct {
    const char* text;
    int found;
  } cases[] = {{"CAFÉ", 1}, {"crème", 1}, {"Кафе", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    editor.FileListBox->setCurrentIndex({});
    if (c.found < 0) prompter.Script({platform::mbNo});  // "End of file reached"
    AnswerFind(QString::fromUtf8(c.text), false);
    editor.SearchAction->trigger();
    EXPECT_EQ(CurrentLine(editor), c.found);
  }
}

TEST_F(FileReqEditorWindowTest, APendingRequestOfMixedLinesShowsFromTheListsPageAndKeepsItsBytes) {
  TMailBox* box = AddBox("Boss", "2:5020/1042");
  const std::string req = config->Values()->OutboundDir() + "139C0412.req";
  // Picked and typed names in CP866, a magic name, a password, and a line an
  // older version wrote in CP1251.
  const std::string file = OemList("Утилиты.zip\r\nFILES\r\nx.zip !пароль\r\n") +
                           platform::FromUtf8("Игры.zip\r\n", platform::CodePage::CP1251);
  platform::MakeDirs(config->Values()->OutboundDir());
  platform::WriteFileAtomic(req, file);
  TFileReqEditor editor(*config);
  editor.SetMailBox(*box);
  ASSERT_EQ(editor.RequestList->count(), 4);
  EXPECT_EQ(editor.RequestList->item(0)->text(), "Утилиты.zip");
  EXPECT_EQ(editor.RequestList->item(1)->text(), "FILES");
  EXPECT_EQ(editor.RequestList->item(2)->text(), "x.zip !пароль");
  // Saved again unchanged: the same bytes, the CP1251 line too.
  ASSERT_TRUE(editor.WriteRequest());
  EXPECT_EQ(platform::ReadFile(req), file);
  // In an ANSI list's setting the same file reads from CP1251.
  const ListPageScope scope(*config, kListPages[1]);
  editor.LoadRequestAction->trigger();
  ASSERT_EQ(editor.RequestList->count(), 4);
  EXPECT_EQ(editor.RequestList->item(3)->text(), "Игры.zip");
}

TEST_F(FileReqEditorWindowTest, LongSearchShowsItsCaptionAndKeepsTheWindowServed) {
  TFileReqEditor editor(*config);
  editor.show();
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "file" + std::to_string(i) + ".zip  some description\r\n";
  text += "wanted.zip\r\n";
  editor.LoadMailText(text);
  const QString caption = editor.windowTitle();
  QStringList captions;
  QObject::connect(&editor, &QWidget::windowTitleChanged,
                   [&](const QString& title) { captions << title; });
  // A timer of the event loop fires while the search runs.
  int served = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { served += editor.Searching(); });
  timer.start(0);
  AnswerFind("WANTED", false);
  editor.SearchAction->trigger();
  EXPECT_EQ(CurrentLine(editor), 20000);
  EXPECT_GT(served, 0);
  ASSERT_FALSE(captions.isEmpty());
  EXPECT_EQ(captions.front(), "Searching \"WANTED\" ...");
  EXPECT_EQ(editor.windowTitle(), caption);

  // A file list loaded while the search runs ends it where it is.
  timer.stop();
  QTimer reload;
  QObject::connect(&reload, &QTimer::timeout, [&] {
    if (editor.Searching()) editor.LoadMailText("new.zip\r\n");
  });
  reload.start(0);
  editor.FileListBox->setCurrentIndex({});
  editor.SearchAgain->trigger();
  EXPECT_FALSE(editor.Searching());
  EXPECT_EQ(editor.FileList().Count(), 1);
  EXPECT_EQ(CurrentLine(editor), -1);
}

TEST_F(FileReqEditorWindowTest, LoadingAndScanningAreShownInTheStatusLine) {
  TFileReqEditor editor(*config);
  editor.show();
  QStringList texts;
  QObject::connect(editor.statusBar(), &QStatusBar::messageChanged,
                   [&](const QString& text) { texts << text; });
  dir.Write("files.txt", "Area: 1\r\nfile.zip\r\n");
  const QString name = QString::fromStdString(dir / "files.txt");
  editor.SetFileName(dir / "files.txt");
  EXPECT_EQ(texts, (QStringList{"Loading " + name + " ...", "Creating index fo " + name + " ...",
                                "Scanne for Areas ...", ""}));
  // A file that cannot be opened: loading, then the message.
  texts.clear();
  prompter.Script({platform::mbOk});
  editor.SetFileName(dir / "missing.txt");
  ASSERT_FALSE(texts.isEmpty());
  EXPECT_EQ(texts.front(), "Loading " + QString::fromStdString(dir / "missing.txt") + " ...");
  EXPECT_FALSE(
      texts.contains("Creating index fo " + QString::fromStdString(dir / "missing.txt") + " ..."));
  EXPECT_EQ(prompter.Questions().back().text,
            "File \"" + (dir / "missing.txt") + "\" could not beaopened !");
}

// The areas and their title follow the mailbox chosen, whether its list is
// loaded anew, is the list already shown, or is not loaded (the address
// field's button keeps the list shown).
TEST_F(FileReqEditorWindowTest, AreasFollowTheChosenMailboxsIndicatorOverTheListShown) {
  dir.Write("list.txt", "Area: 1\n  UTILS   Utilities\n   util.zip  A tool\n");
  TMailBox* plain = AddBox("Plain", "2:5020/1");
  plain->FileList = dir / "list.txt";
  TMailBox* marked = AddBox("Marked", "2:5020/2");
  marked->FileList = dir / "list.txt";
  marked->AreaIndicator = "Area:";
  marked->AreaLine = 1;
  marked->AreaColumn = 3;
  marked->AreaSize = 6;
  struct Case {
    const char* how;
    TMailBox* from;
    TMailBox* to;
    const char* title;
    int areas;
  };
  const Case cases[] = {
      {"NewRequest", plain, marked, "  Areas: 1", 1},
      {"NewRequest", marked, plain, "  No area indicator defined !", 0},
      {"BtnChooseSystem", plain, marked, "  Areas: 1", 1},
      {"BtnChooseSystem", marked, plain, "  No area indicator defined !", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.how) + " " + c.to->Name);
    TFileReqEditor editor(*config);
    editor.SetMailBox(*c.from);
    ASSERT_EQ(editor.AreaList->count(), c.areas ? 0 : 1);
    SetModalHook([&](QWidget* w) {
      auto* list = w->findChild<QListWidget*>("BBSList");
      EXPECT_NE(list, nullptr);
      if (!list) return int(QDialog::Rejected);
      const auto rows = list->findItems(QString::fromStdString(c.to->Name), Qt::MatchExactly);
      EXPECT_EQ(rows.size(), 1);
      if (rows.size() != 1) return int(QDialog::Rejected);
      list->setCurrentItem(rows.front());
      w->findChild<QPushButton*>("BtnOk")->click();
      return int(QDialog::Accepted);
    });
    if (std::string(c.how) == "NewRequest") {
      editor.NewRequest->trigger();
    } else {
      editor.BtnChooseSystem->click();
    }
    SetModalHook(nullptr);
    EXPECT_EQ(editor.MailBox().Name, c.to->Name);
    EXPECT_EQ(editor.AreaTitle->text(), c.title);
    EXPECT_EQ(editor.AreaList->count(), c.areas);
  }
}

TEST_F(FileReqEditorWindowTest, AddressFieldAndCaptionShowTheSameAddress) {
  TFileReqEditor editor(*config);
  editor.show();
  // Before any choice: the editor's own mailbox.
  EXPECT_EQ(editor.EdAddress->text(), "0:8/15");
  EXPECT_TRUE(editor.windowTitle().startsWith("(0:8/15)")) << editor.windowTitle().toStdString();
  struct Typed {
    const char* text;
    const char* shown;
  } typed[] = {
      {"2:5020/1042.0", "2:5020/1042"},
      {"not an address", "2:5020/1042"},  // kept
      {"", "2:5020/1042"},
      {"1:2/3.4", "1:2/3.4"},
  };
  for (const Typed& t : typed) {
    editor.EdAddress->setText(t.text);
    editor.AddressExit();
    EXPECT_EQ(editor.EdAddress->text(), t.shown) << t.text;
    EXPECT_TRUE(editor.windowTitle().startsWith(QString("(") + t.shown + ")")) << t.text;
  }
}

TEST_F(FileReqEditorWindowTest, AtItsFirstSizeTheToolBarsShowEveryButton) {
  TFileReqEditor editor(*config);
  editor.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
  Shot(editor, "FileReqEditorFirstSize");
  for (QToolBar* bar : editor.findChildren<QToolBar*>())
    for (QAction* action : bar->actions())
      EXPECT_TRUE(bar->widgetForAction(action)->isVisible()) << action->objectName().toStdString();
}

}  // namespace
}  // namespace velmaris::test

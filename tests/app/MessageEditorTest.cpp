// The message editor offscreen: a message typed with keys and saved, the
// stored bytes; a save that fails; closing with unsaved text; the keys of
// the text.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "AppFixture.h"
#include "BarButtons.h"
#include "app/MessageEditor.h"
#include "app/logic/ConfigSession.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/TextHelpers.h"
#include "platform/Files.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "support/NameTable.h"
#include "widgets/DirBtn.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"
#include "widgets/VxGraphics.h"
#include "widgets/VxSpeedButton.h"

namespace velmaris::test {
namespace {

// Types the text key by key; characters without a key of their own arrive as
// key presses carrying the text, as an input method sends them.
void Type(QWidget* widget, const QString& text) {
  for (const QChar ch : text) {
    if (ch.unicode() < 128) {
      QTest::keyClick(widget, ch.toLatin1());
      continue;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }
}

class MessageEditorTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    session = std::make_unique<TConfigSession>(dir.Path(), dir / "Velmaris.reg");
    session->Load();
    TConfigStore& store = session->Store();
    TNetLink* uplink = store.Uplinks().GetItem(0);
    uplink->Sysop = "Ivan Petrov";
    uplink->SysopAddress.SetText("2:5020/1.3");
    echo = store.AddAreaQuiet("RU.TEST", "RU.TEST", AreaTypeCode::Echomail, uplink);
    ASSERT_NE(echo, nullptr);
  }
  void TearDown() override {
    delete editor.data();
    session.reset();
    AppFixture::TearDown();
  }

  // A new message in RU.TEST as the new-message command composes it.
  TMessageEditor& Open(TEditorLinks links = {}) {
    editor = new TMessageEditor(std::move(links));
    TKQMail mail;
    mail.Area = echo;
    mail.ToName = "All";
    mail.FromName = "Ivan Petrov";
    mail.OrigAddr.SetText("2:5020/1.3");
    mail.Flags = 0x0840;
    mail.Origin = "Velmaris 95";
    editor->SetMail(mail);
    editor->show();
    editor->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(editor));
    editor->Editor->setFocus();
    return *editor;
  }
  std::string StoredText(int index) {
    EXPECT_TRUE(echo->OpenIndex());
    const std::string text(echo->ReadMail(index)->BodyText());
    echo->CloseIndex();
    return text;
  }

  std::unique_ptr<TConfigSession> session;
  TArea* echo = nullptr;
  QPointer<TMessageEditor> editor;
};

TEST_F(MessageEditorTest, TypedMessageIsStoredByteForByte) {
  TMessageEditor& e = Open();
  QTest::keyClicks(e.NewSubject, QStringLiteral("Test"));
  Type(e.Editor, QStringLiteral("Hello Привет"));
  QTest::keyClick(e.Editor, Qt::Key_Return);
  QTest::keyClicks(e.Editor, QStringLiteral("a\tb"));
  EXPECT_EQ(e.findChild<QLabel*>("LinePanel")->text(), "Line: 2");
  EXPECT_EQ(e.findChild<QLabel*>("ColumnPanel")->text(), "Column: 4");
  QTest::keyClick(e.Editor, Qt::Key_D, Qt::ControlModifier);  // save and close
  ASSERT_TRUE(PumpUntil([&] { return editor.isNull(); }));
  EXPECT_TRUE(prompter.Questions().empty());

  ASSERT_TRUE(echo->OpenIndex());
  ASSERT_EQ(echo->Count, 1);
  const TMsgHeader header = echo->GetHeader(0);
  echo->CloseIndex();
  EXPECT_EQ(header.FromName.Str(), "Ivan Petrov");
  EXPECT_EQ(header.ToName.Str(), "All");
  EXPECT_EQ(header.Subject.Str(), "Test");
  EXPECT_EQ(header.Flags & 0x0FFF, 0x0840);
  char serial[9];
  std::snprintf(serial, sizeof serial, "%08x", header.MsgIdNumber);
  // The text in CP866, the tab expanded, the echomail trailer.
  EXPECT_EQ(StoredText(0), std::string("AREA:RU.TEST\r\x01MSGID: 2:5020/1.3 ") + serial +
                               "\r\x01"
                               "CHRS: IBMPC 2\r"
                               "Hello \x8F\xE0\xA8\xA2\xA5\xE2\r"
                               "a       b\r"
                               "\r"
                               "--- KQ/95 Rel 1.78E (215.0)\r"
                               " * Origin: Velmaris 95 (2:5020/1.3)\r"
                               "SEEN-BY: 5020/1\r");
}

TEST_F(MessageEditorTest, CyrillicKeepsItsLettersAndGermanIsSpeltOut) {
  // RU.TEST has the default switches: umlauts and sharp s spelt out.
  ASSERT_TRUE(echo->NoUmlaute && echo->NoSZ);
  TMessageEditor& e = Open();
  QTest::keyClicks(e.NewSubject, QStringLiteral("Test"));
  Type(e.Editor, QStringLiteral("дедушка Д ц Ц ь Ь Я"));
  QTest::keyClick(e.Editor, Qt::Key_Return);
  Type(e.Editor, QStringLiteral("Grüße aus Köln"));
  QTest::keyClick(e.Editor, Qt::Key_D, Qt::ControlModifier);
  ASSERT_TRUE(PumpUntil([&] { return editor.isNull(); }));
  // Stored in CP866.
  const std::string stored = StoredText(0);
  EXPECT_NE(stored.find("CHRS: IBMPC 2\r"
                        "\xA4\xA5\xA4\xE3\xE8\xAA\xA0 \x84 \xE6 \x96 \xEC \x9C \x9F\r"
                        "Gruesse aus Koeln\r"),
            std::string::npos)
      << stored;
}

TEST_F(MessageEditorTest, LongTextIsStoredWhole) {
  TMessageEditor& e = Open();
  e.NewSubject->setText("Long");
  // 625 lines of 80 characters and their breaks: over 50,000 characters.
  QString text;
  std::string expected;
  for (int i = 0; i < 625; ++i) {
    const std::string line = std::to_string(100000 + i) + std::string(74, static_cast<char>('a' + i % 26));
    text += QString::fromStdString(line) + (i + 1 < 625 ? "\n" : "");
    expected += line + "\r";
  }
  ASSERT_GT(text.size(), 50000);
  e.Editor->setPlainText(text);
  QTest::keyClick(e.Editor, Qt::Key_D, Qt::ControlModifier);
  ASSERT_TRUE(PumpUntil([&] { return editor.isNull(); }));
  EXPECT_TRUE(prompter.Questions().empty());
  const std::string stored = StoredText(0);
  EXPECT_NE(stored.find("CHRS: IBMPC 2\r" + expected + "\r--- "), std::string::npos)
      << stored.size();
}

TEST_F(MessageEditorTest, F1InTheTextAsksForTheEditorsHelp) {
  TMessageEditor& e = Open();
  e.findChild<QAction*>("Hilfethemen1")->trigger();
  EXPECT_EQ(platform::LastHelpContext(), platform::kHelpContents);
  QTest::keyClick(e.Editor, Qt::Key_F1);
  EXPECT_EQ(platform::LastHelpContext(), platform::kHelpEditor);
}

TEST_F(MessageEditorTest, TheEditMenuWorksInTheHeaderBoxes) {
  TMessageEditor& e = Open();
  QMenu* edit = e.findChild<QMenu*>("Bearbeiten1");
  auto enabled = [&](const char* name) {
    emit edit->aboutToShow();
    const bool on = e.findChild<QAction*>(name)->isEnabled();
    emit edit->aboutToHide();
    return on;
  };
  auto run = [&](const char* name) { e.findChild<QAction*>(name)->trigger(); };
  // The receiver's name box, an editable combo box, and the subject line.
  for (QWidget* box : {static_cast<QWidget*>(e.NewReceiver), static_cast<QWidget*>(e.NewSubject)}) {
    SCOPED_TRACE(box->objectName().toStdString());
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->hasFocus(); }));
    QLineEdit* line = qobject_cast<QLineEdit*>(box);
    if (!line) line = e.NewReceiver->lineEdit();
    line->setText("Ivan Petrov");
    line->deselect();
    EXPECT_FALSE(enabled("MnCopy"));
    EXPECT_TRUE(enabled("MnAll"));
    run("MnAll");
    EXPECT_TRUE(enabled("MnCut"));
    run("MnCopy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Ivan Petrov");
    run("MnCut");
    EXPECT_EQ(line->text(), "");
    EXPECT_TRUE(enabled("MnPaste"));
    run("MnPaste");
    EXPECT_EQ(line->text(), "Ivan Petrov");
  }
}

TEST_F(MessageEditorTest, ShowingAnEditedMessageKeepsItsStoredSender) {
  editor = new TMessageEditor;
  TKQMail mail;
  mail.Area = echo;
  mail.OrigAddr.SetText("2:5020/1.99");
  editor->SetMail(mail);
  editor->show();
  EXPECT_EQ(editor->OrigAddress(), "2:5020/1.99");
  EXPECT_EQ(editor->Mail().OrigAddr.Text4D(), "2:5020/1.99");
  // The composer's hold on the area ends with the window.
  ASSERT_TRUE(echo->Lock(true));
  editor->SetHeldArea(echo);
  editor->close();
  ASSERT_TRUE(PumpUntil([&] { return editor.isNull(); }));
  EXPECT_FALSE(echo->IsLocked());
}

TEST_F(MessageEditorTest, FailedSaveKeepsTheTextAndSaysWhy) {
  TMessageEditor& e = Open();
  e.SetSubject("Kept");
  QTest::keyClicks(e.Editor, QStringLiteral("Important words"));
  // The area's index is damaged: nothing can be appended.
  platform::WriteFileAtomic(echo->FilePath(".PackedIndex"), "short");
  QTest::keyClick(e.Editor, Qt::Key_D, Qt::ControlModifier);
  ASSERT_FALSE(editor.isNull());
  EXPECT_TRUE(e.isVisible());
  EXPECT_EQ(e.Editor->toPlainText(), "Important words");
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].kind, platform::MsgKind::Error);
  EXPECT_NE(prompter.Questions()[0].text.find("could not be stored in the area RU.TEST"),
            std::string::npos)
      << prompter.Questions()[0].text;
  EXPECT_FALSE(e.LastSaveError().empty());

  // Closing asks first; No keeps the window, Yes closes it.
  prompter.Clear();
  prompter.Script({platform::mbNo, platform::mbYes});
  e.close();
  EXPECT_TRUE(e.isVisible());
  e.close();
  ASSERT_TRUE(PumpUntil([&] { return editor.isNull(); }));
  EXPECT_EQ(prompter.Questions().size(), 2u);
}

TEST_F(MessageEditorTest, EnterContinuesAQuoteAndCommandsEditTheText) {
  TMessageEditor& e = Open();
  e.SetLines({" TS> Hello world", "second"});
  QTextCursor cursor = e.Editor->textCursor();
  cursor.setPosition(11);  // before "world"
  e.Editor->setTextCursor(cursor);
  QTest::keyClick(e.Editor, Qt::Key_Return);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{" TS> Hello ", " TS> world", "second"}));
  EXPECT_EQ(e.CurrentLine(), 1);
  EXPECT_EQ(e.CurrentColumn(), 1);
  // Ctrl+Y deletes the caret's line, Ctrl+Q re-flows the quotes.
  QTest::keyClick(e.Editor, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{" TS> Hello ", "second"}));
  e.SetLines({" TS> one", " TS> two", " AB> three"});
  QTest::keyClick(e.Editor, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{" TS> one two", " AB> three"}));
  // Ctrl+O: ROT13 of the selection, twice restores it.
  e.SetLines({"Hello, World"});
  e.Editor->selectAll();
  QTest::keyClick(e.Editor, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{"Uryyb, Jbeyq"}));
  QTest::keyClick(e.Editor, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{"Hello, World"}));
}

TEST_F(MessageEditorTest, ReplaceAllAndFindAgainThroughTheSearchForm) {
  TMessageEditor& e = Open();
  e.SetLines({"cat hat", "Cat"});
  prompter.Script({platform::mbNo});  // "End of text reached" after the last match
  const ModalHook old = SetModalHook([](QWidget* w) {
    w->findChild<QLineEdit*>("EdFind")->setText("cat");
    w->findChild<QLineEdit*>("EdRep")->setText("dog");
    w->findChild<QPushButton*>("BtnRepAll")->click();
    return int(QDialog::Rejected);
  });
  QTest::keyClick(e.Editor, Qt::Key_R, Qt::ControlModifier);
  SetModalHook(old);
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{"dog hat", "dog"}));
  // Find again past the last match asks; Yes finds the first character.
  prompter.Clear();
  prompter.Script({platform::mbYes});
  e.SetLines({"cat hat cat"});
  QTextCursor end = e.Editor->textCursor();
  end.setPosition(9);
  e.Editor->setTextCursor(end);
  QTest::keyClick(e.Editor, Qt::Key_F3);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "End of text reached.  Continue form start ?");
  EXPECT_EQ(e.Editor->textCursor().selectionStart(), 0);
  EXPECT_EQ(e.Editor->textCursor().selectedText(), "cat");
}

TEST_F(MessageEditorTest, CrashForcesNetmailAndEchomailClearsIt) {
  TEditorLinks links;
  links.PickReceiver = [](QWidget*, const std::string& sysop, std::string& name,
                          std::string& address) {
    name = sysop + " One";
    address = "2:5020/77";
    return true;
  };
  TMessageEditor& e = Open(std::move(links));
  QTest::mouseClick(e.F_Crash, Qt::LeftButton);
  EXPECT_EQ(e.WriteArea->currentText(), "NETMAIL");
  EXPECT_EQ(e.windowTitle(), "Message editor for area NETMAIL");
  EXPECT_TRUE(e.Flags() & EditorFlag::Crash);
  EXPECT_TRUE(e.NewReceiverAddress->isVisibleTo(&e));
  // The nodelist lookup fills receiver and address; the sender address
  // follows the destination.
  e.SetDestName("Sysop");
  e.LookupReceiver->click();
  EXPECT_EQ(e.DestName(), "Sysop One");
  EXPECT_EQ(e.DestAddress(), "2:5020/77");
  EXPECT_EQ(e.OrigAddress(), "2:5020/1.3");
  e.SetAreaIndex(e.WriteArea->findText("RU.TEST"));
  EXPECT_FALSE(e.F_Crash->isChecked());
  EXPECT_FALSE(e.NewReceiverAddress->isVisibleTo(&e));
  // The new-message command: receiver, subject and flags reset.
  e.NeueMail1Click();
  EXPECT_EQ(e.DestName(), "All");
  EXPECT_EQ(e.Subject(), "<No Subject!>");
  EXPECT_EQ(e.Flags(), 0x0840);
}

// A file attached through the dialog, for each name of the table: the
// subject holds its path as message text (the ANSI page); a path the subject
// cannot hold (a letter the pages lack, longer than 71 characters) is
// refused with a warning and the attach flag is taken back. The files lie
// in a short folder of their own, since the suites' folder is longer than a
// subject.
TEST_F(MessageEditorTest, AnAttachedFileIsNamedInTheSubjectOrRefused) {
  char base[] = "/tmp/vm.XXXXXX";
  ASSERT_NE(::mkdtemp(base), nullptr);
  const std::string folder = std::string(base) + "/Файлы/";
  const std::string folderAnsi = std::string(base) + "/\xD4\xE0\xE9\xEB\xFB/";
  platform::MakeDirs(folder);
  TMessageEditor& e = Open();
  std::string chosen;
  const ModalHook old = SetModalHook([&chosen](QWidget* w) {
    static_cast<QFileDialog*>(w)->selectFile(QString::fromUtf8(chosen.c_str()));
    return int(QDialog::Accepted);
  });
  for (const TNameRow& row : NameTable()) {
    // The dialog's name field reads quotes as marks around several names;
    // the quote row goes through AttachSubject in the scanner's tests.
    if (row.disk.find('"') != std::string::npos) continue;
    SCOPED_TRACE(row.what);
    chosen = folder + row.disk;
    platform::WriteFileAtomic(chosen, "data");
    prompter.Clear();
    e.SetSubject("before");
    e.F_Attach->setChecked(false);
    e.F_Attach->click();
    const bool fits = row.ansi && row.oem && folderAnsi.size() + row.ansi->size() <= 71;
    EXPECT_EQ(e.F_Attach->isChecked(), fits);
    if (fits) {
      EXPECT_EQ(e.Subject(), folderAnsi + *row.ansi);
      EXPECT_EQ(e.NewSubject->text(), QString::fromUtf8(chosen.c_str()));
      EXPECT_TRUE(prompter.Questions().empty());
    } else {
      EXPECT_EQ(e.Subject(), "before");
      ASSERT_EQ(prompter.Questions().size(), 1u);
      EXPECT_NE(prompter.Questions()[0].text.find("cannot be attached"), std::string::npos);
    }
  }
  SetModalHook(old);
  std::filesystem::remove_all(base);
}

TEST_F(MessageEditorTest, InsertedFilesAreConvertedBoundedAndEncoded) {
  TMessageEditor& e = Open();
  std::string chosen;
  const ModalHook old = SetModalHook([&chosen](QWidget* w) {
    static_cast<QFileDialog*>(w)->selectFile(QString::fromStdString(chosen));
    return int(QDialog::Accepted);
  });
  QGuiApplication::clipboard()->setText("kept");
  // Ctrl+I: an OEM text (CP866 "Да") arrives in the ANSI code page.
  dir.Write("oem.txt", "\x84\xA0\r\nok");
  chosen = dir / "oem.txt";
  QTest::keyClick(e.Editor, Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(e.Editor->toPlainText(), QStringLiteral("Да\nok"));
  // A UTF-8 text from a Linux editor comes in as its letters by either key.
  dir.Write("utf8.txt", "Привет «мир»");
  chosen = dir / "utf8.txt";
  for (const auto key : {Qt::Key_I, Qt::Key_A}) {
    e.SetLines({});
    QTest::keyClick(e.Editor, key, Qt::ControlModifier);
    EXPECT_EQ(e.Editor->toPlainText(), QStringLiteral("Привет «мир»"));
  }
  // Ctrl+U: a file of 46 bytes UUencoded at the caret.
  e.SetLines({});
  dir.Write("data.bin", std::string(46, 'A'));
  chosen = dir / "data.bin";
  QTest::keyClick(e.Editor, Qt::Key_U, Qt::ControlModifier);
  const std::vector<std::string> lines = e.Lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "begin 644 data.bin");
  EXPECT_EQ(lines[2], "!00");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
  // Too long for UUencoding, missing, too long for the editor: refused.
  dir.Write("big.bin", std::string(65001, 'x'));
  dir.Write("huge.txt", std::string(1600001, 'x'));
  for (const char* name : {"big.bin", "missing.txt", "huge.txt"}) {
    chosen = dir / name;
    QTest::keyClick(e.Editor, name[0] == 'b' ? Qt::Key_U : Qt::Key_A, Qt::ControlModifier);
  }
  SetModalHook(old);
  EXPECT_EQ(e.Lines(), lines);
  const auto questions = prompter.Questions();
  ASSERT_EQ(questions.size(), 3u);
  EXPECT_EQ(questions[0].text, "UUEncoded data may not be longer than 65000 Bytes!");
  EXPECT_EQ(questions[1].text, "Could not read file \"" + chosen.substr(0, chosen.size() - 8) +
                                   "missing.txt\". File could not be opened!");
  EXPECT_NE(questions[2].text.find("longer than 1600000 bytes"), std::string::npos);
}

TEST_F(MessageEditorTest, ToolbarLayoutsAreKeptInTheStartDirectory) {
  // A stored width is kept where it holds the bar's buttons.
  const int width = Open().LeftSB->LengthNeeded() + 12;
  editor->LeftSB->resize(200, 50);
  delete editor.data();
  const std::string left = dir.Read("MsgEdToolBarLeft.cfg");
  EXPECT_EQ(left.rfind("[TMessageEditorLeftSB]", 0), 0u) << left;
  EXPECT_NE(left.find("[Custom]\nWidth="), std::string::npos) << left;
  // The right bar's width comes first, then its layout.
  EXPECT_EQ(dir.Read("MsgEdToolBarRight.cfg").rfind("[Custom]\nWidth=", 0), 0u);
  dir.Write("MsgEdToolBarLeft.cfg", "[Custom]\nWidth=" + std::to_string(width) + "\n");
  TMessageEditor& e = Open();
  EXPECT_EQ(e.LeftSB->width(), width);
}

// The lefts of the "Button" values of a stored bar layout, by button name.
std::map<std::string, int> StoredLefts(const std::string& cfg) {
  std::map<std::string, int> lefts;
  for (size_t at = cfg.find("\nButton"); at != std::string::npos;
       at = cfg.find("\nButton", at + 1)) {
    const size_t eq = cfg.find('=', at), comma = cfg.find(',', eq);
    lefts[cfg.substr(eq + 1, comma - eq - 1)] = std::atoi(cfg.c_str() + comma + 1);
  }
  return lefts;
}

// Stored bar layouts (read before the editor is shown) open with every
// stored button whole on its bar, none over another, and go back clean: the
// buttons' captions over each other, a button off the bar (a wider screen
// left it there), a full bar of overlapping buttons with a short stored
// width, a file without the bar's width.
TEST_F(MessageEditorTest, StoredBarLayoutsOpenWholeAndAreSavedClean) {
  Open();
  const int b = editor->LeftSB->BtnWidth();
  const int leftDefault = editor->LeftSB->width(), rightDefault = editor->RightSB->width();
  delete editor.data();
  const auto at = [](int left) { return std::to_string(left) + ",3\n"; };
  struct Row {
    const char* what;
    bool left;  // which bar's file
    std::string cfg;
    size_t shown;
    int width;  // the bar's width at the least
  };
  const Row rows[] = {
      {"over each other", true,
       "[TMessageEditorLeftSB]\nVersion=0\nCount=3\nButton1=LNewBtn," + at(3) +
           "Button2=LSaveBtn," + at(50) + "Button3=LCancelBtn," + at(177),
       3, 3 * b + 6},
      {"off the bar", false,
       "[Custom]\nWidth=" + std::to_string(rightDefault) +
           "\n[TMessageEditorRightSB]\nVersion=0\nCount=4\nButton1=RCutBtn," + at(3) +
           "Button2=RCopyBtn," + at(3 + b) + "Button3=RPasteBtn," + at(3 + 2 * b) +
           "Button4=RDeleteBtn," + at(2000),
       4, 4 * b + 6},
      {"a full bar", true,
       "[TMessageEditorLeftSB]\nVersion=0\nCount=4\nButton1=LNewBtn," + at(3) +
           "Button2=LSaveBtn," + at(3) + "Button3=LCancelBtn," + at(3 + b) + "Button4=LCutBtn," +
           at(3 + b) + "[Custom]\nWidth=" + std::to_string(2 * b + 6) + "\n",
       4, 4 * b + 6},
      {"no width", false,
       "[TMessageEditorRightSB]\nVersion=0\nCount=2\nButton1=RCutBtn," + at(3) +
           "Button2=RCopyBtn," + at(3 + b),
       2, rightDefault},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string file = row.left ? "MsgEdToolBarLeft.cfg" : "MsgEdToolBarRight.cfg";
    std::filesystem::remove(dir / "MsgEdToolBarLeft.cfg");
    std::filesystem::remove(dir / "MsgEdToolBarRight.cfg");
    dir.Write(file, row.cfg);
    TMessageEditor& e = Open();
    TSpeedBar* bar = row.left ? e.LeftSB : e.RightSB;
    EXPECT_GE(bar->width(), row.width);
    // A bar that needs no more than its default width takes nothing from the
    // other. One that grows past it widens the window, unless the window is
    // already as wide as the screen (800 px offscreen, once an earlier
    // window showed the frame): then the other bar gives some of its room.
    if (row.width <= (row.left ? leftDefault : rightDefault)) {
      EXPECT_GE((row.left ? e.RightSB : e.LeftSB)->width(),
                row.left ? rightDefault : leftDefault);
    }
    std::vector<TSpeedItem*> shown;
    bar->ForEachItem([&](TSpeedItem* item) {
      if (item->Visible()) shown.push_back(item);
    });
    EXPECT_EQ(shown.size(), row.shown);
    for (TSpeedItem* a : shown) {
      EXPECT_TRUE(bar->rect().contains(a->Button()->geometry()))
          << a->objectName().toStdString() << " at " << a->Left() << " of " << bar->width();
      for (TSpeedItem* o : shown)
        EXPECT_TRUE(a == o || !a->Button()->geometry().intersects(o->Button()->geometry()))
            << a->objectName().toStdString() << " over " << o->objectName().toStdString();
    }
    delete editor.data();
    const std::string saved = dir.Read(file);
    const size_t width = saved.find("[Custom]\nWidth=");
    ASSERT_NE(width, std::string::npos) << saved;
    const int savedWidth = std::atoi(saved.c_str() + width + 15);
    EXPECT_GE(savedWidth, row.width) << saved;
    const std::map<std::string, int> lefts = StoredLefts(saved.substr(saved.find("[TMessage")));
    EXPECT_EQ(lefts.size(), row.shown) << saved;
    for (const auto& [a, left] : lefts) {
      EXPECT_LE(left + b, savedWidth) << a << " at " << left;
      for (const auto& [o, other] : lefts)
        EXPECT_TRUE(a == o || std::abs(left - other) >= b)
            << a << " at " << left << ", " << o << " at " << other;
    }
  }
}

}  // namespace
}  // namespace velmaris::test

namespace velmaris::test {
namespace {

// With VELMARIS_SCREENSHOTS set, the widget as a PNG in that folder.
void EditorShot(QWidget& widget, const char* name) {
  if (const char* dir = std::getenv("VELMARIS_SCREENSHOTS"))
    widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png");
}

TEST_F(MessageEditorTest, SpeedBarCaptionsAreDrawnWhole) {
  TMessageEditor& e = Open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&e));
  EditorShot(*e.findChild<QWidget*>("TopPanel"), "EditorSpeedBar");
  int items = 0;
  for (TSpeedBar* bar : {e.LeftSB, e.RightSB}) {
    for (TSpeedItem* item : e.findChildren<TSpeedItem*>()) {
      if (item->SpeedBar() != bar) continue;
      ++items;
      TSpeedbarButton* button = item->Button();
      // What the button draws inside its frame.
      const TButtonLayoutResult drawn =
          CalcButtonLayout(button->rect().adjusted(2, 2, -2, -2), QSize(16, 16), item->BtnCaption(),
                           button->fontMetrics(), item->Layout(), button->Margin(),
                           button->Spacing(), false, false, TAlignment::taCenter);
      EXPECT_EQ(drawn.caption, item->BtnCaption()) << item->objectName().toStdString();
    }
    // The buttons the bar shows lie inside it.
    for (TSpeedItem* item : e.findChildren<TSpeedItem*>()) {
      if (item->SpeedBar() != bar || !item->Visible()) continue;
      EXPECT_LE(item->Left() + bar->BtnWidth(), bar->width()) << item->objectName().toStdString();
    }
  }
  EXPECT_EQ(items, 14);
  // Narrowed as far as the user likes, the window keeps every button whole,
  // and stays on the screen.
  for (const int width : {600, 420}) {
    SCOPED_TRACE(width);
    e.resize(width, e.height());
    for (int settle = 0; settle < 3; ++settle) QCoreApplication::processEvents();
    EXPECT_EQ(ExpectBarButtonsWhole(e), 7);
    EXPECT_TRUE(e.screen()->availableGeometry().contains(e.frameGeometry()));
  }
}

}  // namespace
}  // namespace velmaris::test

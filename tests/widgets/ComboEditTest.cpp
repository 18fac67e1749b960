// The edit with a button: the drop-down's open and close paths by keys and
// clicks, read-only and direct-input rules, placement on the screen, and the
// file-name and directory edits with their dialogs and dropped files.
#include "widgets/ComboEdit.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <fstream>

#include "support/TempDir.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace velmaris::test {
namespace {

// A drop-down offering one fixed value.
class ValuePopup : public TPopupWindow {
 public:
  explicit ValuePopup(TCustomComboEdit* edit) : TPopupWindow(edit) { resize(150, 80); }
  QVariant GetValue() const override { return offered; }
  void SetValue(const QVariant& value) override { received = value; }
  QString offered = "picked";
  QVariant received;
};

class PopupEdit : public TComboEdit {
 public:
  explicit PopupEdit(QWidget* parent) : TComboEdit(parent) {
    popup = new ValuePopup(this);
    SetPopup(popup);
    SetGlyphKind(TGlyphKind::gkDropDown);
  }
  ValuePopup* popup;
};

struct Form {
  QDialog dialog;
  PopupEdit* edit = new PopupEdit(&dialog);
  QLineEdit* other = new QLineEdit(&dialog);
  Form() {
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(edit);
    layout->addWidget(other);
    dialog.show();
    edit->setFocus();
    edit->setText("typed");
  }
};

struct DropCase {
  const char* name;
  const char* actions;  // K = Alt+Down, B = button click, E = Enter, X = Escape, O = click other
  bool open;
  const char* text;
  int changes;
  int buttonClicks;
};

class DropDown : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropDown, OpensAndCloses) {
  const DropCase& c = GetParam();
  Form f;
  QSignalSpy change(f.edit, &TCustomComboEdit::change),
      clicks(f.edit, &TCustomComboEdit::buttonClick), rejected(&f.dialog, &QDialog::rejected);
  for (const char* a = c.actions; *a; ++a) {
    switch (*a) {
      case 'K': QTest::keyClick(f.edit, Qt::Key_Down, Qt::AltModifier); break;
      case 'B': QTest::mouseClick(f.edit->Button(), Qt::LeftButton, {}, QPoint(4, 4)); break;
      case 'E': QTest::keyClick(f.edit, Qt::Key_Return); break;
      case 'X': QTest::keyClick(f.edit, Qt::Key_Escape); break;
      case 'O': QTest::mouseClick(f.other, Qt::LeftButton); break;
      case 'T': QTest::keyClicks(f.edit, "zz"); break;
    }
  }
  EXPECT_EQ(f.edit->PopupVisible(), c.open);
  EXPECT_EQ(f.edit->Popup()->isVisible(), c.open);
  EXPECT_EQ(f.edit->text(), c.text);
  EXPECT_EQ(change.count(), c.changes);
  EXPECT_EQ(clicks.count(), c.buttonClicks);
  EXPECT_EQ(rejected.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ComboEdit, DropDown,
    ::testing::Values(DropCase{"AltDownOpens", "K", true, "typed", 0, 1},
                      DropCase{"EnterAccepts", "KE", false, "picked", 1, 1},
                      DropCase{"EscapeRejects", "KX", false, "typed", 0, 1},
                      DropCase{"NoTypingWhileOpen", "KTX", false, "typed", 0, 1},
                      DropCase{"ButtonOpens", "B", true, "typed", 0, 1},
                      DropCase{"ButtonAgainAccepts", "BB", false, "picked", 1, 1},
                      DropCase{"ClickElsewhereRejects", "KO", false, "typed", 0, 1}),
    [](const auto& info) { return info.param.name; });

TEST(ComboEdit, ClickInsideTheDropDownAccepts) {
  Form f;
  f.edit->OpenDropDown();
  EXPECT_EQ(f.edit->popup->received.toString(), "typed");
  QTest::mouseClick(f.edit->Popup(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(f.edit->PopupVisible());
  EXPECT_EQ(f.edit->text(), "picked");
  EXPECT_TRUE(f.edit->isModified());
}

TEST(ComboEdit, ReadOnlyAndDirectInput) {
  Form f;
  f.edit->SetReadOnly(true);
  QSignalSpy clicks(f.edit, &TCustomComboEdit::buttonClick);
  QTest::keyClicks(f.edit, "x");
  QTest::keyClick(f.edit, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_FALSE(f.edit->PopupVisible());
  EXPECT_EQ(f.edit->text(), "typed");
  f.edit->SetReadOnly(false);
  f.edit->SetDirectInput(false);
  QTest::keyClicks(f.edit, "x");
  EXPECT_EQ(f.edit->text(), "typed");
  QTest::keyClick(f.edit, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(f.edit, Qt::Key_Return);
  EXPECT_EQ(f.edit->text(), "picked");
}

TEST(ComboEdit, DropDownStaysOnTheScreen) {
  Form f;
  const QRect screen = f.edit->screen()->geometry();
  f.dialog.move(screen.right() - 60, screen.bottom() - 40);
  f.edit->OpenDropDown();
  const QRect popup = f.edit->Popup()->geometry();
  const QPoint editTop = f.edit->mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(popup.bottom(), editTop.y() - 1);  // opened upward
  EXPECT_LE(popup.right(), screen.right());
  EXPECT_GE(popup.left(), screen.left());
}

TEST(FilenameEdit, FileNameQuotesAndChecks) {
  TFilenameEdit edit;
  edit.SetFileName("/My Dir/a.txt");
  EXPECT_EQ(edit.text(), "\"/My Dir/a.txt\"");
  EXPECT_EQ(edit.FileName(), "/My Dir/a.txt");
  try {
    edit.SetFileName("a|b");
    FAIL();
  } catch (const EComboEditError& e) {
    EXPECT_STREQ(e.what(), "Invalid file name - a|b");
  }
  EXPECT_EQ(NameFiltersOf("All files (*.*)|*.*|Texts|*.txt;*.asc"),
            (QStringList{"All files (*.*)", "Texts (*.txt *.asc)"}));
}

struct DialogAnswer {
  QString startDir;
  explicit DialogAnswer(QString choice) {
    SetModalHook([this, choice](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      if (!dialog) return int(QDialog::Rejected);
      startDir = dialog->directory().absolutePath();
      dialog->selectFile(choice);
      return int(QDialog::Accepted);
    });
  }
  ~DialogAnswer() { SetModalHook({}); }
};

TEST(FilenameEdit, ButtonTakesTheChosenFile) {
  TempDir dir;
  dir.Write("with blank.txt", "x");
  TFilenameEdit edit;
  edit.SetFileName(QString::fromStdString(dir / "missing.txt"));
  bool before = false;
  edit.OnBeforeDialog = [&](TFileDirEdit*, QString& name, bool&) {
    before = name.endsWith("missing.txt");
  };
  DialogAnswer answer(QString::fromStdString(dir / "with blank.txt"));
  QTest::mouseClick(edit.Button(), Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_TRUE(before);
  EXPECT_EQ(edit.text(), "\"" + QString::fromStdString(dir / "with blank.txt") + "\"");
  EXPECT_EQ(answer.startDir + "/", QString::fromStdString(dir.Path()));
  // An edit that holds a path shows the file picked as it is: a path is no
  // command line, and its quotes would be taken for part of the name.
  TFilenameEdit path;
  path.SetHoldsPath(true);
  QTest::mouseClick(path.Button(), Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(path.text(), QString::fromStdString(dir / "with blank.txt"));
  EXPECT_EQ(path.FileName(), QString::fromStdString(dir / "with blank.txt"));
  // A file to be made, with blanks, and one an earlier version quoted.
  path.setText(QString::fromStdString(dir / "new file to make.txt"));
  EXPECT_EQ(path.FileName(), QString::fromStdString(dir / "new file to make.txt"));
  path.SetFileName("\"" + QString::fromStdString(dir / "with blank.txt") + "\"");
  EXPECT_EQ(path.text(), QString::fromStdString(dir / "with blank.txt"));
}

TEST(DirectoryEdit, ButtonStartsAtTheRootAndAppendsWithMultipleDirs) {
  TempDir dir;
  const QString chosen = QString::fromStdString(dir.Path()).chopped(1);
  TDirectoryEdit edit;
  DialogAnswer answer(chosen);
  edit.Button()->click();
  EXPECT_EQ(answer.startDir, "/");
  EXPECT_EQ(edit.text(), chosen);
  edit.SetMultipleDirs(true);
  edit.Button()->click();
  EXPECT_EQ(edit.text(), chosen + ";" + chosen);
}

TEST(DirectoryEdit, DroppedFilesGiveTheirDirectories) {
  TempDir dir;
  dir.Write("a.txt", "a");
  std::ofstream((dir / "b.txt")).put('b');
  const QString root = QString::fromStdString(dir.Path()).chopped(1);
  const QList<QUrl> urls{QUrl::fromLocalFile(root + "/a.txt"), QUrl::fromLocalFile(root + "/b.txt"),
                         QUrl::fromLocalFile(root)};
  for (bool multiple : {true, false}) {
    TDirectoryEdit edit;
    edit.SetAcceptFiles(true);
    edit.SetMultipleDirs(multiple);
    QSignalSpy dropped(&edit, &TFileDirEdit::dropFiles);
    QMimeData data;
    data.setUrls(urls);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    static_cast<QObject&>(edit).event(&drop);  // no drag in progress to route it
    EXPECT_EQ(edit.text(), multiple ? root + ";" + root + ";" + root : root);
    EXPECT_EQ(dropped.count(), 1);
  }
}

}  // namespace
}  // namespace velmaris::test

// The find-and-replace form and the two choosers that wait for their answer
// by processing messages.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "QtTestApp.h"
#include "app/DirDialog.h"
#include "app/SearchAndReplace.h"
#include "platform/Files.h"
#include "support/TempDir.h"
#include "widgets/DirLists.h"
#include "widgets/ModalHook.h"

namespace velmaris {
namespace {

using test::App;
using test::ClickThroughWindow;

struct SarLayout {
  bool findOnly;
  QString caption;
  int height, cancelTop, caseTop, wholeTop;
};

TEST(SARFormTest, FindOnlyHidesTheReplaceControlsAndSwitchingBackRestoresThem) {
  App();
  TSARForm form;
  form.show();
  const std::vector<SarLayout> steps = {{true, "Suchen", 116, 40, 40, 64},
                                        {false, "Suchen und Ersetzen", 160, 104, 80, 104},
                                        {true, "Suchen", 116, 40, 40, 64},
                                        {false, "Suchen und Ersetzen", 160, 104, 80, 104}};
  for (const SarLayout& step : steps) {
    SCOPED_TRACE(step.caption.toStdString());
    form.SetFindOnly(step.findOnly);
    for (const char* name : {"EdRep", "LbRep", "BtnRep", "BtnRepAll"}) {
      auto* control = form.findChild<QWidget*>(name);
      ASSERT_NE(control, nullptr) << name;
      EXPECT_EQ(control->isVisible(), !step.findOnly) << name;
      EXPECT_EQ(control->isEnabled(), !step.findOnly) << name;
    }
    EXPECT_EQ(form.windowTitle(), step.caption);
    EXPECT_EQ(form.height(), step.height);
    EXPECT_EQ(form.findChild<QWidget*>("BtnCancel")->y(), step.cancelTop);
    EXPECT_EQ(form.findChild<QWidget*>("CbCase")->y(), step.caseTop);
    EXPECT_EQ(form.findChild<QWidget*>("CbWhole")->y(), step.wholeTop);
  }
}

TEST(SARFormTest, ButtonsCallTheAssignedEventsWithTheFormAndNothingWhenUnassigned) {
  App();
  TSARForm form;
  form.SetFindText("alpha");
  form.SetReplaceText("beta");
  form.findChild<QCheckBox*>("CbWhole")->setChecked(true);
  QStringList calls;
  const auto record = [&calls](const char* what) {
    return [&calls, what](TSARForm& f) {
      calls << QString("%1 %2>%3 w%4 c%5")
                   .arg(what, f.GetFindText(), f.GetReplaceText())
                   .arg(f.GetWholeWords())
                   .arg(f.GetCaseSensitive());
    };
  };
  for (const char* button : {"Button1", "BtnRep", "BtnRepAll"})
    QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);
  EXPECT_TRUE(calls.isEmpty());
  form.OnFind = record("find");
  form.OnReplace = record("rep");
  form.OnReplaceAll = record("all");
  for (const char* button : {"Button1", "BtnRep", "BtnRepAll"})
    QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);
  EXPECT_EQ(calls, QStringList({"find alpha>beta w1 c0", "rep alpha>beta w1 c0",
                                "all alpha>beta w1 c0"}));
}

// How a chooser is answered while Execute waits.
enum class Answer { Ok, Cancel, CloseBox, Escape };

void AnswerLater(QWidget& form, const char* okName, Answer answer) {
  QTimer::singleShot(0, &form, [&form, okName, answer] {
    switch (answer) {
      case Answer::Ok: form.findChild<QPushButton*>(okName)->click(); break;
      case Answer::Cancel: form.findChild<QPushButton*>("Button2")->click(); break;
      case Answer::CloseBox: form.close(); break;
      case Answer::Escape: QTest::keyClick(&form, Qt::Key_Escape); break;
    }
  });
}

TEST(ChooserTest, ExecuteWaitsForTheAnswerAndIsTrueOnlyForOk) {
  App();
  const std::vector<std::pair<Answer, bool>> cases = {
      {Answer::Ok, true}, {Answer::Cancel, false}, {Answer::CloseBox, false}, {Answer::Escape, false}};
  TDirDialogWindow dirs;
  TAppendRequest files;
  for (const auto& [answer, ok] : cases) {
    SCOPED_TRACE(static_cast<int>(answer));
    AnswerLater(dirs, "Ok", answer);
    EXPECT_EQ(dirs.Execute(), ok);
    EXPECT_EQ(dirs.CancelPressed(), !ok);
    EXPECT_FALSE(dirs.isVisible());
    AnswerLater(files, "Button1", answer);
    EXPECT_EQ(files.Execute(), ok);
    EXPECT_EQ(files.CancelPressed(), !ok);
    EXPECT_FALSE(files.isVisible());
  }
}

TEST(ChooserTest, AModalHookAnswersInsteadOfTheLoop) {
  App();
  TDirDialogWindow dirs;
  const ModalHook old = SetModalHook([](QWidget*) { return int(QDialog::Accepted); });
  EXPECT_TRUE(dirs.Execute());
  SetModalHook([](QWidget*) { return int(QDialog::Rejected); });
  EXPECT_FALSE(dirs.Execute());
  EXPECT_TRUE(dirs.CancelPressed());
  SetModalHook(old);
}

TEST(ChooserTest, DirectoryPartOfThePathIsShownAndJoinedWithTheFileName) {
  App();
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.Path());  // ends in "/"
  ASSERT_TRUE(QDir().mkpath(base + "in/deep"));
  TDirDialogWindow dirs;
  TAppendRequest files;
  files.FileName()->setText("mail.txt");
  const std::vector<std::pair<QString, QString>> cases = {
      {"/", "/"},
      {base + "in/", base + "in/"},
      {base + "in/deep/x.txt", base + "in/deep/"},
      {base + "in/deep", base + "in/"},  // the directory part only
      {base + "in/../in/deep/", base + "in/deep/"},
  };
  for (const auto& [given, shown] : cases) {
    SCOPED_TRACE(given.toStdString());
    dirs.SetDirectory(given);
    EXPECT_EQ(dirs.GetDirectory(), shown);
    files.SetDirectory(given);
    EXPECT_EQ(files.GetFileName(), shown + "mail.txt");
  }
}

TEST(ChooserTest, DirectoryListEntersFoldersAndTheFileListFollows) {
  App();
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.Path());
  ASSERT_TRUE(QDir().mkpath(base + "sub"));
  QFile(base + "sub/a.txt").open(QIODevice::WriteOnly);
  TAppendRequest files;
  files.SetDirectory(base);
  auto* list = files.Directory();
  auto* fileList = files.findChild<QListWidget*>("FileListBox");
  const QList<QListWidgetItem*> sub = list->findItems("sub", Qt::MatchExactly);
  ASSERT_EQ(sub.size(), 1);
  list->setCurrentItem(sub.front());
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->Directory(), base + "sub/");
  ASSERT_EQ(fileList->count(), 1);
  QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {},
                    fileList->visualItemRect(fileList->item(0)).center());
  EXPECT_EQ(files.GetFileName(), base + "sub/a.txt");
  list->setCurrentRow(list->row(list->DirectoryItem()) - 1);  // the parent
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->Directory(), base);
  files.DoAppend->setChecked(true);
  EXPECT_TRUE(files.GetAppend());
}

// The rows of a directory list: indent, name, and "*" on the current one.
QStringList Rows(const TDirectoryListBox& list) {
  QStringList rows;
  for (int i = 0; i < list.count(); ++i) {
    const QListWidgetItem* item = list.item(i);
    rows << QString(TDirectoryListBox::ItemLevel(item), QLatin1Char(' ')) + item->text() +
                (item == list.DirectoryItem() ? "*" : "");
  }
  return rows;
}

// The rows expected for a directory below the root: the root, each folder
// down to the current one, then the sub-folders one step further in.
QStringList WayDown(const QString& dir, const QStringList& subFolders) {
  QStringList rows{"/"};
  const QStringList names = dir.split('/', Qt::SkipEmptyParts);
  for (int i = 0; i < names.size(); ++i)
    rows << QString(i + 1, QLatin1Char(' ')) + names[i] + (i + 1 == names.size() ? "*" : "");
  if (names.isEmpty()) rows[0] += "*";
  for (const QString& sub : subFolders) rows << QString(names.size() + 1, QLatin1Char(' ')) + sub;
  return rows;
}

TEST(ChooserTest, DirectoryListShowsTheWayDownToTheCurrentFolderAndItsSubFolders) {
  App();
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.Path());  // ends in "/"
  for (const char* sub : {"Inbound/beta", "Inbound/Alpha", "Inbound/.hidden", "Inbound/Gamma/deep"})
    ASSERT_TRUE(QDir().mkpath(base + sub));
  QFile(base + "Inbound/file.pkt").open(QIODevice::WriteOnly);
  // Folders an older version named in CP1251 («Почта», in it «Пакеры»):
  // listed and entered by the names they read as, kept as their bytes.
  const std::string cp = "\xCF\xEE\xF7\xF2\xE0", packers = "\xCF\xE0\xEA\xE5\xF0\xFB";
  platform::MakeDirs(dir.Path() + "Inbound/" + cp + "/" + packers + "/");
  const QString mail = QString::fromUtf8("Почта"), packed = QString::fromUtf8("Пакеры");
  TDirectoryListBox list;
  const std::vector<std::pair<QString, QStringList>> cases = {
      {base + "Inbound/", WayDown(base + "Inbound/", {"Alpha", "beta", "Gamma", mail})},
      {base + "Inbound", WayDown(base + "Inbound/", {"Alpha", "beta", "Gamma", mail})},
      {base + "Inbound/Gamma/deep/../", WayDown(base + "Inbound/Gamma/", {"deep"})},
      {base + "Inbound/Gamma/deep/", WayDown(base + "Inbound/Gamma/deep/", {})},
      {base + "Inbound/" + mail + "/", WayDown(base + "Inbound/" + mail + "/", {packed})},
  };
  for (const auto& [given, rows] : cases) {
    SCOPED_TRACE(given.toStdString());
    ASSERT_TRUE(list.SetDirectory(given));
    EXPECT_EQ(Rows(list), rows);
    // The current folder is highlighted, drawn bold, and names its path.
    ASSERT_NE(list.DirectoryItem(), nullptr);
    EXPECT_EQ(list.currentItem(), list.DirectoryItem());
    EXPECT_TRUE(list.DirectoryItem()->font().bold());
    EXPECT_EQ(TDirectoryListBox::ItemPath(list.DirectoryItem()), list.Directory());
  }
  // Each row stands for its folder; a missing one leaves the list alone.
  list.SetDirectory(base + "Inbound/");
  EXPECT_EQ(TDirectoryListBox::ItemPath(list.item(0)), "/");
  EXPECT_EQ(TDirectoryListBox::ItemPath(list.item(list.count() - 1)),
            base + "Inbound/" + mail + "/");
  EXPECT_EQ(TDirectoryListBox::ItemBytes(list.item(list.count() - 1)),
            dir.Path() + "Inbound/" + cp + "/");
  // Entered, the CP1251 folders are the folders on disk.
  list.setCurrentRow(list.count() - 1);
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.DirectoryBytes(), dir.Path() + "Inbound/" + cp + "/");
  list.setCurrentRow(list.count() - 1);
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.Directory(), base + "Inbound/" + mail + "/" + packed + "/");
  EXPECT_EQ(list.DirectoryBytes(), dir.Path() + "Inbound/" + cp + "/" + packers + "/");
  list.SetDirectory(base + "Inbound/");
  EXPECT_FALSE(list.SetDirectory(base + "missing/"));
  EXPECT_EQ(list.Directory(), base + "Inbound/");
  // At the root, the root is the current folder.
  ASSERT_TRUE(list.SetDirectory("/"));
  EXPECT_EQ(Rows(list).front(), "/*");
  EXPECT_EQ(list.currentRow(), 0);
  for (int i = 1; i < list.count(); ++i) EXPECT_EQ(TDirectoryListBox::ItemLevel(list.item(i)), 1);
}

// A double click where the row shows, through the window as a user gives it.
void DoubleClickRow(QListWidget* list, QListWidgetItem* item) {
  ASSERT_NE(item, nullptr);
  test::DoubleClickThroughWindow(list->viewport(), list->visualItemRect(item).center());
}

QListWidgetItem* Row(QListWidget* list, const QString& text) {
  const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? nullptr : found.front();
}

TEST(ChooserTest, DirectoryChooserMovesOnlyOnDoubleClickOrReturnAndOkGivesTheCurrentFolder) {
  App();
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.Path());
  for (const char* sub : {"Inbound/Alpha/inner", "Inbound/beta"})
    ASSERT_TRUE(QDir().mkpath(base + sub));
  const QString inbound = base + "Inbound/";
  struct Case {
    const char* name;
    std::function<void(TDirDialogWindow&, TDirectoryListBox*)> steps;
    QString chosen;  // empty: cancelled
  };
  const auto window = [](TDirDialogWindow& d) { return d.windowHandle(); };
  const std::vector<Case> cases = {
      {"OK at once", [](TDirDialogWindow&, TDirectoryListBox*) {}, inbound},
      {"a sub-folder clicked once",
       [](TDirDialogWindow&, TDirectoryListBox* list) {
         ClickThroughWindow(list->viewport(), list->visualItemRect(Row(list, "beta")).center());
         EXPECT_EQ(list->currentItem(), Row(list, "beta"));
       },
       inbound},
      {"a sub-folder entered",
       [](TDirDialogWindow&, TDirectoryListBox* list) { DoubleClickRow(list, Row(list, "beta")); },
       inbound + "beta/"},
      {"down two levels and up to an ancestor",
       [inbound](TDirDialogWindow&, TDirectoryListBox* list) {
         DoubleClickRow(list, Row(list, "Alpha"));
         DoubleClickRow(list, Row(list, "inner"));
         EXPECT_EQ(list->Directory(), inbound + "Alpha/inner/");
         DoubleClickRow(list, Row(list, "Inbound"));
       },
       inbound},
      {"arrows move the highlight, Return enters",
       [window, inbound](TDirDialogWindow& d, TDirectoryListBox* list) {
         list->setFocus();
         QTest::keyClick(window(d), Qt::Key_Down);
         EXPECT_EQ(list->currentItem(), Row(list, "Alpha"));
         EXPECT_EQ(list->Directory(), inbound);
         QTest::keyClick(window(d), Qt::Key_Down);
         QTest::keyClick(window(d), Qt::Key_Return);
         EXPECT_EQ(list->currentItem(), list->DirectoryItem());
       },
       inbound + "beta/"},
      {"up to the parent with the arrows and Return",
       [window](TDirDialogWindow& d, TDirectoryListBox* list) {
         list->setFocus();
         QTest::keyClick(window(d), Qt::Key_Up);
         QTest::keyClick(window(d), Qt::Key_Return);
       },
       base},
      {"Cancel",
       [](TDirDialogWindow& d, TDirectoryListBox* list) {
         DoubleClickRow(list, Row(list, "beta"));
         d.findChild<QPushButton*>("Button2")->click();
       },
       QString()},
  };
  TDirDialogWindow chooser;
  auto* label = chooser.findChild<QLabel*>("DirLabel");
  ASSERT_NE(label, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    chooser.SetDirectory(inbound);
    QTimer::singleShot(0, &chooser, [&] {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&chooser));
      test::SaveShot(chooser, "DirDialogWindow");
      c.steps(chooser, chooser.DirLB());
      // The label names the folder; a long path loses its middle only.
      EXPECT_EQ(label->toolTip(), chooser.GetDirectory());
      EXPECT_TRUE(label->text().endsWith(chooser.DirLB()->DirectoryItem()->text() + "/") ||
                  label->text() == "/")
          << label->text().toStdString();
      if (chooser.isVisible()) {
        // Return on the current folder is the dialog's OK.
        chooser.DirLB()->setFocus();
        chooser.DirLB()->setCurrentItem(chooser.DirLB()->DirectoryItem());
        QTest::keyClick(chooser.windowHandle(), Qt::Key_Return);
      }
    });
    const bool ok = chooser.Execute();
    EXPECT_EQ(ok, !c.chosen.isEmpty());
    if (ok) {
      EXPECT_EQ(chooser.GetDirectory(), c.chosen);
    }
  }
}

TEST(ChooserTest, DirectoryChooserOpensAtTheNearestFolderThatExists) {
  App();
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.Path());
  ASSERT_TRUE(QDir().mkpath(base + "Inbound"));
  TDirDialogWindow chooser;
  const std::vector<std::pair<QString, QString>> cases = {
      {base + "Inbound/gone/", base + "Inbound/"},
      {base + "gone/deeper/still/", base},
      {base + "Inbound/", base + "Inbound/"},
  };
  for (const auto& [given, shown] : cases) {
    SCOPED_TRACE(given.toStdString());
    chooser.SetDirectory(given);
    EXPECT_EQ(chooser.GetDirectory(), shown);
    EXPECT_EQ(TDirectoryListBox::ItemPath(chooser.DirLB()->DirectoryItem()), shown);
  }
}

}  // namespace
}  // namespace velmaris

// The find-and-replace form and the two choosers that wait for their answer
// by processing messages.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "QtTestApp.h"
#include "app/DirDialog.h"
#include "app/SearchAndReplace.h"
#include "support/TempDir.h"
#include "widgets/DirLists.h"
#include "widgets/ModalHook.h"

namespace velmaris {
namespace {

using test::App;

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
  list->setCurrentRow(0);  // ".."
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->Directory(), base);
  files.DoAppend->setChecked(true);
  EXPECT_TRUE(files.GetAppend());
}

}  // namespace
}  // namespace velmaris

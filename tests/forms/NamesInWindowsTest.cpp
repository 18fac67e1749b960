// File names typed into the windows, over the table of names: the window
// stores the name on disk (UTF-8, not the ANSI page), shows it again as
// typed, and what uses it finds the file: the hatch assistant hatches it,
// the autosend job sends its text, the filter keeps its files.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "FormsFixture.h"
#include "core/NetLink.h"
#include "platform/Files.h"
#include "processing/Secretary.h"
#include "processing/forms/AutoSendProperties.h"
#include "processing/forms/FilterProperties.h"
#include "processing/forms/HatchAss.h"
#include "support/NameTable.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"
#include "widgets/PageManager.h"

namespace velmaris::test {
namespace {

using NamesInWindowsTest = FormsFixture;

QString Shown(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }

// The file picked with the edit's button, as a user picks it. The file
// dialog takes a name with a double quote for a list of quoted names: such
// a name is typed.
void Pick(TFilenameEdit& edit, const std::string& path) {
  if (platform::NameOf(path).find('"') != std::string::npos) {
    edit.setText(Shown(path));
    return;
  }
  const ModalHook old = SetModalHook([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog) return int(QDialog::Rejected);
    dialog->selectFile(Shown(path));
    return int(QDialog::Accepted);
  });
  QTest::mouseClick(edit.Button(), Qt::LeftButton, {}, QPoint(4, 4));
  SetModalHook(old);
}

// The assistant hatches a file picked under each name a TIC line can carry
// (and reads its path as the name on disk, not its quoting); the others
// fail with the name readable on the result page, and why.
TEST_F(NamesInWindowsTest, TheHatchAssistantFindsEachFile) {
  TNetLink& link = *store->Uplinks().GetItem(0);
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    ::unlink(link.FlowFilePath().c_str());
    const std::string path = dir / ("Мои файлы/" + row.disk);
    platform::MakeDirs(dir / "Мои файлы/");
    platform::WriteFileAtomic(path, "contents");
    auto* w = new THatchAss(*store, nullptr);
    w->show();
    const auto next = [this, w] { QTest::mouseClick(Get<QPushButton>(*w, "DEL_Next"), Qt::LeftButton); };
    next();
    Pick(*Get<TFilenameEdit>(*w, "Filename"), path);
    next();
    ASSERT_EQ(w->Notebook()->PageIndex(), 2);
    Get<QPlainTextEdit>(*w, "Description")->setPlainText("Отчёт");
    next();
    Get<QComboBox>(*w, "AreaCombo")->setEditText("MYFILES");
    next();
    ASSERT_EQ(w->Notebook()->PageIndex(), 4);
    const bool ok = row.oem && !row.blankOrQuote;
    EXPECT_EQ(Get<QLabel>(*w, "LSuccess")->isVisible(), ok);
    if (ok) {
      EXPECT_EQ(platform::ReadFile(link.FlowFilePath()).rfind(path + "\r\n^", 0), 0u);
    } else {
      // The ANSI page lacks Ü: the message names its nearest letter.
      EXPECT_TRUE(Get<QLabel>(*w, "LFailed")
                      ->text()
                      .contains(QString::fromUtf8("The file name ") +
                                (row.ansi ? Shown(row.disk)
                                          : Shown(row.disk).replace(QChar(u'Ü'), QChar(u'U'))) +
                                QString::fromUtf8(" cannot be announced: ")))
          << Get<QLabel>(*w, "LFailed")->text().toStdString();
    }
    QPointer<THatchAss> guard(w);
    QTest::mouseClick(Get<QPushButton>(*w, "Finish"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
  }
}

// The autosend job's text file, picked in a folder whose name has a blank:
// stored as its name on disk (not its quoting), shown again as it is, and
// sent (not deactivated as missing).
TEST_F(NamesInWindowsTest, TheAutosendTextFileIsStoredAsTheFileOnDisk) {
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    const std::string path = dir / ("Моя рассылка/" + row.disk);
    platform::MakeDirs(dir / "Моя рассылка/");
    platform::WriteFileAtomic(path, "Hello\r\n");
    TAutoSendJobs list;
    auto owned = std::make_unique<TAutoSendJob>();
    owned->Area = "NETMAIL";
    owned->RecAddr = "2:5030/1";
    owned->Receiver = "Boss";
    TAutoSendJob& job = *list.AddJob(std::move(owned));
    TAutoSendEnv env;
    env.Store = store.get();
    env.Clock = [] { return EncodeDateTime(2026, 3, 25, 10, 0, 0); };
    auto* w = ShowAutoSendProperties(job, list, env);
    QPointer<QWidget> guard(w);
    Pick(*Get<TFilenameEdit>(*w, "EdText"), path);
    Get<QPushButton>(*w, "btnApply")->click();
    EXPECT_EQ(job.MailText, path);
    Get<QPushButton>(*w, "Button2")->click();  // send now
    EXPECT_TRUE(prompter.Questions().empty()) << prompter.Questions().front().text;
    EXPECT_EQ(job.Last, DateTimeToUnix(env.Clock()));
    Get<QPushButton>(*w, "btnCancel")->click();
    QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    auto* again = ShowAutoSendProperties(job, list, env);
    EXPECT_EQ(Get<TFilenameEdit>(*again, "EdText")->text(), Shown(path));
    again->close();
    QCoreApplication::sendPostedEvents(again, QEvent::DeferredDelete);
  }
}

// The filter's save file and answer file, picked, and its program's command
// line, typed: stored as the names on disk and shown again as they are.
TEST_F(NamesInWindowsTest, TheFiltersFilesAreStoredAsTheFilesOnDisk) {
  for (const TNameRow& row : NameTable()) {
    SCOPED_TRACE(row.what);
    TFilterList list;
    TFilter& f = *list.AddFilter("Names", std::make_unique<TFilter>());
    const std::string save = dir / ("Моя почта/" + row.disk + ".txt");
    const std::string program = dir / ("Программы/" + row.disk + ".sh") + " %filename";
    const std::string answer = dir / ("Мои ответы/" + row.disk);
    TFilterProperties* w = ShowFilterProperties(f, list, *store);
    QPointer<TFilterProperties> guard(w);
    Get<QCheckBox>(*w, "CbSave")->setChecked(true);
    Get<QCheckBox>(*w, "CbLaunch")->setChecked(true);
    Get<QCheckBox>(*w, "CbAnswer")->setChecked(true);
    platform::MakeDirs(dir / "Моя почта/");
    platform::MakeDirs(dir / "Мои ответы/");
    platform::WriteFileAtomic(answer, "Thanks\r\n");
    Pick(*Get<TFilenameEdit>(*w, "EdSave"), save);
    Get<TFilenameEdit>(*w, "EdLaunch")->setText(Shown(program));  // a command line
    Pick(*Get<TFilenameEdit>(*w, "EdAnswer"), answer);
    Get<QPushButton>(*w, "ApplyBtn")->click();
    EXPECT_EQ(f.SaveFile, save);
    EXPECT_EQ(f.Processor, program);
    EXPECT_EQ(f.Answer, answer);
    Get<QPushButton>(*w, "CancelBtn")->click();
    QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    TFilterProperties* again = ShowFilterProperties(f, list, *store);
    EXPECT_EQ(Get<TFilenameEdit>(*again, "EdSave")->text(), Shown(save));
    EXPECT_EQ(Get<TFilenameEdit>(*again, "EdLaunch")->text(), Shown(program));
    EXPECT_EQ(Get<TFilenameEdit>(*again, "EdAnswer")->text(), Shown(answer));
    Get<QPushButton>(*again, "CancelBtn")->click();
    QCoreApplication::sendPostedEvents(again, QEvent::DeferredDelete);
  }
}

// Names an earlier version stored in CP1251 ("Почта": CF EE F7 F2 E0), the
// autosend text quoted as it used to be: the windows show them readably,
// OK with nothing changed gives back the stored bytes, and an edited field
// keeps the bytes of the folder it did not change.
TEST_F(NamesInWindowsTest, NamesStoredInCp1251ComeBackByteForByte) {
  const std::string folder = dir / "\xCF\xEE\xF7\xF2\xE0/";
  const QString shown = Shown(dir / "Почта/");
  platform::MakeDirs(folder);
  platform::WriteFileAtomic(folder + "answer.txt", "Thanks\r\n");
  platform::WriteFileAtomic(folder + "weekly.txt", "Hello\r\n");
  TFilterList filters;
  TFilter& f = *filters.AddFilter("Names", std::make_unique<TFilter>());
  f.DoLaunch = f.DoAnswer = f.DoSave = true;
  f.Processor = folder + "run.sh %filename";
  f.Answer = folder + "answer.txt";
  f.SaveFile = folder + "saved.txt";
  TFilterProperties* w = ShowFilterProperties(f, filters, *store);
  EXPECT_EQ(Get<TFilenameEdit>(*w, "EdLaunch")->text(), shown + "run.sh %filename");
  EXPECT_EQ(Get<TFilenameEdit>(*w, "EdAnswer")->text(), shown + "answer.txt");
  Get<TFilenameEdit>(*w, "EdSave")->setText(shown + "kept.txt");
  Get<QPushButton>(*w, "ApplyBtn")->click();
  EXPECT_EQ(f.Processor, folder + "run.sh %filename");
  EXPECT_EQ(f.Answer, folder + "answer.txt");
  EXPECT_EQ(f.SaveFile, folder + "kept.txt");
  Get<QPushButton>(*w, "CancelBtn")->click();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);

  TAutoSendJobs jobs;
  TAutoSendJob& job = *jobs.AddJob(std::make_unique<TAutoSendJob>());
  job.MailText = "\"" + folder + "weekly.txt\"";
  TAutoSendEnv env;
  env.Store = store.get();
  auto* a = ShowAutoSendProperties(job, jobs, env);
  EXPECT_EQ(Get<TFilenameEdit>(*a, "EdText")->text(), shown + "weekly.txt");
  QTest::keyClicks(Get<QLineEdit>(*a, "EdName"), "Weekly");  // another field changed
  ASSERT_TRUE(Get<QPushButton>(*a, "btnApply")->isEnabled());
  Get<QPushButton>(*a, "btnApply")->click();
  EXPECT_NE(job.Name.find("Weekly"), std::string::npos);
  EXPECT_EQ(job.MailText, "\"" + folder + "weekly.txt\"");
  a->close();
  QCoreApplication::sendPostedEvents(a, QEvent::DeferredDelete);
}

// The CP866 tag RU.ТЕСТ (stored in CP1251) and its UTF-8 twin show alike in
// the area combos; the row picked is the area stored, by its bytes, and
// shown again when the window opens anew.
TEST_F(NamesInWindowsTest, TwinAreasPickedInTheAreaCombosAreStoredByTheirBytes) {
  const std::string cp866Twin = "RU.\xD2\xC5\xD1\xD2";
  const std::string utf8Twin = "RU.ТЕСТ";
  ASSERT_NE(store->AddAreaQuiet(cp866Twin, cp866Twin, AreaTypeCode::Echomail, nullptr), nullptr);
  ASSERT_NE(store->AddAreaQuiet(utf8Twin, utf8Twin, AreaTypeCode::Echomail, nullptr), nullptr);
  const int cp866Row = store->Areas().IndexOfName(cp866Twin);
  const int utf8Row = store->Areas().IndexOfName(utf8Twin);
  ASSERT_GE(cp866Row, 0);
  ASSERT_GT(utf8Row, cp866Row);

  TFilterList filters;
  TFilter& f = *filters.AddFilter("Twins", std::make_unique<TFilter>());
  TFilterProperties* w = ShowFilterProperties(f, filters, *store);
  QComboBox* area = Get<QComboBox>(*w, "coArea");
  QComboBox* copy = Get<QComboBox>(*w, "CoCopy");
  ASSERT_EQ(area->itemText(cp866Row), area->itemText(utf8Row));
  Get<QCheckBox>(*w, "CbArea")->setChecked(true);
  area->setCurrentIndex(utf8Row);
  Get<QCheckBox>(*w, "CbCopy")->setChecked(true);
  copy->setCurrentIndex(utf8Row);
  Get<QPushButton>(*w, "ApplyBtn")->click();
  EXPECT_EQ(f.Area(), utf8Twin);
  EXPECT_EQ(f.CopyArea, utf8Twin);
  Get<QPushButton>(*w, "CancelBtn")->click();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
  // Opened anew, the window shows the twin stored; the other one is picked.
  w = ShowFilterProperties(f, filters, *store);
  area = Get<QComboBox>(*w, "coArea");
  EXPECT_EQ(area->currentIndex(), utf8Row);
  EXPECT_EQ(Get<QComboBox>(*w, "CoCopy")->currentIndex(), utf8Row);
  area->setCurrentIndex(cp866Row);
  Get<QPushButton>(*w, "ApplyBtn")->click();
  EXPECT_EQ(f.Area(), cp866Twin);
  EXPECT_EQ(f.CopyArea, utf8Twin);
  Get<QPushButton>(*w, "CancelBtn")->click();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);

  TAutoSendJobs jobs;
  TAutoSendJob& job = *jobs.AddJob(std::make_unique<TAutoSendJob>());
  job.Area = cp866Twin;
  TAutoSendEnv env;
  env.Store = store.get();
  auto* a = ShowAutoSendProperties(job, jobs, env);
  QComboBox* jobArea = Get<QComboBox>(*a, "CbArea");
  EXPECT_EQ(jobArea->currentIndex(), cp866Row);
  jobArea->setCurrentIndex(utf8Row);
  ASSERT_TRUE(Get<QPushButton>(*a, "btnApply")->isEnabled());
  Get<QPushButton>(*a, "btnApply")->click();
  EXPECT_EQ(job.Area, utf8Twin);
  a->close();
  QCoreApplication::sendPostedEvents(a, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace velmaris::test

// The autosend job window: the controls that follow the chosen modes, the
// next due date of the edited values, Apply, Cancel and send-now.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "FormsFixture.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/forms/AutoSendProperties.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {
namespace {

using AutoSendPropertiesTest = FormsFixture;

TEST_F(AutoSendPropertiesTest, EditsAWorkingCopyAndSendsIt) {
  platform::WriteFileAtomic(dir / "note.txt", "Hello\r\n");
  TAutoSendJobs list;
  auto owned = std::make_unique<TAutoSendJob>();
  owned->Area = "NETMAIL";
  owned->MailText = dir / "note.txt";
  owned->RecAddr = "2:5030/1";
  owned->Receiver = "Boss";
  TAutoSendJob& job = *list.AddJob(std::move(owned));
  TAutoSendEnv env;
  env.Store = store.get();
  env.Clock = [] { return EncodeDateTime(2026, 3, 25, 10, 0, 0); };
  auto* w = ShowAutoSendProperties(job, list, env);
  QPointer<QWidget> guard(w);
  EXPECT_EQ(w->windowTitle(), "Properties of New autosend job");
  EXPECT_EQ(Get<QLabel>(*w, "LbLast")->text(), "-");
  EXPECT_EQ(Get<QLabel>(*w, "LbNext")->text(), "25.03.26");
  EXPECT_TRUE(Get<TVxSpinEdit>(*w, "RxDays")->isEnabled());
  EXPECT_FALSE(Get<TVxSpinEdit>(*w, "RxDate")->isEnabled());
  EXPECT_FALSE(Get<QComboBox>(*w, "EdList")->isEnabled());
  QPushButton* apply = Get<QPushButton>(*w, "btnApply");
  EXPECT_FALSE(apply->isEnabled());
  Shot(*w, "AutoSendProperties");

  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  ClickThroughWindow(Get<QRadioButton>(*w, "SendMode1"));
  Get<TVxSpinEdit>(*w, "RxDate")->SetValue(15);
  EXPECT_FALSE(Get<TVxSpinEdit>(*w, "RxDays")->isEnabled());
  EXPECT_TRUE(Get<TVxSpinEdit>(*w, "RxDate")->isEnabled());
  EXPECT_EQ(Get<QLabel>(*w, "LbNext")->text(), "15.03.26");  // never sent: due at once
  EXPECT_TRUE(apply->isEnabled());
  EXPECT_EQ(job.SendMode, 0);  // the job waits for Apply
  Get<QLineEdit>(*w, "EdName")->clear();
  ClickThroughWindow(Get<QLineEdit>(*w, "EdName"));
  TypeThroughWindow(w, "Monthly");
  ClickThroughWindow(apply);
  EXPECT_EQ(job.SendMode, 1);
  EXPECT_EQ(job.SendDate, 15);
  EXPECT_EQ(list.GetString(0), "Monthly");
  EXPECT_EQ(w->windowTitle(), "Properties of Monthly");

  Get<QPushButton>(*w, "Button2")->click();  // send now
  EXPECT_EQ(job.Last, DateTimeToUnix(env.Clock()));
  EXPECT_EQ(Get<QLabel>(*w, "LbLast")->text(), "25.03.26");
  EXPECT_EQ(Get<QLabel>(*w, "LbNext")->text(), "15.04.26");

  Get<QCheckBox>(*w, "CbActive")->click();
  Get<QPushButton>(*w, "btnCancel")->click();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
  EXPECT_TRUE(guard.isNull());
  EXPECT_FALSE(job.Active);
}

// The whole text is in view: with the cursor at its end, its first
// character is still at the left edge.
bool ShowsWhole(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(static_cast<int>(text.size()));
  return edit->cursorPositionAt(QPoint(edit->contentsRect().left() + 1, edit->height() / 2)) == 0;
}

TEST_F(AutoSendPropertiesTest, TheReceiversNameHasRoomBesideItsAddress) {
  TAutoSendJobs list;
  TAutoSendJob& job = *list.AddJob(std::make_unique<TAutoSendJob>());
  TAutoSendEnv env;
  env.Store = store.get();
  auto* w = ShowAutoSendProperties(job, list, env);
  QPointer<QWidget> guard(w);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  auto* name = Get<QComboBox>(*w, "EdRec");
  auto* address = Get<QLineEdit>(*w, "EdAddr");
  const QSize first = w->size();
  // At the first size, at the narrowest and a little wider, and wide.
  const QSize sizes[] = {first, w->minimumSizeHint(), first - QSize(60, 0), first * 2};
  for (const QSize& size : sizes) {
    w->resize(size);
    QCoreApplication::processEvents();
    SCOPED_TRACE(std::to_string(w->width()) + " px");
    for (const char* text : {"Ivan Petrov", "Иван Петрович Сидоров", "Александра Кузнецова"})
      EXPECT_TRUE(ShowsWhole(name->lineEdit(), QString::fromUtf8(text))) << text;
    for (const char* text : {"2:5020/1042", "2:5020/1042.15"})
      EXPECT_TRUE(ShowsWhole(address, QString::fromUtf8(text))) << text;
    EXPECT_GT(name->width(), address->width());
    if (size == first) Shot(*w, "AutoSendReceiver");
  }
  w->close();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
}

// A text longer than its field shows its start, not its end.
TEST_F(AutoSendPropertiesTest, LongTextsShowTheirStart) {
  TAutoSendJobs list;
  TAutoSendJob& job = *list.AddJob(std::make_unique<TAutoSendJob>());
  const std::string longText = platform::FromUtf8(
      "Иван Петрович Сидоров-Кузнецов, начальник отдела связи и всех его точек",
      platform::AnsiCodePage());
  job.Name = job.Receiver = job.RecList = job.Area = job.Subject = longText;
  job.RecAddr = "2:5020/1042.15";
  TAutoSendEnv env;
  env.Store = store.get();
  auto* w = ShowAutoSendProperties(job, list, env);
  QPointer<QWidget> guard(w);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  struct Field {
    const char* name;
    bool combo;
  };
  const Field fields[] = {{"EdRec", true},  {"EdList", true},     {"CbArea", true},
                          {"EdName", false}, {"EdSubject", false}, {"EdAddr", false}};
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    QLineEdit* e = f.combo ? Get<QComboBox>(*w, f.name)->lineEdit() : Get<QLineEdit>(*w, f.name);
    ASSERT_NE(e, nullptr);
    if (std::string(f.name) != "EdAddr") {
      ASSERT_GT(e->fontMetrics().horizontalAdvance(e->text()), e->width());  // longer than it
    }
    // The character at the field's left edge is the text's first.
    EXPECT_EQ(e->cursorPositionAt(QPoint(e->contentsRect().left() + 4, e->height() / 2)), 0);
  }
  w->close();
  QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
}

TEST_F(AutoSendPropertiesTest, OneWindowPerJobGoingWithTheJob) {
  auto list = std::make_unique<TAutoSendJobs>();
  TAutoSendJob& job = *list->AddJob(std::make_unique<TAutoSendJob>());
  TAutoSendEnv env;
  env.Store = store.get();
  QPointer<QWidget> w(ShowAutoSendProperties(job, *list, env));
  EXPECT_EQ(ShowAutoSendProperties(job, *list, env), w);
  list.reset();
  EXPECT_TRUE(w.isNull());
}

}  // namespace
}  // namespace velmaris::test

// The hatch assistant driven through its pages: no file chosen goes back,
// the description typed for a plain file stays, the first uplink is chosen,
// and the result page shows success (flow file written) or failure.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "FormsFixture.h"
#include "core/NetLink.h"
#include "platform/Files.h"
#include "processing/forms/HatchAss.h"
#include "widgets/FileEdits.h"
#include "widgets/PageManager.h"

namespace velmaris::test {
namespace {

class HatchAssTest : public FormsFixture {
 protected:
  void Next(QWidget& w) { QTest::mouseClick(Get<QPushButton>(w, "DEL_Next"), Qt::LeftButton); }
};

TEST_F(HatchAssTest, WalksThePagesAndHatches) {
  platform::WriteFileAtomic(dir / "notes.txt", "Some notes\r\n");
  struct Row {
    const char* area;
    bool ok;
  } rows[] = {{"MYFILES", true}, {"MY/FILES", false}};
  for (const Row& row : rows) {
    auto* w = new THatchAss(*store, nullptr);
    w->show();
    EXPECT_FALSE(Get<QPushButton>(*w, "Finish")->isVisible());
    Next(*w);
    EXPECT_EQ(w->Notebook()->PageIndex(), 1);
    Next(*w);  // no file chosen: back to the file page
    EXPECT_EQ(w->Notebook()->PageIndex(), 1);
    Get<TFilenameEdit>(*w, "Filename")->setText(QString::fromStdString(dir / "notes.txt"));
    Get<QPlainTextEdit>(*w, "Description")->setPlainText("My notes\nSecond line");
    Next(*w);
    EXPECT_EQ(w->Notebook()->PageIndex(), 2);
    EXPECT_EQ(Get<QPlainTextEdit>(*w, "Description")->toPlainText(), "My notes\nSecond line");
    Next(*w);
    EXPECT_EQ(Get<QComboBox>(*w, "NLCombo")->currentIndex(), 0);
    Get<QComboBox>(*w, "AreaCombo")->setEditText(row.area);
    if (row.ok) Shot(*w, "HatchAss");
    Next(*w);
    EXPECT_EQ(w->Notebook()->PageIndex(), 4);
    EXPECT_TRUE(Get<QPushButton>(*w, "Finish")->isVisible());
    EXPECT_FALSE(Get<QPushButton>(*w, "DEL_Prev")->isVisible());
    EXPECT_EQ(Get<QLabel>(*w, "LSuccess")->isVisible(), row.ok) << row.area;
    EXPECT_EQ(Get<QLabel>(*w, "LFailed")->isVisible(), !row.ok) << row.area;
    QPointer<THatchAss> guard(w);
    QTest::mouseClick(Get<QPushButton>(*w, "Finish"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(w, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
  }
  const std::string flow = platform::ReadFile(store->Uplinks().GetItem(0)->FlowFilePath());
  EXPECT_EQ(flow.rfind(dir / "notes.txt\r\n^", 0), 0u) << flow;
}

}  // namespace
}  // namespace velmaris::test

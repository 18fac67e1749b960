// The unpacker's progress window: shown for an extraction with its archive
// line and a full bar at the end, and gone when the run is over.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "FormsFixture.h"
#include "archive/Unpacker.h"
#include "archive/forms/VUPProgress.h"

namespace velmaris::test {
namespace {

using VUPProgressTest = FormsFixture;

std::vector<TVUPProgressWindow*> Windows() {
  std::vector<TVUPProgressWindow*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* window = qobject_cast<TVUPProgressWindow*>(w)) found.push_back(window);
  return found;
}

TEST_F(VUPProgressTest, AWindowShowsTheRunAndGoesWithIt) {
  dir.Write("src/one.pkt", std::string(100000, 'x'));
  ASSERT_EQ(RunShell("cd " + ShellQuote(dir / "src") + " && zip -q -X " +
                     ShellQuote(dir / "in.zip") + " one.pkt"),
            0);
  InstallVUPProgressView();
  TVUPProgress progress;
  QString caption, archive;
  int position = -1;
  bool shown = false;
  QPointer<TVUPProgressWindow> closing;
  progress.OnClose = [&](TVUPProgress&) {
    ASSERT_EQ(Windows().size(), 1u);
    TVUPProgressWindow& window = *Windows()[0];
    closing = &window;
    shown = window.isVisible();
    caption = window.windowTitle();
    archive = window.LbArchive->text();
    position = window.ProgressBar->value();
    Shot(window, "VUPProgress");
  };
  EXPECT_EQ(progress.Extract(ekUnZIP, dir / "in.zip", dir / "out/"), 0);
  RemoveVUPProgressView();
  EXPECT_TRUE(shown);
  EXPECT_EQ(caption, "Integrated UnZIP");
  EXPECT_EQ(archive.toStdString(), "Entpacke in.zip nach " + dir / "out/" + " ...");
  EXPECT_EQ(position, 100);
  ASSERT_FALSE(closing.isNull());
  QCoreApplication::sendPostedEvents(closing, QEvent::DeferredDelete);
  EXPECT_TRUE(closing.isNull());
  EXPECT_EQ(dir.Read("out/one.pkt").size(), 100000u);
}

}  // namespace
}  // namespace velmaris::test

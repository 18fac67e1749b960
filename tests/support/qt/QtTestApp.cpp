#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTest>
#include <QWindow>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "support/TempDir.h"

namespace velmaris::test {

namespace {

// The application lives from before the first test until after the last
// one and is deleted before the program exits: a QApplication destroyed by
// the exit handlers would meet Qt's own globals (the input device list among
// them) already gone.
// Windows store their places and bars in the default registry: the suites
// keep it in a folder of their own, never in the user's configuration.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    configHome_ = std::make_unique<TempDir>();
    setenv("XDG_CONFIG_HOME", configHome_->Path().c_str(), 1);
    // Qt's runtime folder too is the suite's own and goes with it, rather
    // than the runtime-<user> Qt makes in the temporary folder and leaves.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      runtime_ = std::make_unique<RuntimeDir>();
      setenv("XDG_RUNTIME_DIR", runtime_->Path().c_str(), 1);
    }
    App();
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
    configHome_.reset();
    if (runtime_) unsetenv("XDG_RUNTIME_DIR");
    runtime_.reset();
  }
  static QApplication* app_;

 private:
  std::unique_ptr<TempDir> configHome_;
  std::unique_ptr<RuntimeDir> runtime_;
};

QApplication* QtEnvironment::app_ = nullptr;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QApplication& App() {
  static int argc = 1;
  static char name[] = "velmaris-tests";
  static char* argv[] = {name, nullptr};
  if (!QtEnvironment::app_) QtEnvironment::app_ = new QApplication(argc, argv);
  return *QtEnvironment::app_;
}

namespace {

QWindow* ShownWindow(QWidget* w) {
  QWindow* window = w ? w->window()->windowHandle() : nullptr;
  return window && window->isVisible() ? window : nullptr;
}

}  // namespace

bool ClickThroughWindow(QWidget* w, QPoint pos) {
  QWindow* window = ShownWindow(w);
  if (!window) return false;
  if (pos.isNull()) pos = w->rect().center();
  QTest::mouseClick(window, Qt::LeftButton, {}, w->mapTo(w->window(), pos));
  return true;
}

bool DoubleClickThroughWindow(QWidget* w, QPoint pos) {
  QWindow* window = ShownWindow(w);
  if (!window) return false;
  if (pos.isNull()) pos = w->rect().center();
  QTest::mouseDClick(window, Qt::LeftButton, {}, w->mapTo(w->window(), pos));
  return true;
}

bool TypeThroughWindow(QWidget* w, const char* text) {
  QWindow* window = ShownWindow(w);
  if (!window) return false;
  for (const char* c = text; *c; ++c) QTest::keyClick(window, *c);
  return true;
}

bool KeyThroughWindow(QWidget* w, Qt::Key key) {
  QWindow* window = ShownWindow(w);
  if (!window) return false;
  QTest::keyClick(window, key);
  return true;
}

void SaveShot(QWidget& w, const char* name) {
  const char* folder = std::getenv("VELMARIS_SHOTS");
  if (!folder) return;
  QCoreApplication::processEvents();
  w.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

void ExpectPassesOnScreen(const std::string& folder, QSize screen, const std::string& test) {
  SCOPED_TRACE(std::to_string(screen.width()) + "x" + std::to_string(screen.height()));
  std::ofstream(folder + "/screen.json")
      << "{\"screens\": [{\"name\": \"S\", \"x\": 0, \"y\": 0, \"width\": " << screen.width()
      << ", \"height\": " << screen.height() << ", \"logicalDpi\": 96}]}";
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // Named from the child's folder: the platform reads its options in
  // Latin-1, and the test's folder has other letters.
  env.insert("QT_QPA_PLATFORM", "offscreen:configfile=screen.json");
  child.setProcessEnvironment(env);
  child.setWorkingDirectory(QString::fromStdString(folder));
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests", QString::fromStdString("--gtest_filter=" + test)});
  ASSERT_TRUE(child.waitForFinished(15 * 60 * 1000));
  const std::string out = child.readAll().toStdString();
  EXPECT_EQ(child.exitCode(), 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

}  // namespace velmaris::test

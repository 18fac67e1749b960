#include "QtTestApp.h"

#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>

namespace velmaris::test {

namespace {

// The application lives from before the first test until after the last
// one and is deleted before the program exits: a QApplication destroyed by
// the exit handlers would meet Qt's own globals (the input device list among
// them) already gone.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { App(); }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }
  static QApplication* app_;
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

void SaveShot(QWidget& w, const char* name) {
  const char* folder = std::getenv("VELMARIS_SHOTS");
  if (!folder) return;
  QCoreApplication::processEvents();
  w.grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

}  // namespace velmaris::test

// The settings window on a main window, with pickers answered through the
// modal hook and the batch driver run on the same start directory.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "MainWindowFixture.h"
#include "app/AreaProperties.h"
#include "app/MailboxProperties.h"
#include "app/SettingsDialog.h"
#include "archive/PackerConfig.h"
#include "core/AddressBook.h"
#include "core/MailBox.h"
#include "core/forms/AddressProperties.h"
#include "core/forms/SrchMaskProperties.h"
#include "processing/GlobalDupeChecker.h"
#include "widgets/FileEdits.h"
#include "widgets/ModalHook.h"
#include "widgets/PageControl98.h"
#include "widgets/VxSpin.h"

namespace velmaris::test {

class SettingsApplyTest : public MainWindowFixture {
 protected:
  // The settings of the running program: its duplicate checker is open on
  // the message base, as the start-up opens it.
  void OpenSettings() {
    if (!IsDupeCheckerOpen()) OpenDupeChecker(Store().MessageBaseDir(), Start());
    dialog = std::make_unique<TSettingsDialog>(Store(), GetPackerList(), nullptr);
    dialog->show();
  }
  // The end of the program: the window goes, then the checker (saved).
  void EndProgram() {
    dialog.reset();
    window.reset();
    if (IsDupeCheckerOpen()) CloseDupeChecker();
  }
  void TearDown() override {
    EndProgram();
    MainWindowFixture::TearDown();
  }
  TConfigStore& Store() { return window->ConfigStore(); }
  template <class T>
  T* Find(const char* name) {
    T* found = dialog->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  // Picks the font of the sample panel through the font dialog.
  void PickFont(const char* sample, int pointSize) {
    const ModalHook old = SetModalHook([pointSize](QWidget* w) {
      auto* fonts = qobject_cast<QFontDialog*>(w);
      if (!fonts) return int(QDialog::Rejected);
      QFont font = fonts->currentFont();
      font.setPointSize(pointSize);
      fonts->setCurrentFont(font);
      return int(QDialog::Accepted);
    });
    Click(sample);
    SetModalHook(old);
  }
  std::string Batch(const std::string& command) {
    std::string out;
    EXPECT_EQ(RunShell(ShellQuote(VELMARIS_BATCH) + " --dir " + ShellQuote(Start()) +
                           " --registry " + ShellQuote(RegistryPath()) + " " + command + " 2>&1",
                       &out),
              0)
        << out;
    return out;
  }

  // The message count of the area in the batch driver's area list; -1 when
  // it is not listed.
  int BatchCount(const std::string& name) {
    std::istringstream lines(Batch("areas"));
    for (std::string line; std::getline(lines, line);) {
      if (line.find("\"name\":\"" + name + "\"") == std::string::npos) continue;
      const size_t at = line.find("\"count\":");
      return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 8);
    }
    return -1;
  }

  // Runs body inside the settings' own modal loop (exec), then cancels them.
  void WhileModal(const std::function<void()>& body) {
    dialog->hide();  // the modality takes effect when the window is shown
    QTimer::singleShot(0, dialog.get(), [this, body] {
      body();
      dialog->reject();
    });
    dialog->exec();
  }

  std::unique_ptr<TSettingsDialog> dialog;
};

}  // namespace velmaris::test

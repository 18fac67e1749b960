// Failures in app/: what the logic raises is caught at the latest in the Qt
// event handler and reported through the Prompter (a message box); at the
// shut-down, where no box may appear, it goes to the configuration store's
// log. A failure before the message loop ends the program (main.cpp).
//
// The program's start and end: the single-instance guard, the splash
// window, the long-lived windows in their fixed order, the message loop,
// and the ordered shut-down.
#pragma once

#include <memory>
#include <string>

#include "app/QtDispatcher.h"
#include "app/QtPrompter.h"
#include "core/MailLock.h"

class QSocketNotifier;

namespace velmaris {

namespace platform {
class InstanceGuard;
}
class TKQMainWindow;
class TSplashWin;
class TAutoSendScheduler;

struct TStartOptions {
  std::string startDir;      // empty: the current directory
  std::string registryPath;  // empty: the platform's registry file
  std::string guardPath;     // empty: the platform's guard file
};

class TVelmarisApp {
 public:
  // Needs the QApplication. Nothing happens until Start.
  explicit TVelmarisApp(TStartOptions options = {});
  // Shuts down when that has not happened yet.
  ~TVelmarisApp();
  TVelmarisApp(const TVelmarisApp&) = delete;
  TVelmarisApp& operator=(const TVelmarisApp&) = delete;

  // The start-up up to the shown main window. False when another copy runs
  // or the guard fails: the user has been told, no window exists and the
  // program must end. Other failures raise.
  bool Start();
  // The message loop, until the main window closes; then the shut-down.
  int Run();
  // Destroys the main window (which saves the layout and the
  // configuration), closes the duplicate database and releases the guard.
  void Shutdown();

  TKQMainWindow* MainWindow() const { return mainWindow_.get(); }
  const std::string& StartDirectory() const { return startDir_; }

 private:
  void StartWindows();
  // The registry file: the options' or the user's default.
  std::string RegistryPath() const;
  void WatchTerminateSignals();
  void UnwatchTerminateSignals();

  TStartOptions options_;
  std::string startDir_;
  QtDispatcher dispatcher_;
  QtPrompter prompter_;
  std::unique_ptr<platform::InstanceGuard> guard_;
  std::unique_ptr<TMailLock> startDirGuard_;
  std::unique_ptr<TSplashWin> splash_;
  std::unique_ptr<TKQMainWindow> mainWindow_;
  std::unique_ptr<TAutoSendScheduler> autoSend_;
  std::unique_ptr<QSocketNotifier> signalNotifier_;
  bool started_ = false;
  bool terminateRequested_ = false;
};

}  // namespace velmaris

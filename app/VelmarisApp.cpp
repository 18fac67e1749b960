#include "app/VelmarisApp.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "app/KQMainWindow.h"
#include "app/SplashWin.h"
#include "app/logic/Startup.h"
#include "core/DateFormat.h"
#include "core/MailLock.h"
#include "mailer/CMThreads.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/AutoSend.h"
#include "processing/ExportJournal.h"
#include "processing/GlobalDupeChecker.h"
#include "widgets/OnScreen.h"

namespace velmaris {

namespace {

// The end of the session, a kill or Ctrl+C in the terminal close the main
// window as the user would, so that the configuration is saved. The signal
// handler only writes a byte into a pipe that the event loop watches.
int gSignalPipe[2] = {-1, -1};

extern "C" void OnTerminateSignal(int) {
  const char byte = 1;
  if (gSignalPipe[1] >= 0) (void)!write(gSignalPipe[1], &byte, 1);
}

}  // namespace

TVelmarisApp::TVelmarisApp(TStartOptions options) : options_(std::move(options)) {}

TVelmarisApp::~TVelmarisApp() { Shutdown(); }

std::string TVelmarisApp::RegistryPath() const {
  return options_.registryPath.empty() ? platform::DefaultRegistryPath() : options_.registryPath;
}

void TVelmarisApp::WatchTerminateSignals() {
  if (gSignalPipe[0] >= 0) return;
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalNotifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [this] {
    char buffer[16];
    while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    // A message box may be open in a nested loop: end every loop, then close
    // the main window, which ends the main loop as the user's close does.
    // Before the main loop runs, Run sees the request.
    terminateRequested_ = true;
    if (mainWindow_) mainWindow_->close();
    QApplication::exit(0);
  });
  struct sigaction action {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

void TVelmarisApp::UnwatchTerminateSignals() {
  // Only the copy that made the pipe closes it.
  if (!signalNotifier_ || gSignalPipe[0] < 0) return;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
  signalNotifier_.reset();
  close(gSignalPipe[0]);
  close(gSignalPipe[1]);
  gSignalPipe[0] = gSignalPipe[1] = -1;
}

bool TVelmarisApp::Start() {
  // A session that ends while a box is open closes it, the guard's too.
  WatchTerminateSignals();

  // 1. Only one copy runs. The guard is an flock, so the system releases it
  // whenever this process ends. A copy that must end tells the user and
  // touches nothing a running copy uses (the process-wide services, the
  // duplicate database).
  guard_ = std::make_unique<platform::InstanceGuard>(
      options_.guardPath.empty() ? platform::InstanceGuard::DefaultPath() : options_.guardPath);
  if (!TakeInstanceGuard(*guard_, prompter_, &std::cerr)) {
    guard_.reset();
    return false;
  }
  // 3. The start directory and the mail the registry names, which have one
  // owner: this program or a batch run, whatever start directory it has.
  startDir_ =
      options_.startDir.empty() ? CurrentStartDirectory() : StartDirectoryOf(options_.startDir);
  startDirGuard_ = std::make_unique<TMailLock>(startDir_, RegistryPath());
  if (!TakeStartDirectory(*startDirGuard_, prompter_, &std::cerr)) {
    startDirGuard_.reset();
    guard_.reset();
    return false;
  }
  // A change of the message base folder in the settings moves its lock.
  SetMailLockInForce(startDirGuard_.get());
  // The line device's debug log lies in the start directory, wherever the
  // program was started from.
  SetTapiDebugLogPath(startDir_ + "cmdebug.txt");
  started_ = true;

  // 2. The process-wide services: window work and message boxes go to the
  // Qt event loop from now on; the date pattern follows the locale until
  // the main window fixes it.
  platform::SetDispatcher(&dispatcher_);
  platform::SetPrompter(&prompter_);
  InitDateFormat();

  try {
    StartWindows();
  } catch (...) {
    // A failure before the message loop ends the program; the splash
    // window goes first, so that the caller's report stands alone.
    splash_.reset();
    throw;
  }

  // The due scheduled mails are sent, and looked for again while the
  // program runs.
  if (TAutoSendJobs* jobs = GetAutoSendJobs()) {
    TAutoSendEnv env;
    env.Store = &mainWindow_->ConfigStore();
    autoSend_ = std::make_unique<TAutoSendScheduler>(*jobs, env);
    autoSend_->Start();
  }
  return true;
}

void TVelmarisApp::StartWindows() {
  // The duplicate database of the tosser; opened after the guard, so that a
  // copy that must end never touches it.
  OpenDupeChecker(startDirGuard_->MessageBaseDir(), startDir_);

  // 4. The splash window, painted at once. The windows are looked at from
  // now on: the frame the window manager gives the splash places the main
  // window before it is mapped.
  KeepWindowsOnScreen();
  splash_ = std::make_unique<TSplashWin>();
  splash_->ShowNow();

  // 5. The application title.
  QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));

  // 6. The long-lived windows, in this order. The main window loads the
  // configuration.
  mainWindow_ = std::make_unique<TKQMainWindow>(startDir_, RegistryPath());
  prompter_.SetParent(mainWindow_.get());
  // The message loop runs until the main window closes, even while the file
  // request editor or a mailer window is still shown; the shut-down then
  // frees them.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(mainWindow_.get(), &TKQMainWindow::Closed, [] { QApplication::exit(0); });
  // An export that was cut off is finished now that the packers are known.
  TConfigStore& store = mainWindow_->ConfigStore();
  for (const std::string& path : {startDir_ + kExportJournalName, ExportJournalPath(store)}) {
    std::vector<std::string> recovered;
    if (!RecoverExportJournal(path, &recovered, [&store] { return store.SaveConfiguration(); }))
      prompter_.Error("An export in " + platform::DirOf(path) +
                      " was cut off and could not be finished.");
    for (const std::string& line : recovered) std::cerr << "velmaris: " << line << std::endl;
  }
  // Then, as their subsystems come: the file request editor, the import
  // window, the nodelist processor, the automatic unpacking report, the
  // export window, the two area managers, the plug-in browser and the
  // unpack progress window.
  // 7. The area managers get their lists: "EchoAreas" with "AreaFix",
  // "FileAreas" with "FileScan".

  // 8. The splash window goes, 9. the main window shows.
  splash_.reset();
  mainWindow_->show();
  // A program started from the desktop has no terminal: a message base
  // folder found empty is said in a box, before the empty areas mislead.
  if (const std::string& gone = store.MessageBaseGone(); !gone.empty())
    prompter_.Warn(platform::AnsiToUtf8(gone));
  // So is an area whose index could be read only in part, as the batch's
  // area list says it: the area would show only what could be read.
  std::string damaged;
  for (const TArea* area : store.Areas().Areas()) {
    if (area->IndexDamage.empty()) continue;
    const std::string line = "area " + area->NameInAnsi() + ": " + area->IndexDamage;
    std::cerr << "velmaris: " << line << std::endl;
    damaged += (damaged.empty() ? "" : "\n") + line;
  }
  if (!damaged.empty()) prompter_.Warn(platform::AnsiToUtf8(damaged));
  // 10. The maintenance and optimisation asked for at start.
  mainWindow_->StartBackgroundRuns();
  // 12. The plug-in server, then the plug-in programs.
  mainWindow_->StartPlugins();
}

int TVelmarisApp::Run() {
  int rc = 0;
  if (started_ && !terminateRequested_) rc = QApplication::exec();
  if (terminateRequested_ && mainWindow_) mainWindow_->close();
  Shutdown();
  return rc;
}

void TVelmarisApp::Shutdown() {
  splash_.reset();
  autoSend_.reset();
  if (mainWindow_) {
    prompter_.SetParent(nullptr);
    mainWindow_.reset();
  }
  if (started_) {
    // The unit finalisations: the duplicate database is saved last.
    CloseDupeChecker();
    started_ = false;
  }
  if (MailLockInForce() == startDirGuard_.get()) SetMailLockInForce(nullptr);
  startDirGuard_.reset();
  guard_.reset();
  UnwatchTerminateSignals();
  if (&platform::GetPrompter() == &prompter_) platform::SetPrompter(nullptr);
  if (&platform::GetDispatcher() == &dispatcher_) platform::SetDispatcher(nullptr);
}

}  // namespace velmaris

// Job windows destroyed while their run still hands work to the main thread:
// the destruction serves the run's hand-overs instead of waiting for a
// thread that waits for it, and a run's end no longer reaches a window that
// is going away.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "MainWindowFixture.h"
#include "core/MailBox.h"
#include "core/Report.h"
#include "core/RunJournal.h"
#include "core/WinLst.h"
#include "processing/Exporter.h"
#include "processing/forms/JobWindows.h"

namespace velmaris::test {
namespace {

// The application's dispatcher with a gate for the hand-overs of workers:
// once armed, it lets `pass` more of them through and holds the next one
// until the main thread has come out of a wait (RunUntil), or has pumped
// for many rounds without doing so. A window's wait that has just seen the
// run's end is thus followed by the run's last hand-over, as when the
// worker is slow to reach it.
class GatedDispatcher : public QtDispatcher {
 public:
  void Arm(int pass) {
    std::lock_guard lock(mutex_);
    armed_ = true;
    pass_ = pass;
    rounds_ = 0;
  }
  bool Held() const { return held_.load(); }

  void Send(Task task) override {
    if (!IsMainThread()) {
      std::unique_lock lock(mutex_);
      if (armed_ && pass_-- <= 0) {
        held_.store(true);
        holding_ = true;
        open_.wait(lock, [this] { return !holding_; });
        armed_ = false;
      }
    }
    QtDispatcher::Send(std::move(task));
  }
  void ProcessMessages() override {
    QtDispatcher::ProcessMessages();
    std::lock_guard lock(mutex_);
    if (holding_ && ++rounds_ >= kRounds) Open();
  }
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
    const bool result = QtDispatcher::RunUntil(done, timeout);
    std::lock_guard lock(mutex_);
    if (holding_) Open();
    return result;
  }

 private:
  static constexpr int kRounds = 50;
  void Open() {
    holding_ = false;
    open_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable open_;
  bool armed_ = false;
  bool holding_ = false;
  int pass_ = 0;
  int rounds_ = 0;
  std::atomic<bool> held_{false};
};

// Arms the gate when the run has the mailer windows rescan the outbound
// directory: the run's end (passed) follows, then the pending call (held).
class ArmingRescan : public TOutboundRescan {
 public:
  explicit ArmingRescan(GatedDispatcher& gate) : gate_(gate) {}
  void RescanOutbound() override { gate_.Arm(1); }

 private:
  GatedDispatcher& gate_;
};

class JobWindowCloseTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    auto gate = std::make_unique<GatedDispatcher>();
    gate_ = gate.get();
    dispatcher = std::move(gate);
    platform::SetDispatcher(dispatcher.get());
  }
  void TearDown() override {
    SetOutboundRescan(nullptr);
    ASSERT_TRUE(platform::GetDispatcher().RunUntil(
        [] { return GetReportPoster().PendingCount() == 0; }, std::chrono::hours(1)));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MainWindowFixture::TearDown();
  }
  GatedDispatcher* gate_ = nullptr;
};

// A poll's export whose window goes (alone, or with the main window) while
// the run is about to hand its pending call over: the window's end waits
// for the run without a deadlock, the call is not made while the program
// ends, and the export leaves no journal of a half-done run.
TEST_F(JobWindowCloseTest, AnExportWindowGoingAwayDuringAPollsExportEndsCleanly) {
  enum class Destroy { ExportWindow, MainWindow };
  for (Destroy destroy : {Destroy::ExportWindow, Destroy::MainWindow}) {
    SCOPED_TRACE(destroy == Destroy::ExportWindow ? "export window" : "main window");
    TKQMainWindow& w = Open();
    // A mailbox without a command line: a call would end in its error box.
    auto box = std::make_unique<TMailBox>();
    box->Name = "Boss";
    const TMailBox* mailbox = box.get();
    w.ConfigStore().Mailboxes().Add(std::move(box));
    ArmingRescan rescan(*gate_);
    SetOutboundRescan(&rescan);

    if (destroy == Destroy::ExportWindow) {
      auto* form = new TExportForm(w.ConfigStore());
      form->PendingCall = mailbox;
      form->StartExport();
      delete form;
    } else {
      w.ExportWindow()->PendingCall = mailbox;
      w.ExportWindow()->StartExport();
      window.reset();
    }
    SetOutboundRescan(nullptr);
    EXPECT_TRUE(prompter.Questions().empty()) << "a call was made while the window went";
    EXPECT_FALSE(std::filesystem::exists(Start() + kExportJournalName));
    window.reset();
  }
}

// A maintenance or optimisation window destroyed while its run goes on: the
// run is cancelled and waited for, its hand-overs served; its end neither
// frees the window again nor chains another run.
TEST_F(JobWindowCloseTest, AnAreaRunWindowDestroyedDuringItsRunWaitsForIt) {
  struct Case {
    const char* name;
    std::function<TAreaRunWindow*()> start;
  } cases[] = {
      {"maintenance",
       [] {
         auto* window = new TMaintainWindow;
         window->StartMaintenance();
         return window;
       }},
      {"optimisation",
       [] {
         auto* window = new TOptimizeWindow;
         window->MaintainAfterwards = true;
         window->StartOptimize();
         return window;
       }},
  };
  Open();
  const int windows = WinLst().GetCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Not pumping before the window goes: the run's first hand-over waits.
    delete c.start();
    EXPECT_EQ(GetMaintainWindow(), nullptr);
    EXPECT_EQ(GetOptimizeWindow(), nullptr);
    EXPECT_EQ(WinLst().GetCount(), windows);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

}  // namespace
}  // namespace velmaris::test

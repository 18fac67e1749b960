// "poll ADDR": one call of the address through the mailer, as the poll
// command of the program makes it: the profile the address's mailbox names
// (else the first profile) dials on its configured line, with its redials,
// the numbers of the mailbox or else of the compiled nodelist (in KQLDIr, as
// "lookup" reads it), runs the EMSI handshake and the transfer, and the
// tosser runs afterwards as the program's import does (BatchToss.h) when the
// call brought mail and automatic import is on. Prints the session
// log, one object per line: {"line": the line with its time stamp, "text":
// the line without it}; the tosser's lines follow with "source": "tosser".
// Exit status 0 when a session ran to its end without a failure (a file the
// remote offered that could not be stored, refused or not created, is one) and
// the toss after it (when one ran) stored everything it found. An inbound
// that cannot keep files makes no call (the session says why: its log, then
// stderr).
//
// SIGTERM or SIGINT (a scheduler's time-out, a shut-down, Ctrl+C) ends the
// call as the user's hang-up does: the queued data is dropped, the
// protocol's abort frames go out, the line drops; the log is printed in
// full and posted to REPORT, no toss runs, and the exit status is 128 plus
// the signal's number. A second signal ends the process at once.
#include <signal.h>

#include <chrono>
#include <csignal>
#include <ostream>

#include "Batch.h"
#include "BatchStore.h"
#include "BatchToss.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/CMThreads.h"
#include "mailer/MailerSession.h"
#include "nodelist/NodelistLookup.h"
#include "platform/Dispatcher.h"

namespace velmaris::batch {
namespace {

// The mailer's stamp "dd/mm/yy hh:nn:ss" and one blank.
std::string WithoutMailerStamp(const std::string& line) {
  return line.size() >= 18 ? line.substr(18) : std::string();
}

std::string WithoutTosserStamp(const std::string& line) {
  const size_t pos = line.find("  ");
  return pos == std::string::npos ? line : line.substr(pos + 2);
}

// The signal that asks the poll to end (0: none); the handler only sets it.
volatile std::sig_atomic_t gEndSignal = 0;

void OnEndSignal(int signal) { gEndSignal = signal; }

// SIGTERM and SIGINT set gEndSignal while the poll runs; each handler is
// reset by its first signal (SA_RESETHAND), so a second one ends the
// process. The old handlers come back at the end.
class EndSignals {
 public:
  EndSignals() {
    gEndSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    ::sigaction(SIGTERM, &sa, &oldTerm_);
    ::sigaction(SIGINT, &sa, &oldInt_);
  }
  ~EndSignals() {
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGINT, &oldInt_, nullptr);
  }
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;
  int Received() const { return gEndSignal; }

 private:
  struct sigaction oldTerm_ {}, oldInt_ {};
};

TMailer* ProfileFor(TConfigStore& store, TMailerConfig& profiles, const TFidoAddr& address) {
  const TMBList& boxes = store.Mailboxes();
  for (int i = 0; i < boxes.GetCount(); ++i) {
    const TMailBox* box = boxes.GetItem(i);
    if (!box || !SameFidoAddress(box->Address.Address(), address)) continue;
    if (TMailer* named = profiles.FindMailer(box->Command)) return named;
  }
  return profiles.Mailers().GetCount() > 0 ? profiles.Mailers().GetMailer(0) : nullptr;
}

int PollCommand(BatchContext& ctx) {
  BatchArgs args(ctx.args, {});
  if (args.Positional().size() != 1) throw EBatchUsage("poll takes one address");
  const auto address = ParseFidoAddress(args.Positional()[0]);
  if (!address) throw EBatchUsage("not a network address: " + args.Positional()[0]);

  EndSignals signals;
  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  struct Restore {
    ~Restore() { platform::SetDispatcher(nullptr); }
  } restore;

  BatchStore config(ctx);
  // The line's debug log lives in the start directory, as the program's does.
  SetTapiDebugLogPath(config->StartDirectory() + "cmdebug.txt");
  TMailerConfig* profiles = GetMailerConfig();
  TMailer* profile = profiles ? ProfileFor(config.Store(), *profiles, *address) : nullptr;
  if (!profile) throw std::runtime_error("no mailer profile is configured");

  bool tossNow = false;
  std::vector<std::string> tosserLog;
  bool completed = false;
  std::string tossShortfall;  // why the toss after the call did not store all it found
  std::string failure;
  {
    TCMTAPIDevice device(dispatcher);
    device.ApplySettings(*config->Values());
    device.SetDeviceName(profile->TAPIDevice());
    TNodelistLookup nodelist;
    nodelist.SetPath(config->Values()->KQLDIr());
    TMailerContext mctx;
    mctx.Store = &config.Store();
    mctx.Nodelist = &nodelist;
    mctx.StartTosser = [&] { tossNow = true; };
    TMailerSession session(*profile, device, mctx);
    session.OnLogLine = [&](const std::string& line) {
      ctx.out << JsonLine().Str("line", line).Str("text", WithoutMailerStamp(line)).Text() << "\n";
    };
    session.ResetRedial();
    bool cut = false;
    // Run on the main thread between its tasks, never in the handler.
    auto endOnSignal = [&] {
      if (cut || !signals.Received()) return;
      cut = true;
      session.AddLogLine(std::string("USER Ended by ") +
                         (signals.Received() == SIGINT ? "SIGINT" : "SIGTERM"));
      session.PostLogOnEnd = true;
      session.CancelRedial();
      session.CutCall();
    };
    if (!signals.Received() && session.PollAddress(FidoAddressToStr(*address))) {
      dispatcher.RunUntil(
          [&] {
            endOnSignal();
            return session.Finished() && device.IsIdle();
          },
          std::chrono::hours(24));
    }
    endOnSignal();  // a signal before the call, or one the last round missed
    completed = session.Completed() && !cut;
    failure = session.Error();
    device.Close();
  }
  auto endedBySignal = [&] {
    const int signal = signals.Received();
    if (!signal) return 0;
    config->SaveConfiguration();
    ctx.out.flush();
    ctx.err << "velmaris-batch: ended by " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
            << "\n";
    return 128 + signal;
  };
  if (const int status = endedBySignal()) return status;

  if (tossNow) {
    BatchToss toss(config.Store());
    if (toss.Run(dispatcher)) {
      tosserLog = toss.Tosser().Log();
      tossShortfall = TossShortfall(toss.Tosser().Counters());
      if (!toss.RingSaved() && tossShortfall.empty())
        tossShortfall = "the duplicate database could not be saved";
    } else {
      tossShortfall = "another import is running, the mail stays in the inbound";
    }
  }
  if (const int status = endedBySignal()) return status;  // during the toss
  config->SaveConfiguration();
  for (const std::string& line : tosserLog) {
    ctx.out << JsonLine()
                   .Str("line", line)
                   .Str("text", WithoutTosserStamp(line))
                   .Str("source", "tosser")
                   .Text()
            << "\n";
  }
  if (!completed) {
    ctx.err << "velmaris-batch: the call did not complete ("
            << (failure.empty() ? "see the log" : failure) << ")\n";
    return 1;
  }
  if (!failure.empty()) {
    ctx.err << "velmaris-batch: the call completed, but " << failure << "\n";
    return 1;
  }
  if (!tossShortfall.empty()) {
    ctx.err << "velmaris-batch: the call completed, but " << tossShortfall << "\n";
    return 1;
  }
  return 0;
}

BatchCommand cmd("poll", "poll ADDR", PollCommand);

}  // namespace
}  // namespace velmaris::batch

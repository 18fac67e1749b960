// hydrapeer: one Hydra session on standard input and output, as the fake
// modem's peer command, so that Hydra meets itself through a modem line.
//
//   hydrapeer --recv DIR [FILE]... [--second FILE]...
//             [--reoffer NAME [--reoffer-vary WHAT]] [--raw-names]
//
// Sends the files, receives the remote's into DIR. --raw-names offers each
// file as some DOS and Windows mailers do: its name's bytes as they stand
// on the disk (an old system's CP866) in both fields of the FINFO packet,
// the 8.3 one too, whatever their length. --reoffer offers its
// own file of that name again at once whenever the remote skips it, for
// ever, changed each time as --reoffer-vary says (tools/ReOffer.h). Then,
// as Hydra mailers do, it opens a second batch ("hydra" CR and a START
// packet) in which it sends the files given with --second. When that batch
// has ended it waits (at most 10 s) for the caller to hang up, so the
// caller's session is never cut by this end going away. Exit status 0 when
// both batches finished normally.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <thread>

#include "mailer/CMHydra.h"
#include "mailer/CMStream.h"
#include "mailer/LineShaper.h"
#include "tools/PeerLine.h"
#include "tools/ReOffer.h"

namespace {

using namespace velmaris;
using namespace std::chrono_literals;

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  std::deque<std::string> files, second;
  TReOffer reoffer;
  bool usage = false, rawNames = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--recv" && i + 1 < argc) {
      dir = argv[++i];
    } else if (a == "--second" && i + 1 < argc) {
      second.push_back(argv[++i]);
    } else if (a == "--reoffer" && i + 1 < argc) {
      reoffer.name = argv[++i];
    } else if (a == "--reoffer-vary" && i + 1 < argc) {
      usage |= !reoffer.SetVary(argv[++i]);
    } else if (a == "--raw-names") {
      rawNames = true;
    } else {
      files.push_back(a);
    }
  }
  if (dir.empty() || usage) {
    std::fprintf(stderr,
                 "usage: hydrapeer --recv DIR [FILE]... [--second FILE]... "
                 "[--reoffer NAME [--reoffer-vary WHAT]] [--raw-names]\n");
    return 2;
  }
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return 1;
  ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK);
  ::fcntl(1, F_SETFL, ::fcntl(1, F_GETFL) | O_NONBLOCK);
  std::atomic<bool> lineEnded{false}, stop{false};
  std::thread relay([&] {
    TLineRelay r(fds[1], fds[1], 0, 1, TLineShape{});
    while (!stop && r.Step(50ms) == TLineRelay::State::Running) {
    }
    lineEnded = true;
    ::shutdown(fds[1], SHUT_RDWR);
  });

  platform::PlainDispatcher dispatcher;
  bool finished = false, done = false;
  int batch = 1;
  {
    TPeerLine line(dispatcher);
    line.Start(fds[0]);
    TCMHydra hydra(dispatcher);
    hydra.Device = &line;
    hydra.ReceiveDir = dir;
    if (rawNames) {
      hydra.FinfoNames = [](const std::string& name) { return name + '\0' + name + '\0'; };
    }
    std::string sending;  // the file offered last
    hydra.OnNextFile = [&](TCMProtocol&, std::string& path, std::string& alias) {
      path.clear();
      sending.clear();
      if (files.empty()) return;
      path = sending = files.front();
      files.pop_front();
      if (reoffer.Applies(path)) alias = reoffer.Alias();
    };
    hydra.OnProtocolState = [&](TCMProtocol&, int state, const std::string&, int64_t, int64_t) {
      if (state == 14 && reoffer.Applies(sending)) {  // the remote skipped it
        reoffer.Skipped(sending);
        files.push_front(sending);
      }
    };
    hydra.OnFinished = [&](TCMProtocol&) {
      if (batch == 2) {
        finished = done = true;
        return;
      }
      batch = 2;
      files = second;
      dispatcher.Post([&] { hydra.Send(); });
    };
    hydra.OnAborted = [&](TCMProtocol&) { done = true; };
    hydra.Send();
    dispatcher.RunUntil([&] { return done; }, std::chrono::minutes(10));
    dispatcher.RunUntil([&] { return lineEnded.load(); }, 10s);
  }
  stop = true;
  relay.join();
  ::close(fds[0]);
  ::close(fds[1]);
  return finished ? 0 : 1;
}

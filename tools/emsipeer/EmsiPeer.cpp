// emsipeer: the answering side of a mailer session, for the mailer's tests
// and benchmarks. tools/fakemodem runs it as the peer of a call: the line is
// its standard input and output.
//
//   emsipeer --inbound DIR [--send FILE]... [--second FILE]... [--address ADDR]...
//            [--password P] [--protocols LIST] [--log FILE] [--drop-after BYTES]
//            [--refuse NAME]... [--refusal-codes CODES] [--refusal-password WORD]
//            [--reoffer NAME] [--reoffer-vary WHAT] [--system TEXT] [--sysop TEXT]
//            [--stall SECONDS] [--after-first COMMAND]
//
// It answers the EMSI handshake (REQ, the caller's data, ACK, its own data
// naming the one protocol it chose from LIST, default "hyd,zap,zmo", best
// first), then receives the caller's batch into DIR and sends the files
// given with --send (with Hydra both at once). With Hydra it then runs a
// second batch, as Hydra mailers do (it opens it with "hydra" CR and a START
// packet, and answers file requests there): it sends the files given with
// --second, receives whatever the caller still sends, and waits (at most
// 10 s) for the caller to hang up. --password refuses a caller with another
// session password: its answer names the protocol NCP, or, with
// --refusal-codes, carries the password field BAD_PASSWORD (or the WORD of
// --refusal-password, as it stands), the link codes 8N1,HAT and CODES
// (protocols it still lists). --refuse turns down an
// offered file of that name (letter case ignored). --reoffer offers its own
// file of that name again at once whenever the caller skips it, for ever,
// changed each time as --reoffer-vary says (tools/ReOffer.h).
// --drop-after ends the process (the carrier drops) once that many bytes of
// a received file have arrived. --stall makes it a remote that hangs once
// its session is complete: for SECONDS it neither takes in what comes nor
// hangs up. --system and --sysop name this system and
// its sysop (UTF-8 here; they go out as a mailer's stored ANSI texts do).
// --after-first runs COMMAND (through sh) once the caller has confirmed the
// first file sent to it, before the next one is offered: a test changes the
// caller's side there at a known point of the session.
// The log gets the handshake's and the protocol's lines, the caller's
// system and sysop as "ENAM <name>" and "ESOP <name>" in UTF-8, and
// "PEER Sent <name>" and "PEER Skipped <name>" for each file sent or skipped
// by the caller (a sending mailer drops both from its outbound). Exit status
// 0 when the session ran to its end.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mailer/CMHydra.h"
#include "mailer/CMStream.h"
#include "mailer/CMZModem.h"
#include "mailer/Emsi.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/WireName.h"
#include "tools/PeerLine.h"
#include "tools/ReOffer.h"

namespace {

using namespace velmaris;

struct Options {
  std::string inbound, password, log, protocols = "hyd,zap,zmo", refusalCodes,
                                      refusalPassword = "BAD_PASSWORD";
  std::string system = "Test Peer", sysop = "Peer Sysop";
  std::string afterFirst;
  TReOffer reoffer;
  std::vector<std::string> send, second, addresses, refuse;
  int64_t dropAfter = -1;
  int stallSeconds = 0;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "emsipeer: %s\n", why);
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
    const std::string v = argv[++i];
    if (a == "--inbound")
      o.inbound = v;
    else if (a == "--send")
      o.send.push_back(v);
    else if (a == "--second")
      o.second.push_back(v);
    else if (a == "--refuse")
      o.refuse.push_back(v);
    else if (a == "--reoffer")
      o.reoffer.name = v;
    else if (a == "--reoffer-vary") {
      if (!o.reoffer.SetVary(v)) Usage(("unknown --reoffer-vary " + v).c_str());
    } else if (a == "--address")
      o.addresses.push_back(v);
    else if (a == "--password")
      o.password = v;
    else if (a == "--refusal-codes")
      o.refusalCodes = v;
    else if (a == "--refusal-password")
      o.refusalPassword = v;
    else if (a == "--protocols")
      o.protocols = v;
    else if (a == "--log")
      o.log = v;
    else if (a == "--system")
      o.system = v;
    else if (a == "--sysop")
      o.sysop = v;
    else if (a == "--drop-after")
      o.dropAfter = std::atoll(v.c_str());
    else if (a == "--stall")
      o.stallSeconds = std::atoi(v.c_str());
    else if (a == "--after-first")
      o.afterFirst = v;
    else
      Usage(("unknown option " + a).c_str());
  }
  if (o.inbound.empty()) Usage("--inbound is required");
  if (o.addresses.empty()) o.addresses.push_back("2:5020/1042");
  return o;
}

std::vector<TEmsiProtocol> Protocols(const std::string& list) {
  std::vector<TEmsiProtocol> out;
  for (size_t pos = 0; pos < list.size();) {
    const size_t end = std::min(list.find(',', pos), list.size());
    const std::string word = list.substr(pos, end - pos);
    if (word == "hyd") out.push_back(TEmsiProtocol::Hydra);
    if (word == "zap") out.push_back(TEmsiProtocol::ZedZap);
    if (word == "zmo") out.push_back(TEmsiProtocol::ZModem);
    pos = end + 1;
  }
  return out;
}

// Copies bytes from one descriptor to another until either end closes.
void Relay(int from, int to, bool shutdownWrite) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return;
      done += w;
    }
  }
  if (shutdownWrite)
    ::shutdown(to, SHUT_WR);
  else
    ::close(to);
}

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseOptions(argc, argv);
  std::FILE* log = o.log.empty() ? stderr : std::fopen(o.log.c_str(), "a");
  if (!log) Usage("cannot open the log");
  auto logLine = [log](const std::string& line) {
    std::fprintf(log, "%s\n", line.c_str());
    std::fflush(log);
  };

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) Usage("no socket pair");
  // A modem line buffers a few kilobytes, not the hundreds a socket and a
  // pipe hold: otherwise a sender finishes its file long before the bytes
  // are through the line and gives up waiting for the receiver's answer.
  const int small = 4096;
  for (int fd : pair) {
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
  ::fcntl(1, F_SETPIPE_SZ, small);  // when the line is a pipe
  std::thread(Relay, 0, pair[1], true).detach();
  std::thread(Relay, pair[1], 1, false).detach();

  platform::PlainDispatcher dispatcher;
  platform::SetDispatcher(&dispatcher);
  auto line = std::make_unique<TPeerLine>(dispatcher);

  TEmsiIdentity id;
  id.Akas = o.addresses;
  id.LinkCodes = "8N1";
  id.ProductCode = "00";
  id.MailerName = "Velmaris Test Peer";
  id.MailerVersion = "1";
  id.MailerSerial = "0";
  id.SystemName = platform::FromUtf8(o.system, platform::AnsiCodePage());
  id.Sysop = platform::FromUtf8(o.sysop, platform::AnsiCodePage());
  id.Location = "Loopback";
  id.Phone = "-Unpublished-";
  id.Flags = "XA";
  TEmsiAnswerer emsi(
      id, o.password, Protocols(o.protocols),
      [&](std::string_view b) { line->SendData(b.data(), b.size()); }, logLine,
      [] { return CommTickCount(); });
  emsi.RefusalCodes = o.refusalCodes;
  emsi.RefusalPassword = o.refusalPassword;

  std::unique_ptr<TCMProtocol> protocol;
  std::deque<std::string> toSend(o.send.begin(), o.send.end());
  std::string sending;  // the file offered last
  bool handshaking = true, receiving = true, done = false, ok = false, lineGone = false;
  int hydraBatch = 0;  // 1 or 2 while Hydra runs

  auto startProtocol = [&] {
    const TEmsiProtocol kind = emsi.Protocol();
    const bool hydra = kind == TEmsiProtocol::Hydra;
    if (hydra) {
      protocol = std::make_unique<TCMHydra>(dispatcher);
      receiving = false;  // one batch carries both directions
      hydraBatch = 1;
    } else {
      auto z = std::make_unique<TCMZModem>(dispatcher);
      z->ZedZap = kind == TEmsiProtocol::ZedZap;
      protocol = std::move(z);
    }
    protocol->Device = line.get();
    protocol->ReceiveDir = o.inbound;
    protocol->OnNextFile = [&](TCMProtocol&, std::string& path, std::string& alias) {
      path.clear();
      sending.clear();
      if (toSend.empty()) return;
      path = sending = toSend.front();
      toSend.pop_front();
      if (o.reoffer.Applies(path)) alias = o.reoffer.Alias();
    };
    protocol->OnAcceptFile = [&](TCMProtocol&, bool& accept, std::string& name, int64_t, int64_t) {
      for (const std::string& refused : o.refuse)
        if (platform::EqualNoCase(refused, name)) accept = false;
      if (!accept) logLine("PEER Refused " + name);
    };
    protocol->OnProtocolState = [&](TCMProtocol&, int state, const std::string& msg, int64_t p1,
                                    int64_t) {
      if (state == 24 && o.dropAfter >= 0 && p1 >= o.dropAfter) {
        logLine("PEER Dropping the call");
        std::fflush(nullptr);
        ::_exit(3);
      }
      if (state == 10) {
        logLine("PEER Sent " + msg);
        // The protocol waits for this report: the next offer comes after.
        if (!o.afterFirst.empty() && std::system(o.afterFirst.c_str()) != 0)
          logLine("PEER --after-first failed");
        o.afterFirst.clear();
      }
      if (state == 14) logLine("PEER Skipped " + msg);
      if (state == 14 && o.reoffer.Applies(sending)) {
        o.reoffer.Skipped(sending);
        toSend.push_front(sending);
      }
      if (state == 25) logLine("PEER Received " + msg);
    };
    protocol->OnFinished = [&](TCMProtocol&) {
      dispatcher.Post([&] {
        if (receiving) {
          receiving = false;
          protocol->Send();
        } else if (hydraBatch == 1) {
          hydraBatch = 2;
          toSend.assign(o.second.begin(), o.second.end());
          logLine("PEER Second batch");
          protocol->Send();
        } else {
          // Said at once: the caller's hang-up ends this process.
          logLine("PEER Session complete");
          ok = true;
          done = true;
        }
      });
    };
    protocol->OnAborted = [&](TCMProtocol&) {
      dispatcher.Post([&] {
        logLine("PEER Protocol abort");
        done = true;
      });
    };
    const std::string early = emsi.TakeLeftover();
    if (hydra)
      protocol->Send();
    else
      protocol->Receive();
    if (!early.empty()) line->HandToProtocol(early.data(), early.size());
  };

  auto pump = [&] {
    if (!handshaking) return;
    if (emsi.GetStatus() == TEmsiSession::Status::Failed) {
      handshaking = false;
      done = true;
    } else if (emsi.GetStatus() == TEmsiSession::Status::Done) {
      handshaking = false;
      logLine("ENAM " + platform::DiskName(emsi.Remote().SystemName));
      logLine("ESOP " + platform::DiskName(emsi.Remote().Sysop));
      startProtocol();
    }
  };
  line->OnDataAvail = [&](TCMDevice&, const std::string& data) {
    if (!handshaking) return;
    emsi.Receive(data);
    pump();
  };
  line->OnDisconnected = [&](TCMDevice&) { done = lineGone = true; };
  const auto tick = dispatcher.StartTimer(std::chrono::milliseconds(100), [&] {
    emsi.Tick();
    pump();
  });

  line->Start(pair[0]);
  emsi.Start();
  dispatcher.RunUntil([&] { return done; }, std::chrono::hours(1));
  dispatcher.StopTimer(tick);
  if (ok && o.stallSeconds > 0) {
    // Hangs: nothing received is handled, and the line stays up.
    std::fflush(nullptr);
    std::this_thread::sleep_for(std::chrono::seconds(o.stallSeconds));
  }
  // A Hydra caller ends the call once its side of the last batch is over.
  if (ok && hydraBatch) dispatcher.RunUntil([&] { return lineGone; }, std::chrono::seconds(10));
  // Let the last bytes leave before the line goes.
  dispatcher.RunUntil([&] { return line->IsOutputEmpty(); }, std::chrono::seconds(10));
  if (protocol) {
    protocol->Abort();
    line->SetProtocol(nullptr);
  }
  protocol.reset();
  line->HangUp();
  line.reset();
  ::close(pair[0]);
  platform::SetDispatcher(nullptr);
  if (!ok) logLine("PEER Session failed");
  std::fflush(nullptr);
  ::_exit(ok ? 0 : 1);
}

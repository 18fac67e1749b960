// A plug-in for the tests: connects to the program through the client
// library and runs one command per line of its standard input, answering
// each with one line on its standard output. Texts are written with bytes
// below 32, 127 and "\" as \xNN.
//
//   testplugin FOLDER [NAME]
//
//   connect                     -> "id <connection id>"
//   areas                       -> "<result> NAME:TYPE,..."
//   open NAME / close           -> "<result>"
//   msglist                     -> "<result> <count>"
//   read I                      -> "<result> <body>"
//   store TO|FROM|SUBJ|LINE\rLINE -> "<result>"
//   getflags I / setflags I F   -> "<result>"
//   create NAME TYPE UPLINK     -> "<result>"
//   current / dt                -> "<result> <text>"
//   setdt TEXT / type NAME      -> "<result>"
//   uplink NAME                 -> "<result> <name>/<sysop>"
//   uplinks                     -> "<result> <count>"
//   register CAT CMD CAPTION    -> "<handle>"
//   unregister H                -> "<result>"
//   info                        -> "<name> <version>"
//   raw MSG W L                 -> "<result>" (a request as given)
//   block WORD SIZE MSG [SAID]  -> "<result>" (a parameter block of SIZE bytes of 'A'; the
//                                  request gives SAID as its size, SIZE when missing)
//   shrinking WORD SIZE MSG N   -> "<results>" (N requests with a block of SIZE bytes that a
//                                  thread keeps cutting to nothing and growing again; the
//                                  distinct results in the order first seen)
//   garbage                     -> "sent" (a packet of 5 bytes)
//   noack                       -> "<result>" (asks for the area list, never acknowledges)
//   commands                    -> "<n> MSG:W:L:PAYLOAD;..." (the service commands so far)
//   ignore-commands             -> "ok" (service calls are not acknowledged any more)
//   ended                       -> "yes" or "no" (the program told it to end)
//   end                         -> "ok", then exits
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "app/plugin/api/PluginClient.h"
#include "platform/Ascii.h"
#include "platform/SharedMem.h"

using namespace velmaris::plugin;
using velmaris::platform::EscapeControls;

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'r') {
      out += '\r';
      ++i;
    } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

std::vector<std::string> SplitBar(const std::string& s) {
  std::vector<std::string> parts;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, '|')) parts.push_back(part);
  return parts;
}

// Requests whose parameter block another thread keeps truncating and
// growing while the program reads it.
std::string Shrinking(TPluginClient& client, const std::string& folder, const std::string& word,
                      uint32_t size, uint32_t msg, uint32_t rounds) {
  const std::string path =
      folder + velmaris::platform::SharedBlockName(word, client.ReplyThread());
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return "no block";
  const std::string bytes(size, 'A');
  if (::pwrite(fd, bytes.data(), size, 0) != static_cast<ssize_t>(size)) return "no block";
  std::atomic<bool> stop{false};
  std::thread cutter([&] {
    while (!stop) {
      if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, size) != 0) break;
    }
  });
  std::vector<uint32_t> seen;
  for (uint32_t i = 0; i < rounds; ++i) {
    const uint32_t r = client.Request(msg, 0, size);
    if (std::find(seen.begin(), seen.end(), r) == seen.end()) seen.push_back(r);
  }
  stop = true;
  cutter.join();
  ::close(fd);
  ::unlink(path.c_str());
  std::string out;
  for (uint32_t r : seen) out += (out.empty() ? "" : " ") + Hex(r);
  return out;
}

struct Commands {
  std::mutex mutex;
  std::string seen;
  int count = 0;
  bool ignore = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: testplugin FOLDER [NAME]\n";
    return 2;
  }
  TPluginInfo info{argc > 2 ? argv[2] : "Test Plugin", "(c) the tests", "Drives the API", 3, 1, 1, 1};
  TPluginClient client(argv[1], info, std::chrono::seconds(30));
  Commands commands;
  client.SetCommandHandler([&](const velmaris::platform::TThreadMessage& m) {
    std::lock_guard lock(commands.mutex);
    if (commands.ignore) return;
    std::string payload;
    if (m.WParam != 0) {
      if (auto bytes = client.ReadBlock("AreaName", m.WParam, m.LParam)) {
        if (auto names = DecodeAreaNames(bytes->data(), bytes->size()))
          for (auto& n : *names) payload += n + "/";
      } else if ((bytes = client.ReadBlock("MsgSel", m.WParam, m.LParam))) {
        for (uint32_t i : DecodeIndexes(bytes->data(), bytes->size()))
          payload += std::to_string(i) + "/";
      }
      client.Acknowledge(m.LParam);
    }
    commands.seen += Hex(m.Msg) + ":" + std::to_string(m.WParam) + ":" + payload + ";";
    ++commands.count;
  });

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd, rest;
    in >> cmd;
    std::getline(in >> std::ws, rest);
    std::string out;
    uint32_t r = 0;
    if (cmd == "connect") {
      out = "id " + Hex(client.Connect());
    } else if (cmd == "areas") {
      auto areas = client.AreaList(&r);
      out = Hex(r) + " ";
      if (areas)
        for (auto& a : *areas) out += EscapeControls(a.Name) + ":" + std::to_string(a.Type) + ",";
    } else if (cmd == "open") {
      out = Hex(client.OpenArea(rest));
    } else if (cmd == "close") {
      out = Hex(client.CloseArea());
    } else if (cmd == "msglist") {
      auto list = client.MsgList(&r);
      out = Hex(r) + " " + std::to_string(list ? list->size() : 0);
    } else if (cmd == "read") {
      auto body = client.Message(std::stoul(rest), &r);
      out = Hex(r) + " " + (body ? EscapeControls(std::string(body->begin(), body->end())) : "");
    } else if (cmd == "store") {
      auto parts = SplitBar(rest);
      parts.resize(4);
      TNewMessage m;
      m.To = parts[0];
      m.From = parts[1];
      m.Subject = parts[2];
      m.Origin = "Test origin";
      m.Dest = {2, 5020, 1, 0};
      m.Orig = {2, 5020, 1, 7};
      const std::string text = Unescape(parts[3]);
      size_t pos = 0;
      while (pos <= text.size() && !text.empty()) {
        size_t cr = text.find('\r', pos);
        if (cr == std::string::npos) cr = text.size();
        m.Lines.push_back(text.substr(pos, cr - pos));
        pos = cr + 1;
      }
      out = Hex(client.StoreNew(m));
    } else if (cmd == "getflags") {
      out = Hex(client.GetFlags(std::stoul(rest)));
    } else if (cmd == "setflags") {
      std::istringstream p(rest);
      uint32_t index = 0, flags = 0;
      p >> index >> std::hex >> flags;
      out = Hex(client.SetFlags(index, static_cast<uint16_t>(flags)));
    } else if (cmd == "create") {
      std::istringstream p(rest);
      TAreaCreation a;
      int type = 0;
      p >> a.Name >> type;
      std::getline(p >> std::ws, a.Uplink);
      a.Type = static_cast<uint8_t>(type);
      out = Hex(client.CreateArea(a));
    } else if (cmd == "current") {
      auto name = client.CurrentArea(&r);
      out = Hex(r) + " " + name.value_or("");
    } else if (cmd == "dt") {
      auto text = client.DialTrans(&r);
      out = Hex(r) + " " + EscapeControls(text.value_or(""));
    } else if (cmd == "setdt") {
      out = Hex(client.SetDialTrans(Unescape(rest)));
    } else if (cmd == "type") {
      out = Hex(client.AreaType(rest));
    } else if (cmd == "uplink") {
      auto link = client.AreaUplink(rest, &r);
      out = Hex(r) + " " + (link ? link->Name + "/" + link->Sysop : "");
    } else if (cmd == "uplinks") {
      auto links = client.Uplinks(&r);
      out = Hex(r) + " " + std::to_string(links ? links->size() : 0);
    } else if (cmd == "register") {
      std::istringstream p(rest);
      TPluginService s;
      p >> s.Category >> std::hex >> s.Command;
      std::getline(p >> std::ws, s.Caption);
      s.Description = "Does " + s.Caption;
      s.Thread = client.CommandThread();
      out = Hex(client.RegisterService(s));
    } else if (cmd == "unregister") {
      out = Hex(client.UnregisterService(std::stoul(rest, nullptr, 0)));
    } else if (cmd == "info") {
      auto sys = client.SystemInfo();
      out = sys ? sys->Name + " " + std::to_string(sys->Version) : "none";
    } else if (cmd == "raw") {
      std::istringstream p(rest);
      uint32_t msg = 0, w = 0, l = 0;
      p >> std::hex >> msg >> w >> l;
      out = Hex(client.Request(msg, w, l));
    } else if (cmd == "block") {
      std::istringstream p(rest);
      std::string word;
      uint32_t size = 0, msg = 0, said = 0;
      p >> word >> size >> std::hex >> msg >> std::dec >> said;
      const Bytes bytes(size, 'A');
      if (said == 0 || said == size) {
        out = Hex(client.RequestWithBlock(msg, word, bytes));
      } else {
        const velmaris::platform::TSharedMem block(
            argv[1], velmaris::platform::SharedBlockName(word, client.ReplyThread()), size);
        if (block.Buffer) std::memcpy(block.Buffer, bytes.data(), size);
        out = Hex(client.Request(msg, 0, said));
      }
    } else if (cmd == "shrinking") {
      std::istringstream p(rest);
      std::string word;
      uint32_t size = 0, msg = 0, rounds = 0;
      p >> word >> size >> std::hex >> msg >> std::dec >> rounds;
      out = Shrinking(client, argv[1], word, size, msg, rounds);
    } else if (cmd == "garbage") {
      const char junk[5] = {1, 2, 3, 4, 5};
      ::send(client.SocketFd(), junk, sizeof junk, MSG_NOSIGNAL);
      out = "sent";
    } else if (cmd == "noack") {
      out = Hex(client.Request(PluginMsg::AreaList));
    } else if (cmd == "commands") {
      std::lock_guard lock(commands.mutex);
      out = std::to_string(commands.count) + " " + commands.seen;
    } else if (cmd == "ignore-commands") {
      std::lock_guard lock(commands.mutex);
      commands.ignore = true;
      out = "ok";
    } else if (cmd == "ended") {
      out = client.EndReceived() ? "yes" : "no";
    } else if (cmd == "end") {
      client.Disconnect();
      std::cout << "ok" << std::endl;
      return 0;
    } else {
      out = "unknown command";
    }
    std::cout << out << std::endl;
  }
  return 0;
}

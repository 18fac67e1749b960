// The plug-in host: the listener, the lists of connections and services,
// the information query and the calls of services (PluginServer.h).
#include "app/plugin/PluginServer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "app/plugin/api/PluginClient.h"
#include "core/ConfigStore.h"
#include "platform/Dispatcher.h"
#include "platform/SharedMem.h"

namespace velmaris::plugin {

using platform::GetDispatcher;
using platform::TMessageSocket;
using platform::TThreadMessage;

const TPluginInfo& PluginHostInfo() {
  static const TPluginInfo info{"Velmaris 95", "(c) Brimvale, all rights reserved",
                                "The Integrated Fidonet Point Package!", 215, 0, 1, 1};
  return info;
}

// --- The host ----------------------------------------------------------------------

TPluginHost::TPluginHost(TConfigStore& store, std::string folder, TPluginLimits limits)
    : store_(store),
      folder_(platform::WithSlash(folder)),
      limits_(limits),
      mainThread_(platform::CurrentThreadId()) {}

TPluginHost::~TPluginHost() {
  // The listener may be handing a new plug-in to the main thread: it is
  // served while it ends.
  stopping_ = true;
  if (listener_) listener_->Shutdown();
  GetDispatcher().RunUntil([this] { return listenDone_.load(); }, limits_.Connect + limits_.Ack);
  if (listenThread_.joinable()) listenThread_.join();
  ReapGreetings(true);
  StopPluginConnections();
  for (auto& c : connections_) c->Abort("was left at the end");
  connections_.clear();
  starting_.clear();
  finished_.clear();
}

void TPluginHost::Start() {
  platform::EnsurePrivateFolder(folder_);
  listener_ = std::make_unique<platform::TMessageListener>(PluginSocketPath(folder_));
  listenThread_ = std::thread([this] { ListenLoop(); });
}

void TPluginHost::SetLogSink(LogSink sink) {
  std::lock_guard lock(logMutex_);
  logSink_ = std::move(sink);
}

void TPluginHost::Log(const std::string& line) const {
  std::lock_guard lock(logMutex_);
  if (logSink_)
    logSink_(line);
  else
    store_.Log(line);
}

void TPluginHost::ListenLoop() {
  while (!stopping_) {
    auto socket =
        std::make_shared<TMessageSocket>(listener_->Accept(std::chrono::milliseconds(-1)));
    if (stopping_) break;
    ReapGreetings(false);
    if (socket->ok()) Greet(std::move(socket));
  }
  listenDone_ = true;
  GetDispatcher().Wake();
}

void TPluginHost::Greet(std::shared_ptr<TMessageSocket> socket) {
  if (!socket->PeerIsSameUser()) {
    Log("Plugin connection of another user refused");
    return;
  }
  std::lock_guard lock(greetMutex_);
  if (greetings_.size() >= limits_.MaxWaiting) {
    Log("Plugin process " + std::to_string(socket->PeerPid()) + " refused: " +
        std::to_string(limits_.MaxWaiting) + " connections are waiting to introduce themselves");
    return;
  }
  TGreeting& g = greetings_.emplace_back();
  g.Socket = socket;
  try {
    g.Thread = std::thread([this, &g, socket] {
      Welcome(socket);
      std::lock_guard done(greetMutex_);
      g.Done = true;
      GetDispatcher().Wake();
    });
  } catch (const std::system_error&) {
    greetings_.pop_back();
    Log("Plugin process " + std::to_string(socket->PeerPid()) + " refused: no thread for it");
  }
}

void TPluginHost::ReapGreetings(bool all) {
  if (all) {
    {
      std::lock_guard lock(greetMutex_);
      for (TGreeting& g : greetings_)
        if (g.Socket) g.Socket->Shutdown();
    }
    // A greeting may be handing its plug-in to the main thread: serve it.
    GetDispatcher().RunUntil(
        [this] {
          std::lock_guard lock(greetMutex_);
          return std::all_of(greetings_.begin(), greetings_.end(),
                             [](const TGreeting& g) { return g.Done; });
        },
        limits_.Connect + limits_.Ack);
  }
  std::list<TGreeting> ended;
  {
    std::lock_guard lock(greetMutex_);
    for (auto it = greetings_.begin(); it != greetings_.end();) {
      auto next = std::next(it);
      if (it->Done || all) ended.splice(ended.end(), greetings_, it);
      it = next;
    }
  }
  for (TGreeting& g : ended)
    if (g.Thread.joinable()) g.Thread.join();
}

// The first frame of a new peer must be the connect message, within the
// limit.
void TPluginHost::Welcome(std::shared_ptr<TMessageSocket> socket) {
  TThreadMessage hello;
  const auto result = socket->Receive(hello, limits_.Connect);
  if (stopping_) return;
  if (result != TMessageSocket::Result::Ok || hello.Msg != PluginMsg::Connect ||
      hello.Thread != 0) {
    Log("Plugin process " + std::to_string(socket->PeerPid()) +
        " did not introduce itself; disconnected");
    return;
  }
  uint32_t id = 0;
  GetDispatcher().Send([&] {
    id = PluginConnectMsg(socket, hello.WParam, hello.LParam);
    // The connection owns the socket now: the end of the greetings leaves it be.
    std::lock_guard lock(greetMutex_);
    for (TGreeting& g : greetings_)
      if (g.Socket == socket) g.Socket.reset();
  });
  socket->Send({PluginMsg::Connect, hello.LParam, id, 0});
}

uint32_t TPluginHost::PluginConnectMsg(std::shared_ptr<TMessageSocket> socket,
                                       uint32_t commandThread, uint32_t replyThread) {
  assert(GetDispatcher().IsMainThread());
  ReapFinished();
  if (stopping_) return 0;
  auto connection =
      std::make_shared<TKQAPIClientConnection>(*this, std::move(socket), commandThread, replyThread);
  starting_.push_back(connection);
  if (!connection->Start()) {
    std::erase(starting_, connection);
    return 0;
  }
  return connection->ThreadId();
}

std::shared_ptr<TKQAPIClientConnection> TPluginHost::Shared(const TKQAPIClientConnection* c) const {
  for (const auto* list : {&starting_, &connections_, &finished_})
    for (const auto& p : *list)
      if (p.get() == c) return p;
  return nullptr;
}

void TPluginHost::Added(TKQAPIClientConnection* connection) {
  auto shared = Shared(connection);
  if (!shared) return;
  std::erase(starting_, shared);
  connections_.push_back(shared);
  Changed();
}

void TPluginHost::Removed(TKQAPIClientConnection* connection) {
  auto shared = Shared(connection);
  std::erase_if(services_, [connection](const TServiceEntry& s) {
    return s.Connection.get() == connection;
  });
  std::erase(starting_, shared);
  std::erase(connections_, shared);
  finished_.push_back(shared);
  Changed();
  GetDispatcher().Post([this] { ReapFinished(); });
}

// Frees the connections whose threads have ended; one still finishing stays
// for the next time.
void TPluginHost::ReapFinished() {
  std::erase_if(finished_, [](const std::shared_ptr<TKQAPIClientConnection>& c) {
    return c->Finished() && c.use_count() == 1;
  });
}

void TPluginHost::AddService(TServiceEntry entry) {
  if (!entry.Connection || entry.Connection->Finished()) return;
  services_.push_back(std::move(entry));
  Changed();
}

uint32_t TPluginHost::RemoveService(uint32_t handle, const TKQAPIClientConnection* owner) {
  auto it = std::find_if(services_.begin(), services_.end(), [&](const TServiceEntry& s) {
    return s.Handle == handle && s.Connection.get() == owner;
  });
  if (it == services_.end()) return PluginResult::UnknownService;
  services_.erase(it);
  Changed();
  return PluginResult::Ok;
}

size_t TPluginHost::ServiceCount(const TKQAPIClientConnection* owner) const {
  return static_cast<size_t>(std::count_if(services_.begin(), services_.end(), [&](const TServiceEntry& s) {
    return s.Connection.get() == owner;
  }));
}

const TServiceEntry* TPluginHost::FindService(uint32_t handle) const {
  for (const TServiceEntry& s : services_)
    if (s.Handle == handle) return &s;
  return nullptr;
}

// A change that comes while the handler runs (a plug-in that connects while
// the browser asks the others) makes it run once more instead of nesting.
void TPluginHost::Changed() {
  if (rebuilding_) {
    rebuildAgain_ = true;
    return;
  }
  rebuilding_ = true;
  do {
    rebuildAgain_ = false;
    if (OnChanged) OnChanged();
  } while (rebuildAgain_);
  rebuilding_ = false;
}

std::optional<TPluginInfo> TPluginHost::QueryPluginInfo(TKQAPIClientConnection& connection) {
  auto keep = Shared(&connection);
  if (!connection.Post({PluginMsg::Info, connection.CommandThread(), 0, mainThread_}))
    return std::nullopt;
  const auto reply = connection.WaitMain(PluginMsg::Reply);
  if (!reply || reply->LParam != PluginResult::Ok) return std::nullopt;
  std::optional<TPluginInfo> info;
  if (const auto bytes = platform::ReadSharedBlock(
          folder_, platform::SharedBlockName("PluginInfo", connection.CommandThread()),
          TPluginInfo::kSize))
    info = TPluginInfo::Decode(bytes->data(), bytes->size());
  connection.Post({PluginMsg::Reply, connection.CommandThread(), 0, 0});
  return info;
}

std::string TPluginHost::InvokePluginService(uint32_t handle, const std::vector<std::string>& areas,
                                             TArea* messageArea,
                                             const std::vector<uint32_t>& selection) {
  assert(GetDispatcher().IsMainThread());
  const TServiceEntry* found = FindService(handle);
  if (!found) return {};
  const TServiceEntry service = *found;  // the list may change while we wait
  TKQAPIClientConnection& connection = *service.Connection;
  const uint32_t command = service.Record.Command, thread = service.Record.Thread;
  if (service.Record.Category == PluginCategory::General) {
    connection.Post({command, thread, 0, 0});
    return {};
  }
  Bytes bytes;
  std::string word;
  if (service.Record.Category == PluginCategory::Area) {
    if (areas.empty()) return "No area selected!";
    bytes = EncodeAreaNames(areas);
    word = "AreaName";
  } else {
    if (selection.empty() || !messageArea) return "No messages selected !";
    if (!connection.ClaimArea(*messageArea)) return "Could not lock area for plugin !";
    bytes = EncodeIndexes(selection);
    word = "MsgSel";
  }
  platform::TOwnSharedBlock block(folder_, platform::SharedBlockName(word, mainThread_),
                                  bytes.data(), bytes.size());
  if (!block.Created) return {};
  if (connection.Post({command, thread, static_cast<uint32_t>(bytes.size()), mainThread_}))
    connection.WaitMain(PluginMsg::Ack);
  return {};
}

void TPluginHost::StopPluginConnections() {
  assert(GetDispatcher().IsMainThread());
  for (int round = 0; round < 2 && !(connections_.empty() && starting_.empty()); ++round) {
    for (auto& c : connections_) {
      if (round == 0)
        c->RequestStop();
      else
        c->Abort("did not end when the program stopped");
    }
    GetDispatcher().RunUntil([this] { return connections_.empty() && starting_.empty(); },
                             limits_.Ack + limits_.Ack);
  }
  for (auto& c : finished_) c->Join();
  finished_.clear();
}

}  // namespace velmaris::plugin

// The plug-in API server: plug-in programs connect through the listening
// socket "TKQMainWindow" in the runtime folder; each gets a connection with
// two threads: a reader that takes the frames off its socket (frames for the
// main thread go to the connection's main mailbox, the rest to the worker)
// and a worker that answers the requests in order (PluginProtocol.h), with
// shared blocks for data (PluginRecords.h).
//
// Safety: every size, index, name and record a plug-in sends is checked
// before use; a plug-in that sends a frame of the wrong size, too many
// frames at once, or does not acknowledge within the limit is disconnected
// with a log line, and so is one whose socket closes (it crashed). Ending a
// connection, whatever the reason, removes its services, releases the area
// it holds (unlock, index released) and removes the block files named with
// its threads.
//
// A new socket waits for its connect frame on a thread of its own, so peers
// that stay silent never hold up the listener or another plug-in.
//
// Threads: the connection lists, the service list and every change of the
// configuration run on the main thread (the worker hands them over with the
// dispatcher's Send); reading and writing inside the area the connection
// holds exclusively runs on the worker under the connection's area mutex.
// The main thread waits for a plug-in (information query, service call)
// with the dispatcher's RunUntil, so the connections' hand-overs go on
// meanwhile, and never longer than the limit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/plugin/api/PluginProtocol.h"
#include "app/plugin/api/PluginRecords.h"
#include "platform/MessageSocket.h"

namespace velmaris {
class TArea;
class TConfigStore;
}  // namespace velmaris

namespace velmaris::plugin {

class TPluginHost;

struct TPluginLimits {
  std::chrono::milliseconds Ack{10000};     // acknowledgements and answers of a plug-in
  std::chrono::milliseconds Connect{5000};  // the connect frame after the socket opened
  size_t MaxWaiting = 64;                   // sockets waiting for their connect frame
  size_t MaxQueued = 64;                    // frames waiting for the worker
  size_t MaxServices = 32;                  // services of one plug-in
  uint32_t MaxBlock = 16u << 20;            // bytes of a parameter block
};

// The program's own information record.
const TPluginInfo& PluginHostInfo();

class TKQAPIClientConnection {
 public:
  TKQAPIClientConnection(TPluginHost& host, std::shared_ptr<platform::TMessageSocket> socket,
                         uint32_t commandThread, uint32_t replyThread);
  ~TKQAPIClientConnection();
  TKQAPIClientConnection(const TKQAPIClientConnection&) = delete;
  TKQAPIClientConnection& operator=(const TKQAPIClientConnection&) = delete;

  // Starts both threads and waits until the worker runs; false when the
  // thread could not be made.
  bool Start();
  uint32_t ThreadId() const { return threadId_; }
  uint32_t CommandThread() const { return commandThread_; }
  uint32_t ReplyThread() const { return replyThread_; }
  int PeerPid() const { return peerPid_; }
  // The area the plug-in holds, or null.
  TArea* OpenArea() const;

  // --- Main thread -------------------------------------------------------------
  // Releases the open area and opens, locks and holds `area` instead (a
  // message service's area); false when that fails.
  bool ClaimArea(TArea& area);
  // Sends a frame to the plug-in.
  bool Post(const platform::TThreadMessage& message);
  // Waits for a frame with this number addressed to the main thread.
  std::optional<platform::TThreadMessage> WaitMain(uint32_t msg);
  // Asks the worker to end as on the program's stop (the plug-in is told).
  void RequestStop();
  // Ends the connection at once (the plug-in misbehaved).
  void Abort(const std::string& why);
  // True once the worker has finished.
  bool Finished() const { return finished_.load(); }
  void Join();

 private:
  void ReaderLoop();
  void WorkerLoop();
  std::optional<platform::TThreadMessage> NextRequest();
  bool WaitAck();
  // Takes the next message of this kind addressed to this thread within the
  // Ack limit; without it the connection is closed for lateReason.
  bool WaitFor(uint32_t kind, const char* lateReason);
  void Handle(const platform::TThreadMessage& m);
  void Reply(uint32_t result);
  void ReplyWithBlock(const std::string& word, const Bytes& bytes, uint32_t result,
                      uint32_t failResult = PluginResult::NoBlock);
  std::optional<Bytes> ReadBlock(const std::string& word, uint32_t size);
  uint32_t ReadName(const std::string& word, uint32_t size, std::string& name);
  void OnMain(const std::function<void()>& fn);
  // Main thread: unlock, close the index, forget the area.
  void ReleaseArea();
  // Main thread: releases the open area, then opens, locks and holds area.
  uint32_t TakeArea(TArea* area);

  void DoInfo(uint32_t askingThread);
  void DoMessage(uint32_t index);
  void DoRegister(uint32_t size);
  void DoStoreNew(uint32_t size);
  void DoFlags(const platform::TThreadMessage& m);
  void DoCreateArea(uint32_t size);
  void DoAreaUplink(uint32_t size);

  TPluginHost& host_;
  std::shared_ptr<platform::TMessageSocket> socket_;
  const uint32_t commandThread_;
  const uint32_t replyThread_;
  int peerPid_ = 0;
  std::atomic<uint32_t> threadId_{0};
  std::thread reader_, worker_;
  std::atomic<bool> finished_{false};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<platform::TThreadMessage> requests_;  // for the worker
  std::deque<platform::TThreadMessage> mainbox_;   // for the main thread
  bool closed_ = false;
  std::string closeReason_;

  mutable std::mutex areaMutex_;  // guards area_ and the work inside it
  TArea* area_ = nullptr;
};

// One registered service.
struct TServiceEntry {
  uint32_t Handle = 0;
  TPluginService Record;
  std::shared_ptr<TKQAPIClientConnection> Connection;
};

class TPluginHost {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  // Made on the main thread, whose id names the blocks of service calls.
  TPluginHost(TConfigStore& store, std::string folder, TPluginLimits limits = {});
  // Stops the connections and the listener.
  ~TPluginHost();
  TPluginHost(const TPluginHost&) = delete;
  TPluginHost& operator=(const TPluginHost&) = delete;

  // Listens at PluginSocketPath(folder); raises platform::EFile.
  void Start();
  const std::string& Folder() const { return folder_; }
  uint32_t MainThread() const { return mainThread_; }
  const TPluginLimits& Limits() const { return limits_; }
  TConfigStore& Store() { return store_; }

  // Runs on the main thread after every change of the connections or the
  // services (menus and the browser are rebuilt from here).
  std::function<void()> OnChanged;
  void SetLogSink(LogSink sink);
  void Log(const std::string& line) const;

  // --- Main thread -------------------------------------------------------------
  const std::vector<std::shared_ptr<TKQAPIClientConnection>>& PluginConnections() const {
    return connections_;
  }
  const std::vector<TServiceEntry>& PluginServices() const { return services_; }
  const TServiceEntry* FindService(uint32_t handle) const;
  // The plug-in's information record; none when it did not answer in time.
  std::optional<TPluginInfo> QueryPluginInfo(TKQAPIClientConnection& connection);
  // Runs a service: for an area service the areas' names, for a message
  // service the area and the selected message indexes. The text of the
  // information box to show, or empty. The main window passes the selected
  // areas; a message list window passes its one area both as the name and
  // as the area, and its selection.
  std::string InvokePluginService(uint32_t handle, const std::vector<std::string>& areas,
                                  TArea* messageArea, const std::vector<uint32_t>& selection);
  // Ends every connection and waits until they have gone (bounded).
  void StopPluginConnections();

 private:
  friend class TKQAPIClientConnection;
  void ListenLoop();
  // Starts the wait for a new socket's connect frame on its own thread.
  void Greet(std::shared_ptr<platform::TMessageSocket> socket);
  void Welcome(std::shared_ptr<platform::TMessageSocket> socket);
  // Joins the greeting threads that have ended; with `all`, first wakes and
  // waits for every one.
  void ReapGreetings(bool all);
  uint32_t PluginConnectMsg(std::shared_ptr<platform::TMessageSocket> socket,
                            uint32_t commandThread, uint32_t replyThread);
  // Main thread.
  void Added(TKQAPIClientConnection* connection);
  void Removed(TKQAPIClientConnection* connection);
  void AddService(TServiceEntry entry);
  uint32_t RemoveService(uint32_t handle, const TKQAPIClientConnection* owner);
  size_t ServiceCount(const TKQAPIClientConnection* owner) const;
  void Changed();
  void ReapFinished();
  uint32_t NextHandle() { return nextHandle_.fetch_add(1); }
  std::shared_ptr<TKQAPIClientConnection> Shared(const TKQAPIClientConnection* c) const;

  TConfigStore& store_;
  std::string folder_;
  TPluginLimits limits_;
  uint32_t mainThread_;
  LogSink logSink_;
  mutable std::mutex logMutex_;

  std::unique_ptr<platform::TMessageListener> listener_;
  std::thread listenThread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> listenDone_{false};

  struct TGreeting {
    std::shared_ptr<platform::TMessageSocket> Socket;
    std::thread Thread;
    bool Done = false;
  };
  std::mutex greetMutex_;
  std::list<TGreeting> greetings_;  // under greetMutex_

  std::vector<std::shared_ptr<TKQAPIClientConnection>> starting_, connections_, finished_;
  std::vector<TServiceEntry> services_;
  std::atomic<uint32_t> nextHandle_{1};
  bool rebuilding_ = false, rebuildAgain_ = false;
};

}  // namespace velmaris::plugin

// The client library of plug-in programs: connects to the running program,
// sends requests and waits for their results, reads the blocks the program
// answers with (and acknowledges them), and serves the program's calls to
// the plug-in on a command thread of its own: the information query is
// answered from the plug-in's TPluginInfo, service commands go to a
// callback, the end notice closes the connection.
//
// Threads: the thread that makes the client is its reply thread and sends
// every request; the command thread reads the socket and hands replies over.
// Every wait has a limit; a request that times out gives kTimedOut.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/plugin/api/PluginProtocol.h"
#include "app/plugin/api/PluginRecords.h"
#include "platform/MessageSocket.h"

namespace velmaris::plugin {

// The listening socket of the program in the runtime folder.
std::string PluginSocketPath(const std::string& folder);

class TPluginClient {
 public:
  static constexpr uint32_t kTimedOut = 0xFFFFFFFE;

  // A service command from the program: the command number and both
  // parameters (for area and message services: the block size and the id
  // that names the block and gets the acknowledgement).
  using CommandHandler = std::function<void(const platform::TThreadMessage& command)>;

  // folder: the runtime folder (ends in "/"); limit: how long any wait lasts.
  TPluginClient(std::string folder, TPluginInfo info,
                std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Ends the connection (End) when still connected.
  ~TPluginClient();
  TPluginClient(const TPluginClient&) = delete;
  TPluginClient& operator=(const TPluginClient&) = delete;

  void SetCommandHandler(CommandHandler handler) { onCommand_ = std::move(handler); }
  // Connects; the connection thread's id, 0 on failure.
  uint32_t Connect();
  bool Connected() const;
  uint32_t ReplyThread() const { return replyThread_; }
  uint32_t CommandThread() const { return commandThread_; }
  uint32_t ConnectionThread() const { return connection_; }

  // Sends a request to the connection thread and waits for its result.
  uint32_t Request(uint32_t msg, uint32_t wParam = 0, uint32_t lParam = 0);
  // The same with a parameter block: word + the reply thread's id, holding
  // bytes; its size goes as the second parameter.
  uint32_t RequestWithBlock(uint32_t msg, const std::string& word, const Bytes& bytes,
                            uint32_t wParam = 0);
  // Reads the block the program made for the last reply (word + the
  // connection thread's id, size bytes) and acknowledges it.
  std::optional<Bytes> TakeReplyBlock(const std::string& word, uint32_t size);
  // Reads a block named with another id (a service command's) and sends the
  // acknowledgement to that id.
  std::optional<Bytes> TakeBlock(const std::string& word, uint32_t size, uint32_t ackThread);
  // The same in two steps: the block's bytes when it exists, then the
  // acknowledgement.
  std::optional<Bytes> ReadBlock(const std::string& word, uint32_t size, uint32_t id);
  bool Acknowledge(uint32_t thread) { return socket_.Send({PluginMsg::Ack, thread, 0, 0}); }
  // Sends any frame as it stands (for tests of the program's checks).
  bool SendRaw(const platform::TThreadMessage& message);
  // The socket, for tests that send what no frame is.
  int SocketFd() const { return socket_.fd(); }
  // Ends the connection.
  void Disconnect();
  // True once the program has told the plug-in to end.
  bool EndReceived() const;

  // --- The requests ----------------------------------------------------------
  std::optional<std::vector<TAreaEntry>> AreaList(uint32_t* result = nullptr);
  uint32_t OpenArea(const std::string& name);
  uint32_t CloseArea() { return Request(PluginMsg::CloseArea); }
  std::optional<std::vector<Bytes>> MsgList(uint32_t* result = nullptr);
  std::optional<Bytes> Message(uint32_t index, uint32_t* result = nullptr);
  uint32_t RegisterService(const TPluginService& service);
  uint32_t UnregisterService(uint32_t handle) {
    return Request(PluginMsg::UnregisterService, 0, handle);
  }
  uint32_t StoreNew(const TNewMessage& message);
  uint32_t GetFlags(uint32_t index) { return Request(PluginMsg::GetFlags, 0, index); }
  uint32_t SetFlags(uint32_t index, uint16_t flags) {
    return Request(PluginMsg::SetFlags, flags, index);
  }
  uint32_t CreateArea(const TAreaCreation& area);
  std::optional<std::string> CurrentArea(uint32_t* result = nullptr);
  std::optional<TPluginUplink> AreaUplink(const std::string& area, uint32_t* result = nullptr);
  std::optional<std::vector<TPluginUplink>> Uplinks(uint32_t* result = nullptr);
  uint32_t AreaType(const std::string& area);
  std::optional<std::string> DialTrans(uint32_t* result = nullptr);
  uint32_t SetDialTrans(const std::string& text);
  std::optional<TPluginInfo> SystemInfo();

 private:
  void CommandLoop();
  // Reads one frame and routes it; false when the connection is gone.
  bool Pump(std::chrono::milliseconds limit);
  void AnswerInfo(uint32_t askingThread);
  std::optional<platform::TThreadMessage> WaitFor(std::deque<platform::TThreadMessage>& queue,
                                                  uint32_t msg);

  std::string folder_;
  TPluginInfo info_;
  std::chrono::milliseconds limit_;
  platform::TMessageSocket socket_;
  uint32_t replyThread_ = 0;
  uint32_t commandThread_ = 0;
  uint32_t connection_ = 0;
  CommandHandler onCommand_;
  std::thread reader_;  // the command thread

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<platform::TThreadMessage> replies_;   // for the reply thread
  std::deque<platform::TThreadMessage> commands_;  // for the command thread
  bool closed_ = false;
  bool ended_ = false;
};

}  // namespace velmaris::plugin

#include "app/plugin/api/PluginClient.h"

#include <cstring>

#include "platform/SharedMem.h"

namespace velmaris::plugin {

using platform::TMessageSocket;
using platform::TSharedMem;
using platform::TThreadMessage;

std::string PluginSocketPath(const std::string& folder) { return folder + "TKQMainWindow"; }

TPluginClient::TPluginClient(std::string folder, TPluginInfo info, std::chrono::milliseconds limit)
    : folder_(std::move(folder)), info_(std::move(info)), limit_(limit) {
  replyThread_ = platform::CurrentThreadId();
}

TPluginClient::~TPluginClient() { Disconnect(); }

uint32_t TPluginClient::Connect() {
  if (socket_.ok()) return connection_;
  socket_ = TMessageSocket::Connect(PluginSocketPath(folder_));
  if (!socket_.ok() || !socket_.PeerIsSameUser()) {
    socket_ = {};
    return 0;
  }
  {
    std::lock_guard lock(mutex_);
    closed_ = false;
  }
  reader_ = std::thread([this] {
    {
      std::lock_guard lock(mutex_);
      commandThread_ = platform::CurrentThreadId();
    }
    changed_.notify_all();
    CommandLoop();
  });
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return commandThread_ != 0; });
  }
  socket_.Send({PluginMsg::Connect, 0, commandThread_, replyThread_});
  const auto answer = WaitFor(replies_, PluginMsg::Connect);
  connection_ = answer ? answer->WParam : 0;
  if (connection_ == 0) Disconnect();
  return connection_;
}

bool TPluginClient::Connected() const {
  std::lock_guard lock(mutex_);
  return connection_ != 0 && !closed_ && !ended_;
}

bool TPluginClient::EndReceived() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

void TPluginClient::Disconnect() {
  if (!socket_.ok()) return;
  if (connection_ != 0 && !EndReceived()) socket_.Send({PluginMsg::End, connection_, 0, 0});
  socket_.Shutdown();
  if (reader_.joinable()) reader_.join();
  socket_ = {};
  connection_ = 0;
}

bool TPluginClient::SendRaw(const TThreadMessage& message) { return socket_.Send(message); }

bool TPluginClient::Pump(std::chrono::milliseconds limit) {
  TThreadMessage frame;
  const auto result = socket_.Receive(frame, limit);
  if (result == TMessageSocket::Result::Timeout) return true;
  std::lock_guard lock(mutex_);
  if (result != TMessageSocket::Result::Ok) {
    closed_ = true;
  } else if (frame.Thread == replyThread_) {
    replies_.push_back(frame);
  } else if (frame.Thread == commandThread_) {
    commands_.push_back(frame);
  }
  changed_.notify_all();
  return !closed_;
}

void TPluginClient::CommandLoop() {
  for (;;) {
    std::deque<TThreadMessage> work;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      work.swap(commands_);
    }
    for (const TThreadMessage& m : work) {
      if (m.Msg == PluginMsg::Info) {
        AnswerInfo(m.LParam);
      } else if (m.Msg == PluginMsg::End) {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
      } else if (m.Msg != PluginMsg::Reply && onCommand_) {
        onCommand_(m);
      }
    }
    if (!Pump(std::chrono::milliseconds(-1))) return;
  }
}

// The information record goes into a block named with the command thread;
// the block stays until the program has copied it and said so.
void TPluginClient::AnswerInfo(uint32_t askingThread) {
  TSharedMem block(folder_, platform::SharedBlockName("PluginInfo", commandThread_),
                   TPluginInfo::kSize);
  if (!block.Created || !block.Buffer) {
    socket_.Send({PluginMsg::Reply, askingThread, 0, PluginResult::NoBlock});
    return;
  }
  const Bytes bytes = info_.Encode();
  std::memcpy(block.Buffer, bytes.data(), bytes.size());
  socket_.Send({PluginMsg::Reply, askingThread, 0, PluginResult::Ok});
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      for (auto it = commands_.begin(); it != commands_.end(); ++it) {
        if (it->Msg == PluginMsg::Reply) {
          commands_.erase(it);
          return;
        }
      }
    }
    if (!Pump(std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                           std::chrono::steady_clock::now())))
      return;
  }
}

std::optional<TThreadMessage> TPluginClient::WaitFor(std::deque<TThreadMessage>& queue,
                                                     uint32_t msg) {
  std::unique_lock lock(mutex_);
  std::optional<TThreadMessage> found;
  changed_.wait_for(lock, limit_, [&] {
    while (!queue.empty()) {
      const TThreadMessage m = queue.front();
      queue.pop_front();
      if (m.Msg == msg) {
        found = m;
        return true;
      }
    }
    return closed_;
  });
  return found;
}

uint32_t TPluginClient::Request(uint32_t msg, uint32_t wParam, uint32_t lParam) {
  if (!socket_.Send({msg, connection_, wParam, lParam})) return kTimedOut;
  const auto reply = WaitFor(replies_, PluginMsg::Reply);
  return reply ? reply->LParam : kTimedOut;
}

uint32_t TPluginClient::RequestWithBlock(uint32_t msg, const std::string& word, const Bytes& bytes,
                                         uint32_t wParam) {
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  TSharedMem block(folder_, platform::SharedBlockName(word, replyThread_), size);
  if (block.Created && block.Buffer) std::memcpy(block.Buffer, bytes.data(), size);
  return Request(msg, wParam, size);
}

std::optional<Bytes> TPluginClient::ReadBlock(const std::string& word, uint32_t size, uint32_t id) {
  if (size == 0) return std::nullopt;
  TSharedMem block(folder_, platform::SharedBlockName(word, id), size);
  if (!block.Existing()) return std::nullopt;
  return Bytes(block.Buffer, block.Buffer + size);
}

std::optional<Bytes> TPluginClient::TakeBlock(const std::string& word, uint32_t size,
                                              uint32_t ackThread) {
  auto out = ReadBlock(word, size, ackThread);
  Acknowledge(ackThread);
  return out;
}

std::optional<Bytes> TPluginClient::TakeReplyBlock(const std::string& word, uint32_t size) {
  return TakeBlock(word, size, connection_);
}

namespace {

// The result of a request that answers with a block: the block's size, or
// -1 or an error code (0x80000000 and above). Only requests the program
// knows get here, so every other value is a size, 0x404 (1,028 bytes: the
// message list of 4 messages) included.
bool IsSize(uint32_t result) { return result != 0 && result < 0x80000000u; }

}  // namespace

std::optional<std::vector<TAreaEntry>> TPluginClient::AreaList(uint32_t* result) {
  const uint32_t r = Request(PluginMsg::AreaList);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  const auto bytes = TakeReplyBlock("AreaList", r);
  return bytes ? DecodeAreaList(bytes->data(), bytes->size()) : std::nullopt;
}

uint32_t TPluginClient::OpenArea(const std::string& name) {
  return RequestWithBlock(PluginMsg::OpenArea, "OpenArea", EncodeString(name));
}

std::optional<std::vector<Bytes>> TPluginClient::MsgList(uint32_t* result) {
  const uint32_t r = Request(PluginMsg::MsgList);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  const auto bytes = TakeReplyBlock("MsgList", r);
  return bytes ? DecodeMsgList(bytes->data(), bytes->size()) : std::nullopt;
}

std::optional<Bytes> TPluginClient::Message(uint32_t index, uint32_t* result) {
  const uint32_t r = Request(PluginMsg::Message, 0, index);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  return TakeReplyBlock("Msg", r);
}

uint32_t TPluginClient::RegisterService(const TPluginService& service) {
  return RequestWithBlock(PluginMsg::RegisterService, "RegisterService", service.Encode());
}

uint32_t TPluginClient::StoreNew(const TNewMessage& message) {
  return RequestWithBlock(PluginMsg::StoreNew, "StoreNew", message.Encode());
}

uint32_t TPluginClient::CreateArea(const TAreaCreation& area) {
  return RequestWithBlock(PluginMsg::CreateArea, "CreateArea", area.Encode());
}

std::optional<std::string> TPluginClient::CurrentArea(uint32_t* result) {
  const uint32_t r = Request(PluginMsg::CurrentArea);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  const auto bytes = TakeReplyBlock("CurrentArea", r);
  return bytes ? std::optional(DecodeString(bytes->data(), bytes->size())) : std::nullopt;
}

std::optional<TPluginUplink> TPluginClient::AreaUplink(const std::string& area, uint32_t* result) {
  const uint32_t r = RequestWithBlock(PluginMsg::AreaUplink, "GetAreaUplink", EncodeString(area));
  if (result) *result = r;
  if (r != PluginResult::Ok) return std::nullopt;
  const auto bytes = TakeReplyBlock("AreaUplink", TPluginUplink::kSize);
  return bytes ? TPluginUplink::Decode(bytes->data(), bytes->size()) : std::nullopt;
}

std::optional<std::vector<TPluginUplink>> TPluginClient::Uplinks(uint32_t* result) {
  const uint32_t r = Request(PluginMsg::Uplinks);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  const auto bytes = TakeReplyBlock("Uplinks", r);
  if (!bytes) return std::nullopt;
  std::vector<TPluginUplink> uplinks;
  for (size_t at = 0; at + TPluginUplink::kSize <= bytes->size(); at += TPluginUplink::kSize)
    uplinks.push_back(*TPluginUplink::Decode(bytes->data() + at, TPluginUplink::kSize));
  return uplinks;
}

uint32_t TPluginClient::AreaType(const std::string& area) {
  return RequestWithBlock(PluginMsg::AreaType, "GetAreaType", EncodeString(area));
}

std::optional<std::string> TPluginClient::DialTrans(uint32_t* result) {
  const uint32_t r = Request(PluginMsg::ReadDialTrans);
  if (result) *result = r;
  if (!IsSize(r)) return std::nullopt;
  const auto bytes = TakeReplyBlock("DT", r);
  return bytes ? std::optional(DecodeString(bytes->data(), bytes->size())) : std::nullopt;
}

uint32_t TPluginClient::SetDialTrans(const std::string& text) {
  return RequestWithBlock(PluginMsg::WriteDialTrans, "NDT", EncodeString(text));
}

// The program answers Info with a Reply to the asking thread (here the
// reply thread) once its block is ready, then waits for a Reply back.
std::optional<TPluginInfo> TPluginClient::SystemInfo() {
  if (!socket_.Send({PluginMsg::Info, connection_, 0, replyThread_})) return std::nullopt;
  const auto reply = WaitFor(replies_, PluginMsg::Reply);
  if (!reply || reply->LParam != PluginResult::Ok) return std::nullopt;
  std::optional<TPluginInfo> info;
  {
    TSharedMem block(folder_, platform::SharedBlockName("PluginInfo", connection_),
                     TPluginInfo::kSize);
    if (block.Existing()) info = TPluginInfo::Decode(block.Buffer, block.Size);
  }
  socket_.Send({PluginMsg::Reply, connection_, 0, 0});
  return info;
}

}  // namespace velmaris::plugin

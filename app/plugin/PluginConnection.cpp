// The connection of one plug-in: its reader and worker threads and the
// answers to its requests (PluginServer.h).
#include "app/plugin/PluginServer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/Area.h"
#include "core/ByteOrder.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "platform/Dispatcher.h"
#include "platform/Event.h"
#include "platform/SharedMem.h"

namespace velmaris::plugin {

using platform::GetDispatcher;
using platform::TMessageSocket;
using platform::TThreadMessage;

namespace {

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

TPluginAddr ToPluginAddr(const TFidoAddr& a) { return {a.Zone, a.Net, a.Node, a.Point}; }
TFidoAddr ToFidoAddr(const TPluginAddr& a) { return {a.Zone, a.Net, a.Node, a.Point}; }

TPluginUplink UplinkRecord(const TNetLink& link) {
  return {link.Name, link.Sysop, ToPluginAddr(link.UplinkAddress.Address()),
          ToPluginAddr(link.SysopAddress.Address())};
}

// Area types a plug-in may create: not a separator (5) or the prototype (7),
// nor a number the program does not know.
bool CreatableType(uint8_t type) { return type <= 10 && type != 5 && type != 7; }

bool UsableAreaName(const std::string& name) {
  if (name.empty() || name == kSeparatorName) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 32; });
}

std::vector<std::string> SplitMemo(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

std::string JoinMemo(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

}  // namespace


// --- The connection ------------------------------------------------------------------

TKQAPIClientConnection::TKQAPIClientConnection(TPluginHost& host,
                                               std::shared_ptr<TMessageSocket> socket,
                                               uint32_t commandThread, uint32_t replyThread)
    : host_(host),
      socket_(std::move(socket)),
      commandThread_(commandThread),
      replyThread_(replyThread),
      peerPid_(socket_->PeerPid()) {}

TKQAPIClientConnection::~TKQAPIClientConnection() {
  socket_->Shutdown();
  Join();
}

void TKQAPIClientConnection::Join() {
  if (worker_.joinable()) {
    if (worker_.get_id() == std::this_thread::get_id())
      worker_.detach();
    else
      worker_.join();
  }
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
}

bool TKQAPIClientConnection::Start() {
  platform::Event started(false);
  try {
    worker_ = std::thread([this, &started] {
      threadId_ = platform::CurrentThreadId();
      started.Set();
      WorkerLoop();
    });
  } catch (const std::system_error&) {
    return false;
  }
  // The thread is ours, not the plug-in's: it signals as soon as it runs.
  while (!started.Wait(std::chrono::seconds(1))) {
  }
  reader_ = std::thread([this] { ReaderLoop(); });
  return true;
}

TArea* TKQAPIClientConnection::OpenArea() const {
  std::lock_guard lock(areaMutex_);
  return area_;
}

void TKQAPIClientConnection::ReaderLoop() {
  for (;;) {
    TThreadMessage m;
    const auto result = socket_->Receive(m, std::chrono::milliseconds(-1));
    std::unique_lock lock(mutex_);
    if (closed_) return;
    if (result == TMessageSocket::Result::Ok && m.Thread == host_.MainThread()) {
      if (mainbox_.size() < host_.Limits().MaxQueued) mainbox_.push_back(m);
      lock.unlock();
      GetDispatcher().Wake();
      continue;
    }
    if (result == TMessageSocket::Result::Ok && m.Thread != threadId_) continue;  // no such thread
    if (result == TMessageSocket::Result::Ok && requests_.size() >= host_.Limits().MaxQueued)
      closeReason_ = "sent more than " + std::to_string(host_.Limits().MaxQueued) +
                     " messages without waiting";
    else if (result == TMessageSocket::Result::Garbage)
      closeReason_ = "sent a malformed message";
    else if (result != TMessageSocket::Result::Ok)
      closeReason_ = "closed its connection";
    if (closeReason_.empty()) {
      requests_.push_back(m);
    } else {
      closed_ = true;
    }
    changed_.notify_all();
    if (closed_) {
      lock.unlock();
      GetDispatcher().Wake();
      return;
    }
  }
}

std::optional<TThreadMessage> TKQAPIClientConnection::NextRequest() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return closed_ || !requests_.empty(); });
  // A plug-in that said goodbye and closed its socket ended normally.
  if (closed_) {
    const bool said = std::any_of(requests_.begin(), requests_.end(),
                                  [](const TThreadMessage& m) { return m.Msg == PluginMsg::End; });
    return said ? std::optional<TThreadMessage>({PluginMsg::End, threadId_, 0, 0}) : std::nullopt;
  }
  const TThreadMessage m = requests_.front();
  requests_.pop_front();
  return m;
}

// Takes the next Ack addressed to this thread; requests that came first
// stay queued for later.
bool TKQAPIClientConnection::WaitAck() {
  return WaitFor(PluginMsg::Ack, "did not acknowledge a block in time");
}

bool TKQAPIClientConnection::WaitFor(uint32_t kind, const char* lateReason) {
  std::unique_lock lock(mutex_);
  bool got = false;
  changed_.wait_for(lock, host_.Limits().Ack, [this, &got, kind] {
    auto it = std::find_if(requests_.begin(), requests_.end(),
                           [kind](const TThreadMessage& m) { return m.Msg == kind; });
    if (it != requests_.end()) {
      requests_.erase(it);
      got = true;
    }
    return got || closed_;
  });
  if (!got && !closed_) {
    closed_ = true;
    closeReason_ = lateReason;
    socket_->Shutdown();
  }
  return got;
}

void TKQAPIClientConnection::RequestStop() {
  std::lock_guard lock(mutex_);
  requests_.push_back({PluginMsg::Stop, threadId_, 0, 0});
  changed_.notify_all();
}

void TKQAPIClientConnection::Abort(const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    if (!closed_) {
      closed_ = true;
      closeReason_ = why;
    }
    changed_.notify_all();
  }
  socket_->Shutdown();
}

bool TKQAPIClientConnection::Post(const TThreadMessage& message) { return socket_->Send(message); }

std::optional<TThreadMessage> TKQAPIClientConnection::WaitMain(uint32_t msg) {
  assert(GetDispatcher().IsMainThread());
  std::optional<TThreadMessage> found;
  auto take = [&] {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(mainbox_.begin(), mainbox_.end(),
                           [msg](const TThreadMessage& m) { return m.Msg == msg; });
    if (it != mainbox_.end()) {
      found = *it;
      mainbox_.erase(mainbox_.begin(), it + 1);
    }
    return found.has_value() || closed_;
  };
  GetDispatcher().RunUntil(take, host_.Limits().Ack);
  if (!found && !Finished()) Abort("did not answer the program in time");
  return found;
}

void TKQAPIClientConnection::OnMain(const std::function<void()>& fn) { GetDispatcher().Send(fn); }

void TKQAPIClientConnection::WorkerLoop() {
  OnMain([this] { host_.Added(this); });
  bool goodbye = false;
  while (auto m = NextRequest()) {
    if (m->Msg == PluginMsg::End) {
      goodbye = true;
      break;
    }
    if (m->Msg == PluginMsg::Stop) {
      socket_->Send({PluginMsg::End, commandThread_, 0, 0});
      break;
    }
    if (m->Msg < PluginMsg::First || m->Msg > PluginMsg::Last) continue;
    try {
      Handle(*m);
    } catch (const std::exception& e) {
      Abort(std::string("made the program fail: ") + e.what());
    }
    std::lock_guard lock(mutex_);
    if (closed_) break;
  }
  std::string reason;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    reason = closeReason_;
  }
  if (!reason.empty() && !goodbye)
    host_.Log("Plugin " + Hex(threadId_) + " (process " + std::to_string(peerPid_) + ") " + reason +
              "; disconnected");
  socket_->Shutdown();
  if (reader_.joinable()) reader_.join();
  // What a plug-in that died in the middle left behind (never the blocks of
  // the main thread, whatever ids the plug-in gave).
  for (uint32_t id : {replyThread_, commandThread_, threadId_.load()})
    if (id != host_.MainThread()) platform::RemoveBlocksOf(host_.Folder(), id);
  OnMain([this] {
    ReleaseArea();
    host_.Removed(this);
  });
  finished_ = true;
}

void TKQAPIClientConnection::Reply(uint32_t result) {
  socket_->Send({PluginMsg::Reply, replyThread_, 0, result});
}

void TKQAPIClientConnection::ReplyWithBlock(const std::string& word, const Bytes& bytes,
                                            uint32_t result, uint32_t failResult) {
  platform::TOwnSharedBlock block(host_.Folder(), platform::SharedBlockName(word, threadId_),
                                  bytes.data(), bytes.size());
  if (!block.Created) {
    Reply(failResult);
    return;
  }
  Reply(result);
  WaitAck();
}

// A short read (the plug-in made the block smaller than it said, or shrank
// it meanwhile) is a bad parameter block like a missing one.
std::optional<Bytes> TKQAPIClientConnection::ReadBlock(const std::string& word, uint32_t size) {
  if (size == 0 || size > host_.Limits().MaxBlock) return std::nullopt;
  return platform::ReadSharedBlock(host_.Folder(), platform::SharedBlockName(word, replyThread_),
                                   size);
}

uint32_t TKQAPIClientConnection::ReadName(const std::string& word, uint32_t size,
                                          std::string& name) {
  const auto bytes = ReadBlock(word, size);
  if (!bytes) return PluginResult::BadParamBlock;
  name = DecodeString(bytes->data(), bytes->size());
  return PluginResult::Ok;
}

void TKQAPIClientConnection::ReleaseArea() {
  assert(GetDispatcher().IsMainThread());
  std::lock_guard lock(areaMutex_);
  if (!area_) return;
  area_->Unlock();
  area_->CloseIndex();
  area_ = nullptr;
}

uint32_t TKQAPIClientConnection::TakeArea(TArea* area) {
  ReleaseArea();
  if (!area) return PluginResult::NoSuchArea;
  if (!area->OpenIndex()) return PluginResult::CannotOpenArea;
  if (!area->Lock(true)) {
    area->ReleaseIndex();
    return PluginResult::CannotLockArea;
  }
  std::lock_guard lock(areaMutex_);
  area_ = area;
  return PluginResult::Ok;
}

bool TKQAPIClientConnection::ClaimArea(TArea& area) { return TakeArea(&area) == PluginResult::Ok; }

void TKQAPIClientConnection::Handle(const TThreadMessage& m) {
  const uint32_t param = m.LParam;
  switch (m.Msg) {
    case PluginMsg::Info:
      return DoInfo(param);
    case PluginMsg::AreaList: {
      Bytes bytes;
      OnMain([&] {
        std::vector<TAreaEntry> areas;
        const TAreaList& list = host_.Store().Areas();
        for (int i = 0; i < list.GetCount(); ++i)
          areas.push_back({list.GetItem(i)->Name, list.GetItem(i)->AreaType});
        bytes = EncodeAreaList(areas);
      });
      return ReplyWithBlock("AreaList", bytes, static_cast<uint32_t>(bytes.size()));
    }
    case PluginMsg::OpenArea: {
      std::string name;
      uint32_t result = ReadName("OpenArea", param, name);
      if (result == PluginResult::Ok) {
        OnMain([&] { result = TakeArea(host_.Store().FindArea(name)); });
      }
      return Reply(result);
    }
    case PluginMsg::CloseArea: {
      if (!OpenArea()) return Reply(PluginResult::NoOpenArea);
      OnMain([this] { ReleaseArea(); });
      return Reply(PluginResult::Ok);
    }
    case PluginMsg::MsgList: {
      Bytes bytes;
      {
        std::lock_guard lock(areaMutex_);
        if (!area_) return Reply(PluginResult::NoOpenArea);
        const auto& headers = area_->HeaderList();
        bytes.resize(4 + 256 * headers.size());
        PutLE32(bytes.data(), static_cast<uint32_t>(headers.size()));
        for (size_t i = 0; i < headers.size(); ++i) headers[i].Encode(&bytes[4 + 256 * i]);
      }
      return ReplyWithBlock("MsgList", bytes, static_cast<uint32_t>(bytes.size()),
                            PluginResult::BadParamBlock);
    }
    case PluginMsg::Message:
      return DoMessage(param);
    case PluginMsg::RegisterService:
      return DoRegister(param);
    case PluginMsg::UnregisterService: {
      uint32_t result = 0;
      OnMain([&] { result = host_.RemoveService(param, this); });
      return Reply(result);
    }
    case PluginMsg::StoreNew:
      return DoStoreNew(param);
    case PluginMsg::GetFlags:
    case PluginMsg::SetFlags:
      return DoFlags(m);
    case PluginMsg::CreateArea:
      return DoCreateArea(param);
    case PluginMsg::CurrentArea: {
      std::string name;
      {
        std::lock_guard lock(areaMutex_);
        if (!area_) return Reply(PluginResult::NoOpenArea);
        name = area_->Name;
      }
      const Bytes bytes = EncodeString(name);
      return ReplyWithBlock("CurrentArea", bytes, static_cast<uint32_t>(bytes.size()));
    }
    case PluginMsg::AreaUplink:
      return DoAreaUplink(param);
    case PluginMsg::Uplinks: {
      Bytes bytes;
      OnMain([&] {
        const TLinkList& links = host_.Store().Uplinks();
        for (int i = 0; i < links.GetCount(); ++i) {
          const Bytes record = UplinkRecord(*links.GetItem(i)).Encode();
          bytes.insert(bytes.end(), record.begin(), record.end());
        }
      });
      return ReplyWithBlock("Uplinks", bytes, static_cast<uint32_t>(bytes.size()));
    }
    case PluginMsg::AreaType: {
      std::string name;
      uint32_t result = ReadName("GetAreaType", param, name);
      if (result == PluginResult::Ok) {
        OnMain([&] {
          const TArea* area = host_.Store().FindArea(name);
          result = area ? area->AreaType : PluginResult::NoSuchArea;
        });
      }
      return Reply(result);
    }
    case PluginMsg::ReadDialTrans: {
      Bytes bytes;
      OnMain([&] {
        bytes = EncodeString(JoinMemo(host_.Store().Values()->Lines(SettingId::DialTrans)));
      });
      return ReplyWithBlock("DT", bytes, static_cast<uint32_t>(bytes.size()));
    }
    case PluginMsg::WriteDialTrans: {
      if (param < 1) return Reply(PluginResult::ParamTooSmall);
      std::string text;
      const uint32_t result = ReadName("NDT", param, text);
      if (result == PluginResult::Ok) {
        OnMain([&] { host_.Store().SettingsModel().SetLines(SettingId::DialTrans, SplitMemo(text)); });
      }
      return Reply(result);
    }
    default:
      return Reply(PluginResult::Unknown);
  }
}

// The program's information record goes to the plug-in in a block named
// with this thread; the plug-in answers with a Reply once it has copied it.
void TKQAPIClientConnection::DoInfo(uint32_t askingThread) {
  const Bytes bytes = PluginHostInfo().Encode();
  platform::TOwnSharedBlock block(host_.Folder(),
                                  platform::SharedBlockName("PluginInfo", threadId_), bytes.data(),
                                  bytes.size());
  if (!block.Created) return;
  socket_->Send({PluginMsg::Reply, askingThread, 0, 0});
  WaitFor(PluginMsg::Reply, "did not take the program's information in time");
}

void TKQAPIClientConnection::DoMessage(uint32_t index) {
  Bytes bytes;
  {
    std::lock_guard lock(areaMutex_);
    if (!area_) return Reply(PluginResult::NoOpenArea);
    if (index >= static_cast<uint32_t>(area_->Count)) return Reply(PluginResult::IndexOutOfRange);
    const bool opened = area_->BodyHandle == TArea::kBodyClosed && area_->OpenBody();
    const std::unique_ptr<TMail> mail = area_->ReadMail(static_cast<int>(index));
    if (opened) area_->CloseBody();
    if (mail->Header.BodyOffset == TMsgHeader::NotStored || mail->Body.empty())
      return Reply(PluginResult::NoBlock);
    bytes.assign(mail->Body.begin(), mail->Body.end());
  }
  ReplyWithBlock("Msg", bytes, static_cast<uint32_t>(bytes.size()));
}

void TKQAPIClientConnection::DoRegister(uint32_t size) {
  const auto bytes = ReadBlock("RegisterService", TPluginService::kSize);
  auto record = bytes ? TPluginService::Decode(bytes->data(), bytes->size()) : std::nullopt;
  if (!record || record->Category > PluginCategory::Msg) return Reply(0);
  size_t count = 0;
  OnMain([&] { count = host_.ServiceCount(this); });
  if (count >= host_.Limits().MaxServices) return Reply(0);
  record->Owner = threadId_;
  const uint32_t handle = host_.NextHandle();
  Reply(handle);
  OnMain([&] { host_.AddService({handle, *record, host_.Shared(this)}); });
}

void TKQAPIClientConnection::DoStoreNew(uint32_t size) {
  if (size <= TNewMessage::kTextOffset) return Reply(PluginResult::ParamTooSmall);
  const auto bytes = ReadBlock("StoreNew", size);
  const auto record = bytes ? TNewMessage::Decode(bytes->data(), bytes->size()) : std::nullopt;
  if (!record) return Reply(PluginResult::BadParamBlock);
  std::lock_guard lock(areaMutex_);
  if (!area_) return Reply(PluginResult::NoOpenArea);
  TKQMail mail;
  mail.Area = area_;
  mail.Config = host_.Store().Values();
  mail.Uplinks = &host_.Store().Uplinks();
  mail.ToName = record->To;
  mail.FromName = record->From;
  mail.Subject = record->Subject;
  mail.Origin = record->Origin;
  mail.DestAddr.SetAddress(ToFidoAddr(record->Dest));
  mail.OrigAddr.SetAddress(ToFidoAddr(record->Orig));
  mail.Flags = record->Attribute;
  mail.Text = record->Lines;
  const bool echo = area_->AreaType == AreaTypeCode::Echomail;
  mail.UseOrigin = mail.UseTearLine = mail.UseSeenBy = echo;
  mail.UsePid = area_->AreaType == AreaTypeCode::Netmail;
  std::unique_ptr<TMail> stored = mail.BuildMail();
  ApplyReplyKey(record->Lines, stored->Header);
  Reply(area_->StoreMail(std::move(stored)) ? PluginResult::Ok : PluginResult::CannotOpenArea);
}

void TKQAPIClientConnection::DoFlags(const TThreadMessage& m) {
  std::lock_guard lock(areaMutex_);
  if (!area_) return Reply(PluginResult::NoOpenArea);
  if (m.LParam >= static_cast<uint32_t>(area_->Count)) return Reply(PluginResult::IndexOutOfRange);
  const int index = static_cast<int>(m.LParam);
  if (m.Msg == PluginMsg::GetFlags) return Reply(area_->GetHeader(index).Flags);
  TMsgHeader header = area_->GetHeader(index);
  header.Flags = static_cast<uint16_t>(m.WParam);
  Reply(area_->SetHeader(index, header) ? PluginResult::Ok : PluginResult::IndexOutOfRange);
}

void TKQAPIClientConnection::DoCreateArea(uint32_t size) {
  if (size < TAreaCreation::kMinSize) return Reply(PluginResult::ParamTooSmall);
  const auto bytes = ReadBlock("CreateArea", size);
  const auto record = bytes ? TAreaCreation::Decode(bytes->data(), bytes->size()) : std::nullopt;
  if (!record || !UsableAreaName(record->Name) || !CreatableType(record->Type))
    return Reply(PluginResult::BadParamBlock);
  uint32_t result = PluginResult::Ok;
  OnMain([&] {
    TConfigStore& store = host_.Store();
    if (store.FindArea(record->Name)) {
      result = PluginResult::AreaExists;
      return;
    }
    TNetLink* uplink = nullptr;
    if (record->Type == AreaTypeCode::Echomail) {
      uplink = store.Uplinks().FindByName(record->Uplink);
      if (!uplink) {
        result = PluginResult::NoSuchUplink;
        return;
      }
    }
    if (!store.AddAreaQuiet(record->Name, record->Name, record->Type, uplink))
      result = PluginResult::CannotOpenArea;
  });
  Reply(result);
}

void TKQAPIClientConnection::DoAreaUplink(uint32_t size) {
  std::string name;
  uint32_t result = ReadName("GetAreaUplink", size, name);
  Bytes bytes;
  if (result == PluginResult::Ok) {
    OnMain([&] {
      const TArea* area = host_.Store().FindArea(name);
      if (!area)
        result = PluginResult::NoOpenArea;
      else if (area->AreaType != AreaTypeCode::Echomail)
        result = PluginResult::NotEchomail;
      else if (!area->Uplink)
        result = PluginResult::NoSuchUplink;
      else
        bytes = UplinkRecord(*area->Uplink).Encode();
    });
  }
  if (result != PluginResult::Ok) return Reply(result);
  ReplyWithBlock("AreaUplink", bytes, PluginResult::Ok);
}

}  // namespace velmaris::plugin

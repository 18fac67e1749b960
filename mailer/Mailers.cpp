#include "mailer/Mailers.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <utility>

#include "core/TextHelpers.h"
#include "platform/Ascii.h"
#include "platform/CodePage.h"

namespace velmaris {

namespace {

// Bounds on the stored list; those of one profile are TMailer's.
constexpr int32_t kMaxStoredProfiles = 256;

TMailerWindowFactory& WindowFactory() {
  static TMailerWindowFactory factory;
  return factory;
}

std::atomic<TMailerConfig*> currentConfig{nullptr};

}  // namespace

void SetMailerWindowFactory(TMailerWindowFactory factory) { WindowFactory() = std::move(factory); }

std::string TMailer::DefaultName(const std::string& sysop) {
  std::string text = sysop, word;
  CutFirstWordOrQuoted(text, word);
  return word + "'s Point";
}

TMailer::TMailer(TConfigStore* store) : store_(store ? store : GetConfigStore()) {
  if (WindowFactory()) window_ = WindowFactory()(*this);
  if (window_) tapiDevice_ = window_->DeviceName();
  if (store_) Sysop = store_->Values()->FirstSysopName();
  if (Sysop.empty()) Sysop = kPlaceholderSysop;
  SetName(DefaultName(Sysop));
  if (window_) {
    window_->ShowDeviceName();
    window_->ScanOutbound();
  }
}

TMailer::~TMailer() { CloseWindows(); }

void TMailer::CloseWindows() {
  window_.reset();
  if (auto destroy = std::exchange(DestroyProperties, nullptr)) destroy();
}

void TMailer::SetName(const std::string& name) {
  if (name == name_) return;
  if (store_ && !name_.empty()) {
    TMBList& boxes = store_->Mailboxes();
    for (int i = 0; i < boxes.GetCount(); ++i) {
      TMailBox* box = boxes.GetItem(i);
      if (box && box->Command == name_) box->Command = name;
    }
  }
  name_ = name;
  if (window_) window_->SetCaption("Mailer - " + name_);
}

void TMailer::SetTAPIDevice(const std::string& device) {
  if (device == tapiDevice_) return;
  tapiDevice_ = device;
  if (window_) {
    window_->SelectDevice(device);
    window_->ShowDeviceName();
  }
}

void TMailer::LoadFromRegistry(const TWinRegistry& reg, const std::string& section) {
  Flags = reg.ReadString(section, "Flags", Flags);
  InBufSize = std::clamp(reg.ReadInteger(section, "InBufSize", InBufSize), 0, kMaxBufferSize);
  Location = reg.ReadString(section, "Location", Location);
  SetName(reg.ReadString(section, "Name", name_));
  OutBufSize = std::clamp(reg.ReadInteger(section, "OutBufSize", OutBufSize), 0, kMaxBufferSize);
  Phone = reg.ReadString(section, "Phone", Phone);
  SendDummy = reg.ReadBool(section, "SendDummy", SendDummy);
  Sysop = reg.ReadString(section, "Sysop", Sysop);
  SetTAPIDevice(reg.ReadString(section, "TAPIDevice", tapiDevice_));
  ReDials = std::clamp(reg.ReadInteger(section, "ReDials", ReDials), 0, kMaxReDials);
  ReDialWait = std::clamp(reg.ReadInteger(section, "ReDialWait", ReDialWait), 0, kMaxReDialWait);
  Hydra = reg.ReadBool(section, "Hydra", Hydra);
  ZedZap = reg.ReadBool(section, "ZedZap", ZedZap);
  OwnBufferSizes = reg.ReadBool(section, "OwnBufferSizes", OwnBufferSizes);
  ReadJob = std::clamp(reg.ReadInteger(section, "ReadJob", ReadJob), kMinReadJob, kMaxBufferSize);
}

void TMailer::SaveToRegistry(TWinRegistry& reg, const std::string& section) const {
  reg.WriteString(section, "Flags", Flags);
  reg.WriteInteger(section, "InBufSize", InBufSize);
  reg.WriteString(section, "Location", Location);
  reg.WriteString(section, "Name", name_);
  reg.WriteInteger(section, "OutBufSize", OutBufSize);
  reg.WriteString(section, "Phone", Phone);
  reg.WriteBool(section, "SendDummy", SendDummy);
  reg.WriteString(section, "Sysop", Sysop);
  reg.WriteString(section, "TAPIDevice", tapiDevice_);
  reg.WriteInteger(section, "ReDials", ReDials);
  reg.WriteInteger(section, "ReDialWait", ReDialWait);
  reg.WriteBool(section, "Hydra", Hydra);
  reg.WriteBool(section, "ZedZap", ZedZap);
  reg.WriteBool(section, "OwnBufferSizes", OwnBufferSizes);
  reg.WriteInteger(section, "ReadJob", ReadJob);
}

// --- The configuration section ------------------------------------------------

TMailerConfig::~TMailerConfig() {
  TMailerProfiles* mine = this;
  if (GetMailerProfiles() == mine) SetMailerProfiles(nullptr);
  TMailerConfig* expected = this;
  currentConfig.compare_exchange_strong(expected, nullptr);
  list_.Clear();
}

TMailer* TMailerConfig::AddMailer(TConfigStore& store) {
  auto mailer = std::make_unique<TMailer>(&store);
  TMailer* added = mailer.get();
  owned_.push_back(std::move(mailer));
  list_.Add(added->Name(), added);
  return added;
}

std::vector<TMailboxMove> TMailerConfig::DeleteMailer(int index) {
  list_.GetMailer(index);  // raises EListIndexError outside the list
  list_.Delete(index);
  return FreeUnlisted();
}

std::vector<TMailboxMove> TMailerConfig::FreeUnlisted() {
  std::vector<std::unique_ptr<TMailer>> unlisted;
  for (auto it = owned_.begin(); it != owned_.end();) {
    if (list_.IndexOf(it->get()) >= 0) {
      ++it;
      continue;
    }
    unlisted.push_back(std::move(*it));
    it = owned_.erase(it);
  }
  std::vector<TMailboxMove> moves;
  for (const auto& mailer : unlisted) RepointMailboxes(*mailer, moves);
  // Freed last: a window posting its log may save the configuration, which
  // then holds the mailboxes as they are now.
  while (!unlisted.empty()) unlisted.pop_back();
  return moves;
}

void TMailerConfig::RepointMailboxes(const TMailer& freed, std::vector<TMailboxMove>& moves) const {
  TConfigStore* store = freed.Store();
  if (!store || freed.Name().empty() || FindMailer(freed.Name())) return;
  const std::string successor = Successor();
  TMBList& boxes = store->Mailboxes();
  for (int i = 0; i < boxes.GetCount(); ++i) {
    TMailBox* box = boxes.GetItem(i);
    if (!box || !platform::EqualNoCase(box->Command, freed.Name())) continue;
    box->Command = successor;
    box->LostProfile = successor.empty() ? freed.Name() : std::string();
    moves.push_back({box->Name, freed.Name(), successor});
  }
}

std::string TMailerConfig::Successor() const {
  return list_.GetCount() > 0 ? list_.GetMailer(0)->Name() : std::string();
}

std::string TMailerConfig::CallAfterFree(const std::string& command, std::string* lost) const {
  if (command.empty() || FindMailer(command)) return command;
  for (const auto& mailer : owned_) {
    if (list_.IndexOf(mailer.get()) >= 0 || mailer->Name().empty() ||
        !platform::EqualNoCase(command, mailer->Name()))
      continue;
    const std::string successor = Successor();
    if (successor.empty() && lost) *lost = mailer->Name();
    return successor;
  }
  return command;
}

std::string MailboxMovesText(const std::vector<TMailboxMove>& moves) {
  const auto quoted = [](const std::string& ansi) {
    return "\"" + platform::AnsiToUtf8(ansi) + "\"";
  };
  std::string text;
  for (const TMailboxMove& move : moves) {
    if (!text.empty()) text += '\n';
    text += "The mailer profile " + quoted(move.freed) + " is deleted: the mailbox " +
            quoted(move.mailbox) + " ";
    text += move.successor.empty()
                ? "calls no mailer now. Please choose its call in \"Настройки\"/\"Мейлбоксы\"!"
                : "is now called by " + quoted(move.successor) + "!";
  }
  return text;
}

void TMailerConfig::CloseWindows() {
  for (size_t i = 0; i < owned_.size(); ++i) owned_[i]->CloseWindows();
}

void TMailerConfig::FreeMailers() {
  list_.Clear();
  while (!owned_.empty()) owned_.pop_back();
}

void TMailerConfig::Replace(std::vector<std::unique_ptr<TMailer>> loaded) {
  list_.BeginUpdate();
  list_.Clear();
  for (auto& mailer : loaded) list_.Add(mailer->Name(), mailer.get());
  list_.EndUpdate();
  list_.DiscardPendingChange();
  owned_ = std::move(loaded);
}

void TMailerConfig::LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) {
  const int32_t count =
      std::clamp(registry.ReadInteger(kSection, "Count", 0), 0, kMaxStoredProfiles);
  std::vector<std::unique_ptr<TMailer>> loaded;
  for (int32_t n = 1; n <= count; ++n) {
    auto mailer = std::make_unique<TMailer>(&store);
    mailer->LoadFromRegistry(registry, std::string(kSection) + "\\Mailer" + std::to_string(n));
    loaded.push_back(std::move(mailer));
  }
  Replace(std::move(loaded));
}

void TMailerConfig::SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const {
  (void)store;
  registry.WriteInteger(kSection, "Count", list_.GetCount());
  for (int i = 0; i < list_.GetCount(); ++i) {
    list_.GetMailer(i)->SaveToRegistry(registry,
                                       std::string(kSection) + "\\Mailer" + std::to_string(i + 1));
  }
  registry.DeleteEntriesBeyond(kSection, "Mailer", list_.GetCount());
}

bool TMailerConfig::PollWithProfile(const std::string& profileName, const std::string& address) {
  TMailer* mailer = FindMailer(profileName);
  if (!mailer) return false;
  // The profile handles the poll whatever becomes of it: a poll that cannot
  // start is said by the handler, never passed on as a program to start.
  if (pollHandler_) pollHandler_(*mailer, address);
  return true;
}

TMailerConfig& InstallMailerConfig(TConfigStore& store) {
  auto section = std::make_unique<TMailerConfig>();
  TMailerConfig& config = *section;
  store.SetSection(TConfigSlot::MailerProfiles, std::move(section));
  currentConfig.store(&config);
  SetMailerProfiles(&config);
  return config;
}

TMailerConfig* GetMailerConfig() { return currentConfig.load(); }

}  // namespace velmaris

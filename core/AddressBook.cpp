#include "core/AddressBook.h"

#include <algorithm>

#include "core/WinRegistry.h"

namespace velmaris {

namespace {

// Upper bounds for counts read from the registry, so a damaged value cannot
// make the program allocate without end.
constexpr int32_t kMaxEntries = 100000;
constexpr int32_t kMaxComments = 10000;

int32_t ReadCount(const TWinRegistry& registry, const std::string& section, const char* name,
                  int32_t limit) {
  return std::clamp(registry.ReadInteger(section, name, 0), 0, limit);
}

}  // namespace

// --- TFriend ------------------------------------------------------------------

TFriend::TFriend() {
  address_.SetText(kDefaultAddress);
  address_.OnChange = [this](TFidonetAddress&) { NotifyChange(); };
}

TFriend::~TFriend() = default;

void TFriend::SetName(const std::string& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFriend::SetEMail(const std::string& email) {
  if (email == email_) return;
  email_ = email;
  Changed();
}

void TFriend::EndUpdate() {
  updating_ = false;
  if (changePending_) Changed();
}

void TFriend::NotifyChange() {
  if (updating_)
    changePending_ = true;
  else
    Changed();
}

void TFriend::Changed() {
  changePending_ = false;
  if (OnChange) OnChange(*this);
}

void TFriend::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  const std::string name = registry.ReadString(section, "Name", kDefaultName);
  const std::string email = registry.ReadString(section, "EMail", "");
  const std::string address = registry.ReadString(section, "Address", kDefaultAddress);
  const int32_t count = ReadCount(registry, section, "CommentCount", kMaxComments);
  std::vector<std::string> comments;
  comments.reserve(static_cast<size_t>(count));
  for (int32_t n = 1; n <= count; ++n)
    comments.push_back(
        registry.ReadString(section, "Comment" + std::to_string(n), kMissingComment));
  // Everything read: apply it as one change.
  BeginUpdate();
  name_ = name;
  email_ = email;
  Comments = std::move(comments);
  address_.SetText(address);
  changePending_ = true;
  EndUpdate();
}

void TFriend::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteString(section, "Name", name_);
  registry.WriteString(section, "EMail", email_);
  registry.WriteString(section, "Address", address_.Text4D());
  registry.WriteInteger(section, "CommentCount", static_cast<int32_t>(Comments.size()));
  for (size_t i = 0; i < Comments.size(); ++i)
    registry.WriteString(section, "Comment" + std::to_string(i + 1), Comments[i]);
}

// --- TGroup -------------------------------------------------------------------

TGroup::~TGroup() {
  // Entries owned elsewhere must not call back into a list that is gone.
  for (int i = 0; i < GetCount(); ++i)
    if (TFriend* entry = GetItem(i)) entry->OnChange = nullptr;
}

TFriend* TGroup::AddFriend(std::unique_ptr<TFriend> entry) {
  TFriend* raw = entry.get();
  owned_.push_back(std::move(entry));
  return AddFriend(raw);
}

TFriend* TGroup::AddFriend(TFriend* entry) {
  Add(entry->GetName(), entry);
  entry->OnChange = [this](TFriend& sender) { FriendChanged(sender); };
  return entry;
}

void TGroup::FriendChanged(TFriend& entry) {
  const int index = IndexOf(&entry);
  if (index < 0) return;
  // SetString announces a rename itself; a change without a rename is
  // announced here.
  if (GetString(index) != entry.GetName())
    SetString(index, entry.GetName());
  else
    NotifyChange();
}

void TGroup::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  std::vector<std::unique_ptr<TFriend>> loaded;
  const int32_t count = ReadCount(registry, section, "Count", kMaxEntries);
  for (int32_t n = 1; n <= count; ++n) {
    auto entry = std::make_unique<TFriend>();
    entry->LoadFromRegistry(registry, section + "\\Address" + std::to_string(n));
    loaded.push_back(std::move(entry));
  }
  BeginUpdate();
  for (int i = 0; i < GetCount(); ++i)
    if (TFriend* entry = GetItem(i)) entry->OnChange = nullptr;
  Clear();
  for (auto& entry : loaded) AddFriend(std::move(entry));
  EndUpdate();
}

void TGroup::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteInteger(section, "Count", GetCount());
  for (int i = 0; i < GetCount(); ++i)
    GetItem(i)->SaveToRegistry(registry, section + "\\Address" + std::to_string(i + 1));
  registry.DeleteEntriesBeyond(section, "Address", GetCount());
}

// --- TGroupList ---------------------------------------------------------------

TGroup* TGroupList::Add(const std::string& name, std::unique_ptr<TGroup> group) {
  TGroup* raw = group.get();
  owned_.push_back(std::move(group));
  TTypedList<TGroup>::Add(name, raw);
  return raw;
}

void TGroupList::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  std::vector<std::pair<std::string, std::unique_ptr<TGroup>>> loaded;
  const int32_t count = ReadCount(registry, section, "Count", kMaxEntries);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string key = section + "\\Group" + std::to_string(n);
    // Every saved group has its key: a count beyond them is damage, and the
    // groups end at the first one missing.
    if (!registry.Registry().KeyExists(registry.KeyOf(key))) break;
    auto group = std::make_unique<TGroup>();
    group->LoadFromRegistry(registry, key);
    loaded.emplace_back(registry.ReadString(key, "Name", kDefaultName), std::move(group));
  }
  BeginUpdate();
  Clear();
  for (auto& [name, group] : loaded) Add(name, std::move(group));
  EndUpdate();
}

void TGroupList::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteInteger(section, "Count", GetCount());
  for (int i = 0; i < GetCount(); ++i) {
    const std::string key = section + "\\Group" + std::to_string(i + 1);
    GetItem(i)->SaveToRegistry(registry, key);
    registry.WriteString(key, "Name", GetString(i));
  }
  registry.DeleteEntriesBeyond(section, "Group", GetCount());
}

}  // namespace velmaris

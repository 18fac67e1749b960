#include "core/NLData.h"

#include <algorithm>

#include "core/WinRegistry.h"

namespace velmaris {

namespace {

// A stored count above this is read as this many entries.
constexpr int32_t kMaxStoredLists = 1000;

std::string EntryKey(const std::string& section, int n) {
  return section + "\\List" + std::to_string(n);
}

}  // namespace

TNLInfo* TNLData::Add(std::unique_ptr<TNLInfo> entry) {
  TNLInfo* raw = entry.get();
  owned_.push_back(std::move(entry));
  AddObject(raw->Domain, raw);
  return raw;
}

TNLInfo* TNLData::Add(std::string domain, std::string list, std::string diff, int32_t zone) {
  return Add(std::make_unique<TNLInfo>(std::move(domain), std::move(list), std::move(diff), zone));
}

std::vector<TNLInfo> TNLData::Entries() const {
  std::vector<TNLInfo> out;
  out.reserve(GetCount());
  for (int i = 0; i < GetCount(); ++i) {
    TNLInfo copy(GetString(i), GetItem(i)->List, GetItem(i)->Diff, GetItem(i)->Zone);
    out.push_back(std::move(copy));
  }
  return out;
}

void TNLData::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteInteger(section, "Count", GetCount());
  for (int i = 0; i < GetCount(); ++i) {
    const TNLInfo* entry = GetItem(i);
    std::string key = EntryKey(section, i + 1);
    registry.WriteString(key, "Domain", GetString(i));
    registry.WriteString(key, "List", entry->List);
    registry.WriteString(key, "Diff", entry->Diff);
    registry.WriteInteger(key, "Zone", entry->Zone);
  }
  registry.DeleteEntriesBeyond(section, "List", GetCount());
}

void TNLData::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::unique_ptr<TNLInfo>> loaded;
  int32_t count = std::clamp(registry.ReadInteger(section, "Count", 0), 0, kMaxStoredLists);
  for (int32_t n = 1; n <= count; ++n) {
    std::string key = EntryKey(section, n);
    auto entry = std::make_unique<TNLInfo>();
    entry->Zone = registry.ReadInteger(key, "Zone", 2);
    entry->List = registry.ReadPath(key, "List", TNLInfo::kUnnamed);
    entry->Diff = registry.ReadPath(key, "Diff", TNLInfo::kUnnamed);
    entry->Domain = registry.ReadString(key, "Domain", TNLInfo::kUnnamed);
    loaded.push_back(std::move(entry));
  }
  BeginUpdate();
  Clear();
  for (auto& entry : loaded) Add(std::move(entry));
  EndUpdate();
  DiscardPendingChange();
}

void LoadNodelistConfiguration(const TWinRegistry& registry, TNLData& nodelists,
                               TNLData& pointlists) {
  if (registry.ReadInteger("Nodelists", "Count", -1) == -1) {
    nodelists.BeginUpdate();
    nodelists.Clear();
    nodelists.Add("Fidonet", "NODELIST", "NODEDIFF", 0);
    nodelists.EndUpdate();
    nodelists.DiscardPendingChange();
    pointlists.BeginUpdate();
    pointlists.Clear();
    pointlists.Add("Fidonet", "POINTS24", "PR24DIFF", 2);
    pointlists.EndUpdate();
    pointlists.DiscardPendingChange();
    return;
  }
  nodelists.LoadFromRegistry(registry, "Nodelists");
  pointlists.LoadFromRegistry(registry, "Pointlists");
}

void SaveNodelistConfiguration(TWinRegistry& registry, const TNLData& nodelists,
                               const TNLData& pointlists) {
  nodelists.SaveToRegistry(registry, "Nodelists");
  pointlists.SaveToRegistry(registry, "Pointlists");
}

}  // namespace velmaris

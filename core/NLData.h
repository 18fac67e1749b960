// The configured nodelists and pointlists that the nodelist compiler works
// through: one TNLInfo per list, kept in a TNLData under its domain name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PubLst.h"

namespace velmaris {

class TWinRegistry;

// One configured nodelist or pointlist.
struct TNLInfo : TObject {
  static constexpr const char* kUnnamed = "<unnamed>";

  std::string Domain = kUnnamed;  // its name in the TNLData list
  std::string List = kUnnamed;    // base name of the list file
  std::string Diff = kUnnamed;    // base name of its difference files
  int32_t Zone = 2;               // zone assumed until the list's first "Zone" line

  TNLInfo() = default;
  TNLInfo(std::string domain, std::string list, std::string diff, int32_t zone)
      : Domain(std::move(domain)), List(std::move(list)), Diff(std::move(diff)), Zone(zone) {}
  bool SameAs(const TNLInfo& o) const {
    return Domain == o.Domain && List == o.List && Diff == o.Diff && Zone == o.Zone;
  }
};

// A list of TNLInfo under their domain names. The list keeps every entry it
// was given alive until it is destroyed itself, so an entry taken out with
// Delete or Clear stays valid for whoever still holds it.
class TNLData : public TTypedList<TNLInfo> {
 public:
  // Adds the entry under its domain; returns it.
  TNLInfo* Add(std::unique_ptr<TNLInfo> entry);
  TNLInfo* Add(std::string domain, std::string list, std::string diff, int32_t zone);

  // A copy of the entries in list order, each with the domain it is listed
  // under, for a job that works through them on another thread.
  std::vector<TNLInfo> Entries() const;

  // Writes "Count" and, for each entry n from 1, the key section + "\List<n>"
  // with "Domain", "List", "Diff" and "Zone".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;
  // Replaces the entries by those stored below the section: "Count"
  // (default 0), then each "List<n>" with the defaults of TNLInfo.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);

 private:
  std::vector<std::unique_ptr<TNLInfo>> owned_;
};

// Loads the configured lists from "Nodelists" and "Pointlists". A
// configuration that never stored them ("Nodelists" without "Count") gets
// the standard pair: the Fidonet nodelist NODELIST/NODEDIFF (zone 0) and the
// pointlist POINTS24/PR24DIFF (zone 2).
void LoadNodelistConfiguration(const TWinRegistry& registry, TNLData& nodelists,
                               TNLData& pointlists);
void SaveNodelistConfiguration(TWinRegistry& registry, const TNLData& nodelists,
                               const TNLData& pointlists);

}  // namespace velmaris

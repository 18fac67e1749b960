// The configuration the batch driver works with until the configuration
// store exists: the settings, the uplinks, the text groups, the prototype
// area and the area list, loaded from one registry file with the classes'
// own registry forms, in the order and with the fix-ups the store applies
// (separators, dropped duplicates, the types of the well-known areas, the
// system areas NETMAIL, BAD and DUPES ensured).
#pragma once

#include <memory>
#include <string>

#include "core/Area.h"
#include "core/NetLink.h"
#include "core/Settings.h"
#include "core/TextGroups.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

namespace velmaris {

// The program's root key below HKEY_CURRENT_USER.
inline constexpr const char* kConfigRootKey = "software\\Brimvale\\Velmaris";

class TBatchConfig {
 public:
  // Loads everything from the registry file (a missing file is an empty
  // configuration) below the start directory (ending in "/"). Raises
  // platform::ERegistry for a malformed file.
  TBatchConfig(const std::string& startDir, const std::string& registryPath);
  // Frees the areas. Nothing is saved.
  ~TBatchConfig();
  TBatchConfig(const TBatchConfig&) = delete;
  TBatchConfig& operator=(const TBatchConfig&) = delete;

  const SettingsValues& Values() const { return *values_; }
  std::shared_ptr<const SettingsValues> ValuesPtr() const { return values_; }
  TLinkList& Uplinks() { return uplinks_; }
  TZRTexts& TextGroups() { return textGroups_; }
  TAreaList& Areas() { return areas_; }
  TArea& Prototype() { return *prototype_; }

  // The area of that name (letter case ignored), separators excluded.
  TArea* FindArea(const std::string& name) const;
  // Adds a new area made from the prototype, bound to the uplink, as the
  // configuration store adds one; nullptr when the name is empty, a
  // separator's or already taken.
  TArea* AddArea(const std::string& name, uint8_t areaType, TNetLink* uplink);

  // Writes the area list ("Areas\Area<n>", "Areas" "Count") and the serial
  // counters into the registry file.
  void SaveAreas();

 private:
  void LoadAreas();
  void EnsureSystemArea(const char* name, const char* fileName, uint8_t type,
                        const char* section);

  std::string startDir_;
  platform::Registry registry_;
  TWinRegistry winRegistry_;
  std::shared_ptr<SettingsValues> values_;
  TLinkList uplinks_;
  TZRTexts textGroups_;
  std::unique_ptr<TArea> prototype_;
  TAreaList areas_;
};

}  // namespace velmaris

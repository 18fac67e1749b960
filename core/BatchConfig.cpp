#include "core/BatchConfig.h"

#include "core/SerialCounter.h"

namespace velmaris {

namespace {

constexpr const char* kAreasSection = "Areas";
constexpr const char* kUplinksSection = "Uplinks";

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

TBatchConfig::TBatchConfig(const std::string& startDir, const std::string& registryPath)
    : startDir_(startDir),
      registry_(registryPath),
      winRegistry_(kConfigRootKey, registry_),
      values_(std::make_shared<SettingsValues>(startDir)) {
  values_->LoadFromRegistry(winRegistry_);
  LoadSerialsFromRegistry(winRegistry_);
  uplinks_.LoadFromRegistry(winRegistry_, kUplinksSection, values_->OutboundDir());
  textGroups_.LoadFromRegistry(winRegistry_);
  prototype_ = std::make_unique<TArea>("", "Prototyp", "", AreaTypeCode::Prototype);
  prototype_->LoadFromRegistry(winRegistry_, "Areas\\Prototype", &uplinks_);
  prototype_->AreaType = AreaTypeCode::Prototype;
  LoadAreas();
}

TBatchConfig::~TBatchConfig() { areas_.FreeAll(); }

void TBatchConfig::LoadAreas() {
  const std::string dir = values_->MsgBaseDir();
  const int32_t count = winRegistry_.ReadInteger(kAreasSection, "Count", 0);
  for (int32_t n = 1; n <= count; ++n) {
    auto area = TArea::CreateFromRegistry(
        winRegistry_, std::string(kAreasSection) + "\\Area" + std::to_string(n), dir, &uplinks_);
    if (area->IsSeparator()) {
      area->AreaType = AreaTypeCode::Separator;
      areas_.Add(area.release());
      continue;
    }
    if (area->Name.empty() || FindArea(area->Name)) continue;  // dropped, freed
    if (EqualNoCase(area->Name, kReportAreaName)) area->AreaType = AreaTypeCode::Report;
    if (EqualNoCase(area->Name, kNetmailAreaName)) area->AreaType = AreaTypeCode::Netmail;
    if (EqualNoCase(area->Name, kBadAreaName)) area->AreaType = AreaTypeCode::Badmail;
    if (EqualNoCase(area->Name, kDupesAreaName)) area->AreaType = AreaTypeCode::Dupes;
    area->RecountFlags();
    areas_.Add(area.release());
  }
  EnsureSystemArea(kDupesAreaName, "DUPES", AreaTypeCode::Dupes, "Areas\\Dupes");
  EnsureSystemArea(kBadAreaName, "BADMAIL", AreaTypeCode::Badmail, "Areas\\Badmail");
  EnsureSystemArea(kNetmailAreaName, "NETMAIL", AreaTypeCode::Netmail, "Areas\\Netmail");
}

void TBatchConfig::EnsureSystemArea(const char* name, const char* fileName, uint8_t type,
                                    const char* section) {
  if (FindArea(name)) return;
  auto area = std::make_unique<TArea>(values_->MsgBaseDir(), name, fileName, type);
  area->LoadFromRegistry(winRegistry_, section, &uplinks_);
  area->Name = name;
  area->NameFilters();
  area->RecountFlags();
  area->AreaType = type;
  areas_.Insert(0, area.release());
}

TArea* TBatchConfig::FindArea(const std::string& name) const {
  for (TArea* area : areas_.Areas())
    if (EqualNoCase(area->Name, name)) return area;
  return nullptr;
}

TArea* TBatchConfig::AddArea(const std::string& name, uint8_t areaType, TNetLink* uplink) {
  if (name.empty() || name == kSeparatorName || FindArea(name)) return nullptr;
  auto area = TArea::CreateFromPrototype(values_->MsgBaseDir(), name, name, areaType, *prototype_);
  area->SetUplink(uplink);
  area->RecountFlags();
  TArea* added = area.get();
  areas_.Add(area.release());
  return added;
}

void TBatchConfig::SaveAreas() {
  for (int i = 0; i < areas_.GetCount(); ++i)
    areas_.GetItem(i)->SaveToRegistry(
        winRegistry_, std::string(kAreasSection) + "\\Area" + std::to_string(i + 1), &uplinks_);
  winRegistry_.WriteInteger(kAreasSection, "Count", areas_.GetCount());
  SaveSerialsToRegistry(winRegistry_);
  winRegistry_.Flush();
}

}  // namespace velmaris

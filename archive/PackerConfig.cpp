#include "archive/PackerConfig.h"

#include <atomic>

#include "platform/Prompter.h"

namespace velmaris {

namespace {

constexpr const char* kPackersSection = "Packers";

std::atomic<TPckList*> currentPackers{nullptr};

struct IntegratedOffer {
  const char* marker;
  const char* packer;
  const char* question;
};

// The texts are the program's own, as they have always been shown.
const IntegratedOffer kOffers[] = {
    {TPackerConfig::kIntegratedUnARJ, "ARJ",
     "Diese Version von Velmaris 95 stellt Ihnen  an integrierte version of UnARJ zur "
     "Verf\xC3\xBCgung! M\xC3\xB6"
     "chten Sie diese aktivieren?"},
    {TPackerConfig::kIntegratedUnLHA, "LHArc",
     "Diese Version von Velmaris 95 stellt Ihnen  This Velmaris Release contains an integrated "
     "LHA decompressor!\nDo you wish to activate it (recommended)?"},
    {TPackerConfig::kIntegratedUnRAR, "RAR",
     "Diese Version von Velmaris 95 stellt Ihnen  This Release of Velmaris contains an "
     "integrated RAR decompressor!\nDo you wish to activate it (recommended)?"},
};

}  // namespace

TPackerConfig::~TPackerConfig() {
  TPckList* expected = &packers_;
  currentPackers.compare_exchange_strong(expected, nullptr);
}

void TPackerConfig::LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) {
  (void)store;
  packers_.LoadFromRegistry(registry, kPackersSection);
  // Older configurations stored the PKZip command with the "a" that the
  // packer call adds itself.
  if (TPacker* pkzip = packers_.PackerByName("PKZip"))
    if (pkzip->GetPack() == "pkzip a") pkzip->SetPack("pkzip");
  // The LHArc command stored as "lha aq" names an alternative that may be
  // lhasa, which only unpacks; jlha is the packer it meant.
  if (TPacker* lharc = packers_.PackerByName("LHArc"))
    if (lharc->GetPack() == "lha aq") lharc->SetPack("jlha aq");
}

void TPackerConfig::SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const {
  (void)store;
  packers_.SaveToRegistry(registry, kPackersSection);
  for (const char* marker : {kStandardPackers, kIntegratedUnZIP, kIntegratedUnARJ, kIntegratedUnLHA,
                             kIntegratedUnRAR, kIntegratedPackers})
    registry.WriteBool(kUpdatesSection, marker, true);
}

void TPackerConfig::AfterLoad(TConfigStore& store) {
  if (!store.ReadUpdateMarker(kStandardPackers)) {
    packers_.AddStandardPackers();
    return;
  }
  for (const IntegratedOffer& offer : kOffers) {
    if (store.ReadUpdateMarker(offer.marker)) continue;
    if (platform::GetPrompter().Confirm(offer.question)) packers_.ActivateIntegrated(offer.packer);
  }
}

TPckList& InstallPackerConfig(TConfigStore& store) {
  auto section = std::make_unique<TPackerConfig>();
  TPckList& list = section->Packers();
  store.SetSection(TConfigSlot::Packers, std::move(section));
  SetPackerList(&list);
  return list;
}

TPckList* GetPackerList() { return currentPackers.load(); }
void SetPackerList(TPckList* list) { currentPackers.store(list); }

}  // namespace velmaris

// The packer list as part of the configuration: its registry form under
// "Packers", the fix-up of older configurations, the standard packers of a
// first run and the one-time offers of the integrated extractors.
//
// The start-up installs the section into the configuration store before
// loading (InstallPackerConfig); the list is then the process-wide one that
// the tosser, the scanner and the unpack jobs use (GetPackerList).
#pragma once

#include "archive/Packer.h"
#include "core/ConfigStore.h"

namespace velmaris {

class TPackerConfig : public TConfigSection {
 public:
  // The one-time markers under "Updates" that concern the packers.
  static constexpr const char* kStandardPackers = "Standard Packers";
  static constexpr const char* kIntegratedUnZIP = "Integrated UnZIP";
  static constexpr const char* kIntegratedUnARJ = "Integrated UnARJ";
  static constexpr const char* kIntegratedUnLHA = "Integrated UnLHA";
  static constexpr const char* kIntegratedUnRAR = "Integrated UnRAR";
  static constexpr const char* kIntegratedPackers = "Integrated Packers";

  TPackerConfig() = default;
  // Clears the process-wide packer list when it is this one.
  ~TPackerConfig() override;

  TPckList& Packers() { return packers_; }

  // "Packers"; a "PKZip" packer whose pack command is exactly "pkzip a" gets
  // "pkzip".
  void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) override;
  // "Packers", then the markers above set, so the first-run work and the
  // questions are not repeated.
  void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const override;
  // First run (no "Standard Packers" marker): adds the standard packers that
  // are missing. Otherwise asks once per integrated extractor (ARJ, LHA,
  // RAR) whose marker is not set whether to use it, and on Yes makes the
  // packer of that name use it (adding the packer when missing).
  void AfterLoad(TConfigStore& store) override;

 private:
  TPckList packers_;
};

// Installs a TPackerConfig into the store and makes its list the process-wide
// one; returns the list.
TPckList& InstallPackerConfig(TConfigStore& store);

// The process-wide packer list; null while none is set.
TPckList* GetPackerList();
void SetPackerList(TPckList* list);

}  // namespace velmaris

// The unpack jobs as part of the configuration: their list under
// "Unpackjobs", loaded and saved with the rest of the configuration. The
// start-up installs the section into the configuration store before loading
// (InstallUnpackJobConfig); the list is then the process-wide one the
// automatic unpacker runs (GetUnpackJobList).
#pragma once

#include "archive/UnpackJob.h"
#include "core/ConfigStore.h"

namespace velmaris {

class TUnpackJobConfig : public TConfigSection {
 public:
  TUnpackJobConfig() = default;
  // Clears the process-wide job list when it is this one.
  ~TUnpackJobConfig() override;

  TUnpJobList& Jobs() { return jobs_; }

  void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) override;
  void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const override;

 private:
  TUnpJobList jobs_;
};

// Installs a TUnpackJobConfig into the store and makes its list the
// process-wide one; returns the list.
TUnpJobList& InstallUnpackJobConfig(TConfigStore& store);

// The process-wide unpack-job list; null while none is set.
TUnpJobList* GetUnpackJobList();
void SetUnpackJobList(TUnpJobList* list);

}  // namespace velmaris

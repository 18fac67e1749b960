// The configuration of a batch command: the registry file and the
// configuration store loaded from it as the program's start-up loads it
// (with the packers, the unpack jobs, the mail filters and the autosend
// jobs), made the process-wide
// configuration.
#pragma once

#include <string>

#include "Batch.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "platform/Registry.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"

namespace velmaris::batch {

class BatchStore {
 public:
  explicit BatchStore(const BatchContext& ctx)
      : registry_(ctx.registryPath), store_(ctx.startDir, registry_) {
    InstallPackerConfig(store_);
    InstallUnpackJobConfig(store_);
    InstallFilterConfig(store_);
    InstallAutoSendConfig(store_);
    store_.LoadConfiguration();
    store_.MakeCurrent();
  }
  TConfigStore& Store() { return store_; }
  TConfigStore* operator->() { return &store_; }

 private:
  platform::Registry registry_;
  TConfigStore store_;
};

}  // namespace velmaris::batch

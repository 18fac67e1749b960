// The configuration of a batch command: the registry file and the
// configuration store loaded from it as the program's start-up loads it
// (with the packers, the unpack jobs and the mailer profiles), made the process-wide
// configuration.
#pragma once

#include <string>

#include "Batch.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "mailer/Mailers.h"
#include "platform/Registry.h"

namespace velmaris::batch {

class BatchStore {
 public:
  explicit BatchStore(const BatchContext& ctx)
      : registry_(ctx.registryPath), store_(ctx.startDir, registry_) {
    InstallPackerConfig(store_);
    InstallUnpackJobConfig(store_);
    InstallMailerConfig(store_);
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

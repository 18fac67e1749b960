// The configuration of a batch command: the mail taken over (its lock, see
// core/MailLock.h, waited for within the context's limit; then an import
// that was cut off is finished or undone), the
// registry file and the configuration store loaded from it as the program's
// start-up loads it (with the packers, the unpack jobs, the mail filters,
// the autosend jobs and the mailer profiles), made the process-wide
// configuration; then an export that was cut off is finished, and the
// duplicate database an earlier version kept in the start directory is
// merged into the base's.
#pragma once

#include <optional>
#include <string>

#include "Batch.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "core/MailLock.h"
#include "mailer/Mailers.h"
#include "platform/InstanceGuard.h"
#include "platform/Registry.h"
#include "processing/AutoSend.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/OutPacket.h"
#include "processing/Secretary.h"

namespace velmaris::batch {

// Takes the mail's lock (start directory, registry, message base folder) for
// the life of the object; raises a clear error when another run holds it
// beyond the wait.
// A command that only reads the mail (areas, dump) can work on a message
// base on read-only media: a lock it cannot create there is taken shared or
// not at all (TMailLock::Acquire).
enum class BatchAccess { Write, Read };

class StartDirectoryOwner {
 public:
  explicit StartDirectoryOwner(const BatchContext& ctx, BatchAccess access = BatchAccess::Write);

 private:
  TMailLock lock_;
};

// The area a name typed on the command line names: the area of the bytes as
// typed (compared as tags are, platform::SameTag), so that UTF-8 names the
// area of an echo tag kept as its raw bytes (a UTF-8 tag a modern tosser
// sent) before its converted twin; else the name as the store holds it
// (UTF-8 converted into the ANSI page; other bytes as they stand). Nothing
// when there is none.
// `stored` gets the name as a new area would be stored, nothing when the
// ANSI page lacks one of its letters; `why` then names the letter.
TArea* FindTypedArea(const TConfigStore& store, const std::string& typed,
                     std::optional<std::string>& stored, std::string& why);

// Finishes an export that was cut off (with the configuration loaded); the
// store keeps the file serials the recovery raised.
void RecoverExport(const BatchContext& ctx, TConfigStore& store);

class BatchStore {
 public:
  explicit BatchStore(const BatchContext& ctx, BatchAccess access = BatchAccess::Write)
      : owner_(ctx, access), registry_(ctx.registryPath), store_(ctx.startDir, registry_) {
    InstallPackerConfig(store_);
    InstallUnpackJobConfig(store_);
    InstallFilterConfig(store_);
    InstallAutoSendConfig(store_);
    InstallMailerConfig(store_);
    store_.LoadConfiguration();
    store_.MakeCurrent();
    RecoverExport(ctx, store_);
    // The duplicate database an earlier version left in the start folder
    // goes into the base's at every run that holds the base's lock.
    MergeOlderDupeDatabase(store_.MessageBaseDir(), store_.StartDirectory());
  }
  TConfigStore& Store() { return store_; }
  TConfigStore* operator->() { return &store_; }

 private:
  StartDirectoryOwner owner_;
  platform::Registry registry_;
  TConfigStore store_;
};

}  // namespace velmaris::batch

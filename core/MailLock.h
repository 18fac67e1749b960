// One lock guards the mail wherever it lives. After the first start the
// registry names the folders by absolute paths, so runs from different start
// directories (the program in its own, a cron job's batch run in $HOME) work
// on the same message base and the same area list. Each run therefore takes
// the lock file "Velmaris.lock" (platform/InstanceGuard.h) in three places:
//  - its start directory (the window layouts),
//  - beside the registry file ("<registry>.lock": the area list, the serial
//    counters and the folder names),
//  - in the message base folder the registry names (the areas' files), by
//    default the start directory's "Msgbase/".
// Two runs that share any of them exclude each other. The locks are taken in
// one fixed order (by path), so two runs never wait for each other in a
// circle. The journals of an import and an export and the duplicate
// database live in the message base folder, so every run that takes the
// lock finds what a cut-off run left and knows the mail any run imported.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/InstanceGuard.h"

namespace velmaris {

class TConfigStore;

class TMailLock {
 public:
  using Result = platform::InstanceGuard::Result;

  // startDir: the start directory; registryPath: the registry file. Reads
  // the message base folder from the registry (a registry that cannot be
  // read gives the default; the configuration's load reports it).
  TMailLock(const std::string& startDir, const std::string& registryPath);
  ~TMailLock();
  TMailLock(const TMailLock&) = delete;
  TMailLock& operator=(const TMailLock&) = delete;

  // The start directory, absolute, ending in "/".
  const std::string& StartDirectory() const { return startDir_; }
  // The message base folder the registry names, absolute, ending in "/".
  const std::string& MessageBaseDir() const { return messageBase_; }
  // The lock files, in the order they are taken (duplicates dropped).
  const std::vector<std::string>& Paths() const { return paths_; }

  // Takes every lock (the folders made when missing), waiting up to `wait`
  // in all; all or none. The programs this process starts hold the locks
  // too (a packer still writing a bundle). AlreadyRunning when another run
  // holds one beyond the wait; Failed with Error() and FailedPath() else.
  // A run that only reads (forReading) takes a lock it cannot create in a
  // folder on read-only media shared, or not at all
  // (platform::InstanceGuard::AcquireForReading), so that a message base
  // on such media can still be read.
  Result Acquire(std::chrono::milliseconds wait = std::chrono::milliseconds(0),
                 bool forReading = false);
  void Release();
  // The message base folder changed while the lock is held: takes the new
  // folder's lock without waiting (its folder made), then lets go of the
  // old one. AlreadyRunning or Failed (with Error and FailedPath) when the
  // new one cannot be taken: the old locks stay held then.
  Result MoveMessageBase(const std::string& dir);
  int Error() const { return error_; }
  const std::string& FailedPath() const { return failedPath_; }

 private:
  void FindPaths();
  void SetPaths(const std::string& messageBase);
  Result TakeAll(std::chrono::steady_clock::time_point until, bool forReading);

  std::string startDir_;
  std::string registryPath_;
  std::string messageBase_;
  std::vector<std::string> paths_;
  std::vector<std::unique_ptr<platform::InstanceGuard>> held_;
  int error_ = 0;
  std::string failedPath_;
};

// The lock the program holds while it runs (set by the start-up, null when
// none), which follows a change of the message base folder.
TMailLock* MailLockInForce();
void SetMailLockInForce(TMailLock* lock);

// The duplicate database of the tosser, beside the message base.
inline constexpr const char* kDupesFileName = "Velmaris.Dupes";

// The message base folder the registry file names for a start directory
// (its default "Msgbase/" below it when the registry names none), absolute,
// ending in "/".
std::string RegistryMessageBaseDir(const std::string& startDir, const std::string& registryPath);

// The journals of the runs on a configuration: in its message base folder.
// Earlier versions kept them in the start directory; JournalPaths gives
// both places of one journal name, the start directory's first.
std::string ImportJournalPath(const TConfigStore& store);
std::string ExportJournalPath(const TConfigStore& store);
std::vector<std::string> JournalPaths(const TMailLock& lock, const char* name);

// Finishes or undoes the imports that were cut off (both places); false
// when one could not be recovered. The lock is held.
bool RecoverImportJournals(const TMailLock& lock, std::vector<std::string>* log);
// An import cut off before its commit had saved the areas' records of
// what it wrote (the save comes just before the commit). Before the
// recovery undoes such a run, this file is made beside its journal; the
// configuration store's next load sets those records right, saves them and
// removes it (TConfigStore::LoadConfiguration), so that no cut between the
// undo and that save leaves records of mail that is not there.
inline constexpr const char* kImportUndoneName = "Velmaris.Import.Undone";

}  // namespace velmaris

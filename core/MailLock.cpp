#include "core/MailLock.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "core/ConfigStore.h"
#include "core/RunJournal.h"
#include "core/Settings.h"
#include "core/WinRegistry.h"
#include "platform/Files.h"
#include "platform/Registry.h"

namespace velmaris {

namespace {

// The folder's path with links resolved (as far as it exists), so that two
// spellings of one folder give one lock.
std::string CanonicalDir(const std::string& dir) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(dir, ec);
  if (ec) path = dir;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return platform::WithSlash((ec ? path.lexically_normal() : canonical).string());
}

void MakeFolder(const std::string& dir) {
  try {
    if (!platform::DirExists(dir)) platform::MakeDirs(dir);
  } catch (const platform::EFile&) {
    // Taking the lock reports the missing folder.
  }
}

}  // namespace

std::string RegistryMessageBaseDir(const std::string& startDir, const std::string& registryPath) {
  SettingsValues values(startDir);
  try {
    platform::Registry registry(registryPath);
    // A registry without the program's key names no folder (and opening
    // the key would write the file).
    if (registry.KeyExists(kConfigRootKey)) {
      TWinRegistry root(kConfigRootKey, registry, values.StartDirectory());
      values.LoadFromRegistry(root);
    }
  } catch (const std::exception&) {
    // The configuration's load reports a damaged registry; until then the
    // default folder is the one guarded.
  }
  return CanonicalDir(values.MsgBaseDir());
}

TMailLock::TMailLock(const std::string& startDir, const std::string& registryPath)
    : startDir_(CanonicalDir(startDir.empty() ? std::string(".") : startDir)),
      registryPath_(registryPath) {
  FindPaths();
}

void TMailLock::FindPaths() { SetPaths(RegistryMessageBaseDir(startDir_, registryPath_)); }

void TMailLock::SetPaths(const std::string& messageBase) {
  messageBase_ = messageBase;
  const std::filesystem::path registry(registryPath_);
  const std::string registryDir =
      CanonicalDir(registry.has_parent_path() ? registry.parent_path().string() : std::string("."));
  paths_ = {platform::InstanceGuard::StartDirectoryPath(startDir_),
            registryDir + registry.filename().string() + ".lock",
            platform::InstanceGuard::StartDirectoryPath(messageBase_)};
  std::sort(paths_.begin(), paths_.end());
  paths_.erase(std::unique(paths_.begin(), paths_.end()), paths_.end());
}

TMailLock::~TMailLock() { Release(); }

TMailLock::Result TMailLock::Acquire(std::chrono::milliseconds wait, bool forReading) {
  if (!held_.empty()) return Result::Acquired;
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const Result result = TakeAll(until, forReading);
    if (result != Result::Acquired) return result;
    // The run that held the registry may have named another message base
    // folder before it ended: then that folder is the one to guard.
    const std::vector<std::string> taken = paths_;
    FindPaths();
    if (paths_ == taken) return Result::Acquired;
    Release();
  }
}

TMailLock::Result TMailLock::TakeAll(std::chrono::steady_clock::time_point until, bool forReading) {
  for (const std::string& path : paths_) {
    MakeFolder(platform::DirOf(path));
    auto guard = std::make_unique<platform::InstanceGuard>(path, true);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    const auto within = std::max(left, std::chrono::milliseconds(0));
    const Result result = forReading ? guard->AcquireForReading(within) : guard->Acquire(within);
    if (result != Result::Acquired) {
      error_ = guard->Error();
      failedPath_ = path;
      Release();
      return result;
    }
    held_.push_back(std::move(guard));
  }
  error_ = 0;
  failedPath_.clear();
  return Result::Acquired;
}

TMailLock::Result TMailLock::MoveMessageBase(const std::string& dir) {
  if (held_.empty()) {
    SetPaths(CanonicalDir(dir));
    return Result::Acquired;
  }
  const std::string target = CanonicalDir(dir);
  if (platform::SamePlace(target, messageBase_)) return Result::Acquired;
  const std::string oldBase = messageBase_;
  const std::vector<std::string> oldPaths = paths_;
  std::vector<std::unique_ptr<platform::InstanceGuard>> oldHeld = std::move(held_);
  held_.clear();
  SetPaths(target);
  // Each lock of the new list with the index of the old one it is (-1: new).
  std::vector<std::pair<ptrdiff_t, std::unique_ptr<platform::InstanceGuard>>> taken;
  for (const std::string& path : paths_) {
    const auto at = std::find(oldPaths.begin(), oldPaths.end(), path);
    if (at != oldPaths.end()) {
      const ptrdiff_t k = at - oldPaths.begin();
      taken.emplace_back(k, std::move(oldHeld[static_cast<size_t>(k)]));
      continue;
    }
    MakeFolder(platform::DirOf(path));
    auto guard = std::make_unique<platform::InstanceGuard>(path, true);
    const Result result = guard->Acquire();
    if (result != Result::Acquired) {
      error_ = guard->Error();
      failedPath_ = path;
      // Back to the old folder's locks, none of them let go.
      for (auto& [k, held] : taken)
        if (k >= 0) oldHeld[static_cast<size_t>(k)] = std::move(held);
      taken.clear();
      SetPaths(oldBase);
      held_ = std::move(oldHeld);
      return result;
    }
    taken.emplace_back(-1, std::move(guard));
  }
  // The old message base folder's lock is let go with oldHeld.
  for (auto& entry : taken) held_.push_back(std::move(entry.second));
  error_ = 0;
  failedPath_.clear();
  return Result::Acquired;
}

namespace {
std::atomic<TMailLock*> lockInForce{nullptr};
}  // namespace

TMailLock* MailLockInForce() { return lockInForce.load(std::memory_order_acquire); }
void SetMailLockInForce(TMailLock* lock) { lockInForce.store(lock, std::memory_order_release); }

void TMailLock::Release() {
  // The last taken goes first.
  while (!held_.empty()) held_.pop_back();
}

std::string ImportJournalPath(const TConfigStore& store) {
  return platform::WithSlash(store.MessageBaseDir()) + kImportJournalName;
}

std::string ExportJournalPath(const TConfigStore& store) {
  return platform::WithSlash(store.MessageBaseDir()) + kExportJournalName;
}

std::vector<std::string> JournalPaths(const TMailLock& lock, const char* name) {
  std::vector<std::string> paths{lock.StartDirectory() + name};
  if (lock.MessageBaseDir() != lock.StartDirectory()) paths.push_back(lock.MessageBaseDir() + name);
  return paths;
}

bool RecoverImportJournals(const TMailLock& lock, std::vector<std::string>* log) {
  for (const std::string& path : JournalPaths(lock, kImportJournalName)) {
    TRunJournal journal(path);
    bool undoes = false;
    if (journal.Exists()) {
      const auto records = journal.Read();
      undoes = std::none_of(records.begin(), records.end(),
                            [](const TRunJournal::Record& r) { return r[0] == "commit"; });
    }
    if (undoes) {
      try {
        platform::WriteFileAtomic(platform::DirOf(path) + kImportUndoneName, "");
      } catch (const platform::EFile&) {
        return false;
      }
    }
    if (!RecoverImportJournal(path, log)) return false;
  }
  return true;
}

}  // namespace velmaris

#include "core/MailLock.h"

#include <algorithm>
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
      TWinRegistry root(kConfigRootKey, registry);
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

void TMailLock::FindPaths() {
  messageBase_ = RegistryMessageBaseDir(startDir_, registryPath_);
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

TMailLock::Result TMailLock::TakeAll(std::chrono::steady_clock::time_point until,
                                     bool forReading) {
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
  for (const std::string& path : JournalPaths(lock, kImportJournalName))
    if (!RecoverImportJournal(path, log)) return false;
  return true;
}

}  // namespace velmaris

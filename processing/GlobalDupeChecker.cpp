#include "processing/GlobalDupeChecker.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

std::mutex globalMutex;
std::unique_ptr<TDupeChecker> globalChecker;

void Log(const std::string& line) {
  if (TConfigStore* store = GetConfigStore())
    store->Log(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

// Saves the open checker (the caller holds globalMutex); false after reporting.
bool SaveLocked() {
  if (!globalChecker) return true;
  try {
    globalChecker->SaveToFile();
    return true;
  } catch (const std::exception& e) {
    const std::string text =
        "The duplicate database " + globalChecker->Path() + " could not be saved: " + e.what();
    Log(text);
    platform::GetPrompter().Error(text);
    return false;
  }
}

// The database an earlier version kept in the start directory, "" when
// there is none to take over.
std::string StartDirectoryDatabase(const std::string& path, const std::string& startDir) {
  if (startDir.empty()) return {};
  const std::string older = platform::JoinPath(platform::WithSlash(startDir), kDupesFileName);
  if (older == path || !platform::FileExists(older)) return {};
  return older;
}

// Moves the database an earlier version kept in the start directory beside
// the message base, when the message base has none yet; never overwrites.
void TakeOverStartDirectoryDatabase(const std::string& path, const std::string& startDir) {
  const std::string older = StartDirectoryDatabase(path, startDir);
  if (older.empty() || platform::FileExists(path)) return;
  try {
    platform::MakeDirs(platform::DirOf(path));
    if (platform::MoveFileNoReplace(older, path))
      Log("The duplicate database " + platform::LogName(older) + " was moved to " +
          platform::LogName(path));
  } catch (const std::exception& e) {
    Log("The duplicate database " + platform::LogName(older) + " could not be moved to " +
        platform::LogName(path) + ": " + e.what());
  }
}

// The message base has a database already (the keys that runs from another
// start directory took over): the start directory's keys are merged into
// the open ring (the caller holds globalMutex), which is saved, and only
// then the older database goes. A damaged one is left where it is.
void MergeStartDirectoryDatabase(const std::string& startDir) {
  const std::string older = StartDirectoryDatabase(globalChecker->Path(), startDir);
  if (older.empty()) return;
  TDupeChecker keys(older);
  keys.Forget();  // read only: never written back
  if (!keys.LoadProblem().empty()) {
    Log("The duplicate database " + platform::LogName(older) +
        " was not merged: " + keys.LoadProblem());
    return;
  }
  globalChecker->Merge(keys);
  if (!SaveLocked()) return;
  if (std::remove(older.c_str()) != 0) {
    Log("The duplicate database " + platform::LogName(older) + " was merged into " +
        platform::LogName(globalChecker->Path()) + " but could not be removed");
    return;
  }
  Log("The duplicate database " + platform::LogName(older) + " was merged into " +
      platform::LogName(globalChecker->Path()));
}

}  // namespace

TDupeChecker& OpenDupeChecker(const std::string& messageBaseDir, const std::string& startDir) {
  std::lock_guard lock(globalMutex);
  if (globalChecker) {
    SaveLocked();
    globalChecker.reset();
  }
  const std::string path = platform::JoinPath(platform::WithSlash(messageBaseDir), kDupesFileName);
  TakeOverStartDirectoryDatabase(path, startDir);
  globalChecker = std::make_unique<TDupeChecker>(path);
  if (!globalChecker->LoadProblem().empty())
    Log("The duplicate database was not used: " + globalChecker->LoadProblem());
  MergeStartDirectoryDatabase(startDir);
  return *globalChecker;
}

void MoveDupeChecker(const std::string& messageBaseDir) {
  std::lock_guard lock(globalMutex);
  if (!globalChecker) return;
  const std::string path = platform::JoinPath(platform::WithSlash(messageBaseDir), kDupesFileName);
  if (globalChecker->Path() == path) return;
  if (platform::FileExists(globalChecker->Path())) {
    SaveLocked();
  } else {
    // Nothing was saved in the old folder: it stays without a database.
    globalChecker->Forget();
  }
  globalChecker = std::make_unique<TDupeChecker>(path);
  if (!globalChecker->LoadProblem().empty())
    Log("The duplicate database was not used: " + globalChecker->LoadProblem());
}

TDupeChecker& GetDupeChecker() {
  std::lock_guard lock(globalMutex);
  if (!globalChecker) throw EDupeCheckerClosed("The duplicate checker is not open");
  return *globalChecker;
}

bool IsDupeCheckerOpen() {
  std::lock_guard lock(globalMutex);
  return globalChecker != nullptr;
}

bool SaveDupeChecker() {
  std::lock_guard lock(globalMutex);
  return SaveLocked();
}

bool CloseDupeChecker() {
  std::lock_guard lock(globalMutex);
  const bool saved = SaveLocked();
  globalChecker.reset();
  return saved;
}

}  // namespace velmaris

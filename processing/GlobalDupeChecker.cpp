#include "processing/GlobalDupeChecker.h"

#include <iostream>
#include <memory>
#include <mutex>

#include "core/ConfigStore.h"
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

}  // namespace

TDupeChecker& OpenDupeChecker(const std::string& startDir) {
  std::lock_guard lock(globalMutex);
  if (globalChecker) {
    SaveLocked();
    globalChecker.reset();
  }
  globalChecker = std::make_unique<TDupeChecker>(platform::JoinPath(startDir, kDupesFileName));
  if (!globalChecker->LoadProblem().empty())
    Log("The duplicate database was not used: " + globalChecker->LoadProblem());
  return *globalChecker;
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

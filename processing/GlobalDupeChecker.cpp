#include "processing/GlobalDupeChecker.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "processing/Tosser.h"

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
// A database that could not be read stays as it is: while the ring holds
// no key of its own nothing is lost, and nothing is said again.
bool SaveLocked() {
  if (!globalChecker) return true;
  if (globalChecker->Unreadable() && globalChecker->Count() == 0) return true;
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
  if (older.empty() || platform::PathExists(path)) return;
  // One that cannot be read stays where it is, said when it is merged.
  TDupeChecker probe(older);
  probe.Forget();
  if (probe.Unreadable()) return;
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
  if (globalChecker->Unreadable()) {
    Log("The duplicate database " + platform::LogName(older) +
        " was not merged: " + platform::LogName(globalChecker->Path()) + " cannot be read");
    return;
  }
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

// Says why the database just loaded was not used (the caller holds
// globalMutex): the tosser tosses nothing while it cannot be read.
void NoteLoadProblem() {
  const std::string& problem = globalChecker->LoadProblem();
  if (problem.empty()) return;
  if (!globalChecker->Unreadable()) {
    Log("The duplicate database was not used: " + problem);
    return;
  }
  Log("The duplicate database " + problem +
      "; no mail is imported until it can be read, the inbound keeps it");
}

// The duplicate database goes along when the message base folder changes:
// the running ring is merged into the new folder's database (its keys as
// the older ones, as an earlier start folder's are), written there and used
// from there; the old folder's file goes once the registry names the new
// folder. A database there that cannot be read, or a running one that
// could not be read, keeps the base where it is.
class TDupeBaseFiles : public TMessageBaseFiles {
 public:
  std::string Check(const std::string& from, const std::string& to) override {
    std::lock_guard lock(globalMutex);
    const std::string stays = "The message base stays in " + platform::LogName(from) + ": ";
    if (TTosser::Running())
      return "The message base cannot be moved while an import runs. Try again when it has "
             "ended.";
    if (globalChecker && globalChecker->Unreadable())
      return stays + "its duplicate database " + globalChecker->LoadProblem() + ".";
    TDupeChecker there(to + kDupesFileName);
    there.Forget();
    if (there.Unreadable())
      return stays + "the duplicate database " + there.LoadProblem() +
             ", so the keys of this one cannot be merged into it.";
    return {};
  }

  std::string CopyTo(const std::string& from, const std::string& to) override {
    std::lock_guard lock(globalMutex);
    const std::string path = to + kDupesFileName;
    createdThere_ = !platform::PathExists(path);
    if (!globalChecker) return {};
    TDupeChecker there(path);
    there.Forget();
    if (there.Unreadable() || globalChecker->Unreadable()) {
      const std::string& why =
          there.Unreadable() ? there.LoadProblem() : globalChecker->LoadProblem();
      return "The message base stays in " + platform::LogName(from) + ": the duplicate database " +
             why + ".";
    }
    if (!there.LoadProblem().empty())
      Log("The duplicate database was not used: " + there.LoadProblem());
    TDupeChecker merged = *globalChecker;
    merged.Forget();
    merged.Merge(there);
    merged.SetPath(path);
    try {
      merged.SaveToFile();
    } catch (const std::exception& e) {
      merged.Forget();
      return "The message base stays in " + platform::LogName(from) +
             ": the duplicate database could not be written to " + platform::LogName(to) + " (" +
             e.what() + ").";
    }
    oldPath_ = globalChecker->Path();
    oldKeys_ = *globalChecker;
    oldKeys_.Forget();
    // In place: the tosser holds the checker by its address.
    *globalChecker = merged;
    merged.Forget();
    return {};
  }

  void Settle(const std::string& /*from*/, const std::string& to, bool moved) override {
    std::lock_guard lock(globalMutex);
    if (!globalChecker || oldPath_.empty()) return;
    if (moved) {
      if (platform::FileExists(oldPath_) && std::remove(oldPath_.c_str()) != 0)
        Log("The duplicate database " + platform::LogName(oldPath_) + " was merged into " +
            platform::LogName(globalChecker->Path()) + " but could not be removed");
    } else {
      if (createdThere_) std::remove((to + kDupesFileName).c_str());
      *globalChecker = oldKeys_;
      globalChecker->SetPath(oldPath_);
    }
    oldPath_.clear();
    oldKeys_ = TDupeChecker();
  }

 private:
  bool createdThere_ = false;
  std::string oldPath_;
  TDupeChecker oldKeys_;
};

TDupeBaseFiles baseFiles;

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
  NoteLoadProblem();
  MergeStartDirectoryDatabase(startDir);
  SetMessageBaseFilesInForce(&baseFiles);
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
  if (MessageBaseFilesInForce() == &baseFiles) SetMessageBaseFilesInForce(nullptr);
  const bool saved = SaveLocked();
  globalChecker.reset();
  return saved;
}

}  // namespace velmaris

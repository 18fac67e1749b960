#include "processing/GlobalDupeChecker.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "processing/Tosser.h"

namespace velmaris {

namespace {

std::mutex globalMutex;
std::unique_ptr<TDupeChecker> globalChecker;
// Why no import may run on the open checker ("" when one may): a database
// it uses or would merge exists but cannot be read.
std::string importRefusal;

void RefuseImports(const std::string& why) {
  if (importRefusal.empty()) importRefusal = why;
}
// What the next import puts into its log: the damaged databases met.
std::vector<std::string> importNotes;
// The folders of the last open, where the database is looked at again.
std::string openedBase, openedStart;
// The lines said of databases that cannot be read, since they last could
// be: each is said once however often it is looked at (a batch run opens
// the checker three times), and again once it was mended in between.
std::vector<std::string> saidUnreadable;

void Log(const std::string& line) {
  if (TConfigStore* store = GetConfigStore())
    store->Log(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

void LogUnreadable(const std::string& line) {
  for (const std::string& said : saidUnreadable)
    if (said == line) return;
  saidUnreadable.push_back(line);
  Log(line);
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
    // The log line in the ANSI page, the box in UTF-8, each piece from
    // outside converted into its page.
    const auto text = [&](platform::LinePage page) {
      return "The duplicate database " + platform::LineText(globalChecker->Path(), page) +
             " could not be saved: " + platform::LineText(e.what(), page);
    };
    Log(text(platform::LinePage::Ansi));
    platform::GetPrompter().Error(text(platform::LinePage::Utf8));
    return false;
  }
}

// The database an earlier version kept in the start directory, "" when
// there is none to take over. Anything under its name counts (a link whose
// target is not there, a FIFO): it is said when it cannot be read.
std::string StartDirectoryDatabase(const std::string& path, const std::string& startDir) {
  if (startDir.empty()) return {};
  const std::string older = platform::JoinPath(platform::WithSlash(startDir), kDupesFileName);
  if (platform::SamePlace(platform::DirOf(older), platform::DirOf(path)) ||
      !platform::PathExists(older))
    return {};
  return older;
}

// Moves the database an earlier version kept in the start directory beside
// the message base, when the message base has none yet; never overwrites.
void TakeOverStartDirectoryDatabase(const std::string& path, const std::string& startDir) {
  const std::string older = StartDirectoryDatabase(path, startDir);
  if (older.empty() || platform::PathExists(path)) return;
  // One that cannot be read whole stays where it is, said when it is merged.
  TDupeChecker probe(older);
  probe.Forget();
  if (probe.Unreadable() || probe.Damaged()) return;
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

// What a damaged database kept of its keys and where the damaged file is,
// said now and in the next import's log (the caller holds globalMutex).
void NoteDamage(const TDupeChecker& keys, const std::string& kept) {
  const std::string line =
      "The duplicate database " + keys.LoadProblem() + "; the " + std::to_string(keys.Count()) +
      " keys it still holds are used, and the damaged file is kept as " + platform::LogName(kept);
  Log(line);
  importNotes.push_back(line);
}

// The message base has a database already (the keys that runs from another
// start directory took over): the start directory's keys are merged into
// the open ring (the caller holds globalMutex), which is saved, and only
// then the older database goes. One that cannot be read stays where it is
// and no import runs until it can be; a damaged one gives the keys it
// still holds and is kept beside under another name.
void MergeStartDirectoryDatabase(const std::string& startDir) {
  const std::string older = StartDirectoryDatabase(globalChecker->Path(), startDir);
  if (older.empty()) return;
  TDupeChecker keys(older);
  keys.Forget();  // read only: never written back
  const auto refuse = [&] {
    RefuseImports("the duplicate database " + keys.LoadProblem());
    LogUnreadable("The duplicate database " + platform::LogName(older) +
                  " was not merged: " + keys.LoadProblem() +
                  "; no mail is imported until it can be read, the inbound keeps it");
  };
  if (keys.Unreadable()) return refuse();
  if (globalChecker->Unreadable()) {
    LogUnreadable("The duplicate database " + platform::LogName(older) + " was not merged: " +
                  platform::LogName(globalChecker->Path()) + " cannot be read");
    return;
  }
  std::string kept;
  if (keys.Damaged() && (kept = keys.KeepDamagedFile()).empty()) return refuse();
  globalChecker->Merge(keys);
  if (!SaveLocked()) return;
  const std::string merged = "The duplicate database " + platform::LogName(older) +
                             " was merged into " + platform::LogName(globalChecker->Path());
  if (!kept.empty()) NoteDamage(keys, kept);
  if (std::remove(older.c_str()) != 0) {
    Log(merged + " but could not be removed");
    return;
  }
  Log(merged);
}

// Says why the database just loaded was not used whole (the caller holds
// globalMutex). A damaged one is kept beside and the keys it still holds
// are saved in its place at once; while one cannot be read, the tosser
// tosses nothing.
void NoteLoadProblem() {
  TDupeChecker& ring = *globalChecker;
  if (ring.LoadProblem().empty()) return;
  if (ring.Damaged()) {
    const std::string kept = ring.KeepDamagedFile();
    if (!kept.empty()) {
      NoteDamage(ring, kept);
      SaveLocked();
      return;
    }
  }
  RefuseImports("the duplicate database " + ring.LoadProblem());
  LogUnreadable("The duplicate database " + ring.LoadProblem() +
                "; no mail is imported until it can be read, the inbound keeps it");
}

TDupeChecker& OpenLocked(const std::string& messageBaseDir, const std::string& startDir);

// The database as it is now, looked at before every import and every move
// of the message base, as the start looks at it: one that was refused is
// opened again (a mended one is read); one that cannot be read now (a link
// whose drive went away) is loaded as the start loads it, so that nothing
// is imported into the keys held in memory, which could not be saved. The
// keys held are those each import's commit wrote into the database; one
// that is merely gone or damaged since is written over with them at the
// next commit. The caller holds globalMutex.
void LookAgainLocked() {
  if (!globalChecker) return;
  if (!importRefusal.empty() || globalChecker->Unreadable()) {
    OpenLocked(openedBase, openedStart);
    return;
  }
  if (globalChecker->Path().empty()) return;
  TDupeChecker now(globalChecker->Path());
  now.Forget();
  if (!now.Unreadable()) return;
  globalChecker->LoadFromFile();
  NoteLoadProblem();
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
    LookAgainLocked();
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
    const auto stays = [&](const std::string& why) {
      return "The message base stays in " + platform::LogName(from) + ": the duplicate database " +
             why + ".";
    };
    if (there.Unreadable()) return stays(there.LoadProblem());
    if (globalChecker->Unreadable()) return stays(globalChecker->LoadProblem());
    // A damaged one there is kept beside before the merged ring replaces it.
    keptThere_.clear();
    if (there.Damaged()) {
      keptThere_ = there.KeepDamagedFile();
      if (keptThere_.empty()) return stays(there.LoadProblem());
      NoteDamage(there, keptThere_);
    }
    TDupeChecker merged = *globalChecker;
    merged.Forget();
    merged.Merge(there);
    merged.SetPath(path);
    try {
      merged.SaveToFile();
    } catch (const std::exception& e) {
      merged.Forget();
      RestoreDamaged(path);
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
      keptThere_.clear();
      // The old folder's database goes, unless it is the one in use.
      if (platform::FileExists(oldPath_) && !platform::SamePlace(oldPath_, globalChecker->Path()) &&
          std::remove(oldPath_.c_str()) != 0)
        Log("The duplicate database " + platform::LogName(oldPath_) + " was merged into " +
            platform::LogName(globalChecker->Path()) + " but could not be removed");
    } else {
      if (createdThere_) std::remove((to + kDupesFileName).c_str());
      RestoreDamaged(to + kDupesFileName);
      *globalChecker = oldKeys_;
      globalChecker->SetPath(oldPath_);
    }
    oldPath_.clear();
    oldKeys_ = TDupeChecker();
  }

 private:
  // The damaged database the new folder held goes back in its place (where
  // it still stands, only the name it was kept under goes).
  void RestoreDamaged(const std::string& path) {
    if (keptThere_.empty()) return;
    if (platform::SamePlace(keptThere_, path))
      std::remove(keptThere_.c_str());
    else
      std::rename(keptThere_.c_str(), path.c_str());
    keptThere_.clear();
  }

  bool createdThere_ = false;
  std::string keptThere_;
  std::string oldPath_;
  TDupeChecker oldKeys_;
};

TDupeBaseFiles baseFiles;

}  // namespace

namespace {

TDupeChecker& OpenLocked(const std::string& messageBaseDir, const std::string& startDir) {
  if (globalChecker) {
    SaveLocked();
    globalChecker.reset();
  }
  importRefusal.clear();
  openedBase = messageBaseDir;
  openedStart = startDir;
  const std::string path = platform::JoinPath(platform::WithSlash(messageBaseDir), kDupesFileName);
  TakeOverStartDirectoryDatabase(path, startDir);
  globalChecker = std::make_unique<TDupeChecker>(path);
  NoteLoadProblem();
  MergeStartDirectoryDatabase(startDir);
  // Every database it uses can be read: a later fault is said again.
  if (importRefusal.empty()) saidUnreadable.clear();
  SetMessageBaseFilesInForce(&baseFiles);
  return *globalChecker;
}

}  // namespace

TDupeChecker& OpenDupeChecker(const std::string& messageBaseDir, const std::string& startDir) {
  std::lock_guard lock(globalMutex);
  return OpenLocked(messageBaseDir, startDir);
}

TDupeChecker& DupeCheckerForImport(const std::string& messageBaseDir, const std::string& startDir) {
  std::lock_guard lock(globalMutex);
  if (!globalChecker) return OpenLocked(messageBaseDir, startDir);
  openedBase = messageBaseDir;
  openedStart = startDir;
  LookAgainLocked();
  return *globalChecker;
}

std::string DupeCheckerRefusal() {
  std::lock_guard lock(globalMutex);
  return globalChecker ? importRefusal : std::string();
}

std::vector<std::string> TakeDupeCheckerNotes() {
  std::lock_guard lock(globalMutex);
  return std::exchange(importNotes, {});
}

void MergeOlderDupeDatabase(const std::string& messageBaseDir, const std::string& startDir) {
  {
    std::lock_guard lock(globalMutex);
    if (globalChecker || startDir.empty()) return;
    const std::string path =
        platform::JoinPath(platform::WithSlash(messageBaseDir), kDupesFileName);
    if (StartDirectoryDatabase(path, startDir).empty()) return;
  }
  OpenDupeChecker(messageBaseDir, startDir);
  CloseDupeChecker();
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
  importRefusal.clear();
  importNotes.clear();
  return saved;
}

}  // namespace velmaris

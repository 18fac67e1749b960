// What the settings window's Cancel puts back: the configured lists as they
// were when the window was opened (or last applied). The window edits the
// lists in place; the snapshot holds each list's entries (names and
// objects) and a copy of every entry's values, and Restore puts both back.
//
// The mailer profiles removed in the window are still alive (the window
// frees them on OK or Apply, TMailerConfig::FreeUnlisted): Restore lists
// them again and frees those added in the window.
//
// What the assistants did stays: an area or uplink they removed has had its
// files, requests and outbound deleted, and an area they added its files
// and requests made, so Restore keeps the areas that are new (and that the
// tosser added meanwhile) and does not bring back what was removed, except
// separators, which hold nothing. Separators added in the window go again,
// and so does an uplink the add-uplink assistant added (TakeBackOnRestore):
// it has made nothing but its outbound folder, which stays, empty.
//
// Main thread only, like every change of the configuration.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Area.h"
#include "core/NLData.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

namespace velmaris {

class TAutoSendJobs;
class TConfigStore;
class TFilterList;
class TMailerConfig;
class TNetLink;
class TPckList;
class TPubLst;
class TUnpJobList;

// The lists of the later layers that the window edits; each may be null.
struct TEditedLists {
  TPckList* Packers = nullptr;
  TUnpJobList* UnpackJobs = nullptr;
  TFilterList* ImportFilters = nullptr;
  TFilterList* ExportFilters = nullptr;
  TAutoSendJobs* AutoSendJobs = nullptr;
  TMailerConfig* Mailers = nullptr;
};

class TConfigEditSnapshot {
 public:
  // Takes the store's lists and the given ones as they are now.
  TConfigEditSnapshot(TConfigStore& store, const TEditedLists& lists);
  // The same with only the packers and unpack jobs (either may be null).
  TConfigEditSnapshot(TConfigStore& store, TPckList* packers, TUnpJobList* unpackJobs);
  ~TConfigEditSnapshot();
  TConfigEditSnapshot(const TConfigEditSnapshot&) = delete;
  TConfigEditSnapshot& operator=(const TConfigEditSnapshot&) = delete;

  // Puts the lists back. When the configuration was saved meanwhile (an
  // assistant saves what it did), it is saved again, so that the file holds
  // what the program now holds.
  void Restore();
  // An area the window added from files already in the message base: Restore
  // takes it off the list again (its files stay, as they were before).
  void TakeBackOnRestore(const TArea* area);
  // An uplink the window added (with its mailbox, which goes with the
  // mailbox list): Restore takes it off the list again.
  void TakeBackOnRestore(const TNetLink* link);

 private:
  using Entries = std::vector<std::pair<std::string, TObject*>>;
  struct AreaValues;

  // The list's entries, and each object's values below key\<index>.
  template <class List, class Save>
  Entries Take(const List& list, const std::string& key, Save save);
  template <class List, class Load>
  void PutBack(List& list, const Entries& entries, const std::string& key, Load load);
  void RestoreUplinks();
  void RestoreAreas();

  void RestoreMailers();

  TConfigStore& store_;
  TEditedLists lists_;
  platform::Registry memory_{""};
  // Relative paths in the copies lie below the store's start folder, as in
  // the configuration.
  TWinRegistry values_;
  std::string savedText_;  // the configuration registry as it was
  Entries uplinks_, mailboxes_, textGroups_, packerEntries_, jobs_, nodelists_, pointlists_,
      importFilters_, exportFilters_, autoSendJobs_, mailers_;
  std::vector<TNLInfo> nodelistValues_, pointlistValues_;
  std::vector<AreaValues> areas_;
  std::unique_ptr<AreaValues> prototype_;
  std::vector<std::pair<const TArea*, std::string>> takeBack_;  // the area and its file name
  std::vector<const TNetLink*> takeBackLinks_;
};

}  // namespace velmaris

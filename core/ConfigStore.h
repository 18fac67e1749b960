// The configuration store: the data side of the settings dialog. It owns the
// configured lists (areas with the prototype area, uplinks, mailboxes, text
// groups, nodelists and pointlists, the address book and its groups), holds
// the settings model, loads the whole configuration from the registry with
// every default and start-up fix-up, and saves it all back.
//
// Lists that belong to later layers (packers, mail filters, autosend jobs,
// mailer profiles, unpack jobs) join through TConfigSection: their layer
// implements a section and hands it to SetSection; the store calls it at its
// fixed place in the load and save order. A slot without a section leaves
// its registry keys untouched, so a configuration saved by a program part
// that does not know a list keeps that list.
//
// Saving: the configuration is written whole after every structural change
// (an area or uplink added through the store), when the settings are
// applied, and at the end. SaveConfiguration reports a failure to the user
// (through the platform Prompter) and to the log instead of passing over it.
// Code that makes many changes in a row brackets them with
// TConfigChangeBatch, which saves once at its end.
//
// The end: open -> closed [SaveAndClose, or the destructor]. The program's
// shut-down saves one last time with SaveAndClose once nothing is left that
// changes a list; from then on no save writes anything, so the lists can be
// freed in any order without a late save (a mailer window's log that
// creates REPORT, say) writing a list that is half gone.
//
// The tosser's hook: for a message of an area that does not exist it calls
// GetConfigStore()->AddArea(name, name, AreaTypeCode::Echomail, uplink) from
// its own thread; the store hands the call to the main thread, adds the area
// and saves the configuration before it returns. A tosser run that may
// create many areas holds a TConfigChangeBatch for the run (it may be made
// on the worker too), so the configuration is written once at the end.
//
// Threads: the changes (AddArea, AddAreaQuiet, AddNewLink, AddDefault...,
// ApplySettings, SaveConfiguration, the change brackets) run on the main
// thread; called from a worker they are handed over and waited for. Loading
// runs on the main thread. Workers read the lists and the settings snapshot
// without a lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/MailBox.h"
#include "core/NLData.h"
#include "core/NetLink.h"
#include "core/Settings.h"
#include "core/TextGroups.h"
#include "core/WinRegistry.h"

namespace velmaris {

namespace platform {
class Registry;
}
class TConfigStore;
class TKQMail;

// The program's root key below HKEY_CURRENT_USER.
inline constexpr const char* kConfigRootKey = "software\\Brimvale\\Velmaris";
// The section of the one-time markers.
inline constexpr const char* kUpdatesSection = "Updates";

// A failure of the configuration store that the caller must know of.
class EConfigStore : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The places of the lists of later layers in the load and save order.
enum class TConfigSlot : int {
  Packers,         // "Packers" and the packers' one-time markers
  Filters,         // "Import Filters", "Export Filters"
  AutosendJobs,    // "Autosend"
  MailerProfiles,  // "Lines"
  UnpackJobs,      // "Unpackjobs"
  Count_
};
inline constexpr size_t kConfigSlotCount = static_cast<size_t>(TConfigSlot::Count_);

// The files beside the message base that hold no mail and that a later
// layer keeps in use while the program runs (the tosser's duplicate
// database, its keys in memory). When the base folder changes the store
// asks Check first (why they cannot go along, "" when they can), has them
// written into the new folder with CopyTo (why not; nothing changed then)
// before the registry names it, and then Settle: moved, the old folder's
// copies go; not moved (the registry could not be saved), the new folder's
// copies go again and the old ones are used as before.
class TMessageBaseFiles {
 public:
  virtual ~TMessageBaseFiles() = default;
  virtual std::string Check(const std::string& from, const std::string& to) = 0;
  virtual std::string CopyTo(const std::string& from, const std::string& to) = 0;
  virtual void Settle(const std::string& from, const std::string& to, bool moved) = 0;
};
// The one in force (null: the store copies the files itself and refuses a
// new folder that holds one of its own).
TMessageBaseFiles* MessageBaseFilesInForce();
void SetMessageBaseFilesInForce(TMessageBaseFiles* files);

// A list of a later layer in the configuration. The store owns the section;
// the section owns (or refers to) its list.
class TConfigSection {
 public:
  virtual ~TConfigSection() = default;
  // Replaces the list by what the registry holds (missing values give their
  // defaults). A value of the wrong type may raise platform::ERegistry.
  virtual void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) = 0;
  virtual void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const = 0;
  // Start-up fix-ups after the whole configuration has been loaded (the
  // standard packers, questions through the Prompter). Default: none.
  virtual void AfterLoad(TConfigStore& store) { (void)store; }
};

class TConfigStore {
 public:
  using LogSink = std::function<void(const std::string& line)>;

  // startDir: the start directory (relative defaults lie below it); made
  // absolute and ending in "/". registry: the registry file the configuration
  // lives in. settings: the settings model to fill; when null the store
  // makes its own. Nothing is loaded yet.
  explicit TConfigStore(const std::string& startDir, platform::Registry& registry,
                        Settings* settings = nullptr);
  // Closes the store (no save from here on) and frees the areas. Clears the
  // process-wide references MakeCurrent set when they still point here.
  ~TConfigStore();
  TConfigStore(const TConfigStore&) = delete;
  TConfigStore& operator=(const TConfigStore&) = delete;

  // Makes this store, its area list and its settings model the process-wide
  // ones (GetConfigStore, GetAreaList, GetSettings).
  void MakeCurrent();

  // --- Loading and saving ------------------------------------------------------
  // The start-up load: LoadFromRegistry; a default uplink when the list is
  // still empty; every uplink's outbound directory; a default text group when
  // there is none; the sections' fix-ups (standard packers); the missing
  // directories created; the message base upgrade recorded.
  void LoadConfiguration();
  // Replaces the whole configuration by the registry's: settings, uplinks,
  // prototype and areas (separators, dropped empty and duplicate names, the
  // types of the well-known areas, NETMAIL, BAD and DUPES on top), packers,
  // filters, autosend jobs, mailer profiles, address book, unpack jobs,
  // nodelists, mailboxes, text groups, serial counters. A value of the wrong
  // type raises platform::ERegistry.
  void LoadFromRegistry();
  // Writes the whole configuration and the registry file; raises on failure
  // (platform::ERegistry, platform::EFile).
  void SaveToRegistry();
  // For a run that must store its configuration together with its other
  // files (the import's commit): writes the whole configuration into the
  // registry tree and the tree's text into a file beside the registry file,
  // not over it; the run's journal then puts that file in place with its
  // commit, or removes it when the run is undone. Returns that file's path
  // ("" when the registry lives in memory only and there is nothing to
  // put in place). Runs on the main thread; a save asked for inside the
  // change brackets still comes at their end. Raises on failure, writing
  // nothing over the registry file; a closed store raises too.
  std::string StageConfiguration();
  // SaveToRegistry, reporting a failure through the Prompter and the log;
  // true when saved. Inside a TConfigChangeBatch the save waits for the end
  // of the batch (and returns true). A closed store saves nothing: the
  // request is written to the log and false returned.
  bool SaveConfiguration();
  // The last save: writes the whole configuration now (change brackets
  // still open do not hold it back) and closes the store. True when saved.
  bool SaveAndClose();
  bool IsClosed() const { return closed_; }
  // Deferral of SaveConfiguration (see TConfigChangeBatch). Brackets nest;
  // the last EndChanges saves when a save was asked for inside.
  void BeginChanges();
  bool EndChanges();

  // The one-time markers under "Updates" (default false).
  bool ReadUpdateMarker(const std::string& name) const;
  void WriteUpdateMarker(const std::string& name, bool value);

  // --- Lists of later layers ---------------------------------------------------
  // Installs (or, with null, removes) the section of a slot. Install the
  // sections before LoadConfiguration.
  void SetSection(TConfigSlot slot, std::unique_ptr<TConfigSection> section);
  TConfigSection* Section(TConfigSlot slot) const;

  // --- Access ----------------------------------------------------------------------
  const std::string& StartDirectory() const { return startDir_; }
  Settings& SettingsModel() { return *settings_; }
  std::shared_ptr<const SettingsValues> Values() const { return settings_->Snapshot(); }
  TWinRegistry& Registry() { return winRegistry_; }
  // The message base directory handed to every area the store creates.
  std::string MessageBaseDir() const;

  TArea& Prototype() { return *prototype_; }
  TAreaList& Areas() { return areas_; }
  TLinkList& Uplinks() { return uplinks_; }
  TMBList& Mailboxes() { return mailboxes_; }
  TZRTexts& TextGroups() { return textGroups_; }
  TNLData& Nodelists() { return nodelists_; }
  TNLData& Pointlists() { return pointlists_; }
  TGroup& AddressBook() { return addressBook_; }
  TGroupList& AddressGroups() { return addressGroups_; }

  // --- Changes ---------------------------------------------------------------------
  // The area of that name, separators excluded. Letter case is ignored for
  // the letters of the ANSI page the name is stored in, Cyrillic as Latin.
  // The name is judged by platform::IsRawTag; the second form takes a tag
  // judged where it arrived.
  TArea* FindArea(const std::string& name) const;
  TArea* FindArea(const std::string& name, bool raw) const;
  // Adds an area made from the prototype: the file name from fileNameSource
  // by the area file-name rule, bound to the uplink (may be null), appended
  // to the list; the main window refreshes its area list and the
  // configuration is saved. An existing name (not for separators) shows
  // "The area \"<name>\" already exists!" with Abort and gives null; an
  // empty name gives null. rawTag: whether the name is a raw tag, as judged
  // where it arrived (TArea::RawTag); without it the bytes are judged by
  // platform::IsRawTag.
  TArea* AddArea(const std::string& name, const std::string& fileNameSource, uint8_t areaType,
                 TNetLink* uplink, std::optional<bool> rawTag = std::nullopt);
  // The file name for a new area: fileName, or, when another area uses it
  // (letter case ignored), fileName with "~2", "~3", ... at its end (a long
  // name cut at a whole character to make room for it), so that
  // distinct names that map to one file name ("A/B", "A.B") never share files.
  std::string UniqueAreaFileName(const std::string& fileName) const;
  // The same without the message box.
  TArea* AddAreaQuiet(const std::string& name, const std::string& fileNameSource, uint8_t areaType,
                      TNetLink* uplink, std::optional<bool> rawTag = std::nullopt);
  // Whether the settings page offers to delete the area: not BAD, DUPES or
  // NETMAIL (types 1 to 3); and whether it has properties: not a separator.
  static bool CanKillArea(const TArea& area);
  static bool HasAreaProperties(const TArea& area);
  // Removes the separator at index of the area list at once (other areas
  // go through the kill-area assistant): its files are deleted, it leaves
  // the list and is freed, the main window refreshes and the configuration
  // is saved. False when the entry is no separator.
  bool KillSeparator(int index);
  // Adds the uplink "<New Uplink>" (uplink address 2:3/4, own address
  // 2:3/4.5) with the main outbound directory and saves.
  TNetLink* AddNewLink();
  // Adds the mailbox "ACME Mailbox" (2:8/15, sysop "Sysop") and saves.
  TMailBox* AddDefaultMailbox();
  // Adds the text group "New Group" with the default texts and saves.
  TTextGroup* AddDefaultTextGroup();
  // Every uplink's outbound directory for the zone of its uplink address.
  void UpdateOutbounds();
  // The outbound directory of a zone: the main one for the own zone, else
  // the main one's name with "." and the zone as three hex digits, created
  // when missing (falling back to the main one when it cannot be).
  std::string GetUplinkOutbound(int32_t zone) const;
  // The settings dialog's Apply: takes the values over, recomputes the
  // outbound directories, creates missing directories and saves.
  // A new message base folder is taken only while the old one holds none of
  // the base's mail (MessageBaseMoveRefusal), the new one can be written
  // and its lock taken (MailLockInForce) and the files of the base that hold
  // no mail can go along (TMessageBaseFiles): they are written there, the
  // registry is saved naming the new folder at once (whatever change
  // brackets are open), and only then the old folder's copies go; every
  // area reads and writes there. Else nothing is taken (a folder made for
  // the move goes again, the lock and the files stay where they were), the
  // reason is written to the log and kept in MessageBaseMoveFailure, and
  // the result is false.
  bool ApplySettings(const SettingsValues& values);
  // Why the last ApplySettings kept the message base where it was ("" when
  // it moved, or was not asked to).
  const std::string& MessageBaseMoveFailure() const { return baseMoveFailure_; }
  // Why the message base cannot move to dir now (in the ANSI page, for a
  // message box), empty when it can: the old folder holds an area's files
  // or a journal of a run that was cut off (its mail would stay behind), an
  // area is in use, or the files without mail cannot go along
  // (TMessageBaseFiles::Check: the new folder's duplicate database cannot
  // be read).
  std::string MessageBaseMoveRefusal(const std::string& dir) const;

  // The configuration report: a netmail to the support contact with the
  // uplinks, mailboxes and the user's names, not yet stored (the caller
  // opens it in the editor). Null when there is no NETMAIL area.
  std::unique_ptr<TKQMail> MailConfigurationReport();
  static constexpr const char* kSupportName = "Velmaris Support";
  static constexpr const char* kSupportAddress = "2:240/95";

  // What the last load (or base move) said of a message base folder that
  // lacks the files of areas whose record says they held messages (a log
  // line in the ANSI page, naming every such area), "" when it holds them
  // all. The start-up shows it.
  const std::string& MessageBaseGone() const { return baseGone_; }
  // The same as the folder is now, for the runs' logs: an area whose mail a
  // run stored there since is no longer named, and after a base move the
  // new folder is the one looked at. On the main thread.
  std::string MessageBaseStillGone() const;
  // What the areas' records say the message base holds, taken on the main
  // thread (the areas' names and folders change there); MessageBaseLook
  // looks for it in the folder on any thread, so that a folder whose drive
  // does not answer keeps no window waiting.
  struct TBaseRecords {
    std::string Base;
    // The areas whose record says they held messages (REPORT, which a run
    // fills of its own, left out): each name (ANSI) and its index.
    std::vector<std::pair<std::string, std::string>> Held;
  };
  TBaseRecords MessageBaseRecords() const;
  struct TBaseLook {
    // What the folder lacks, "" when it holds every area's files.
    std::string Line;
    // Out of reach: the folder is missing or holds none of those files (an
    // empty mount point whose drive is away). No run stores mail then: the
    // areas would start anew there, and the duplicate database with them.
    bool OutOfReach = false;
  };
  static TBaseLook MessageBaseLook(const TBaseRecords& records);
  // The line a run that stores mail gives when it refuses to (the base is
  // out of reach), "" when it may go on. On the main thread; the folder is
  // looked at there.
  std::string MessageBaseRefusal() const;
  // The same words for a look made elsewhere.
  static std::string RefusalOf(const TBaseLook& look);

  // --- Reporting -----------------------------------------------------------------
  // Where the store writes its log lines (failures); standard error when
  // not set.
  void SetLogSink(LogSink sink) { logSink_ = std::move(sink); }
  void Log(const std::string& line) const;
  // Shows an error through the Prompter and writes it to the log.
  void ReportError(const std::string& text) const;

 private:
  class TextGroupUsers;
  // Writes the whole configuration into the registry tree, not its file.
  void WriteRegistryTree();
  void LoadAreas();
  // moved: set when the area's files were moved to a new name at load.
  void EnsureSystemArea(const char* name, const char* fileName, uint8_t type, const char* section,
                        bool& moved);
  // Logs why a loaded area kept an older file name; sets moved when its
  // files were moved to a new one.
  void NoteFileNameMove(const TArea& area, bool& moved) const;
  // The area of that name with the case of Latin letters ignored only, its
  // tag raw or not as given (a raw tag and a converted one of the same bytes
  // are two areas).
  TArea* FindAreaLatinCase(const std::string& name, bool raw) const;
  TArea* NewArea(const std::string& name, const std::string& fileNameSource, uint8_t areaType,
                 TNetLink* uplink, bool quiet, std::optional<bool> rawTag);
  void CreateDirectories();
  // Takes the values over (settings, code pages, outbounds, folders, the
  // areas' base folder); no save.
  void TakeValues(const SettingsValues& values);
  // ApplySettings for a new message base folder.
  bool MoveMessageBase(const SettingsValues& values);
  // Says so (standard error and the log; MessageBaseGone) when the message
  // base folder lacks the index of an area that held messages: the folder
  // was moved, or the drive it is on is away.
  void NoteMessageBaseGone();
  // That line as the folder is now, "" when nothing is missing.
  std::string MessageBaseGoneLine() const;
  void LoadSection(TConfigSlot slot);
  void SaveSection(TConfigSlot slot);
  void StructureChanged();

  std::string startDir_;
  platform::Registry& registry_;
  TWinRegistry winRegistry_;
  std::unique_ptr<Settings> ownSettings_;
  Settings* settings_;
  std::unique_ptr<TArea> prototype_;
  TLinkList uplinks_;
  TMBList mailboxes_;
  TZRTexts textGroups_;
  TAreaList areas_;
  TNLData nodelists_;
  TNLData pointlists_;
  TGroup addressBook_;
  TGroupList addressGroups_;
  std::unique_ptr<TextGroupUsers> textGroupUsers_;
  std::array<std::unique_ptr<TConfigSection>, kConfigSlotCount> sections_;
  int changeDepth_ = 0;
  bool savePending_ = false;
  bool closed_ = false;
  std::string baseMoveFailure_;
  std::string baseGone_;
  LogSink logSink_;
};

// Defers the configuration saves of the changes made while it lives and
// saves once at its end (when any change asked for a save). For the tosser,
// which may create many areas in one run.
class TConfigChangeBatch {
 public:
  explicit TConfigChangeBatch(TConfigStore& store) : store_(&store) { store_->BeginChanges(); }
  ~TConfigChangeBatch() {
    if (store_) store_->EndChanges();
  }
  TConfigChangeBatch(const TConfigChangeBatch&) = delete;
  TConfigChangeBatch& operator=(const TConfigChangeBatch&) = delete;

 private:
  TConfigStore* store_;
};

// The process-wide configuration store; null while none is set.
TConfigStore* GetConfigStore();
void SetConfigStore(TConfigStore* store);

// Creates the directory and its missing parents; a trailing "/" is ignored.
// True when the directory exists afterwards.
bool ForceDirectoryPath(const std::string& path);

// Whether received files can be kept in the folder `dir` (the inbound, or the
// folder a received file goes to): empty when it is a folder that can be
// written, else why not, as a sentence beginning "The inbound folder " with
// the path as the disk's bytes (the caller converts the line it makes).
// Nothing is created or changed: a folder that is missing, a link on the way
// to it whose target is missing (a drive that is not mounted), a file in its
// place and a folder that cannot be written are each said as such. The poll
// asks it before it dials, the protocols before each file they receive and
// before they confirm one.
std::string InboundProblem(const std::string& dir);

}  // namespace velmaris

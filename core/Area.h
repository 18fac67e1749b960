// A message area: its settings (name, file name, type, uplink, text group,
// limits, conversion switches, display and maintenance masks) and their
// registry record, its message base files (a TMessageBase the area owns)
// with the header index held in memory while in use, the flag counters shown
// in the area list, the queue of new messages waiting to be written, and the
// lock that lets background jobs and the user interface share it.
//
// States and the calls that move between them:
//   index:  unloaded -> loaded(1) [OpenIndex] -> loaded(n) [OpenIndex]
//           loaded -> changed [SetHeader, ChangeHeaderFlags, PurgeDeleted,
//                              RemoveHeader, MarkIndexChanged]
//           changed -> written, unloaded [last CloseIndex]
//           changed -> loaded [WriteIndexNow]
//           loaded(n) -> unloaded without writing [last ReleaseIndex]
//   lock:   free -> shared(1) -> shared(n) [Lock(false)] -> free [last Unlock]
//           free -> exclusive [Lock(true)] -> free [Unlock]
//
// The lock: shared for readers, exclusive for writers (tossing, maintenance,
// optimisation, export). One process-wide mutex guards only the lock state;
// a request that cannot be granted fails at once, and waiting is the
// caller's business (WaitLock for background jobs, LockForCommand for user
// commands). Loading and freeing the index are guarded by a mutex of the
// area; the header list is reached only while the index is loaded
// (asserted in HeaderList, HeaderPtr and MarkIndexChanged, checked with an
// exception in GetHeader and SetHeader). Maintenance and optimisation check
// for the exclusive lock and do nothing without it; StoreMail asserts it. The
// queue of new mails has a mutex of its own: a worker queues while the main
// thread stores other mails under the lock.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Mail.h"
#include "core/MsgHeader.h"
#include "core/NetLink.h"
#include "core/PubLst.h"
#include "core/SearchRequest.h"
#include "platform/CodePage.h"

namespace velmaris {

class TMessageBase;
class TWinRegistry;

// Area types (the AreaType field). 4 is not assigned.
struct AreaTypeCode {
  static constexpr uint8_t Echomail = 0;
  static constexpr uint8_t Badmail = 1;
  static constexpr uint8_t Dupes = 2;
  static constexpr uint8_t Netmail = 3;
  static constexpr uint8_t Separator = 5;
  static constexpr uint8_t Report = 6;
  static constexpr uint8_t Prototype = 7;  // settings template for new areas; no files
  static constexpr uint8_t Storage = 8;
  static constexpr uint8_t EMail = 9;
  static constexpr uint8_t Newsgroup = 10;
  static constexpr uint8_t AreasCaption = 11;  // caption only
};

// The caption prefix of a type, e.g. "Echomail Area: "; "Unknown Area: " for
// types without one.
const char* AreaTypeCaptionPrefix(int areaType);

// The name of the separator entries of the area list. Every loop over the
// areas skips them.
inline constexpr const char* kSeparatorName = "!SEP!";
// Well-known area names.
inline constexpr const char* kNetmailAreaName = "NETMAIL";
inline constexpr const char* kBadAreaName = "BAD";
inline constexpr const char* kDupesAreaName = "DUPES";
inline constexpr const char* kReportAreaName = "REPORT";

// Longest file name of an area, in bytes: the longest extension
// (".PackedIndex", 12 bytes) must still fit into a file name of 255 bytes.
inline constexpr size_t kAreaFileNameMax = 243;
// The registry record "Packed".
inline constexpr size_t kAreaRecordSize = 539;

// Operations of ChangeHeaderFlags.
struct FlagOperation {
  static constexpr int Clear = 1;
  static constexpr int Set = 2;
  static constexpr int Toggle = 3;
};

inline constexpr std::chrono::milliseconds kLockRetryInterval{100};

class TArea : public TObject {
 public:
  static constexpr int kBodyClosed = -2;

  // directory: the message base directory; fileName passes through
  // AreaNameToFileName. Deletes the area's files of the older format
  // (".Header", ".Dupes", ".$DX", ".$DY") when present.
  // rawTag: whether the name is a raw tag, as judged where it arrived
  // (platform::IsRawPacketTag, IsRawTypedTag); without it the stored bytes
  // are judged (platform::IsRawTag).
  TArea(const std::string& directory, const std::string& name, const std::string& fileName,
        uint8_t areaType = AreaTypeCode::Echomail, std::optional<bool> rawTag = std::nullopt);
  // Closes the index, writing it when it changed.
  ~TArea() override;
  TArea(const TArea&) = delete;
  TArea& operator=(const TArea&) = delete;

  // A new area that takes the prototype's switches, limits and the flag
  // conditions and names of its masks (not its text group, uplink, NToH or
  // the masks' text and date conditions).
  static std::unique_ptr<TArea> CreateFromPrototype(const std::string& directory,
                                                    const std::string& name,
                                                    const std::string& fileName, uint8_t areaType,
                                                    const TArea& prototype,
                                                    std::optional<bool> rawTag = std::nullopt);
  // An area on the files of a name as a journal recorded it (the name on
  // disk, taken as it is), for undoing or finishing a run. A name an earlier
  // version recorded in the ANSI page whose files a load has moved since is
  // followed to them.
  static std::unique_ptr<TArea> OnRecordedFiles(const std::string& directory,
                                                const std::string& fileName);
  // An area loaded from the registry section (see LoadFromRegistry), its
  // masks named after the loaded name.
  static std::unique_ptr<TArea> CreateFromRegistry(TWinRegistry& registry,
                                                   const std::string& section,
                                                   const std::string& directory,
                                                   const TLinkList* uplinks = nullptr);

  // --- Settings -------------------------------------------------------------
  std::string Name;      // area name (echo tag)
  // Whether Name holds the tag's own bytes as its uplink sent them (raw, such
  // as UTF-8 from a modern tosser) rather than an OEM tag converted into the
  // ANSI page. Judged once where the tag arrived, saved with the area (an
  // area saved before it is judged once at load by platform::IsRawTag and
  // saved with it). Every reader asks the area; none judges the bytes again.
  bool RawTag = false;
  // Set by a load that judged RawTag because the registry had none, and
  // wrote it there.
  bool RawTagJudged = false;
  std::string FileName;  // base name of the area's files
  std::string BaseDir;   // message base directory, ending in "/" (or empty)
  uint8_t AreaType = AreaTypeCode::Echomail;
  // The uplink of an echomail area: an entry of the uplink list, or none.
  TNetLink* Uplink = nullptr;
  int32_t TextGroup = -1;    // index in the text-group list, -1 none
  int32_t MaxAge = 90;       // days a message is kept
  int32_t MaxNumber = 1000;  // messages kept
  bool ApplyAge = true;      // maintenance applies MaxAge
  bool ApplyNumber = true;   // maintenance applies MaxNumber
  bool Maintain = true;      // the area takes part in maintenance
  // Switches read by the editor and the message composition.
  bool TabsToSpaces = true;
  bool NoUmlaute = true;
  bool NoSZ = true;
  bool NToH = false;
  bool NoRex = false;
  bool RandomOrig = true;
  bool Reflow = true;
  TSearchRequest MaintainFilter;  // messages maintenance may delete
  TSearchRequest DisplayFilter;   // messages the message list shows

  bool IsSeparator() const { return Name == kSeparatorName; }
  // The name as a person reads it: UTF-8 for a window, or in a line made in
  // a code page (a log line and REPORT in the ANSI page).
  std::string NameText() const { return platform::TagText(Name, RawTag); }
  std::string NameInPage(platform::CodePage page) const {
    return platform::TagInPage(Name, RawTag, page);
  }
  std::string NameInAnsi() const { return platform::TagInAnsi(Name, RawTag); }
  // The key the area is found by (platform::TagKey of the name as kept), and
  // whether a name or tag judged on its own names this area.
  std::string NameKey() const;
  bool HasName(std::string_view name) const;
  bool HasName(std::string_view name, bool raw) const;
  // The message list window open on the area (main thread), or none.
  TObject* MessageWindow = nullptr;

  // The file name of an area name (ANSI page bytes, as every name is
  // stored): the name in UTF-8, the file system's bytes, so that a user
  // reads the area's name in the file's. Each of < > / \ : ? * | and the
  // double quote becomes a full stop, as do control characters (among them
  // the positions the ANSI page leaves undefined); a result longer than
  // kAreaFileNameMax bytes keeps its beginning, cut at a whole character,
  // and ends in "~" and the CRC-32 of the whole mapped name in hex. An echo
  // tag kept as the UTF-8 a modern tosser sent (raw, TArea::RawTag) is that
  // UTF-8 already.
  static std::string AreaNameToFileName(const std::string& name, bool raw);
  // A file name as stored with an area. One that is UTF-8 passes the same
  // mapping, which leaves a mapped name as it is; one that is not was stored
  // by an earlier version as ANSI bytes and is read as an area name.
  static std::string StoredFileName(const std::string& stored);
  void SetBaseDir(const std::string& directory);  // adds the trailing "/"
  // Points the area at another message base folder (main thread, no job
  // holding the area). A loaded index belongs to the old folder's files: it
  // is read again from the new folder, keeping its uses, and what it held
  // is never written there; an unloaded area is counted there. An open body
  // goes. The message list on the area is rebuilt (as after a release).
  void MoveToBaseDir(const std::string& directory);
  void SetFileName(const std::string& name);      // through AreaNameToFileName
  void SetUplink(TNetLink* uplink) { Uplink = uplink; }
  // BaseDir + FileName + extension, e.g. FilePath(".PackedIndex").
  std::string FilePath(const std::string& extension) const;
  // Deletes the files of the area (current and older format, and what an
  // interrupted optimisation left). An area without a file name has none.
  void DeleteFiles();
  // The first of the area's files (any extension the message base has
  // used) that exists; empty when it has none.
  std::string FirstFile() const;

  // --- Registry ---------------------------------------------------------------
  // The values of one area: "Packed" (kAreaRecordSize bytes), "LastRead",
  // "LastImport", "NToH", "RandomOrig", "NoRex", and the masks in the
  // subsections "\Maintain" and "\DisplayMask". The uplink is stored as its
  // index in uplinks (-1 when none or without a list).
  void SaveToRegistry(TWinRegistry& registry, const std::string& section,
                      const TLinkList* uplinks = nullptr) const;
  // Reads "Packed", or the older separate values when it is missing or not
  // exactly kAreaRecordSize bytes. A stored file name that is not UTF-8 (an
  // earlier version stored the ANSI bytes) is moved once: every file of the
  // area is renamed, never over another file, to StoredFileName of it, and
  // the new name is written into the section (FileNameMoved). When a file
  // of the new name exists already nothing is renamed, the area keeps the
  // old name and FileNameNote says why (for the log); a file that can be
  // neither moved on nor put back (read-only media) is read where it is.
  // When none of the old files exists but files of the new name do, the new
  // name is taken as it is: a move whose new name was not saved is finished
  // so. With no file under either name the stored name stays as it is: it
  // is rewritten only after the files it names have moved. The stored
  // uplink index selects the entry of uplinks; an index at or beyond the
  // end selects entry 0; a negative index, an empty list or no list gives
  // none.
  void LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                        const TLinkList* uplinks = nullptr);
  bool FileNameMoved = false;
  std::string FileNameNote;  // ANSI page, a log line
  // The "Packed" record with the given uplink index.
  std::array<uint8_t, kAreaRecordSize> PackRecord(int32_t uplinkIndex) const;
  // Takes the fields of a record; returns the stored uplink index.
  int32_t UnpackRecord(const uint8_t* record);
  // Names both masks after the area and lets the maintenance mask's dialog
  // offer only its flags page.
  void NameFilters();

  // --- Index held in memory -----------------------------------------------
  bool IsIndexLoaded() const { return indexLoaded_; }
  int32_t IndexUses() const { return indexUseCount_; }
  // The headers differ from the file.
  bool IsIndexChanged() const { return indexChanged_; }
  // For a caller that changed headers in place through GetHeader.
  void MarkIndexChanged() {
    assert(indexLoaded_);
    indexChanged_ = true;
  }
  // The loaded headers (Count of them).
  const std::vector<TMsgHeader>& HeaderList() const {
    assert(indexLoaded_);
    return headers_;
  }
  // Why the index file could not be read whole, empty while it is sound.
  // A damaged index opens with the records that could be read; it is never
  // written back (that would lose the others), and maintenance,
  // optimisation and export leave the area alone. A text for the log, in
  // the ANSI page like the area's name it goes with.
  std::string IndexDamage;
  int32_t Count = 0;  // number of messages

  // Counts one use of the index. The first loads it (".PackedIndex", or an
  // empty index when the file does not exist), applies the import marks and
  // counts the flags. False when the file exists but cannot be read; the
  // area then stays unloaded. Safe to call from several threads holding
  // shared locks.
  bool OpenIndex();
  // Counts one use less; the last close writes the index file when it
  // changed (a missing file counts as changed) and frees the index.
  void CloseIndex();
  // Like CloseIndex, but the last release frees the index without writing
  // it, for jobs that found nothing to do.
  void ReleaseIndex();
  // Writes a loaded index that changed at once and keeps it loaded, for a
  // writer whose close need not be the last (an open message list holds
  // another use). False when the write failed; the index stays changed.
  bool WriteIndexNow();
  // Counts the flags of an area whose index is not loaded from its file
  // (import marks applied to the copy only); a loaded area keeps its
  // counters.
  void RecountFlags();
  // The header at index, to read or change in place (a caller that changes
  // it calls MarkIndexChanged); raises EAreaHeaderMsgIndexOutOfRange outside
  // 0 .. Count - 1 or when the index is not loaded.
  TMsgHeader& GetHeader(int index);
  // The same without the check, for loops that stay in range.
  TMsgHeader* HeaderPtr(int index) {
    assert(indexLoaded_ && index >= 0 && static_cast<size_t>(index) < headers_.size());
    return &headers_[static_cast<size_t>(index)];
  }
  // Replaces the header, moving the flag counters from the old flags to the
  // new ones; raises EAreaHeaderMsgIndexOutOfRange ("Index:") outside the
  // index. A header that is not stored (the substitute of a damaged message)
  // never replaces a stored one: false, nothing changes.
  bool SetHeader(int index, const TMsgHeader& header);
  // operation: FlagOperation::Clear, Set or Toggle the mask's bits; any
  // other value leaves the flags. The index counts as changed in every case.
  void ChangeHeaderFlags(int index, uint16_t mask, int operation);
  void MarkDeleted(int index) { ChangeHeaderFlags(index, MsgFlag::Deleted, FlagOperation::Set); }

  // --- Flag counters --------------------------------------------------------
  int32_t UnreadCount = 0;            // Unread
  int32_t ToSysopCount = 0;           // ToSysop
  int32_t UnreadToSysopCount = 0;     // Unread and ToSysop
  int32_t SendCount = 0;              // Send; -1: not yet counted
  int32_t NewUnreadCount = 0;         // New and Unread
  int32_t NewUnreadToSysopCount = 0;  // New, Unread and ToSysop
  int32_t LastRead = 0;               // position of the last message read
  int32_t LastImport = -1;            // first message of the last import not yet marked
  // What the area held, kept with its record in the registry
  // ("HeldMessages"), apart from the message base folder, so that a folder
  // that lost the area's files is told from one that never had any: the
  // number of messages its index held when it was last read whole or
  // written. -1 while unknown: a registry from before the record, or an
  // area whose files were never found. A missing index leaves it as it is.
  int32_t HeldMessages() const { return heldMessages_.load(); }
  // Puts back the record a run found, when the run's writes are undone.
  void SetHeldMessages(int32_t held) { heldMessages_.store(std::max<int32_t>(-1, held)); }
  // Whether the area has held messages: by that record; without one, by
  // the read and import marks (every import marks NETMAIL, BAD and DUPES,
  // also when it brought them nothing: there a mark at the first message
  // is no sign of mail).
  bool HadMessages() const;
  // How many messages the record says the area held when its files are
  // gone (moved, deleted, their drive away): its record says it held mail
  // and its index is not in the folder. 0 while the area is not in that
  // state. The one test every writer of the index asks: none writes an
  // index there (which would make the loss silent) until new mail makes the
  // files anew, and a look at the area leaves its marks as they are.
  int32_t VanishedMessages() const;
  // What the last append said when it made such an area's files anew
  // ("area X held N messages; its files were missing and were made anew",
  // in the ANSI page); the run that stored the mail takes it for its log.
  std::string TakeRemadeNote() { return std::exchange(remadeNote_, {}); }
  // Adds (delta 1) or removes (delta -1) one header's flags.
  void CountFlags(uint16_t flags, int delta);
  void ResetFlagCounters();

  // --- Bodies ---------------------------------------------------------------
  int BodyHandle = kBodyClosed;  // open ".PackedBody", kBodyClosed when closed
  // Opens ".PackedBody" read-only for a run of reads; false when it cannot.
  bool OpenBody();
  void CloseBody();
  // Reads one message; a body that cannot be read or fails its checks gives
  // the substitute message instead. Never null.
  std::unique_ptr<TMail> ReadMail(int index);

  // --- New messages -------------------------------------------------------
  // Mails handed back by WriteQueuedMail when told not to free them.
  std::vector<std::unique_ptr<TMail>> KeptMails;
  int32_t WrittenCount = 0;  // mails handed to the last WriteQueuedMail
  // Why the last WriteQueuedMail failed: the file and the system's reason,
  // in the ANSI page like the area's name it goes with.
  std::string WriteError;
  // Each append syncs both files. A run that syncs its writes at its own
  // commit (the tosser, see processing/Tosser.h) turns this off meanwhile.
  bool SyncWrites = true;
  // Stamps Created (the mail's own date, 0 when it does not parse) and
  // Tossed (now) and appends the mail to the queue; the area takes it over.
  // Any thread may queue (the queue's own mutex). stamp false keeps the
  // mail's Created and Tossed.
  void QueueMail(std::unique_ptr<TMail> mail, bool stamp = true);
  size_t QueuedCount() const;
  void ClearQueue();
  // Appends the queued mails to both files. markAsImport: the appended mails
  // become the new import (New on the next open). True when every queued
  // mail was written; false when the files could not be opened or a mail
  // was given up after a write failure.
  bool WriteQueuedMail(bool freeMails = true, bool markAsImport = false);
  // The same without touching the import marks, for a run that marked them
  // with its first write.
  bool AppendQueuedMail(bool freeMails = true);
  // Stamps the mail as QueueMail does and stores it at once, as
  // WriteQueuedMail(true, false) would, leaving the queue (and whatever
  // another thread queued) alone. Only under the exclusive lock.
  bool StoreMail(std::unique_ptr<TMail> mail);
  bool StoreMails(std::vector<std::unique_ptr<TMail>> mails);

  // The message base files of the area.
  TMessageBase& Base() { return *base_; }

  // --- Maintenance, optimisation, reply table (AreaMaintain.cpp) -------------
  // Deletes by age (the body's date, MaxAge days, with ApplyAge) and by
  // number (MaxNumber, with ApplyNumber) the messages whose flags pass the
  // maintenance filter's flag test (never ToSysop for the number limit),
  // then purges. Only while the caller holds the exclusive lock. today:
  // the day to measure ages from (0: now).
  // (Named apart from the Maintain switch above.)
  void MaintainMessages(TDateTime today = 0);
  // Removes every header marked Deleted from the in-memory index.
  void PurgeDeleted();
  // Removes the headers whose entry in chosen is not 0 (entry i for message
  // i; missing entries keep their messages), whatever their flags.
  void PurgeChosen(const std::vector<uint8_t>& chosen);
  // Removes one header from the in-memory index; other indexes do nothing.
  void RemoveHeader(int index);
  // Rewrites ".PackedBody" with the bodies of the indexed messages only, in
  // index order, crash-safely (see AreaMaintain.cpp). Only while the caller
  // holds the exclusive lock. False when the area stayed as it was.
  bool Optimize();
  // The reply table: 2 * Count slots of (MsgIdNumber, index).
  struct ReplySlot {
    uint32_t Key = 0xFFFFFFFF;
    int32_t Index = -1;
  };
  std::vector<ReplySlot> ReplyTable;
  void BuildReplyTable();
  void FreeReplyTable();
  // The message the header answers (REPLY serial and address CRC), or -1.
  int FindReplyTarget(const TMsgHeader& header) const;
  // MSGID and REPLY keys and the dates of every header, from the bodies.
  void RebuildReplyKeys();
  // The display test of the message list (the body is not read).
  bool MatchesMask(int index, const TSearchRequest& request) const;

  // --- Lock -----------------------------------------------------------------
  // Takes the lock at once or fails at once: a shared request on a shared
  // area adds a hold, a free area becomes locked, anything else is refused.
  // A new lock tells the message list window (through the shell services,
  // on the main thread, after the lock state is settled).
  bool Lock(bool exclusive);
  // Gives up one hold; the last one releases the lock. Releasing an
  // exclusive lock has the area's line and its message list rebuilt,
  // releasing a shared one the message list's caption renewed.
  void Unlock();
  // Not locked, or locked shared.
  bool IsReadable() const;
  bool IsLocked() const;
  bool IsSharedLocked() const;
  bool IsLockedExclusive() const;
  int32_t HoldCount() const;
  // For background jobs: tries every interval until the lock is granted
  // (true) or aborted() holds (false). On the main thread the dispatcher's
  // messages are processed between tries.
  bool WaitLock(bool exclusive, const std::function<bool()>& aborted,
                std::chrono::milliseconds interval = kLockRetryInterval);
  // For user commands: one try; when refused, tells the user "The area " +
  // name + " is in use!" and returns false.
  bool LockForCommand(bool exclusive);

 private:
  friend class TMessageBase;
  using MailBatch = std::vector<std::unique_ptr<TMail>>;
  MailBatch TakeQueue();
  // Writes a loaded index, appends the batch and loads the index again.
  bool AppendMails(MailBatch batch, bool freeMails);
  void ApplyImportMarks(std::vector<TMsgHeader>& headers, int32_t count, bool* changed) const;
  void FinishIndexUse(bool write);
  void DeleteOlderFiles();
  // The move of a stored file name that is not UTF-8 (see LoadFromRegistry);
  // true when the area now has the new name.
  bool MoveStoredFileName(const std::string& stored);
  // A move cut off that could be neither finished nor undone (the message
  // base is on read-only media) leaves some files under the new name while
  // the area keeps the stored one: while FileName is splitName_, FilePath
  // finds those files (extension, name) where they are.
  std::vector<std::pair<std::string, std::string>> splitFiles_;
  std::string splitName_;
  template <typename Pred>
  void PurgeWhere(Pred removed);

  // The index, loaded and freed under indexMutex_.
  std::vector<TMsgHeader> headers_;  // Count records while loaded
  bool indexLoaded_ = false;
  int32_t indexUseCount_ = 0;
  bool indexChanged_ = false;
  // HeldMessages; written by whichever thread reads or writes the index.
  std::atomic<int32_t> heldMessages_{-1};
  // Set by the append that made vanished files anew, taken by its run.
  std::string remadeNote_;
  // New mails waiting for WriteQueuedMail, guarded by queueMutex_.
  MailBatch queue_;
  mutable std::mutex queueMutex_;
  std::unique_ptr<TMessageBase> base_;
  // Lock state, guarded by the process-wide area lock mutex.
  bool locked_ = false;
  bool shared_ = false;
  int32_t holdCount_ = 0;
  // Guards loading and freeing of the index between shared readers.
  std::mutex indexMutex_;
  // Watched by calls posted to the main thread, which skip an area freed in
  // the meantime.
  std::shared_ptr<TArea*> self_;
};

// The message that takes the place of a message whose body cannot be read:
// from "Messagebase Controller" to "Current User", subject "Messagebase
// Format Error", carrying the stored header's first four bytes and the body
// offset TMsgHeader::NotStored.
std::unique_ptr<TMail> MakeSubstituteMail(const TArea& area, const TMsgHeader& stored);

// Holds a lock taken by the caller and releases it at the end of the scope.
class TAreaLockHold {
 public:
  explicit TAreaLockHold(TArea& area) : area_(&area) {}
  ~TAreaLockHold() {
    if (area_) area_->Unlock();
  }
  TAreaLockHold(const TAreaLockHold&) = delete;
  TAreaLockHold& operator=(const TAreaLockHold&) = delete;
  // Releases now.
  void Release() {
    if (area_) area_->Unlock();
    area_ = nullptr;
  }

 private:
  TArea* area_;
};

// A list of areas. The names are the area names; entries named
// kSeparatorName are separators. The areas handed over with Adopt are owned
// by the list (the configuration store's list owns every area); those added
// with Add or Insert belong to someone else, and the list is a view of them.
class TAreaList : public TTypedList<TArea> {
 public:
  using TTypedList<TArea>::Add;
  using TTypedList<TArea>::Insert;
  // Adds the area under its Name.
  int Add(TArea* area) { return TTypedList<TArea>::Add(area->Name, area); }
  void Insert(int index, TArea* area) { TTypedList<TArea>::Insert(index, area->Name, area); }
  // Adds the area (at index, or at the end) and takes it over.
  TArea* Adopt(std::unique_ptr<TArea> area, int index = -1);
  // Removes the entry at index; the area goes with the returned pointer when
  // the list owned it (null otherwise, and for an index outside the list).
  std::unique_ptr<TArea> Remove(int index);
  // As in the list; then the main window rebuilds its area list.
  void MoveUp(int index);
  void MoveDown(int index);
  // The areas without the separators, in list order.
  std::vector<TArea*> Areas() const;
  // Empties the list, freeing the areas it owns.
  void FreeAll();
  // Area names are echo tags: platform::SameTag.
  bool SameName(const std::string& a, const std::string& b) const override;

 private:
  std::vector<std::unique_ptr<TArea>> owned_;
};

// The global area list, set by the configuration store; nullptr while none.
TAreaList* GetAreaList();
void SetAreaList(TAreaList* list);

}  // namespace velmaris

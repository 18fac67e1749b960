// Failures in processing/: no exception leaves a job's thread. It ends the
// run, marks it failed and becomes a log line ("... stopped by an error: ")
// in the window and the report. Damaged input is no failure of the run: a
// packet or message is set aside (BAD, a renamed packet) and logged.
//
// The tosser: imports everything the mailer left in the inbound directory.
// One run processes the TIC file announcements, clears the previous run's
// backups, unpacks the bundles, runs the import packet processor on each
// packet, reads each packet and places every message in its area (a new echo
// area, BAD or DUPES when it must), writes every area's new messages under an
// exclusive lock, moves the packets to the backup directory and posts the log
// as the "Import Log" report.
//
// Threads: the run works on its own thread (Start). Everything that touches a
// window (the import window's captions, labels, log and personal-mail list),
// every area lock and release, every change of the configuration, every
// message box and the bundle extraction are handed to the main thread through
// the process-wide Dispatcher's Send; the worker does the file work. The main
// thread must therefore keep processing its messages while a run goes on.
//
// Safety of the inbound data: the run's writes commit as one.
// - Areas are written as the queued messages fill a fixed budget, and at
//   the end. Before the run first writes an area it records the area's file
//   sizes in the run journal (core/RunJournal.h) and keeps the area locked
//   until the run ends.
// - After the last area: the configuration is saved (once per run, however
//   many areas the run created), the duplicate ring is written beside its
//   database, and the journal gets the packets' moves and "commit". Only
//   then are the ring put in place and the packets moved to the backup
//   directory; the journal goes last.
// - Any failure before the commit (an area, the journal, the ring or the
//   configuration cannot be written) undoes the run: the areas go back to
//   their sizes before it, the ring forgets its keys, every packet stays in
//   the inbound directory for the next run, and the run reports what failed
//   (Counters().WriteFailed, Counters().Error). A process killed at any
//   moment is undone or finished the same way by the next run's start.
// - a damaged packet (or, with WarnPacket, one whose size does not fit its
//   messages, or one holding a message too large to store) has its other
//   messages placed and is renamed to "*.bad" in the inbound directory with
//   the commit, so it is neither tossed twice nor lost;
// - a bundle is unpacked only into the room the disk has for this run: what
//   is free beyond the inbound's reserve, less what the packets already
//   waiting will take in the areas; its own files count twice (as packets,
//   then as messages in the areas). One that does not fit that room keeps
//   its name, gives nothing and waits for a run with room (BundlesWaiting,
//   one log line, no error box). A bundle that no run can fit is put aside
//   as "*.toobig" at once (its files that came out whole are tossed): a
//   file of it larger than a packet may be, or sizes that need more than the
//   free space and all that tossing frees (the inbound's packets and other
//   bundles) together; the log says how to try it again once there is room;
// - a run that is undone puts no bundle aside: each one it put aside (or
//   moved to the backup) gets its name back and its files leave the inbound;
// - a bundle or packet is put aside under the first free name; when no name
//   can be had it keeps its own and the run fails;
// - a bundle whose unpacking fails on a write of our own (disk full, the
//   file-size limit, an I/O error) keeps its name, what it gave is dropped
//   and the run fails as a failed area write does. Refused or corrupt entries put a
//   bundle aside as "*.bad" (its sound files are tossed), also when none of
//   its entries is sound, with one error box for the bundle however many
//   entries failed (the log keeps every line). What is not the bundle's
//   fault keeps it under its name for the next run, gives nothing and makes
//   the run fall short (BundlesLeft): a missing unpacker, an entry packed
//   with a method our extractors do not read (the log names the entry and
//   its method), a RAR reader stopped from outside, and any other exception
//   out of the unpacker (a thread that cannot be started, memory: our
//   failure, its reason logged);
// - a packet that stays in the inbound under its name (it could not be
//   read, or not moved after the commit) makes the run fall short
//   (PacketsLeft);
// - a file in the inbound under a name the tosser keeps for itself
//   ("Backup", ".Unpack", ...) that did not come through the mailer is
//   renamed as the mailer renames such a received file ("Backup.0001");
// - a run aborted inside a packet writes the packet's unread rest as a new
//   packet into the inbound directory;
// - BAD and DUPES are created when missing, so no message is dropped unless
//   the settings say so (Dupes 1) or an import filter kills it;
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/DateTimeUtil.h"
#include "core/Job.h"

namespace velmaris {

class TArea;
class TConfigStore;
class TDupeChecker;
class TMail;
class TMailPacket;
class TNetLink;
class TPckList;
class TRunJournal;
class SettingsValues;

// What the import window shows. Every call arrives on the main thread; the
// defaults show nothing. The window implements it; tests record it.
class TImportView {
 public:
  virtual ~TImportView() = default;
  // A run begins: the personal-mail list and the log are cleared, the close
  // button hidden and the abort button shown, the time shows
  // "Initializing...", the three counters "None", and the window is shown.
  virtual void RunStarted() {}
  // The caption ("Import - Processing new mail", "Import - Done", ...).
  virtual void SetCaption(const std::string& caption) { (void)caption; }
  // One time-stamped line of the log.
  virtual void AddLogLine(const std::string& line) { (void)line; }
  // One line of the personal-mail list.
  virtual void AddToSysop(const std::string& line) { (void)line; }
  // The labels: packets read (CntPkts), messages read (Tossed), messages
  // written (Written), elapsed time "hh:mm:ss" (TossTime).
  virtual void SetPackets(int count) { (void)count; }
  virtual void SetTossed(int count) { (void)count; }
  virtual void SetWritten(int count) { (void)count; }
  virtual void SetTossTime(const std::string& text) { (void)text; }
  // The run has ended: the close button is shown, the abort button hidden.
  virtual void RunFinished() {}
};

// The import filters as the tosser uses them. The default applies no filter.
class TImportFilters {
 public:
  struct Outcome {
    bool Kill = false;    // the message is not placed
    bool Copied = false;  // a matching filter copied it into another area
    bool Failed = false;  // a filter could not write its file (it logged why)
  };
  virtual ~TImportFilters() = default;
  // Before a run: every filter's match count back to 0.
  virtual void ResetMatches() {}
  // Before a run: where the filters write why they could not act.
  virtual void SetLog(std::function<void(const std::string&)> log) { (void)log; }
  // Runs every filter, in list order, on a message about to be queued in the
  // area (on the tosser's thread). A filter may change the mail.
  virtual Outcome Apply(TMail& mail, const std::string& areaName) {
    (void)mail;
    (void)areaName;
    return {};
  }
  // The filters that matched in this run, with their match counts.
  virtual std::vector<std::pair<std::string, int>> MatchCounts() const { return {}; }
};

// The registration of an uplink robot's area list. The default takes none.
class TAreaListReceiver {
 public:
  virtual ~TAreaListReceiver() = default;
  // A netmail from the uplink's AreaFix (fileScan false) or FileScan robot
  // whose subject is one of its area-list titles (on the tosser's thread).
  // The number of new areas registered, or -1 when the mail was not taken.
  virtual int RegisterAreaListMail(const TMail& mail, TNetLink& uplink, bool fileScan) {
    (void)mail;
    (void)uplink;
    (void)fileScan;
    return -1;
  }
};

// What a run needs. Store is required; the others default to the
// process-wide objects (packer list, duplicate checker) or to none.
struct TTosserSetup {
  TConfigStore* Store = nullptr;
  TPckList* Packers = nullptr;    // null: GetPackerList()
  TDupeChecker* Dupes = nullptr;  // null: the process-wide checker (opened when needed)
  TImportView* View = nullptr;
  TImportFilters* Filters = nullptr;
  TAreaListReceiver* AreaLists = nullptr;
  // The free space of a directory; null: platform::FreeSpace.
  std::function<uint64_t(const std::string& dir)> FreeSpace;
  // How the integrated extractors start their threads; empty: std::thread.
  TThreadStarter StartThread;
};

// The counters of one run.
struct TTossCounters {
  int Packets = 0;     // packets read
  int Read = 0;        // messages read
  int Personal = 0;    // messages to one of the user's names
  int Duplicates = 0;  // found in the duplicate ring
  int Bad = 0;         // placed into BAD
  int FilterDuplicated = 0;
  int FilterMoved = 0;
  int FilterDeleted = 0;
  int Written = 0;                   // messages written into all areas
  int AreasCreated = 0;              // areas the run created (echo areas, BAD, DUPES)
  int DamagedPackets = 0;            // renamed to "*.bad"
  int BundlesLeft = 0;               // bundles that stay in the inbound unread
  int PacketsLeft = 0;               // packets that stay in the inbound (not read, not moved)
  int PacketsTooLarge = 0;           // larger than a packet may be: put aside as "*.bad"
  int BundlesTooLarge = 0;           // can never fit: put aside as "*.toobig"
  int BundlesWaiting = 0;            // do not fit this run's room: they stay in the inbound
  // Each of them: its name and the bytes it needs beyond the disk's reserve
  // (AtLeast: more than that).
  struct TWaitingBundle {
    std::string Name;
    uint64_t Needs = 0;
    bool AtLeast = false;
  };
  std::vector<TWaitingBundle> Waiting;
  int PacketsWithLargeMessages = 0;  // a message too large to store: put aside as "*.bad"
  int NamesMovedAside = 0;           // files under the tosser's own names, renamed
  int FilterFailures = 0;            // messages a filter could not write its file for
  bool Aborted = false;
  bool WriteFailed = false;  // the run's writes failed and were undone
  bool Failed = false;       // the run stopped on an error before the packets
  std::string Error;         // what failed, for WriteFailed and Failed
};

// The queued message bytes at which the run writes its areas before it goes
// on reading packets.
inline constexpr size_t kTossQueueBudget = 24u << 20;
// Log and report texts.
inline constexpr const char* kTosserReportFrom = "Integrated Tosser";
inline constexpr const char* kTosserReportSubject = "Import Log";
inline constexpr const char* kTosserReportTitle = "The Velmaris 95 Import Process";
// The bundle masks, Monday first.
inline constexpr const char* kBundleMasks[] = {"*.mo?", "*.tu?", "*.we?", "*.th?",
                                               "*.fr?", "*.sa?", "*.su?"};

// Room the disk of the inbound directory keeps free: the mailer receives
// no file into it and the tosser unpacks no bundle into it.
inline constexpr uint64_t kInboundDiskReserve = 1 << 20;
// What a bundle too large to unpack is renamed to, in place of its
// extension ("x.mo0" gives "x.toobig").
inline constexpr const char* kTooLargeBundleExt = ".toobig";

// Whether a call has left mail in the inbound directory that no toss has
// taken up yet: the mailer sets it for every file it receives; every toss
// clears it when it starts.
bool InboundMailPending();
void SetInboundMailPending(bool pending);

// The duplicate key of a packed message: the CRC-32 of its first 190 bytes
// (or of all of it when shorter).
uint32_t DupeKeyOf(const std::string& packedMessage);

// The name a damaged packet gets: its extension replaced by ".bad" ("x.pkt"
// gives "x.bad", "x" gives "x.bad").
std::string DamagedPacketName(const std::string& name);

// What a caller that reports every failure (the batch driver's exit status)
// says about a finished run: "" when it stored everything it found, else why
// not. A failed run begins with "the import failed and stored nothing: ".
std::string TossShortfall(const TTossCounters& counters);

// The names the tosser uses for itself in the inbound directory, where the
// start directory may be too: its folders ("Backup", ".Unpack*"), the run
// journals, the start directory's lock and the mailer's "*.Transmission"
// files. A received file never takes one of them.
bool IsTosserOwnName(std::string_view name);

// The name a received file takes when name is taken, the n-th try (from 1):
// "BASE.NNNN.EXT" (see RenameToFreeInboundName). With beside, the name
// leaves room for that much more behind it (a description file's ".Txt").
std::string NumberedName(const std::string& name, unsigned n, std::string_view beside = {});

// Renames the file `from` into dir under name or, when that is taken (in any
// case) or is one of the tosser's own names, under the first free of
// "BASE.0001.EXT", "BASE.0002.EXT", ... (four hexadecimal digits; where that
// would still be an own name, the number goes last and a leading "." becomes
// "_"). Never replaces anything. passedOver hears of every name passed over
// and whether it was an own name. The name it got; "" when it could not be
// renamed.
std::string RenameToFreeInboundName(
    const std::string& from, const std::string& dir, const std::string& name,
    const std::function<void(const std::string& name, bool own)>& passedOver = {});

class TTosser : public TJob {
 public:
  explicit TTosser(TTosserSetup setup);
  // Waits for a started run to end (the main thread must not be the one
  // waiting while the run still needs it: wait with RunUntil first).
  ~TTosser() override;
  TTosser(const TTosser&) = delete;
  TTosser& operator=(const TTosser&) = delete;

  // Starts the run on a new thread. False (nothing started) when a run of
  // any tosser is going on in the process: one run at a time.
  bool Start();
  // The run on the calling thread; false when another run is going on.
  bool Execute();
  // The worker has ended (or was never started).
  bool Finished() const { return Idle(); }
  // Asks the run to stop; it stops between messages and still writes what it
  // has queued and posts its log.
  void Abort() { RequestStop(); }
  bool AbortRequested() const { return StopRequested(); }
  // Whether any tosser runs now.
  static bool Running();

  // After the run: the log lines (each with its time stamp) and the counters.
  std::vector<std::string> Log() const;
  const TTossCounters& Counters() const { return counters_; }
  const std::string& BackupDir() const { return backupDir_; }

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;
  void AfterRun() override;
  void Begin();
  void ProcessTicFiles();
  void ProcessTic(const std::string& name);
  void ClearBackups();
  void UnpackBundles();
  enum class BundleFate { Whole, Damaged, TooLarge };
  void MoveOwnNamesAside();
  struct BundleSpace;
  BundleSpace SpaceFor(const std::string& bundle);
  bool WaitsForRoom(const std::string& name, uint64_t need, bool atLeast,
                    const BundleSpace& space);
  void TellRetry(const std::string& name);
  void ShowBundleBox(const std::string& name, const std::vector<std::string>& errors,
                     const std::vector<std::string>& boxes);
  void LeavePacket(const std::string& name);
  void UnpackBundle(const std::string& name);
  void FinishBundle(const std::string& name, const std::string& ready, BundleFate fate);
  void GiveBundlesBack();
  void TossPackets();
  // False when the packet stays in the inbound directory under its name.
  bool TossPacket(const std::string& name);
  void PlaceMessage(TMailPacket& packet, const std::string& image);
  TArea* FindTarget(const std::string& tag, bool raw);
  // An area an earlier version made from the tag's bytes as the packet
  // carried them (its name the OEM form, its Cyrillic letters in either case).
  TArea* FindEarlierArea(const std::string& tag, bool raw);
  TArea* CreateEchoArea(const std::string& tag, bool raw, TNetLink* uplink);
  TArea* SystemArea(const char* name, uint8_t type);
  TNetLink* UplinkForPacket(uint16_t net, uint16_t node) const;
  void CheckAreaList(TMail& mail, TArea& target);
  void WriteAreas();
  void WriteQueues();
  void JournalAreas(const std::vector<TArea*>& areas);
  bool WriteArea(TArea& area);
  bool LockForRun(TArea& area);
  void Fail(const std::string& what);
  void Commit();
  void RollBack();
  void ReleaseAreas();
  void Finish();

  void LogLine(const std::string& text);
  void Status(const std::string& text);  // "Import - " + text
  void Caption(const std::string& caption);
  void ShowCounters();
  std::string Elapsed() const;
  bool Aborted() const { return StopRequested(); }

  TTosserSetup setup_;
  std::shared_ptr<const SettingsValues> values_;
  TPckList* packers_ = nullptr;
  TDupeChecker* dupes_ = nullptr;
  std::string inbound_;
  std::string backupDir_;
  std::string journalPath_;
  TDateTime start_ = 0;

  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
  TTossCounters counters_;

  // The areas by name upper-cased in the ANSI page, and the areas at the
  // start by name upper-cased in the OEM page (the first in list order wins),
  // the uplinks, and what the run did.
  std::map<std::string, TArea*> areasByName_;
  std::map<std::string, TArea*> areasByOemName_;
  std::vector<TNetLink*> uplinks_;
  std::set<std::string> seenPackets_;        // inbound names handled this run
  std::vector<std::string> tossedPackets_;   // to move to the backup directory
  std::vector<std::string> damagedPackets_;  // to rename to "*.bad" with the commit
  std::set<std::string> asideNames_;         // names chosen for them in this run
  // A bundle that left the inbound in this run: its fate, where it went and
  // the inbound names its files got.
  struct GoneBundle {
    std::string Name, Fate, Path;
    std::vector<std::string> Files;
  };
  std::vector<GoneBundle> goneBundles_;
  std::unique_ptr<TRunJournal> journal_;
  std::vector<TArea*> heldAreas_;    // locked by the run until its end
  std::set<TArea*> journaled_;       // recorded in the journal
  // What each journaled area's record said it held before the run, put
  // back with the run's files when the run is undone.
  std::map<TArea*, int32_t> heldBefore_;
  // Their import marks before the run, put back when it is undone: a mark
  // the undone run set would tell of mail that is not there.
  std::map<TArea*, int32_t> importBefore_;
  // What the message base folder lacks (TConfigStore::MessageBaseLook), for the log.
  std::string baseGone_;
  std::set<TArea*> marked_;          // import marks set in this run
  std::vector<TArea*> queuedAreas_;  // areas with queued messages
  std::map<TArea*, int> writtenPerArea_;
  size_t queuedBytes_ = 0;
  bool changesOpen_ = false;  // the configuration's change bracket
  uint16_t packetOrigNet_ = 0, packetOrigNode_ = 0;
};

}  // namespace velmaris

#include "processing/Tosser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <set>

#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "archive/arxBase.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Crc.h"
#include "core/Mail.h"
#include "core/MailLock.h"
#include "core/MessageBase.h"
#include "core/NetLink.h"
#include "core/Report.h"
#include "core/RunJournal.h"
#include "core/SerialCounter.h"
#include "core/Settings.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"
#include "platform/WireName.h"
#include "processing/AreaManager.h"
#include "processing/DupeChecker.h"
#include "processing/GlobalDupeChecker.h"
#include "processing/MailPacket.h"
#include "processing/OutPacket.h"
#include "processing/TicFile.h"

namespace velmaris {

namespace {

std::atomic<bool> gRunning{false};

constexpr uint16_t kTossedFlags = MsgFlag::New | MsgFlag::Unread;  // 0x2004
constexpr size_t kDupeKeyBytes = 190;
constexpr const char* kTempBundleName = "Import.Me";
// The folder of the inbound directory a bundle is unpacked in before its
// files join the inbound directory.
constexpr const char* kUnpackFolder = ".Unpack/";
// Unpacked bundles whose fate is decided: one folder "<bundle>.ok" or
// "<bundle>.bad" each, holding the files still to join the inbound.
constexpr const char* kUnpackedFolder = ".Unpacked/";
// The folder of the inbound directory that tossed packets are moved to.
constexpr const char* kBackupFolder = "Backup";

using platform::EqualNoCase;

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string Utf8(const std::string& ansi) {
  return platform::AnsiToUtf8(ansi);
}

// Moves a file into dir under its name, or under name + "." + a number when
// that name is taken (as many numbers as it takes). The name it got, or ""
// when it could not be moved.
std::string MoveUnique(const std::string& from, const std::string& dir, const std::string& name) {
  for (uint64_t n = 0;; ++n) {
    const std::string target = n == 0 ? name : name + "." + std::to_string(n);
    try {
      if (platform::RenameNoReplace(from, dir + target)) return target;
    } catch (const platform::EFile&) {
      return {};
    }
  }
}

// The name with its extension replaced by ext ("x.pkt", ".bad" gives
// "x.bad"; "x" gives "x.bad").
std::string AsideName(const std::string& name, const std::string& ext) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return name + ext;
  return name.substr(0, dot) + ext;
}

// The name a file is put aside under (its extension replaced by ext, see
// AsideName, numbered "-1", "-2", ... when taken) that is free in its
// directory and not among the names the run has chosen already.
std::string FreeAsideName(const std::string& dir, const std::string& name, const std::string& ext,
                          const std::set<std::string>& chosen) {
  const std::string bad = AsideName(name, ext);
  const std::string stem = bad.substr(0, bad.size() - ext.size());
  for (uint64_t n = 0;; ++n) {
    const std::string target = n == 0 ? bad : stem + "-" + std::to_string(n) + ext;
    if (!chosen.count(target) && !platform::FileExists(dir + target) &&
        !platform::DirExists(dir + target))
      return target;
  }
}

// Renames a file inside its directory to the first free name it is put
// aside under. The new name, or "" when no name could be had.
std::string RenameAside(const std::string& dir, const std::string& name, const std::string& ext,
                        std::set<std::string>& chosen) {
  for (;;) {
    const std::string target = FreeAsideName(dir, name, ext, chosen);
    chosen.insert(target);
    try {
      if (platform::RenameNoReplace(dir + name, dir + target)) return target;
    } catch (const platform::EFile&) {
      return {};
    }
  }
}

// The key of an area name or a tag, as the store finds an area: upper-cased
// with the letters of the ANSI page the name is stored in (Cyrillic letters
// as Latin ones); a tag kept as raw bytes by its own letters. Whether it is
// raw is the area's (TArea::RawTag) or the arriving tag's judgement.
std::string AreaKey(std::string_view name, bool raw) { return platform::TagKey(name, raw); }

// An empty folder at path (a leftover of an interrupted run is cleared; its
// bundle is still in the inbound directory). False when it cannot be made.
bool FreshFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return std::filesystem::create_directories(path, ec) && !ec;
}

// Moves the file into the inbound directory under its own name when no file
// of that name (in any case) is there, else under a fresh serial name with
// the same extension: nothing there is ever replaced. The name it got, or ""
// when it could not be moved.
std::string MoveIntoInbound(const std::string& from, const std::string& inbound,
                            const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 0; n < 1000; ++n) {
    const std::string target = n == 0 ? name : NextSerialHex(FileSerial()) + ext;
    if (platform::FindNoCase(inbound, target)) continue;
    try {
      if (platform::RenameNoReplace(from, inbound + target)) return target;
    } catch (const platform::EFile&) {
      return {};
    }
  }
  return {};
}

}  // namespace

// "BASE.NNNN.EXT" (four hexadecimal digits); where that would still be one
// of the tosser's names (an extension ".Transmission", a leading ".Unpack"),
// the number goes last and a leading "." becomes "_". A name at the file
// system's bound gives the end of its base to the number, cut at a whole
// letter.
std::string NumberedName(const std::string& name, unsigned n, std::string_view beside) {
  char number[8];
  std::snprintf(number, sizeof number, ".%04X", n);
  // The room for beside is kept as a cut keeps an extension.
  const auto fit = [beside](const std::string& head, const std::string& mark,
                            const std::string& tail) {
    const std::string fitted = platform::FitFileName(head, mark, tail + std::string(beside));
    if (fitted.size() > beside.size() && fitted.ends_with(beside))
      return fitted.substr(0, fitted.size() - beside.size());
    return platform::FitFileName(head, mark, tail);  // an extension too long to leave room
  };
  const size_t dot = name.rfind('.');
  std::string numbered = dot == std::string::npos
                             ? fit(name, number, "")
                             : fit(name.substr(0, dot), number, name.substr(dot));
  if (!IsTosserOwnName(numbered)) return numbered;
  return fit(name[0] == '.' ? "_" + name.substr(1) : name, number, "");
}

namespace {

// Reasons an integrated extractor gives that lie with our side (the output,
// a missing library, a RAR reader stopped from outside), not with the
// archive.
bool OwnSideError(int code) {
  return code == ecUnrarNotFound || code == ecOpenFile || code == ecCreateDir ||
         code == ecWriteFile || code == ecCloseFile || code == ecReaderStopped;
}

// The waiting bundles as a summary names them, at most kNamedWaiting: "a.mo0,
// b.tu1 and 3 more", or with needs, "a.mo0 2048, b.tu1 more than 512 and 3 more".
constexpr size_t kNamedWaiting = 10;
std::string WaitingList(const std::vector<TTossCounters::TWaitingBundle>& waiting, bool needs) {
  std::string list;
  const size_t named = std::min(waiting.size(), kNamedWaiting);
  for (size_t i = 0; i < named; ++i) {
    const TTossCounters::TWaitingBundle& w = waiting[i];
    if (i > 0) list += i + 1 == named && named == waiting.size() ? " and " : ", ";
    list += w.Name;
    if (needs) list += std::string(" ") + (w.AtLeast ? "more than " : "") + std::to_string(w.Needs);
  }
  if (named < waiting.size()) list += " and " + std::to_string(waiting.size() - named) + " more";
  return list;
}

}  // namespace

std::string RenameToFreeInboundName(
    const std::string& from, const std::string& dir, const std::string& name,
    const std::function<void(const std::string& name, bool own)>& passedOver) {
  for (unsigned n = 0; n < 0x10000; ++n) {
    const std::string target = n == 0 ? name : NumberedName(name, n);
    if (IsTosserOwnName(target)) {
      if (passedOver) passedOver(target, true);
      continue;
    }
    try {
      if (!platform::FindNoCase(dir, target) &&
          platform::RenameNoReplace(from, platform::JoinPath(dir, target)))
        return target;
    } catch (const platform::EFile&) {
      return {};
    }
    if (passedOver) passedOver(target, false);
  }
  return {};
}

uint32_t DupeKeyOf(const std::string& packedMessage) {
  return Crc32OfBuffer(packedMessage.data(), std::min(packedMessage.size(), kDupeKeyBytes));
}

std::string TossShortfall(const TTossCounters& c) {
  if (c.Failed || c.WriteFailed)
    return "the import failed and stored nothing: " + (c.Error.empty() ? "see the log" : c.Error);
  std::string why;
  auto add = [&why](int count, const char* one, const char* many) {
    if (count <= 0) return;
    if (!why.empty()) why += "; ";
    why += count == 1 ? std::string(one) : std::to_string(count) + many;
  };
  add(c.BundlesLeft, "a bundle could not be unpacked and stays in the inbound",
      " bundles could not be unpacked and stay in the inbound");
  add(c.PacketsLeft, "a packet stays in the inbound (the log says why)",
      " packets stay in the inbound (the log says why)");
  add(c.PacketsTooLarge, "a packet was too large and has been put aside",
      " packets were too large and have been put aside");
  add(c.BundlesTooLarge, "a bundle was too large to unpack and has been put aside",
      " bundles were too large to unpack and have been put aside");
  if (!c.Waiting.empty()) {
    if (!why.empty()) why += "; ";
    if (c.Waiting.size() == 1) {
      const TTossCounters::TWaitingBundle& w = c.Waiting.front();
      why += "bundle " + w.Name + " needs " + (w.AtLeast ? "more than " : "") +
             std::to_string(w.Needs) +
             " bytes free beyond the disk's reserve and stays in the inbound";
    } else {
      why += std::to_string(c.Waiting.size()) +
             " bundles stay in the inbound for lack of room (the bytes each needs free beyond "
             "the disk's reserve: " +
             WaitingList(c.Waiting, true) + ")";
    }
  }
  add(c.PacketsWithLargeMessages,
      "a packet held a message too large to store and has been put aside",
      " packets held messages too large to store and have been put aside");
  add(c.NamesMovedAside, "a file under a name the tosser keeps for itself has been renamed",
      " files under names the tosser keeps for itself have been renamed");
  add(c.FilterFailures, "a filter could not write its file for a message (the log says why)",
      " times a filter could not write its file for a message (the log says why)");
  return why;
}

std::string DamagedPacketName(const std::string& name) { return AsideName(name, ".bad"); }

bool IsTosserOwnName(std::string_view name) {
  for (const char* own :
       {kBackupFolder, kImportJournalName, kExportJournalName, platform::kStartLockName})
    if (EqualNoCase(name, own)) return true;
  return platform::StartsWithNoCase(name, ".Unpack") ||
         platform::EndsWithNoCase(name, ".Transmission");
}

// --- Thread -----------------------------------------------------------------------

TTosser::TTosser(TTosserSetup setup) : setup_(setup) {
  // Without receivers of its own a run hands area lists to the program's managers.
  if (!setup_.AreaLists) setup_.AreaLists = GetAreaListReceiver();
}

TTosser::~TTosser() { Join(); }

bool TTosser::Running() { return gRunning.load(); }

namespace {
std::atomic<bool> gInboundMailPending{false};
}  // namespace

bool InboundMailPending() { return gInboundMailPending.load(); }
void SetInboundMailPending(bool pending) { gInboundMailPending.store(pending); }

bool TTosser::Start() {
  if (!Idle() || gRunning.exchange(true)) return false;
  if (!Launch()) {
    gRunning.store(false);
    return false;
  }
  return true;
}

bool TTosser::Execute() {
  if (gRunning.exchange(true)) return false;
  if (!RunHere()) {
    gRunning.store(false);
    return false;
  }
  return true;
}

void TTosser::AfterRun() {
  // The folder of unpacked bundles goes with the run that made it, however
  // the run ended, unless a bundle's files still wait in it.
  if (!inbound_.empty()) platform::RemoveDirIfEmpty(inbound_ + kUnpackedFolder);
  gRunning.store(false);
}

std::vector<std::string> TTosser::Log() const {
  std::lock_guard guard(logMutex_);
  return log_;
}

// --- Hand-over and reporting ---------------------------------------------------------

void TTosser::LogLine(const std::string& text) {
  const std::string line = StampedLine(std::time(nullptr), "  ", text);
  {
    std::lock_guard guard(logMutex_);
    log_.push_back(line);
  }
  if (setup_.View) OnMain([&] { setup_.View->AddLogLine(line); });
}

void TTosser::Caption(const std::string& caption) {
  if (setup_.View) OnMain([&] { setup_.View->SetCaption(caption); });
}

void TTosser::Status(const std::string& text) { Caption("Import - " + text); }

std::string TTosser::Elapsed() const {
  long seconds = std::lround((Now() - start_) * 86400.0);
  if (seconds < 0) seconds = 0;
  return TwoDigits(static_cast<int>(seconds / 3600)) + ":" +
         TwoDigits(static_cast<int>(seconds / 60 % 60)) + ":" +
         TwoDigits(static_cast<int>(seconds % 60));
}

void TTosser::ShowCounters() {
  if (!setup_.View) return;
  const TTossCounters c = counters_;
  const std::string elapsed = Elapsed();
  OnMain([&] {
    setup_.View->SetPackets(c.Packets);
    setup_.View->SetTossed(c.Read);
    setup_.View->SetWritten(c.Written);
    setup_.View->SetTossTime(elapsed);
  });
}

// --- The run ---------------------------------------------------------------------------

void TTosser::RunJob() {
  Begin();
  MoveOwnNamesAside();
  ForceDirectoryPath(backupDir_);
  if (values_->ProcessTIC()) ProcessTicFiles();
  if (!platform::DirExists(backupDir_)) {
    OnMain([] { platform::GetPrompter().Error("Could not create backup directory !"); });
    Caption("Import - Aborted on error!");
    counters_.Failed = true;
    counters_.Error = "the backup directory " + backupDir_ + " could not be created";
    RollBack();
    if (setup_.View) OnMain([&] { setup_.View->RunFinished(); });
    return;
  }
  Caption("Import - Deleting old backups.");
  ClearBackups();
  LogLine("Starting import");
  // Where the mail is looked at: the import's log and REPORT.
  if (!baseGone_.empty()) LogLine(baseGone_);
  UnpackBundles();
  TossPackets();
  if (Aborted()) {
    counters_.Aborted = true;
    LogLine("Import aborted by user!");
  }
  if (!counters_.WriteFailed) WriteAreas();
  if (!counters_.WriteFailed) Commit();
  if (counters_.WriteFailed) RollBack();
  ReleaseAreas();
  Finish();
}

// An error that stops the run: nothing of it is stored, its areas go.
void TTosser::Failed(const std::string& what) {
  counters_.Failed = true;
  if (counters_.Error.empty()) counters_.Error = what;
  LogLine(std::string("Import stopped by an error: ") + what);
  RollBack();
  ReleaseAreas();
  Caption("Import - Aborted on error!");
  if (setup_.View) OnMain([&] { setup_.View->RunFinished(); });
}

void TTosser::Begin() {
  if (!setup_.Store) throw std::logic_error("the tosser needs a configuration store");
  {
    std::lock_guard guard(logMutex_);
    log_.clear();
  }
  counters_ = {};
  start_ = Now();
  // From here on this run takes up what the calls brought.
  SetInboundMailPending(false);
  seenPackets_.clear();
  tossedPackets_.clear();
  damagedPackets_.clear();
  asideNames_.clear();
  goneBundles_.clear();
  areasByName_.clear();
  areasByOemName_.clear();
  uplinks_.clear();
  heldAreas_.clear();
  journaled_.clear();
  heldBefore_.clear();
  importBefore_.clear();
  marked_.clear();
  queuedAreas_.clear();
  writtenPerArea_.clear();
  queuedBytes_ = 0;

  TConfigStore& store = *setup_.Store;
  values_ = store.Values();
  inbound_ = platform::WithSlash(values_->InboundDir());
  backupDir_ = inbound_ + kBackupFolder + "/";
  packers_ = setup_.Packers ? setup_.Packers : GetPackerList();
  dupes_ = setup_.Dupes;
  std::string dupesRefusal;
  std::vector<std::string> dupesNotes;

  // A run that was cut off is finished or undone before anything else.
  journalPath_ = ImportJournalPath(store);
  journal_ = std::make_unique<TRunJournal>(journalPath_);
  std::vector<std::string> recovered;
  const bool recoveredOk = RecoverImportJournal(journalPath_, &recovered);
  for (const std::string& line : recovered) LogLine(line);
  if (!recoveredOk)
    throw std::runtime_error("the interrupted import recorded in " + journalPath_ +
                             " could not be undone");
  // A message base out of reach (the records say its areas held mail, none
  // of their files is there: an empty mount point) takes no mail: the areas
  // and the duplicate database would start anew there, and mail sent again
  // would be stored twice. The folder is looked at here, not on the main
  // thread: a drive away may keep the look waiting.
  TConfigStore::TBaseRecords records;
  OnMain([&] { records = store.MessageBaseRecords(); });
  const TConfigStore::TBaseLook look = TConfigStore::MessageBaseLook(records);
  baseGone_ = look.Line;
  if (const std::string refusal = TConfigStore::RefusalOf(look); !refusal.empty()) {
    if (setup_.View) OnMain([&] { platform::GetPrompter().Error(platform::AnsiToUtf8(refusal)); });
    throw std::runtime_error(refusal);
  }
  // New areas are saved with the run's commit, once.
  store.BeginChanges();
  changesOpen_ = true;

  // The lists are read on the main thread, where they change.
  OnMain([&] {
    if (setup_.View) {
      setup_.View->RunStarted();
      setup_.View->SetCaption("Import - Processing new mail");
    }
    for (TArea* area : store.Areas().Areas()) {
      if (area->IsSeparator()) continue;
      areasByName_.emplace(area->NameKey(), area);
      areasByOemName_.emplace(platform::UpperText(area->Name, platform::OemCodePage()), area);
    }
    TLinkList& links = store.Uplinks();
    for (int i = 0; i < links.GetCount(); ++i)
      if (TNetLink* link = links.GetItem(i)) uplinks_.push_back(link);
    // The process-wide checker; one that could not be read is read again,
    // so that a database mended since the start is used.
    if (!dupes_) {
      dupes_ = &DupeCheckerForImport(store.MessageBaseDir(), store.StartDirectory());
      dupesRefusal = DupeCheckerRefusal();
      dupesNotes = TakeDupeCheckerNotes();
    }
  });
  for (const std::string& line : dupesNotes) LogLine(line);
  // Keys that are not known are no first start: mail tossed now would be
  // stored again when it comes again. It waits in the inbound.
  if (dupesRefusal.empty() && dupes_->Unreadable())
    dupesRefusal = "the duplicate database " + dupes_->LoadProblem();
  if (!dupesRefusal.empty() && values_->Dupes() != 2)
    throw std::runtime_error(dupesRefusal +
                             "; nothing is imported until it can be read, the mail stays in the "
                             "inbound");
  if (setup_.Filters) {
    setup_.Filters->ResetMatches();
    setup_.Filters->SetLog([this](const std::string& line) { LogLine(line); });
  }
}

// --- TIC files ----------------------------------------------------------------------

void TTosser::ProcessTicFiles() {
  auto tics = platform::ScanDir(inbound_, "*.TIC");
  if (tics.empty()) return;
  Caption("Import - Processing TIC files.");
  for (const auto& tic : tics) {
    if (Aborted()) break;
    ProcessTic(tic.name);
  }
  Caption("Import - TIC files processed.");
}

void TTosser::ProcessTic(const std::string& name) {
  const TTicOutcome outcome = ProcessTicFile(inbound_, name, values_->FileBaseDir(), packers_);
  for (const std::string& line : outcome.LogLines) LogLine(line);
}

// --- Backups ------------------------------------------------------------------------

void TTosser::ClearBackups() {
  // Files only: the folder of kept backups stays.
  for (const auto& entry : platform::ScanDir(backupDir_, "*", true, false))
    ::unlink((backupDir_ + entry.name).c_str());
}

// --- The tosser's own names -------------------------------------------------------------

// A file (not a folder) under one of the tosser's own names came into the
// inbound directory some other way than through the mailer (another
// mailer, a copy by hand): it would stand where the tosser makes its
// folders, so it is renamed as the mailer renames such a file. The
// mailer's partial files stay, and so do the journals and the lock when the
// inbound directory is the start directory or the message base folder.
void TTosser::MoveOwnNamesAside() {
  struct stat in {};
  const auto isInbound = [&in](const std::string& dir) {
    struct stat other {};
    return ::stat(dir.c_str(), &other) == 0 && in.st_dev == other.st_dev &&
           in.st_ino == other.st_ino;
  };
  const bool inStart =
      ::stat(inbound_.c_str(), &in) == 0 &&
      (isInbound(setup_.Store->StartDirectory()) || isInbound(setup_.Store->MessageBaseDir()));
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(inbound_, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsTosserOwnName(name) || platform::EndsWithNoCase(name, ".Transmission")) continue;
    struct stat st {};
    if (::stat((inbound_ + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (inStart && (name == kImportJournalName || name == kExportJournalName ||
                    name == platform::kStartLockName))
      continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string got = RenameToFreeInboundName(inbound_ + name, inbound_, name);
    if (got.empty()) {
      LogLine("File " + platform::LogName(name) +
              " has a name the tosser keeps for itself and could not be renamed !");
      continue;
    }
    ++counters_.NamesMovedAside;
    LogLine("File " + platform::LogName(name) +
            " has a name the tosser keeps for itself: it has been renamed to " +
            platform::LogName(got) + " .");
  }
}

// --- Bundles ------------------------------------------------------------------------

void TTosser::UnpackBundles() {
  // Bundles a cut-off run had unpacked are finished first: unpacking them
  // again would toss their files twice.
  const std::string unpacked = inbound_ + kUnpackedFolder;
  for (const auto& entry : platform::ScanDir(unpacked, "*", false, true)) {
    const size_t dot = entry.name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) continue;
    const std::string fate = entry.name.substr(dot + 1);
    if (fate != "ok" && fate != "bad" && fate != "toobig") continue;
    FinishBundle(entry.name.substr(0, dot), unpacked + entry.name + "/",
                 fate == "ok"    ? BundleFate::Whole
                 : fate == "bad" ? BundleFate::Damaged
                                 : BundleFate::TooLarge);
  }
  for (const char* mask : kBundleMasks) {
    if (Aborted() || counters_.WriteFailed) break;
    for (const auto& entry : platform::ScanDir(inbound_, mask)) {
      if (Aborted() || counters_.WriteFailed) break;
      UnpackBundle(entry.name);
    }
  }
}

// The disk of the inbound as one bundle's unpacking sees it, in bytes.
struct TTosser::BundleSpace {
  uint64_t Free = 0;     // free on the disk
  uint64_t Packets = 0;  // the packets waiting in the inbound
  // What tossing frees: the packets and the other bundles in the inbound
  // and the bundles this run moved to the backup directory.
  uint64_t Held = 0;
  // The room of this run: free beyond the reserve, less what the waiting
  // packets take when their messages are written into the areas.
  uint64_t Room() const {
    const uint64_t keep = kInboundDiskReserve + Packets;
    return Free > keep ? Free - keep : 0;
  }
  // The most room a run can ever have unless space is freed elsewhere: free
  // beyond the reserve once all the inbound holds were tossed.
  uint64_t Most() const {
    const uint64_t all = Free + Held;
    return all > kInboundDiskReserve ? all - kInboundDiskReserve : 0;
  }
};

TTosser::BundleSpace TTosser::SpaceFor(const std::string& bundle) {
  BundleSpace space;
  try {
    space.Free = setup_.FreeSpace ? setup_.FreeSpace(inbound_) : platform::FreeSpace(inbound_);
  } catch (const platform::EFile&) {
  }
  for (const auto& entry : platform::ScanDir(inbound_, "*.pk?")) space.Packets += entry.size;
  space.Held = space.Packets;
  for (const char* mask : kBundleMasks)
    for (const auto& entry : platform::ScanDir(inbound_, mask))
      if (entry.name != bundle) space.Held += entry.size;
  for (const auto& entry : platform::ScanDir(backupDir_, "*", true, false))
    space.Held += entry.size;
  return space;
}

void TTosser::UnpackBundle(const std::string& name) {
  const std::string path = inbound_ + name;
  TPacker* packer = packers_ ? packers_->FindPackerForFile(path) : nullptr;
  if (!packer) {
    LogLine("No unpacker for bundle " + platform::LogName(name) + "!");
    ++counters_.BundlesLeft;
    return;
  }
  // Its files take the run's room twice: as packets, then as messages in
  // the areas.
  const BundleSpace space = SpaceFor(name);
  const uint64_t room = space.Room();
  const uint64_t allowed = room / 2;
  if (room == 0 && packer->IntegratedKind() < 0) {
    // An unpacker of its own knows no limit: it is not started at all. The
    // bundle needs at least its own size twice.
    struct stat st {};
    const uint64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    if (WaitsForRoom(name, 2 * size, true, space)) return;
    FinishBundle(name, "", BundleFate::TooLarge);
    TellRetry(name);
    return;
  }
  // The bundle is unpacked in a folder of its own (which also holds the copy
  // an external unpacker gets); its files then join the inbound directory
  // without replacing anything there.
  const std::string work = inbound_ + kUnpackFolder;
  const std::string outDir = work + "out/";
  const std::string temp = work + kTempBundleName;
  const bool copyFirst = (packer->GetLongNameFlags() & 4u) == 0;
  std::string archive = path;
  bool ok = FreshFolder(work) && FreshFolder(outDir);
  if (ok && copyFirst) {
    try {
      platform::WriteFileAtomic(temp, platform::ReadFile(path));
      archive = temp;
    } catch (const platform::EFile&) {
      LogLine("Bundle " + platform::LogName(name) + " could not be copied for decompression !");
      ++counters_.BundlesLeft;
      std::error_code ec;
      std::filesystem::remove_all(work, ec);
      return;
    }
  }
  Status("Unpacking bundle " + name + " (" + packer->GetUnPack() + ") ...");
  TUnpackNotes notes;
  notes.MaxEntrySize = kMaxPacketFileSize;
  notes.MaxTotalSize = std::max<uint64_t>(allowed, 1);  // 0 would be no limit
  // A bundle that waits for room is no error to show; the boxes of any
  // other failure come once its fate is decided.
  notes.HoldErrorBoxes = true;
  notes.StartThread = setup_.StartThread;
  // Whatever else leaves the unpacker is a failure of ours (a thread that
  // cannot start, memory), never the bundle's.
  std::string ownFailure;
  if (ok) {
    OnMain([&] {
      try {
        ok = packer->Unpack(archive, outDir, true, &notes);
      } catch (const E_RAISE& e) {
        ok = false;
        notes.LastError = e.Code();
        notes.Errors.push_back(platform::LogName(platform::DiskName(platform::EscapeNameControls(
                                   e.FileName().empty() ? archive : e.FileName()))) +
                               ": " + e.what());
      } catch (const std::exception& e) {
        ok = false;
        ownFailure = *e.what() ? e.what() : "an unknown error";
      } catch (...) {
        ok = false;
        ownFailure = "an unknown error";
      }
    });
  }
  if (!ownFailure.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    LogLine("Bundle " + platform::LogName(name) +
            " could not be unpacked: " + platform::LogName(platform::EscapeNameControls(ownFailure)) +
            "; the failure is ours, not the bundle's, and it stays in Inbound .");
    ++counters_.BundlesLeft;
    return;
  }
  bool lacksRoom = false;
  if (!ok && notes.SizeLimitHit && !notes.EntryLimitHit && notes.OutputFailure == 0) {
    // Twice what it declares; when it gives more than that, more than twice
    // what this run had.
    const bool lies = notes.DeclaredSize <= allowed;
    const uint64_t need = 2 * (lies ? allowed + 1 : notes.DeclaredSize);
    if (WaitsForRoom(name, need, lies, space)) {
      std::error_code ec;
      std::filesystem::remove_all(work, ec);
      return;
    }
    lacksRoom = true;
  }
  // The extractor names the archive itself by its path (in the log's ANSI
  // page, as it makes its lines): the log names the bundle as its other
  // lines do.
  const std::string archiveShown =
      platform::LogName(platform::DiskName(platform::EscapeNameControls(archive))) + ": ";
  for (const std::string& note : notes.Notes) LogLine("Bundle " + platform::LogName(name) + ": " + note);
  std::vector<std::string> errors;
  for (const std::string& error : notes.Errors) {
    errors.push_back(error.rfind(archiveShown, 0) == 0 ? error.substr(archiveShown.size()) : error);
    LogLine("Bundle " + platform::LogName(name) + ": " + errors.back());
  }
  if (!ok && notes.OutputFailure != 0) {
    // Our own disk failed, not the bundle: it keeps its name, nothing it
    // gave is kept, and the run stores nothing until there is room.
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    Fail("Bundle " + platform::LogName(name) + " could not be unpacked: " +
         std::strerror(notes.OutputFailure) + "; it stays in Inbound .");
    ShowBundleBox(name, errors, notes.HeldBoxes);
    return;
  }
  if (!ok && (notes.LastError == ecUnsupportedMethod || !notes.UnsupportedMethod.empty())) {
    // An entry packed with a method our extractors do not read: our limit,
    // not damage. The bundle stays as one without an unpacker does, and
    // nothing it gave is kept (the next run would give it again).
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    LogLine("Bundle " + platform::LogName(name) + " could not be unpacked: it holds an entry packed with a method " +
            "we do not read (" +
            (!notes.UnsupportedMethod.empty() ? notes.UnsupportedMethod
             : errors.empty()                 ? std::string("see above")
                                              : errors.back()) +
            "); it stays in Inbound .");
    ++counters_.BundlesLeft;
    return;
  }
  if (!ok && notes.LastError == ecReaderStopped) {
    // The reader was ended from outside (the out-of-memory killer, a
    // signal) or stopped: the bundle may be sound. It keeps its name for the
    // next run, nothing it gave is kept, and the run says it failed.
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
    LogLine("Bundle " + platform::LogName(name) +
            " could not be unpacked: our RAR reader was stopped before it "
            "finished, not by the bundle; it stays in Inbound .");
    ++counters_.BundlesLeft;
    return;
  }
  if (!ok && notes.EntryLimitHit)
    LogLine("Bundle " + platform::LogName(name) + " holds a file larger than the " +
            std::to_string(kMaxPacketFileSize >> 20) + " MB a packet may have.");
  const BundleFate fate = ok                   ? BundleFate::Whole
                          : notes.SizeLimitHit ? BundleFate::TooLarge
                                               : BundleFate::Damaged;
  // An integrated extractor tells whether the bundle is at fault (damaged
  // or lying headers, checksums that fail); an external unpacker that fails
  // tells nothing, and a missing library is no fault of the bundle.
  const bool integrated = packer->IntegratedKind() >= 0;
  const bool bundleAtFault =
      !ok &&
      (notes.SizeLimitHit || (integrated && notes.LastError > 0 && !OwnSideError(notes.LastError)));
  int found = 0;
  for (const auto& entry : platform::ScanDir(outDir)) {
    struct stat st {};
    if (::lstat((outDir + entry.name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) ++found;
  }
  // Its fate is decided by one rename of the folder, before any file joins
  // the inbound: a run cut off after it finishes the same steps instead of
  // unpacking the bundle again.
  std::string ready;
  if (found > 0) {
    const char* folderFate = fate == BundleFate::Whole     ? ".ok"
                             : fate == BundleFate::Damaged ? ".bad"
                                                           : ".toobig";
    ready = inbound_ + kUnpackedFolder + name + folderFate + "/";
    std::error_code ec;
    std::filesystem::create_directories(inbound_ + kUnpackedFolder, ec);
    std::filesystem::remove_all(ready, ec);
    if (::rename(outDir.c_str(), ready.c_str()) != 0) ready.clear();
  }
  // A bundle that gave nothing is decided by itself: an empty archive by an
  // integrated extractor, or one at fault, leaves the inbound; otherwise (an
  // external unpacker may have put its files elsewhere) it stays for the
  // next run. So does a bundle whose files cannot be handed on (the folder
  // for them cannot be made).
  const bool decided = found > 0 ? !ready.empty() : (ok && integrated) || bundleAtFault;
  if (!ok || !decided) LogLine("Bundle " + platform::LogName(name) + " could not be unpacked !");
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  if (ec || (copyFirst && platform::FileExists(temp)))
    LogLine("WARNING: Could not delete temporary file !");
  if (decided)
    FinishBundle(name, ready, fate);
  else
    ++counters_.BundlesLeft;
  if (decided && lacksRoom) TellRetry(name);
  ShowBundleBox(name, errors, notes.HeldBoxes);
}

// A bundle that needs more room than this run has waits whole, under its
// name, for a run with room, as long as a run can ever have that room: one
// that needs more than the free space and all that tossing frees can fit
// only once space is freed elsewhere, and is put aside at once (false).
bool TTosser::WaitsForRoom(const std::string& name, uint64_t need, bool atLeast,
                           const BundleSpace& space) {
  const std::string needs = "Bundle " + platform::LogName(name) + " needs " + (atLeast ? "more than " : "") +
                            std::to_string(need) +
                            " bytes free beyond the disk's reserve for its files and their messages";
  if (need > space.Most()) {
    LogLine(needs + "; the disk has " + std::to_string(space.Most()) +
            " even with everything in Inbound tossed.");
    return false;
  }
  ++counters_.BundlesWaiting;
  counters_.Waiting.push_back({name, need, atLeast});
  LogLine(needs + "; this run has " + std::to_string(space.Room()) + ": it stays in Inbound .");
  return true;
}

// After a bundle was put aside for want of room: how to toss it once there
// is room.
void TTosser::TellRetry(const std::string& name) {
  if (goneBundles_.empty() || goneBundles_.back().Name != name) return;
  LogLine("Once there is room on the disk, rename " +
          platform::LogName(platform::NameOf(goneBundles_.back().Path)) + " back to " +
          platform::LogName(name) + " and import again.");
}

// The error boxes a bundle's unpacking held back become one, shown once its
// fate is decided, however many of its entries failed: the bundle's name,
// its first error and how many more there are (the log lists every one).
void TTosser::ShowBundleBox(const std::string& name, const std::vector<std::string>& errors,
                            const std::vector<std::string>& boxes) {
  if (boxes.empty()) return;
  std::string first;
  if (!errors.empty()) {
    // The log's lines are in the ANSI page; the box takes UTF-8.
    first = platform::AnsiToUtf8(errors.front());
  } else {
    const size_t cut = boxes.front().find("\r\n");
    first = cut == std::string::npos ? boxes.front() : boxes.front().substr(cut + 2);
  }
  const size_t more = std::max(errors.size(), boxes.size()) - 1;
  std::string text = "Fehler beim Entpacken von " + name + ":\r\n" + first;
  if (more > 0)
    text += "\r\n(and " + std::to_string(more) + (more == 1 ? " more error" : " more errors") +
            "; the import log lists every one)";
  OnMain([&] { platform::GetPrompter().Ask(platform::MsgKind::Error, text, platform::mbYes); });
}

// The bundle leaves the inbound (to the backup when it was unpacked whole,
// else renamed as a damaged packet is, or to "*.toobig", since its sound
// files are tossed now), then its files (in ready, when it gave any) join
// the inbound. A bundle that cannot leave keeps its name, its files are
// dropped and the run fails. Each step can be repeated.
void TTosser::FinishBundle(const std::string& name, const std::string& ready, BundleFate fate) {
  const bool whole = fate == BundleFate::Whole;
  GoneBundle gone{name, whole ? "ok" : fate == BundleFate::Damaged ? "bad" : "toobig", {}, {}};
  std::string bad;
  if (platform::FileExists(inbound_ + name)) {
    if (whole) {
      const std::string got = MoveUnique(inbound_ + name, backupDir_, name);
      if (!got.empty()) gone.Path = backupDir_ + got;
    } else {
      bad = RenameAside(inbound_, name, fate == BundleFate::TooLarge ? kTooLargeBundleExt : ".bad",
                        asideNames_);
      if (!bad.empty()) gone.Path = inbound_ + bad;
    }
    if (gone.Path.empty()) {
      std::error_code ec;
      if (!ready.empty()) std::filesystem::remove_all(ready, ec);
      Fail("Bundle " + platform::LogName(name) + " could not be " +
           (whole ? "moved to the backup directory" : "renamed") + "; it stays in Inbound .");
      return;
    }
  }
  if (fate == BundleFate::TooLarge) ++counters_.BundlesTooLarge;
  int came = 0;
  bool allMoved = true;
  const auto files = ready.empty() ? std::vector<platform::DirEntry>() : platform::ScanDir(ready);
  for (const auto& entry : files) {
    struct stat st {};
    const std::string from = ready + entry.name;
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // links are no mail
    const std::string got = MoveIntoInbound(from, inbound_, entry.name);
    if (got.empty()) {
      allMoved = false;
      LogLine("File " + platform::LogName(entry.name) + " of bundle " + platform::LogName(name) +
              " could not be moved to Inbound .");
      continue;
    }
    ++came;
    gone.Files.push_back(got);
    if (got != entry.name)
      LogLine("File " + platform::LogName(entry.name) + " of bundle " + platform::LogName(name) +
              " has been renamed to " + platform::LogName(got) + " .");
  }
  if (allMoved && !ready.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(ready, ec);
  }
  if (!gone.Path.empty()) goneBundles_.push_back(std::move(gone));
  if (whole) {
    LogLine("Bundle " + platform::LogName(name) + " unpacked");
    return;
  }
  LogLine(std::to_string(came) + " files of bundle " + platform::LogName(name) + " are tossed" +
          (bad.empty() ? std::string(".")
                       : "; the bundle has been renamed to " + platform::LogName(bad) + " ."));
}

// An undone run leaves no bundle aside: each one that left the inbound in
// it takes its name back once its files have gone back into the folder of
// its fate (a run cut off meanwhile finishes the bundle from there, as
// before). A bundle whose files are not all in the inbound stays as it is.
void TTosser::GiveBundlesBack() {
  for (auto it = goneBundles_.rbegin(); it != goneBundles_.rend(); ++it) {
    const GoneBundle& gone = *it;
    if (platform::FileExists(inbound_ + gone.Name) ||
        !std::all_of(gone.Files.begin(), gone.Files.end(),
                     [&](const std::string& f) { return platform::FileExists(inbound_ + f); }))
      continue;
    const std::string ready = inbound_ + kUnpackedFolder + gone.Name + "." + gone.Fate + "/";
    std::error_code ec;
    std::filesystem::create_directories(ready, ec);
    bool back = !ec;
    try {
      for (const std::string& f : gone.Files)
        back = back && platform::RenameNoReplace(inbound_ + f, ready + f);
      back = back && platform::RenameNoReplace(gone.Path, inbound_ + gone.Name);
    } catch (const platform::EFile&) {
      back = false;
    }
    if (!back) {
      LogLine("Bundle " + platform::LogName(gone.Name) +
              " could not get its name back; the next run finishes it.");
      continue;
    }
    std::filesystem::remove_all(ready, ec);
    LogLine("Bundle " + platform::LogName(gone.Name) +
            " has its name back and is unpacked again by the next run.");
  }
  goneBundles_.clear();
}

// --- Packets ------------------------------------------------------------------------

void TTosser::TossPackets() {
  // Packets stay in the inbound directory until the areas are written, so
  // each name is handled once; the scan repeats for packets that appear
  // meanwhile (the packet processor may write some).
  for (;;) {
    if (Aborted()) return;
    bool any = false;
    for (const auto& entry : platform::ScanDir(inbound_, "*.pk?")) {
      if (Aborted() || counters_.WriteFailed) return;
      if (!seenPackets_.insert(entry.name).second) continue;
      any = true;
      const std::string& command = values_->EPPImport();
      if (!command.empty()) RunPacketProcessorCommand(command, inbound_ + entry.name);
      if (!TossPacket(entry.name)) LeavePacket(entry.name);
    }
    if (!any) return;
  }
}

bool TTosser::TossPacket(const std::string& name) {
  const std::string path = inbound_ + name;
  TMailPacket packet(path);
  packet.SetShowDamageBox(false);
  const int status = packet.GetStatus();
  if (status == psTooLarge) {
    // It would block the inbound on every run: put aside at once.
    ++counters_.PacketsTooLarge;
    const std::string bad = RenameAside(inbound_, name, ".bad", asideNames_);
    LogLine("Packet " + platform::LogName(name) + " is too large: " + packet.GetStatusText() +
            (bad.empty() ? std::string(" It stays in Inbound .")
                         : " It has been renamed to " + platform::LogName(bad) + " ."));
    return !bad.empty();  // put aside: nothing is left in the inbound
  }
  if (status != psReady) {
    LogLine("Error importing " + platform::LogName(name) + ": " + packet.GetStatusText());
    // A header that is cut off or of an unknown type never becomes readable:
    // the packet is put aside instead of being tried on every run.
    if (status == psDamagedHeader || status == psUnknownType) {
      const std::string bad = RenameAside(inbound_, name, ".bad", asideNames_);
      ++counters_.DamagedPackets;
      if (!bad.empty()) {
        LogLine("Packet " + platform::LogName(name) + " has been renamed to " +
                platform::LogName(bad) + " .");
        return true;  // put aside: nothing is left in the inbound
      }
    }
    return false;
  }
  ++counters_.Packets;
  Status("Tossing packet " + name + " ...");
  ShowCounters();

  const TFidoAddr orig = packet.GetHeader().OrigAddress();
  packetOrigNet_ = orig.Net;
  packetOrigNode_ = orig.Node;
  uint64_t expected = kPacketHeaderSize + kPacketTerminatorSize;
  int count = 0;
  bool stoppedInside = false;
  for (;;) {
    if (Aborted()) {
      stoppedInside = true;
      break;
    }
    const std::string* image = packet.NextMail();
    if (!image) break;
    PlaceMessage(packet, *image);
    expected += image->size();
    ++count;
  }
  LogLine(std::to_string(count) + " messages from " + platform::LogName(name));
  // A message too large to store is skipped; the packet is kept aside for
  // it (with the run's commit), never only in the backup.
  const bool skippedAny = !packet.GetSkippedMails().empty();
  const std::string aside =
      skippedAny ? FreeAsideName(inbound_, name, ".bad", asideNames_) : std::string();
  if (skippedAny) asideNames_.insert(aside);
  for (const TSkippedMail& skipped : packet.GetSkippedMails()) {
    expected += skipped.Size;
    LogLine("Message " + std::to_string(skipped.Number) + " of packet " + platform::LogName(name) +
            " (offset " + std::to_string(skipped.Offset) + ", " + std::to_string(skipped.Size) +
            " bytes) is larger than the " + std::to_string(kMaxPackedMessageSize >> 20) +
            " MB a message may have and has been skipped; it is kept in " +
            platform::LogName(aside) + " .");
  }
  if (skippedAny) ++counters_.PacketsWithLargeMessages;
  ShowCounters();

  const uint64_t bodyLeft = packet.GetPacketSize() - kPacketHeaderSize - packet.GetReadPosition();
  if (stoppedInside && bodyLeft > kPacketTerminatorSize && !packet.IsDamaged()) {
    // The unread messages become a packet of their own for the next run;
    // the packet itself goes to the backup with the others.
    try {
      const std::string bytes = platform::ReadFile(path);
      const size_t from = kPacketHeaderSize + packet.GetReadPosition();
      if (bytes.size() >= from) {
        std::string rest = bytes.substr(0, kPacketHeaderSize) + bytes.substr(from);
        std::string restName;
        do {
          restName = NextSerialHex(FileSerial()) + ".pkt";
        } while (platform::FindNoCase(inbound_, restName));
        journal_->Append({"created", inbound_ + restName});
        platform::WriteFileAtomic(inbound_ + restName, rest);
        seenPackets_.insert(restName);
        LogLine("Packet " + platform::LogName(name) +
                " was not read to its end: its other messages wait in " +
                platform::LogName(restName) + " .");
      }
      if (skippedAny)
        damagedPackets_.push_back(name + "/" + aside);
      else
        tossedPackets_.push_back(name);
    } catch (const platform::EFile& e) {
      LeavePacket(name);
    }
    return true;
  }

  // A packet whose reading stopped at damage is longer than its messages
  // too; with WarnPacket on, every packet of another size than its messages
  // is warned about and stays in the inbound directory.
  const bool damaged = packet.IsDamaged();
  const bool warn = values_->WarnPacket() && packet.GetPacketSize() != expected;
  std::string warning;
  if (damaged) {
    warning = packet.GetDamageText();
    LogLine(warning);
  }
  if (warn) {
    const std::string line = "WARINIG! Packet file is large than the data  it should contain: " +
                             platform::LogName(name);
    if (!damaged) warning = line;
    LogLine(line);
  }
  if (!damaged && !warn) {
    if (skippedAny) {
      damagedPackets_.push_back(name + "/" + aside);
      LogLine("Packet " + platform::LogName(name) +
              " holds a message too large to store: its other " + std::to_string(count) +
              " messages were tossed, the packet has been renamed to " + platform::LogName(aside) +
              " .");
    } else {
      tossedPackets_.push_back(name);
    }
    return true;
  }
  ++counters_.DamagedPackets;
  // Its messages before the damage are placed: it is put aside with the
  // run's commit, so that an undone run reads them again.
  const std::string bad = skippedAny ? aside : FreeAsideName(inbound_, name, ".bad", asideNames_);
  asideNames_.insert(bad);
  damagedPackets_.push_back(name + "/" + bad);
  if (damaged) {
    LogLine("Packet " + platform::LogName(name) + " is damaged: " + std::to_string(count) +
            " messages before the damage were tossed, the packet has been renamed to " +
            platform::LogName(bad) + " .");
  } else {
    LogLine("Packet " + platform::LogName(name) + " has been renamed to " + platform::LogName(bad) +
            " .");
  }
  if (warn) {
    const std::string text = warning;
    OnMain([&] { platform::GetPrompter().Warn(Utf8(text)); });
  }
  return true;  // renamed with the run's commit, not left in the inbound
}

// A packet that stays in the inbound under its name: the run falls short.
void TTosser::LeavePacket(const std::string& name) {
  ++counters_.PacketsLeft;
  LogLine("Packet " + platform::LogName(name) + " left in Inbound .");
}

// --- Placing one message --------------------------------------------------------------

TArea* TTosser::FindTarget(const std::string& tag, bool raw) {
  const auto it = areasByName_.find(AreaKey(tag, raw));
  return it == areasByName_.end() ? nullptr : it->second;
}

TArea* TTosser::FindEarlierArea(const std::string& tag, bool raw) {
  // Only a converted tag has other bytes that an earlier version may have
  // named its area by; a raw one is found by its own.
  if (raw) return nullptr;
  const auto it = areasByOemName_.find(
      platform::UpperText(platform::TagToOem(tag, false), platform::OemCodePage()));
  return it == areasByOemName_.end() ? nullptr : it->second;
}

TNetLink* TTosser::UplinkForPacket(uint16_t net, uint16_t node) const {
  for (TNetLink* link : uplinks_) {
    const TFidoAddr& a = link->UplinkAddress.Address();
    if (a.Net == net && a.Node == node) return link;
  }
  return nullptr;
}

TArea* TTosser::CreateEchoArea(const std::string& tag, bool raw, TNetLink* uplink) {
  if (tag.empty()) return nullptr;
  const uint8_t type = tag == kNetmailAreaName ? AreaTypeCode::Netmail : AreaTypeCode::Echomail;
  TArea* area = nullptr;
  TConfigStore& store = *setup_.Store;
  // The store saves the configuration at once.
  OnMain([&] {
    area = store.AddAreaQuiet(tag, tag, type, uplink, raw);
    if (!area) area = store.FindArea(tag, raw);
  });
  if (!area) return nullptr;
  areasByName_[area->NameKey()] = area;
  ++counters_.AreasCreated;
  LogLine("Area " + area->NameInAnsi() + " has been created for uplink " + uplink->Name + ".");
  return area;
}

TArea* TTosser::SystemArea(const char* name, uint8_t type) {
  if (TArea* area = FindTarget(name, false)) return area;
  TArea* area = nullptr;
  TConfigStore& store = *setup_.Store;
  OnMain([&] {
    area = store.AddAreaQuiet(name, name, type, nullptr);
    if (!area) area = store.FindArea(name);
  });
  if (!area) {
    LogLine(std::string("Area ") + name + " could not be created!");
    return nullptr;
  }
  areasByName_[area->NameKey()] = area;
  ++counters_.AreasCreated;
  LogLine(std::string("Area ") + name + " has been created.");
  return area;
}

void TTosser::PlaceMessage(TMailPacket& packet, const std::string& image) {
  ++counters_.Read;
  if (counters_.WriteFailed) return;  // the run is undone anyway
  const TMsgHeader& header = packet.GetMailHeader();
  const std::string tag = header.AreaName.Str();

  const bool raw = packet.GetAreaTagRaw();
  TArea* target = FindTarget(tag, raw);
  if (!target) target = FindEarlierArea(tag, raw);
  if (!target) {
    if (values_->DoCreate() == 0)
      if (TNetLink* uplink = UplinkForPacket(packetOrigNet_, packetOrigNode_))
        target = CreateEchoArea(tag, raw, uplink);
    if (!target) {
      target = SystemArea(kBadAreaName, AreaTypeCode::Badmail);
      if (target) ++counters_.Bad;
    }
  }

  auto mail = std::make_unique<TMail>(image, header);
  mail->Header.Flags = kTossedFlags;
  mail->Header.BodyLength = static_cast<uint32_t>(image.size());
  mail->Header.MsgIdNumber = packet.GetMsgIdSerial();
  mail->Header.ReplyNumber = packet.GetReplySerial();
  mail->Header.MsgIdCrc = packet.GetMsgIdCrc();
  mail->Header.ReplyCrc = packet.GetReplyCrc();

  const int dupesMode = values_->Dupes();
  if (target && dupesMode != 2 && !dupes_->CheckAndAdd(DupeKeyOf(image))) {
    ++counters_.Duplicates;
    target = dupesMode == 0 ? SystemArea(kDupesAreaName, AreaTypeCode::Dupes) : nullptr;
  }
  if (!target) return;

  const std::string toName = header.ToName.Str();
  for (const std::string& line : values_->SysopNames()) {
    if (line.empty() || !platform::EqualNoCase(line, toName, platform::AnsiCodePage())) continue;
    ++counters_.Personal;
    mail->Header.Flags |= MsgFlag::ToSysop;
    if (setup_.View) {
      const std::string entry = target->NameInAnsi() + ": " + header.FromName.Str() + "(" +
                                FidoAddressToStr(header.OrigAddr) + ") \"" + header.Subject.Str() +
                                "\"";
      OnMain([&] { setup_.View->AddToSysop(entry); });
    }
  }

  if (target->AreaType == AreaTypeCode::Netmail) CheckAreaList(*mail, *target);

  if (setup_.Filters) {
    const TImportFilters::Outcome outcome = setup_.Filters->Apply(*mail, target->Name);
    if (outcome.Failed) ++counters_.FilterFailures;
    if (outcome.Kill) {
      if (outcome.Copied)
        ++counters_.FilterMoved;
      else
        ++counters_.FilterDeleted;
      return;
    }
    if (outcome.Copied) ++counters_.FilterDuplicated;
  }
  if (target->QueuedCount() == 0) queuedAreas_.push_back(target);
  queuedBytes_ += mail->Body.size() + sizeof(TMail);
  target->QueueMail(std::move(mail));
  if (queuedBytes_ >= kTossQueueBudget) WriteQueues();
}

void TTosser::CheckAreaList(TMail& mail, TArea& target) {
  (void)target;
  if (!setup_.AreaLists) return;
  const std::string from = mail.Header.FromName.Str();
  const std::string subject = mail.Header.Subject.Str();
  for (TNetLink* link : uplinks_) {
    if (link->UplinkAddress.Address() != mail.Header.OrigAddr) continue;
    const std::vector<std::string>* titles = nullptr;
    bool fileScan = false;
    if (EqualNoCase(from, link->FSSender)) {
      titles = &link->FileScanTitles;
      fileScan = true;
    }
    if (EqualNoCase(from, link->AFSender)) {
      titles = &link->AreaFixTitles;
      fileScan = false;
    }
    if (!titles) continue;
    const bool listed = std::any_of(titles->begin(), titles->end(),
                                    [&](const std::string& t) { return EqualNoCase(t, subject); });
    if (!listed) continue;
    const int added = setup_.AreaLists->RegisterAreaListMail(mail, *link, fileScan);
    if (added < 0) return;
    const std::string text = "A message from \"" + from + "\" to \"" + mail.Header.ToName.Str() +
                             "\" with subject \"" + subject +
                             "\" has been used as   area list "
                             "for uplink \"" +
                             link->Name + "\".  " + std::to_string(added) +
                             " new areas have been  registered.";
    // Also in the log: a run without a window (the batch) shows no box.
    LogLine(text);
    OnMain([&] { platform::GetPrompter().Inform(Utf8(text)); });
    return;
  }
}

// --- Writing ------------------------------------------------------------------------

bool TTosser::LockForRun(TArea& area) {
  if (std::find(heldAreas_.begin(), heldAreas_.end(), &area) != heldAreas_.end()) return true;
  Status("Waiting for access to " + area.NameInAnsi() + "...");
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  for (;;) {
    bool locked = false;
    OnMain([&] { locked = area.Lock(true); });
    if (locked) break;
    if (dispatcher.IsMainThread()) dispatcher.ProcessMessages();
    std::this_thread::sleep_for(kLockRetryInterval);
  }
  heldAreas_.push_back(&area);
  return true;
}

void TTosser::Fail(const std::string& what) {
  if (!counters_.WriteFailed) counters_.Error = what;
  counters_.WriteFailed = true;
  LogLine(what);
}

// Writes one area's queue (and, on the run's first write, its import
// marks). The area stays locked until the run ends.
bool TTosser::WriteArea(TArea& area) {
  LockForRun(area);
  const std::string name = area.NameInAnsi();
  Status("Updating mail in " + name + "...");
  bool ok = true;
  try {
    if (area.QueuedCount() > 0 && !journaled_.count(&area)) JournalAreas({&area});
    if (marked_.insert(&area).second)
      ok = area.WriteQueuedMail(true, true);
    else
      ok = area.AppendQueuedMail(true);
  } catch (const std::exception& e) {
    area.WriteError = e.what();
    ok = false;
  }
  area.ClearQueue();
  if (!ok) {
    const bool first = !counters_.WriteFailed;
    Fail("Error writing to area " + name + "!");
    if (!area.WriteError.empty()) {
      if (first) counters_.Error += " " + area.WriteError;
      LogLine(area.WriteError);
    }
    return false;
  }
  counters_.Written += area.WrittenCount;
  writtenPerArea_[&area] += area.WrittenCount;
  if (const std::string note = area.TakeRemadeNote(); !note.empty()) LogLine(note);
  return true;
}

// Records the areas in the journal before their first write in the run, in
// one append. Their writes are synced at the commit.
void TTosser::JournalAreas(const std::vector<TArea*>& areas) {
  std::vector<TRunJournal::Record> records;
  std::vector<TArea*> fresh;
  for (TArea* area : areas) {
    if (area->QueuedCount() == 0 || journaled_.count(area)) continue;
    if (!area->BaseDir.empty()) ForceDirectoryPath(area->BaseDir);
    records.push_back(AreaJournalRecord(*area));
    fresh.push_back(area);
  }
  if (records.empty()) return;
  journal_->Append(records);
  for (TArea* area : fresh) {
    journaled_.insert(area);
    // An area without files before the run held nothing, whatever its
    // marks say; one whose files went before keeps its record.
    heldBefore_[area] = std::max(area->HeldMessages(), 0);
    importBefore_[area] = area->LastImport;
    area->SyncWrites = false;
  }
}

void TTosser::WriteQueues() {
  std::vector<TArea*> areas;
  areas.swap(queuedAreas_);
  queuedBytes_ = 0;
  try {
    JournalAreas(areas);
  } catch (const std::exception& e) {
    Fail(std::string("The import journal could not be written: ") + e.what());
  }
  for (TArea* area : areas) {
    if (counters_.WriteFailed) {
      area->ClearQueue();
      continue;
    }
    WriteArea(*area);
  }
  ShowCounters();
}

void TTosser::WriteAreas() {
  std::vector<TArea*> areas;
  OnMain([&] { areas = setup_.Store->Areas().Areas(); });
  queuedAreas_.clear();
  queuedBytes_ = 0;
  try {
    JournalAreas(areas);
  } catch (const std::exception& e) {
    Fail(std::string("The import journal could not be written: ") + e.what());
  }
  for (TArea* area : areas) {
    if (area->IsSeparator() || area->AreaType == AreaTypeCode::Separator) continue;
    if (counters_.WriteFailed) {
      area->ClearQueue();
      continue;
    }
    if (!WriteArea(*area)) continue;
    Status("Writing to " + area->NameInAnsi() + " finished.");
    if (const int written = writtenPerArea_[area]; written > 0)
      LogLine("The area " + area->NameInAnsi() + " has " + std::to_string(written) + " messages");
    ShowCounters();
  }
}

// The commit: the areas' writes synced, the ring and the configuration
// staged beside their files, the moves and "commit" in the journal; then the
// journal is carried out and removed. The configuration (new areas, what
// each area holds) reaches its file only through the journal, so a run cut
// off at any step leaves the registry and the areas' files of one and the
// same side of the commit: before it, the undo removes the staged registry
// with the areas' writes; after it, the recovery puts it in place.
void TTosser::Commit() {
  RunStep();
  std::vector<TRunJournal::Record> records;
  try {
    // The areas' writes (and new files' names) reach the disk before the
    // commit does.
    std::set<std::string> dirs;
    for (TArea* area : journaled_) {
      platform::FsyncPath(area->FilePath(kPackedBodyExt));
      platform::FsyncPath(area->FilePath(kPackedIndexExt));
      dirs.insert(area->BaseDir);
    }
    for (const std::string& d : dirs) platform::FsyncPath(d);
    RunStep();
    // The ring goes into its database (through a link, which stays); one
    // that could not be read is never written over.
    const std::string ring = dupes_ && !dupes_->Unreadable() ? dupes_->FilePath() : "";
    if (!ring.empty()) {
      const std::string staged = ring + ".New";
      platform::WriteFileAtomic(staged, dupes_->Encode());
      records.push_back({"replace", staged, ring});
      RunStep();
    }
    // The areas' records of what they hold go with the configuration.
    if (counters_.Written > 0) {
      const std::string registry = setup_.Store->Registry().Registry().Path();
      if (const std::string staged = setup_.Store->StageConfiguration(); !staged.empty())
        records.push_back({"replace", staged, registry});
      RunStep();
    }
    for (const std::string& name : tossedPackets_)
      records.push_back({"move", inbound_ + name, backupDir_ + name});
    for (const std::string& names : damagedPackets_) {
      const size_t slash = names.find('/');
      records.push_back(
          {"move", inbound_ + names.substr(0, slash), inbound_ + names.substr(slash + 1)});
    }
    records.push_back({"commit"});
    journal_->Append(records);
    RunStep();
  } catch (const std::exception& e) {
    Fail(std::string("The import could not be committed: ") + e.what());
    // The undo saves the configuration again once the areas' records are
    // back as they were (the tree may hold the staged ones).
    setup_.Store->SaveConfiguration();
    return;
  }
  std::vector<std::string> lines;
  if (!RecoverImportJournal(journalPath_, &lines))
    LogLine("The import is stored; some packets could not be moved and are moved by the next run.");
  // A save asked for since (and nothing of the run) is written now.
  changesOpen_ = false;
  if (!setup_.Store->EndChanges()) LogLine("The configuration could not be saved.");
  for (const std::string& name : tossedPackets_) {
    if (platform::FileExists(inbound_ + name))
      LeavePacket(name);
    else
      LogLine("Packet " + platform::LogName(name) + " has been moved to the backup directory.");
  }
}

// Undoes whatever the run wrote: areas back to their sizes before it, the
// ring back to its database, every packet left in the inbound directory.
void TTosser::RollBack() {
  counters_.Written = 0;
  for (TArea* area : queuedAreas_) area->ClearQueue();
  queuedAreas_.clear();
  GiveBundlesBack();
  if (journal_) {
    std::vector<std::string> lines;
    if (!RecoverImportJournal(journalPath_, &lines))
      LogLine("The area writes of this run could not all be undone; the next run undoes them.");
    for (TArea* area : journaled_) {
      area->SetHeldMessages(heldBefore_[area]);
      area->LastImport = importBefore_[area];
      area->RecountFlags();
    }
    if (dupes_ && !dupes_->Path().empty()) dupes_->LoadFromFile();
  }
  // The configuration (the areas the run made, a save asked for meanwhile)
  // is saved with the areas' records as they are after the undo.
  if (changesOpen_) {
    changesOpen_ = false;
    setup_.Store->EndChanges();
  }
  if (journal_)
    LogLine("Nothing of this run has been stored; its packets stay in the inbound directory.");
}

void TTosser::ReleaseAreas() {
  for (TArea* area : journaled_) area->SyncWrites = true;
  for (TArea* area : heldAreas_) {
    OnMain([&] { area->Unlock(); });
  }
  heldAreas_.clear();
}

void TTosser::Finish() {
  LogLine(std::to_string(counters_.Written) + " messages from " +
          std::to_string(counters_.Packets) + " packets imported.");
  if (setup_.Filters) {
    for (const auto& [name, count] : setup_.Filters->MatchCounts())
      if (count > 0) LogLine("Filter \"" + name + "\": " + std::to_string(count) + " matches");
  }
  if (counters_.FilterDuplicated)
    LogLine(std::to_string(counters_.FilterDuplicated) +
            " messages have been duplicated by filters");
  if (counters_.FilterMoved)
    LogLine(std::to_string(counters_.FilterMoved) + " messages have been moved by filters");
  if (counters_.FilterDeleted)
    LogLine(std::to_string(counters_.FilterDeleted) + " have been deleted by filters");
  if (!counters_.Waiting.empty())
    LogLine((counters_.Waiting.size() == 1 ? std::string("Bundle ")
                                           : std::to_string(counters_.Waiting.size()) +
                                                 " bundles stay in Inbound until there is room: ") +
            platform::LogName(WaitingList(counters_.Waiting, false)) +
            (counters_.Waiting.size() == 1 ? " stays in Inbound until there is room." : "."));

  OnMain([&] {
    if (setup_.View) {
      setup_.View->SetCaption("Import - Done");
      setup_.View->RunFinished();
    }
  });
  if (values_->ImportReport())
    WriteReportMessage(kTosserReportFrom, "Sysop", kTosserReportSubject, kTosserReportTitle, Log());
  ShowCounters();
  LogLine("Import finished");
}

}  // namespace velmaris

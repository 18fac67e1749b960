#include "core/Area.h"
#include "core/AreaMaintain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <thread>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/DateTimeUtil.h"
#include "core/Exceptions.h"
#include "core/MessageBase.h"
#include "core/ShellServices.h"
#include "core/WinRegistry.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"

namespace velmaris {

namespace {

// Local time counted as if it were UTC, as the message header stores dates.
int32_t NowLocalUnix() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int32_t>(timegm(&local));
}

// "dd Mon yy  hh:mm:ss" of the local time, as FTS-0001 dates read.
std::string FtsDateNow() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char text[32];
  std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02d", t.tm_mday,
                platform::kMonthNames[t.tm_mon], t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return std::string(text, 19);
}

// The one mutex over the lock state of every area.
std::mutex& AreaLockMutex() {
  static std::mutex mutex;
  return mutex;
}

std::atomic<TAreaList*> gAreaList{nullptr};

enum class ShellEvent { LockedShared, LockedExclusive, ReleasedShared, ReleasedExclusive };

// Hands a shell notification to the main thread. Called while the lock
// mutex is held, so that the main thread sees the lock changes in the order
// they happened; the notification itself runs later, on the main thread,
// outside the mutex. Posting only queues it.
void PostShellEvent(const std::shared_ptr<TArea*>& self, ShellEvent event) {
  if (!GetShellServices()) return;
  std::weak_ptr<TArea*> weak = self;
  platform::GetDispatcher().Post([weak, event] {
    auto alive = weak.lock();
    TShellServices* shell = GetShellServices();
    if (!alive || !shell) return;
    TArea& area = **alive;
    // A window that fails to redraw must not break the job that unlocked.
    try {
      switch (event) {
        case ShellEvent::LockedShared: shell->MessageListLocked(area, false); break;
        case ShellEvent::LockedExclusive: shell->MessageListLocked(area, true); break;
        case ShellEvent::ReleasedShared: shell->MessageListUpdateCaption(area); break;
        case ShellEvent::ReleasedExclusive:
          shell->UpdateAreaLine(area);
          shell->MessageListUnlocked(area);
          break;
      }
    } catch (const std::exception&) {
    }
  });
}

void PostRefreshAreaList() {
  if (!GetShellServices()) return;
  platform::GetDispatcher().Post([] {
    if (TShellServices* shell = GetShellServices()) {
      try {
        shell->RefreshAreaList();
      } catch (const std::exception&) {
      }
    }
  });
}

// Little-endian fields and length-prefixed strings of the "Packed" record.
void PutI32(uint8_t* p, int32_t v) { PutLE32(p, static_cast<uint32_t>(v)); }
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetLE32(p)); }

void PutShortString(uint8_t* field, const std::string& text) {
  size_t n = std::min<size_t>(text.size(), 255);
  field[0] = static_cast<uint8_t>(n);
  std::copy_n(text.data(), n, field + 1);
}
std::string GetShortString(const uint8_t* field) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

// A stored type outside a byte is no type we know: an echomail area.
uint8_t StoredType(int32_t value) {
  return value >= 0 && value <= 0xFF ? static_cast<uint8_t>(value) : AreaTypeCode::Echomail;
}

// Every extension the message base has used: the current files, the
// temporary ones of an index rewrite and an optimisation, and the older
// format's.
constexpr const char* kAreaFileExtensions[] = {
    kPackedIndexExt, kPackedBodyExt, kTempIndexExt, kOptimizedBodyExt, ".Index",
    ".Body",         ".Header",      ".Dupes",      ".$DX",            ".$DY"};

bool ForbiddenInFileName(unsigned char c) {
  return c < 0x20 || c == 0x7F || std::strchr("<>/\\:?*|\"", c) != nullptr;
}

// Each forbidden character and control character becomes a full stop. In
// UTF-8 text the C1 controls (U+0080 to U+009F) do too; other bytes from
// 0x80 stay as they are.
std::string MapFileNameBytes(std::string_view name, bool utf8) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += ForbiddenInFileName(c) ? '.' : name[i];
    } else if (utf8 && c == 0xC2 && i + 1 < name.size() &&
               static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
      out += '.';
      ++i;
    } else {
      out += name[i];
    }
  }
  return out;
}

// A name over kAreaFileNameMax bytes keeps its beginning (in UTF-8 cut at a
// whole character) and ends in "~" and the CRC-32 of the whole name.
std::string BoundFileName(std::string name, bool utf8) {
  if (name.size() <= kAreaFileNameMax) return name;
  const uint32_t crc = Crc32OfString(name);
  char tail[10];
  std::snprintf(tail, sizeof tail, "~%08X", crc);
  constexpr size_t kKept = kAreaFileNameMax - 9;
  name.resize(utf8 ? platform::Utf8Prefix(name, kKept).size() : kKept);
  return name + tail;
}

// The name under which an earlier version kept the files of a stored file
// name that is not UTF-8: its bytes from 0x80 as they stand.
std::string OlderFileName(const std::string& stored) {
  return BoundFileName(MapFileNameBytes(stored, false), false);
}

// Whether anything (a file, a folder, a link) has the name; a name that
// cannot be looked up counts as taken.
bool NameTaken(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

constexpr const char* kInitName = "%INIT";
constexpr const char* kNoFileName = "%NOFILE";

// Offsets of the "Packed" record.
struct RecordOffset {
  static constexpr size_t MaxAge = 0;
  static constexpr size_t MaxNumber = 4;
  static constexpr size_t TextGroup = 8;
  static constexpr size_t AreaType = 12;
  static constexpr size_t Uplink = 16;
  static constexpr size_t Name = 20;
  static constexpr size_t FileName = 276;
  static constexpr size_t TabsToSpaces = 532;
  static constexpr size_t NoSZ = 533;
  static constexpr size_t NoUmlaute = 534;
  static constexpr size_t Reflow = 535;
  static constexpr size_t ApplyAge = 536;
  static constexpr size_t ApplyNumber = 537;
  static constexpr size_t Maintain = 538;
};

}  // namespace

const char* AreaTypeCaptionPrefix(int areaType) {
  switch (areaType) {
    case AreaTypeCode::Echomail: return "Echomail Area: ";
    case AreaTypeCode::Badmail: return "Badmail Area: ";
    case AreaTypeCode::Dupes: return "Dupes Area: ";
    case AreaTypeCode::Netmail: return "Netmail Area: ";
    case AreaTypeCode::Report: return "Report Area: ";
    case AreaTypeCode::Prototype: return "Prototype Area: ";
    case AreaTypeCode::Storage: return "Storage Area: ";
    case AreaTypeCode::EMail: return "EMail Area: ";
    case AreaTypeCode::Newsgroup: return "Newsgroup: ";
    case AreaTypeCode::AreasCaption: return "Areas: ";
    default: return "Unknown Area: ";
  }
}

// --- Construction and settings ------------------------------------------------

TArea::TArea(const std::string& directory, const std::string& name, const std::string& fileName,
             uint8_t areaType, std::optional<bool> rawTag)
    : Name(name),
      RawTag(rawTag.value_or(platform::IsRawTag(name))),
      AreaType(areaType),
      base_(std::make_unique<TMessageBase>(*this)),
      self_(std::make_shared<TArea*>(this)) {
  SetBaseDir(directory);
  SetFileName(fileName);
  MaintainFilter.FlagMask =
      MsgFlag::Hold | MsgFlag::Unread | MsgFlag::ToSysop | MsgFlag::Send | MsgFlag::Sent;
  MaintainFilter.Flags = 0;
  NameFilters();
  DeleteOlderFiles();
}

TArea::~TArea() {
  if (MessageWindow)
    if (TShellServices* shell = GetShellServices()) shell->MessageListAreaGone(*this);
  CloseBody();
  {
    std::lock_guard guard(indexMutex_);
    if (indexLoaded_) indexUseCount_ = 1;
  }
  CloseIndex();
}

std::unique_ptr<TArea> TArea::CreateFromPrototype(const std::string& directory,
                                                  const std::string& name,
                                                  const std::string& fileName, uint8_t areaType,
                                                  const TArea& prototype,
                                                  std::optional<bool> rawTag) {
  auto area = std::make_unique<TArea>(directory, name, fileName, areaType, rawTag);
  const TSearchRequest& pm = prototype.MaintainFilter;
  area->MaintainFilter.FlagMask = pm.FlagMask;
  area->MaintainFilter.Flags = pm.Flags;
  area->MaintainFilter.Caption = pm.Caption;
  area->MaintainFilter.ShowFlagsPage = pm.ShowFlagsPage;
  area->MaintainFilter.ShowOriginPage = pm.ShowOriginPage;
  area->MaintainFilter.ShowDestinationPage = pm.ShowDestinationPage;
  area->MaintainFilter.ShowSubjectPage = pm.ShowSubjectPage;
  area->MaintainFilter.ShowTextPage = pm.ShowTextPage;
  area->DisplayFilter.FlagMask = prototype.DisplayFilter.FlagMask;
  area->DisplayFilter.Flags = prototype.DisplayFilter.Flags;
  area->DisplayFilter.Caption = prototype.DisplayFilter.Caption;
  area->TabsToSpaces = prototype.TabsToSpaces;
  area->NoUmlaute = prototype.NoUmlaute;
  area->NoRex = prototype.NoRex;
  area->RandomOrig = prototype.RandomOrig;
  area->NoSZ = prototype.NoSZ;
  area->Reflow = prototype.Reflow;
  area->ApplyAge = prototype.ApplyAge;
  area->ApplyNumber = prototype.ApplyNumber;
  area->Maintain = prototype.Maintain;
  area->MaxAge = prototype.MaxAge;
  area->MaxNumber = prototype.MaxNumber;
  return area;
}

std::unique_ptr<TArea> TArea::OnRecordedFiles(const std::string& directory,
                                              const std::string& fileName) {
  auto area = std::make_unique<TArea>(directory, "%JOURNAL", "");
  area->FileName = fileName;
  if (!platform::IsUtf8(fileName) && !platform::FileExists(area->FilePath(kPackedIndexExt)) &&
      !platform::FileExists(area->FilePath(kPackedBodyExt)))
    area->FileName = StoredFileName(fileName);
  return area;
}

std::unique_ptr<TArea> TArea::CreateFromRegistry(TWinRegistry& registry, const std::string& section,
                                                 const std::string& directory,
                                                 const TLinkList* uplinks) {
  auto area = std::make_unique<TArea>(directory, kInitName, kNoFileName, AreaTypeCode::Echomail);
  area->LoadFromRegistry(registry, section, uplinks);
  area->NameFilters();
  return area;
}

void TArea::NameFilters() {
  DisplayFilter.Caption = "Display Filter For Area " + NameInAnsi();
  // The list's test reads the headers only, never a body.
  DisplayFilter.ShowTextPage = false;
  MaintainFilter.Caption = "Mainteance Filter For Area " + NameInAnsi();
  MaintainFilter.ShowFlagsPage = true;
  MaintainFilter.ShowOriginPage = false;
  MaintainFilter.ShowDestinationPage = false;
  MaintainFilter.ShowSubjectPage = false;
  MaintainFilter.ShowTextPage = false;
}

std::string TArea::AreaNameToFileName(const std::string& name, bool raw) {
  return BoundFileName(MapFileNameBytes(platform::TagText(name, raw), true), true);
}

std::string TArea::NameKey() const { return platform::TagKey(Name, RawTag); }

bool TArea::HasName(std::string_view name) const { return HasName(name, platform::IsRawTag(name)); }

bool TArea::HasName(std::string_view name, bool raw) const {
  // A raw tag's key never equals a converted one's, and raising letters
  // keeps the length. Names equal without ASCII case have the same bytes
  // above 0x7F.
  if (raw != RawTag || Name.size() != name.size()) return false;
  if (platform::EqualNoCase(Name, name)) return true;
  return NameKey() == platform::TagKey(name, raw);
}

std::string TArea::StoredFileName(const std::string& stored) {
  // A name that is not UTF-8 reads in the ANSI page, raw or not.
  if (!platform::IsUtf8(stored)) return AreaNameToFileName(stored, false);
  return BoundFileName(MapFileNameBytes(stored, true), true);
}

void TArea::SetBaseDir(const std::string& directory) {
  BaseDir = directory.empty() ? directory : platform::WithSlash(directory);
}

void TArea::SetFileName(const std::string& name) {
  FileName = AreaNameToFileName(name, name == Name ? RawTag : platform::IsRawTag(name));
}

std::string TArea::FilePath(const std::string& extension) const {
  if (FileName == splitName_)
    for (const auto& [ext, name] : splitFiles_)
      if (ext == extension) return BaseDir + name + extension;
  return BaseDir + FileName + extension;
}

void TArea::DeleteOlderFiles() {
  if (FileName.empty()) return;
  for (const char* ext : {".Header", ".Dupes", ".$DX", ".$DY"}) ::unlink(FilePath(ext).c_str());
}

std::string TArea::FirstFile() const {
  if (FileName.empty()) return {};
  for (const char* ext : kAreaFileExtensions)
    if (NameTaken(FilePath(ext))) return FilePath(ext);
  return {};
}

void TArea::DeleteFiles() {
  if (FileName.empty()) return;
  for (const char* ext : kAreaFileExtensions) ::unlink(FilePath(ext).c_str());
  base_->ForgetIndexFile();
}

// --- Registry ---------------------------------------------------------------

std::array<uint8_t, kAreaRecordSize> TArea::PackRecord(int32_t uplinkIndex) const {
  std::array<uint8_t, kAreaRecordSize> r{};
  PutI32(&r[RecordOffset::MaxAge], MaxAge);
  PutI32(&r[RecordOffset::MaxNumber], MaxNumber);
  PutI32(&r[RecordOffset::TextGroup], TextGroup);
  PutI32(&r[RecordOffset::AreaType], AreaType);
  PutI32(&r[RecordOffset::Uplink], uplinkIndex);
  PutShortString(&r[RecordOffset::Name], Name);
  PutShortString(&r[RecordOffset::FileName], FileName);
  r[RecordOffset::TabsToSpaces] = TabsToSpaces;
  r[RecordOffset::NoSZ] = NoSZ;
  r[RecordOffset::NoUmlaute] = NoUmlaute;
  r[RecordOffset::Reflow] = Reflow;
  r[RecordOffset::ApplyAge] = ApplyAge;
  r[RecordOffset::ApplyNumber] = ApplyNumber;
  r[RecordOffset::Maintain] = Maintain;
  return r;
}

int32_t TArea::UnpackRecord(const uint8_t* r) {
  MaxAge = GetI32(r + RecordOffset::MaxAge);
  MaxNumber = GetI32(r + RecordOffset::MaxNumber);
  TextGroup = std::max<int32_t>(-1, GetI32(r + RecordOffset::TextGroup));
  AreaType = StoredType(GetI32(r + RecordOffset::AreaType));
  Name = GetShortString(r + RecordOffset::Name);
  RawTag = platform::IsRawTag(Name);
  FileName = StoredFileName(GetShortString(r + RecordOffset::FileName));
  TabsToSpaces = r[RecordOffset::TabsToSpaces] != 0;
  NoSZ = r[RecordOffset::NoSZ] != 0;
  NoUmlaute = r[RecordOffset::NoUmlaute] != 0;
  Reflow = r[RecordOffset::Reflow] != 0;
  ApplyAge = r[RecordOffset::ApplyAge] != 0;
  ApplyNumber = r[RecordOffset::ApplyNumber] != 0;
  Maintain = r[RecordOffset::Maintain] != 0;
  return GetI32(r + RecordOffset::Uplink);
}

void TArea::SaveToRegistry(TWinRegistry& registry, const std::string& section,
                           const TLinkList* uplinks) const {
  const int32_t uplinkIndex = uplinks && Uplink ? uplinks->IndexOf(Uplink) : -1;
  const auto record = PackRecord(uplinkIndex);
  registry.WriteBinary(section, "Packed", record.data(), record.size());
  registry.WriteInteger(section, "LastRead", LastRead);
  registry.WriteInteger(section, "LastImport", LastImport);
  registry.WriteInteger(section, "RawTag", RawTag ? 1 : 0);
  // Unknown (-1) is the value's absence, as in a registry from before it
  // (never one left by another area that stood in this place before).
  if (const int32_t held = HeldMessages(); held >= 0)
    registry.WriteInteger(section, "HeldMessages", held);
  else
    registry.DeleteValue(section, "HeldMessages");
  registry.WriteBool(section, "NToH", NToH);
  registry.WriteBool(section, "RandomOrig", RandomOrig);
  registry.WriteBool(section, "NoRex", NoRex);
  MaintainFilter.SaveToRegistry(registry, section + "\\Maintain");
  DisplayFilter.SaveToRegistry(registry, section + "\\DisplayMask");
}

void TArea::LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                             const TLinkList* uplinks) {
  std::array<uint8_t, kAreaRecordSize> record{};
  size_t size = 0;
  try {
    size = registry.ReadBinary(section, "Packed", record.data(), record.size());
  } catch (const platform::ERegistry&) {
    size = 0;  // a "Packed" of another type: read the older values
  }

  int32_t uplinkIndex = -1;
  bool withFilters = true;
  std::string storedFileName;
  if (size == kAreaRecordSize) {
    uplinkIndex = UnpackRecord(record.data());
    storedFileName = GetShortString(&record[RecordOffset::FileName]);
  } else {
    Name = registry.ReadString(section, "Name", Name);
    storedFileName = registry.ReadString(section, "Filename", FileName);
    FileName = StoredFileName(storedFileName);
    withFilters = !Name.empty();
    if (withFilters) {
      TextGroup = std::max<int32_t>(-1, registry.ReadInteger(section, "Textgroup", -1));
      ApplyAge = registry.ReadBool(section, "ApplyAge", true);
      ApplyNumber = registry.ReadBool(section, "ApplyNumber", true);
      TabsToSpaces = registry.ReadBool(section, "TabsToSpaces", true);
      NoSZ = registry.ReadBool(section, "NoSZ", true);
      NoUmlaute = registry.ReadBool(section, "NoUmlaute", true);
      Reflow = registry.ReadBool(section, "Reflow", true);
      Maintain = registry.ReadBool(section, "Maintain", true);
      AreaType = StoredType(registry.ReadInteger(section, "Type", 0));
      uplinkIndex = registry.ReadInteger(section, "Uplink", 0);
      MaxNumber = registry.ReadInteger(section, "MaxNumber", 1000);
      MaxAge = registry.ReadInteger(section, "MaxAge", 90);
    }
  }
  // Whether the name is a raw tag was judged where the tag arrived and
  // saved with the area; an area saved before that is judged once now, by
  // its stored bytes, and keeps the judgement from here on.
  const int32_t storedRaw = registry.ReadInteger(section, "RawTag", -1);
  RawTagJudged = false;
  if (storedRaw >= 0) {
    RawTag = storedRaw != 0;
  } else {
    RawTag = platform::IsRawTag(Name);
    if (registry.Registry().KeyExists(registry.KeyOf(section))) {
      try {
        registry.WriteInteger(section, "RawTag", RawTag ? 1 : 0);
        RawTagJudged = true;
      } catch (const platform::ERegistry&) {
        // Judged again by the same rule at the next load.
      }
    }
  }
  FileNameMoved = false;
  FileNameNote.clear();
  splitFiles_.clear();
  splitName_.clear();
  if (!platform::IsUtf8(storedFileName) && AreaType != AreaTypeCode::Prototype &&
      MoveStoredFileName(storedFileName)) {
    try {
      if (size == kAreaRecordSize) {
        PutShortString(&record[RecordOffset::FileName], FileName);
        registry.WriteBinary(section, "Packed", record.data(), record.size());
      } else {
        registry.WriteString(section, "Filename", FileName);
      }
      FileNameMoved = true;
    } catch (const platform::ERegistry&) {
      // The next load finds the files under the new name and takes it.
    }
  }
  // An area without a file name of its own would share its files with
  // every other such area: it takes the name's.
  if ((FileName.empty() || FileName == kNoFileName) && AreaType != AreaTypeCode::Prototype)
    SetFileName(Name);

  LastRead = registry.ReadInteger(section, "LastRead", 0);
  LastImport = std::max<int32_t>(-1, registry.ReadInteger(section, "LastImport", -1));
  heldMessages_.store(std::max<int32_t>(-1, registry.ReadInteger(section, "HeldMessages", -1)));
  NToH = registry.ReadBool(section, "NToH", false);
  RandomOrig = registry.ReadBool(section, "RandomOrig", RandomOrig);
  NoRex = registry.ReadBool(section, "NoRex", NoRex);
  if (withFilters) {
    MaintainFilter.LoadFromRegistry(registry, section + "\\Maintain");
    DisplayFilter.LoadFromRegistry(registry, section + "\\DisplayMask");
  }

  if (!uplinks || uplinks->GetCount() == 0 || uplinkIndex < 0)
    SetUplink(nullptr);
  else if (uplinkIndex >= uplinks->GetCount())
    SetUplink(uplinks->GetItem(0));
  else
    SetUplink(uplinks->GetItem(uplinkIndex));
}

bool TArea::MoveStoredFileName(const std::string& stored) {
  const std::string older = OlderFileName(stored);
  const std::string newer = AreaNameToFileName(stored, false);
  FileName = newer;
  // Where each of the area's files is: under the older name, the new one,
  // both (someone else's file in the way) or neither.
  std::vector<std::pair<std::string, std::string>> moves, movedBefore;
  std::string taken;
  bool mainFileMoved = false;
  for (const char* ext : kAreaFileExtensions) {
    const std::string from = BaseDir + older + ext;
    const std::string to = BaseDir + newer + ext;
    struct stat st;
    const bool atOlder = ::lstat(from.c_str(), &st) == 0;
    const bool atNewer = ::lstat(to.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (atOlder) moves.emplace_back(from, to);
    if (atNewer && !atOlder) {
      movedBefore.emplace_back(from, to);
      if (std::strcmp(ext, kPackedIndexExt) == 0 || std::strcmp(ext, kPackedBodyExt) == 0)
        mainFileMoved = true;
    }
    if (taken.empty() && NameTaken(to) && (atOlder || !atNewer)) taken = to;
  }
  // Nothing under the older name: a move whose new name was not saved
  // before the program ended is finished so. With no file under either name
  // (an area that has had no mail yet, or a message base folder emptied to
  // be moved by hand) nothing has moved: the stored name stays, so that the
  // files are found under it wherever they turn up.
  if (moves.empty()) {
    if (!movedBefore.empty()) return true;
    FileName = older;
    return false;
  }
  auto keepOlder = [&](const std::string& why) {
    FileName = older;
    FileNameNote = "The files of area " + NameInAnsi() + " keep their name " + older + ": " + why;
    return false;
  };
  // A move cut off after some of the files were renamed leaves each file
  // under one of the two names, the index or the body among those under the
  // new one: the rest follow. A file under the new name while the index and
  // the body are still under the older one is someone else's.
  if (taken.empty() && !mainFileMoved) {
    for (const char* ext : kAreaFileExtensions)
      if (NameTaken(BaseDir + newer + ext)) {
        taken = BaseDir + newer + ext;
        break;
      }
  }
  if (!taken.empty())
    return keepOlder(platform::LogName(taken) + " exists already");
  size_t done = 0;
  try {
    while (done < moves.size() && platform::RenameNoReplace(moves[done].first, moves[done].second))
      ++done;
  } catch (const platform::EFile&) {
  }
  if (done < moves.size()) {
    // Put back what was moved, the last first, so that the files stay
    // together under the older name (those of a move cut off before too).
    for (size_t i = done; i-- > 0;) {
      try {
        platform::RenameNoReplace(moves[i].second, moves[i].first);
      } catch (const platform::EFile&) {
      }
    }
    for (const auto& [from, to] : movedBefore) {
      try {
        platform::RenameNoReplace(to, from);
      } catch (const platform::EFile&) {
      }
    }
    // What could not be put back (a message base on read-only media) is
    // read under the name it has.
    for (const char* ext : kAreaFileExtensions) {
      struct stat st;
      if (::lstat((BaseDir + older + ext).c_str(), &st) != 0 &&
          ::lstat((BaseDir + newer + ext).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        splitFiles_.emplace_back(ext, newer);
    }
    if (!splitFiles_.empty()) splitName_ = older;
    return keepOlder(platform::LogName(moves[done].first) + " could not be renamed");
  }
  try {
    platform::FsyncPath(BaseDir.empty() ? "." : BaseDir);
  } catch (const platform::EFile&) {
  }
  return true;
}

// --- Flag counters ------------------------------------------------------------

bool TArea::HadMessages() const {
  if (const int32_t held = HeldMessages(); held >= 0) return held > 0;
  const bool system = AreaType >= AreaTypeCode::Badmail && AreaType <= AreaTypeCode::Netmail;
  return system ? LastRead > 0 || LastImport > 0 : LastRead > 0 || LastImport >= 0;
}

// By the record alone: the load turns the marks of a registry from before
// the record into one (RecountFlags), and marks a run sets on its way (an
// import's, before its first write) tell nothing of files that were there.
int32_t TArea::VanishedMessages() const {
  const int32_t held = HeldMessages();
  if (held <= 0 || IsSeparator() || AreaType == AreaTypeCode::Separator ||
      AreaType == AreaTypeCode::Prototype || FileName.empty())
    return 0;
  return platform::FileExists(FilePath(kPackedIndexExt)) ? 0 : held;
}

void TArea::ResetFlagCounters() {
  UnreadCount = ToSysopCount = UnreadToSysopCount = SendCount = 0;
  NewUnreadCount = NewUnreadToSysopCount = 0;
}

void TArea::CountFlags(uint16_t flags, int delta) {
  auto all = [flags](uint16_t mask) { return (flags & mask) == mask; };
  // -1 means the waiting messages have not been counted yet.
  if (all(MsgFlag::Send) && SendCount != -1) SendCount += delta;
  if (all(MsgFlag::Unread)) UnreadCount += delta;
  if (all(MsgFlag::ToSysop)) ToSysopCount += delta;
  if (all(MsgFlag::Unread | MsgFlag::ToSysop)) UnreadToSysopCount += delta;
  if (all(MsgFlag::New | MsgFlag::Unread)) NewUnreadCount += delta;
  if (all(MsgFlag::New | MsgFlag::Unread | MsgFlag::ToSysop)) NewUnreadToSysopCount += delta;
}

void TArea::ApplyImportMarks(std::vector<TMsgHeader>& headers, int32_t count, bool* changed) const {
  if (LastImport == -1) return;
  const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(headers.size()));
  const int32_t firstNew = std::max<int32_t>(0, std::min(n, LastImport));
  for (int32_t i = 0; i < n; ++i) {
    uint16_t& flags = headers[static_cast<size_t>(i)].Flags;
    const uint16_t before = flags;
    if (i < firstNew)
      flags &= static_cast<uint16_t>(~MsgFlag::New);
    else
      flags |= MsgFlag::New;
    if (changed && flags != before) *changed = true;
  }
}

// --- Index ------------------------------------------------------------------------

bool TArea::OpenIndex() {
  std::lock_guard guard(indexMutex_);
  if (indexLoaded_) {
    ++indexUseCount_;
    return true;
  }
  base_->RecoverInterruptedRewrite();
  Count = 0;
  ResetFlagCounters();
  std::vector<TMsgHeader> headers;
  const bool missing = !platform::FileExists(FilePath(kPackedIndexExt));
  IndexDamage.clear();
  if (!missing && !base_->ReadIndex(headers, &IndexDamage) && IndexDamage.empty()) return false;
  headers_ = std::move(headers);
  Count = static_cast<int32_t>(headers_.size());
  if (!missing && IndexDamage.empty()) heldMessages_.store(Count);
  // A missing file is written by the last close, as an empty index, unless
  // the area held messages: an empty index in their place would hide that
  // its files are gone. Nor does a look at such an area use up its import
  // marks: they are the marks of the messages that may come back.
  const bool vanished = missing && VanishedMessages() > 0;
  indexChanged_ = missing && !HadMessages();
  if (LastImport != -1 && !vanished) {
    bool marked = false;
    ApplyImportMarks(headers_, Count, &marked);
    LastImport = -1;
    if (marked) indexChanged_ = true;
  }
  indexUseCount_ = 1;
  indexLoaded_ = true;
  for (const auto& h : headers_) CountFlags(h.Flags, +1);
  return true;
}

void TArea::CloseIndex() { FinishIndexUse(true); }

void TArea::ReleaseIndex() { FinishIndexUse(false); }

void TArea::FinishIndexUse(bool write) {
  std::lock_guard guard(indexMutex_);
  if (!indexLoaded_) return;
  if (indexUseCount_ > 0) --indexUseCount_;
  if (indexUseCount_ > 0) return;
  // A failed write keeps the headers in memory, still marked as changed, so
  // that the next open uses them and the next close writes them again.
  if (write && indexChanged_ && IndexDamage.empty() && VanishedMessages() == 0) {
    if (!base_->WriteIndex(headers_, static_cast<size_t>(std::max(Count, 0)))) return;
    heldMessages_.store(std::max(Count, 0));
  }
  headers_.clear();
  headers_.shrink_to_fit();
  indexLoaded_ = false;
  indexChanged_ = false;
}

void TArea::MoveToBaseDir(const std::string& directory) {
  assert(!IsLocked());
  CloseBody();
  int32_t uses = 0;
  {
    std::lock_guard guard(indexMutex_);
    SetBaseDir(directory);
    base_->ForgetIndexFile();
    if (indexLoaded_) {
      uses = indexUseCount_;
      headers_.clear();
      headers_.shrink_to_fit();
      indexLoaded_ = false;
      indexChanged_ = false;
      indexUseCount_ = 0;
    }
  }
  if (uses == 0) {
    RecountFlags();
    return;
  }
  if (OpenIndex()) {
    std::lock_guard guard(indexMutex_);
    indexUseCount_ = uses;
  }
  std::lock_guard guard(AreaLockMutex());
  PostShellEvent(self_, ShellEvent::ReleasedExclusive);
}

bool TArea::WriteIndexNow() {
  std::lock_guard guard(indexMutex_);
  if (!indexLoaded_ || !indexChanged_) return true;
  // Nothing is written where the area's files vanished (VanishedMessages).
  if (VanishedMessages() > 0) {
    indexChanged_ = false;
    return true;
  }
  if (!IndexDamage.empty() || !base_->WriteIndex(headers_, static_cast<size_t>(std::max(Count, 0))))
    return false;
  heldMessages_.store(std::max(Count, 0));
  indexChanged_ = false;
  return true;
}

void TArea::RecountFlags() {
  std::lock_guard guard(indexMutex_);
  if (indexLoaded_) return;
  Count = 0;
  ResetFlagCounters();
  std::vector<TMsgHeader> headers;
  IndexDamage.clear();
  const bool found = platform::FileExists(FilePath(kPackedIndexExt));
  if (found && !base_->ReadIndex(headers, &IndexDamage) && IndexDamage.empty()) return;
  ApplyImportMarks(headers, static_cast<int32_t>(headers.size()), nullptr);
  Count = static_cast<int32_t>(headers.size());
  if (found && IndexDamage.empty()) {
    heldMessages_.store(Count);
  } else if (!found && HeldMessages() < 0 && HadMessages()) {
    // Files gone under a registry from before the record: the marks tell
    // how many messages there were at least, and the record keeps that now.
    heldMessages_.store(std::max({LastRead, LastImport, int32_t{1}}));
  }
  for (const auto& h : headers) CountFlags(h.Flags, +1);
}

TMsgHeader& TArea::GetHeader(int index) {
  if (!indexLoaded_ || index < 0 || index >= Count || static_cast<size_t>(index) >= headers_.size())
    throw EAreaHeaderMsgIndexOutOfRange::Reading(index);
  return headers_[static_cast<size_t>(index)];
}

bool TArea::SetHeader(int index, const TMsgHeader& header) {
  if (!indexLoaded_ || index < 0 || index >= Count || static_cast<size_t>(index) >= headers_.size())
    throw EAreaHeaderMsgIndexOutOfRange::Writing(index);
  TMsgHeader& stored = headers_[static_cast<size_t>(index)];
  // The substitute of a damaged message carries no real header: writing it
  // back would lose the way to the stored body and its names.
  if (header.BodyOffset == TMsgHeader::NotStored && stored.BodyOffset != TMsgHeader::NotStored)
    return false;
  CountFlags(stored.Flags, -1);
  CountFlags(header.Flags, +1);
  stored = header;
  indexChanged_ = true;
  return true;
}

void TArea::ChangeHeaderFlags(int index, uint16_t mask, int operation) {
  if (!indexLoaded_ || index < 0 || index >= Count || static_cast<size_t>(index) >= headers_.size())
    throw EAreaHeaderMsgIndexOutOfRange::Writing(index);
  TMsgHeader header = headers_[static_cast<size_t>(index)];
  switch (operation) {
    case FlagOperation::Clear: header.Flags &= static_cast<uint16_t>(~mask); break;
    case FlagOperation::Set: header.Flags |= mask; break;
    case FlagOperation::Toggle: header.Flags ^= mask; break;
    default: break;
  }
  SetHeader(index, header);
  indexChanged_ = true;
}

// --- Bodies and new messages ----------------------------------------------------

bool TArea::OpenBody() {
  CloseBody();
  int fd = ::open(FilePath(kPackedBodyExt).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  BodyHandle = fd;
  return true;
}

void TArea::CloseBody() {
  if (BodyHandle >= 0) ::close(BodyHandle);
  BodyHandle = kBodyClosed;
}

std::unique_ptr<TMail> TArea::ReadMail(int index) {
  TMsgHeader stored;
  if (indexLoaded_ && index >= 0 && index < Count && static_cast<size_t>(index) < headers_.size()) {
    stored = headers_[static_cast<size_t>(index)];
    if (auto mail = base_->ReadStoredMail(stored, BodyHandle)) return mail;
  }
  return MakeSubstituteMail(*this, stored);
}

namespace {

void StampMail(TMail& mail) {
  const TDateTime date = mail.GetPacketDate();
  mail.Header.Created = date > 0 ? DateTimeToUnix(date) : 0;
  mail.Header.Tossed = NowLocalUnix();
}

}  // namespace

void TArea::QueueMail(std::unique_ptr<TMail> mail, bool stamp) {
  if (!mail) return;
  if (stamp) StampMail(*mail);
  std::lock_guard guard(queueMutex_);
  queue_.push_back(std::move(mail));
}

size_t TArea::QueuedCount() const {
  std::lock_guard guard(queueMutex_);
  return queue_.size();
}

void TArea::ClearQueue() {
  std::lock_guard guard(queueMutex_);
  queue_.clear();
}

TArea::MailBatch TArea::TakeQueue() {
  std::lock_guard guard(queueMutex_);
  MailBatch batch;
  batch.swap(queue_);
  return batch;
}

bool TArea::WriteQueuedMail(bool freeMails, bool markAsImport) {
  if (markAsImport) {
    LastImport = Count;
    NewUnreadCount = 0;
    NewUnreadToSysopCount = 0;
  } else if (LastImport != -1) {
    // Opening and closing the index applies and stores the import marks.
    if (OpenIndex()) CloseIndex();
  }
  return AppendQueuedMail(freeMails);
}

bool TArea::AppendQueuedMail(bool freeMails) { return AppendMails(TakeQueue(), freeMails); }

bool TArea::StoreMail(std::unique_ptr<TMail> mail) {
  MailBatch batch;
  batch.push_back(std::move(mail));
  return StoreMails(std::move(batch));
}

bool TArea::StoreMails(MailBatch mails) {
  assert(IsLockedExclusive());
  // Opening and closing the index applies and stores the import marks.
  if (LastImport != -1 && OpenIndex()) CloseIndex();
  std::erase(mails, nullptr);
  for (auto& mail : mails) StampMail(*mail);
  return AppendMails(std::move(mails), true);
}

bool TArea::AppendMails(MailBatch batch, bool freeMails) {
  WrittenCount = static_cast<int32_t>(batch.size());
  if (batch.empty()) return true;
  // New mail is what may make vanished files anew; the run says so.
  const int32_t lost = VanishedMessages();
  remadeNote_.clear();
  // A loaded index is written now and loaded again afterwards, so that the
  // appended records follow the current ones.
  const bool wasLoaded = indexLoaded_;
  const int32_t useCount = indexUseCount_;
  if (wasLoaded) {
    if (!IndexDamage.empty() ||
        !base_->WriteIndex(headers_, static_cast<size_t>(std::max(Count, 0)))) {
      WriteError = TMessageBase::Reason(FilePath(kPackedIndexExt), "cannot be rewritten");
      return false;
    }
    std::lock_guard guard(indexMutex_);
    headers_.clear();
    headers_.shrink_to_fit();
    indexLoaded_ = false;
    indexChanged_ = false;
    indexUseCount_ = 0;
  }
  CloseBody();
  std::vector<uint16_t> stored;
  const bool ok = base_->Append(batch, stored);
  Count += static_cast<int32_t>(stored.size());
  for (uint16_t flags : stored) CountFlags(flags, +1);
  if (!stored.empty()) heldMessages_.store(Count);
  if (lost > 0 && !stored.empty())
    remadeNote_ = "area " + NameInAnsi() + " held " + std::to_string(lost) +
                  (lost == 1 ? " message" : " messages") +
                  "; its files were missing and were made anew";
  if (!freeMails)
    for (auto& mail : batch) KeptMails.push_back(std::move(mail));
  if (wasLoaded && useCount > 0 && OpenIndex()) indexUseCount_ = useCount;
  return ok;
}

std::unique_ptr<TMail> MakeSubstituteMail(const TArea& area, const TMsgHeader& stored) {
  const std::string from = "Messagebase Controller";
  const std::string to = "Current User";
  const std::string subject = "Messagebase Format Error";
  const std::string text =
      "This Message contains invalid data (CRC failure).\rPlease delete the message.\r";

  std::string body(MailBodyOffset::Date, '\0');
  body[0] = 2;  // message type 2
  std::string date = FtsDateNow();
  date.resize(kMailDateSize, '\0');
  body += date;
  body += to + '\0' + from + '\0' + subject + '\0';
  const size_t textOffset = body.size();
  body += text + '\0';

  TMsgHeader h;
  h.Reserved0 = stored.Reserved0;
  h.FromName = from;
  h.ToName = to;
  h.Subject = subject;
  h.AreaName = area.Name;
  h.Created = h.Tossed = NowLocalUnix();
  h.TextOffset = static_cast<uint16_t>(textOffset);
  h.BodyLength = static_cast<uint32_t>(body.size());
  auto mail = std::make_unique<TMail>(std::move(body), h);
  mail->Header.BodyOffset = TMsgHeader::NotStored;
  return mail;
}

// --- Lock -------------------------------------------------------------------------

bool TArea::Lock(bool exclusive) {
  std::lock_guard guard(AreaLockMutex());
  if (locked_) {
    if (shared_ && !exclusive) {
      ++holdCount_;
      return true;
    }
    return false;
  }
  locked_ = true;
  shared_ = !exclusive;
  holdCount_ = 1;
  PostShellEvent(self_, exclusive ? ShellEvent::LockedExclusive : ShellEvent::LockedShared);
  return true;
}

void TArea::Unlock() {
  std::lock_guard guard(AreaLockMutex());
  if (!locked_) return;
  if (--holdCount_ > 0) return;
  const bool wasShared = shared_;
  locked_ = false;
  shared_ = false;
  holdCount_ = 0;
  PostShellEvent(self_, wasShared ? ShellEvent::ReleasedShared : ShellEvent::ReleasedExclusive);
}

bool TArea::IsReadable() const {
  std::lock_guard guard(AreaLockMutex());
  return !locked_ || shared_;
}

bool TArea::IsLockedExclusive() const {
  std::lock_guard guard(AreaLockMutex());
  return locked_ && !shared_;
}

bool TArea::IsLocked() const {
  std::lock_guard guard(AreaLockMutex());
  return locked_;
}

bool TArea::IsSharedLocked() const {
  std::lock_guard guard(AreaLockMutex());
  return locked_ && shared_;
}

int32_t TArea::HoldCount() const {
  std::lock_guard guard(AreaLockMutex());
  return holdCount_;
}

bool TArea::WaitLock(bool exclusive, const std::function<bool()>& aborted,
                     std::chrono::milliseconds interval) {
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  for (;;) {
    if (Lock(exclusive)) return true;
    if (aborted && aborted()) return false;
    // The main thread keeps the program responsive while it waits.
    if (dispatcher.IsMainThread()) dispatcher.ProcessMessages();
    std::this_thread::sleep_for(interval);
  }
}

bool TArea::LockForCommand(bool exclusive) {
  if (Lock(exclusive)) return true;
  const std::string text = "The area " + NameInAnsi() + " is in use!";
  platform::GetPrompter().Ask(platform::MsgKind::Information,
                              platform::AnsiToUtf8(text), platform::mbOk);
  return false;
}

// --- Area list ----------------------------------------------------------------------

void TAreaList::MoveUp(int index) {
  if (index <= 0 || index >= GetCount()) return;
  TTypedList<TArea>::MoveUp(index);
  PostRefreshAreaList();
}

void TAreaList::MoveDown(int index) {
  if (index < 0 || index >= GetCount() - 1) return;
  TTypedList<TArea>::MoveDown(index);
  PostRefreshAreaList();
}

std::vector<TArea*> TAreaList::Areas() const {
  std::vector<TArea*> areas;
  for (int i = 0; i < GetCount(); ++i) {
    if (GetString(i) == kSeparatorName) continue;
    if (TArea* area = GetItem(i)) areas.push_back(area);
  }
  return areas;
}

TArea* TAreaList::Adopt(std::unique_ptr<TArea> area, int index) {
  TArea* raw = area.get();
  owned_.push_back(std::move(area));
  if (index < 0)
    Add(raw);
  else
    Insert(index, raw);
  return raw;
}

std::unique_ptr<TArea> TAreaList::Remove(int index) {
  if (index < 0 || index >= GetCount()) return nullptr;
  TArea* area = GetItem(index);
  Delete(index);
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    if (it->get() != area) continue;
    std::unique_ptr<TArea> taken = std::move(*it);
    owned_.erase(it);
    return taken;
  }
  return nullptr;
}

void TAreaList::FreeAll() {
  Clear();
  owned_.clear();
}

bool TAreaList::SameName(const std::string& a, const std::string& b) const {
  return platform::SameTag(a, b);
}

TAreaList* GetAreaList() { return gAreaList.load(std::memory_order_acquire); }

void SetAreaList(TAreaList* list) { gAreaList.store(list, std::memory_order_release); }

}  // namespace velmaris

#include "core/ConfigStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "core/KQMail.h"
#include "core/MailLock.h"
#include "core/MessageBase.h"
#include "core/RunJournal.h"
#include "core/SerialCounter.h"
#include "core/ShellServices.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"

namespace velmaris {

namespace {

constexpr const char* kAreasSection = "Areas";
constexpr const char* kUplinksSection = "Uplinks";
constexpr const char* kMailboxesSection = "Mailboxes";
constexpr const char* kAddressbookSection = "Addressbook";
constexpr const char* kGroupsSection = "Groups";
constexpr const char* kPrototypeSection = "Areas\\Prototype";
// More areas than this in "Areas" "Count" is a damaged value.
constexpr int32_t kMaxStoredAreas = 65535;

std::atomic<TConfigStore*> currentStore{nullptr};

using platform::EqualNoCase;

// The files of the message base that hold no mail: they go along when the
// base folder changes.
constexpr const char* kFilesWithoutMail[] = {kDupesFileName};

std::string AbsoluteDirectory(const std::string& dir) {
  std::filesystem::path path(dir.empty() ? std::string(".") : dir);
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  std::string text = (ec ? path : absolute.lexically_normal()).string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// Runs fn on the main thread: at once when already there, else handed over
// and waited for.
template <class Fn>
auto OnMainThread(Fn fn) -> decltype(fn()) {
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  if (dispatcher.IsMainThread()) return fn();
  decltype(fn()) result{};
  dispatcher.Send([&] { result = fn(); });
  return result;
}

// The directory settings, each created when missing.
constexpr SettingId kDirectorySettings[] = {
    SettingId::InboundDir, SettingId::OutboundDir, SettingId::MsgBaseDir, SettingId::FileBaseDir,
    SettingId::FTNDir,     SettingId::KQLDIr,      SettingId::PluginDir,
};

}  // namespace

// Keeps the areas' text-group indices in step when groups are deleted or
// moved (the prototype's too).
class TConfigStore::TextGroupUsers : public TTextGroupUsers {
 public:
  explicit TextGroupUsers(TConfigStore& store) : store_(store) {}
  void RemapTextGroups(const std::function<int32_t(int32_t)>& remap) override {
    for (int i = 0; i < store_.areas_.GetCount(); ++i)
      if (TArea* area = store_.areas_.GetItem(i)) area->TextGroup = remap(area->TextGroup);
    if (store_.prototype_) store_.prototype_->TextGroup = remap(store_.prototype_->TextGroup);
  }

 private:
  TConfigStore& store_;
};

TConfigStore::TConfigStore(const std::string& startDir, platform::Registry& registry,
                           Settings* settings)
    : startDir_(AbsoluteDirectory(startDir)),
      registry_(registry),
      winRegistry_(kConfigRootKey, registry, startDir_),
      settings_(settings) {
  if (!settings_) {
    ownSettings_ = std::make_unique<Settings>(startDir_);
    settings_ = ownSettings_.get();
  }
  prototype_ = std::make_unique<TArea>("", "Prototyp", "", AreaTypeCode::Prototype);
  mailboxes_.SetLinkList(&uplinks_);
  textGroupUsers_ = std::make_unique<TextGroupUsers>(*this);
  textGroups_.SetUsers(textGroupUsers_.get());
}

TConfigStore::~TConfigStore() {
  // Nothing that goes with the store may save it: its lists are being freed.
  closed_ = true;
  if (currentStore.load() == this) currentStore.store(nullptr);
  if (GetAreaList() == &areas_) SetAreaList(nullptr);
  try {
    if (&GetSettings() == settings_) SetSettings(nullptr);
  } catch (const ESettings&) {
    // None set.
  }
  textGroups_.SetUsers(nullptr);
  areas_.FreeAll();
}

void TConfigStore::MakeCurrent() {
  currentStore.store(this);
  SetAreaList(&areas_);
  SetSettings(settings_);
}

std::string TConfigStore::MessageBaseDir() const { return settings_->Snapshot()->MsgBaseDir(); }

// --- Loading ----------------------------------------------------------------------

void TConfigStore::LoadConfiguration() {
  // Nothing the start-up adds is saved by itself: it is derived from the
  // stored configuration again at the next start.
  ++changeDepth_;
  try {
    LoadFromRegistry();
    if (uplinks_.GetCount() == 0) AddNewLink();
    UpdateOutbounds();
    if (textGroups_.GetCount() == 0) AddDefaultTextGroup();
    for (auto& section : sections_)
      if (section) section->AfterLoad(*this);
    NoteMessageBaseGone();
    CreateDirectories();
    UpgradeMessageBase(winRegistry_);
  } catch (...) {
    --changeDepth_;
    savePending_ = false;
    throw;
  }
  --changeDepth_;
  savePending_ = false;
}

void TConfigStore::LoadFromRegistry() {
  settings_->LoadFromRegistry(winRegistry_);
  const auto values = settings_->Snapshot();
  ApplyCodePages(*values);
  uplinks_.LoadFromRegistry(winRegistry_, kUplinksSection, values->OutboundDir());

  auto prototype = std::make_unique<TArea>("", "Prototyp", "", AreaTypeCode::Prototype);
  prototype->LoadFromRegistry(winRegistry_, kPrototypeSection, &uplinks_);
  prototype->AreaType = AreaTypeCode::Prototype;
  prototype_ = std::move(prototype);
  LoadAreas();

  LoadSection(TConfigSlot::Packers);
  LoadSection(TConfigSlot::Filters);
  LoadSection(TConfigSlot::AutosendJobs);
  LoadSection(TConfigSlot::MailerProfiles);
  addressBook_.LoadFromRegistry(winRegistry_, kAddressbookSection);
  addressGroups_.LoadFromRegistry(winRegistry_, kGroupsSection);
  LoadSection(TConfigSlot::UnpackJobs);
  LoadNodelistConfiguration(winRegistry_, nodelists_, pointlists_);
  mailboxes_.LoadFromRegistry(winRegistry_, kMailboxesSection);
  textGroups_.LoadFromRegistry(winRegistry_);
  LoadSerialsFromRegistry(winRegistry_);
}

void TConfigStore::LoadAreas() {
  areas_.BeginUpdate();
  areas_.FreeAll();
  const std::string dir = MessageBaseDir();
  bool moved = false;
  const int32_t count =
      std::clamp(winRegistry_.ReadInteger(kAreasSection, "Count", 0), 0, kMaxStoredAreas);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string section = std::string(kAreasSection) + "\\Area" + std::to_string(n);
    // A count beyond the stored entries must not make areas out of nothing.
    if (!registry_.KeyExists(winRegistry_.KeyOf(section))) continue;
    auto area = TArea::CreateFromRegistry(winRegistry_, section, dir, &uplinks_);
    NoteFileNameMove(*area, moved);
    if (area->IsSeparator()) {
      area->AreaType = AreaTypeCode::Separator;
      areas_.Adopt(std::move(area));
      continue;
    }
    // A duplicate is dropped and freed. An area an earlier version made
    // beside another from a tag in other Cyrillic capitals stays with its
    // mail; lookups find the first of the two.
    if (area->Name.empty() || FindAreaLatinCase(area->Name, area->RawTag)) continue;
    if (EqualNoCase(area->Name, kReportAreaName)) area->AreaType = AreaTypeCode::Report;
    if (EqualNoCase(area->Name, kNetmailAreaName)) area->AreaType = AreaTypeCode::Netmail;
    if (EqualNoCase(area->Name, kBadAreaName)) area->AreaType = AreaTypeCode::Badmail;
    if (EqualNoCase(area->Name, kDupesAreaName)) area->AreaType = AreaTypeCode::Dupes;
    area->RecountFlags();
    areas_.Adopt(std::move(area));
  }
  EnsureSystemArea(kDupesAreaName, "DUPES", AreaTypeCode::Dupes, "Areas\\Dupes", moved);
  EnsureSystemArea(kBadAreaName, "BADMAIL", AreaTypeCode::Badmail, "Areas\\Badmail", moved);
  EnsureSystemArea(kNetmailAreaName, "NETMAIL", AreaTypeCode::Netmail, "Areas\\Netmail", moved);
  areas_.EndUpdate();
  // Files renamed to a new name: the name is saved at once, before anything
  // else can go wrong.
  if (moved) {
    try {
      winRegistry_.Flush();
    } catch (const std::exception& e) {
      Log(std::string("The new file names of areas could not be saved: ") + e.what());
    }
  }
}

void TConfigStore::NoteFileNameMove(const TArea& area, bool& moved) const {
  if (!area.FileNameNote.empty()) Log(area.FileNameNote);
  if (area.FileNameMoved || area.RawTagJudged) moved = true;
}

void TConfigStore::EnsureSystemArea(const char* name, const char* fileName, uint8_t type,
                                    const char* section, bool& moved) {
  if (FindArea(name)) return;
  auto area = std::make_unique<TArea>(MessageBaseDir(), name, fileName, type);
  area->LoadFromRegistry(winRegistry_, section, &uplinks_);
  NoteFileNameMove(*area, moved);
  area->Name = name;
  area->RawTag = false;
  area->NameFilters();
  area->RecountFlags();
  area->AreaType = type;
  areas_.Adopt(std::move(area), 0);
}

void TConfigStore::LoadSection(TConfigSlot slot) {
  if (TConfigSection* section = sections_[static_cast<size_t>(slot)].get())
    section->LoadFromRegistry(*this, winRegistry_);
}

void TConfigStore::SaveSection(TConfigSlot slot) {
  if (TConfigSection* section = sections_[static_cast<size_t>(slot)].get())
    section->SaveToRegistry(*this, winRegistry_);
}

void TConfigStore::CreateDirectories() {
  const auto values = settings_->Snapshot();
  std::string failed;
  for (SettingId id : kDirectorySettings) {
    const std::string& dir = values->Text(id);
    if (!dir.empty() && !ForceDirectoryPath(dir)) failed += "\n" + dir;
  }
  if (!failed.empty()) ReportError("Could not create the directories:" + failed);
}

std::string TConfigStore::MessageBaseStillGone() const {
  // The areas' names and folders change on the main thread only.
  assert(platform::GetDispatcher().IsMainThread());
  return MessageBaseGoneLine();
}

TConfigStore::TBaseRecords TConfigStore::MessageBaseRecords() const {
  TBaseRecords records;
  records.Base = MessageBaseDir();
  for (int i = 0; i < areas_.GetCount(); ++i) {
    const TArea* area = areas_.GetItem(i);
    if (!area || area->IsSeparator() || area->AreaType == AreaTypeCode::Report ||
        area->AreaType == AreaTypeCode::Separator || area->AreaType == AreaTypeCode::Prototype ||
        area->HeldMessages() <= 0)  // by the record, as TArea::VanishedMessages
      continue;
    records.Held.emplace_back(area->NameInAnsi(), area->FilePath(kPackedIndexExt));
  }
  return records;
}

// An area is gone when its record says it held messages and its index is
// not in the folder, whatever the other areas hold. The folder may still
// hold the lock a run makes, the duplicate database a start writes and the
// areas a run fills of its own (REPORT, left out here): none of that is the
// mail the areas listed. Every area gone is named: the user learns which.
TConfigStore::TBaseLook TConfigStore::MessageBaseLook(const TBaseRecords& records) {
  std::string names;
  bool kept = false;
  for (const auto& [name, index] : records.Held) {
    if (platform::FileExists(index)) {
      kept = true;
      continue;
    }
    names += (names.empty() ? "" : ", ") + name;
  }
  TBaseLook look;
  if (names.empty()) return look;
  if (kept) {
    look.Line = "The message base folder " + platform::LogName(records.Base) +
                " lacks the files of areas that had messages (" + names +
                "): were they moved or deleted, or is their drive away? New mail for them goes "
                "there.";
    return look;
  }
  look.OutOfReach = true;
  look.Line = "The message base folder " + platform::LogName(records.Base) +
              (platform::DirExists(records.Base) ? " is empty" : " is missing") +
              ", though areas listed had messages (" + names +
              "): was it moved, or is its drive away? No mail is stored there until it is back.";
  return look;
}

std::string TConfigStore::MessageBaseGoneLine() const {
  return MessageBaseLook(MessageBaseRecords()).Line;
}

std::string TConfigStore::RefusalOf(const TBaseLook& look) {
  if (!look.OutOfReach) return {};
  return look.Line + " Nothing is stored; the mail waits in the inbound.";
}

std::string TConfigStore::MessageBaseRefusal() const {
  assert(platform::GetDispatcher().IsMainThread());
  return RefusalOf(MessageBaseLook(MessageBaseRecords()));
}

void TConfigStore::NoteMessageBaseGone() {
  baseGone_ = MessageBaseGoneLine();
  if (baseGone_.empty()) return;
  if (logSink_) std::cerr << "velmaris: " << baseGone_ << std::endl;
  Log(baseGone_);
}

// --- Saving -----------------------------------------------------------------------

void TConfigStore::SaveToRegistry() {
  WriteRegistryTree();
  winRegistry_.Flush();
}

std::string TConfigStore::StageConfiguration() {
  return OnMainThread([this]() -> std::string {
    if (closed_) throw std::runtime_error("the configuration is closed");
    WriteRegistryTree();
    const platform::Registry& registry = winRegistry_.Registry();
    if (registry.Path().empty()) return {};
    // The staged file goes in place by a rename, which takes the place of a
    // file or a link, never of anything else: that is found out now, while
    // the run can still be undone.
    struct stat st {};
    if (::lstat(registry.Path().c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
      throw platform::ERegistry("cannot save the registry: " + platform::LogName(registry.Path()) +
                                " is no file");
    const std::string staged = registry.Path() + ".New";
    platform::WriteFileAtomic(staged, registry.ToText());
    return staged;
  });
}

void TConfigStore::WriteRegistryTree() {
  settings_->SaveToRegistry(winRegistry_);
  mailboxes_.SaveToRegistry(winRegistry_, kMailboxesSection);
  addressBook_.SaveToRegistry(winRegistry_, kAddressbookSection);
  addressGroups_.SaveToRegistry(winRegistry_, kGroupsSection);
  SaveSection(TConfigSlot::UnpackJobs);
  SaveNodelistConfiguration(winRegistry_, nodelists_, pointlists_);
  SaveSection(TConfigSlot::Packers);
  uplinks_.SaveToRegistry(winRegistry_, kUplinksSection);
  for (int i = 0; i < areas_.GetCount(); ++i)
    areas_.GetItem(i)->SaveToRegistry(
        winRegistry_, std::string(kAreasSection) + "\\Area" + std::to_string(i + 1), &uplinks_);
  winRegistry_.WriteInteger(kAreasSection, "Count", areas_.GetCount());
  winRegistry_.DeleteEntriesBeyond(kAreasSection, "Area", areas_.GetCount());
  prototype_->SaveToRegistry(winRegistry_, kPrototypeSection, &uplinks_);
  SaveSection(TConfigSlot::Filters);
  SaveSection(TConfigSlot::AutosendJobs);
  SaveSection(TConfigSlot::MailerProfiles);
  textGroups_.SaveToRegistry(winRegistry_);
  SaveSerialsToRegistry(winRegistry_);
  WriteUpdateMarker("Enhanced Headers", true);
}

bool TConfigStore::SaveConfiguration() {
  return OnMainThread([this]() -> bool {
    if (closed_) {
      Log("A configuration change after the last save at the end is not saved");
      return false;
    }
    if (changeDepth_ > 0) {
      savePending_ = true;
      return true;
    }
    try {
      SaveToRegistry();
      return true;
    } catch (const std::exception& e) {
      ReportError(std::string("The configuration could not be saved: ") + e.what());
      return false;
    }
  });
}

bool TConfigStore::SaveAndClose() {
  return OnMainThread([this] {
    if (closed_) return false;
    changeDepth_ = 0;
    savePending_ = false;
    const bool saved = SaveConfiguration();
    closed_ = true;
    return saved;
  });
}

void TConfigStore::BeginChanges() {
  OnMainThread([this] { return ++changeDepth_; });
}

bool TConfigStore::EndChanges() {
  return OnMainThread([this] {
    if (changeDepth_ > 0) --changeDepth_;
    if (changeDepth_ > 0 || !savePending_) return true;
    savePending_ = false;
    return SaveConfiguration();
  });
}

void TConfigStore::StructureChanged() { SaveConfiguration(); }

bool TConfigStore::ReadUpdateMarker(const std::string& name) const {
  return winRegistry_.ReadBool(kUpdatesSection, name, false);
}

void TConfigStore::WriteUpdateMarker(const std::string& name, bool value) {
  winRegistry_.WriteBool(kUpdatesSection, name, value);
}

void TConfigStore::SetSection(TConfigSlot slot, std::unique_ptr<TConfigSection> section) {
  sections_.at(static_cast<size_t>(slot)) = std::move(section);
}

TConfigSection* TConfigStore::Section(TConfigSlot slot) const {
  return sections_.at(static_cast<size_t>(slot)).get();
}

// --- Changes ----------------------------------------------------------------------

TArea* TConfigStore::FindArea(const std::string& name) const {
  for (int i = 0; i < areas_.GetCount(); ++i) {
    TArea* area = areas_.GetItem(i);
    if (area && !area->IsSeparator() && area->HasName(name)) return area;
  }
  return nullptr;
}

TArea* TConfigStore::FindArea(const std::string& name, bool raw) const {
  for (int i = 0; i < areas_.GetCount(); ++i) {
    TArea* area = areas_.GetItem(i);
    if (area && !area->IsSeparator() && area->HasName(name, raw)) return area;
  }
  return nullptr;
}

TArea* TConfigStore::FindAreaLatinCase(const std::string& name, bool raw) const {
  for (int i = 0; i < areas_.GetCount(); ++i) {
    TArea* area = areas_.GetItem(i);
    if (area && !area->IsSeparator() && area->RawTag == raw && EqualNoCase(area->Name, name))
      return area;
  }
  return nullptr;
}

TArea* TConfigStore::AddArea(const std::string& name, const std::string& fileNameSource,
                             uint8_t areaType, TNetLink* uplink, std::optional<bool> rawTag) {
  return OnMainThread(
      [&] { return NewArea(name, fileNameSource, areaType, uplink, false, rawTag); });
}

TArea* TConfigStore::AddAreaQuiet(const std::string& name, const std::string& fileNameSource,
                                  uint8_t areaType, TNetLink* uplink, std::optional<bool> rawTag) {
  return OnMainThread(
      [&] { return NewArea(name, fileNameSource, areaType, uplink, true, rawTag); });
}

std::string TConfigStore::UniqueAreaFileName(const std::string& fileName) const {
  auto taken = [this](const std::string& candidate) {
    for (int i = 0; i < areas_.GetCount(); ++i) {
      const TArea* other = areas_.GetItem(i);
      if (other && !other->IsSeparator() && platform::EqualNoCase(other->FileName, candidate))
        return true;
    }
    return false;
  };
  if (!taken(fileName)) return fileName;
  for (int n = 2;; ++n) {
    const std::string suffix = "~" + std::to_string(n);
    std::string candidate =
        std::string(platform::Utf8Prefix(fileName, kAreaFileNameMax - suffix.size())) + suffix;
    if (!taken(candidate)) return candidate;
  }
}

TArea* TConfigStore::NewArea(const std::string& name, const std::string& fileNameSource,
                             uint8_t areaType, TNetLink* uplink, bool quiet,
                             std::optional<bool> rawTag) {
  if (name.empty()) return nullptr;
  const bool raw = rawTag.value_or(platform::IsRawTag(name));
  if (const TArea* existing = areaType != AreaTypeCode::Separator ? FindArea(name, raw) : nullptr) {
    // The name reads as the area it names reads its own.
    if (!quiet)
      platform::GetPrompter().Ask(
          platform::MsgKind::Error,
          "The area \"" + platform::TagText(name, existing->RawTag) + "\" already exists!",
          platform::mbAbort);
    return nullptr;
  }
  const std::string dir = MessageBaseDir();
  ForceDirectoryPath(dir);
  auto area = TArea::CreateFromPrototype(dir, name, fileNameSource, areaType, *prototype_, raw);
  if (areaType != AreaTypeCode::Separator) area->FileName = UniqueAreaFileName(area->FileName);
  area->SetUplink(uplink);
  area->RecountFlags();
  TArea* added = areas_.Adopt(std::move(area));
  if (TShellServices* shell = GetShellServices()) shell->RefreshAreaList();
  StructureChanged();
  return added;
}

bool TConfigStore::CanKillArea(const TArea& area) {
  return area.AreaType < AreaTypeCode::Badmail || area.AreaType > AreaTypeCode::Netmail;
}

bool TConfigStore::HasAreaProperties(const TArea& area) {
  return area.AreaType != AreaTypeCode::Separator && !area.IsSeparator();
}

bool TConfigStore::KillSeparator(int index) {
  return OnMainThread([this, index] {
    if (index < 0 || index >= areas_.GetCount()) return false;
    TArea* area = areas_.GetItem(index);
    if (!area || !area->IsSeparator()) return false;
    area->DeleteFiles();
    areas_.Remove(index);
    if (TShellServices* shell = GetShellServices()) shell->RefreshAreaList();
    StructureChanged();
    return true;
  });
}

TNetLink* TConfigStore::AddNewLink() {
  return OnMainThread([this] {
    auto link = std::make_unique<TNetLink>(Values()->OutboundDir());
    link->Name = "<New Uplink>";
    link->UplinkAddress.SetText("2:3/4");
    link->SysopAddress.SetText("2:3/4.5");
    TNetLink* added = uplinks_.Add(std::move(link));
    StructureChanged();
    return added;
  });
}

TMailBox* TConfigStore::AddDefaultMailbox() {
  return OnMainThread([this] {
    auto mailbox = std::make_unique<TMailBox>();
    mailbox->Name = "ACME Mailbox";
    mailbox->Sysop = "Sysop";
    mailbox->Address.SetText("2:8/15");
    TMailBox* added = mailboxes_.Add(std::move(mailbox));
    StructureChanged();
    return added;
  });
}

TTextGroup* TConfigStore::AddDefaultTextGroup() {
  return OnMainThread([this] {
    auto group = std::make_unique<TTextGroup>();
    FillDefaultTextGroup(*group, Values()->SysopNames());
    TTextGroup* added = textGroups_.Add("New Group", std::move(group));
    StructureChanged();
    return added;
  });
}

void TConfigStore::UpdateOutbounds() { uplinks_.UpdateOutbounds(*settings_->Snapshot()); }

std::string TConfigStore::GetUplinkOutbound(int32_t zone) const {
  return velmaris::GetUplinkOutbound(*settings_->Snapshot(), zone);
}

namespace {

std::atomic<TMessageBaseFiles*> baseFilesInForce{nullptr};

// The files without mail while no later layer keeps them in use: copied by
// their bytes, never over a file of the new folder.
class TPlainBaseFiles : public TMessageBaseFiles {
 public:
  std::string Check(const std::string& from, const std::string& to) override {
    for (const char* name : kFilesWithoutMail)
      if (platform::FileExists(from + name) && platform::FileExists(to + name))
        return "The message base stays in " + platform::LogName(from) + ": its " + name +
               " cannot go along, since " + platform::LogName(to) +
               " holds one of its own. Move one of them away and change the folder again.";
    return {};
  }
  std::string CopyTo(const std::string& from, const std::string& to) override {
    copied_.clear();
    for (const char* name : kFilesWithoutMail) {
      if (!platform::FileExists(from + name)) continue;
      try {
        if (platform::FileExists(to + name))
          throw platform::EFile(platform::LogName(to) + " holds a " + name + " of its own");
        platform::WriteFileAtomic(to + name, platform::ReadFile(from + name));
        copied_.push_back(name);
      } catch (const std::exception& e) {
        Settle(from, to, false);
        return "The message base stays in " + platform::LogName(from) + ": its " + name +
               " could not be written to " + platform::LogName(to) + " (" + e.what() + ").";
      }
    }
    return {};
  }
  void Settle(const std::string& from, const std::string& to, bool moved) override {
    for (const std::string& name : copied_) ::unlink(((moved ? from : to) + name).c_str());
    copied_.clear();
  }

 private:
  std::vector<std::string> copied_;
};

TMessageBaseFiles& BaseFiles() {
  static TPlainBaseFiles plain;
  TMessageBaseFiles* files = baseFilesInForce.load();
  return files ? *files : plain;
}

}  // namespace

TMessageBaseFiles* MessageBaseFilesInForce() { return baseFilesInForce.load(); }
void SetMessageBaseFilesInForce(TMessageBaseFiles* files) { baseFilesInForce.store(files); }

std::string TConfigStore::MessageBaseMoveRefusal(const std::string& dir) const {
  const std::string from = AbsoluteDirectory(MessageBaseDir());
  const std::string to = AbsoluteDirectory(dir);
  // Another spelling of the same folder (a link to it) is no move.
  if (platform::SamePlace(from, to)) return {};
  std::string holds;
  for (int i = 0; i < areas_.GetCount() && holds.empty(); ++i) {
    const TArea* area = areas_.GetItem(i);
    if (!area || area->IsSeparator()) continue;
    if (area->IsLocked())
      return "The message base cannot be moved while the area " + area->NameInAnsi() +
             " is in use. Try again when it is free.";
    if (!area->FirstFile().empty()) holds = "the files of the area " + area->NameInAnsi();
  }
  for (const char* name : {kImportJournalName, kExportJournalName})
    if (holds.empty() && platform::FileExists(from + name)) holds = name;
  if (!holds.empty())
    return "The message base stays in " + platform::LogName(from) + ": it holds " + holds +
           ", which would not be found in " + platform::LogName(to) +
           ". To move it, end Velmaris, move the files of the folder there, start Velmaris and "
           "change the folder then.";
  // The files that hold no mail go along.
  return BaseFiles().Check(from, to);
}

namespace {

// Removes a folder made for a move that did not happen, with the lock file
// the move took there; a folder that holds anything else stays.
void RemoveMadeFolder(const std::string& dir) {
  std::error_code ec;
  const std::string lockFile = platform::InstanceGuard::StartDirectoryPath(dir);
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    if (entry.path().string() != lockFile) return;
  std::filesystem::remove(lockFile, ec);
  std::filesystem::remove(dir, ec);
}

// Why the new message base folder cannot be used ("" when it can): it
// cannot be made, or not written (read-only media, no permission).
std::string BaseFolderProblem(const std::string& dir) {
  try {
    platform::MakeDirs(platform::WithoutSlash(dir));
  } catch (const std::exception& e) {
    return e.what();
  }
  if (::access(dir.c_str(), W_OK) != 0)
    return platform::LogName(dir) + " cannot be written: " + std::strerror(errno);
  return {};
}

}  // namespace

void TConfigStore::TakeValues(const SettingsValues& values) {
  const std::string oldBase = MessageBaseDir();
  settings_->Assign(values);
  ApplyCodePages(values);
  UpdateOutbounds();
  CreateDirectories();
  const std::string base = MessageBaseDir();
  if (base == oldBase) return;
  for (int i = 0; i < areas_.GetCount(); ++i) {
    TArea* area = areas_.GetItem(i);
    if (!area) continue;
    // An index held open (a message list) is read again from the new
    // folder: the old folder's headers are never written there.
    if (area->IsSeparator())
      area->SetBaseDir(base);
    else
      area->MoveToBaseDir(base);
  }
  // What the load said of the old folder is no longer so.
  baseGone_ = MessageBaseGoneLine();
}

bool TConfigStore::ApplySettings(const SettingsValues& values) {
  return OnMainThread([&] {
    baseMoveFailure_.clear();
    if (!platform::SamePlace(AbsoluteDirectory(values.MsgBaseDir()),
                             AbsoluteDirectory(MessageBaseDir())))
      return MoveMessageBase(values);
    TakeValues(values);
    return SaveConfiguration();
  });
}

bool TConfigStore::MoveMessageBase(const SettingsValues& values) {
  const SettingsValues before = *settings_->Snapshot();
  const std::string from = AbsoluteDirectory(before.MsgBaseDir());
  const std::string to = AbsoluteDirectory(values.MsgBaseDir());
  const std::string stays = "The message base stays in " + platform::LogName(from) + ": ";
  std::string refusal = MessageBaseMoveRefusal(values.MsgBaseDir());
  const bool made = refusal.empty() && !platform::DirExists(to);
  if (refusal.empty()) {
    const std::string problem = BaseFolderProblem(to);
    if (!problem.empty()) refusal = stays + problem + ".";
  }
  TMailLock* lock = MailLockInForce();
  bool lockMoved = false;
  if (refusal.empty() && lock) {
    const TMailLock::Result result = lock->MoveMessageBase(to);
    if (result == TMailLock::Result::Acquired)
      lockMoved = true;
    else if (result == TMailLock::Result::AlreadyRunning)
      refusal =
          stays + platform::LogName(lock->FailedPath()) + " is in use by another run of Velmaris.";
    else
      refusal = stays + platform::LogName(lock->FailedPath()) +
                " cannot be made: " + std::strerror(lock->Error()) + ".";
  }
  TMessageBaseFiles& files = BaseFiles();
  bool copied = false;
  if (refusal.empty()) {
    refusal = files.CopyTo(from, to);
    copied = refusal.empty();
  }
  // The registry names the new folder before the old folder's files go:
  // saved now, whatever change brackets are open.
  if (refusal.empty() && closed_) refusal = stays + "the configuration is no longer saved.";
  if (refusal.empty()) {
    TakeValues(values);
    try {
      SaveToRegistry();
    } catch (const std::exception& e) {
      refusal = stays + "the configuration naming " + platform::LogName(to) +
                " could not be saved (" + platform::LogName(e.what()) + ").";
      TakeValues(before);
    }
  }
  if (!refusal.empty()) {
    if (copied) files.Settle(from, to, false);
    if (lockMoved) lock->MoveMessageBase(from);
    // A folder made for the move goes again when the base stays.
    if (made) RemoveMadeFolder(to);
    baseMoveFailure_ = refusal;
    Log(refusal);
    return false;
  }
  files.Settle(from, to, true);
  // The changes of an open bracket are saved with it once more at its end.
  if (changeDepth_ > 0) savePending_ = true;
  return true;
}

// --- Configuration report ---------------------------------------------------------

std::unique_ptr<TKQMail> TConfigStore::MailConfigurationReport() {
  TArea* netmail = FindArea(kNetmailAreaName);
  if (!netmail) return nullptr;
  const auto values = settings_->Snapshot();
  auto mail = std::make_unique<TKQMail>();
  mail->Area = netmail;
  mail->Config = values;
  mail->Uplinks = &uplinks_;
  mail->ToName = kSupportName;
  mail->DestAddr.SetText(kSupportAddress);
  const std::string from = values->FirstSysopName();
  mail->FromName = from.empty() ? "Sysop" : from;
  if (uplinks_.GetCount() > 0) mail->OrigAddr.SetText(uplinks_.GetItem(0)->SysopAddress.Text4D());
  mail->Subject = "Velmaris Konfiguration";
  mail->Flags = MsgFlag::Send;
  mail->UseOrigin = false;
  mail->UseTearLine = false;
  mail->UseSeenBy = false;
  mail->UsePid = true;

  std::vector<std::string>& text = mail->Text;
  text = {"Hallo Velmaris-Support,", "", "Hier meine Konfiguration:", "", "Uplinks:", "========"};
  for (int i = 0; i < uplinks_.GetCount(); ++i) {
    const TNetLink* link = uplinks_.GetItem(i);
    text.push_back("   Uplinkname: " + link->Name);
    text.push_back("Uplinkadresse: " + link->UplinkAddress.Text4D());
    text.push_back("    Sysopname: " + link->Sysop);
    text.push_back(" Sysopadresse: " + link->SysopAddress.Text4D());
    text.emplace_back();
  }
  text.emplace_back("Mailboxen:");
  text.emplace_back("==========");
  for (int i = 0; i < mailboxes_.GetCount(); ++i) {
    const TMailBox* box = mailboxes_.GetItem(i);
    text.push_back("         Name: " + box->Name);
    text.push_back("        Sysop: " + box->Sysop);
    text.push_back("Uplinkadresse: " + box->Address.Text4D());
    text.push_back("   Rufnummern: " + std::to_string(box->Numbers.size()));
    for (const std::string& number : box->Numbers) text.push_back("               * " + number);
    text.emplace_back();
  }
  text.emplace_back("Namen:");
  text.emplace_back("======");
  for (const std::string& name : values->SysopNames()) text.push_back(name);
  return mail;
}

// --- Reporting --------------------------------------------------------------------

void TConfigStore::Log(const std::string& line) const {
  if (logSink_)
    logSink_(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

void TConfigStore::ReportError(const std::string& text) const {
  Log(text);
  platform::GetPrompter().Error(text);
}

TConfigStore* GetConfigStore() { return currentStore.load(); }
void SetConfigStore(TConfigStore* store) { currentStore.store(store); }

std::string InboundProblem(const std::string& dir) {
  const std::string path = platform::WithoutSlash(dir);
  const std::string said = "The inbound folder " + (path.empty() ? dir : path);
  if (path.empty()) return said + " is not set";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    // The first part of the path that cannot be reached: a link there whose
    // target is missing is most often a drive that is not mounted.
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
      const std::string part = at == std::string::npos ? path : path.substr(0, at);
      struct stat link {};
      if (::stat(part.c_str(), &link) != 0) {
        if (::lstat(part.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
          std::string target(4096, '\0');
          const ssize_t n = ::readlink(part.c_str(), target.data(), target.size());
          target.resize(n > 0 ? static_cast<size_t>(n) : 0);
          return said +
                 (part == path ? " is a link to " : " lies behind the link " + part + " to ") +
                 target + ", which is missing (is its drive mounted?)";
        }
        break;
      }
      if (at == std::string::npos) break;
    }
    if (err == ENOENT) return said + " is missing";
    return said + " cannot be reached (" + std::strerror(err) + ")";
  }
  if (!S_ISDIR(st.st_mode)) return said + " is not a folder";
  if (::access(path.c_str(), W_OK | X_OK) != 0)
    return said + " cannot be written (" + std::strerror(errno) + ")";
  return {};
}

bool ForceDirectoryPath(const std::string& path) {
  std::string dir = path;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty()) return false;
  if (platform::DirExists(dir)) return true;
  try {
    platform::MakeDirs(dir);
  } catch (const std::exception&) {
    // Checked below.
  }
  return platform::DirExists(dir);
}

}  // namespace velmaris

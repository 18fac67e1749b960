#include "processing/Secretary.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <random>
#include <unistd.h>

#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/KQMail.h"
#include "core/Mail.h"
#include "core/TextGroups.h"
#include "core/TextHelpers.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "processing/OutPacket.h"

namespace velmaris {
namespace {

std::atomic<TFilterList*> currentImport{nullptr};
std::atomic<TFilterList*> currentExport{nullptr};

void OnMain(const std::function<void()>& fn) {
  platform::Dispatcher& dispatcher = platform::GetDispatcher();
  if (dispatcher.IsMainThread())
    fn();
  else
    dispatcher.Send(fn);
}

void Log(const TFilterEnv& env, const std::string& line) {
  if (env.Log) env.Log(line);
}

void ShowError(const TFilterEnv& env, const std::string& text) {
  if (env.Error) {
    env.Error(text);
    return;
  }
  OnMain([&] { platform::GetPrompter().Error(platform::AnsiToUtf8(text)); });
}

// Patterns and names are ANSI text: upper-cased with the letters of the
// ANSI code page, so "Анна" is kept as "АННА".
std::string UpperAnsi(std::string_view text) {
  return platform::UpperText(text, platform::AnsiCodePage());
}

TSearchString Pattern(const std::string& text) {
  TSearchString s;  // not case-sensitive, substring match
  s.SetText(UpperAnsi(text));
  return s;
}

uint16_t Masked(uint16_t flags, uint16_t set, uint16_t reset) {
  return static_cast<uint16_t>((flags | set) & ~reset);
}

// The lines of a text file; empty when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path) {
  try {
    return SplitTextLines(platform::TextFileToAnsi(platform::ReadFile(path)));
  } catch (const std::exception&) {
    return {};
  }
}

// Whether new messages can be written into the area's files: its folder
// exists (or is made) and existing files may be written.
bool Writable(const TArea& area, std::string& why) {
  if (area.BaseDir.empty() || area.FileName.empty()) {
    why = "it has no message base files";
    return false;
  }
  if (!ForceDirectoryPath(area.BaseDir) || ::access(area.BaseDir.c_str(), W_OK) != 0) {
    why = "its folder " + platform::LogName(area.BaseDir) + " cannot be written";
    return false;
  }
  for (const char* ext : {".PackedIndex", ".PackedBody"}) {
    const std::string path = area.FilePath(ext);
    if (platform::FileExists(path) && ::access(path.c_str(), W_OK) != 0) {
      why = platform::LogName(path) + " cannot be written";
      return false;
    }
  }
  return true;
}

// Hands a new message to the area: queued for the tosser's write of the
// run (import), or written at once under the area's exclusive lock
// (export). Raises EFilter when it cannot be.
void Deliver(TArea& area, std::unique_ptr<TMail> mail, const TFilterEnv& env) {
  std::string why;
  if (!Writable(area, why))
    throw EFilter("area " + area.NameInAnsi() + " cannot be written: " + why);
  if (!env.Export) {
    area.QueueMail(std::move(mail));
    return;
  }
  bool locked = false;
  OnMain([&] { locked = area.Lock(true); });
  if (!locked) throw EFilter("area " + area.NameInAnsi() + " is in use");
  bool ok = false;
  try {
    ok = area.StoreMail(std::move(mail));
  } catch (const std::exception&) {
    ok = false;
  }
  OnMain([&] { area.Unlock(); });
  if (!ok) throw EFilter("area " + area.NameInAnsi() + " could not be written");
}

TArea* FindOrCreateStorage(const std::string& name, const TFilterEnv& env) {
  TConfigStore* store = env.Store;
  if (!store) return nullptr;
  TArea* area = nullptr;
  OnMain([&] {
    area = store->FindArea(name);
    if (!area && !name.empty()) {
      store->AddAreaQuiet(name, name, AreaTypeCode::Storage, nullptr);
      area = store->FindArea(name);
    }
  });
  return area;
}

}  // namespace

// --- Conditions -------------------------------------------------------------------

void TFilter::SetOrig(const std::string& text) { orig_ = Pattern(text); }
void TFilter::SetDest(const std::string& text) { dest_ = Pattern(text); }
void TFilter::SetSubj(const std::string& text) { subj_ = Pattern(text); }
void TFilter::SetText(const std::string& text) { text_ = Pattern(text); }
// An area name is an echo tag: raised as tags are, so that a tag kept as raw
// UTF-8 stays the letters it holds ("RU.ТЕСТ" raised byte by byte in CP1251
// would spell "RU.СЕСС").
void TFilter::SetArea(const std::string& text) { area_ = platform::UpperTag(text); }

const TArea* TAreaLookup::Find(std::string_view name) {
  if (!areas_) return nullptr;
  if (count_ != areas_->GetCount()) {
    byName_.clear();
    count_ = areas_->GetCount();
  }
  std::string key = platform::TagKey(name);
  const auto it = byName_.find(key);
  if (it != byName_.end()) return it->second;
  const TArea* area = areas_->FindByName(std::string(name));
  byName_.emplace(std::move(key), area);
  return area;
}

const TArea* TFilterProbe::Area() {
  if (!areaKnown_) area_ = areas_.Find(areaName_);
  areaKnown_ = true;
  return area_;
}

std::string_view TFilterProbe::FoldedText(platform::CodePage cp) {
  if (!textKnown_ || textCodePage_ != cp) {
    const std::string_view text = mail_.BodyText();
    foldedText_.assign(text.begin(), text.end());
    platform::FoldInPlace(foldedText_, cp);
  }
  textKnown_ = true;
  textCodePage_ = cp;
  return foldedText_;
}

bool TFilter::Matches(const TMail& mail, const std::string& areaName, const TAreaList* areas) {
  TAreaLookup lookup(areas);
  std::string buffer;
  TFilterProbe probe(mail, areaName, lookup, buffer);
  return Matches(probe);
}

bool TFilter::TextOccurs(TFilterProbe& probe) const {
  // The pattern is kept in the ANSI code page, the body is in the OEM code
  // page: the pattern is recoded and folded, then found in the folded body.
  const platform::CodePage oem = platform::OemCodePage();
  std::optional<std::string> pattern = text_.TextIn(oem);
  if (!pattern || pattern->empty()) return false;
  platform::FoldInPlace(*pattern, oem);
  return probe.FoldedText(oem).find(*pattern) != std::string_view::npos;
}

bool TFilter::Matches(TFilterProbe& probe) {
  if (!(ApplyOrig || ApplyDest || ApplySubj || ApplyText || ApplyArea || ApplyType)) return false;
  const TMsgHeader& h = probe.Mail().Header;
  if (ApplyType) {
    const TArea* found = probe.Area();
    if (!found || found->AreaType != Type) return false;
  }
  if (ApplyOrig && !orig_.Matches(h.FromName.View())) return false;
  if (ApplyDest && !dest_.Matches(h.ToName.View())) return false;
  if (ApplySubj && !subj_.Matches(h.Subject.View())) return false;
  if (ApplyArea && !platform::SameTag(probe.AreaName(), area_)) return false;
  if (ApplyText && !TextOccurs(probe)) return false;
  ++MatchCount;
  return true;
}

bool TFilter::Process(TMail& mail, const std::string& areaName, bool& kill, const std::string& name,
                      const TFilterEnv& env) {
  const TAreaList* areas = env.Store ? &env.Store->Areas() : nullptr;
  if (!Matches(mail, areaName, areas)) return false;
  if (Apply(mail, areaName, name, env)) kill = true;
  return true;
}

// --- Actions ----------------------------------------------------------------------

bool TFilter::Apply(TMail& mail, const std::string& areaName, const std::string& name,
                    const TFilterEnv& env, bool* failed) {
  mail.Header.Created = DateTimeToUnix(mail.GetPacketDate());
  mail.Header.Tossed = DateTimeToUnix(env.ClockNow());
  if (DoSave) {
    try {
      mail.WriteToTextFile(platform::UnquotedPath(SaveFile), true, false, true, false);
    } catch (const std::exception& e) {
      // The message is not lost (it is placed), but the run did not do all
      // it was asked: the log says so and the run counts it as failed.
      Log(env, "Filter \"" + name + "\" could not write to text file " +
                   platform::LogName(platform::UnquotedPath(SaveFile)) + ": " +
                   platform::LogName(e.what()));
      if (failed) *failed = true;
      ShowError(env, "Could not write to text file in filter " + name);
    }
  }
  if (DoCopy) Copy(mail, areaName, env);
  if (DoAdd) AddToList(mail, env);
  if (DoRem) RemoveFromList(mail, env);
  if (DoLaunch) Launch(mail, name, env, failed);
  if (DoAnswer) AutoAnswer(mail, areaName, env);
  mail.Header.Flags = Masked(mail.Header.Flags, OrigSet, OrigReset);
  return DoKill;
}

void TFilter::Copy(const TMail& mail, const std::string& areaName, const TFilterEnv& env) const {
  TArea* target = FindOrCreateStorage(CopyArea, env);
  if (!target) throw EFilter("Could not create area  " + platform::TagInAnsi(CopyArea) + " !");
  std::unique_ptr<TMail> copy;
  if (ForwardCopy && target->AreaType == AreaTypeCode::Echomail && target->Uplink) {
    TKQMail fwd;
    fwd.LoadFromMail(mail, &env.Store->Areas());
    fwd.FromName = target->Uplink->Sysop;
    fwd.OrigAddr.SetAddress(target->Uplink->SysopAddress.Address());
    fwd.Flags = static_cast<uint16_t>(Masked(fwd.Flags, CopySet, CopyReset) | MsgFlag::Send);
    fwd.ToName = "All";
    if (!fwd.Origin.empty())
      fwd.Text.push_back(" @ ORIGINAL: " + fwd.Origin + " (" +
                         FidoAddressToStr(mail.Header.OrigAddr) + ")");
    fwd.Origin = kForwardOrigin;
    TZRTexts& groups = env.Store->TextGroups();
    if (target->TextGroup >= 0 && target->TextGroup < groups.GetCount()) {
      const TTextGroup& group = *groups.GetItem(target->TextGroup);
      // The texts are in the ANSI page: the area's name is written in it.
      const std::string areaText = AreaTagInAnsi(areaName);
      std::vector<std::string> text;
      for (const auto& line : group.ForwardHeader)
        text.push_back(mail.ExpandMacros(line, areaText));
      text.insert(text.end(), fwd.Text.begin(), fwd.Text.end());
      for (const auto& line : group.ForwardFooter)
        text.push_back(mail.ExpandMacros(line, areaText));
      fwd.Text = std::move(text);
      if (!group.Origins.empty()) {
        size_t pick = 0;
        if (target->RandomOrig) {
          static thread_local std::minstd_rand random(std::random_device{}());
          pick = random() % group.Origins.size();
        }
        fwd.Origin = mail.ExpandMacros(group.Origins[pick], areaText);
      }
    }
    fwd.Area = target;
    if (env.Clock) fwd.Clock = env.Clock;
    copy = fwd.BuildMail();
  } else {
    copy = mail.Clone();
    copy->Header.Flags = Masked(copy->Header.Flags, CopySet, CopyReset);
  }
  try {
    Deliver(*target, std::move(copy), env);
  } catch (const EFilter& e) {
    throw EFilter("Could not copy the message to " + std::string(e.what()));
  }
}

void TFilter::AddToList(const TMail& mail, const TFilterEnv& env) const {
  if (!env.Store) return;
  const std::string sender = mail.Header.FromName.Str();
  const TFidoAddr address = mail.Header.OrigAddr;
  TGroupList& groups = env.Store->AddressGroups();
  OnMain([&] {
    TGroup* group = groups.FindByName(List);
    if (!group) group = groups.Add(List, std::make_unique<TGroup>());
    if (group->IndexOfName(sender) >= 0) return;
    auto entry = std::make_unique<TFriend>();
    entry->SetName(sender);
    entry->Address().SetAddress(address);
    entry->Comments.push_back(kAddedComment);
    group->AddFriend(std::move(entry));
  });
}

void TFilter::RemoveFromList(const TMail& mail, const TFilterEnv& env) const {
  if (!env.Store) return;
  const std::string sender = mail.Header.FromName.Str();
  TGroupList& groups = env.Store->AddressGroups();
  OnMain([&] {
    TGroup* group = groups.FindByName(UnList);
    if (!group) return;
    const int at = group->IndexOfName(sender);
    if (at >= 0) group->Delete(at);
  });
}

void TFilter::Launch(const TMail& mail, const std::string& name, const TFilterEnv& env,
                     bool* failed) const {
  const std::string dir = env.Store ? env.Store->StartDirectory() : std::string("./");
  const std::string path = mail.SaveToNewMsgFile(dir);
  if (path.empty()) {
    Log(env, "Filter \"" + name + "\" could not write the message file for its program in " +
                 platform::LogName(dir) + "; the program has not been started.");
    if (failed) *failed = true;
    return;
  }
  try {
    const std::vector<std::string> args = PacketProcessorArgs(Processor, path);
    if (args.empty()) throw platform::EProcess("no program named");
    platform::Process::Run(args);
  } catch (const std::exception& e) {
    Log(env, "The program of a filter could not be started: " + platform::LogName(e.what()));
  }
  ::unlink(path.c_str());
}

void TFilter::AutoAnswer(const TMail& mail, const std::string& areaName,
                         const TFilterEnv& env) const {
  if (!env.Store) return;
  TArea* netmail = nullptr;
  OnMain([&] { netmail = env.Store->FindArea(kNetmailAreaName); });
  if (!netmail) return;
  TKQMail reply;
  reply.FromName = kSecretaryName;
  reply.OrigAddr.SetAddress(mail.Header.DestAddr);
  reply.ToName = mail.Header.FromName.Str();
  reply.DestAddr.SetAddress(mail.Header.OrigAddr);
  reply.Subject = "Automatic Reply";
  reply.Flags = kAutoReplyFlags;
  const std::string file = platform::UnquotedPath(Answer);
  const std::string_view body = mail.Body;
  const size_t msgid = body.find("\x01MSGID: ");
  if (msgid != std::string_view::npos)
    reply.Text.push_back("\x01REPLY: " + PCharToStrUntilCR(body.substr(msgid + 8)));
  const std::string areaText = AreaTagInAnsi(areaName);
  for (const std::string& line : ReadLines(file))
    reply.Text.push_back(mail.ExpandMacros(line, areaText));
  reply.Area = netmail;
  reply.UseOrigin = reply.UseTearLine = reply.UseSeenBy = false;
  reply.UsePid = true;
  if (env.Clock) reply.Clock = env.Clock;
  try {
    Deliver(*netmail, reply.BuildExpandedMail(), env);
  } catch (const EFilter& e) {
    Log(env, "The automatic reply could not be stored: " + std::string(e.what()));
  }
}

// --- Registry ---------------------------------------------------------------------

void TFilter::LoadFromRegistry(const TWinRegistry& r, const std::string& key) {
  ApplyOrig = r.ReadBool(key, "ApplyOrig", ApplyOrig);
  ApplyDest = r.ReadBool(key, "ApplyDest", ApplyDest);
  ApplySubj = r.ReadBool(key, "ApplySubj", ApplySubj);
  ApplyText = r.ReadBool(key, "ApplyText", ApplyText);
  ApplyArea = r.ReadBool(key, "ApplyArea", ApplyArea);
  ApplyType = r.ReadBool(key, "ApplyType", ApplyType);
  SetOrig(r.ReadString(key, "Orig", Orig()));
  SetDest(r.ReadString(key, "Dest", Dest()));
  SetSubj(r.ReadString(key, "Subj", Subj()));
  SetText(r.ReadString(key, "Text", Text()));
  SetArea(r.ReadString(key, "Area", Area()));
  DoCopy = r.ReadBool(key, "DoCopy", DoCopy);
  DoAdd = r.ReadBool(key, "DoAdd", DoAdd);
  DoRem = r.ReadBool(key, "DoRem", DoRem);
  DoLaunch = r.ReadBool(key, "DoLaunch", DoLaunch);
  DoAnswer = r.ReadBool(key, "DoAnswer", DoAnswer);
  DoKill = r.ReadBool(key, "DoKill", DoKill);
  ForwardCopy = r.ReadBool(key, "ForwardCopy", ForwardCopy);
  DoSave = r.ReadBool(key, "DoSave", DoSave);
  SaveFile = platform::UnquotedPath(r.ReadPath(key, "SaveFile", SaveFile));
  CopyArea = r.ReadString(key, "CopyArea", CopyArea);
  Processor = r.ReadCommandLine(key, "Processor", Processor);
  Answer = platform::UnquotedPath(r.ReadPath(key, "Answer", Answer));
  List = r.ReadString(key, "List", List);
  UnList = r.ReadString(key, "UnList", UnList);
  Type = r.ReadInteger(key, "Type", Type);
  OrigSet = static_cast<uint16_t>(r.ReadInteger(key, "OrigSet", OrigSet));
  OrigReset = static_cast<uint16_t>(r.ReadInteger(key, "OrigReset", OrigReset));
  CopySet = static_cast<uint16_t>(r.ReadInteger(key, "CopySet", CopySet));
  CopyReset = static_cast<uint16_t>(r.ReadInteger(key, "CopyReset", CopyReset));
}

void TFilter::SaveToRegistry(TWinRegistry& r, const std::string& key) const {
  r.WriteBool(key, "ApplyOrig", ApplyOrig);
  r.WriteBool(key, "ApplyDest", ApplyDest);
  r.WriteBool(key, "ApplySubj", ApplySubj);
  r.WriteBool(key, "ApplyText", ApplyText);
  r.WriteBool(key, "ApplyArea", ApplyArea);
  r.WriteBool(key, "ApplyType", ApplyType);
  r.WriteString(key, "Orig", Orig());
  r.WriteString(key, "Dest", Dest());
  r.WriteString(key, "Subj", Subj());
  r.WriteString(key, "Text", Text());
  r.WriteString(key, "Area", Area());
  r.WriteBool(key, "DoCopy", DoCopy);
  r.WriteBool(key, "DoAdd", DoAdd);
  r.WriteBool(key, "DoRem", DoRem);
  r.WriteBool(key, "DoLaunch", DoLaunch);
  r.WriteBool(key, "DoAnswer", DoAnswer);
  r.WriteBool(key, "DoKill", DoKill);
  r.WriteBool(key, "ForwardCopy", ForwardCopy);
  r.WriteBool(key, "DoSave", DoSave);
  r.WriteString(key, "SaveFile", SaveFile);
  r.WriteString(key, "CopyArea", CopyArea);
  r.WriteString(key, "Processor", Processor);
  r.WriteString(key, "Answer", Answer);
  r.WriteString(key, "List", List);
  r.WriteString(key, "UnList", UnList);
  r.WriteInteger(key, "Type", Type);
  r.WriteInteger(key, "OrigSet", OrigSet);
  r.WriteInteger(key, "OrigReset", OrigReset);
  r.WriteInteger(key, "CopySet", CopySet);
  r.WriteInteger(key, "CopyReset", CopyReset);
}

// --- Lists ------------------------------------------------------------------------

TFilter* TFilterList::AddFilter(const std::string& name, std::unique_ptr<TFilter> filter) {
  TFilter* raw = filter.get();
  owned_.push_back(std::move(filter));
  Add(name, raw);
  return raw;
}

void TFilterList::LoadFromRegistry(const TWinRegistry& registry, const std::string& key) {
  BeginUpdate();
  Clear();
  owned_.clear();
  // More entries than anyone keeps are not read.
  const int32_t count = std::clamp(registry.ReadInteger(key, "Count", 0), 0, 10000);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string sub = key + "\\Filter" + std::to_string(n);
    // A count beyond the stored entries must not make filters out of nothing.
    if (!registry.Registry().KeyExists(registry.KeyOf(sub))) continue;
    auto filter = std::make_unique<TFilter>();
    filter->LoadFromRegistry(registry, sub);
    AddFilter(registry.ReadString(key, "Name" + std::to_string(n), "?"), std::move(filter));
  }
  EndUpdate();
}

void TFilterList::SaveToRegistry(TWinRegistry& registry, const std::string& key) const {
  registry.WriteInteger(key, "Count", GetCount());
  for (int i = 0; i < GetCount(); ++i) {
    const std::string n = std::to_string(i + 1);
    GetFilter(i)->SaveToRegistry(registry, key + "\\Filter" + n);
    registry.WriteString(key, "Name" + n, GetString(i));
  }
  registry.DeleteEntriesBeyond(key, "Filter", GetCount());
  registry.DeleteEntriesBeyond(key, "Name", GetCount());
}

// --- Runs -------------------------------------------------------------------------

void TFilterRunner::ResetMatches() {
  areas_.Reset();
  for (int i = 0; i < list_.GetCount(); ++i) list_.GetFilter(i)->ResetMatches();
}

TFilterRunner::Result TFilterRunner::Run(TMail& mail, const std::string& areaName) {
  Result result;
  TFilterProbe probe(mail, areaName, areas_, buffer_);
  for (int i = 0; i < list_.GetCount(); ++i) {
    TFilter& filter = *list_.GetFilter(i);
    if (!filter.Matches(probe)) continue;
    if (filter.DoCopy) probe.Forget();  // the copy may have created the area
    const std::string& name = list_.GetString(i);
    try {
      if (filter.Apply(mail, areaName, name, env_, &result.Failed)) result.Kill = true;
      if (filter.DoCopy) result.Copied = true;
    } catch (const std::exception& e) {
      // The copy failed: this filter neither copies nor deletes.
      Log(env_, "Filter \"" + name + "\": " + e.what() + "; the message from " +
                    mail.Header.FromName.Str() + " stays in " + AreaTagInAnsi(areaName) + ".");
    }
  }
  return result;
}

std::vector<std::pair<std::string, int>> TFilterRunner::MatchCounts() const {
  std::vector<std::pair<std::string, int>> counts;
  for (int i = 0; i < list_.GetCount(); ++i)
    counts.emplace_back(list_.GetString(i), list_.GetFilter(i)->MatchCount);
  return counts;
}

TImportFilters::Outcome TImportFilterRun::Apply(TMail& mail, const std::string& areaName) {
  const TFilterRunner::Result r = runner_.Run(mail, areaName);
  return {r.Kill, r.Copied, r.Failed};
}

bool TExportFilterRun::Apply(TMail& mail, TArea& area,
                             const std::function<void(const std::string&)>& log) {
  if (log) runner_.Env().Log = log;
  return runner_.Run(mail, area.Name).Kill;
}

// --- Configuration ----------------------------------------------------------------

TFilterConfig::~TFilterConfig() {
  TFilterList* expected = &import_;
  currentImport.compare_exchange_strong(expected, nullptr);
  expected = &export_;
  currentExport.compare_exchange_strong(expected, nullptr);
}

void TFilterConfig::LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) {
  (void)store;
  import_.LoadFromRegistry(registry, kImportKey);
  export_.LoadFromRegistry(registry, kExportKey);
}

void TFilterConfig::SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const {
  (void)store;
  import_.SaveToRegistry(registry, kImportKey);
  export_.SaveToRegistry(registry, kExportKey);
}

TFilterConfig& InstallFilterConfig(TConfigStore& store) {
  auto section = std::make_unique<TFilterConfig>();
  TFilterConfig& config = *section;
  store.SetSection(TConfigSlot::Filters, std::move(section));
  currentImport.store(&config.ImportFilters());
  currentExport.store(&config.ExportFilters());
  return config;
}

TFilterList* GetImportFilters() { return currentImport.load(); }
TFilterList* GetExportFilters() { return currentExport.load(); }

}  // namespace velmaris

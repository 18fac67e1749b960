#include "processing/AreaManager.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cctype>
#include <set>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "core/Mail.h"
#include "core/NetLink.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

// The flags of a request: waiting to be sent, and the robot-request bit.
constexpr uint16_t kRequestFlags = 0x0840;

[[maybe_unused]] bool OnMainThread() { return platform::GetDispatcher().IsMainThread(); }

TFidoAddr AddressOf(const TAreaInfo& entry) {
  return entry.Uplink ? entry.Uplink->UplinkAddress.Address() : TFidoAddr{};
}

bool IsTagChar(unsigned char c) {
  return std::isdigit(c) || (c >= 'A' && c <= 'Z') || c == 0xA7 ||
         std::string_view("%&-./\\_").find(static_cast<char>(c)) != std::string_view::npos;
}

// Boxes of this manager: plain, with an OK button.
void Tell(const std::string& ansiText) {
  platform::GetPrompter().Ask(platform::MsgKind::Information,
                              platform::AnsiToUtf8(ansiText), platform::mbOk);
}

// A data-file description: one line, so control characters become blanks.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return text;
}

std::atomic<TAreaListReceiver*> gReceiver{nullptr};

}  // namespace

// --- TAreaInfoList ------------------------------------------------------------------

bool TAreaInfoList::Less(const TAreaInfo& a, const TAreaInfo& b) {
  if (a.Name != b.Name) return a.Name < b.Name;
  return AddressOf(a) < AddressOf(b);
}

void TAreaInfoList::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [](const auto& a, const auto& b) { return Less(*a, *b); });
}

int TAreaInfoList::FindEntry(const TAreaInfo& entry) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), entry,
                             [](const auto& item, const TAreaInfo& e) { return Less(*item, e); });
  if (it == items_.end() || (*it)->Name != entry.Name || AddressOf(**it) != AddressOf(entry))
    return -1;
  return static_cast<int>(it - items_.begin());
}

int TAreaInfoList::IndexOfName(const std::string& name) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), name,
                             [](const auto& item, const std::string& n) { return item->Name < n; });
  if (it == items_.end() || (*it)->Name != name) return -1;
  return static_cast<int>(it - items_.begin());
}

TAreaInfo* TAreaInfoList::AddInfo(const std::string& name, const std::string& description,
                                  bool subscribed, TNetLink* uplink) {
  auto entry = std::make_unique<TAreaInfo>();
  entry->Name = name;
  entry->Description = description;
  entry->Subscribed = subscribed;
  entry->Uplink = uplink;
  items_.push_back(std::move(entry));
  return items_.back().get();
}

void TAreaInfoList::Remove(const TAreaInfo* entry) {
  std::erase_if(items_, [entry](const auto& item) { return item.get() == entry; });
}

// --- Parsing --------------------------------------------------------------------------

bool ParseAreaTag(const std::string& text, std::string& tag) {
  if (text.empty()) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  if (!std::isdigit(first) && !(first >= 'A' && first <= 'Z')) return false;
  size_t end = 1;
  while (end < text.size() && IsTagChar(static_cast<unsigned char>(text[end]))) ++end;
  if (end < text.size() && static_cast<unsigned char>(text[end]) > 32) return false;
  tag = text.substr(0, end);
  return true;
}

bool ParseAreaLine(const std::vector<std::string>& lines, int index, int nameO, int descO,
                   int descL, std::string& description, std::string& tag) {
  if (index < 0 || index >= static_cast<int>(lines.size())) return false;
  const std::string& line = lines[static_cast<size_t>(index)];
  const size_t nameStart = static_cast<size_t>(std::max(nameO, 1) - 1);
  if (nameStart >= line.size()) return false;
  std::string found;
  if (!ParseAreaTag(line.substr(nameStart), found)) return false;
  const long row = static_cast<long>(index) + descL;
  if (row < 0 || row >= static_cast<long>(lines.size())) return false;
  const std::string& descRow = lines[static_cast<size_t>(row)];
  if (descRow.empty() || descRow[0] == '\x01' || descRow.compare(0, 5, "AREA:") == 0) return false;
  description.clear();
  if (descO >= 1 && static_cast<size_t>(descO - 1) < descRow.size())
    description = descRow.substr(static_cast<size_t>(descO - 1));
  tag = found;
  return true;
}

std::vector<std::string> SplitMailLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') {
      lines.push_back(std::move(line));
      line.clear();
    } else if (c != '\n') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

std::vector<std::string> SplitFileLines(std::string_view text) {
  std::string mail;
  mail.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const bool bareLf = text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
    mail += bareLf ? '\r' : text[i];
  }
  return SplitMailLines(mail);
}

// --- Requests ---------------------------------------------------------------------------

TRobotLayout RobotLayoutOf(const TNetLink& link, TRobotKind kind) {
  if (kind == TRobotKind::FileScan)
    return {link.FSReceiver, link.FileScanPassword, link.FSSender,
            link.FSNameO,    link.FSDescO,          link.FSDescL};
  return {link.AFReceiver, link.AreaFixPassword, link.AFSender,
          link.AFNameO,    link.AFDescO,         link.AFDescL};
}

std::string RobotCommandLine(TRobotCommand command, const std::string& tag) {
  switch (command) {
    case TRobotCommand::Subscribe: return "+" + tag;
    case TRobotCommand::Unsubscribe: return "-" + tag;
    case TRobotCommand::List: return "%LIST";
    case TRobotCommand::Query: return "%QUERY";
  }
  return {};
}

std::unique_ptr<TKQMail> ComposeRobotRequest(TConfigStore& store, const TNetLink& link,
                                             TRobotKind kind, TArea* netmail,
                                             const std::vector<std::string>& lines) {
  const TRobotLayout layout = RobotLayoutOf(link, kind);
  auto mail = std::make_unique<TKQMail>();
  mail->Area = netmail;
  mail->Config = store.Values();
  mail->Uplinks = &store.Uplinks();
  mail->FromName = link.Sysop;
  mail->OrigAddr.SetAddress(link.SysopAddress.Address());
  mail->DestAddr.SetAddress(link.UplinkAddress.Address());
  mail->ToName = layout.Receiver;
  mail->Subject = layout.Password;
  mail->Text = lines;
  mail->Flags = kRequestFlags;
  mail->UseOrigin = false;
  mail->UseTearLine = false;
  mail->UseSeenBy = false;
  mail->UsePid = true;
  return mail;
}

// --- TAreaManager -------------------------------------------------------------------------

TAreaManager::TAreaManager(TConfigStore& store) : store_(store) {}

TRobotKind TAreaManager::Kind() const {
  return listName_ == kFileAreas ? TRobotKind::FileScan : TRobotKind::AreaFix;
}

void TAreaManager::SetListName(const std::string& name) {
  if (name == listName_) return;
  listName_ = name;
  LoadData();
  caption_ = name + " Management";
  Refresh();
}

std::string TAreaManager::StatusText() const {
  std::string text =
      std::to_string(all_.Count()) + " areas available; " + std::to_string(sel_.size()) + " signed";
  if (changesPending_) text += " (Changes unsaved)";
  return text;
}

std::string TAreaManager::DataFilePath(const TNetLink& link) const {
  const TFidoAddr& a = link.UplinkAddress.Address();
  return platform::WithSlash(store_.MessageBaseDir()) + std::to_string(a.Zone) + "." +
         std::to_string(a.Net) + "." + std::to_string(a.Node) + "." + std::to_string(a.Point) +
         "." + listName_;
}

void TAreaManager::LoadData() {
  assert(OnMainThread());
  ready_.clear();
  sel_.clear();
  changesPending_ = false;
  all_.Clear();
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) {
    TNetLink* link = links.GetItem(i);
    const std::string path = DataFilePath(*link);
    std::string data;
    try {
      data = platform::ReadFile(path);
    } catch (const std::exception&) {
      continue;  // no list yet, or unreadable: skipped
    }
    size_t pos = 0;
    while (pos < data.size()) {
      size_t end = data.find('\n', pos);
      if (end == std::string::npos) end = data.size();
      std::string line = data.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const char flag = line.empty() ? '\0' : line[0];
      std::vector<std::string> words;
      for (size_t p = 1; p < line.size();) {
        const size_t start = line.find_first_not_of(' ', p);
        if (start == std::string::npos) break;
        const size_t stop = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, stop - start));
        p = stop;
      }
      if ((flag != '*' && flag != '.') || words.empty()) {
        Tell("The list " + platform::LogName(path) + " does not have the right format !");
        break;
      }
      std::string description;
      for (size_t w = 1; w < words.size(); ++w) description += (w > 1 ? " " : "") + words[w];
      all_.AddInfo(words[0], description, flag == '*', link);
    }
  }
  all_.Sort();
  RebuildViews();
  Refresh();
}

void TAreaManager::SaveData() {
  assert(OnMainThread());
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) {
    const TNetLink* link = links.GetItem(i);
    std::string data;
    for (int e = 0; e < all_.Count(); ++e) {
      const TAreaInfo* entry = all_.Get(e);
      if (entry->Uplink != link) continue;
      data += (entry->Subscribed ? "* " : ". ") + entry->Name + " " + OneLine(entry->Description) +
              "\n";
    }
    const std::string path = DataFilePath(*link);
    try {
      platform::MakeDirs(platform::DirOf(path));
      platform::WriteFileAtomic(path, data);
    } catch (const std::exception& e) {
      store_.ReportError("Could not write the area list " + path + ": " + e.what());
    }
  }
}

int TAreaManager::AddAreaList(const std::vector<std::string>& lines, TNetLink& uplink, int nameO,
                              int descO, int descL) {
  assert(OnMainThread());
  int added = 0;
  std::string description, tag;
  const size_t known = static_cast<size_t>(all_.Count());
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    if (!ParseAreaLine(lines, i, nameO, descO, descL, description, tag)) continue;
    TAreaInfo probe{false, tag, {}, &uplink};
    bool found = all_.Contains(probe);
    // Entries added by this list are not sorted in yet.
    for (size_t e = known; !found && e < static_cast<size_t>(all_.Count()); ++e) {
      const TAreaInfo* entry = all_.Get(static_cast<int>(e));
      found = entry->Name == tag && AddressOf(*entry) == AddressOf(probe);
    }
    if (found) continue;
    all_.AddInfo(tag, description, false, &uplink);
    ++added;
  }
  if (added > 0) {
    all_.Sort();
    SaveData();
    RebuildViews(true);
    Refresh();
  }
  return added;
}

void TAreaManager::AddAreaInfo(const std::string& name, const std::string& description,
                               TNetLink& uplink) {
  assert(OnMainThread());
  if (all_.Contains(TAreaInfo{false, name, {}, &uplink})) return;
  all_.AddInfo(name, description, false, &uplink);
  all_.Sort();
  SaveData();
  RebuildViews(true);
  Refresh();
}

int TAreaManager::RegisterAreaListMail(const TMail& mail, TNetLink& uplink) {
  assert(OnMainThread());
  const TRobotLayout layout = Layout(uplink);
  const int added =
      AddAreaList(AreaListLines(mail), uplink, layout.NameO, layout.DescO, layout.DescL);
  AddListTitle(uplink, Kind(), mail.Header.Subject.Str());
  return added;
}

// --- Moves --------------------------------------------------------------------------------

void TAreaManager::RebuildViews(bool keepMoves) {
  // Entries the user moved and has not sent yet stay on their new side.
  std::set<const TAreaInfo*> moved;
  if (keepMoves) {
    for (const TAreaInfo* entry : sel_)
      if (!entry->Subscribed) moved.insert(entry);
    for (const TAreaInfo* entry : ready_)
      if (entry->Subscribed) moved.insert(entry);
  }
  ready_.clear();
  sel_.clear();
  for (int i = 0; i < all_.Count(); ++i) {
    TAreaInfo* entry = all_.Get(i);
    (entry->Subscribed != (moved.count(entry) > 0) ? sel_ : ready_).push_back(entry);
  }
}

void TAreaManager::Refresh() {
  if (OnRefresh) OnRefresh();
}

void TAreaManager::Move(TAreaInfo* entry) {
  assert(OnMainThread());
  auto from = std::find(ready_.begin(), ready_.end(), entry);
  std::vector<TAreaInfo*>* target = &sel_;
  if (from != ready_.end()) {
    ready_.erase(from);
  } else {
    auto it = std::find(sel_.begin(), sel_.end(), entry);
    if (it == sel_.end()) return;
    sel_.erase(it);
    target = &ready_;
  }
  target->insert(std::upper_bound(target->begin(), target->end(), entry,
                                  [](const TAreaInfo* a, const TAreaInfo* b) {
                                    return TAreaInfoList::Less(*a, *b);
                                  }),
                 entry);
  changesPending_ = true;
  Refresh();
}

void TAreaManager::CancelChanges() {
  RebuildViews();
  changesPending_ = false;
  Refresh();
}

void TAreaManager::DeleteEntry(TAreaInfo* entry) {
  assert(OnMainThread());
  std::erase(ready_, entry);
  std::erase(sel_, entry);
  all_.Remove(entry);
  SaveData();
  Refresh();
}

// --- Commands -------------------------------------------------------------------------------

bool TAreaManager::WriteRequests(
    const std::vector<std::pair<TNetLink*, std::vector<std::string>>>& requests) {
  assert(OnMainThread());
  TArea* netmail = store_.FindArea(kNetmailAreaName);
  if (!netmail) {
    Tell(kNoNetmail);
    return false;
  }
  if (!netmail->Lock(true)) {
    Tell("The area NETMAIL is in use!");
    return false;
  }
  TAreaLockHold hold(*netmail);
  std::vector<std::unique_ptr<TMail>> mails;
  for (const auto& [link, lines] : requests) {
    auto mail = ComposeRobotRequest(store_, *link, Kind(), netmail, lines);
    mail->Clock = Clock;
    mails.push_back(mail->BuildMail());
  }
  if (!netmail->StoreMails(std::move(mails))) {
    store_.ReportError("Could not write the requests into the area NETMAIL!");
    return false;
  }
  return true;
}

bool TAreaManager::RequestList() {
  std::vector<std::pair<TNetLink*, std::vector<std::string>>> requests;
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i)
    requests.push_back({links.GetItem(i), {RobotCommandLine(TRobotCommand::List)}});
  if (!WriteRequests(requests)) return false;
  Tell(kListRequested);
  return true;
}

bool TAreaManager::RequestQuery(TNetLink& uplink) {
  return WriteRequests({{&uplink, {RobotCommandLine(TRobotCommand::Query)}}});
}

bool TAreaManager::SendChanges() {
  assert(OnMainThread());
  std::vector<TAreaInfo*> changed;
  size_t next = 0;
  for (int i = 0; i < all_.Count(); ++i) {
    TAreaInfo* entry = all_.Get(i);
    const bool ordered = next < sel_.size() && sel_[next] == entry;
    if (ordered) ++next;
    if (entry->Subscribed != ordered) changed.push_back(entry);
  }
  if (changed.empty()) {
    Tell(kNoChanges);
    return false;
  }
  std::vector<std::pair<TNetLink*, std::vector<std::string>>> requests;
  TLinkList& links = store_.Uplinks();
  for (int i = 0; i < links.GetCount(); ++i) {
    TNetLink* link = links.GetItem(i);
    std::vector<std::string> lines;
    for (const TAreaInfo* entry : changed)
      if (entry->Uplink == link)
        lines.push_back(RobotCommandLine(
            entry->Subscribed ? TRobotCommand::Unsubscribe : TRobotCommand::Subscribe,
            entry->Name));
    if (!lines.empty()) requests.push_back({link, std::move(lines)});
  }
  // The new states are stored only once the requests are written, so a
  // missing or busy NETMAIL leaves the changes pending instead of lost.
  if (!WriteRequests(requests)) return false;
  {
    TConfigChangeBatch batch(store_);
    for (TAreaInfo* entry : changed) {
      entry->Subscribed = !entry->Subscribed;
      if (entry->Subscribed && Kind() == TRobotKind::AreaFix)
        store_.AddAreaQuiet(entry->Name, entry->Name, AreaTypeCode::Echomail, entry->Uplink);
    }
  }
  SaveData();
  changesPending_ = false;
  Refresh();
  Tell(kChangesSent);
  return true;
}

bool TAreaManager::OrderArea(const std::string& tag, TNetLink& uplink) {
  assert(OnMainThread());
  int index = all_.FindEntry(TAreaInfo{false, tag, {}, &uplink});
  TAreaInfo* entry = index >= 0 ? all_.Get(index) : nullptr;
  if (entry && entry->Subscribed) return true;
  if (!WriteRequests({{&uplink, {RobotCommandLine(TRobotCommand::Subscribe, tag)}}})) return false;
  if (!entry) {
    entry = all_.AddInfo(tag, {}, true, &uplink);
    all_.Sort();
  }
  entry->Subscribed = true;
  SaveData();
  // The user's pending moves stay; the entry joins the ordered view.
  std::erase(ready_, entry);
  if (std::find(sel_.begin(), sel_.end(), entry) == sel_.end()) {
    sel_.insert(std::upper_bound(sel_.begin(), sel_.end(), entry,
                                 [](const TAreaInfo* a, const TAreaInfo* b) {
                                   return TAreaInfoList::Less(*a, *b);
                                 }),
                entry);
  }
  Refresh();
  return true;
}

void TAreaManager::MarkPresentAreas() {
  assert(OnMainThread());
  for (TArea* area : store_.Areas().Areas()) {
    if (area->AreaType != AreaTypeCode::Echomail) continue;
    TAreaInfo* match = nullptr;
    for (int i = 0; i < all_.Count(); ++i) {
      TAreaInfo* entry = all_.Get(i);
      if (!area->HasName(entry->Name)) continue;
      if (!match || entry->Uplink == area->Uplink) match = entry;
      if (entry->Uplink == area->Uplink) break;
    }
    if (match) {
      match->Subscribed = true;
    } else if (area->Uplink) {
      // An area without an uplink has no list to be kept in.
      all_.AddInfo(area->Name, kWasAlreadySigned, true, area->Uplink);
    }
  }
  all_.Sort();
  SaveData();
  RebuildViews();
  changesPending_ = false;
  Refresh();
}

TAreaInfo* TAreaManager::Search(const std::string& text, const TAreaInfo* after) {
  // Tags are ANSI text: their letters fold by the ANSI code page.
  const platform::CodePage ansi = platform::AnsiCodePage();
  int start = 0;
  for (int i = 0; after && i < all_.Count(); ++i)
    if (all_.Get(i) == after) start = i + 1;
  for (;;) {
    for (int i = start; i < all_.Count(); ++i) {
      TAreaInfo* entry = all_.Get(i);
      if (platform::ContainsNoCase(entry->Name, text, ansi)) return entry;
    }
    if (!platform::GetPrompter().Confirm(kEndOfList)) return nullptr;
    start = 0;
  }
}

// --- TAreaManagers -------------------------------------------------------------------------

TAreaManagers::TAreaManagers(TConfigStore& store) : store_(store), echo_(store), files_(store) {
  echo_.SetListName(TAreaManager::kEchoAreas);
  echo_.RobotName = "AreaFix";
  files_.SetListName(TAreaManager::kFileAreas);
  files_.RobotName = "FileScan";
}

int TAreaManagers::RegisterAreaListMail(const TMail& mail, TNetLink& uplink, bool fileScan) {
  int added = 0;
  platform::GetDispatcher().Send(
      [&] { added = (fileScan ? files_ : echo_).RegisterAreaListMail(mail, uplink); });
  return added;
}

int TAreaManagers::RegisterAreaListMail(const TMail& mail) {
  TNetLink* link = UplinkOfListMail(store_.Uplinks(), mail);
  if (!link) return 0;
  const std::optional<TRobotKind> kind = ListKindOfSender(*link, mail.Header.FromName.Str());
  if (!kind) return 0;
  return RegisterAreaListMail(mail, *link, *kind == TRobotKind::FileScan);
}

// --- Area-list mails -------------------------------------------------------------------------

TNetLink* UplinkOfListMail(TLinkList& links, const TMail& mail) {
  for (int i = 0; i < links.GetCount(); ++i) {
    TNetLink* link = links.GetItem(i);
    if (link->UplinkAddress.Address() == mail.Header.OrigAddr) return link;
  }
  return nullptr;
}

std::optional<TRobotKind> ListKindOfSender(const TNetLink& link, const std::string& from) {
  if (from == link.AFSender) return TRobotKind::AreaFix;
  if (from == link.FSSender) return TRobotKind::FileScan;
  return std::nullopt;
}

std::vector<std::string> AreaListLines(const TMail& mail) {
  // The stored message keeps its own (OEM) text; the lines are read from a copy.
  return SplitMailLines(platform::OemToAnsi(mail.BodyText()));
}

void AddListTitle(TNetLink& link, TRobotKind kind, const std::string& subject) {
  std::vector<std::string>& titles =
      kind == TRobotKind::FileScan ? link.FileScanTitles : link.AreaFixTitles;
  if (std::find(titles.begin(), titles.end(), subject) == titles.end()) titles.push_back(subject);
}

void RememberListSender(TNetLink& link, TRobotKind kind, const std::string& from,
                        const std::string& subject) {
  (kind == TRobotKind::FileScan ? link.FSSender : link.AFSender) = from;
  AddListTitle(link, kind, subject);
}

TAreaListReceiver* GetAreaListReceiver() { return gReceiver.load(); }
void SetAreaListReceiver(TAreaListReceiver* receiver) { gReceiver.store(receiver); }

}  // namespace velmaris

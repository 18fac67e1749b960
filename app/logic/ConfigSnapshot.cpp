#include "app/logic/ConfigSnapshot.h"

#include <algorithm>
#include <cassert>

#include "archive/Packer.h"
#include "archive/UnpackJob.h"
#include "core/ConfigStore.h"
#include "core/SearchRequest.h"
#include "core/ShellServices.h"
#include "mailer/Mailers.h"
#include "platform/Dispatcher.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"

namespace velmaris {

// The values of an area that the settings window and its properties
// dialogs edit.
struct TConfigEditSnapshot::AreaValues {
  TArea* area = nullptr;
  std::string Name, FileName;
  uint8_t AreaType = 0;
  TNetLink* Uplink = nullptr;
  int32_t TextGroup = -1, MaxAge = 0, MaxNumber = 0;
  bool ApplyAge = false, ApplyNumber = false, Maintain = false, TabsToSpaces = false,
       NoUmlaute = false, NoSZ = false, NToH = false, NoRex = false, RandomOrig = false,
       Reflow = false;
  TSearchRequest MaintainFilter, DisplayFilter;

  explicit AreaValues(TArea& a)
      : area(&a),
        Name(a.Name),
        FileName(a.FileName),
        AreaType(a.AreaType),
        Uplink(a.Uplink),
        TextGroup(a.TextGroup),
        MaxAge(a.MaxAge),
        MaxNumber(a.MaxNumber),
        ApplyAge(a.ApplyAge),
        ApplyNumber(a.ApplyNumber),
        Maintain(a.Maintain),
        TabsToSpaces(a.TabsToSpaces),
        NoUmlaute(a.NoUmlaute),
        NoSZ(a.NoSZ),
        NToH(a.NToH),
        NoRex(a.NoRex),
        RandomOrig(a.RandomOrig),
        Reflow(a.Reflow),
        MaintainFilter(a.MaintainFilter),
        DisplayFilter(a.DisplayFilter) {}

  // The uplink is put back only while it is still configured.
  void PutBack(const TLinkList& uplinks) const {
    TArea& a = *area;
    a.Name = Name;
    a.AreaType = AreaType;
    if (!Uplink || uplinks.IndexOf(Uplink) >= 0) a.Uplink = Uplink;
    a.TextGroup = TextGroup;
    a.MaxAge = MaxAge;
    a.MaxNumber = MaxNumber;
    a.ApplyAge = ApplyAge;
    a.ApplyNumber = ApplyNumber;
    a.Maintain = Maintain;
    a.TabsToSpaces = TabsToSpaces;
    a.NoUmlaute = NoUmlaute;
    a.NoSZ = NoSZ;
    a.NToH = NToH;
    a.NoRex = NoRex;
    a.RandomOrig = RandomOrig;
    a.Reflow = Reflow;
    a.MaintainFilter = MaintainFilter;
    a.DisplayFilter = DisplayFilter;
  }
};

namespace {

std::string Key(const std::string& key, size_t index) { return key + "\\" + std::to_string(index); }

// The same area as when the snapshot was taken: in the list (a freed area's
// address may come back for a new one) and still on its files.
int IndexOfArea(const TAreaList& areas, const TArea* area, const std::string& fileName) {
  const int index = areas.IndexOf(area);
  return index >= 0 && areas.GetItem(index)->FileName == fileName ? index : -1;
}

template <class List>
void Refill(List& list, const std::vector<std::pair<std::string, TObject*>>& entries) {
  TPubLst& base = list;
  base.BeginUpdate();
  base.Clear();  // the plain removal: no index remapping of the users
  for (const auto& [name, object] : entries) base.AddObject(name, object);
  base.EndUpdate();
}

}  // namespace

template <class List, class Save>
TConfigEditSnapshot::Entries TConfigEditSnapshot::Take(const List& list, const std::string& key,
                                                       Save save) {
  Entries entries;
  for (int i = 0; i < list.GetCount(); ++i) {
    entries.emplace_back(list.GetString(i), list.GetObject(i));
    save(*list.GetItem(i), Key(key, static_cast<size_t>(i)));
  }
  return entries;
}

template <class List, class Load>
void TConfigEditSnapshot::PutBack(List& list, const Entries& entries, const std::string& key,
                                  Load load) {
  Refill(list, entries);
  for (size_t i = 0; i < entries.size(); ++i) load(*list.GetItem(static_cast<int>(i)), Key(key, i));
}

TConfigEditSnapshot::TConfigEditSnapshot(TConfigStore& store, TPckList* packers,
                                         TUnpJobList* unpackJobs)
    : TConfigEditSnapshot(store, TEditedLists{packers, unpackJobs}) {}

TConfigEditSnapshot::TConfigEditSnapshot(TConfigStore& store, const TEditedLists& lists)
    : store_(store), lists_(lists), values_("Snapshot", memory_, store.StartDirectory()) {
  savedText_ = store_.Registry().Registry().ToText();
  auto save = [this](const auto& object, const std::string& key) {
    object.SaveToRegistry(values_, key);
  };
  uplinks_ = Take(store_.Uplinks(), "Uplinks", save);
  mailboxes_ = Take(store_.Mailboxes(), "Mailboxes", save);
  textGroups_ = Take(store_.TextGroups(), "Textgroups", save);
  if (lists_.Packers) packerEntries_ = Take(*lists_.Packers, "Packers", save);
  if (lists_.UnpackJobs) jobs_ = Take(*lists_.UnpackJobs, "Jobs", save);
  if (lists_.ImportFilters) importFilters_ = Take(*lists_.ImportFilters, "Import", save);
  if (lists_.ExportFilters) exportFilters_ = Take(*lists_.ExportFilters, "Export", save);
  if (lists_.AutoSendJobs) autoSendJobs_ = Take(*lists_.AutoSendJobs, "Autosend", save);
  if (lists_.Mailers) mailers_ = Take(lists_.Mailers->Mailers(), "Lines", save);
  auto copy = [](std::vector<TNLInfo>& values) {
    return [&values](const TNLInfo& info, const std::string&) { values.push_back(info); };
  };
  nodelists_ = Take(store_.Nodelists(), "", copy(nodelistValues_));
  pointlists_ = Take(store_.Pointlists(), "", copy(pointlistValues_));
  for (int i = 0; i < store_.Areas().GetCount(); ++i)
    areas_.emplace_back(*store_.Areas().GetItem(i));
  prototype_ = std::make_unique<AreaValues>(store_.Prototype());
}

TConfigEditSnapshot::~TConfigEditSnapshot() = default;

void TConfigEditSnapshot::Restore() {
  assert(platform::GetDispatcher().IsMainThread());
  auto load = [this](auto& object, const std::string& key) {
    object.LoadFromRegistry(values_, key);
  };
  PutBack(store_.TextGroups(), textGroups_, "Textgroups", load);
  // The profiles first: a profile renamed back takes its mailboxes along,
  // and the mailboxes then come back whole.
  RestoreMailers();
  PutBack(store_.Mailboxes(), mailboxes_, "Mailboxes", load);
  if (lists_.Packers) PutBack(*lists_.Packers, packerEntries_, "Packers", load);
  if (lists_.UnpackJobs) PutBack(*lists_.UnpackJobs, jobs_, "Jobs", load);
  if (lists_.ImportFilters) PutBack(*lists_.ImportFilters, importFilters_, "Import", load);
  if (lists_.ExportFilters) PutBack(*lists_.ExportFilters, exportFilters_, "Export", load);
  if (lists_.AutoSendJobs) {
    // A job sent meanwhile keeps its sending: it is not sent again.
    PutBack(*lists_.AutoSendJobs, autoSendJobs_, "Autosend",
            [&](TAutoSendJob& job, const std::string& key) {
              const auto sent = job.Last;
              job.LoadFromRegistry(values_, key);
              job.Last = std::max(job.Last, sent);
            });
  }
  auto copyBack = [](const std::vector<TNLInfo>& values) {
    return
        [&values, i = size_t{0}](TNLInfo& info, const std::string&) mutable { info = values[i++]; };
  };
  PutBack(store_.Nodelists(), nodelists_, "", copyBack(nodelistValues_));
  PutBack(store_.Pointlists(), pointlists_, "", copyBack(pointlistValues_));
  RestoreUplinks();
  RestoreAreas();
  prototype_->PutBack(store_.Uplinks());
  if (store_.Registry().Registry().ToText() != savedText_) store_.SaveConfiguration();
}

void TConfigEditSnapshot::RestoreMailers() {
  if (!lists_.Mailers) return;
  PutBack(
      lists_.Mailers->Mailers(), mailers_, "Lines",
      [this](TMailer& mailer, const std::string& key) { mailer.LoadFromRegistry(values_, key); });
  lists_.Mailers->FreeUnlisted();  // those added in the window
}

void TConfigEditSnapshot::RestoreUplinks() {
  TLinkList& links = store_.Uplinks();
  Entries kept;
  std::vector<size_t> keys;
  for (size_t i = 0; i < uplinks_.size(); ++i)
    if (links.IndexOfObject(uplinks_[i].second) >= 0) {
      kept.push_back(uplinks_[i]);
      keys.push_back(i);
    }
  for (int i = 0; i < links.GetCount(); ++i) {  // added meanwhile
    TObject* link = links.GetObject(i);
    if (std::none_of(uplinks_.begin(), uplinks_.end(),
                     [link](const auto& entry) { return entry.second == link; }) &&
        std::find(takeBackLinks_.begin(), takeBackLinks_.end(), link) == takeBackLinks_.end())
      kept.emplace_back(links.GetString(i), link);
  }
  Refill(links, kept);
  for (size_t i = 0; i < keys.size(); ++i)
    links.GetItem(static_cast<int>(i))->LoadFromRegistry(values_, Key("Uplinks", keys[i]));
}

void TConfigEditSnapshot::TakeBackOnRestore(const TArea* area) {
  if (area) takeBack_.emplace_back(area, area->FileName);
}

void TConfigEditSnapshot::TakeBackOnRestore(const TNetLink* link) {
  if (link) takeBackLinks_.push_back(link);
}

void TConfigEditSnapshot::RestoreAreas() {
  TAreaList& areas = store_.Areas();
  // Separators added here go; those removed here come back as new ones.
  // Areas added here from the message base's files go; their files stay.
  for (int i = areas.GetCount() - 1; i >= 0; --i) {
    TArea* area = areas.GetItem(i);
    const bool known = std::any_of(areas_.begin(), areas_.end(), [area](const AreaValues& v) {
      return v.area == area && v.FileName == area->FileName;
    });
    if (known) continue;
    if (area->IsSeparator()) {
      area->DeleteFiles();
      areas.Remove(i);
    } else if (std::find(takeBack_.begin(), takeBack_.end(),
                         std::pair<const TArea*, std::string>(area, area->FileName)) !=
               takeBack_.end()) {
      areas.Remove(i);
    }
  }
  std::vector<TArea*> order, refilter;
  for (AreaValues& values : areas_) {
    if (IndexOfArea(areas, values.area, values.FileName) >= 0) {
      if (!values.area->DisplayFilter.SameConditions(values.DisplayFilter))
        refilter.push_back(values.area);
      values.PutBack(store_.Uplinks());
      order.push_back(values.area);
    } else if (values.Name == kSeparatorName) {
      values.area = areas.Adopt(std::make_unique<TArea>(store_.MessageBaseDir(), kSeparatorName,
                                                        values.FileName, AreaTypeCode::Separator));
      values.FileName = values.area->FileName;
      order.push_back(values.area);
    }
  }
  for (int i = 0; i < areas.GetCount(); ++i)  // added by an assistant or the tosser
    if (std::find(order.begin(), order.end(), areas.GetItem(i)) == order.end())
      order.push_back(areas.GetItem(i));
  areas.BeginUpdate();
  areas.TPubLst::Clear();
  for (TArea* area : order) areas.Add(area);
  areas.EndUpdate();
  TShellServices* shell = GetShellServices();
  if (!shell) return;
  shell->RefreshAreaList();
  // An open list of an area whose display filter came back shows its rows
  // again, as the properties' OK does.
  for (TArea* area : refilter) shell->MessageListRefilter(*area);
}

}  // namespace velmaris

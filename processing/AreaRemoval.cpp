#include "processing/AreaRemoval.h"

#include <cassert>

#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/NetLink.h"
#include "core/ShellServices.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

void Box(platform::MsgKind kind, const std::string& ansiText) {
  platform::GetPrompter().Ask(kind, platform::AnsiToUtf8(ansiText),
                              platform::mbAbort);
}

void AreaListChanged(TConfigStore& store) {
  if (TShellServices* shell = GetShellServices()) shell->RefreshAreaList();
  store.SaveConfiguration();
}

}  // namespace

int DeleteListedAreas(TConfigStore& store, const std::vector<std::string>& names,
                      TRemovalTexts texts, const TRemovalProgress& progress,
                      std::vector<TKeptArea>* kept) {
  assert(platform::GetDispatcher().IsMainThread());
  const bool area = texts == TRemovalTexts::Area;
  TAreaList& list = store.Areas();
  int deleted = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (progress) progress(static_cast<int>(i) + 1, static_cast<int>(names.size()));
    TArea* found = store.FindArea(name);
    if (!found) {
      Box(platform::MsgKind::Error, area
                                        ? "Could not find area  " + platform::TagInAnsi(name) + " !"
                                        : "Could not find area " + platform::TagInAnsi(name));
      if (kept) kept->push_back({name, TKeptArea::Reason::NotFound});
      continue;
    }
    if (found->IsLocked() || found->IsIndexLoaded()) {
      Box(platform::MsgKind::Warning, "The area " + found->NameInAnsi() +
                                          " is in use and cannot be " +
                                          (area ? "deleted !" : "deleted!"));
      if (kept) kept->push_back({name, TKeptArea::Reason::InUse});
      continue;
    }
    found->DeleteFiles();
    list.Remove(list.IndexOfObject(found));
    ++deleted;
  }
  AreaListChanged(store);
  return deleted;
}

namespace {

// BAD, DUPES and the netmail areas hold the mail of every uplink: they are
// never deleted with one.
bool GoesWithItsUplink(const TArea& area) {
  return area.Name != kNetmailAreaName && TConfigStore::CanKillArea(area);
}

}  // namespace

std::vector<std::string> AreasOfUplink(TConfigStore& store, const TNetLink* uplink) {
  std::vector<std::string> names;
  for (const TArea* area : store.Areas().Areas())
    if (area->Uplink == uplink && GoesWithItsUplink(*area)) names.push_back(area->Name);
  return names;
}

bool RemoveUnusedUplink(TConfigStore& store, TNetLink* uplink) {
  assert(platform::GetDispatcher().IsMainThread());
  std::vector<TArea*> staying;
  for (TArea* area : store.Areas().Areas()) {
    if (area->Uplink != uplink) continue;
    // An area that should have gone with it and is still there (it was in
    // use) keeps the uplink.
    if (GoesWithItsUplink(*area)) return false;
    staying.push_back(area);
  }
  // The areas that never go with an uplink stay, bound to no uplink.
  for (TArea* area : staying) area->SetUplink(nullptr);
  TLinkList& links = store.Uplinks();
  const int index = links.IndexOfObject(uplink);
  if (index >= 0) links.Delete(index);
  AreaListChanged(store);
  return true;
}

}  // namespace velmaris

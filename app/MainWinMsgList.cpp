// The main window's side of the message list windows: opening an area from
// the area list, the window limit, stepping to the neighbouring area, and
// handing the area lock's notices to the window open on the area.
#include <QApplication>

#include "app/KQMainWindow.h"
#include "app/MsgWin.h"
#include "app/logic/ConfigSession.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/Settings.h"
#include "core/forms/ListBoxLink.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "widgets/EZBetterListBox.h"

namespace velmaris {

std::vector<TMessageListWindow*> TKQMainWindow::MessageLists() const {
  std::vector<TMessageListWindow*> open;
  for (const auto& window : msgWindows_)
    if (window) open.push_back(window.data());
  return open;
}

namespace {

void TellAreaInUse(const TArea& area) {
  platform::GetPrompter().Inform("The area " + area.NameText() + " is in use an cannot be opened!");
}

}  // namespace

TMessageListWindow* TKQMainWindow::OpenMessageList(TArea& area) {
  if (area.IsSeparator() || area.AreaType == AreaTypeCode::Separator ||
      area.AreaType == AreaTypeCode::Prototype)
    return nullptr;
  TMessageListWindow* window = MessageWindowOf(area);
  if (window && window->Closing()) window = nullptr;
  if (window) {
    if (!area.IsReadable()) {
      TellAreaInUse(area);
      return nullptr;
    }
    BringToFront(window);
    return window;
  }
  // A shared hold while the window reads the index and builds its list; an
  // area someone else holds exclusively is not opened.
  if (!area.Lock(false)) {
    TellAreaInUse(area);
    return nullptr;
  }
  TAreaLockHold hold(area);
  std::erase_if(msgWindows_, [](const auto& w) { return w.isNull() || w->Closing(); });
  const auto limit =
      static_cast<size_t>(std::max(1, ConfigStore().Values()->Number(SettingId::WinLimit)));
  if (msgWindows_.size() < limit) {
    window = new TMessageListWindow(startDir_, this);
    window->SetEditorLinks(EditorLinks());
    window->BuildPluginMenu();
    msgWindows_.emplace_back(window);
  } else {
    window = msgWindows_[nextMsgWindow_ % msgWindows_.size()].data();
    nextMsgWindow_ = (nextMsgWindow_ + 1) % msgWindows_.size();
  }
  window->SetArea(&area);
  BringToFront(window);
  return window;
}

void TKQMainWindow::CloseMessageLists() {
  for (const auto& window : msgWindows_)
    if (window) delete window.data();
  msgWindows_.clear();
}

void TKQMainWindow::AreaListOpen() {
  if (!session_) return;
  const TAreaList& areas = session_->Store().Areas();
  const int row = areaList_->ItemIndex();
  if (row < 0 || row >= areas.GetCount()) return;
  try {
    OpenMessageList(*areas.GetItem(row));
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TKQMainWindow::OpenNeighbourArea(const TArea& area, bool forward) {
  if (!session_) return;
  const TAreaList& areas = session_->Store().Areas();
  const int at = areas.IndexOfObject(&area);
  if (at < 0) return;
  const int step = forward ? 1 : -1;
  for (int i = at + step; i >= 0 && i < areas.GetCount(); i += step) {
    TArea* next = areas.GetItem(i);
    if (next->IsSeparator()) continue;
    areaList_->SelectItem(i);
    OpenMessageList(*next);
    return;
  }
}

void TKQMainWindow::MessageListLocked(TArea& area, bool exclusive) {
  if (TMessageListWindow* window = MessageWindowOf(area)) window->AreaLocked(exclusive);
}

void TKQMainWindow::MessageListUpdateCaption(TArea& area) {
  if (TMessageListWindow* window = MessageWindowOf(area)) window->AreaUnlockedShared();
}

void TKQMainWindow::MessageListUnlocked(TArea& area) {
  if (TMessageListWindow* window = MessageWindowOf(area)) window->AreaUnlocked();
}

void TKQMainWindow::MessageListRefilter(TArea& area) {
  if (TMessageListWindow* window = MessageWindowOf(area)) window->BuildDisplayList();
}

void TKQMainWindow::MessageListAreaGone(TArea& area) {
  if (TMessageListWindow* window = MessageWindowOf(area)) {
    window->SetArea(nullptr);
    window->close();
  }
}

}  // namespace velmaris

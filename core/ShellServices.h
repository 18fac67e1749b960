// What the areas need from the shell: the main window's area list and the
// message list window open on an area. The shell implements this interface
// at start-up and sets it process-wide; tests set recording fakes. Without
// one nothing is shown.
//
// Every call arrives on the main thread. The area lock never calls these
// while it holds its mutex: a worker's lock or unlock posts the call to the
// main thread's dispatcher, and a call on the main thread runs after the
// lock state is settled. A posted call for an area freed in the meantime is
// dropped.
#pragma once

#include <string>

namespace velmaris {

class TArea;

class TShellServices {
 public:
  virtual ~TShellServices() = default;

  // Main window: rebuild the one line of the area (message count and flag
  // counters). Sent when an exclusive lock is released.
  virtual void UpdateAreaLine(TArea& area) { (void)area; }
  // Main window: rebuild the whole area list from the global area list.
  // Sent after areas were added, removed or moved.
  virtual void RefreshAreaList() {}

  // Message list window on the area, when one is open. A lock was taken:
  // the caption becomes the area name + " - locked" (shared) or
  // + " - exclusive locked"; an exclusive lock hides the messages and
  // disables the tool bars and menus.
  virtual void MessageListLocked(TArea& area, bool exclusive) {
    (void)area;
    (void)exclusive;
  }
  // A shared lock was released: renew the caption.
  virtual void MessageListUpdateCaption(TArea& area) { (void)area; }
  // An exclusive lock was released: clamp the current and selected message
  // to the new count, show and enable the window again, rebuild the list.
  virtual void MessageListUnlocked(TArea& area) { (void)area; }
  // The area's display filter was changed outside the window (its settings
  // put back): the window shows the rows of the filter now in force.
  virtual void MessageListRefilter(TArea& area) { (void)area; }
  // The area is being destroyed while a message list window shows it (its
  // MessageWindow is set): the window lets go of it at once. Sent from the
  // area's destructor, on the main thread.
  virtual void MessageListAreaGone(TArea& area) { (void)area; }

  // The settings window, opened on the page of that object name
  // ("TabVerbindungen", "TabMailboxen", ...; empty: its first page) once
  // the caller's command has returned: the settings may free the calling
  // window (a deleted profile's mailer window).
  virtual void ShowSettingsPage(const std::string& page) { (void)page; }
};

// The process-wide shell services; nullptr while none is set.
TShellServices* GetShellServices();
void SetShellServices(TShellServices* services);

}  // namespace velmaris

// Helpers shared by the files of the message list window (MsgWin*.cpp).
#pragma once

#include <QAction>
#include <QKeySequence>
#include <cstdint>
#include <exception>

#include "core/Mail.h"
#include "platform/Prompter.h"

namespace velmaris {

// Runs a handler of a control's event; an exception is reported, never
// passed on into the event loop.
template <typename Fn>
void Guarded(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

// The flag check boxes of the header panel and their bits, in the order of
// the window's flag boxes.
struct FlagBox {
  const char* name;
  const char* caption;
  uint16_t bit;
};
inline constexpr FlagBox kFlagBoxes[] = {
    {"F_ToSysop", "К сисопу", MsgFlag::ToSysop}, {"F_Unread", "Непрочитано", MsgFlag::Unread},
    {"F_Hold", "Держать", MsgFlag::Hold},        {"F_Kill", "Удалить", MsgFlag::Kill},
    {"F_Send", "Послать", MsgFlag::Send},        {"F_Sent", "Послано", MsgFlag::Sent},
    {"F_Crash", "Crash", MsgFlag::Crash},        {"F_Attach", "Attach", MsgFlag::Attach},
    {"F_Request", "Request", MsgFlag::Request}};

// A pop-up menu's entry shows the key of the menu command it repeats; the
// key reaches it only while its pop-up is open, so the window's key stays
// unambiguous.
inline void SetPopupKey(QAction* action, const QKeySequence& key) {
  action->setShortcut(key);
  action->setShortcutContext(Qt::WidgetShortcut);
}

// The section of "MsgList.ini" that holds the tool bar's layout.
inline constexpr const char* kToolbarSection = "MailToolbar";

}  // namespace velmaris

// What a message editor needs of the windows around it. Whoever makes an
// editor hands these over (the main window, or a message list on the main
// window's behalf), so the editor knows no other window. A link left empty
// disables its command.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace velmaris {

// The nodelist picker behind LookupReceiver: gets the window and the sysop
// name typed so far (ANSI bytes, may be empty); on OK fills the picked sysop
// name and address text and returns true.
using TNodelistPicker = std::function<bool(QWidget* parent, const std::string& sysop,
                                           std::string& name, std::string& address)>;

struct TEditorLinks {
  TNodelistPicker PickReceiver;
  std::function<void()> ShowAreaList;         // the main window in front
  std::function<void()> ShowSearch;           // the multi-area search window in front
};

}  // namespace velmaris

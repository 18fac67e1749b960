// Saving messages of a message list as ANSI text: per message a block of
// eight header lines framed by 78 asterisks, the text converted from the
// OEM to the ANSI code page and wrapped at 78 columns under its quote
// prefixes, 78 asterisks and three empty lines. Lines end in CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/logic/SelectionTools.h"

namespace velmaris {

class TArea;
class TMail;

// Which control lines are saved (the save dialog's check boxes).
struct TSaveTextSwitches {
  bool Kludges = false;
  bool AreaLines = false;
  bool SeenBy = false;
};

// The saved block of one message.
std::string SavedMessageText(const TMail& mail, const TSaveTextSwitches& switches);

// Saves the selected messages of the area into the file: appended to it
// (created when missing) or replacing it. The area is read under a shared
// lock (refused: nothing is written). An outcome Failed whose Error is empty
// means that the file could not be opened; with a text, that writing
// failed.
TToolOutcome SaveMessagesAsText(TArea& area, const std::vector<int32_t>& selection,
                                const std::string& fileName, bool append,
                                const TSaveTextSwitches& switches, TToolProgress& progress);

}  // namespace velmaris

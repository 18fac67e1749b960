// The message list of one area without a window: which messages the rows
// show and in which order, what each cell of a row says, the caption and
// status texts, the flag and topic searches and the steps of the navigator.
//
// Rows are area indexes. The display mask decides which messages are rows;
// the sort key orders them (keys 0 and 5 keep the area's order); descending
// reverses the sorted rows. Messages of equal keys keep their area order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/MsgText.h"
#include "core/MsgHeader.h"

namespace velmaris {

class TArea;
class TFilter;
class TSearchRequest;

// Sort keys, as stored in "MsgList.ini".
struct MsgSortKey {
  static constexpr int Area = 0;
  static constexpr int From = 1;
  static constexpr int To = 2;
  static constexpr int Subject = 3;
  static constexpr int Created = 4;
  static constexpr int Received = 5;
  static constexpr int Size = 6;
};

// Columns of the list.
struct MsgColumn {
  static constexpr int State = 0;
  static constexpr int From = 1;
  static constexpr int To = 2;
  static constexpr int Mark = 3;
  static constexpr int Unread = 4;
  static constexpr int Subject = 5;
  static constexpr int Flags = 6;
  static constexpr int Created = 7;
  static constexpr int Received = 8;
  static constexpr int Size = 9;
  static constexpr int Count = 10;
};

// The sort key a click on the column header selects, -1 for columns that
// do not sort (0 opens the display mask instead).
int SortKeyOfColumn(int column);
// The column whose header shows the sort glyph (key 0 and 5 included).
int ColumnOfSortKey(int key);

// The rows: every message the mask accepts, sorted by the key.
void BuildDisplayRows(const TArea& area, const TSearchRequest& mask, int sortKey, bool descending,
                      TIntegerList& rows);

// --- Cells ----------------------------------------------------------------------
// Column 0: unread and to the sysop 2, unread 0, to the sysop 3, otherwise 1.
int MsgStateImage(uint16_t flags);
// Column 3: to the sysop 6 (read) or 10 (unread), Sent 9, Send 8; -1 none.
int MsgMarkImage(uint16_t flags);
// Column 4: 7 when unread, -1 otherwise.
int MsgUnreadImage(uint16_t flags);
// Column 6: "---- ------" with I U S H, blank, D S K C A R in place.
std::string MsgFlagString(uint16_t flags);
// Columns 7 and 8: "dd.mm.yy h:mm:ss", "?" for a stored time below 1.
std::string MsgTimeText(int32_t unixSeconds);
// The text of a cell (empty for the image columns), in the stored code page.
std::string MsgCellText(const TMsgHeader& header, int column);
// The text length of a stored message (the body after the text offset).
uint32_t MsgTextSize(const TMsgHeader& header);
// Rows of unread messages are bold; those to the sysop, to send or sent
// take the sysop colour.
inline bool MsgRowBold(uint16_t flags) { return flags & MsgFlag::Unread; }
inline bool MsgRowSysopColour(uint16_t flags) {
  return flags & (MsgFlag::ToSysop | MsgFlag::Send | MsgFlag::Sent);
}

// --- Caption and status -----------------------------------------------------------
// No area: "No area assigned"; index not loaded: "Could not access area X !";
// otherwise "X - n Messages" and " (Filtered)" when fewer rows than messages.
// UTF-8, as the window shows it: X is the letters the area's name holds
// (platform::TagText).
std::string MsgListCaption(const TArea* area, int rows);
// "n Messages(s to sysop), u unread(us to sysop), f filtered, r shown", each
// part only when its number is above 0.
std::string MsgListStatusText(const TArea& area, int rows);

// --- Searches over area indexes (-1 when nothing is found) ---------------------
// Forward from from + 1 (from within 0 .. count-2) for a message whose flags
// hold every wanted bit and no rejected one; backward from from - 1.
int FindNextByFlags(const TArea& area, int from, uint16_t wanted, uint16_t rejected);
int FindPrevByFlags(const TArea& area, int from, uint16_t wanted, uint16_t rejected);
// The same, until the subject without reply marker equals the given one
// (letters folded in the ANSI code page, leading control characters and
// blanks removed).
int FindNextSameTopic(const TArea& area, int from, uint16_t wanted, const std::string& subject,
                      uint16_t rejected);
int FindPrevSameTopic(const TArea& area, int from, uint16_t wanted, const std::string& subject,
                      uint16_t rejected);
// The comparison form of a subject.
std::string TopicKey(const std::string& subject);

// --- Navigator steps -----------------------------------------------------------
// What the next or previous step does: show a message, move to the next or
// previous area, or nothing.
struct TMsgStep {
  enum Kind { None, Show, OtherArea } kind = None;
  int index = -1;  // the message to show
};
// displayed: the message shown (-1 none); displayOrder: through the rows,
// else through the area; advanceArea: step into the neighbouring area at
// either end.
TMsgStep NextMessageStep(const TIntegerList& rows, int count, int displayed, bool displayOrder,
                         bool advanceArea);
TMsgStep PrevMessageStep(const TIntegerList& rows, int count, int displayed, bool displayOrder,
                         bool advanceArea);

// --- Import filters made from a message ------------------------------------------
// Kills every message from the sender in the area; its name is
// "DELETE: " + sender + " in " + area.
std::unique_ptr<TFilter> SenderKillFilter(const std::string& from, const std::string& areaName,
                                          std::string& name);
// Kills every message with the subject (without reply marker) in the area;
// its name is "DELETE: Thread " + the subject in double quotes.
std::unique_ptr<TFilter> SubjectKillFilter(const std::string& subject, const std::string& areaName,
                                           std::string& name);

}  // namespace velmaris

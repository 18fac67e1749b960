// The edits of the settings dialog that need no window: checking what the
// user typed before it is taken over, storing the entry fields of a
// mailbox or packer into its object, moving and sorting list entries.
// The dialog calls these and shows the returned error texts; an empty error
// text means the input is taken.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/FidoAddress.h"  // BadAddressText

namespace velmaris {

class SettingsValues;
class TArea;
class TAreaList;
class TConfigStore;
class TMailBox;
class TMBList;
class TNetLink;
class TPacker;
class TPckList;
class TUnpackJob;
class TUnpJobList;

inline constexpr const char* kEmptyNameText = "The name must not be empty!";

// A file-name field's text without one double quote at its start and one
// at its end (each only when there).
std::string StripFileNameQuotes(std::string text);

// The scalar settings as a whole: the gateway address must be an address
// while the gateway is on. Empty when fine.
std::string CheckSettingsValues(const SettingsValues& values);

// The entry fields of the mailbox page.
struct TMailboxFields {
  std::string name, sysop, address;
  std::vector<std::string> numbers;  // blank lines are dropped when stored
};
TMailboxFields MailboxFields(const TMailBox& box);
// A name that is not blank and an address other than 0:0/0 are needed.
std::string CheckMailboxFields(const TMailboxFields& fields);
// Checks and stores; the list entry takes the new name. Returns the error
// text (then nothing changes).
std::string StoreMailboxFields(const TMailboxFields& fields, TMailBox& box, TMBList& list);

// The fields of a packer (its page and its properties window); the name is
// the list entry's.
struct TPackerFields {
  std::string name, pack, unpack;
  int32_t offset = 0;                                                // 0 .. 2048
  std::array<int32_t, 8> signature{-1, -1, -1, -1, -1, -1, -1, -1};  // -1 .. 255
};
TPackerFields PackerFields(const TPckList& list, const TPacker& packer);
// A blank name is refused; an offset or a signature value out of range is
// clamped, as the spin edits do. The entry takes the new name.
std::string StorePackerFields(const TPackerFields& fields, TPacker& packer, TPckList& list);

// The fields of an unpack job's properties window; the name is the entry's.
struct TUnpackJobFields {
  std::string name, mask, destDir, moveDir;
  int32_t source = 0;
};
TUnpackJobFields UnpackJobFields(const TUnpJobList& list, const TUnpackJob& job);
// A blank name or a blank mask is refused; the entry takes the new name.
std::string StoreUnpackJobFields(const TUnpackJobFields& fields, TUnpackJob& job,
                                 TUnpJobList& list);
inline constexpr const char* kEmptyMaskText = "The file mask must not be empty!";

// Moves the entry one place up (delta -1) or down (+1) through the list's
// own MoveUp/MoveDown (the mailbox list keeps the uplinks' indices in step);
// returns the index the entry has afterwards (unchanged at the ends or out
// of range).
template <class List>
int MoveEntry(List& list, int index, int delta) {
  const int target = index + delta;
  if (index < 0 || index >= list.GetCount() || target < 0 || target >= list.GetCount())
    return index;
  if (delta < 0)
    list.MoveUp(index);
  else
    list.MoveDown(index);
  return target;
}

// Sorts the areas by name (character codes) from the fourth entry on with
// repeated neighbour swaps; a pair holding a separator is never swapped, so
// separators and the first three areas keep their places. Fewer than five
// areas stay as they are.
void SortAreas(TAreaList& areas);

// An area whose message base files lie in the directory but that is not
// configured: its name (the ANSI page, as area names are stored, or a raw
// tag's bytes), whether that name is a raw tag (TArea::RawTag) and the name
// its files have on disk (the file system's bytes).
struct TInactiveArea {
  std::string name;
  std::string fileName;
  bool rawTag = false;
};
// The areas of the "*.PackedBody" files that no area uses, sorted by file
// name: without the system names (Separator, BAD, BADMAIL, DUPES, NETMAIL,
// REPORT) and the names and file names of existing areas (letter case
// ignored, as the store finds areas). The name is the tag the messages came
// in under (the area name in their headers, judged by platform::IsRawTag),
// where the file name is that tag's, a twin's "~2" and the like aside: the
// echo's next mail then finds the area, and a reply carries the tag back.
// Files whose messages carry no such tag are named after the file: a file
// name in UTF-8 gives the name in the ANSI page when the page holds every
// letter of it; a name the page cannot hold keeps its bytes. One an earlier
// version wrote in the ANSI page is the name as it stands.
std::vector<TInactiveArea> InactiveAreas(const std::string& msgBaseDir, const TAreaList& areas);
// Adds one of them as an echomail area on its files as they are (a file
// name in the ANSI page moves to its UTF-8 name at the next load) and
// saves the configuration; null when the area cannot be added.
TArea* AdoptInactiveArea(TConfigStore& store, const TInactiveArea& found, TNetLink* uplink);
// The question that offers one of them, for a message box (UTF-8): the
// name as the letters it holds, read as its messages' tag was judged.
std::string AddOldAreaQuestion(const TInactiveArea& old);
inline constexpr const char* kNoInactiveAreasText = "No inactive areas found!";

// The name a node or point list entry takes from a chosen file: without its
// directory, cut before its first "." ("/lists/NODELIST.123" -> "NODELIST").
std::string ListBaseName(const std::string& path);

// The macro of a line of the text-group macro list: the text before its TAB
// when the line begins with "%"; empty otherwise.
std::string MacroOfLine(const std::string& line);

}  // namespace velmaris

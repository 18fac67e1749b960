// Removing areas with their messages and uplinks with their areas, as the
// two removal assistants do it. An area in use (locked, or its index held
// open) is never deleted: the user is told and the area stays. Main thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmaris {

class TConfigStore;
class TNetLink;

// Whose texts the boxes use: the uplink assistant's or the area assistant's.
enum class TRemovalTexts { Uplink, Area };

// (position from 1, count) before each name.
using TRemovalProgress = std::function<void(int position, int count)>;

// A listed area that was not deleted, and why.
struct TKeptArea {
  enum class Reason { NotFound, InUse };
  std::string name;
  Reason reason;
  bool operator==(const TKeptArea&) const = default;
};

// Deletes the named areas in order: the message base files, the entry of the
// area list, the area. Names of no area and areas in use are told in a box
// and skipped (and added to kept, when given, in list order). Then the main
// window's area list is refreshed and the configuration saved. The number
// deleted.
int DeleteListedAreas(TConfigStore& store, const std::vector<std::string>& names,
                      TRemovalTexts texts, const TRemovalProgress& progress = {},
                      std::vector<TKeptArea>* kept = nullptr);

// The names of the areas bound to the uplink, in list order, without NETMAIL,
// BAD, DUPES and the other netmail areas: the areas that go with it.
std::vector<std::string> AreasOfUplink(TConfigStore& store, const TNetLink* uplink);

// Takes the uplink out of the uplink list when none of the areas that go
// with it (AreasOfUplink) is bound to it any more, and saves. The areas that
// stay (NETMAIL, BAD, DUPES, ...) are unbound; the uplink stays valid for
// whoever still points at it. False, nothing changed, while an area that
// goes with it is still bound to it (one in use that could not be deleted).
bool RemoveUnusedUplink(TConfigStore& store, TNetLink* uplink);

}  // namespace velmaris

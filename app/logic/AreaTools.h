// The area tools of the main window: catch up (mark every message read),
// clean up (the area's maintenance) and optimise (then maintenance), over
// the selected areas or, for catch up all, every area. Each asks first; each
// area is opened, locked exclusively, worked on, unlocked and closed in
// turn, with a note telling the step. A busy area or one that does not open
// is reported and the tool goes on with the next. Also the choice of the
// areas that the delete command may remove, and the configuration report.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmaris {

class TArea;
class TAreaList;
class TConfigStore;

enum class TAreaTool { CatchUp, CatchUpAll, CleanUp, Optimize };

// The note window's text; the window repaints on every change.
using TNoteSink = std::function<void(const std::string& text)>;

// rows: the selected rows of the area list (ignored for CatchUpAll). False
// when the question was not answered Yes (nothing done).
bool RunAreaTool(TAreaTool tool, TAreaList& areas, const std::vector<int>& rows,
                 const TNoteSink& note);

// The names of the areas at the rows that may be deleted: not bad mail,
// dupes, netmail, a separator or the prototype.
std::vector<std::string> DeletableAreaNames(const TAreaList& areas, const std::vector<int>& rows);

// Sends the configuration report: asks first, takes the first uplink in
// zone 1 or 2, and stores the report in NETMAIL under its exclusive lock.
// Errors are told through the prompter; false when nothing was stored.
bool SendConfigurationReport(TConfigStore& store);

}  // namespace velmaris

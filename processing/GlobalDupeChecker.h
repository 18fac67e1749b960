// The process-wide duplicate checker of the tosser, on the database
// "Velmaris.Dupes" beside the message base (under its lock, shared by the
// runs from every start directory). The start-up opens it, the end of the
// program closes it (saving the ring).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "core/MailLock.h"  // kDupesFileName
#include "processing/DupeChecker.h"

namespace velmaris {

// Asked for the process-wide checker while none is open.
class EDupeCheckerClosed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Opens the checker on messageBaseDir + "Velmaris.Dupes" (loading it; a
// missing database gives an empty ring; a damaged one the keys it still
// holds, saved at once, the damaged file kept beside under another name and
// said in the configuration store's log; one that cannot be read is said on
// standard error and in the log, left as it is, and Unreadable(): the
// tosser tosses nothing then). An open checker is closed first.
// Earlier versions kept the database in the start directory: while the
// message base folder has none, the start directory's is moved there; once
// it has one, the start directory's keys are merged into it (as older
// than its own), it is saved, and the start directory's file removed (a
// damaged one kept beside under another name). So the database of every
// start folder that was used is taken over once; one that cannot be read
// stays, and no import runs until it can be (DupeCheckerRefusal).
// While it is open it is the TMessageBaseFiles in force: a change of the
// message base folder merges the running ring into the new folder's
// database and uses that one (core/ConfigStore.h).
TDupeChecker& OpenDupeChecker(const std::string& messageBaseDir,
                              const std::string& startDir = std::string());
// The checker an import uses: the open one, opened (again) when none is
// open or the open one was refused to imports, so that a database mended
// since is read again.
TDupeChecker& DupeCheckerForImport(const std::string& messageBaseDir, const std::string& startDir);
// Why no import may run on the open checker: a database it uses or would
// merge exists but cannot be read ("the duplicate database <file> cannot be
// read (<why>)"); "" when one may, or none is open.
std::string DupeCheckerRefusal();
// The lines the next import puts into its log (a damaged database met,
// what it kept and where the damaged file is), handed out once.
std::vector<std::string> TakeDupeCheckerNotes();
// A run that takes the message base's lock but tosses nothing: when no
// checker is open and the start directory holds an earlier version's
// database, it is taken over as OpenDupeChecker takes it (opened, then
// closed again); else nothing is touched.
void MergeOlderDupeDatabase(const std::string& messageBaseDir, const std::string& startDir);
// The open checker; raises EDupeCheckerClosed when none is open.
TDupeChecker& GetDupeChecker();
bool IsDupeCheckerOpen();
// Saves the ring now; a failure is reported through the Prompter and the
// log (false). True also when none is open.
bool SaveDupeChecker();
// Saves (reporting a failure) and frees the checker.
bool CloseDupeChecker();

}  // namespace velmaris

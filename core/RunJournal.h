// The journal of a run that writes several files which must change as one
// (an import: the areas, the duplicate ring, the configuration and the
// backups; an export: the outbound packets and the messages' Sent marks).
//
// The journal is a text file in the start directory, one record a line, the
// fields separated by blanks, every byte below 0x21, 0x7F and "%" written as
// "%" and two hex digits. Each append is synced before the caller goes on,
// so a record on disk always comes before the change it describes. A line
// without its line end (a crash while it was written) is not read.
//
// An import writes:
//   "area DIR FILE BODYSIZE INDEXCOUNT"  before the first write to an area in
//                                        the run ("-" for a file that did
//                                        not exist)
//   "created PATH"                       a file the run made (removed when
//                                        the run rolls back)
//   "move FROM TO"  "replace FROM TO"    what is left to do after the commit
//                                        (the staged duplicate ring and
//                                        registry go in place by "replace")
//   "commit"                             the point of no return
// Recovery at the next start (RecoverImportJournal): without "commit" every
// area goes back to its size and count before the run and the run's files
// are removed, the "replace" sources too (the run never happened); with it
// the moves and replacements still to do are done (the run is finished).
// Either way the journal is removed at the end. Recovery may itself be cut
// off and repeated: every step is idempotent.
#pragma once

#include <string>
#include <vector>

namespace velmaris {

class TArea;

// The journals of the start directory.
inline constexpr const char* kImportJournalName = "Velmaris.Import.Journal";
inline constexpr const char* kExportJournalName = "Velmaris.Export.Journal";

class TRunJournal {
 public:
  using Record = std::vector<std::string>;

  explicit TRunJournal(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  bool Exists() const;

  // Appends records and syncs the file (creating it, and syncing its
  // directory, on the first append). Raises platform::EFile on failure.
  void Append(const std::vector<Record>& records);
  void Append(const Record& record) { Append(std::vector<Record>{record}); }
  // The complete records on disk, in order.
  std::vector<Record> Read() const;
  // Removes the journal and syncs its directory.
  void Remove();

  static std::string EncodeField(const std::string& field);
  static std::string DecodeField(const std::string& field);

 private:
  std::string path_;
  bool started_ = false;
};

// Records an area before the run's first write to it: its directory, file
// name, the size of ".PackedBody" and the record count of ".PackedIndex".
TRunJournal::Record AreaJournalRecord(const TArea& area);

// Puts the area files named by an "area" record back as they were: the body
// cut back to its size, the index to its first records (re-encoded, so it
// also holds for an index rewritten meanwhile); a file that did not exist is
// removed. False when a file could not be put back.
bool RollBackArea(const TRunJournal::Record& record);

// Finishes or undoes the import run the journal describes (see above). The
// lines of a log of what was done go to log when given. False when a step
// failed; the journal then stays for the next try.
bool RecoverImportJournal(const std::string& journalPath, std::vector<std::string>* log = nullptr);

// The steps of a run's commit and of its recovery call the step hook when
// one is set: tests that cut a run off at every step set it (the batch
// driver's --die-at-step). Not set in the program.
using TRunStepHook = void (*)();
void SetRunStepHook(TRunStepHook hook);
void RunStep();

}  // namespace velmaris

// Failures in nodelist/: a diff or compile run does not raise for a missing
// or damaged list; each problem is a time-stamped log line and part of the
// run's result (TDiffResult, the compiled flag). An exception from the layers
// below ends the run; TNodelistRunner logs it as the run's last line.
//
// The nodelist compiler: reads the configured nodelists and pointlists,
// builds one entry per node and point, removes duplicate addresses, sorts
// the entries by address, system name, sysop, location and link information
// and writes the index set that TNodelistLookup reads. It also applies the
// weekly nodediffs to the lists (NodeDiff.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "nodelist/NodelistFiles.h"
#include "nodelist/NodelistLookup.h"

namespace velmaris {

// One configured nodelist or pointlist as the compiler takes it.
struct TListInfo {
  std::string Domain;  // the entry's name in the configuration
  std::string List;    // base name of the list files, without extension
  std::string Diff;    // base name of its nodediff files
  // Nodelist: zone of the lines before the first "Zone" line.
  // Pointlist: zone of the bosses named by its "Host" lines.
  int Zone = 0;
};
using TNLList = std::vector<TListInfo>;

// Results of ReadNodelist and ReadPointlist.
enum TReadResult : int { rrRead = 0, rrNotFound = 2, rrNotReadable = 4, rrStructureError = 6 };
// Per-list results of ApplyDiff; ApplyDiffs folds them into one of the same
// values (0 all lists with a diff applied, 1 all failed, 2 mixed, 3 no diff).
enum TDiffResult : int { drApplied = 0, drFailed = 1, drPartly = 2, drNothing = 3 };

// Names of the regular files in dir; nothing when it cannot be read.
std::vector<std::string> ListFileNames(const std::string& dir);

// Applies one nodediff text to one list text (both ending in the end-of-file
// byte) without looking at their first lines or CRCs. False for a structure
// error: a command that is no letter and count, or a count that runs past
// the end of the list or of the diff.
bool ApplyDiffText(std::string_view list, std::string_view diff, std::string& out);

// What one compile did.
struct TCompileResult {
  bool Written = false;  // the new index set replaced the old one
  int DamagedLists = 0;  // lists that could not be read whole (unreadable or with damaged lines)
  int ListsOpened = 0;   // lists found and read (whole or not)
};

class TNodeListProcessor {
 public:
  using TTextEvent = std::function<void(const std::string&)>;

  std::string IndexDir;               // ends in "/"
  TNodelistLookup* Lookup = nullptr;  // closed, locked and reopened around a run
  std::string ListDir;                // lists and diffs; ends in "/"
  TNLList NodeLists;
  TTextEvent OnStatus;
  TTextEvent OnLog;
  TNLList PointLists;
  // The calendar year that decides the length of the year before it when
  // day numbers wrap; the current year unless a caller sets it.
  std::function<int()> CurrentYear;

  // Compiles all lists and writes a new index set.
  TCompileResult Process();
  int ReadNodelist(const std::string& name, int zone);
  int ReadPointlist(const std::string& name, int zone);
  // Highest numeric extension among the files name.* in ListDir (without
  // case), -1 when there is none. actualBase receives the base name as the
  // file spells it.
  int FindNewestList(const std::string& name, std::string* actualBase = nullptr) const;

  int ApplyDiffs();
  int ApplyDiff(const std::string& list, const std::string& diff);

  // Reads one list text already in memory (its end-of-file byte included,
  // as LoadTextFile returns it); shownName names it in the log. A damaged
  // line (a number that is none or out of range, a 0 byte) is logged and
  // left out, and so are the entries after a damaged line that may have set
  // the zone or net, up to the next line that sets them again; the other
  // entries are kept and the result is rrStructureError.
  int ReadListText(std::string text, const std::string& listName, int zone, bool pointlist);
  // Sorts the entries read so far, removes duplicates and returns the nine
  // files of the index set by name, without writing them.
  std::vector<std::pair<std::string, std::string>> BuildIndexImage();

  // Number of entries read so far in a run.
  size_t EntryCount() const { return entries_.size(); }
  // Forgets the entries and buffers of a run.
  void ClearEntries();

  void DoStatus(const std::string& text) const;
  void DoLog(const std::string& text) const;

 private:
  struct TNodeEntry {
    TNodeIndexRecord Rec;
    std::string_view SystemName, Sysop, Location, LinkInfo;
  };
  using TKeyCompare = int (*)(const TNodeEntry*, const TNodeEntry*);

  class TDamage;
  int ReadList(const std::string& name, int zone, bool pointlist);
  void ParseNodelistBuffer(std::string_view text, int zone, TDamage& damage);
  void ParsePointlistBuffer(std::string_view text, int zone, TDamage& damage);

  void CreateIndex();
  void Sort(TKeyCompare cmp, const char* start, const char* finished);
  void DeleteDuplicates();
  bool SaveTexts(const std::string& base, int which);
  void BuildTexts(int which, std::string& data, std::string& index, bool& tooLarge);
  std::string BuildMainIndex() const;
  bool SaveMainIndex(const std::string& fileName);
  bool WriteTemp(const std::string& path, const std::string& bytes);

  int ApplyDiffStep(const std::string& list, const std::string& diff);
  int Year() const;

  std::vector<TNodeEntry> entries_;  // in reading order
  std::vector<TNodeEntry*> index_;   // the sort array
  std::deque<std::string> buffers_;  // list texts the entries point into
  std::vector<std::string> temps_;   // temporary index files of this run
  int damagedLists_ = 0;             // of this run
  int listsOpened_ = 0;

  friend struct TNodeListProcessorTestAccess;
};

}  // namespace velmaris

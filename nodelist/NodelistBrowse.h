// The search of the nodelist browser over the compiled index set: which
// records a filter of system name, sysop, location and address parts lets
// through, the texts of the browser's eight columns, and the updater that
// runs one search after the other on a thread of its own.
//
// A text filter matches a record when the record's text, with every "_"
// read as a blank, contains the filter text, letters folded in the OEM code
// page of both (CaseFold.h) (an underscore typed into the filter finds
// nothing where the list stores one). An address part of -1 matches any
// value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Job.h"

namespace velmaris {

class TNodelistLookup;

struct TNodelistFilter {
  int32_t Zone = -1, Net = -1, Node = -1, Point = -1;
  std::string Name, Sysop, City;
  bool operator==(const TNodelistFilter&) const = default;
};

// "Node", "Pvt Node", ... "Point(Hold)"; "?" for any other code.
const char* NodeTypeName(int32_t code);

// The matching record numbers, ascending. stop is polled now and then; once
// it says true the pass ends early with what it found so far.
std::vector<int> FilterNodelist(const TNodelistLookup& lookup, const TNodelistFilter& filter,
                                const std::function<bool()>& stop = {});

enum TNodelistColumn : int {
  nlcAddress,
  nlcType,
  nlcSystem,
  nlcSysop,
  nlcCity,
  nlcPhone,
  nlcSpeed,
  nlcFlags,
  nlcColumnCount
};
// The text of one cell: the 4D address, the type name, the three texts with
// "_" shown as blanks, and the link information split at its first two
// commas (phone, speed, flags).
std::string NodelistCellText(const TNodelistLookup& lookup, int record, int column);
// "<shown> of <total> entries shown".
std::string NodelistStatusText(size_t shown, int total);

// Runs the browser's searches on its own thread, one at a time. A request
// made while a search runs is remembered; when that search ends exactly one
// more follows, with the filter as it is then. Every hook runs on the main
// thread, through the dispatcher.
class TNodelistUpdater : public TJob {
 public:
  struct Hooks {
    // The filter of the coming search, read when it starts (the browser
    // shows that it is busy here).
    std::function<TNodelistFilter()> Starting;
    // The result of a search; more: another search follows at once.
    std::function<void(std::vector<int> records, bool more)> Finished;
  };
  TNodelistUpdater(const TNodelistLookup& lookup, Hooks hooks);
  // Stops a running search and waits for it, processing the main thread's
  // messages meanwhile.
  ~TNodelistUpdater() override;

  // Main thread: starts a search, or asks for one more after the running one.
  void Request();
  // Main thread: a search is running or about to follow.
  bool Running() const { return running_; }
  // Waits until no search runs, processing the main thread's messages.
  void Wait();

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;

  const TNodelistLookup& lookup_;
  Hooks hooks_;
  bool running_ = false;  // main thread only
  bool pending_ = false;  // main thread only
};

}  // namespace velmaris

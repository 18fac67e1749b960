// Where a nodelist run gets its inputs: the configured nodelists and
// pointlists of the configuration store and the directory, zone and report
// settings. The description is taken on the main thread (the configuration
// lists change only there) and handed to the worker as a copy, so a change
// made while the run goes on takes effect with the next run.
#pragma once

#include <string>
#include <vector>

#include "nodelist/NodelistRun.h"

namespace velmaris {

class SettingsValues;
class TConfigStore;
class TNLData;
struct TNLInfo;

// One configured entry as the compiler takes it: the domain it is listed
// under, its list and diff base names and its zone.
TListInfo ToListInfo(const TNLInfo& entry);

// The run's description: FTNDir gives the list directory, KQLDIr the index
// directory, Zone the point's own zone, ProcessReport whether the log is
// posted; the nodelists and pointlists in list order. Main thread only.
TNodelistRunConfig MakeNodelistRunConfig(const SettingsValues& values, const TNLData& nodelists,
                                         const TNLData& pointlists);
// The same from the store's current settings and lists.
TNodelistRunConfig MakeNodelistRunConfig(TConfigStore& store);

// Posts the log of a run into the area REPORT, from "Nodelist Processor" to
// "Sysop" with the subject "Nodelist Update Log". Callable from any thread
// (a worker's call is handed to the main thread). A failure is written to
// the configuration store's log and answered with false; it never reaches
// the caller as an exception.
bool PostNodelistReport(const std::vector<std::string>& log);

}  // namespace velmaris

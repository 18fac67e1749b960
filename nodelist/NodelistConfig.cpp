#include "nodelist/NodelistConfig.h"

#include <iostream>

#include "core/ConfigStore.h"
#include "core/NLData.h"
#include "core/Report.h"
#include "core/Settings.h"

namespace velmaris {

namespace {

TNLList ToListInfos(const TNLData& data) {
  TNLList out;
  for (const TNLInfo& entry : data.Entries()) out.push_back(ToListInfo(entry));
  return out;
}

void LogFailure(const std::string& line) {
  if (TConfigStore* store = GetConfigStore())
    store->Log(line);
  else
    std::cerr << "velmaris: " << line << std::endl;
}

}  // namespace

TListInfo ToListInfo(const TNLInfo& entry) {
  return TListInfo{entry.Domain, entry.List, entry.Diff, entry.Zone};
}

TNodelistRunConfig MakeNodelistRunConfig(const SettingsValues& values, const TNLData& nodelists,
                                         const TNLData& pointlists) {
  TNodelistRunConfig config;
  config.NodeLists = ToListInfos(nodelists);
  config.PointLists = ToListInfos(pointlists);
  config.ListDir = values.FTNDir();
  config.IndexDir = values.KQLDIr();
  config.Zone = values.Zone();
  config.ProcessReport = values.ProcessReport();
  return config;
}

TNodelistRunConfig MakeNodelistRunConfig(TConfigStore& store) {
  return MakeNodelistRunConfig(*store.Values(), store.Nodelists(), store.Pointlists());
}

bool PostNodelistReport(const std::vector<std::string>& log) {
  try {
    WriteReportMessage(kNodelistReportFrom, kNodelistReportTo, kNodelistReportSubject,
                       kNodelistReportOrigin, log);
    return true;
  } catch (const std::exception& e) {
    LogFailure(std::string("The nodelist update log could not be posted: ") + e.what());
  } catch (...) {
    LogFailure("The nodelist update log could not be posted");
  }
  return false;
}

}  // namespace velmaris

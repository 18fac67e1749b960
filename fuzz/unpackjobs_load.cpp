// The unpack-job list from arbitrary registry text: loading either succeeds
// or raises ERegistry (a value of the wrong type); what loads saves into a
// fresh registry and loads back to the same jobs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/UnpackJob.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

namespace {

using namespace velmaris;

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";

std::vector<std::string> Describe(const TUnpJobList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) {
    const TUnpackJob& j = *list.GetJob(i);
    out.push_back(list.GetString(i) + '\n' + j.Mask + '\n' + j.DestDir + '\n' + j.MoveDir + '\n' +
                  std::to_string(j.Source));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::Registry source("/nonexistent/velmaris-fuzz.reg");
  try {
    source.FromText(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const platform::ERegistry&) {
    return 0;
  }
  TWinRegistry in(kRoot, source);
  TUnpJobList list;
  try {
    list.LoadFromRegistry(in, "Unpackjobs");
  } catch (const platform::ERegistry&) {
    return 0;
  }
  if (list.GetCount() > TUnpJobList::kMaxStoredJobs) std::abort();
  platform::Registry copy("/nonexistent/velmaris-fuzz.reg");
  TWinRegistry out(kRoot, copy);
  list.SaveToRegistry(out, "Unpackjobs");
  TUnpJobList again;
  again.LoadFromRegistry(out, "Unpackjobs");  // must not raise
  if (Describe(again) != Describe(list)) std::abort();
  return 0;
}

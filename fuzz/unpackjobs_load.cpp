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

#include "RegistryFuzz.h"

namespace {

using namespace velmaris;

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
  fuzz::ListRoundTrip<TUnpJobList>(data, size, "Unpackjobs", [](const TUnpJobList& list) {
    if (list.GetCount() > TUnpJobList::kMaxStoredJobs) std::abort();
    return Describe(list);
  });
  return 0;
}

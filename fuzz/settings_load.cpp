// Settings and nodelist entries from arbitrary registry text: loading either
// succeeds or raises ERegistry (a value of the wrong type); what loads saves
// into a fresh registry and loads back to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/NLData.h"
#include "core/Settings.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

#include "RegistryFuzz.h"

namespace {

constexpr const char* kStart = "/srv/velmaris/";

std::vector<std::string> Describe(const velmaris::TNLData& data) {
  std::vector<std::string> out;
  for (const auto& e : data.Entries()) {
    out.push_back(e.Domain + '\n' + e.List + '\n' + e.Diff + '\n' + std::to_string(e.Zone));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  fuzz::RegistryPair reg;
  if (!reg.Parse(data, size)) return 0;
  TWinRegistry& in = *reg.in;
  TWinRegistry& out = *reg.out;
  SettingsValues values(kStart);
  TNLData nodelists, pointlists;
  try {
    values.LoadFromRegistry(in);
    LoadNodelistConfiguration(in, nodelists, pointlists);
  } catch (const platform::ERegistry&) {
    return 0;
  }

  values.SaveToRegistry(out);
  SaveNodelistConfiguration(out, nodelists, pointlists);
  SettingsValues again(kStart);
  TNLData nodelists2, pointlists2;
  again.LoadFromRegistry(out);  // must not raise
  LoadNodelistConfiguration(out, nodelists2, pointlists2);
  if (!(again == values)) std::abort();
  if (Describe(nodelists2) != Describe(nodelists)) std::abort();
  if (Describe(pointlists2) != Describe(pointlists)) std::abort();
  return 0;
}

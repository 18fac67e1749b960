// The packer list from arbitrary registry text: loading either succeeds or
// raises ERegistry (a value of the wrong type); what loads saves into a fresh
// registry and loads back to the same packers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/Packer.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

namespace {

using namespace velmaris;

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";

std::vector<std::string> Describe(const TPckList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) {
    const TPacker& p = *list.GetPacker(i);
    std::string s = list.GetString(i) + '\n' + p.GetPack() + '\n' + p.GetUnPack() + '\n' +
                    std::to_string(p.Offset) + ' ' + std::to_string(p.IntegratedKind());
    for (int b = 0; b < 8; ++b) s += ' ' + std::to_string(p.GetSignature(b));
    out.push_back(std::move(s));
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
  TPckList list;
  try {
    list.LoadFromRegistry(in, "Packers");
  } catch (const platform::ERegistry&) {
    return 0;
  }
  platform::Registry copy("/nonexistent/velmaris-fuzz.reg");
  TWinRegistry out(kRoot, copy);
  list.SaveToRegistry(out, "Packers");
  TPckList again;
  again.LoadFromRegistry(out, "Packers");  // must not raise
  if (Describe(again) != Describe(list)) std::abort();
  return 0;
}

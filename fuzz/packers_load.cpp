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

#include "RegistryFuzz.h"

namespace {

using namespace velmaris;

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
  fuzz::ListRoundTrip<TPckList>(data, size, "Packers", Describe);
  return 0;
}

// Shared by the targets that load configuration from arbitrary registry
// text: the input's tree and a fresh tree to save into, each under the
// program's key, and the round trip of a list through both.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/WinRegistry.h"
#include "platform/Registry.h"

namespace velmaris::fuzz {

// Neither file is ever read or written: the trees live in memory. `in` and
// `out` are there once Parse has succeeded.
struct RegistryPair {
  platform::Registry source{"/nonexistent/velmaris-fuzz.reg"};
  platform::Registry copy{"/nonexistent/velmaris-fuzz.reg"};
  std::optional<TWinRegistry> in, out;

  // Reads the input into `source`; false when it is no registry text.
  bool Parse(const uint8_t* data, size_t size) {
    try {
      source.FromText(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const platform::ERegistry&) {
      return false;
    }
    in.emplace("software\\Brimvale\\Velmaris", source);
    out.emplace("software\\Brimvale\\Velmaris", copy);
    return true;
  }
};

// A list loaded from the input's section either raises ERegistry (a value
// of the wrong type) or saves into a fresh tree and loads back from it
// without raising to the same description.
template <class List, class Describe>
void ListRoundTrip(const uint8_t* data, size_t size, const char* section, Describe describe) {
  RegistryPair reg;
  if (!reg.Parse(data, size)) return;
  List list;
  try {
    list.LoadFromRegistry(*reg.in, section);
  } catch (const platform::ERegistry&) {
    return;
  }
  list.SaveToRegistry(*reg.out, section);
  List again;
  again.LoadFromRegistry(*reg.out, section);
  if (describe(again) != describe(list)) std::abort();
}

}  // namespace velmaris::fuzz

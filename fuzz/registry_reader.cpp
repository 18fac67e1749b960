// Registry text from arbitrary bytes: the reader either builds a tree or
// raises ERegistry; a tree it builds writes out as text that reads back to
// the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using velmaris::platform::ERegistry;
  using velmaris::platform::Registry;
  Registry reg("/nonexistent/velmaris-fuzz.reg");
  try {
    reg.FromText(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const ERegistry&) {
    return 0;
  }
  const std::string text = reg.ToText();
  Registry again("/nonexistent/velmaris-fuzz.reg");
  again.FromText(text);  // must not raise
  if (again.ToText() != text) std::abort();
  return 0;
}

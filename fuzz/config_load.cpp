// The whole configuration from arbitrary registry text: loading either
// succeeds or raises ERegistry (a value of the wrong type); what loads saves,
// and loading and saving the saved registry again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "platform/Registry.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"

namespace {

using namespace velmaris;

constexpr const char* kStart = "/nonexistent/velmaris-fuzz/";
constexpr const char* kFile = "/nonexistent/velmaris-fuzz.reg";

// Loads the store from the registry, saves it back into the same tree and
// returns the tree's text. False when the input does not load.
bool LoadAndSave(platform::Registry& source, std::string* text) {
  TConfigStore store(kStart, source);
  store.SetLogSink([](const std::string&) {});
  InstallPackerConfig(store);
  InstallUnpackJobConfig(store);
  InstallFilterConfig(store);
  InstallAutoSendConfig(store);
  try {
    store.LoadFromRegistry();
  } catch (const platform::ERegistry&) {
    return false;
  }
  try {
    store.SaveToRegistry();
  } catch (const std::exception&) {
    // The file cannot be written; the tree is complete.
  }
  *text = source.ToText();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::Registry first(kFile);
  try {
    first.FromText(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const platform::ERegistry&) {
    return 0;
  }
  std::string saved;
  if (!LoadAndSave(first, &saved)) return 0;
  platform::Registry second(kFile);
  second.FromText(saved);
  std::string again;
  if (!LoadAndSave(second, &again)) std::abort();  // what was saved must load
  if (again != saved) std::abort();
  return 0;
}

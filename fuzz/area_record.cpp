// An area loaded from arbitrary registry text: loading succeeds or raises
// ERegistry (a value of the wrong type); the file name it ends up with is
// safe in a file system; what loads saves and loads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Area.h"
#include "core/WinRegistry.h"
#include "platform/Registry.h"

#include "RegistryFuzz.h"

namespace {

constexpr const char* kSection = "Areas\\Area1";
// Loading deletes older-format files of the area: nothing is there.
constexpr const char* kDir = "/nonexistent/velmaris-fuzz/";

std::string State(const velmaris::TArea& a, const velmaris::TLinkList& uplinks) {
  const int32_t uplink = a.Uplink ? uplinks.IndexOf(a.Uplink) : -1;
  auto record = a.PackRecord(uplink);
  std::string s(record.begin(), record.end());
  s += std::to_string(a.LastRead) + ',' + std::to_string(a.LastImport) + ',' +
       std::to_string(a.NToH) + std::to_string(a.RandomOrig) + std::to_string(a.NoRex);
  return s;
}

bool SafeFileName(const std::string& file) {
  if (file.size() > velmaris::kAreaFileNameMax) return false;
  for (char ch : file) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string("<>/\\:?*|\"").find(ch) != std::string::npos) return false;
  }
  return velmaris::TArea::StoredFileName(file) == file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmaris;
  fuzz::RegistryPair reg;
  if (!reg.Parse(data, size)) return 0;
  TWinRegistry& in = *reg.in;
  TWinRegistry& out = *reg.out;
  TLinkList uplinks;
  for (int i = 0; i < 3; ++i) uplinks.Add(std::make_unique<TNetLink>());

  std::unique_ptr<TArea> first;
  try {
    first = TArea::CreateFromRegistry(in, kSection, kDir, &uplinks);
  } catch (const platform::ERegistry&) {
    return 0;
  }
  if (!SafeFileName(first->FileName)) std::abort();

  first->SaveToRegistry(out, kSection, &uplinks);
  auto second = TArea::CreateFromRegistry(out, kSection, kDir, &uplinks);  // must not raise
  if (second->Name != first->Name.substr(0, 255)) std::abort();
  if (second->FileName != first->FileName) std::abort();
  if (!second->MaintainFilter.SameConditions(first->MaintainFilter)) std::abort();
  if (!second->DisplayFilter.SameConditions(first->DisplayFilter)) std::abort();
  second->SaveToRegistry(out, kSection, &uplinks);
  auto third = TArea::CreateFromRegistry(out, kSection, kDir, &uplinks);
  if (State(*third, uplinks) != State(*second, uplinks)) std::abort();
  return 0;
}

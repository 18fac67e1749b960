// Stored layouts and placements from arbitrary text: every "key=value" line
// of the input becomes a stored value; reading a placement, the speed bar's
// button lines and the colour button's custom colours must stay bounded and
// never fail, and custom colours written back read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "widgets/logic/ColorArray.h"
#include "widgets/logic/IniStorage.h"
#include "widgets/logic/PlacementValues.h"
#include "widgets/logic/SpeedBarRules.h"

namespace {

class MemoryIni : public velmaris::TIniStorage {
 public:
  std::string ReadString(const std::string&, const std::string& ident,
                         const std::string& def) const override {
    const auto it = values.find(ident);
    return it == values.end() ? def : velmaris::StripIniQuotes(it->second);
  }
  void WriteString(const std::string&, const std::string& ident,
                   const std::string& value) override {
    values[ident] = value;
  }
  void EraseSection(const std::string&) override { values.clear(); }
  bool StripsQuotes() const override { return true; }
  std::map<std::string, std::string> values;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  MemoryIni ini;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const size_t eq = line.find('=');
    if (eq != std::string::npos) ini.values[line.substr(0, eq)] = line.substr(eq + 1);
    pos = end + 1;
  }
  velmaris::TWindowPlacementRec wp;
  velmaris::ReadPlacementPosition(&ini, "F", wp, {1024, 768, 96});
  velmaris::ReadPlacementState(&ini, "F");
  for (const auto& [key, value] : ini.values) {
    std::string name;
    std::optional<int> left, top;
    if (velmaris::ParseLayoutButton(value, name, left, top) && name.empty()) std::abort();
    velmaris::IniReadInteger(&ini, "F", key, 0);
  }
  velmaris::TColorArrayClass custom(8, 2);
  velmaris::CustomColorsFromText(text, custom);
  velmaris::TColorArrayClass again(8, 2);
  velmaris::CustomColorsFromText(velmaris::CustomColorsToText(custom), again);
  if (!(again == custom)) std::abort();
  return 0;
}

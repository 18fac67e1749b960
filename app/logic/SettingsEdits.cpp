#include "app/logic/SettingsEdits.h"

#include "archive/Packer.h"
#include "core/Area.h"
#include "core/FidoAddress.h"
#include "core/MailBox.h"
#include "core/Settings.h"

namespace velmaris {

namespace {

bool Blank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

std::string BadAddressText(const std::string& text) {
  return "\"" + text + "\" is no valid FidoNet address!";
}

std::string CheckSettingsValues(const SettingsValues& values) {
  if (values.CbUseGateWay() && !ParseFidoAddress(values.EdUUCPAddr()))
    return BadAddressText(values.EdUUCPAddr());
  return {};
}

TMailboxFields MailboxFields(const TMailBox& box) {
  return {box.Name, box.Sysop, box.Address.GetText(), box.Numbers};
}

std::string CheckMailboxFields(const TMailboxFields& fields) {
  if (Blank(fields.name)) return kEmptyNameText;
  const auto address = ParseFidoAddress(fields.address);
  if (!address || (address->Zone == 0 && address->Net == 0 && address->Node == 0))
    return BadAddressText(fields.address);
  return {};
}

std::string StoreMailboxFields(const TMailboxFields& fields, TMailBox& box, TMBList& list) {
  std::string error = CheckMailboxFields(fields);
  if (!error.empty()) return error;
  box.Name = fields.name;
  box.Sysop = fields.sysop;
  box.Address.SetAddress(*ParseFidoAddress(fields.address));
  std::vector<std::string> numbers;
  for (const std::string& number : fields.numbers)
    if (!Blank(number)) numbers.push_back(number);
  box.SetNumbers(numbers);
  const int index = list.IndexOf(&box);
  if (index >= 0) list.SetString(index, box.Name);
  return {};
}

TPackerFields PackerFields(const TPckList& list, const TPacker& packer) {
  const int index = list.IndexOf(&packer);
  return {index >= 0 ? list.GetString(index) : std::string(), packer.GetPack(),
          packer.GetUnPack()};
}

std::string StorePackerFields(const TPackerFields& fields, TPacker& packer, TPckList& list) {
  if (Blank(fields.name)) return kEmptyNameText;
  packer.SetPack(fields.pack);
  packer.SetUnPack(fields.unpack);
  const int index = list.IndexOf(&packer);
  if (index >= 0) list.SetString(index, fields.name);
  return {};
}

void SortAreas(TAreaList& areas) {
  const int count = areas.GetCount();
  if (count < 5) return;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int i = 3; i + 1 < count; ++i) {
      const std::string& a = areas.GetString(i);
      const std::string& b = areas.GetString(i + 1);
      if (a == kSeparatorName || b == kSeparatorName || !(b < a)) continue;
      areas.MoveDown(i);
      swapped = true;
    }
  }
}

}  // namespace velmaris

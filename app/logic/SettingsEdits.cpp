#include "app/logic/SettingsEdits.h"

#include <algorithm>

#include "archive/Packer.h"
#include "archive/UnpackJob.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/FidoAddress.h"
#include "core/MailBox.h"
#include "core/MessageBase.h"
#include "core/Settings.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

bool Blank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// Whether the messages in an area's files were tossed under a tag of these
// very bytes (their headers keep the tag as it came).
bool TossedUnderTag(const std::string& indexPath, const std::string& tag) {
  std::vector<TMsgHeader> headers;
  try {
    if (!DecodePackedIndex(platform::ReadFile(indexPath), headers)) return false;
  } catch (const std::exception&) {
    return false;
  }
  return std::any_of(headers.begin(), headers.end(), [&tag](const TMsgHeader& h) {
    return platform::SameTag(h.AreaName.View(), tag);
  });
}

// The area name of an area's file name. A UTF-8 file name is the text of
// the area's name: in the ANSI page when every letter has its place there,
// unless the name is a tag kept raw (its bytes cannot come from the OEM
// page) and the messages came in under those very bytes; a name the ANSI
// page cannot hold keeps its bytes, as the tosser keeps such a tag. A file
// name an earlier version wrote in the ANSI page is the name as it stands.
std::string AreaNameOfFile(const std::string& msgBaseDir, const std::string& fileName) {
  if (!platform::IsUtf8(fileName)) return fileName;
  const std::optional<std::string> ansi =
      platform::FromUtf8Exact(fileName, platform::AnsiCodePage());
  if (!ansi) return fileName;
  if (platform::IsRawTag(fileName) &&
      TossedUnderTag(msgBaseDir + fileName + kPackedIndexExt, fileName))
    return fileName;
  return *ansi;
}

}  // namespace

std::string StripFileNameQuotes(std::string text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
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
  TPackerFields fields{index >= 0 ? list.GetString(index) : std::string(), packer.GetPack(),
                       packer.GetUnPack()};
  fields.offset = packer.Offset;
  for (int i = 0; i < 8; ++i) fields.signature[static_cast<size_t>(i)] = packer.GetSignature(i);
  return fields;
}

std::string StorePackerFields(const TPackerFields& fields, TPacker& packer, TPckList& list) {
  if (Blank(fields.name)) return kEmptyNameText;
  packer.SetPack(fields.pack);
  packer.SetUnPack(fields.unpack);
  packer.Offset = std::clamp<int32_t>(fields.offset, 0, 2048);
  for (int i = 0; i < 8; ++i)
    packer.SetSignature(i, std::clamp<int32_t>(fields.signature[static_cast<size_t>(i)], -1, 255));
  const int index = list.IndexOf(&packer);
  if (index >= 0) list.SetString(index, fields.name);
  return {};
}

TUnpackJobFields UnpackJobFields(const TUnpJobList& list, const TUnpackJob& job) {
  const int index = list.IndexOf(&job);
  return {index >= 0 ? list.GetString(index) : std::string(), job.Mask, job.DestDir, job.MoveDir,
          job.Source};
}

std::string StoreUnpackJobFields(const TUnpackJobFields& fields, TUnpackJob& job,
                                 TUnpJobList& list) {
  if (Blank(fields.name)) return kEmptyNameText;
  if (Blank(fields.mask)) return kEmptyMaskText;
  job.Mask = fields.mask;
  job.DestDir = fields.destDir;
  job.MoveDir = fields.moveDir;
  job.Source = fields.source;
  const int index = list.IndexOf(&job);
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

std::vector<TInactiveArea> InactiveAreas(const std::string& msgBaseDir, const TAreaList& areas) {
  static constexpr const char* kSuffix = ".PackedBody";
  static constexpr std::string_view kSystemNames[] = {"Separator", "BAD",     "BADMAIL",
                                                      "DUPES",     "NETMAIL", "REPORT"};
  const size_t suffixLength = std::string_view(kSuffix).size();
  std::vector<TInactiveArea> found;
  for (const platform::DirEntry& entry : platform::ScanDir(msgBaseDir, "*.PackedBody")) {
    if (entry.name.size() <= suffixLength) continue;
    const std::string fileName = entry.name.substr(0, entry.name.size() - suffixLength);
    const std::string name = AreaNameOfFile(msgBaseDir, fileName);
    bool taken = false;
    for (std::string_view system : kSystemNames)
      taken = taken || platform::EqualNoCase(name, system);
    // An area name is taken in any case of its letters, as the store finds
    // areas (platform::SameTag); a file name only in the case of Latin ones.
    for (int i = 0; i < areas.GetCount() && !taken; ++i)
      taken = platform::SameTag(areas.GetString(i), name) ||
              platform::EqualNoCase(areas.GetItem(i)->FileName, fileName);
    if (!taken) found.push_back({name, fileName});
  }
  return found;
}

TArea* AdoptInactiveArea(TConfigStore& store, const TInactiveArea& found, TNetLink* uplink) {
  TArea* area = store.AddAreaQuiet(found.name, found.name, AreaTypeCode::Echomail, uplink);
  if (!area) return nullptr;
  if (area->FileName != found.fileName) {
    area->FileName = found.fileName;
    store.SaveConfiguration();
  }
  return area;
}

std::string ListBaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.substr(0, name.find('.'));
}

std::string MacroOfLine(const std::string& line) {
  if (line.empty() || line[0] != '%') return {};
  return line.substr(0, line.find('\t'));
}

std::string AddOldAreaQuestion(const std::string& name) {
  return "Do you wish the add the area \"" + platform::TagText(name) +
         "\" ? ATTENTION: If you do not use the default uplink for  this area you have to fix "
         "the uplink in the area settings!";
}

}  // namespace velmaris

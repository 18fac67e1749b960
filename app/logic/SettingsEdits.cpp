#include "app/logic/SettingsEdits.h"

#include <algorithm>
#include <optional>

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

// A file name without the "~2", "~3", ... that keeps a twin's files apart,
// or nothing when it has none.
std::optional<std::string> WithoutTwinNumber(const std::string& fileName) {
  const size_t tilde = fileName.rfind('~');
  if (tilde == std::string::npos || tilde + 1 == fileName.size()) return std::nullopt;
  for (size_t i = tilde + 1; i < fileName.size(); ++i)
    if (fileName[i] < '0' || fileName[i] > '9') return std::nullopt;
  return fileName.substr(0, tilde);
}

// Whether an area of that name would have its files under fileName: the
// name's file name, in any case of its letters, or a twin's file named
// after it with a number (the name then cut to make room for it).
bool FileNameIsTags(const std::string& fileName, const std::string& name, bool raw) {
  const std::string own = platform::UpperTag(TArea::AreaNameToFileName(name, raw), true);
  const std::string file = platform::UpperTag(fileName, true);
  if (own == file) return true;
  const std::optional<std::string> base = WithoutTwinNumber(file);
  // A twin's number takes the place of the name's end only where the name
  // fills the longest file name.
  return base && !base->empty() &&
         (own == *base || (own.starts_with(*base) && file.size() + 4 > kAreaFileNameMax));
}

// The area an area's files belong to: the tag its messages came in under
// (their headers keep it as it came), when the file name is that tag's.
std::optional<TInactiveArea> AreaOfMessages(const std::string& msgBaseDir,
                                            const std::string& fileName) {
  std::vector<TMsgHeader> headers;
  try {
    if (!DecodePackedIndex(platform::ReadFile(msgBaseDir + fileName + kPackedIndexExt), headers))
      return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::vector<std::string> tried;
  for (const TMsgHeader& h : headers) {
    const std::string tag = h.AreaName.Str();
    if (tag.empty() || std::find(tried.begin(), tried.end(), tag) != tried.end()) continue;
    tried.push_back(tag);
    // An earlier version may have read a raw tag's bytes in the ANSI page
    // for its file name (UTF-8 RU.СССР has files named RU.РЎРЎРЎР).
    const bool raw = platform::IsRawTag(tag);
    if (FileNameIsTags(fileName, tag, raw) || FileNameIsTags(fileName, tag, !raw))
      return TInactiveArea{tag, fileName, raw};
  }
  return std::nullopt;
}

// The area name of an area's file name, for files whose messages name no
// tag of theirs. A UTF-8 file name is the text of the area's name: in the
// ANSI page when every letter has its place there; a name the ANSI page
// cannot hold keeps its bytes, as the tosser keeps such a tag. A file name
// an earlier version wrote in the ANSI page is the name as it stands.
TInactiveArea AreaOfFile(const std::string& msgBaseDir, const std::string& fileName) {
  if (std::optional<TInactiveArea> tagged = AreaOfMessages(msgBaseDir, fileName)) return *tagged;
  if (!platform::IsUtf8(fileName)) return {fileName, fileName, platform::IsRawTag(fileName)};
  const std::optional<std::string> ansi =
      platform::FromUtf8Exact(fileName, platform::AnsiCodePage());
  if (!ansi) return {fileName, fileName, true};
  return {*ansi, fileName, platform::IsRawTypedTag(*ansi)};
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
    const TInactiveArea area = AreaOfFile(msgBaseDir, fileName);
    bool taken = false;
    // BAD and DUPES hold messages of every tag: their files are known by
    // their names too.
    for (std::string_view system : kSystemNames)
      taken = taken || platform::EqualNoCase(area.name, system) ||
              platform::EqualNoCase(fileName, system);
    // An area name is taken in any case of its letters, as the store finds
    // areas (TArea::HasName); a file name only in the case of Latin ones.
    for (int i = 0; i < areas.GetCount() && !taken; ++i) {
      const TArea* other = areas.GetItem(i);
      taken = other && (other->HasName(area.name, area.rawTag) ||
                        platform::EqualNoCase(other->FileName, fileName));
    }
    if (!taken) found.push_back(area);
  }
  return found;
}

TArea* AdoptInactiveArea(TConfigStore& store, const TInactiveArea& found, TNetLink* uplink) {
  TArea* area =
      store.AddAreaQuiet(found.name, found.name, AreaTypeCode::Echomail, uplink, found.rawTag);
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

std::string AddOldAreaQuestion(const TInactiveArea& old) {
  return "Do you wish the add the area \"" + platform::TagText(old.name, old.rawTag) +
         "\" ? ATTENTION: If you do not use the default uplink for  this area you have to fix "
         "the uplink in the area settings!";
}

}  // namespace velmaris

#include "core/SearchRequest.h"

#include <cmath>
#include <cstdlib>

#include "core/ByteOrder.h"
#include "core/MsgHeader.h"
#include "core/WinRegistry.h"
#include "platform/CaseFold.h"

namespace velmaris {

namespace {

// Whole days, cut towards zero.
double WholeDays(TDateTime value) { return std::trunc(value); }

int32_t DateToStored(TDateTime value) { return value > 0 ? DateTimeToUnix(value) : 0; }
TDateTime StoredToDate(int32_t seconds) { return seconds == 0 ? 0 : UnixToDateTime(seconds); }

}  // namespace

// --- TSearchString ---------------------------------------------------------

void TSearchString::SetText(std::string_view text) { text_.assign(text.substr(0, kMaxText)); }

bool TSearchString::Matches(std::string_view value, platform::CodePage cp) const {
  std::optional<std::string> recoded;
  std::string_view text = text_;
  if (cp != platform::AnsiCodePage()) {
    recoded = TextIn(cp);
    if (!recoded) return false;
    text = *recoded;
  }
  if (CaseSensitive) {
    if (SubstringMatch) return !text.empty() && value.find(text) != std::string_view::npos;
    return value == text;
  }
  if (SubstringMatch) return platform::ContainsNoCase(value, text, cp);
  return platform::EqualNoCase(value, text, cp);
}

bool TSearchString::Matches(std::string_view value) const {
  return Matches(value, platform::AnsiCodePage());
}

std::optional<std::string> TSearchString::TextIn(platform::CodePage cp) const {
  return platform::RecodeExact(text_, platform::AnsiCodePage(), cp);
}

std::array<uint8_t, TSearchString::kPackedSize> TSearchString::Pack() const {
  std::array<uint8_t, kPackedSize> block{};
  block[0] = CaseSensitive ? 1 : 0;
  block[1] = static_cast<uint8_t>(text_.size());
  for (size_t i = 0; i < text_.size(); ++i) block[2 + i] = static_cast<uint8_t>(text_[i]);
  block[257] = SubstringMatch ? 1 : 0;
  return block;
}

void TSearchString::Unpack(const uint8_t* block) {
  CaseSensitive = block[0] != 0;
  text_.assign(reinterpret_cast<const char*>(block + 2), block[1]);
  SubstringMatch = block[257] != 0;
}

void TSearchString::SaveToRegistry(TWinRegistry& registry, const std::string& section,
                                   const std::string& name) const {
  const auto block = Pack();
  registry.WriteBinary(section, name + ".packed", block.data(), block.size());
}

void TSearchString::LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                                     const std::string& name) {
  std::array<uint8_t, kPackedSize> block{};
  if (registry.ReadBinary(section, name + ".packed", block.data(), block.size()) == kPackedSize) {
    Unpack(block.data());
    return;
  }
  const std::string older = section.empty() ? name : section + "\\" + name;
  SetText(registry.ReadString(older, "Text", ""));
  CaseSensitive = registry.ReadBool(older, "CaseSensitive", false);
  SubstringMatch = registry.ReadBool(older, "SubstringMatch", false);
  registry.DeleteValue(older, "Text");
  registry.DeleteValue(older, "CaseSensitive");
  registry.DeleteValue(older, "SubstringMatch");
}

TTextMatcher::TTextMatcher(const TSearchString& condition, platform::CodePage cp)
    : substring_(condition.SubstringMatch) {
  if (const std::optional<std::string> text = condition.TextIn(cp))
    finder_.emplace(*text, condition.CaseSensitive, cp);
}

// --- TDateSearch -------------------------------------------------------------

bool TDateSearch::Matches(TDateTime date, TDateTime today) const {
  if (std::isnan(date)) return Mode != Recent && Mode != Range;
  const double d = WholeDays(date);
  switch (Mode) {
    case Recent: return WholeDays(today) - static_cast<double>(Limit) + 1 <= d;
    case Range: return WholeDays(Start) <= d && WholeDays(End) >= d;
    default: return true;
  }
}

void TDateSearch::SaveToRegistry(TWinRegistry& registry, const std::string& key) const {
  registry.WriteInteger(key, "Mode", Mode);
  registry.WriteInteger(key, "Limit", Limit);
  registry.WriteInteger(key, "Start", DateToStored(Start));
  registry.WriteInteger(key, "End", DateToStored(End));
}

void TDateSearch::LoadFromRegistry(TWinRegistry& registry, const std::string& key) {
  Mode = static_cast<uint8_t>(registry.ReadInteger(key, "Mode", Mode));
  Limit = registry.ReadInteger(key, "Limit", Limit);
  Start = StoredToDate(registry.ReadInteger(key, "Start", DateToStored(Start)));
  End = StoredToDate(registry.ReadInteger(key, "End", DateToStored(End)));
}

// --- TSearchRequest ----------------------------------------------------------

std::array<uint8_t, TSearchRequest::kPackedSize> TSearchRequest::Pack() const {
  std::array<uint8_t, kPackedSize> block{};
  block[0] = ApplyDestination ? 1 : 0;
  block[1] = ApplyOrigin ? 1 : 0;
  block[2] = ApplySubject ? 1 : 0;
  block[3] = ApplyText ? 1 : 0;
  PutLE32(block.data() + 4, FlagMask);
  PutLE32(block.data() + 8, Flags);
  return block;
}

void TSearchRequest::Unpack(const uint8_t* block) {
  ApplyDestination = block[0] != 0;
  ApplyOrigin = block[1] != 0;
  ApplySubject = block[2] != 0;
  ApplyText = block[3] != 0;
  FlagMask = GetLE32(block + 4);
  Flags = GetLE32(block + 8);
}

namespace {
std::string SubKey(const std::string& section, const char* name) {
  return section.empty() ? std::string(name) : section + "\\" + name;
}
}  // namespace

void TSearchRequest::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  const auto block = Pack();
  registry.WriteBinary(section, "Packed", block.data(), block.size());
  Destination.SaveToRegistry(registry, section, "Destination");
  Origin.SaveToRegistry(registry, section, "Origin");
  Subject.SaveToRegistry(registry, section, "Subject");
  Text.SaveToRegistry(registry, section, "Text");
  CreationDate.SaveToRegistry(registry, SubKey(section, "CreationDate"));
  TossDate.SaveToRegistry(registry, SubKey(section, "TossDate"));
}

void TSearchRequest::LoadFromRegistry(TWinRegistry& registry, const std::string& section) {
  std::array<uint8_t, kPackedSize> block{};
  if (registry.ReadBinary(section, "Packed", block.data(), block.size()) == kPackedSize) {
    Unpack(block.data());
  } else {
    Flags =
        static_cast<uint32_t>(registry.ReadInteger(section, "Flags", static_cast<int32_t>(Flags)));
    FlagMask = static_cast<uint32_t>(
        registry.ReadInteger(section, "FlagMask", static_cast<int32_t>(FlagMask)));
    ApplyDestination = registry.ReadBool(section, "ApplyDestination", ApplyDestination);
    ApplyOrigin = registry.ReadBool(section, "ApplyOrigin", ApplyOrigin);
    ApplySubject = registry.ReadBool(section, "ApplySubject", ApplySubject);
    ApplyText = registry.ReadBool(section, "ApplyText", ApplyText);
  }
  Destination.LoadFromRegistry(registry, section, "Destination");
  Origin.LoadFromRegistry(registry, section, "Origin");
  Subject.LoadFromRegistry(registry, section, "Subject");
  Text.LoadFromRegistry(registry, section, "Text");
  CreationDate.LoadFromRegistry(registry, SubKey(section, "CreationDate"));
  TossDate.LoadFromRegistry(registry, SubKey(section, "TossDate"));
}

bool TSearchRequest::SameConditions(const TSearchRequest& o) const {
  return ApplyDestination == o.ApplyDestination && ApplyOrigin == o.ApplyOrigin &&
         ApplySubject == o.ApplySubject && ApplyText == o.ApplyText && FlagMask == o.FlagMask &&
         Flags == o.Flags && Origin == o.Origin && Destination == o.Destination &&
         Subject == o.Subject && Text == o.Text && CreationDate == o.CreationDate &&
         TossDate == o.TossDate;
}

// --- Schemes -----------------------------------------------------------------

namespace {
constexpr TMaskScheme kSchemes[kMaskSchemeCount] = {
    {"all messages", 0, 0, 0},
    {"unread messages", 0x0004, 0x0004, 0},
    {"unread messages to the sysop", 0x0014, 0x0014, 0},
    {"read messages", 0x0004, 0, 0},
    {"messages to the sysop", 0x0010, 0x0010, 0},
    {"sent messages", 0x0080, 0x0080, 0},
    {"unsent messages", 0x0040, 0x0040, 0},
    {"new messages", 0x2000, 0x2000, 0},
    {"unread new messages", 0x2004, 0x2004, 0},
    {"the last week", 0, 0, 7},
    {"the last 2 weeks", 0, 0, 14},
    {"the last 3 weeks", 0, 0, 21},
    {"the last 4 weeks", 0, 0, 28},
};
}  // namespace

const TMaskScheme& MaskScheme(int index) {
  if (index < 0 || index >= kMaskSchemeCount) index = 0;
  return kSchemes[index];
}

void ApplyMaskScheme(TSearchRequest& request, int index) {
  if (index < 0 || index >= kMaskSchemeCount) return;
  const TMaskScheme& s = kSchemes[index];
  request.ApplyOrigin = request.ApplyDestination = false;
  request.ApplySubject = request.ApplyText = false;
  request.FlagMask = s.FlagMask;
  request.Flags = s.Flags;
  request.CreationDate.Mode = TDateSearch::AnyDate;
  if (s.TossDays != 0) {
    request.TossDate.Mode = TDateSearch::Recent;
    request.TossDate.Limit = s.TossDays;
  } else {
    request.TossDate.Mode = TDateSearch::AnyDate;
  }
}

int RecognizeMaskScheme(const TSearchRequest& r) {
  if (r.ApplyOrigin || r.ApplyDestination || r.ApplySubject || r.ApplyText) return -1;
  if (r.CreationDate.Mode != TDateSearch::AnyDate) return -1;
  if (r.TossDate.Mode == TDateSearch::Range) return -1;
  const uint32_t mask = r.FlagMask & kMaskDialogFlags;
  for (int i = kMaskSchemeCount - 1; i >= 0; --i) {
    const TMaskScheme& s = kSchemes[i];
    if (s.FlagMask != mask) continue;
    if ((s.Flags & mask) != (r.Flags & mask)) continue;
    if (s.TossDays == 0) {
      if (r.TossDate.Mode != TDateSearch::AnyDate) continue;
    } else if (r.TossDate.Mode != TDateSearch::Recent || r.TossDate.Limit != s.TossDays) {
      continue;
    }
    return i;
  }
  return -1;
}

int32_t MaskDaysFromText(std::string_view text) {
  // A whole number as the class library reads one: optional blanks, an
  // optional sign, decimal digits, within 32 bits.
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 365;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 365;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return 365;
  }
  if (negative) value = -value;
  if (value > 2147483647LL || value < -2147483648LL) return 365;
  return static_cast<int32_t>(value);
}

}  // namespace velmaris

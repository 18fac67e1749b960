#include "core/Settings.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <filesystem>
#include <map>

#include "core/WinRegistry.h"
#include "platform/Ascii.h"
#include "platform/CaseFold.h"
#include "platform/Dispatcher.h"

namespace velmaris {

namespace {

using K = SettingKind;
using S = SettingId;

constexpr int32_t kIntMin = INT32_MIN;
constexpr int32_t kIntMax = INT32_MAX;
// Class library colour numbers: the top bit set names a system colour.
constexpr int32_t SysColor(uint32_t index) { return static_cast<int32_t>(0x80000000u | index); }
constexpr int32_t kClHighlight = SysColor(0x0D);
constexpr int32_t kClHighlightText = SysColor(0x0E);
constexpr int32_t kClWindow = SysColor(0x05);
constexpr int32_t kClWindowText = SysColor(0x08);
constexpr int32_t kClGrayText = SysColor(0x11);

// A memo stored as "Count" and "<prefix><n>" holds at most this many lines;
// a larger stored count is read as this many.
constexpr int32_t kMaxStoredLines = 4096;
// Font names are taken up to this length.
constexpr size_t kMaxFontName = 255;
constexpr int32_t kMaxFontSize = 999;

constexpr SettingDef Dir(S id, const char* name, const char* value, const char* folder) {
  return {id, name, K::Directory, "Paths", value, 0, folder, 0, 0, nullptr};
}
constexpr SettingDef Choice(S id, const char* name, const char* section, const char* value,
                            int32_t dflt, int32_t choices) {
  return {id, name, K::Choice, section, value, dflt, nullptr, 0, choices - 1, nullptr};
}
constexpr SettingDef Num(S id, const char* name, const char* section, const char* value,
                         int32_t dflt, int32_t min, int32_t max) {
  return {id, name, K::Number, section, value, dflt, nullptr, min, max, nullptr};
}
constexpr SettingDef Check(S id, const char* name, const char* section, const char* value,
                           bool dflt) {
  return {id, name, K::Check, section, value, dflt ? 1 : 0, nullptr, 0, 1, nullptr};
}
constexpr SettingDef Text(S id, const char* name, const char* section, const char* value,
                          const char* dflt) {
  return {id, name, K::Text, section, value, 0, dflt, 0, 0, nullptr};
}
constexpr SettingDef Font(S id, const char* name, const char* section, const char* dflt) {
  return {id, name, K::Font, section, "", 0, dflt, 0, 0, nullptr};
}
constexpr SettingDef Lines(S id, const char* name, const char* section, const char* prefix,
                           const char* missingLine, const char* dropLine) {
  return {id, name, K::Lines, section, prefix, 0, missingLine, 0, 0, dropLine};
}
constexpr SettingDef Color(S id, const char* name, const char* value, int32_t dflt) {
  return Num(id, name, "Display", value, dflt, kIntMin, kIntMax);
}

// In SettingId order, which is the order of saving.
constexpr SettingDef kDefs[] = {
    Lines(S::SysopNames, "SysopNames", "Names", "Name", "Sysop", "SysopNames"),
    Lines(S::DialTrans, "DialTrans", "DialTrans", "DialTrans", "", nullptr),
    Font(S::ALFont, "ALFont", "Fonts\\Arealist", "Sans Serif,9,0"),
    Font(S::mrFl, "mrFl", "Fonts\\Filelist", "Monospace,10,0"),
    Font(S::mrFe, "mrFe", "Fonts\\Maileditor", "Monospace,10,0"),
    Font(S::mrFont, "mrFont", "Fonts\\Mailreader", "Monospace,10,0"),
    Font(S::MLFont, "MLFont", "Fonts\\Messagelist", "Sans Serif,9,0"),
    Font(S::RTFont, "RTFont", "Fonts\\Replytree", "Sans Serif,9,0"),
    Dir(S::InboundDir, "InboundDir", "Inbound", "Inbound"),
    Dir(S::OutboundDir, "OutboundDir", "Outbound", "Outbound"),
    Dir(S::MsgBaseDir, "MsgBaseDir", "Messagebase", "Msgbase"),
    Dir(S::FileBaseDir, "FileBaseDir", "Filebase", "Filebase"),
    Dir(S::FTNDir, "FTNDir", "FTSLists", "DistribNL"),
    Dir(S::KQLDIr, "KQLDIr", "KQLists", "KQNL"),
    Dir(S::PluginDir, "PluginDir", "Plugins", "Plugins"),
    Check(S::ImportReport, "ImportReport", "Report", "Import", true),
    Check(S::ExportReport, "ExportReport", "Report", "Export", true),
    Check(S::ProcessReport, "ProcessReport", "Report", "Process", true),
    Check(S::UnpackReport, "UnpackReport", "Report", "Unpack", true),
    Check(S::MailerReport, "MailerReport", "Report", "Mailer", true),
    Choice(S::UnpackOn, "UnpackOn", "Automatic", "Unpack", 0, 2),
    Choice(S::DiffOn, "DiffOn", "Automatic", "Diff", 0, 2),
    Choice(S::AutoImport, "AutoImport", "Tosser", "AutoImport", 1, 2),
    Choice(S::DoCreate, "DoCreate", "Tosser", "OnNewArea", 0, 2),
    Choice(S::WarnPacket, "WarnPacket", "Tosser", "OnPacketDamaged", 0, 2),
    Choice(S::Dupes, "Dupes", "Tosser", "OnDupe", 0, 3),
    Num(S::Zone, "Zone", "Tosser", "Zone", 2, 1, 32767),
    Choice(S::OptimizeOn, "OptimizeOn", "Tosser", "Optimize", 0, 4),
    Choice(S::MaintainOn, "MaintainOn", "Tosser", "Maintain", 0, 4),
    Text(S::EPPImport, "EPPImport", "Tosser", "EPPImport", ""),
    Text(S::EPPExport, "EPPExport", "Tosser", "EPPExport", ""),
    Choice(S::CbTIC, "CbTIC", "Tosser", "TIC", 0, 2),
    Check(S::CbAdvanceArea, "CbAdvanceArea", "Display", "AutoAdvance", false),
    Check(S::AKLudge, "AKLudge", "Display", "^AKludge", false),
    Check(S::AREAKludge, "AREAKludge", "Display", "AREAKludge", false),
    Check(S::SBKludge, "SBKludge", "Display", "SEENBYKludge", false),
    Check(S::DisplayStyles, "DisplayStyles", "Display", "DisplayStyles", true),
    Check(S::DisplayTree, "DisplayTree", "Display", "DisplayTree", true),
    Check(S::FLToAnsI, "FLToAnsI", "Display", "FLANSI", true),
    Check(S::RbNavA, "RbNavA", "Display", "NavMsgList", true),
    Num(S::WinLimit, "WinLimit", "Display", "MaxMailreaders", 1, 1, 4),
    Color(S::QuoteColor, "QuoteColor", "QuoteColor", kClHighlight),
    Color(S::MsgTxt, "MsgTxt", "TextColor", kClWindowText),
    Color(S::MsgBG, "MsgBG", "BGColor", kClWindow),
    Color(S::ColEdFG, "ColEdFG", "EditorFG", kClWindowText),
    Color(S::ColEdBG, "ColEdBG", "EditorBG", kClWindow),
    Color(S::COL_Highlight, "COL_Highlight", "MsgListHighLight", kClHighlight),
    Color(S::COL_Bg, "COL_Bg", "MsgListColor", kClWindow),
    Color(S::COL_Msg, "COL_Msg", "MsgListMsg", kClWindowText),
    Color(S::COL_MsgSel, "COL_MsgSel", "MsgListMsgSel", kClGrayText),
    Color(S::COL_Sysop, "COL_Sysop", "MsgListSysop", kClHighlight),
    Color(S::COL_SysopSel, "COL_SysopSel", "MsgListSysopSel", kClHighlightText),
    Check(S::CbUseGateWay, "CbUseGateWay", "Uplinks\\UUCP", "Enabled", false),
    Text(S::EdUUCPAddr, "EdUUCPAddr", "Uplinks\\UUCP", "Address", ""),
    Text(S::EdUUCPName, "EdUUCPName", "Uplinks\\UUCP", "Name", ""),
    Check(S::CbUseUUCPName, "CbUseUUCPName", "", "", false),
    Lines(S::ModemLines, "ModemLines", "Modem\\Lines", "Line", "", nullptr),
    Text(S::EdModemInit, "EdModemInit", "Modem", "Init", "ATE0V1"),
    Num(S::SpDialTimeout, "SpDialTimeout", "Modem", "DialTimeout", 60, 5, 600),
    Text(S::EdCountryCode, "EdCountryCode", "Location", "Country", "49"),
    Text(S::EdAreaCode, "EdAreaCode", "Location", "Area", ""),
    Text(S::EdOutsideLine, "EdOutsideLine", "Location", "OutsideLine", ""),
    Text(S::EdLongDistance, "EdLongDistance", "Location", "LongDistance", "0"),
    Text(S::EdInternational, "EdInternational", "Location", "International", "00"),
    Choice(S::CbOemCodePage, "CbOemCodePage", "CodePages", "OEM", 0, 2),
    Choice(S::CbAnsiCodePage, "CbAnsiCodePage", "CodePages", "ANSI", 0, 2),
};

static_assert(std::size(kDefs) == kSettingCount, "one table row per setting");

constexpr bool TableInIdOrder() {
  for (size_t i = 0; i < std::size(kDefs); ++i) {
    if (static_cast<size_t>(kDefs[i].id) != i) return false;
  }
  return true;
}
static_assert(TableInIdOrder(), "table rows in SettingId order");

std::string KindName(SettingKind kind) {
  switch (kind) {
    case K::Directory: return "directory";
    case K::Choice: return "choice";
    case K::Number: return "number";
    case K::Check: return "check";
    case K::Text: return "text";
    case K::Font: return "font";
    case K::Lines: return "lines";
  }
  return "?";
}

std::string NormaliseStartDirectory(const std::string& start) {
  std::string dir = start;
  if (dir.empty()) {
    dir = std::filesystem::current_path().generic_string();
  } else if (dir.front() != '/') {
    dir = std::filesystem::absolute(dir).generic_string();
  }
  if (dir.empty() || dir.back() != '/') dir.push_back('/');
  return dir;
}

bool ParseInt(std::string_view text, int32_t& out) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::span<const SettingDef> SettingDefs() { return kDefs; }

const SettingDef& SettingDefOf(SettingId id) {
  auto i = static_cast<size_t>(id);
  if (i >= kSettingCount) throw ESettings("Unknown setting " + std::to_string(i));
  return kDefs[i];
}

bool IsPathSetting(SettingId id) {
  return SettingDefOf(id).kind == K::Directory || id == S::EPPImport || id == S::EPPExport;
}

std::optional<SettingId> FindSetting(std::string_view controlName) {
  for (const auto& def : kDefs) {
    if (controlName == def.name) return def.id;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// TFontDesc

std::string TFontDesc::ToString() const {
  return Name + "," + std::to_string(Size) + "," + std::to_string(Style);
}

std::optional<TFontDesc> TFontDesc::Parse(std::string_view text) {
  auto styleComma = text.rfind(',');
  if (styleComma == std::string_view::npos || styleComma == 0) return std::nullopt;
  auto sizeComma = text.rfind(',', styleComma - 1);
  if (sizeComma == std::string_view::npos || sizeComma == 0) return std::nullopt;
  TFontDesc font;
  font.Name = std::string(text.substr(0, sizeComma));
  if (font.Name.size() > kMaxFontName) return std::nullopt;
  if (!ParseInt(text.substr(sizeComma + 1, styleComma - sizeComma - 1), font.Size)) {
    return std::nullopt;
  }
  if (!ParseInt(text.substr(styleComma + 1), font.Style)) return std::nullopt;
  if (font.Size < 1 || font.Size > kMaxFontSize) return std::nullopt;
  if (font.Style < 0 || font.Style > 15) return std::nullopt;
  return font;
}

// ---------------------------------------------------------------------------
// SettingsValues

SettingsValues::SettingsValues(const std::string& startDirectory)
    : startDir_(NormaliseStartDirectory(startDirectory)), values_(kSettingCount) {
  for (const auto& def : kDefs) Reset(def.id);
}

void SettingsValues::Reset(SettingId id) {
  const SettingDef& def = SettingDefOf(id);
  Value& v = values_[static_cast<size_t>(id)];
  v = Value{};
  switch (def.kind) {
    case K::Directory: v.text = startDir_ + def.defaultText + "/"; break;
    case K::Choice:
    case K::Number:
    case K::Check: v.number = def.defaultNumber; break;
    case K::Text:
    case K::Font: v.text = def.defaultText; break;
    case K::Lines: break;  // an empty memo
  }
}

const SettingsValues::Value& SettingsValues::At(SettingId id,
                                                std::initializer_list<SettingKind> kinds) const {
  const SettingDef& def = SettingDefOf(id);
  if (std::find(kinds.begin(), kinds.end(), def.kind) == kinds.end()) {
    throw ESettings(std::string("Setting ") + def.name + " is a " + KindName(def.kind) +
                    " setting");
  }
  return values_[static_cast<size_t>(id)];
}

SettingsValues::Value& SettingsValues::At(SettingId id, std::initializer_list<SettingKind> kinds) {
  return const_cast<Value&>(static_cast<const SettingsValues*>(this)->At(id, kinds));
}

int32_t SettingsValues::Number(SettingId id) const {
  return At(id, {K::Choice, K::Number, K::Check}).number;
}

bool SettingsValues::Checked(SettingId id) const { return At(id, {K::Check}).number != 0; }

const std::string& SettingsValues::Text(SettingId id) const {
  return At(id, {K::Directory, K::Text, K::Font}).text;
}

const std::vector<std::string>& SettingsValues::Lines(SettingId id) const {
  return At(id, {K::Lines}).lines;
}

void SettingsValues::SetNumber(SettingId id, int32_t value) {
  Value& v = At(id, {K::Choice, K::Number, K::Check});
  const SettingDef& def = SettingDefOf(id);
  switch (def.kind) {
    case K::Choice:
      v.number = (value >= def.min && value <= def.max) ? value : def.defaultNumber;
      break;
    case K::Number: v.number = std::clamp(value, def.min, def.max); break;
    default: v.number = value != 0 ? 1 : 0; break;
  }
}

void SettingsValues::SetChecked(SettingId id, bool value) {
  At(id, {K::Check}).number = value ? 1 : 0;
}

std::string SettingsValues::ExpandDirectory(const std::string& path, const SettingDef& def) const {
  if (path.empty()) return startDir_ + def.defaultText + "/";
  std::string dir = path.front() == '/' ? path : startDir_ + path;
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

void SettingsValues::SetText(SettingId id, std::string value) {
  Value& v = At(id, {K::Directory, K::Text, K::Font});
  const SettingDef& def = SettingDefOf(id);
  switch (def.kind) {
    case K::Directory: v.text = ExpandDirectory(value, def); break;
    case K::Font:
      v.text = TFontDesc::Parse(value) ? std::move(value) : std::string(def.defaultText);
      break;
    default: v.text = std::move(value); break;
  }
}

void SettingsValues::SetLines(SettingId id, std::vector<std::string> lines) {
  At(id, {K::Lines}).lines = std::move(lines);
}

bool SettingsValues::Equal(const SettingsValues& other, SettingId id) const {
  auto i = static_cast<size_t>(id);
  return values_.at(i) == other.values_.at(i);
}

bool SettingsValues::operator==(const SettingsValues& other) const {
  return startDir_ == other.startDir_ && values_ == other.values_;
}

std::string SettingsValues::FirstSysopName() const {
  const auto& names = SysopNames();
  return names.empty() ? std::string() : names.front();
}

bool SettingsValues::IsSysopName(std::string_view name) const {
  for (const auto& line : SysopNames()) {
    if (platform::EqualNoCase(line, name, platform::AnsiCodePage())) return true;
  }
  return false;
}

TFontDesc SettingsValues::Font(SettingId id) const {
  const SettingDef& def = SettingDefOf(id);
  if (def.kind != K::Font) throw ESettings(std::string("Setting ") + def.name + " is no font");
  if (auto font = TFontDesc::Parse(Text(id))) return *font;
  return *TFontDesc::Parse(def.defaultText);
}

TFontDesc SettingsValues::FileListFont() const { return Font(SettingId::mrFl); }

platform::CodePage SettingsValues::OemCodePage() const {
  return Number(SettingId::CbOemCodePage) == 1 ? platform::CodePage::CP437
                                               : platform::CodePage::CP866;
}

platform::CodePage SettingsValues::AnsiCodePage() const {
  return Number(SettingId::CbAnsiCodePage) == 1 ? platform::CodePage::CP1252
                                                : platform::CodePage::CP1251;
}

platform::CodePage SettingsValues::FileListPage() const {
  return FLToAnsI() ? OemCodePage() : AnsiCodePage();
}

void ApplyCodePages(const SettingsValues& values) {
  platform::SetOemCodePage(values.OemCodePage());
  platform::SetAnsiCodePage(values.AnsiCodePage());
}

std::string SettingsValues::TranslatePhoneNumber(const std::string& number) const {
  for (const auto& line : Lines(SettingId::DialTrans)) {
    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    size_t prefixStart = p;
    while (p < line.size() && !IsBlank(line[p])) ++p;
    std::string prefix = line.substr(prefixStart, p - prefixStart);
    if (prefix.empty()) continue;
    while (p < line.size() && IsBlank(line[p])) ++p;
    size_t replStart = p;
    while (p < line.size() && !IsBlank(line[p])) ++p;
    std::string replacement = line.substr(replStart, p - replStart);
    if (number.compare(0, prefix.size(), prefix) == 0) {
      return replacement + number.substr(prefix.size());
    }
  }
  return number;
}

void SettingsValues::LoadFromRegistry(const TWinRegistry& registry) {
  // A missing value gives the default, whatever was set before.
  for (const auto& def : kDefs) Reset(def.id);
  for (const auto& def : kDefs) {
    if (*def.section == '\0') continue;
    Value& v = values_[static_cast<size_t>(def.id)];
    switch (def.kind) {
      case K::Directory:
        SetText(def.id, registry.ReadPath(def.section, def.value, Text(def.id)));
        break;
      case K::Choice:
      case K::Number:
        SetNumber(def.id, registry.ReadInteger(def.section, def.value, def.defaultNumber));
        break;
      case K::Check:
        SetChecked(def.id, registry.ReadBool(def.section, def.value, def.defaultNumber != 0));
        break;
      case K::Text:
        // The packet processors' settings are command lines.
        v.text = IsPathSetting(def.id)
                     ? registry.ReadCommandLine(def.section, def.value, def.defaultText)
                     : registry.ReadString(def.section, def.value, def.defaultText);
        break;
      case K::Font: {
        // Each part defaults to the font as it stands; a stored name is
        // taken up to 255 characters and the style keeps its four bits.
        TFontDesc font = Font(def.id);
        std::string name = registry.ReadString(def.section, "Name", font.Name);
        if (!name.empty()) font.Name = name.substr(0, kMaxFontName);
        int32_t size = registry.ReadInteger(def.section, "Size", font.Size);
        if (size >= 1 && size <= kMaxFontSize) font.Size = size;
        font.Style = registry.ReadInteger(def.section, "Style", font.Style) & 15;
        v.text = font.ToString();
        break;
      }
      case K::Lines: {
        int32_t count = registry.ReadInteger(def.section, "Count", 0);
        count = std::clamp(count, 0, kMaxStoredLines);
        v.lines.clear();
        for (int32_t n = 1; n <= count; ++n) {
          std::string line =
              registry.ReadString(def.section, def.value + std::to_string(n), def.defaultText);
          if (def.dropLine && line == def.dropLine) continue;
          v.lines.push_back(std::move(line));
        }
        break;
      }
    }
  }
  SetChecked(SettingId::CbUseUUCPName, !EdUUCPName().empty());
}

void SettingsValues::SaveToRegistry(TWinRegistry& registry) const {
  for (const auto& def : kDefs) {
    if (*def.section == '\0') continue;
    const Value& v = values_[static_cast<size_t>(def.id)];
    switch (def.kind) {
      case K::Directory:
      case K::Text:
        if (def.id == SettingId::EdUUCPName && !CbUseUUCPName()) {
          registry.WriteString(def.section, def.value, "");
        } else {
          registry.WriteString(def.section, def.value, v.text);
        }
        break;
      case K::Choice:
      case K::Number: registry.WriteInteger(def.section, def.value, v.number); break;
      case K::Check: registry.WriteBool(def.section, def.value, v.number != 0); break;
      case K::Font: {
        TFontDesc font = Font(def.id);
        registry.WriteString(def.section, "Name", font.Name);
        registry.WriteInteger(def.section, "Size", font.Size);
        registry.WriteInteger(def.section, "Style", font.Style);
        break;
      }
      case K::Lines:
        for (size_t i = 0; i < v.lines.size(); ++i) {
          registry.WriteString(def.section, def.value + std::to_string(i + 1), v.lines[i]);
        }
        registry.WriteInteger(def.section, "Count", static_cast<int32_t>(v.lines.size()));
        registry.DeleteEntriesBeyond(def.section, def.value, static_cast<int32_t>(v.lines.size()));
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Settings

struct Settings::Listeners {
  std::mutex mutex;
  std::map<SubscriptionId, Listener> byId;
  SubscriptionId next = 1;

  void Fire(const SettingsValues& values, const std::vector<SettingId>& changed) {
    std::vector<Listener> copy;
    {
      std::lock_guard lock(mutex);
      for (auto& [id, fn] : byId) copy.push_back(fn);
    }
    for (auto& fn : copy) fn(values, changed);
  }
};

Settings::Settings(const std::string& startDirectory, platform::Dispatcher* dispatcher)
    : startDir_(NormaliseStartDirectory(startDirectory)),
      dispatcher_(dispatcher),
      current_(std::make_shared<const SettingsValues>(startDir_)),
      listeners_(std::make_shared<Listeners>()) {}

Settings::~Settings() = default;

std::shared_ptr<const SettingsValues> Settings::Snapshot() const {
  std::lock_guard lock(mutex_);
  return current_;
}

std::vector<SettingId> Settings::Swap(std::shared_ptr<const SettingsValues> next) {
  std::vector<SettingId> changed;
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < kSettingCount; ++i) {
    auto id = static_cast<SettingId>(i);
    if (!current_->Equal(*next, id)) changed.push_back(id);
  }
  if (!changed.empty()) current_ = std::move(next);
  return changed;
}

void Settings::Notify(std::shared_ptr<const SettingsValues> values,
                      std::vector<SettingId> changed) {
  platform::Dispatcher& dispatcher = dispatcher_ ? *dispatcher_ : platform::GetDispatcher();
  if (dispatcher.IsMainThread()) {
    listeners_->Fire(*values, changed);
    return;
  }
  std::weak_ptr<Listeners> weak = listeners_;
  dispatcher.Post([weak, values = std::move(values), changed = std::move(changed)] {
    if (auto listeners = weak.lock()) listeners->Fire(*values, changed);
  });
}

void Settings::Modify(const std::function<void(SettingsValues&)>& edit) {
  std::shared_ptr<SettingsValues> next;
  std::vector<SettingId> changed;
  {
    // Serialises editors so that no edit is lost; readers are never held up.
    std::lock_guard lock(modifyMutex_);
    next = std::make_shared<SettingsValues>(*Snapshot());
    edit(*next);
    changed = Swap(next);
  }
  // Outside the lock, so that a subscriber may change settings itself.
  if (!changed.empty()) Notify(std::move(next), std::move(changed));
}

void Settings::Assign(const SettingsValues& values) {
  Modify([&values](SettingsValues& v) {
    if (values.StartDirectory() != v.StartDirectory()) {
      throw ESettings("Settings of another start directory");
    }
    v = values;
  });
}

void Settings::SetNumber(SettingId id, int32_t value) {
  Modify([&](SettingsValues& v) { v.SetNumber(id, value); });
}

void Settings::SetChecked(SettingId id, bool value) {
  Modify([&](SettingsValues& v) { v.SetChecked(id, value); });
}

void Settings::SetText(SettingId id, std::string value) {
  Modify([&](SettingsValues& v) { v.SetText(id, std::move(value)); });
}

void Settings::SetLines(SettingId id, std::vector<std::string> lines) {
  Modify([&](SettingsValues& v) { v.SetLines(id, std::move(lines)); });
}

void Settings::LoadFromRegistry(const TWinRegistry& registry) {
  Modify([&registry](SettingsValues& v) { v.LoadFromRegistry(registry); });
}

void Settings::SaveToRegistry(TWinRegistry& registry) const {
  Snapshot()->SaveToRegistry(registry);
}

Settings::SubscriptionId Settings::Subscribe(Listener listener) {
  std::lock_guard lock(listeners_->mutex);
  SubscriptionId id = listeners_->next++;
  listeners_->byId.emplace(id, std::move(listener));
  return id;
}

void Settings::Unsubscribe(SubscriptionId id) {
  std::lock_guard lock(listeners_->mutex);
  listeners_->byId.erase(id);
}

namespace {
std::atomic<Settings*> programSettings{nullptr};
}  // namespace

Settings& GetSettings() {
  Settings* settings = programSettings.load();
  if (!settings) throw ESettings("No settings loaded");
  return *settings;
}

void SetSettings(Settings* settings) { programSettings.store(settings); }

}  // namespace velmaris

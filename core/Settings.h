// The scalar settings of the program: directories, tosser choices, report
// switches, the gateway, display switches, colours and fonts, the user's
// names and the dialling translation.
//
// One table (SettingDefs) gives every setting its control name, kind,
// default and registry value; loading, saving, defaults and the name lookup
// of the settings dialog are all driven by it.
//
// Threads: the values live in an immutable SettingsValues that Settings
// swaps as a whole. Workers take Settings::Snapshot() once per job and read
// a consistent set without further locking; the main thread (the store at
// start-up, the settings dialog afterwards) changes them through Modify or
// the Set... calls, and subscribers hear about it on the main thread.
//
// The configured lists (nodelists, pointlists, unpack jobs, autosend jobs,
// uplinks, ...) are not part of this model: the configuration store owns them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"

namespace velmaris {

namespace platform {
class Dispatcher;
}
class TWinRegistry;

// A setting asked for as the wrong kind, or an unknown setting.
class ESettings : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every setting, named after the control of the settings dialog that shows
// it. The order is the order of the table and of saving.
enum class SettingId : int {
  // "Names", "DialTrans"
  SysopNames,
  DialTrans,
  // "Fonts\..."
  ALFont,
  mrFl,
  mrFe,
  mrFont,
  MLFont,
  RTFont,
  // "Paths"
  InboundDir,
  OutboundDir,
  MsgBaseDir,
  FileBaseDir,
  FTNDir,
  KQLDIr,
  PluginDir,
  // "Report"
  ImportReport,
  ExportReport,
  ProcessReport,
  UnpackReport,
  MailerReport,
  // "Automatic"
  UnpackOn,
  DiffOn,
  // "Tosser"
  AutoImport,
  DoCreate,
  WarnPacket,
  Dupes,
  Zone,
  OptimizeOn,
  MaintainOn,
  EPPImport,
  EPPExport,
  CbTIC,
  // "Display"
  CbAdvanceArea,
  AKLudge,
  AREAKludge,
  SBKludge,
  DisplayStyles,
  DisplayTree,
  FLToAnsI,
  RbNavA,
  WinLimit,
  QuoteColor,
  MsgTxt,
  MsgBG,
  ColEdFG,
  ColEdBG,
  COL_Highlight,
  COL_Bg,
  COL_Msg,
  COL_MsgSel,
  COL_Sysop,
  COL_SysopSel,
  // "Uplinks\UUCP"
  CbUseGateWay,
  EdUUCPAddr,
  EdUUCPName,
  CbUseUUCPName,  // not stored: checked at load when the gateway name is set
  // "Modem": the configured lines ("Name=/dev/path" each), the init string
  // sent after ATZ, and the seconds a dial may take.
  ModemLines,
  EdModemInit,
  SpDialTimeout,
  // "Location": where the modem dials from.
  EdCountryCode,
  EdAreaCode,
  EdOutsideLine,
  EdLongDistance,
  EdInternational,
  // "CodePages": the code page of DOS texts (packets, nodelists, archives;
  // 0 CP866, 1 CP437) and of the texts the windows show and store (0 CP1251,
  // 1 CP1252).
  CbOemCodePage,
  CbAnsiCodePage,
  Count_
};

constexpr size_t kSettingCount = static_cast<size_t>(SettingId::Count_);

enum class SettingKind {
  Directory,  // text: an absolute path ending in "/"; relative ones lie below the start directory
  Choice,     // number: item index of a combo box, 0 .. Choices - 1
  Number,     // number: clamped to Min .. Max
  Check,      // number 0 or 1
  Text,       // text as entered
  Font,       // text: a font description (TFontDesc)
  Lines,      // lines of a memo
};

struct SettingDef {
  SettingId id;
  const char* name;  // control name, e.g. "InboundDir"
  SettingKind kind;
  const char* section;      // registry key below the program's root; "" = not stored
  const char* value;        // value name; for Lines the prefix of "<prefix><n>"
  int32_t defaultNumber;    // Choice, Number, Check
  const char* defaultText;  // Directory: folder below the start directory;
                            // Text, Font: the value; Lines: a missing line
  int32_t min;              // Number: lower bound; Choice: 0
  int32_t max;              // Number: upper bound; Choice: number of choices - 1
  const char* dropLine;     // Lines: a stored line with this text is skipped at load
};

// The table of every setting, indexed by SettingId.
std::span<const SettingDef> SettingDefs();
const SettingDef& SettingDefOf(SettingId id);
// Whether the setting holds a file or folder name (a directory, or a command
// line that names a program): the file system's bytes, not ANSI text.
bool IsPathSetting(SettingId id);
// The setting whose control name equals the name (exact), or nothing.
std::optional<SettingId> FindSetting(std::string_view controlName);

// A font as the settings keep it: "Name,Size,Style", the style a sum of
// 1 bold, 2 underline, 4 italic and 8 strike-out.
struct TFontDesc {
  enum : int32_t { Bold = 1, Underline = 2, Italic = 4, StrikeOut = 8 };
  std::string Name;
  int32_t Size = 0;
  int32_t Style = 0;

  std::string ToString() const;
  // Parses "Name,Size,Style" (the name may hold commas); a text that does
  // not parse gives nothing.
  static std::optional<TFontDesc> Parse(std::string_view text);
  bool operator==(const TFontDesc&) const = default;
};

// One consistent set of setting values. Copies are cheap enough for the
// dialog's edits; readers share one through Settings::Snapshot().
class SettingsValues {
 public:
  // The defaults of a fresh configuration below the start directory (made
  // absolute, ending in "/").
  explicit SettingsValues(const std::string& startDirectory);

  const std::string& StartDirectory() const { return startDir_; }

  // Generic access; asking for the wrong kind raises ESettings.
  int32_t Number(SettingId id) const;                         // Choice, Number, Check
  bool Checked(SettingId id) const;                           // Check
  const std::string& Text(SettingId id) const;                // Directory, Text, Font
  const std::vector<std::string>& Lines(SettingId id) const;  // Lines

  // Setting normalises as the controls do: a choice out of range becomes
  // the default, a number is clamped, a check is 0 or 1, a directory is
  // made absolute below the start directory and ends in "/" (an empty one
  // becomes the default), a font that does not parse becomes the default.
  void SetNumber(SettingId id, int32_t value);
  void SetChecked(SettingId id, bool value);
  void SetText(SettingId id, std::string value);
  void SetLines(SettingId id, std::vector<std::string> lines);
  // Back to the default of one setting.
  void Reset(SettingId id);

  bool Equal(const SettingsValues& other, SettingId id) const;
  bool operator==(const SettingsValues& other) const;

  // Reads every stored setting (missing values give their defaults) and
  // derives CbUseUUCPName. A value of the wrong type raises
  // platform::ERegistry.
  void LoadFromRegistry(const TWinRegistry& registry);
  // Writes every stored setting in table order; the gateway name is written
  // empty unless CbUseUUCPName is checked.
  void SaveToRegistry(TWinRegistry& registry) const;

  // Typed access to the settings the jobs read.
  const std::string& InboundDir() const { return Text(SettingId::InboundDir); }
  const std::string& OutboundDir() const { return Text(SettingId::OutboundDir); }
  const std::string& MsgBaseDir() const { return Text(SettingId::MsgBaseDir); }
  const std::string& FileBaseDir() const { return Text(SettingId::FileBaseDir); }
  const std::string& FTNDir() const { return Text(SettingId::FTNDir); }
  const std::string& KQLDIr() const { return Text(SettingId::KQLDIr); }
  const std::string& PluginDir() const { return Text(SettingId::PluginDir); }
  bool AutoImport() const { return Number(SettingId::AutoImport) == 1; }
  int32_t OptimizeOn() const { return Number(SettingId::OptimizeOn); }
  int32_t MaintainOn() const { return Number(SettingId::MaintainOn); }
  // 0 create a missing area automatically, 1 put its messages into BAD.
  int32_t DoCreate() const { return Number(SettingId::DoCreate); }
  bool WarnPacket() const { return Number(SettingId::WarnPacket) == 1; }
  // 0 into DUPES, 1 delete, 2 do not look for duplicates.
  int32_t Dupes() const { return Number(SettingId::Dupes); }
  bool ProcessTIC() const { return Number(SettingId::CbTIC) == 0; }
  int32_t Zone() const { return Number(SettingId::Zone); }
  const std::string& EPPImport() const { return Text(SettingId::EPPImport); }
  const std::string& EPPExport() const { return Text(SettingId::EPPExport); }
  const std::vector<std::string>& SysopNames() const { return Lines(SettingId::SysopNames); }
  // The first of the user's names; empty when none is configured.
  std::string FirstSysopName() const;
  // Whether the name is one of the user's names, compared in upper case.
  bool IsSysopName(std::string_view name) const;
  // 0 run by the timer, 1 manual.
  int32_t UnpackOn() const { return Number(SettingId::UnpackOn); }
  int32_t DiffOn() const { return Number(SettingId::DiffOn); }
  bool ImportReport() const { return Checked(SettingId::ImportReport); }
  bool ExportReport() const { return Checked(SettingId::ExportReport); }
  bool ProcessReport() const { return Checked(SettingId::ProcessReport); }
  bool MailerReport() const { return Checked(SettingId::MailerReport); }
  bool UnpackReport() const { return Checked(SettingId::UnpackReport); }
  bool CbUseGateWay() const { return Checked(SettingId::CbUseGateWay); }
  const std::string& EdUUCPAddr() const { return Text(SettingId::EdUUCPAddr); }
  const std::string& EdUUCPName() const { return Text(SettingId::EdUUCPName); }
  bool CbUseUUCPName() const { return Checked(SettingId::CbUseUUCPName); }
  bool FLToAnsI() const { return Checked(SettingId::FLToAnsI); }
  TFontDesc FileListFont() const;  // mrFl
  platform::CodePage OemCodePage() const;
  platform::CodePage AnsiCodePage() const;
  // The code page of BBS file lists and of what is matched against them (area
  // indicators, request names): OEM when they are shown converted to ANSI.
  platform::CodePage FileListPage() const;
  TFontDesc Font(SettingId id) const;

  // Applies the dialling translation (DialTrans, each line a prefix and its
  // replacement): the first line whose prefix begins the number replaces
  // that prefix; otherwise the number comes back unchanged.
  std::string TranslatePhoneNumber(const std::string& number) const;

 private:
  struct Value {
    int32_t number = 0;
    std::string text;
    std::vector<std::string> lines;
    bool operator==(const Value&) const = default;
  };
  const Value& At(SettingId id, std::initializer_list<SettingKind> kinds) const;
  Value& At(SettingId id, std::initializer_list<SettingKind> kinds);
  std::string ExpandDirectory(const std::string& path, const SettingDef& def) const;

  std::string startDir_;
  std::vector<Value> values_;
};

// The settings model: the current values, swapped as a whole under a mutex,
// and the subscribers that hear of changes.
class Settings {
 public:
  // Called with the new values and the settings that changed, in table order.
  using Listener =
      std::function<void(const SettingsValues& values, const std::vector<SettingId>& changed)>;
  using SubscriptionId = uint64_t;

  // Starts with the defaults below the start directory. Notifications go
  // through the dispatcher (the process-wide one when none is given).
  explicit Settings(const std::string& startDirectory, platform::Dispatcher* dispatcher = nullptr);
  ~Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  const std::string& StartDirectory() const { return startDir_; }

  // The current values; safe from any thread. The object never changes;
  // a later change makes a new one.
  std::shared_ptr<const SettingsValues> Snapshot() const;

  // Changes (meant for the main thread). Each makes a new value set,
  // publishes it at once and, when anything differs, notifies the
  // subscribers: inline on the main thread, posted to it otherwise.
  // Modify runs the edit on a copy of the current values (several changes
  // become one consistent step); the edit must not call this object.
  void Modify(const std::function<void(SettingsValues&)>& edit);
  void Assign(const SettingsValues& values);
  void SetNumber(SettingId id, int32_t value);
  void SetChecked(SettingId id, bool value);
  void SetText(SettingId id, std::string value);
  void SetLines(SettingId id, std::vector<std::string> lines);

  // Loads all values from the registry and publishes them as one change;
  // on an error nothing changes and the error reaches the caller.
  void LoadFromRegistry(const TWinRegistry& registry);
  void SaveToRegistry(TWinRegistry& registry) const;

  SubscriptionId Subscribe(Listener listener);
  void Unsubscribe(SubscriptionId id);

 private:
  struct Listeners;
  // Makes next current; returns the settings that differ (none: no swap).
  std::vector<SettingId> Swap(std::shared_ptr<const SettingsValues> next);
  void Notify(std::shared_ptr<const SettingsValues> values, std::vector<SettingId> changed);

  std::string startDir_;
  platform::Dispatcher* dispatcher_;
  std::mutex modifyMutex_;
  mutable std::mutex mutex_;
  std::shared_ptr<const SettingsValues> current_;
  std::shared_ptr<Listeners> listeners_;
};

// Makes the process-wide OEM and ANSI code pages (platform/CodePage.h) those
// of the settings. The configuration store calls it when it loads or
// applies settings.
void ApplyCodePages(const SettingsValues& values);

// The program's settings object, set by the start-up (tests and the batch
// driver set their own). GetSettings raises ESettings while none is set.
Settings& GetSettings();
void SetSettings(Settings* settings);

}  // namespace velmaris

// The mail filters: rules that act on single messages while the tosser
// imports them and while the area export sends them out. A rule (TFilter)
// holds switched-on conditions and actions; every message that meets all
// switched-on conditions gets the actions, always in this order: dates
// stamped, save to a text file, copy (or forward) into an area, add the
// sender to an address-book group, remove him from one, run an external
// program, answer automatically, change the message's own flags, and report
// whether the message is to be deleted.
//
// Two process-wide lists hold the rules, the import filters and the export
// filters. Their registry form, below the program's root key:
//   "Import Filters" / "Export Filters": "Count", "Name1".."NameN";
//   "...\FilterN": ApplyOrig .. ApplyType, Orig .. Area, DoCopy .. DoSave,
//   SaveFile .. UnList, Type, OrigSet, OrigReset, CopySet, CopyReset.
//
// Safety: a message is only ever deleted by a filter once its copy is safe.
// When the copy cannot be made (the area is missing and cannot be created,
// its folder cannot be written, an export filter cannot lock it or write
// it), the filter does not delete the message and the run's log says why.
//
// Threads: filters run on the tosser's and the scanner's workers. Changes
// of the configuration lists (a created area, address-book groups) and
// message boxes go through the main thread (the platform dispatcher).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ConfigStore.h"
#include "core/DateTimeUtil.h"
#include "core/PubLst.h"
#include "core/SearchRequest.h"
#include "platform/CodePage.h"
#include "processing/AreaExport.h"
#include "processing/Tosser.h"

namespace velmaris {

class TArea;
class TMail;

// A filter action that could not be carried out; the later actions of that
// filter do not run and the message is not deleted by it.
class EFilter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The flag bits the filter dialog offers.
inline constexpr uint16_t kFilterDialogFlags[6] = {0x0010, 0x0004, 0x0002, 0x0020, 0x2000, 0x0040};
// Texts of the actions.
inline constexpr const char* kSecretaryName = "Velmaris 95 Secretary";
inline constexpr const char* kForwardOrigin = "Forwarded by Velmaris 95 Secretary";
inline constexpr const char* kAddedComment = "Added by import filter!";
inline constexpr uint16_t kAutoReplyFlags = 0x0840;

// What a filter needs from around it while it acts.
struct TFilterEnv {
  TConfigStore* Store = nullptr;     // areas, uplinks, groups, text groups, start directory
  bool Export = false;               // copies are written at once under the target's lock
  std::function<TDateTime()> Clock;  // Now unless set
  std::function<void(const std::string&)> Log;  // the run's log
  // Error boxes (the default goes through the main thread's Prompter).
  std::function<void(const std::string&)> Error;
  TDateTime ClockNow() const { return Clock ? Clock() : Now(); }
};

class TFilter : public TObject {
 public:
  bool ApplyOrig = false, ApplyDest = false, ApplySubj = false, ApplyText = false,
       ApplyArea = false, ApplyType = false;
  bool ForwardCopy = false;
  bool DoCopy = false, DoAdd = false, DoRem = false, DoSave = false, DoLaunch = false,
       DoAnswer = false, DoKill = false;
  std::string CopyArea, Processor, Answer, List, UnList, SaveFile;
  int32_t MatchCount = 0;
  int32_t Type = 0;
  uint16_t OrigSet = 0, OrigReset = 0, CopySet = 0, CopyReset = 0;
  // The filter's properties window while it is open; it goes with the filter.
  TDialogSlot Dialog;

  // The patterns are kept upper-cased.
  void SetOrig(const std::string& text);
  void SetDest(const std::string& text);
  void SetSubj(const std::string& text);
  void SetText(const std::string& text);
  void SetArea(const std::string& text);
  const std::string& Orig() const { return orig_.Text(); }
  const std::string& Dest() const { return dest_.Text(); }
  const std::string& Subj() const { return subj_.Text(); }
  const std::string& Text() const { return text_.Text(); }
  const std::string& Area() const { return area_; }

  // Whether the message meets every switched-on condition (a filter with no
  // condition switched on matches nothing); counts matches. areas: where
  // the type condition looks the area up.
  bool Matches(const TMail& mail, const std::string& areaName, const TAreaList* areas);
  // The same through a probe that looks things up once per message.
  bool Matches(class TFilterProbe& probe);
  // The actions; returns DoKill. name: the filter's name for messages.
  // Raises EFilter when the copy cannot be made. An action that could not
  // write its file is logged and sets *failed.
  bool Apply(TMail& mail, const std::string& areaName, const std::string& name,
             const TFilterEnv& env, bool* failed = nullptr);
  // Matches, then Apply; kill is set (never cleared) when Apply says so.
  bool Process(TMail& mail, const std::string& areaName, bool& kill, const std::string& name,
               const TFilterEnv& env);
  void ResetMatches() { MatchCount = 0; }

  void LoadFromRegistry(const TWinRegistry& registry, const std::string& key);
  void SaveToRegistry(TWinRegistry& registry, const std::string& key) const;

 private:
  void Copy(const TMail& mail, const std::string& areaName, const TFilterEnv& env) const;
  void AddToList(const TMail& mail, const TFilterEnv& env) const;
  void RemoveFromList(const TMail& mail, const TFilterEnv& env) const;
  void Launch(const TMail& mail, const std::string& name, const TFilterEnv& env,
              bool* failed) const;
  void AutoAnswer(const TMail& mail, const std::string& areaName, const TFilterEnv& env) const;
  // Whether the text pattern occurs in the message's body.
  bool TextOccurs(TFilterProbe& probe) const;

  TSearchString orig_, dest_, subj_, text_;
  std::string area_;
};

// The areas by name (letter case ignored), each looked up in the area list
// once; the cache starts again when the list has grown.
class TAreaLookup {
 public:
  explicit TAreaLookup(const TAreaList* areas) : areas_(areas) {}
  const TArea* Find(std::string_view name);
  // Forgets every area looked up (before a run).
  void Reset() { count_ = -1; }

 private:
  const TAreaList* areas_;
  int count_ = -1;
  std::unordered_map<std::string, const TArea*> byName_;
};

// What the conditions of many filters ask of one message, worked out once:
// the area of the message and its text with letters folded (kept in
// buffer).
class TFilterProbe {
 public:
  TFilterProbe(const TMail& mail, std::string_view areaName, TAreaLookup& areas,
               std::string& buffer)
      : mail_(mail), areaName_(areaName), areas_(areas), foldedText_(buffer) {}
  const TMail& Mail() const { return mail_; }
  std::string_view AreaName() const { return areaName_; }
  const TArea* Area();
  // The body text with the letters of its code page cp folded (CaseFold.h).
  std::string_view FoldedText(platform::CodePage cp);
  // After actions that may have created areas.
  void Forget() { areaKnown_ = false; }

 private:
  const TMail& mail_;
  std::string_view areaName_;
  TAreaLookup& areas_;
  std::string& foldedText_;
  const TArea* area_ = nullptr;
  bool areaKnown_ = false, textKnown_ = false;
  platform::CodePage textCodePage_ = platform::CodePage::CP866;
};

class TFilterList : public TTypedList<TFilter> {
 public:
  TFilter* GetFilter(int index) const { return GetItem(index); }
  // Adds the filter under the name; the list keeps it until it ends.
  TFilter* AddFilter(const std::string& name, std::unique_ptr<TFilter> filter);
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& key);
  void SaveToRegistry(TWinRegistry& registry, const std::string& key) const;

 private:
  std::vector<std::unique_ptr<TFilter>> owned_;
};

// Runs a list's filters on messages, in list order, and keeps what a run
// logs about them.
class TFilterRunner {
 public:
  struct Result {
    bool Kill = false;
    bool Copied = false;
    bool Failed = false;  // an action could not write its file (logged)
  };
  TFilterRunner(TFilterList& list, TFilterEnv env)
      : list_(list), env_(std::move(env)), areas_(env_.Store ? &env_.Store->Areas() : nullptr) {}
  void ResetMatches();
  Result Run(TMail& mail, const std::string& areaName);
  std::vector<std::pair<std::string, int>> MatchCounts() const;
  TFilterEnv& Env() { return env_; }

 private:
  TFilterList& list_;
  TFilterEnv env_;
  TAreaLookup areas_;
  std::string buffer_;
};

// The tosser's and the area export's views of a filter list.
class TImportFilterRun : public TImportFilters {
 public:
  TImportFilterRun(TFilterList& list, TFilterEnv env) : runner_(list, std::move(env)) {}
  void ResetMatches() override { runner_.ResetMatches(); }
  void SetLog(std::function<void(const std::string&)> log) override {
    runner_.Env().Log = std::move(log);
  }
  Outcome Apply(TMail& mail, const std::string& areaName) override;
  std::vector<std::pair<std::string, int>> MatchCounts() const override {
    return runner_.MatchCounts();
  }
  TFilterRunner& Runner() { return runner_; }

 private:
  TFilterRunner runner_;
};

class TExportFilterRun : public TExportFilters {
 public:
  TExportFilterRun(TFilterList& list, TFilterEnv env) : runner_(list, std::move(env)) {
    runner_.Env().Export = true;
  }
  void ResetMatches() override { runner_.ResetMatches(); }
  bool Apply(TMail& mail, TArea& area, const std::function<void(const std::string&)>& log) override;
  TFilterRunner& Runner() { return runner_; }

 private:
  TFilterRunner runner_;
};

// The two lists as part of the configuration (slot Filters).
class TFilterConfig : public TConfigSection {
 public:
  static constexpr const char* kImportKey = "Import Filters";
  static constexpr const char* kExportKey = "Export Filters";
  ~TFilterConfig() override;
  TFilterList& ImportFilters() { return import_; }
  TFilterList& ExportFilters() { return export_; }
  void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) override;
  void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const override;

 private:
  TFilterList import_;
  TFilterList export_;
};

// Installs the filter lists into the store and makes them the process-wide
// ones.
TFilterConfig& InstallFilterConfig(TConfigStore& store);
// The process-wide lists; null while none is installed.
TFilterList* GetImportFilters();
TFilterList* GetExportFilters();

}  // namespace velmaris

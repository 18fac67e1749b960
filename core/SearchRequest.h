// Search and filter masks: a message passes a mask by its flag word, four
// text conditions (origin name, destination name, subject, text) and two
// date conditions (creation date, toss date). Areas keep masks for display
// and maintenance, mail filters keep one each, and the search windows build
// them. The mask dialog works on these classes through the plain functions
// at the end (scheme table, scheme recognition, days text).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/DateTimeUtil.h"
#include "core/PubLst.h"
#include "platform/CodePage.h"
#include "platform/TextFinder.h"

namespace velmaris {

class TWinRegistry;

// One text condition. Stored as one 258-byte block: case switch, length
// byte, 255 text bytes, substring switch.
class TSearchString {
 public:
  static constexpr size_t kMaxText = 255;
  static constexpr size_t kPackedSize = 258;

  bool CaseSensitive = false;
  bool SubstringMatch = true;

  const std::string& Text() const { return text_; }
  // Longer text is cut to 255 characters.
  void SetText(std::string_view text);

  // Case-sensitive or not, anywhere in value or the whole value. No
  // wildcards; an empty text occurs nowhere but equals an empty value.
  //
  // The text is kept in the ANSI code page, as the windows take it and the
  // registry stores it, and so are the names and the subject of a stored
  // message; its body is in the OEM code page. value is in the code page cp:
  // the text is compared in cp (a text with a character that cp lacks
  // matches nothing), and without case the letters of cp fold (CaseFold.h).
  bool Matches(std::string_view value, platform::CodePage cp) const;
  // A value in the ANSI code page (a header's names and subject).
  bool Matches(std::string_view value) const;
  // The text in the code page cp; nothing when cp lacks one of its
  // characters.
  std::optional<std::string> TextIn(platform::CodePage cp) const;

  std::array<uint8_t, kPackedSize> Pack() const;
  void Unpack(const uint8_t* block);  // kPackedSize bytes

  // The value name + ".packed" in section. When that value does not hold
  // 258 bytes, the older values of the sub-key section + "\" + name ("Text",
  // "CaseSensitive", "SubstringMatch"; defaults empty, False, False) are read
  // and then deleted, so the next save leaves only the packed form.
  void SaveToRegistry(TWinRegistry& registry, const std::string& section,
                      const std::string& name) const;
  void LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                        const std::string& name);

  bool operator==(const TSearchString&) const = default;

 private:
  std::string text_;
};

// A text condition made ready for many values in one code page: the text
// recoded and, without case, folded once. Matches as TSearchString::Matches
// with that code page.
class TTextMatcher {
 public:
  TTextMatcher(const TSearchString& condition, platform::CodePage cp);
  bool Matches(std::string_view value) const {
    return finder_ && (substring_ ? finder_->In(value) : finder_->Equals(value));
  }

 private:
  bool substring_;
  std::optional<platform::TextFinder> finder_;  // none: the text cannot occur in cp
};

// One date condition.
class TDateSearch {
 public:
  enum : uint8_t { AnyDate = 0, Recent = 1, Range = 2 };

  uint8_t Mode = AnyDate;
  int32_t Limit = 0;    // days for Recent
  TDateTime Start = 0;  // first day for Range
  TDateTime End = 0;    // last day for Range

  // date and today are cut to whole days. Recent: today - Limit + 1 <= date
  // (Limit 1 is today only, Limit 0 only days after today). Range: Start <=
  // date <= End by whole days. Any other mode passes every date.
  bool Matches(TDateTime date, TDateTime today) const;
  bool Matches(TDateTime date) const { return Matches(date, Now()); }

  // Values "Mode", "Limit", "Start", "End" of the key; dates as Unix seconds,
  // 0 for no date (a date not greater than 0 is stored as 0). Missing values
  // keep the current fields.
  void SaveToRegistry(TWinRegistry& registry, const std::string& key) const;
  void LoadFromRegistry(TWinRegistry& registry, const std::string& key);

  bool operator==(const TDateSearch&) const = default;
};

// Holds the open dialog of a mask (made by the windows). A copied mask has
// no dialog of its own; the dialog goes with the mask.
class TDialogSlot {
 public:
  TDialogSlot() = default;
  TDialogSlot(const TDialogSlot&) {}
  TDialogSlot& operator=(const TDialogSlot&) { return *this; }
  std::unique_ptr<TObject> Dialog;
};

// A complete mask.
class TSearchRequest {
 public:
  static constexpr size_t kPackedSize = 12;

  bool ApplyDestination = false;
  bool ApplyOrigin = false;
  bool ApplySubject = false;
  bool ApplyText = false;
  uint32_t FlagMask = 0;  // flag bits that are tested
  uint32_t Flags = 0;     // required values of the tested bits
  TSearchString Origin, Destination, Subject, Text;
  TDateSearch CreationDate, TossDate;

  // Which pages the mask's dialog offers (the date pages always); not stored.
  bool ShowFlagsPage = true;
  bool ShowOriginPage = true;
  bool ShowDestinationPage = true;
  bool ShowSubjectPage = true;
  bool ShowTextPage = true;
  // The caption of the mask's dialog, set by the owner; not stored.
  std::string Caption;
  // The mask's dialog while it is open.
  TDialogSlot Dialog;

  // A flag word passes when (flags & FlagMask) == (Flags & FlagMask).
  bool MatchesFlags(uint32_t flags) const { return (flags & FlagMask) == (Flags & FlagMask); }
  // Any text switch on or a flag mask other than 0.
  bool HasConditions() const {
    return ApplyOrigin || ApplyDestination || ApplySubject || ApplyText || FlagMask != 0;
  }

  // The "Packed" value: the four switches (bytes 0-3), FlagMask, Flags.
  std::array<uint8_t, kPackedSize> Pack() const;
  void Unpack(const uint8_t* block);  // kPackedSize bytes

  // "Packed", the text conditions as "Destination.packed", "Origin.packed",
  // "Subject.packed", "Text.packed", then the keys section + "\CreationDate"
  // and section + "\TossDate".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;
  // Reads "Packed"; when it does not hold exactly 12 bytes, the older values
  // "Flags", "FlagMask", "ApplyDestination", "ApplyOrigin", "ApplySubject",
  // "ApplyText" with the current fields as defaults. Then the text and date
  // conditions.
  void LoadFromRegistry(TWinRegistry& registry, const std::string& section);

  // Switch accessors of the text conditions, for the dialog's bindings.
  void SetOriginCaseSensitive(bool v) { Origin.CaseSensitive = v; }
  bool GetOriginCaseSensitive() const { return Origin.CaseSensitive; }
  void SetDestinationCaseSensitive(bool v) { Destination.CaseSensitive = v; }
  bool GetDestinationCaseSensitive() const { return Destination.CaseSensitive; }
  void SetSubjectCaseSensitive(bool v) { Subject.CaseSensitive = v; }
  bool GetSubjectCaseSensitive() const { return Subject.CaseSensitive; }
  void SetTextCaseSensitive(bool v) { Text.CaseSensitive = v; }
  bool GetTextCaseSensitive() const { return Text.CaseSensitive; }
  void SetOriginSubstringMatch(bool v) { Origin.SubstringMatch = v; }
  bool GetOriginSubstringMatch() const { return Origin.SubstringMatch; }
  void SetDestinationSubstringMatch(bool v) { Destination.SubstringMatch = v; }
  bool GetDestinationSubstringMatch() const { return Destination.SubstringMatch; }
  void SetSubjectSubstringMatch(bool v) { Subject.SubstringMatch = v; }
  bool GetSubjectSubstringMatch() const { return Subject.SubstringMatch; }
  void SetTextSubstringMatch(bool v) { Text.SubstringMatch = v; }
  bool GetTextSubstringMatch() const { return Text.SubstringMatch; }

  // Stored fields only (not the page switches or the caption).
  bool SameConditions(const TSearchRequest& other) const;
};

// The flag bits the mask dialog offers: Hold, Unread, ToSysop, Kill, Send,
// Sent, New.
inline constexpr uint32_t kMaskDialogFlags =
    0x0002 | 0x0004 | 0x0010 | 0x0020 | 0x0040 | 0x0080 | 0x2000;

// The predefined schemes of the mask dialog, by item index.
struct TMaskScheme {
  const char* Meaning;
  uint32_t FlagMask;
  uint32_t Flags;
  int32_t TossDays;  // 0: toss date ignored, else the last TossDays days
};
inline constexpr int kMaskSchemeCount = 13;
const TMaskScheme& MaskScheme(int index);  // 0 .. kMaskSchemeCount - 1

// Sets the request to the scheme: text switches off, flags and mask from the
// scheme, creation date ignored, toss date recent with the scheme's days or
// ignored. An index outside the table changes nothing.
void ApplyMaskScheme(TSearchRequest& request, int index);
// The scheme the request shows, -1 for none: none when a text switch is on,
// the creation date is not ignored or the toss date is a range; otherwise
// the schemes from 12 down to 0, the first whose mask equals the request's
// mask over the dialog's flag bits, whose flags equal under that mask and
// whose toss-date rule holds.
int RecognizeMaskScheme(const TSearchRequest& request);
// The days box: a whole number, or 365 for any other text.
int32_t MaskDaysFromText(std::string_view text);

}  // namespace velmaris

#include "app/logic/MsgList.h"

#include <algorithm>

#include "app/logic/MsgText.h"
#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/Mail.h"
#include "core/SearchRequest.h"
#include "platform/CaseFold.h"
#include "platform/CodePage.h"
#include "processing/Secretary.h"

namespace velmaris {

namespace {

// Case-insensitive order of two header texts: names and subjects are stored
// in the ANSI code page, whose letters fold.
bool LessNoCase(std::string_view a, std::string_view b) {
  return platform::LessNoCase(a, b, platform::AnsiCodePage());
}

bool KeyLess(const TMsgHeader& a, const TMsgHeader& b, int key) {
  switch (key) {
    case MsgSortKey::From: return LessNoCase(a.FromName.View(), b.FromName.View());
    case MsgSortKey::To: return LessNoCase(a.ToName.View(), b.ToName.View());
    case MsgSortKey::Subject: return LessNoCase(a.Subject.View(), b.Subject.View());
    case MsgSortKey::Created: return a.Created < b.Created;
    case MsgSortKey::Size: return MsgTextSize(a) < MsgTextSize(b);
    default: return false;
  }
}

}  // namespace

int SortKeyOfColumn(int column) {
  switch (column) {
    case MsgColumn::From: return MsgSortKey::From;
    case MsgColumn::To: return MsgSortKey::To;
    case MsgColumn::Subject: return MsgSortKey::Subject;
    case MsgColumn::Created: return MsgSortKey::Created;
    case MsgColumn::Received: return MsgSortKey::Received;
    case MsgColumn::Size: return MsgSortKey::Size;
    default: return -1;
  }
}

int ColumnOfSortKey(int key) {
  for (int column = 1; column < MsgColumn::Count; ++column)
    if (SortKeyOfColumn(column) == key) return column;
  return MsgColumn::State;
}

void BuildDisplayRows(const TArea& area, const TSearchRequest& mask, int sortKey, bool descending,
                      TIntegerList& out) {
  out.Clear();
  if (!area.IsIndexLoaded()) return;
  std::vector<int32_t> rows;
  const std::vector<TMsgHeader>& headers = area.HeaderList();
  const int count = std::min<int>(area.Count, static_cast<int>(headers.size()));
  rows.reserve(static_cast<size_t>(count));
  // A mask without conditions shows every message (and needs no clock).
  const bool all = !mask.HasConditions() && mask.CreationDate.Mode == TDateSearch::AnyDate &&
                   mask.TossDate.Mode == TDateSearch::AnyDate;
  for (int i = 0; i < count; ++i)
    if (all || area.MatchesMask(i, mask)) rows.push_back(i);
  if (sortKey != MsgSortKey::Area && sortKey != MsgSortKey::Received)
    std::stable_sort(rows.begin(), rows.end(), [&](int32_t a, int32_t b) {
      return KeyLess(headers[static_cast<size_t>(a)], headers[static_cast<size_t>(b)], sortKey);
    });
  if (descending) std::reverse(rows.begin(), rows.end());
  out.SetCapacity(static_cast<int>(rows.size()));
  for (int32_t index : rows) out.Add(index);
}

// --- Cells ----------------------------------------------------------------------

int MsgStateImage(uint16_t flags) {
  const bool unread = flags & MsgFlag::Unread, sysop = flags & MsgFlag::ToSysop;
  if (unread && sysop) return 2;
  if (unread) return 0;
  return sysop ? 3 : 1;
}

int MsgMarkImage(uint16_t flags) {
  if (flags & MsgFlag::Send) return 8;
  if (flags & MsgFlag::Sent) return 9;
  if (flags & MsgFlag::ToSysop) return (flags & MsgFlag::Unread) ? 10 : 6;
  return -1;
}

int MsgUnreadImage(uint16_t flags) { return (flags & MsgFlag::Unread) ? 7 : -1; }

std::string MsgFlagString(uint16_t flags) {
  struct Letter {
    size_t pos;
    uint16_t bit;
    char letter;
  };
  static constexpr Letter kLetters[] = {{0, MsgFlag::New, 'I'},     {1, MsgFlag::Unread, 'U'},
                                        {2, MsgFlag::ToSysop, 'S'}, {3, MsgFlag::Hold, 'H'},
                                        {5, MsgFlag::Send, 'D'},    {6, MsgFlag::Sent, 'S'},
                                        {7, MsgFlag::Kill, 'K'},    {8, MsgFlag::Crash, 'C'},
                                        {9, MsgFlag::Attach, 'A'},  {10, MsgFlag::Request, 'R'}};
  std::string text = "---- ------";
  for (const Letter& l : kLetters)
    if (flags & l.bit) text[l.pos] = l.letter;
  return text;
}

std::string MsgTimeText(int32_t unixSeconds) {
  if (unixSeconds < 1) return "?";
  const TDateTime when = UnixToDateTime(unixSeconds);
  return FormatShortDate(when) + " " + FormatMacroTime(when);
}

uint32_t MsgTextSize(const TMsgHeader& header) {
  return header.BodyLength > header.TextOffset ? header.BodyLength - header.TextOffset : 0;
}

std::string MsgCellText(const TMsgHeader& header, int column) {
  switch (column) {
    case MsgColumn::From: return header.FromName.Str();
    case MsgColumn::To: return header.ToName.Str();
    case MsgColumn::Subject: return header.Subject.Str();
    case MsgColumn::Flags: return MsgFlagString(header.Flags);
    case MsgColumn::Created: return MsgTimeText(header.Created);
    case MsgColumn::Received: return MsgTimeText(header.Tossed);
    case MsgColumn::Size: return std::to_string(MsgTextSize(header));
    default: return {};
  }
}

// --- Caption and status -----------------------------------------------------------

std::string MsgListCaption(const TArea* area, int rows) {
  if (!area) return "No area assigned";
  const std::string name = area->NameText();
  if (!area->IsIndexLoaded()) return "Could not access area " + name + " !";
  std::string caption = name + " - " + std::to_string(area->Count) + " Messages";
  if (rows < area->Count) caption += " (Filtered)";
  return caption;
}

std::string MsgListStatusText(const TArea& area, int rows) {
  std::string text = std::to_string(area.Count) + " Messages";
  if (area.ToSysopCount > 0) text += "(" + std::to_string(area.ToSysopCount) + " to sysop)";
  if (area.UnreadCount > 0) text += ", " + std::to_string(area.UnreadCount) + " unread";
  if (area.UnreadToSysopCount > 0)
    text += "(" + std::to_string(area.UnreadToSysopCount) + " to sysop)";
  if (rows < area.Count)
    text +=
        ", " + std::to_string(area.Count - rows) + " filtered, " + std::to_string(rows) + " shown";
  // A damaged index shows only the records that could be read: said so.
  if (!area.IndexDamage.empty()) text += "; " + area.IndexDamage;
  return text;
}

// --- Searches ----------------------------------------------------------------------

namespace {

bool FlagsFit(uint16_t flags, uint16_t wanted, uint16_t rejected) {
  return (flags & wanted) == wanted && (flags & rejected) == 0;
}

// Steps from from in direction step (+1 or -1) to the first message whose
// flags fit and, with a topic, whose subject has that topic.
int FindByFlags(const TArea& area, int from, int step, uint16_t wanted, uint16_t rejected,
                const std::string* topic) {
  if (!area.IsIndexLoaded()) return -1;
  const int count = std::min<int>(area.Count, static_cast<int>(area.HeaderList().size()));
  if (from < 0 || from >= count) return -1;
  for (int i = from + step; i >= 0 && i < count; i += step) {
    const TMsgHeader& h = area.HeaderList()[static_cast<size_t>(i)];
    if (!FlagsFit(h.Flags, wanted, rejected)) continue;
    if (topic && TopicKey(h.Subject.Str()) != *topic) continue;
    return i;
  }
  return -1;
}

}  // namespace

std::string TopicKey(const std::string& subject) {
  std::string key = StripReplyMarker(subject);
  platform::FoldInPlace(key, platform::AnsiCodePage());
  TrimLeftControl(key);
  return key;
}

int FindNextByFlags(const TArea& area, int from, uint16_t wanted, uint16_t rejected) {
  return FindByFlags(area, from, 1, wanted, rejected, nullptr);
}

int FindPrevByFlags(const TArea& area, int from, uint16_t wanted, uint16_t rejected) {
  return FindByFlags(area, from, -1, wanted, rejected, nullptr);
}

int FindNextSameTopic(const TArea& area, int from, uint16_t wanted, const std::string& subject,
                      uint16_t rejected) {
  const std::string topic = TopicKey(subject);
  return FindByFlags(area, from, 1, wanted, rejected, &topic);
}

int FindPrevSameTopic(const TArea& area, int from, uint16_t wanted, const std::string& subject,
                      uint16_t rejected) {
  const std::string topic = TopicKey(subject);
  return FindByFlags(area, from, -1, wanted, rejected, &topic);
}

// --- Navigator -----------------------------------------------------------------

namespace {

int RowOf(const TIntegerList& rows, int index) { return index < 0 ? -1 : rows.IndexOf(index); }

TMsgStep AtEnd(bool advanceArea) {
  return advanceArea ? TMsgStep{TMsgStep::OtherArea, -1} : TMsgStep{};
}

}  // namespace

TMsgStep NextMessageStep(const TIntegerList& rows, int count, int displayed, bool displayOrder,
                         bool advanceArea) {
  if (displayOrder) {
    const int row = RowOf(rows, displayed);  // not a row: before the first
    if (row + 1 >= rows.Count()) return AtEnd(advanceArea);
    return {TMsgStep::Show, rows.Get(row + 1)};
  }
  if (displayed + 1 >= count) return AtEnd(advanceArea);
  return {TMsgStep::Show, displayed + 1};
}

TMsgStep PrevMessageStep(const TIntegerList& rows, int count, int displayed, bool displayOrder,
                         bool advanceArea) {
  if (displayOrder) {
    int row = RowOf(rows, displayed);  // not a row: after the last
    if (row < 0) row = rows.Count();
    if (row <= 0) return AtEnd(advanceArea);
    return {TMsgStep::Show, rows.Get(row - 1)};
  }
  if (displayed - 1 < 0) return AtEnd(advanceArea);
  return {TMsgStep::Show, std::min(displayed - 1, count - 1)};
}

// --- Import filters --------------------------------------------------------------------

std::unique_ptr<TFilter> SenderKillFilter(const std::string& from, const std::string& areaName,
                                          std::string& name) {
  auto filter = std::make_unique<TFilter>();
  filter->ApplyOrig = true;
  filter->SetOrig(from);
  filter->ApplyArea = true;
  filter->SetArea(areaName);
  filter->DoKill = true;
  name = "DELETE: " + from + " in " + AreaTagInAnsi(areaName);
  return filter;
}

std::unique_ptr<TFilter> SubjectKillFilter(const std::string& subject, const std::string& areaName,
                                           std::string& name) {
  const std::string topic = StripReplyMarker(subject);
  auto filter = std::make_unique<TFilter>();
  filter->ApplySubj = true;
  filter->SetSubj(topic);
  filter->ApplyArea = true;
  filter->SetArea(areaName);
  filter->DoKill = true;
  name = "DELETE: Thread \"" + topic + "\"";
  return filter;
}

}  // namespace velmaris

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/AreaRows.h"
#include "core/Area.h"

namespace velmaris {
namespace {

struct Counters {
  int32_t count = 0, toSysop = 0, unread = 0, unreadToSysop = 0, newUnread = 0,
          newUnreadToSysop = 0, send = 0;
};

std::unique_ptr<TArea> MakeArea(const std::string& name, const Counters& c) {
  auto area = std::make_unique<TArea>("", name, name);
  area->Count = c.count;
  area->ToSysopCount = c.toSysop;
  area->UnreadCount = c.unread;
  area->UnreadToSysopCount = c.unreadToSysop;
  area->NewUnreadCount = c.newUnread;
  area->NewUnreadToSysopCount = c.newUnreadToSysop;
  area->SendCount = c.send;
  return area;
}

struct RowCase {
  const char* what;
  Counters counters;
  TAreaRowKind kind;
  std::array<std::string, 4> cells;  // messages, unread, new, waiting
};

TEST(AreaRows, CountCellsFollowTheFlagCounters) {
  using enum TAreaRowKind;
  const std::vector<RowCase> cases = {
      {"empty area", {}, Rebuild, {"", "", "", ""}},
      {"messages to the sysop", {120, 4}, Rebuild, {"120(4)", "", "", ""}},
      {"none to the sysop", {120, 0}, Rebuild, {"120", "", "", ""}},
      {"unread, one to the sysop", {12, 1, 3, 1, 0, 0, 0}, Rebuild, {"12(1)", "3(1)", "", ""}},
      {"unread, none to the sysop", {12, 0, 3, 0}, Rebuild, {"12", "3", "", ""}},
      {"new unread", {50, 2, 10, 2, 7, 1, 0}, Rebuild, {"50(2)", "10(2)", "7(1)", ""}},
      {"new unread, none to the sysop", {50, 0, 10, 0, 7, 0, 0}, Rebuild, {"50", "10", "7", ""}},
      {"waiting for export", {5, 0, 0, 0, 0, 0, 5}, Rebuild, {"5", "", "", "5"}},
      {"waiting count unknown, whole list", {5, 0, 0, 0, 0, 0, -1}, Rebuild, {"5", "", "", "???"}},
      {"waiting count unknown, one row", {5, 0, 0, 0, 0, 0, -1}, Update, {"5", "", "", "?"}},
      {"waiting count of an empty area unknown", {0, 0, 0, 0, 0, 0, -1}, Update, {"", "", "", "?"}},
      // A sysop count without messages never shows a lone parenthesis.
      {"sysop count without messages", {0, 3, 0, 2, 0, 1, 0}, Rebuild, {"", "", "", ""}},
      {"large counts",
       {2000000, 99999, 1000000, 1, 0, 0, 65535},
       Update,
       {"2000000(99999)", "1000000(1)", "", "65535"}},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto area = MakeArea("FIDO.GER", c.counters);
    const auto cells = AreaRowCells(*area, c.kind);
    EXPECT_EQ(cells[0], "FIDO.GER");
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(cells[i + 1], c.cells[i]) << "cell " << i + 2;
  }
}

TEST(AreaRows, SeparatorFillsEveryCell) {
  // Counters of a separator entry never show.
  auto separator = MakeArea(kSeparatorName, {7, 1, 1, 1, 0, 0, -1});
  for (auto kind : {TAreaRowKind::Rebuild, TAreaRowKind::Update}) {
    const auto cells = AreaRowCells(*separator, kind);
    for (const std::string& cell : cells) EXPECT_EQ(cell, "!SEP!");
    EXPECT_EQ(AreaRowText(*separator, kind), "!SEP!\t!SEP!\t!SEP!\t!SEP!\t!SEP!");
  }
}

TEST(AreaRows, StatusCountLeavesOutSeparators) {
  struct Case {
    std::vector<std::string> names;
    int expected;
  };
  const std::vector<Case> cases = {
      {{}, 0},
      {{"!SEP!"}, 0},
      {{"NETMAIL", "BAD", "DUPES"}, 3},
      {{"NETMAIL", "!SEP!", "A", "B", "C", "!SEP!", "D", "E", "F", "G"}, 8},
      // Only the exact name is a separator.
      {{"!sep!", "!SEP! "}, 2},
  };
  for (const Case& c : cases) {
    TAreaList list;
    std::vector<std::unique_ptr<TArea>> owned;
    for (const std::string& name : c.names) {
      owned.push_back(MakeArea(name, {}));
      list.Add(owned.back().get());
    }
    EXPECT_EQ(CountListedAreas(list), c.expected);
  }
  EXPECT_EQ(AreaCountText(8), "8 Areas");
  EXPECT_EQ(AreaCountText(0), "0 Areas");
  EXPECT_EQ(AreaCountText(1), "1 Areas");
}

}  // namespace
}  // namespace velmaris

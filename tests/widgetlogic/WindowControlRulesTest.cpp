// The rules of the window controls without a display: the speed bar's grid,
// docking edge, captions, hints and stored layout; INI storage quoting,
// screen strings and stored placements; the tree's shape and visible rows;
// the colour tables and palette; the shadow label.
#include <gtest/gtest.h>

#include <map>

#include "widgets/logic/ColorArray.h"
#include "widgets/logic/IniStorage.h"
#include "widgets/logic/LabelRules.h"
#include "widgets/logic/PlacementValues.h"
#include "widgets/logic/SpeedBarRules.h"
#include "widgets/logic/TreeStream.h"
#include "widgets/logic/TreeStructure.h"

namespace velmaris::test {
namespace {

// An INI storage in memory: "section|ident" -> value, as the file would hold it.
class MemoryIni : public TIniStorage {
 public:
  explicit MemoryIni(bool stripsQuotes = true) : strips_(stripsQuotes) {}
  std::string ReadString(const std::string& s, const std::string& i,
                         const std::string& def) const override {
    const auto it = values.find(s + "|" + i);
    return it == values.end() ? def : strips_ ? StripIniQuotes(it->second) : it->second;
  }
  void WriteString(const std::string& s, const std::string& i, const std::string& v) override {
    values[s + "|" + i] = v;
  }
  void EraseSection(const std::string& s) override {
    std::erase_if(values, [&](const auto& kv) { return kv.first.rfind(s + "|", 0) == 0; });
  }
  bool StripsQuotes() const override { return strips_; }
  std::map<std::string, std::string> values;

 private:
  bool strips_;
};

TEST(SpeedBarRules, GridStepDividesTheButtonLength) {
  const std::pair<int, int> cases[] = {{24, 8},  {23, 1}, {1, 1}, {12, 4},
                                       {30, 10}, {25, 5}, {2, 1}};
  for (const auto& [length, step] : cases) EXPECT_EQ(SpeedBarGridStep(length), step) << length;
}

TEST(SpeedBarRules, SnapRoundsAlongAndTruncatesAcross) {
  struct Case {
    int v, off, grid;
    bool along;
    int expected;
  };
  const Case cases[] = {
      {13, 3, 8, true, 11},   {15, 3, 8, true, 19},  {7, 3, 8, true, 3},  // 1.25, 1.5, 0.5 steps
      {23, 3, 8, true, 19},   {31, 3, 8, true, 35},  // halves go to the even step
      {40, 3, 23, false, 26}, {25, 3, 23, false, 3}, {-10, 3, 8, true, -13}};
  for (const Case& c : cases) EXPECT_EQ(SnapToGrid(c.v, c.off, c.grid, c.along), c.expected) << c.v;
}

// Where a dropped button goes: the pointer on the bar decides, the row under
// it, whole on the bar, at the nearest free grid place.
TEST(SpeedBarRules, ADropGoesWhereThePointerIsToAFreePlace) {
  // Two rows, 200 x 52: offsets 3, grid 8 along, 23 across.
  const TBarMeasures two{200, 52, 3, 3, 8, 23, 24, 23, true};
  // A vertical bar 29 x 200: the grid along is GridY (23 gives 1).
  const TBarMeasures tall{29, 200, 3, 3, 24, 1, 24, 23, false};
  struct Case {
    const char* what;
    TBarMeasures bar;
    TBarPoint copy, pointer;
    std::vector<TBarPoint> others;
    std::optional<TBarPoint> placed;
  };
  const Case cases[] = {
      {"in the first row", two, {40, 0}, {64, 20}, {}, TBarPoint{43, 3}},
      {"the pointer in the second row", two, {40, 10}, {64, 33}, {}, TBarPoint{43, 26}},
      {"the pointer off the bar", two, {40, 40}, {64, 63}, {}, std::nullopt},
      {"left of the left end", two, {-22, -20}, {2, 3}, {}, TBarPoint{3, 3}},
      {"past the right end", two, {190, 0}, {199, 10}, {}, TBarPoint{171, 3}},
      // Big buttons on a bar as wide as they reach: the last place is flush
      // with its far edge.
      {"the place at the far edge",
       {260, 48, 2, 2, 43, 44, 86, 44, true},
       {46, 0},
       {132, 20},
       {{2, 2}, {88, 2}},
       TBarPoint{174, 2}},
      {"half over a button", two, {48, 3}, {72, 20}, {{43, 3}}, TBarPoint{67, 3}},
      {"its row full",
       two,
       {3, 3},
       {10, 10},
       {{3, 3}, {27, 3}, {51, 3}, {75, 3}, {99, 3}, {123, 3}, {147, 3}, {171, 3}},
       TBarPoint{3, 26}},
      {"down a vertical bar", tall, {-20, 50}, {4, 73}, {{3, 60}}, TBarPoint{3, 37}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DropPlace(c.bar, c.copy, c.pointer, c.others), c.placed) << c.what;
  // Every place taken: none; read from a stored layout, beyond the end.
  const TBarMeasures one{100, 29, 3, 3, 8, 23, 24, 23, true};
  const std::vector<TBarPoint> full{{3, 3}, {27, 3}, {51, 3}, {75, 3}};
  EXPECT_EQ(DropPlace(one, {3, 3}, {5, 5}, full), std::nullopt);
  EXPECT_EQ(DropPlace(one, {3, 3}, {5, 5}, full, true), (TBarPoint{99, 3}));
  // A bar with a free place left makes room: the button goes in under the
  // copy (beside the one under the copy's middle) and the rest of its row
  // moves along, the one pushed past the end into the free place.
  const std::vector<TBarPoint> three{{3, 3}, {27, 3}, {51, 3}};
  const TBarMeasures narrow{78, 52, 3, 3, 8, 23, 24, 23, true};  // two rows of three
  const auto room = DropMakingRoom(narrow, {30, 0}, {50, 20}, three, true);
  ASSERT_TRUE(room.has_value());
  EXPECT_EQ(room->place, (TBarPoint{51, 3}));  // the copy's middle (42) past 27's middle
  EXPECT_EQ(room->others, (std::vector<TBarPoint>{{3, 3}, {27, 3}, {51, 26}}));
  EXPECT_EQ(DropMakingRoom(narrow, {30, 0}, {50, 60}, three), std::nullopt);  // off the bar
  // On a bar with no place left the last button goes past the end, and the
  // bar says how long it must grow to show it whole.
  const TBarMeasures row{78, 29, 3, 3, 8, 23, 24, 23, true};
  const auto past = DropMakingRoom(row, {-5, 0}, {19, 20}, three);
  ASSERT_TRUE(past.has_value());
  EXPECT_EQ(past->place, (TBarPoint{3, 3}));
  EXPECT_EQ(past->others, (std::vector<TBarPoint>{{27, 3}, {51, 3}, {75, 3}}));
  EXPECT_EQ(BarLengthNeeded(row, past->others), 102);
  EXPECT_EQ(BarLengthNeeded(row, three), 78);
  EXPECT_EQ(BarLengthNeeded(row, {}), 0);
  // A button moved along a full row leaves its own place: the one pushed past
  // the end takes it.
  const auto along = DropMakingRoom(row, {40, 0}, {60, 20}, {{27, 3}, {51, 3}}, true);
  ASSERT_TRUE(along.has_value());
  EXPECT_EQ(along->place, (TBarPoint{51, 3}));
  EXPECT_EQ(along->others, (std::vector<TBarPoint>{{27, 3}, {3, 3}}));
  const auto free = DropMakingRoom(one, {30, 0}, {50, 20}, three);  // room at 75
  ASSERT_TRUE(free.has_value());
  EXPECT_EQ(free->place, (TBarPoint{75, 3}));
  EXPECT_EQ(free->others, three);
  // A button moved along its bar onto another goes in beside it, though the
  // bar has room (its own old place, 3, is free).
  const std::vector<TBarPoint> rest{{27, 3}, {51, 3}};
  const auto moved = DropMakingRoom(one, {40, 0}, {60, 20}, rest, true);
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(moved->place, (TBarPoint{51, 3}));  // the copy's middle (52) past 27's middle
  EXPECT_EQ(moved->others, (std::vector<TBarPoint>{{27, 3}, {75, 3}}));
  EXPECT_EQ(DropMakingRoom(one, {40, 0}, {60, 20}, rest)->place,
            (TBarPoint{75, 3}));  // nearest free
  // A button stored wholly off the bar comes onto it behind the last button
  // of the nearest row; on a full bar past its end (the bar then grows).
  struct OffRow {
    const char* what;
    TBarMeasures bar;
    TBarPoint stored;
    std::vector<TBarPoint> others;
    std::optional<TBarPoint> placed;
  };
  const OffRow offRows[] = {
      {"on the bar stays", two, {99, 3}, three, std::nullopt},
      {"past the end", two, {5000, 3}, three, TBarPoint{75, 3}},
      {"below the last row", two, {27, 300}, three, TBarPoint{3, 26}},
      {"past the end of a full bar", row, {2000, 3}, three, TBarPoint{75, 3}},
      {"a full row, room in the next", narrow, {2000, 3}, three, TBarPoint{51, 26}},
      {"down a vertical bar", tall, {3, 900}, {{3, 3}}, TBarPoint{3, 26}},
  };
  for (const OffRow& r : offRows)
    EXPECT_EQ(PlaceOnTheBar(r.bar, r.stored, r.others), r.placed) << r.what;
  // A damaged stored place far off the bar stays within bounds.
  const auto far = DropPlace(one, {2147483647, 3}, {5, 5}, {{2147483647, 3}}, true);
  ASSERT_TRUE(far.has_value());
  EXPECT_GT(far->x, 3);
}

TEST(SpeedBarRules, DockEdgeFollowsTheDiagonals) {
  struct Case {
    int x, y;
    TAlign edge;
  };
  const Case cases[] = {{200, 10, TAlign::alTop},
                        {390, 150, TAlign::alRight},
                        {10, 150, TAlign::alLeft},
                        {200, 290, TAlign::alBottom}};
  for (const Case& c : cases)
    EXPECT_EQ(DockEdgeAt(c.x, c.y, 400, 300), c.edge) << c.x << "," << c.y;
}

TEST(SpeedBarRules, ResizingTakesWholeRowsWithinTheLimit) {
  EXPECT_EQ(ResizedThickness(10, 3, 23, 500), 29);  // at least one row
  EXPECT_EQ(ResizedThickness(60, 3, 23, 500), 52);  // two rows
  EXPECT_EQ(ResizedThickness(400, 3, 23, 100), 100);
}

TEST(SpeedBarRules, SectionCaptionsAndHintsFollowTheirRules) {
  EXPECT_EQ(UniqueSectionCaption("File", {}), "File");
  EXPECT_EQ(UniqueSectionCaption("File", {"File"}), "File (1)");
  EXPECT_EQ(UniqueSectionCaption("File", {"File", "File (1)"}), "File (2)");
  struct Case {
    const char* caption;
    const char* oldHint;
    const char* hint;
  };
  const Case cases[] = {{"Open", "Load|Opens a file", "Open|Opens a file"},
                        {"Open", "", "Open|"},
                        {"Open|Reads it", "Load|Opens", "Open|Reads it"},
                        {"Open|", "Load|Opens", "Open|Opens"}};
  for (const Case& c : cases) EXPECT_EQ(HintForCaption(c.caption, c.oldHint), c.hint) << c.caption;
}

TEST(SpeedBarRules, LayoutIsWrittenAsTheFormatSaysAndButtonsParse) {
  MemoryIni ini;
  ini.values["Bar|Stale"] = "1";
  TSpeedBarLayout layout;
  layout.position = 3;
  layout.width = 60;
  layout.version = 2;
  layout.buttons = {{"OpenItem", 3, 3}, {"SaveItem", 27, 3}};
  WriteSpeedBarLayout(&ini, "Bar", layout);
  const std::map<std::string, std::string> expected = {{"Bar|Position", "3"},
                                                       {"Bar|Width", "60"},
                                                       {"Bar|Version", "2"},
                                                       {"Bar|PixelsPerInch", "96"},
                                                       {"Bar|BtnWidth", "24"},
                                                       {"Bar|BtnHeight", "23"},
                                                       {"Bar|Button1", "OpenItem,3,3"},
                                                       {"Bar|Button2", "SaveItem,27,3"},
                                                       {"Bar|Count", "2"}};
  EXPECT_EQ(ini.values, expected);

  std::string name;
  std::optional<int> left, top;
  ASSERT_TRUE(ParseLayoutButton(" SaveItem, 27 x", name, left, top));
  EXPECT_EQ(name, "SaveItem");
  EXPECT_EQ(left, 27);
  EXPECT_EQ(top, std::nullopt);
  EXPECT_FALSE(ParseLayoutButton(" , ", name, left, top));
}

TEST(IniStorage, QuotedValuesReadBackUnchanged) {
  for (const char* value : {"\"quoted\"", "'single'", "plain", "\"half", ""}) {
    MemoryIni ini;
    IniWriteString(&ini, "S", "K", value);
    EXPECT_EQ(IniReadString(&ini, "S", "K", "def"), value) << value;
  }
  MemoryIni ini;
  IniWriteString(&ini, "S", "K", "\"q\"");
  EXPECT_EQ(ini.values["S|K"], "\"\"q\"\"");
  MemoryIni registry(false);
  IniWriteString(&registry, "S", "K", "\"q\"");
  EXPECT_EQ(registry.values["S|K"], "\"q\"");
  EXPECT_EQ(IniReadInteger(&ini, "S", "K", 7), 7);
  EXPECT_EQ(IniReadString(nullptr, "S", "K", "def"), "def");
}

TEST(IniStorage, ScreenStringsAndDefaultNames) {
  MemoryIni ini;
  IniWriteScreenString(&ini, "F", "NormPos", "1,2,3,4", 1024, 768);
  EXPECT_EQ(ini.values["F|NormPos(1024x768)"], "1,2,3,4");
  EXPECT_EQ(ini.values["F|NormPos"], "1,2,3,4");
  ini.values["F|NormPos"] = "5,6,7,8";
  EXPECT_EQ(IniReadScreenString(&ini, "F", "NormPos", 1024, 768), "1,2,3,4");
  EXPECT_EQ(IniReadScreenString(&ini, "F", "NormPos", 800, 600), "5,6,7,8");
  EXPECT_EQ(GetDefaultIniName("/opt/velmaris/velmaris.bin"), "velmaris.INI");
  EXPECT_EQ(GetDefaultIniName("/x/y", [] { return std::string("hooked.ini"); }), "hooked.ini");
  EXPECT_EQ(GetDefaultIniRegKey("/opt/velmaris", "Brimvale", false, "T"),
            "Software\\Brimvale\\velmaris");
  EXPECT_EQ(GetDefaultIniRegKey("/opt/velmaris", "", true, "Velmaris 95"), "Software\\Velmaris 95");
}

TEST(PlacementValues, RoundTripAndDamagedValues) {
  const TScreenInfo screen{1024, 768, 96};
  MemoryIni ini;
  const TWindowPlacementRec stored{0, 3, -1, -1, -1, -1, 10, 20, 610, 420};
  WritePlacementValues(&ini, "Form", stored, screen);
  TWindowPlacementRec read;
  read.showCmd = 3;  // the state is read on its own
  EXPECT_TRUE(ReadPlacementPosition(&ini, "Form", read, screen));
  EXPECT_EQ(read, stored);
  EXPECT_EQ(ReadPlacementState(&ini, "Form"), TStoredWindowState::Maximized);
  EXPECT_FALSE(ReadPlacementPosition(&ini, "Form", read, {1024, 768, 120}));

  ini.values["Form|NormPos(1024x768)"] = "x,20,,420";
  TWindowPlacementRec current{0, 1, 0, 0, 0, 0, 50, 60, 70, 80};
  ReadPlacementPosition(&ini, "Form", current, screen);
  EXPECT_EQ((std::vector<int>{current.left, current.top, current.right, current.bottom}),
            (std::vector<int>{50, 20, 70, 420}));
  const std::pair<int, TStoredWindowState> states[] = {
      {1, TStoredWindowState::Normal},    {9, TStoredWindowState::Normal},
      {7, TStoredWindowState::Minimized}, {3, TStoredWindowState::Maximized},
      {0, TStoredWindowState::Default},   {4, TStoredWindowState::Default}};
  for (const auto& [cmd, state] : states) EXPECT_EQ(StateOfShowCmd(cmd), state) << cmd;
}

// The rows of the visible nodes, as ids.
std::vector<int> Rows(const TreeStructure& t) {
  std::vector<int> out;
  for (int r = 0; r < t.RowCount(); ++r) out.push_back(t.NodeAtRow(r));
  return out;
}

TEST(TreeStructure, VisibleRowsFollowExpandCollapseAndRemoval) {
  TreeStructure t;
  const int a = t.AddChild(TreeStructure::kNone);
  const int a1 = t.AddChild(a), a2 = t.AddChild(a);
  const int a11 = t.AddChild(a1);
  const int b = t.AddChild(TreeStructure::kNone);
  EXPECT_EQ(Rows(t), (std::vector<int>{a, b}));
  t.SetExpanded(a, true);
  EXPECT_EQ(Rows(t), (std::vector<int>{a, a1, a2, b}));
  t.SetExpanded(a1, true);
  EXPECT_EQ(Rows(t), (std::vector<int>{a, a1, a11, a2, b}));
  EXPECT_EQ(t.RowOf(a2), 3);
  t.SetExpanded(a, false);
  EXPECT_EQ(t.RowOf(a11), TreeStructure::kNone);
  EXPECT_EQ(t.AbsoluteIndex(a2), 3);
  EXPECT_EQ(t.NodeAtAbsolute(4), b);
  EXPECT_EQ(t.PrevInTree(b), a2);
  EXPECT_EQ(t.NextInTree(a11), a2);
  EXPECT_EQ(t.Level(a11), 2);

  std::vector<int> removed;
  t.Remove(a1, [&](int id) { removed.push_back(id); });
  EXPECT_EQ(removed, (std::vector<int>{a11, a1}));
  EXPECT_EQ(t.ChildCount(a), 1);
  EXPECT_EQ(t.FirstChild(a), a2);
  EXPECT_EQ(t.Count(), 3);
  const int reused = t.AddChild(b);
  EXPECT_TRUE(reused == a1 || reused == a11);
  EXPECT_EQ(t.Level(reused), 1);
}

TEST(TreeStructure, SortReordersSiblingsOnly) {
  TreeStructure t;
  const int r = t.AddChild(TreeStructure::kNone);
  const int c3 = t.AddChild(r), c1 = t.AddChild(r), c2 = t.AddChild(r);
  const std::map<int, int> key = {{c1, 1}, {c2, 2}, {c3, 3}};
  t.SortChildren(r, [&](int x, int y) { return key.at(x) < key.at(y); });
  EXPECT_EQ((std::vector<int>{t.ChildAt(r, 0), t.ChildAt(r, 1), t.ChildAt(r, 2)}),
            (std::vector<int>{c1, c2, c3}));
  EXPECT_EQ(t.LastChild(r), c3);
  EXPECT_EQ(t.ChildAt(r, 3), TreeStructure::kNone);
}

TEST(TreeStream, RecordsAreLaidOutFieldByField) {
  TTreeStreamNode child;
  child.text = std::string(300, 'x');
  TTreeStreamNode root;
  root.imageIndex = 1;
  root.selectedIndex = 2;
  root.checked = true;
  root.data = 0x11223344;
  root.parentFont = false;
  root.fontName = "Courier New";
  root.fontColor = 0xAABBCC;
  root.text = "Re: hi";
  root.children = {child};
  const std::string bytes = EncodeTreeNodes({root});
  ASSERT_EQ(bytes.size(), 4u + 4 + 86 + 4 + 335);
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(
        static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
        static_cast<uint8_t>(bytes[at + 2]) << 16 | static_cast<uint8_t>(bytes[at + 3]) << 24);
  };
  const size_t r = 8;  // the first record, after the count and its size
  EXPECT_EQ(u32(0), 1u);
  EXPECT_EQ(u32(4), 86u);
  EXPECT_EQ(u32(r + 0), 1u);
  EXPECT_EQ(u32(r + 8), 0xFFFFFFFFu);  // StateIndex -1
  EXPECT_EQ(bytes[r + 16], 1);
  EXPECT_EQ(u32(r + 17), 0x11223344u);
  EXPECT_EQ(u32(r + 21), 1u);  // one child follows
  EXPECT_EQ(bytes[r + 29], 1);
  EXPECT_EQ(bytes[r + 30], 0);
  EXPECT_EQ(bytes.substr(r + 41, 12),
            "\x0b"
            "Courier New");
  EXPECT_EQ(u32(r + 75), 0xAABBCCu);
  EXPECT_EQ(bytes.substr(r + 79, 7),
            "\x06"
            "Re: hi");
  EXPECT_EQ(u32(r + 86), 335u);  // the child's text cut to 255 characters
  std::vector<TTreeStreamNode> back = DecodeTreeNodes(bytes);
  root.children[0].text.resize(255);
  EXPECT_EQ(back, std::vector<TTreeStreamNode>{root});
}

TEST(TreeStream, DamagedStreamsAreRefused) {
  TTreeStreamNode node;
  node.text = "abc";
  node.children.resize(1);
  const std::string good = EncodeTreeNodes({node});
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string shortRecord = good;
  shortRecord[4] = 79;
  std::string textPastRecord = good;
  textPastRecord[4 + 4 + 79] = 9;
  std::string manyChildren = good;
  manyChildren[4 + 4 + 21] = 50;
  const Case cases[] = {{"Empty", ""},
                        {"Truncated", good.substr(0, good.size() - 1)},
                        {"RecordTooShort", shortRecord},
                        {"TextPastItsRecord", textPastRecord},
                        {"ChildCountPastTheEnd", manyChildren},
                        {"HugeCount", std::string("\xff\xff\xff\x7f", 4)}};
  for (const Case& c : cases) EXPECT_THROW(DecodeTreeNodes(c.bytes), ETreeStreamError) << c.name;
  EXPECT_TRUE(DecodeTreeNodes(std::string(4, '\0')).empty());
}

TEST(ColorArray, CellsStreamAndBounds) {
  TColorArrayClass a(4, 5);
  a.SetColor(2, 1, 0x123456);
  EXPECT_EQ(a.Element(2), 0x123456u);
  EXPECT_EQ(a.StreamList()[5], 0x123456u);  // X outer, Y inner: (2,1) is the sixth
  EXPECT_THROW(a.Color(5, 1), EColorArrayIndexError);
  EXPECT_THROW(a.SetElement(21, 0), EColorArrayIndexError);
}

TEST(ColorArray, CustomColorsTextRoundTrip) {
  TColorArrayClass custom(8, 2);
  for (int i = 1; i <= 16; ++i) custom.SetElement(i, 0x010101u * static_cast<unsigned>(i));
  const std::string text = CustomColorsToText(custom);
  EXPECT_EQ(text.substr(0, 20), "$00010101,$00090909,");  // (1,1) then (1,2)
  EXPECT_EQ(text.size(), 16u * 10 - 1);
  TColorArrayClass back(8, 2);
  CustomColorsFromText(text, back);
  EXPECT_EQ(back, custom);
  CustomColorsFromText("$0000FF00,bad!!!!!!,$1G", back);
  EXPECT_EQ(back.Color(1, 1), 0x00FF00u);
  EXPECT_EQ(back.Color(1, 2), 0xFFFFFFu);
  EXPECT_EQ(back.Color(2, 1), 0xFFFFFFu);
}

TEST(ColorArray, PaletteHintsKeysAndCells) {
  EXPECT_EQ(ColorHintText(0xFFFFFF), "RGB = 255 255 255");
  EXPECT_EQ(ColorHintText(0x0000FF), "RGB = 255 000 000");
  struct Case {
    TPaletteCell from;
    TPaletteKey key;
    TPaletteCell to;
  };
  using enum TPaletteKey;
  const Case cases[] = {{{}, Down, {1, 1}},     {{1, 5}, Down, {0, 0}}, {{0, 0}, Down, {1, 1}},
                        {{1, 1}, Up, {0, 0}},   {{0, 0}, Up, {1, 5}},   {{0, 0}, Left, {0, 0}},
                        {{1, 3}, Left, {4, 3}}, {{4, 3}, Right, {1, 3}}};
  for (const Case& c : cases) EXPECT_EQ(MovePaletteSelection(c.from, c.key), c.to);
  EXPECT_EQ(PaletteCellAt(20, 40, 72), (TPaletteCell{2, 3}));
  EXPECT_EQ(PaletteCellAt(60, 100, 72), (TPaletteCell{0, 0}));
  EXPECT_EQ(PaletteCellAt(10, 95, 72), (TPaletteCell{}));
  // The cell the palette opens on: the colour itself, else the swatch of the
  // RGB a system colour stands for, else the other-colour cell.
  struct Opens {
    TColor color, resolved;
    TPaletteCell cell;
  };
  const TColorArrayClass palette = DefaultPaletteColors();
  const Opens opens[] = {{0x000000, 0x000000, {2, 1}},
                         {0x80000008, 0x000000, {2, 1}},  // the window text, black
                         {0x8000000D, 0xFF0000, {1, 4}},  // a highlight that is blue
                         {0x8000000F, 0x123456, {0, 0}},
                         {0x654321, 0x654321, {0, 0}}};
  for (const Opens& o : opens)
    EXPECT_EQ(PaletteCellOf(palette, o.color, o.resolved), o.cell) << std::hex << o.color;
}

TEST(LabelRules, AnglesAndShadowCopies) {
  EXPECT_EQ(NormalizeAngle(370), 10);
  EXPECT_EQ(NormalizeAngle(-30), 330);
  TShadowSettings s;
  bool face = false;
  ASSERT_TRUE(ShadowPreset(TShadowStyle::ssThickShadow, s, face));
  EXPECT_EQ(ShadowCopies(TShadowStyle::ssThickShadow, s),
            (std::vector<TTextCopy>{
                {1, 1, false}, {2, 2, false}, {3, 3, false}, {4, 4, false}, {0, 0, true}}));
  ASSERT_TRUE(ShadowPreset(TShadowStyle::ssRecessedColor, s, face));
  EXPECT_TRUE(face);
  EXPECT_EQ(ShadowCopies(TShadowStyle::ssRecessedColor, s),
            (std::vector<TTextCopy>{{-1, -1, false}, {1, 1, true}}));
  EXPECT_FALSE(ShadowPreset(TShadowStyle::ssCustom, s, face));
  EXPECT_TRUE(ShadowCopies(TShadowStyle::ssNone, s).empty());
  const TRotatedBox box = RotatedTextBox(100, 20, 90);
  EXPECT_EQ(box.width, 20);
  EXPECT_EQ(box.height, 100);
}

}  // namespace
}  // namespace velmaris::test

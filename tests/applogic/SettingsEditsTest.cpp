#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/SettingsEdits.h"
#include "archive/Packer.h"
#include "core/Area.h"
#include "core/MailBox.h"
#include "core/Settings.h"

namespace velmaris {
namespace {

std::vector<std::string> SortedNames(const std::vector<std::string>& names) {
  std::vector<std::unique_ptr<TArea>> areas;
  TAreaList list;
  for (const std::string& name : names) {
    areas.push_back(std::make_unique<TArea>("", name, name));
    list.Add(name, areas.back().get());
  }
  SortAreas(list);
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.GetString(i));
  return out;
}

TEST(SettingsEdits, AreaSortKeepsTheSystemAreasAndSeparatorsInPlace) {
  using V = std::vector<std::string>;
  const struct {
    V in, out;
  } cases[] = {
      {{"NETMAIL", "BAD", "DUPES", "B", "A"}, {"NETMAIL", "BAD", "DUPES", "A", "B"}},
      {{"NETMAIL", "BAD", "DUPES", "D", "C", "!SEP!", "B", "A"},
       {"NETMAIL", "BAD", "DUPES", "C", "D", "!SEP!", "A", "B"}},
      {{"NETMAIL", "BAD", "DUPES", "b", "B"}, {"NETMAIL", "BAD", "DUPES", "B", "b"}},
      {{"NETMAIL", "DUPES", "BAD", "B"}, {"NETMAIL", "DUPES", "BAD", "B"}},  // fewer than five
  };
  for (const auto& c : cases) EXPECT_EQ(SortedNames(c.in), c.out);
}

TEST(SettingsEdits, MailboxFieldsAreCheckedBeforeTheyAreStored) {
  TMBList list;
  TMailBox* box = list.Add("Old", std::make_unique<TMailBox>());
  const struct {
    TMailboxFields fields;
    std::string error;
  } cases[] = {
      {{"", "S", "2:5020/1", {}}, kEmptyNameText},
      {{"  ", "S", "2:5020/1", {}}, kEmptyNameText},
      {{"Box", "S", "2:99999/1", {}}, BadAddressText("2:99999/1")},
      {{"Box", "S", "garbage", {}}, BadAddressText("garbage")},
      {{"Box", "S", "0:0/0", {}}, BadAddressText("0:0/0")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StoreMailboxFields(c.fields, *box, list), c.error) << c.fields.address;
    EXPECT_EQ(list.GetString(0), "Old");
  }
  EXPECT_EQ(StoreMailboxFields({"Boss BBS", "Sysop", "2:5020/1", {"+7 495 1", "", "8 812 2"}}, *box,
                               list),
            "");
  EXPECT_EQ(list.GetString(0), "Boss BBS");
  EXPECT_EQ(box->Address.GetText(), "2:5020/1");
  EXPECT_EQ(box->Numbers, (std::vector<std::string>{"+7 495 1", "8 812 2"}));
}

TEST(SettingsEdits, PackerFieldsRenameTheEntryAndRefuseAnEmptyName) {
  TPckList list;
  TPacker* packer = list.AddPacker("New Packer", std::make_unique<TPacker>());
  EXPECT_EQ(StorePackerFields({"", "zip", "unzip"}, *packer, list), kEmptyNameText);
  EXPECT_EQ(packer->GetPack(), "");
  EXPECT_EQ(StorePackerFields({"ZIP", "zip -j", "Integrated UnZIP"}, *packer, list), "");
  const TPackerFields back = PackerFields(list, *packer);
  EXPECT_EQ(back.name, "ZIP");
  EXPECT_EQ(back.pack, "zip -j");
  EXPECT_EQ(back.unpack, "Integrated UnZIP");
}

TEST(SettingsEdits, GatewayAddressIsCheckedOnlyWhileTheGatewayIsOn) {
  SettingsValues values("/tmp/start/");
  values.SetText(SettingId::EdUUCPAddr, "nonsense");
  EXPECT_EQ(CheckSettingsValues(values), "");
  values.SetChecked(SettingId::CbUseGateWay, true);
  EXPECT_EQ(CheckSettingsValues(values), BadAddressText("nonsense"));
  values.SetText(SettingId::EdUUCPAddr, "242:6000/9000");
  EXPECT_EQ(CheckSettingsValues(values), "");
}

TEST(SettingsEdits, FileNameFieldsDropOneQuoteAtEachEnd) {
  const struct {
    const char* text;
    const char* kept;
  } cases[] = {
      {"\"/opt/my tools/epp\"", "/opt/my tools/epp"},
      {"\"\"epp\"\"", "\"epp\""},  // one at each end only
      {"\"epp -i", "epp -i"},
      {"epp \"%filename\"", "epp \"%filename"},
      {"\"", ""},
      {"epp", "epp"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StripFileNameQuotes(c.text), c.kept) << c.text;
}

TEST(SettingsEdits, MoveEntryStopsAtTheEnds) {
  TPckList list;
  list.AddPacker("A", std::make_unique<TPacker>());
  list.AddPacker("B", std::make_unique<TPacker>());
  EXPECT_EQ(MoveEntry(list, 0, -1), 0);
  EXPECT_EQ(MoveEntry(list, 1, +1), 1);
  EXPECT_EQ(MoveEntry(list, 0, +1), 1);
  EXPECT_EQ(list.GetString(0), "B");
  EXPECT_EQ(MoveEntry(list, 5, -1), 5);
}

TEST(SettingsEdits, ListNamesAndMacrosTakenFromWhatWasChosen) {
  const std::pair<std::string, std::string> names[] = {{"/fido/lists/NODELIST.123", "NODELIST"},
                                                       {"POINTS24.Z45", "POINTS24"},
                                                       {"/lists/a.b/PR24DIFF", "PR24DIFF"},
                                                       {"/lists/.hidden", ""}};
  for (const auto& [path, name] : names) EXPECT_EQ(ListBaseName(path), name) << path;
  const std::pair<std::string, std::string> macros[] = {
      {"%df\tfirst name", "%df"}, {"%newarea", "%newarea"}, {"df\tno macro", ""}, {"", ""}};
  for (const auto& [line, macro] : macros) EXPECT_EQ(MacroOfLine(line), macro) << line;
}

}  // namespace
}  // namespace velmaris

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/SettingsEdits.h"
#include "archive/Packer.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/KQMail.h"
#include "core/MailBox.h"
#include "core/MsgBaseFixtures.h"
#include "core/Settings.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

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

// «Find old ones» offers the areas whose files lie in the message base as
// they are on disk: a UTF-8 file name as the area's name in the ANSI page,
// a CP1251 one an earlier version wrote as it stands; Yes adopts the files
// with every message, and the next load still finds them.
TEST(SettingsEdits, OldAreasAreOfferedAndAdoptedAsTheyAreOnDisk) {
  platform::SetAnsiCodePage(platform::CodePage::CP1251);
  platform::PlainDispatcher dispatcher;
  platform::ScriptedPrompter prompter;
  platform::SetDispatcher(&dispatcher);
  platform::SetPrompter(&prompter);
  test::TempDir dir;
  const struct {
    const char* what;
    std::string fileName, name;
    int messages;
    bool offered;
    std::string tag = "";   // the tag the messages came in under
    std::string wire = "";  // the AREA tag of a reply from the adopted area
  } rows[] = {
      {"a Cyrillic name on disk in UTF-8", "RU.ЁЛКА", "RU.\xA8\xCB\xCA\xC0", 3, true},
      // The messages came in under the UTF-8 tag itself: the area is that
      // tag's, and the next such mail finds it.
      {"a UTF-8 tag's area", "RU.ЁЖИК", "RU.ЁЖИК", 2, true, "RU.ЁЖИК"},
      {"a UTF-8 tag with a letter the ANSI page lacks", "DE.STRAßE", "DE.STRAßE", 1, true,
       "DE.STRAßE"},
      {"a name an earlier version wrote in CP1251", "RU.\xD4\xCB\xC5\xC9\xCC",
       "RU.\xD4\xCB\xC5\xC9\xCC", 2, true},
      {"a Latin name", "ECHO.TWO", "ECHO.TWO", 1, true},
      {"a system area's files", "NETMAIL", "NETMAIL", 1, false},
      {"an area listed by its name", "RU.БАЗА", "RU.\xC1\xC0\xC7\xC0", 1, false},
      {"an area listed by its name in small letters", "RU.база", "RU.\xE1\xE0\xE7\xE0", 1, false},
      // Twins: the CP866 tag RU.ТЕСТ and its UTF-8 twin, whose files took
      // the name first. Each is adopted under the tag its messages came in
      // under (never the file name's "~2"), and a reply carries that tag.
      {"the CP866 twin, its files numbered", "RU.ТЕСТ~2", "RU.\xD2\xC5\xD1\xD2", 2, true,
       "RU.\xD2\xC5\xD1\xD2", "RU.\x92\x85\x91\x92"},
      {"the UTF-8 twin", "RU.ТЕСТ", "RU.ТЕСТ", 1, true, "RU.ТЕСТ", "RU.ТЕСТ"},
      // UTF-8 whose bytes CP866 holds too is the UTF-8 tag.
      {"a UTF-8 tag whose bytes CP866 holds", "RU.СССР", "RU.СССР", 1, true, "RU.СССР", "RU.СССР"},
      // Its files as an earlier version named them, reading its bytes in CP1251.
      {"a UTF-8 tag on files named by an earlier rule", "SU.Р\xC2\xA0Р\xC2\xA4", "SU.РФ", 1, true,
       "SU.РФ", "SU.РФ"},
  };
  const std::string start = dir.Path() + "start/";
  {
    platform::Registry registry(dir / "Velmaris.reg");
    TConfigStore store(start, registry);
    store.LoadConfiguration();
    ASSERT_NE(store.AddAreaQuiet("RU.\xC1\xC0\xC7\xC0", "RU.\xC1\xC0\xC7\xC0",
                                 AreaTypeCode::Echomail, nullptr),
              nullptr);
    const std::string base = store.MessageBaseDir();
    for (const auto& r : rows) {
      TArea area(base, r.name, r.name);
      area.FileName = r.fileName;
      for (int n = 0; n < r.messages; ++n) {
        std::unique_ptr<TMail> mail = test::MakeMail(n);
        mail->Header.AreaName = r.tag;
        area.QueueMail(std::move(mail), false);
      }
      ASSERT_TRUE(area.WriteQueuedMail()) << r.what;
    }
    std::vector<TInactiveArea> found = InactiveAreas(base, store.Areas());
    for (const auto& r : rows) {
      SCOPED_TRACE(r.what);
      const auto at = std::find_if(found.begin(), found.end(), [&](const TInactiveArea& f) {
        return f.fileName == r.fileName;
      });
      ASSERT_EQ(at != found.end(), r.offered);
      if (!r.offered) continue;
      EXPECT_EQ(at->name, r.name);
      TArea* area = AdoptInactiveArea(store, *at, nullptr);
      ASSERT_NE(area, nullptr);
      EXPECT_EQ(area->Name, r.name);
      EXPECT_EQ(area->FileName, r.fileName);
      if (!r.tag.empty()) {
        EXPECT_EQ(store.FindArea(r.tag), area);
      }
      ASSERT_TRUE(area->OpenIndex());
      EXPECT_EQ(area->Count, r.messages);
      area->CloseIndex();
    }
    EXPECT_TRUE(InactiveAreas(base, store.Areas()).empty());
    EXPECT_EQ(found.size(), 9u);
  }
  // The next start finds each adopted area on its files (the CP1251 name
  // moved to UTF-8), and nothing new was made on disk.
  platform::Registry registry(dir / "Velmaris.reg");
  TConfigStore store(start, registry);
  store.LoadConfiguration();
  for (const auto& r : rows) {
    if (!r.offered) continue;
    SCOPED_TRACE(r.what);
    TArea* area = store.FindArea(r.name);
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(platform::IsUtf8(area->FileName));
    ASSERT_TRUE(area->OpenIndex());
    EXPECT_EQ(area->Count, r.messages);
    area->CloseIndex();
    if (r.wire.empty()) continue;
    const std::string body = test::ComposedBody(area);
    EXPECT_EQ(body.substr(0, 6 + r.wire.size()), "AREA:" + r.wire + "\r");
  }
  EXPECT_EQ(platform::ScanDir(store.MessageBaseDir(), "*.PackedBody").size(), std::size(rows));
  platform::SetPrompter(nullptr);
  platform::SetDispatcher(nullptr);
}

}  // namespace
}  // namespace velmaris

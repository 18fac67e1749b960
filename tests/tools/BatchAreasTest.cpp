// The batch driver's area commands: write composes and stores messages,
// dump returns them byte for byte, areas counts them; all through a fresh
// start directory and registry file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/ConfigStore.h"
#include "platform/CodePage.h"
#include "support/TempDir.h"
#include "tools/velmaris-batch/Batch.h"

namespace velmaris::test {
namespace {

// The raw JSON value of a key in one line: a quoted string as written, or a
// number or boolean.
std::string Field(const std::string& line, const std::string& key) {
  size_t pos = line.find("\"" + key + "\":");
  if (pos == std::string::npos) return "<missing>";
  pos += key.size() + 3;
  size_t end = pos;
  if (line[pos] == '"') {
    for (++end; line[end] != '"'; ++end)
      if (line[end] == '\\') ++end;
    return line.substr(pos, end + 1 - pos);
  }
  return line.substr(pos, line.find_first_of(",}", pos) - pos);
}

std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Hex8(uint32_t v) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

// --- The round trip -------------------------------------------------------------------

class BatchAreasTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args, std::string* out,
          const std::string& redirect = "2>/dev/null") {
    return RunBatch(dir_.Path(), dir_ / "Velmaris.reg", args, out, redirect);
  }

  TempDir dir_;
};

using batch::JsonLine;

TEST_F(BatchAreasTest, WriteDumpAndAreasRoundTrip) {
  // "Привет, всем!" and "Вторая строка" in CP1251 and in CP866.
  const std::string hello1251 = "\xcf\xf0\xe8\xe2\xe5\xf2, \xe2\xf1\xe5\xec!";
  const std::string hello866 = "\x8f\xe0\xa8\xa2\xa5\xe2, \xa2\xe1\xa5\xac!";
  const std::string second1251 = "\xc2\xf2\xee\xf0\xe0\xff \xf1\xf2\xf0\xee\xea\xe0";
  const std::string second866 = "\x82\xe2\xae\xe0\xa0\xef \xe1\xe2\xe0\xae\xaa\xa0";
  const struct {
    std::string from, to, subject, dest;  // as stored (CP1251)
    std::string file;      // text file bytes (CP1251)
    std::string oemLines;  // the lines as stored, each ended by CR
    bool typedInUtf8 = false;  // names and subject given as a UTF-8 terminal types them
  } messages[] = {
      {"Ivan Petrov", "All", "\xcf\xf0\xe8\xe2\xe5\xf2", "",
       hello1251 + "\r\n" + second1251 + "\r\n", hello866 + "\r" + second866 + "\r"},
      {"Petr", "Ivan Petrov", "Re: test", "2:5020/1", "one\n\nthree\n", "one\r\rthree\r"},
      {"A", "B", "Third", "", "alpha\rbeta", "alpha\rbeta\r"},
      {"\xc8\xe2\xe0\xed", "\xc2\xf1\xe5\xec", "\xcf\xf0\xe8\xe2\xe5\xf2", "", "x\n", "x\r", true},
  };
  std::vector<uint32_t> serials;
  for (size_t i = 0; i < std::size(messages); ++i) {
    const auto& m = messages[i];
    const std::string file = "text" + std::to_string(i) + ".txt";
    dir_.Write(file, m.file);
    auto typed = [&](const std::string& stored) {
      return m.typedInUtf8 ? platform::AnsiToUtf8(stored) : stored;
    };
    std::vector<std::string> args = {"write",       "RU.TEST",   "--from",    typed(m.from),
                                     "--to",        typed(m.to), "--subject", typed(m.subject),
                                     "--text-file", dir_ / file};
    if (!m.dest.empty()) args.insert(args.end(), {"--dest", m.dest});
    std::string out;
    ASSERT_EQ(Run(args, &out), 0) << i;
    ASSERT_EQ(Lines(out).size(), 1u);
    EXPECT_EQ(Field(out, "created"), i == 0 ? "true" : "false");
    EXPECT_EQ(Field(out, "index"), std::to_string(i));
    serials.push_back(static_cast<uint32_t>(std::stoul(Field(out, "msgidNumber"))));
    // Serials of separate runs never repeat and keep increasing.
    if (i > 0) {
      EXPECT_GT(serials[i], serials[i - 1]);
    }
  }

  std::string out;
  ASSERT_EQ(Run({"dump", "rU.tEsT"}, &out), 0);
  const auto rows = Lines(out);
  ASSERT_EQ(rows.size(), std::size(messages));
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& m = messages[i];
    const std::string& r = rows[i];
    const std::string msgid = "0:8/15 " + Hex8(serials[i]);
    const std::string text = "AREA:RU.TEST\r\x01MSGID: " + msgid +
                             "\r\x01"
                             "CHRS: IBMPC 2\r" +
                             m.oemLines + "\r--- KQ/95 Rel 1.78E (215.0)\r" +
                             " * Origin: Velmaris 95 (0:8/15)\rSEEN-BY: 8/15\r";
    const std::pair<const char*, std::string> expected[] = {
        {"index", std::to_string(i)},
        {"flags", "2112"},  // 0x0840: Send, editable
        {"orig", JsonLine::Quote("0:8/15")},
        {"dest", JsonLine::Quote(m.dest.empty() ? "0:0/0" : m.dest)},
        {"from", JsonLine::Quote(m.from)},
        {"to", JsonLine::Quote(m.to)},
        {"subject", JsonLine::Quote(m.subject)},
        {"msgid", JsonLine::Quote(msgid)},
        {"reply", JsonLine::Quote("")},
        {"text", JsonLine::Quote(text)},
    };
    for (const auto& [key, value] : expected) EXPECT_EQ(Field(r, key), value) << i << " " << key;
    EXPECT_NE(Field(r, "created"), "0");
  }

  ASSERT_EQ(Run({"areas"}, &out), 0);
  std::vector<std::string> listed;
  for (const auto& row : Lines(out)) {
    listed.push_back(Field(row, "name") + " " + Field(row, "type") + " " + Field(row, "fileName") +
                     " " + Field(row, "count") + " " + Field(row, "unread"));
  }
  // A fresh configuration also holds the three system areas.
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "\"NETMAIL\" 3 \"NETMAIL\" 0 0", "\"BAD\" 1 \"BADMAIL\" 0 0",
                        "\"DUPES\" 2 \"DUPES\" 0 0", "\"RU.TEST\" 0 \"RU.TEST\" 4 0"}));
}

TEST_F(BatchAreasTest, AreasNamesTheFilesOnDiskAsTheirCharacters) {
  // Area names are taken in CP1251, or in UTF-8 as a UTF-8 terminal types
  // them, and printed as CP1251 bytes; an area is found in any case of its
  // letters. The file name is the name on disk, UTF-8, printed as its
  // characters. A name with a letter CP1251 lacks names only an area of
  // those bytes (an echo tag a packet brought as it came); there is none,
  // it is refused with the letter, and no area is made.
  const std::string hedgehog = "RU.ЁЖИК", kazakh = "KZ.ҚАЗАҚ";
  // The same letters in CP1251: the area of the echo as a CP866 uplink sends
  // it, beside the area of its UTF-8 tag.
  const std::string twin = "RU.\xA8\xC6\xC8\xCA";
  {
    platform::Registry registry(dir_ / "Velmaris.reg");
    TWinRegistry reg(kConfigRootKey, registry);
    int i = 0;
    for (const std::string& raw : {hedgehog, kazakh})
      TArea(dir_.Path(), raw, raw, AreaTypeCode::Echomail)
          .SaveToRegistry(reg, "Areas\\Area" + std::to_string(++i), nullptr);
    TArea(dir_.Path(), twin, "TWIN", AreaTypeCode::Echomail)
        .SaveToRegistry(reg, "Areas\\Area" + std::to_string(++i), nullptr);
    reg.WriteInteger("Areas", "Count", i);
    reg.Flush();
  }
  const struct {
    std::string typed;
    std::string name;  // the area the message goes into
    std::string file;
    int count;
    std::string refused = "";  // the letter a refusal names
  } cases[] = {
      {"R50.SYSOP", "R50.SYSOP", "R50.SYSOP", 1},
      {"RU.\xD4\xCB\xC5\xC9\xCC", "RU.\xD4\xCB\xC5\xC9\xCC", "RU.ФЛЕЙМ", 1},
      {"\xCC\xCE\xDF \xCF\xCE\xD7\xD2\xC0", "\xCC\xCE\xDF \xCF\xCE\xD7\xD2\xC0", "МОЯ ПОЧТА", 1},
      {"\xCC\xCE\xDF/\xCF\xCE\xD7\xD2\xC0", "\xCC\xCE\xDF/\xCF\xCE\xD7\xD2\xC0", "МОЯ.ПОЧТА", 1},
      {"RU.ТЕСТ", "RU.\xD2\xC5\xD1\xD2", "RU.ТЕСТ", 2},
      {"ru.\xF2\xE5\xF1\xF2", "RU.\xD2\xC5\xD1\xD2", "RU.ТЕСТ", 2},
      {"DE.STRAßE", "", "", 0, "ß"},
      {"KZ.ҚАРА", "", "", 0, "Қ"},
      {"RU.\xF0\x9F\x98\x80", "", "", 0, "\xF0\x9F\x98\x80"},
      // The tags' bytes: ЁЖИК converts, but the bytes name the tag's area
      // before its twin; the twin is named in CP1251.
      {hedgehog, hedgehog, hedgehog, 3},
      {"ru.ЁЖИК", hedgehog, hedgehog, 3},
      {"ru.ёжик", hedgehog, hedgehog, 3},
      {"ru.\xB8\xE6\xE8\xEA", twin, "TWIN", 1},
      {kazakh, kazakh, kazakh, 1},
  };
  dir_.Write("t.txt", "Hi\n");
  std::string out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const int rc = Run({"write", c.typed, "--from", "Me", "--to", "All", "--subject", "S",
                        "--text-file", dir_ / "t.txt"},
                       &out, "2>&1");
    if (c.refused.empty()) {
      ASSERT_EQ(rc, 0) << out;
      continue;
    }
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "velmaris-batch: The area name " + c.typed +
                       " cannot be used: it holds the letter " + c.refused +
                       ", which the code page CP1251 lacks.\n");
  }
  ASSERT_EQ(Run({"areas"}, &out), 0);
  const std::vector<std::string> rows = Lines(out);
  EXPECT_EQ(rows.size(), 3u + 5u + 3u);  // the system areas, five of these, two tags, a twin
  for (const auto& c : cases) {
    if (!c.refused.empty()) continue;
    SCOPED_TRACE(c.file);
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const std::string& r) {
      return Field(r, "name") == JsonLine::Quote(c.name);
    });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(Field(*row, "fileName"), "\"" + c.file + "\"");
    EXPECT_EQ(Field(*row, "count"), std::to_string(c.count));
  }
  // dump takes the name as write does.
  ASSERT_EQ(Run({"dump", "ru.тест"}, &out), 0) << out;
  EXPECT_EQ(Lines(out).size(), 2u);
  ASSERT_EQ(Run({"dump", twin}, &out), 0) << out;
  EXPECT_EQ(Lines(out).size(), 1u);
  ASSERT_EQ(Run({"dump", "ru.ЁЖИК"}, &out), 0) << out;
  EXPECT_EQ(Lines(out).size(), 3u);
  // A message from the area names the echo by the tag's bytes.
  const std::string areaLine = JsonLine::Quote("AREA:" + hedgehog + "\r");
  EXPECT_EQ(Field(Lines(out)[0], "text").substr(0, areaLine.size() - 1),
            areaLine.substr(0, areaLine.size() - 1));
}

TEST_F(BatchAreasTest, NetmailTakesPidAndNoOrigin) {
  dir_.Write("t.txt", "Hi\n");
  std::string out;
  ASSERT_EQ(Run({"write", "NETMAIL", "--from", "Me", "--to", "You", "--subject", "S", "--dest",
                 "2:5030/2.4", "--text-file", dir_ / "t.txt"},
                &out),
            0);
  EXPECT_EQ(Field(out, "created"), "false");
  const std::string serial = Hex8(static_cast<uint32_t>(std::stoul(Field(out, "msgidNumber"))));
  ASSERT_EQ(Run({"dump", "NETMAIL"}, &out), 0);
  EXPECT_EQ(Field(out, "text"),
            JsonLine::Quote("\x01INTL 2:5030/2 0:8/15\r\x01TOPT 4\r\x01MSGID: 0:8/15 " + serial +
                            "\r\x01"
                            "CHRS: IBMPC 2\r\x01PID: KQ/95 Rel 1.78E (215.0)\rHi\r\r"));
}

TEST_F(BatchAreasTest, ALongTextIsStoredAndDumpedWhole) {
  std::string text;
  for (int i = 0; i < 625; ++i) text += std::to_string(100000 + i) + std::string(73, 'q') + "\n";
  ASSERT_EQ(text.size(), 50000u);
  dir_.Write("long.txt", text);
  std::string out;
  ASSERT_EQ(Run({"write", "NETMAIL", "--from", "Me", "--to", "You", "--subject", "S", "--dest",
                 "2:5030/2.4", "--text-file", dir_ / "long.txt"},
                &out),
            0);
  ASSERT_EQ(Run({"dump", "NETMAIL"}, &out), 0);
  std::string body = text;
  std::replace(body.begin(), body.end(), '\n', '\r');
  const std::string quoted = JsonLine::Quote(body);  // in quotation marks
  EXPECT_NE(Field(out, "text").find(quoted.substr(1, quoted.size() - 2)), std::string::npos);
}

TEST_F(BatchAreasTest, SenderAndOriginFromTheAreasUplinkAndTextGroup) {
  {
    // A configuration with two uplinks, a text group and an area on the
    // second uplink and the group.
    platform::Registry registry(dir_ / "Velmaris.reg");
    TWinRegistry reg(kConfigRootKey, registry);
    TLinkList links;
    for (const char* own : {"2:5020/1.7", "2:5030/2.9"}) {
      auto link = std::make_unique<TNetLink>();
      link->Name = own;
      link->SysopAddress.SetText(own);
      links.Add(std::move(link));
    }
    links.SaveToRegistry(reg, "Uplinks");
    TZRTexts groups;
    auto group = std::make_unique<TTextGroup>();
    group->Origins = {"Station \xc3\xf0\xee\xe7\xe0", "Second"};  // "Гроза" in CP1251
    groups.Add("Group", std::move(group));
    groups.SaveToRegistry(reg);
    TArea area(dir_.Path(), "R50.SYSOP", "R50.SYSOP", AreaTypeCode::Echomail);
    area.TextGroup = 0;
    area.SetUplink(links.GetItem(1));
    area.SaveToRegistry(reg, "Areas\\Area1", &links);
    // A separator, a second area of the same name and the netmail area
    // stored as echomail: the list keeps the separator out of sight, drops
    // the duplicate and gives NETMAIL its type.
    const char* more[] = {"!SEP!", "r50.sysop", "netmail"};
    for (int i = 0; i < 3; ++i)
      TArea(dir_.Path(), more[i], more[i], AreaTypeCode::Echomail)
          .SaveToRegistry(reg, "Areas\\Area" + std::to_string(i + 2), &links);
    reg.WriteInteger("Areas", "Count", 4);
    reg.Flush();
  }
  std::string out;
  ASSERT_EQ(Run({"write", "R50.SYSOP", "--from", "Me", "--to", "All", "--subject", "S"}, &out), 0);
  EXPECT_EQ(Field(out, "created"), "false");
  ASSERT_EQ(Run({"dump", "R50.SYSOP"}, &out), 0);
  EXPECT_EQ(Field(out, "orig"), JsonLine::Quote("2:5030/2.9"));
  const std::string text = Field(out, "text");
  const std::string origin =
      JsonLine::Quote(" * Origin: Station \x83\xe0\xae\xa7\xa0 (2:5030/2.9)");
  EXPECT_NE(text.find(origin.substr(1, origin.size() - 2)), std::string::npos) << text;
  EXPECT_NE(text.find("SEEN-BY: 5030/2"), std::string::npos);

  ASSERT_EQ(Run({"areas"}, &out), 0);
  std::vector<std::string> listed;
  for (const auto& row : Lines(out)) listed.push_back(Field(row, "name") + Field(row, "type"));
  EXPECT_EQ(listed,
            (std::vector<std::string>{"\"BAD\"1", "\"DUPES\"2", "\"R50.SYSOP\"0", "\"netmail\"3"}));
}

// The editor's limit counts characters: one a byte, a line break one.
TEST_F(BatchAreasTest, TheTextLimitCountsCharactersWithALineBreakAsOne) {
  std::string full;  // 1,600,000 characters in 1,616,000 bytes
  for (int i = 0; i < 16000; ++i) full += std::string(99, '\xe0') + "\r\n";
  const struct {
    const char* what;
    std::string text;
    int rc;
  } cases[] = {
      {"CR LF line ends, at the limit", full, 0},
      {"one character more", full + "x", 1},
      {"CR line ends, one more", std::string(1599999, 'x') + "\r\r", 1},
  };
  for (const auto& c : cases) {
    dir_.Write("text.txt", c.text);
    std::string out;
    EXPECT_EQ(Run({"write", "X", "--from", "A", "--to", "B", "--subject", "S", "--text-file",
                   dir_ / "text.txt"},
                  &out),
              c.rc)
        << c.what;
  }
}

TEST_F(BatchAreasTest, FailuresExitNonZeroAndCreateNothing) {
  dir_.Write("big.txt", std::string(1600001, 'x'));
  const std::vector<std::string> write = {"write", "X", "--from",    "A",
                                          "--to",  "B", "--subject", "S"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = write;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const struct {
    std::vector<std::string> args;
    int rc;
  } cases[] = {
      {{"dump", "NOWHERE"}, 1},
      {{"dump"}, 2},
      {{"write", "X", "--to", "B", "--subject", "S"}, 2},
      {with({"--dest", "2:x"}), 2},
      {with({"--text-file", "/nonexistent"}), 1},
      {with({"--text-file", dir_ / "big.txt"}), 1},  // beyond the editor's limit
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(Run(c.args, &out), c.rc) << c.args[0] << " " << c.args.back();
  }
  std::string out;
  ASSERT_EQ(Run({"areas"}, &out), 0);
  EXPECT_EQ(out.find("\"X\""), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test

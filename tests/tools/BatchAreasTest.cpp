// The batch driver's area commands: write composes and stores messages,
// dump returns them byte for byte, areas counts them; all through a fresh
// start directory and registry file.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// --- A small reader of the driver's JSON lines --------------------------------------

// The bytes of a JSON string starting at s[pos] == '"': escapes decoded and
// code points up to U+00FF turned back into single bytes.
std::string ReadJsonString(const std::string& s, size_t& pos) {
  std::string out;
  ++pos;
  while (pos < s.size() && s[pos] != '"') {
    const unsigned char c = static_cast<unsigned char>(s[pos]);
    if (c == '\\') {
      const char e = s[pos + 1];
      pos += 2;
      switch (e) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'u':
          out += static_cast<char>(std::stoi(s.substr(pos, 4), nullptr, 16));
          pos += 4;
          break;
        default: out += e;
      }
    } else if ((c & 0xE0) == 0xC0) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(s[pos + 1]) & 0x3F));
      pos += 2;
    } else {
      out += static_cast<char>(c);
      ++pos;
    }
  }
  ++pos;
  return out;
}

// The fields of one flat JSON object; numbers and booleans as their text.
std::map<std::string, std::string> ParseJsonLine(const std::string& line) {
  std::map<std::string, std::string> fields;
  size_t pos = 1;
  while (pos < line.size() && line[pos] == '"') {
    const std::string key = ReadJsonString(line, pos);
    ++pos;  // ':'
    if (line[pos] == '"') {
      fields[key] = ReadJsonString(line, pos);
    } else {
      const size_t end = line.find_first_of(",}", pos);
      fields[key] = line.substr(pos, end - pos);
      pos = end;
    }
    if (pos < line.size() && line[pos] == ',') ++pos;
  }
  return fields;
}

std::vector<std::map<std::string, std::string>> ParseLines(const std::string& out) {
  std::vector<std::map<std::string, std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(ParseJsonLine(line));
  return rows;
}

std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Hex8(uint32_t v) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

// --- The round trip -------------------------------------------------------------------

class BatchAreasTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args, std::string* out) {
    std::string command = std::string(VELMARIS_BATCH) + " --dir " + ShellQuote(dir_.Path()) +
                          " --registry " + ShellQuote(dir_ / "Velmaris.reg");
    for (const auto& a : args) command += " " + ShellQuote(a);
    return RunShell(command + " 2>/dev/null", out);
  }

  TempDir dir_;
};

struct Message {
  const char* name;
  std::string from, to, subject, dest;
  std::string file;                 // text file bytes (CP1251); empty: no file
  std::string oemLines;             // the lines as stored, each ended by CR
};

TEST_F(BatchAreasTest, WriteDumpAndAreasRoundTrip) {
  // "Привет, всем!" and "Вторая строка" in CP1251 and in CP866.
  const std::string hello1251 = "\xcf\xf0\xe8\xe2\xe5\xf2, \xe2\xf1\xe5\xec!";
  const std::string hello866 = "\x8f\xe0\xa8\xa2\xa5\xe2, \xa2\xe1\xa5\xac!";
  const std::string second1251 = "\xc2\xf2\xee\xf0\xe0\xff \xf1\xf2\xf0\xee\xea\xe0";
  const std::string second866 = "\x82\xe2\xae\xe0\xa0\xef \xe1\xe2\xe0\xae\xaa\xa0";
  const Message messages[] = {
      {"CR LF lines, Cyrillic subject", "Ivan Petrov", "All", "\xcf\xf0\xe8\xe2\xe5\xf2", "",
       hello1251 + "\r\n" + second1251 + "\r\n", hello866 + "\r" + second866 + "\r"},
      {"LF lines with an empty one, destination", "Petr", "Ivan Petrov", "Re: test", "2:5020/1",
       "one\n\nthree\n", "one\r\rthree\r"},
      {"CR lines, the last one open", "A", "B", "Third", "", "alpha\rbeta", "alpha\rbeta\r"},
  };

  std::vector<std::map<std::string, std::string>> written;
  for (size_t i = 0; i < std::size(messages); ++i) {
    const Message& m = messages[i];
    SCOPED_TRACE(m.name);
    std::vector<std::string> args = {"write", "RU.TEST", "--from", m.from, "--to", m.to,
                                     "--subject", m.subject};
    if (!m.dest.empty()) args.insert(args.end(), {"--dest", m.dest});
    if (!m.file.empty()) {
      const std::string name = "text" + std::to_string(i) + ".txt";
      dir_.Write(name, m.file);
      args.insert(args.end(), {"--text-file", dir_ / name});
    }
    std::string out;
    ASSERT_EQ(Run(args, &out), 0);
    const auto rows = ParseLines(out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("created"), i == 0 ? "true" : "false");
    EXPECT_EQ(rows[0].at("index"), std::to_string(i));
    written.push_back(rows[0]);
  }

  std::string out;
  ASSERT_EQ(Run({"dump", "rU.tEsT"}, &out), 0);
  const auto rows = ParseLines(out);
  ASSERT_EQ(rows.size(), std::size(messages));
  uint32_t lastSerial = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Message& m = messages[i];
    const auto& r = rows[i];
    SCOPED_TRACE(m.name);
    const uint32_t serial = static_cast<uint32_t>(std::stoul(written[i].at("msgidNumber")));
    // Serials of separate runs never repeat and keep increasing.
    EXPECT_GT(serial, lastSerial);
    lastSerial = serial;
    const std::string msgid = "0:8/15 " + Hex8(serial);
    EXPECT_EQ(r.at("index"), std::to_string(i));
    EXPECT_EQ(r.at("flags"), "2112");  // 0x0840: Send, editable
    EXPECT_EQ(r.at("orig"), "0:8/15");
    EXPECT_EQ(r.at("dest"), m.dest.empty() ? "0:0/0" : m.dest);
    EXPECT_EQ(r.at("from"), m.from);
    EXPECT_EQ(r.at("to"), m.to);
    EXPECT_EQ(r.at("subject"), m.subject);
    EXPECT_EQ(r.at("msgid"), msgid);
    EXPECT_EQ(r.at("reply"), "");
    EXPECT_EQ(r.at("msgidNumber"), std::to_string(serial));
    EXPECT_NE(r.at("created"), "0");
    EXPECT_NE(r.at("tossed"), "0");
    EXPECT_EQ(r.at("text"), "AREA:RU.TEST\r\x01MSGID: " + msgid + "\r\x01" "CHRS: IBMPC 2\r" +
                                m.oemLines +
                                "\r--- KQ/95 Rel 1.78E (215.0)\r"
                                " * Origin: Velmaris 95 (0:8/15)\rSEEN-BY: 8/15\r");
  }

  ASSERT_EQ(Run({"areas"}, &out), 0);
  std::map<std::string, std::map<std::string, std::string>> areas;
  for (const auto& row : ParseLines(out)) areas[row.at("name")] = row;
  ASSERT_EQ(areas.count("RU.TEST"), 1u);
  EXPECT_EQ(areas["RU.TEST"].at("count"), "3");
  EXPECT_EQ(areas["RU.TEST"].at("unread"), "0");
  EXPECT_EQ(areas["RU.TEST"].at("type"), "0");
  EXPECT_EQ(areas["RU.TEST"].at("fileName"), "RU.TEST");
  // A fresh configuration also holds the three system areas, empty.
  for (const char* name : {"NETMAIL", "BAD", "DUPES"}) {
    ASSERT_EQ(areas.count(name), 1u) << name;
    EXPECT_EQ(areas[name].at("count"), "0");
  }
}

TEST_F(BatchAreasTest, NetmailTakesKludgesAndNoOrigin) {
  dir_.Write("t.txt", "Hi\n");
  std::string out;
  ASSERT_EQ(Run({"write", "NETMAIL", "--from", "Me", "--to", "You", "--subject", "S", "--dest",
                 "2:5030/2.4", "--text-file", dir_ / "t.txt"},
                &out),
            0);
  const auto written = ParseLines(out);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].at("created"), "false");
  ASSERT_EQ(Run({"dump", "NETMAIL"}, &out), 0);
  const auto rows = ParseLines(out);
  ASSERT_EQ(rows.size(), 1u);
  const uint32_t serial = static_cast<uint32_t>(std::stoul(written[0].at("msgidNumber")));
  EXPECT_EQ(rows[0].at("text"), "\x01INTL 2:5030/2 0:8/15\r\x01TOPT 4\r\x01MSGID: 0:8/15 " +
                                    Hex8(serial) +
                                    "\r\x01" "CHRS: IBMPC 2\r\x01PID: KQ/95 Rel 1.78E (215.0)\rHi\r\r");
}

TEST_F(BatchAreasTest, FailuresExitNonZero) {
  dir_.Write("big.txt", std::string(40000, 'x'));
  const struct {
    const char* name;
    std::vector<std::string> args;
    int rc;
  } cases[] = {
      {"dump of a missing area", {"dump", "NOWHERE"}, 1},
      {"dump without area", {"dump"}, 2},
      {"write without sender", {"write", "X", "--to", "B", "--subject", "S"}, 2},
      {"write with a bad destination",
       {"write", "X", "--from", "A", "--to", "B", "--subject", "S", "--dest", "2:x"}, 2},
      {"write with a missing text file",
       {"write", "X", "--from", "A", "--to", "B", "--subject", "S", "--text-file", "/nonexistent"},
       1},
      {"write with a text beyond the editor's limit",
       {"write", "X", "--from", "A", "--to", "B", "--subject", "S", "--text-file",
        dir_ / "big.txt"},
       1},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(Run(c.args, &out), c.rc) << c.name;
  }
  // None of the failed writes created the area.
  std::string out;
  ASSERT_EQ(Run({"areas"}, &out), 0);
  EXPECT_EQ(out.find("\"X\""), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::platform {
namespace {

using test::TempDir;
using Bytes = std::vector<uint8_t>;

const std::string kKey = "software\\Brimvale\\Velmaris";

std::string Header(const std::string& body) { return "REGEDIT4\n\n" + body; }

TEST(Registry, GoldenText) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  reg.WriteDWord(kKey + "\\Areas", "Count", 3);
  reg.WriteString(kKey + "\\Areas\\Area1", "Name", "NETMAIL");
  reg.WriteBinary(kKey + "\\Areas\\Area1", "Packed", {0x00, 0x01});
  reg.WriteString(kKey + "\\Areas\\Area1", "", "default");
  reg.WriteString(kKey, "Path", "C:\\FIDO\\\"q\"");
  EXPECT_EQ(reg.ToText(),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\software]\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\Brimvale]\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris]\n"
            "\"Path\"=\"C:\\\\FIDO\\\\\\\"q\\\"\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Areas]\n"
            "\"Count\"=dword:00000003\n"
            "\n"
            "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Areas\\Area1]\n"
            "\"Name\"=\"NETMAIL\"\n"
            "\"Packed\"=hex:00,01\n"
            "@=\"default\"\n"
            "\n");
}

std::string AllBytes() {
  std::string s;
  for (int b = 1; b < 256; ++b) {
    if (b != '\r' && b != '\n') s += static_cast<char>(b);
  }
  return s;
}

TEST(Registry, GoldenValueLines) {
  Bytes counting;
  for (int i = 0; i < 40; ++i) counting.push_back(static_cast<uint8_t>(i));
  Registry reg("/nonexistent/v.reg");
  reg.WriteBinary("k", "Packed", counting);
  reg.WriteString("k", "Multi", "a\r\nb");
  reg.WriteString("k", "Sysop", "\x8f\xe0\xa8 \xff");
  reg.WriteDWord("k", "D", 0xDEADBEEF);
  EXPECT_EQ(reg.ToText(),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\k]\n"
            "\"Packed\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
            "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\n"
            "\"Multi\"=hex(1):61,0d,0a,62,00\n"
            "\"Sysop\"=\"\x8f\xe0\xa8 \xff\"\n"
            "\"D\"=dword:deadbeef\n\n");
}

TEST(Registry, ValuesSurviveSaveAndLoad) {
  const struct {
    const char* label;
    std::string name;
    RegType type;
    std::string str;
    uint32_t dword;
    Bytes bin;
  } cases[] = {
      {"plain", "Name", RegType::String, "NETMAIL", 0, {}},
      {"empty string", "Empty", RegType::String, "", 0, {}},
      {"quotes and backslashes", "Q\"\\", RegType::String, "\"\\\\\"x\\", 0, {}},
      {"high bytes", "\x8f\xe0\xa8", RegType::String, "\x80\x8d\xa0\xff\xfe Привет", 0, {}},
      {"every byte but line breaks", "All", RegType::String, AllBytes(), 0, {}},
      {"line breaks and NUL", "Multi", RegType::String, std::string("a\r\nb\0c\n", 7), 0, {}},
      {"trailing NUL", "Nul", RegType::String, std::string("x\0", 2), 0, {}},
      {"default value", "", RegType::String, "dflt", 0, {}},
      {"dword zero", "Zero", RegType::DWord, "", 0, {}},
      {"dword max", "Max", RegType::DWord, "", 0xFFFFFFFFu, {}},
      {"dword mixed", "Mixed", RegType::DWord, "", 0x89ABCDEFu, {}},
      {"binary empty", "Bin0", RegType::Binary, "", 0, {}},
      {"binary short", "Bin2", RegType::Binary, "", 0, {0x00, 0xff}},
      {"binary long", "Bin300", RegType::Binary, "", 0, Bytes(300, 0xA5)},
  };
  TempDir dir;
  {
    Registry reg(dir / "v.reg");
    for (const auto& c : cases) {
      switch (c.type) {
        case RegType::String: reg.WriteString(kKey, c.name, c.str); break;
        case RegType::DWord: reg.WriteDWord(kKey, c.name, c.dword); break;
        case RegType::Binary: reg.WriteBinary(kKey, c.name, c.bin); break;
      }
    }
    reg.Save();
  }
  Registry reg(dir / "v.reg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(reg.ValueType(kKey, c.name), c.type);
    switch (c.type) {
      case RegType::String: EXPECT_EQ(reg.ReadString(kKey, c.name), c.str); break;
      case RegType::DWord: EXPECT_EQ(reg.ReadDWord(kKey, c.name), c.dword); break;
      case RegType::Binary: EXPECT_EQ(reg.ReadBinary(kKey, c.name), c.bin); break;
    }
  }
  // Saving what was loaded gives the same bytes again.
  const std::string first = ReadFile(dir / "v.reg");
  reg.Save();
  EXPECT_EQ(ReadFile(dir / "v.reg"), first);
  Registry again(dir / "v.reg");
  EXPECT_EQ(again.ToText(), first);
}

TEST(Registry, LongBinaryWrapsAndReadsBack) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  Bytes data;
  for (int i = 0; i < 200; ++i) data.push_back(static_cast<uint8_t>(i * 7));
  reg.WriteBinary("k", "Data", data);
  const std::string text = reg.ToText();
  size_t lines = 0, pos = 0;
  while ((pos = text.find('\n', pos)) != std::string::npos) {
    const size_t start = text.rfind('\n', pos - 1);
    EXPECT_LE(pos - (start == std::string::npos ? 0 : start + 1), 80u);
    ++lines, ++pos;
  }
  EXPECT_GT(lines, 8u);  // 200 bytes cannot fit on one line
  EXPECT_NE(text.find(",\\\n  "), std::string::npos);
  Registry back(dir / "other.reg");
  back.FromText(text);
  EXPECT_EQ(back.ReadBinary("k", "Data"), data);
}

TEST(Registry, NamesCompareWithoutCaseAndKeepTheirCase) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  reg.WriteString("Software\\Brimvale\\AREAS", "Name", "a");
  reg.WriteString("SOFTWARE\\brimvale\\areas", "NAME", "b");  // same key, same value
  EXPECT_EQ(reg.SubKeys("software"), std::vector<std::string>{"Brimvale"});
  EXPECT_EQ(reg.SubKeys("software\\BRIMVALE"), std::vector<std::string>{"AREAS"});
  EXPECT_EQ(reg.ValueNames("software\\brimvale\\Areas"), std::vector<std::string>{"Name"});
  EXPECT_EQ(reg.ReadString("sOfTwArE\\BrImVaLe\\aReAs", "nAmE"), "b");
  EXPECT_TRUE(reg.KeyExists("\\software\\brimvale\\"));
  EXPECT_TRUE(reg.ValueExists("software\\brimvale\\areas", "name"));
  reg.DeleteValue("software\\brimvale\\areas", "NAME");
  EXPECT_FALSE(reg.ValueExists("software\\brimvale\\areas", "name"));
  reg.DeleteKey("SOFTWARE\\BRIMVALE");
  EXPECT_FALSE(reg.KeyExists("software\\brimvale\\areas"));
  EXPECT_TRUE(reg.KeyExists("software"));
  reg.DeleteKey("software\\missing");  // fine
}

TEST(Registry, KeysAndValuesKeepInsertionOrder) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  for (const char* k : {"Zeta", "alpha", "Mid"}) reg.CreateKey(std::string("root\\") + k);
  for (const char* v : {"z", "A", "m"}) reg.WriteDWord("root", v, 1);
  EXPECT_EQ(reg.SubKeys("root"), (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
  EXPECT_EQ(reg.ValueNames("root"), (std::vector<std::string>{"z", "A", "m"}));
  reg.WriteString("root", "A", "replaced");  // keeps its place and changes type
  EXPECT_EQ(reg.ValueNames("root"), (std::vector<std::string>{"z", "A", "m"}));
  EXPECT_EQ(reg.ValueType("root", "a"), RegType::String);
}

TEST(Registry, WrongTypeOrMissingValueRaises) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  reg.WriteString("k", "S", "x");
  reg.WriteDWord("k", "D", 1);
  reg.WriteBinary("k", "B", {1});
  EXPECT_THROW(reg.ReadDWord("k", "S"), ERegistry);
  EXPECT_THROW(reg.ReadBinary("k", "S"), ERegistry);
  EXPECT_THROW(reg.ReadString("k", "D"), ERegistry);
  EXPECT_THROW(reg.ReadBinary("k", "D"), ERegistry);
  EXPECT_THROW(reg.ReadString("k", "B"), ERegistry);
  EXPECT_THROW(reg.ReadDWord("k", "B"), ERegistry);
  EXPECT_THROW(reg.ReadString("k", "missing"), ERegistry);
  EXPECT_THROW(reg.ReadString("missing", "S"), ERegistry);
  EXPECT_EQ(reg.ValueType("k", "missing"), std::nullopt);
  EXPECT_TRUE(reg.SubKeys("missing").empty());
}

TEST(Registry, ReadsRegeditVariants) {
  using enum RegType;
  auto InK = [](const std::string& lines) { return Header("[HKEY_CURRENT_USER\\k]\n" + lines); };
  const struct {
    const char* label;
    std::string text;
    RegType type;
    std::string str;
    uint32_t dword;
    Bytes bin;
  } cases[] = {
      {"CR LF lines",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n\"v\"=\"x\"\r\n",
       String,
       "x",
       0,
       {}},
      {"comment and blanks",
       Header("; note\n[HKEY_CURRENT_USER\\k]\n\n  \"v\" = dword:1F\n"),
       DWord,
       "",
       0x1F,
       {}},
      {"upper-case hex",
       Header("[hkey_current_user\\K]\n\"V\"=hex:0A,Ff\n"),
       Binary,
       "",
       0,
       {0x0a, 0xff}},
      {"continued hex", InK("\"v\"=hex:01,02,\\\n  03,\\\n    04\n"), Binary, "", 0, {1, 2, 3, 4}},
      {"empty hex", InK("\"v\"=hex:\n"), Binary, "", 0, {}},
      {"hex(3)", InK("\"v\"=hex(3):09\n"), Binary, "", 0, {9}},
      {"hex(1) string", InK("\"v\"=hex(1):41,0a,42,00\n"), String, "A\nB", 0, {}},
      {"hex(4) dword", InK("\"v\"=hex(4):78,56,34,12\n"), DWord, "", 0x12345678, {}},
      {"later line wins", InK("\"v\"=\"a\"\n\"V\"=dword:2\n"), DWord, "", 2, {}},
      {"key listed twice",
       InK("\"v\"=\"a\"\n[HKEY_CURRENT_USER\\x]\n[HKEY_CURRENT_USER\\K]"
           "\n\"w\"=\"b\"\n"),
       String,
       "a",
       0,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Registry reg("/nonexistent/dir/v.reg");
    ASSERT_NO_THROW(reg.FromText(c.text));
    ASSERT_EQ(reg.ValueType("k", "v"), c.type);
    switch (c.type) {
      case RegType::String: EXPECT_EQ(reg.ReadString("k", "v"), c.str); break;
      case RegType::DWord: EXPECT_EQ(reg.ReadDWord("k", "v"), c.dword); break;
      case RegType::Binary: EXPECT_EQ(reg.ReadBinary("k", "v"), c.bin); break;
    }
  }
}

TEST(Registry, DeletionLines) {
  Registry reg("/nonexistent/v.reg");
  reg.FromText(Header(
      "[HKEY_CURRENT_USER\\a\\b]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\"x\"=-\n[-HKEY_CURRENT_USER\\a\\c]\n"
      "[HKEY_CURRENT_USER\\a\\c]\n[-HKEY_CURRENT_USER\\A\\C]\n"));
  EXPECT_EQ(reg.ValueNames("a\\b"), std::vector<std::string>{"y"});
  EXPECT_EQ(reg.SubKeys("a"), std::vector<std::string>{"b"});
}

TEST(Registry, MalformedTextRaisesAndKeepsTheTree) {
  const struct {
    const char* label;
    std::string text;
  } cases[] = {
      {"no header", "[HKEY_CURRENT_USER\\k]\n"},
      {"other header", "Windows Registry Editor Version 5.00\n\n"},
      {"value before key", Header("\"v\"=\"x\"\n")},
      {"other hive", Header("[HKEY_LOCAL_MACHINE\\k]\n")},
      {"root prefix only", Header("[HKEY_CURRENT_USERS\\k]\n")},
      {"unclosed key", Header("[HKEY_CURRENT_USER\\k\n")},
      {"unclosed string", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=\"x\n")},
      {"unclosed name", Header("[HKEY_CURRENT_USER\\k]\n\"v=\"x\"\n")},
      {"text after string", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=\"x\"y\n")},
      {"bad escape", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=\"a\\nb\"\n")},
      {"no equals", Header("[HKEY_CURRENT_USER\\k]\n\"v\" \"x\"\n")},
      {"bare name", Header("[HKEY_CURRENT_USER\\k]\nv=\"x\"\n")},
      {"long dword", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=dword:123456789\n")},
      {"empty dword", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=dword:\n")},
      {"bad dword", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=dword:12g4\n")},
      {"bad hex byte", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex:0g\n")},
      {"three-digit hex", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex:123\n")},
      {"missing hex byte", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex:01,,02\n")},
      {"trailing comma", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex:01,\n")},
      {"continued past end", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex:01,\\")},
      {"unknown hex type", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex(7):00\n")},
      {"unclosed hex type", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex(1:00\n")},
      {"short hex(4)", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=hex(4):00\n")},
      {"unknown data", Header("[HKEY_CURRENT_USER\\k]\n\"v\"=qword:1\n")},
      {"delete the root", Header("[-HKEY_CURRENT_USER]\n")},
      {"too deep", Header("[HKEY_CURRENT_USER" +
                          [] {
                            std::string s;
                            for (int i = 0; i < 600; ++i) s += "\\k";
                            return s;
                          }() +
                          "]\n")},
      {"key name too long", Header("[HKEY_CURRENT_USER\\" + std::string(300, 'k') + "]\n")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Registry reg("/nonexistent/v.reg");
    reg.WriteString("keep", "v", "x");
    EXPECT_THROW(reg.FromText(c.text), ERegistry);
    EXPECT_EQ(reg.ReadString("keep", "v"), "x");
  }
}

TEST(Registry, MissingFileIsEmptyAndMalformedOrEmptyFileRaises) {
  TempDir dir;
  Registry empty(dir / "none.reg");
  EXPECT_TRUE(empty.SubKeys("").empty());
  dir.Write("bad.reg", "garbage\n");
  EXPECT_THROW(Registry(dir / "bad.reg"), ERegistry);
  // An empty file was cut off: it is refused like a damaged one.
  dir.Write("empty.reg", "");
  EXPECT_THROW(Registry(dir / "empty.reg"), ERegistry);
  MakeDirs(dir / "adir.reg");
  EXPECT_THROW(Registry(dir / "adir.reg"), ERegistry);
}

TEST(Registry, SaveCreatesTheDirectoryAndReloadDropsChanges) {
  TempDir dir;
  Registry reg(dir / "Brimvale/sub/Velmaris.reg");
  reg.WriteDWord("k", "v", 1);
  reg.Save();
  reg.WriteDWord("k", "v", 2);
  reg.WriteDWord("k", "w", 3);
  reg.Reload();
  EXPECT_EQ(reg.ReadDWord("k", "v"), 1u);
  EXPECT_FALSE(reg.ValueExists("k", "w"));
  EXPECT_TRUE(ScanDir(dir / "Brimvale/sub", ".*").empty());  // no temporary file left
}

// A save that fails half way through writing leaves the old file as it was.
TEST(Registry, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  reg.WriteString("k", "v", "old");
  reg.Save();
  const std::string before = ReadFile(dir / "v.reg");

  reg.WriteBinary("k", "big", Bytes(100000, 0x55));
  // Limit the size of files this process may write: the temporary file
  // cannot be completed, as when the disk fills up.
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(reg.Save(), ERegistry);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(ReadFile(dir / "v.reg"), before);
  EXPECT_EQ(ScanDir(dir.Path(), "*").size(), 1u);  // the temporary file is gone
  Registry back(dir / "v.reg");
  EXPECT_EQ(back.ReadString("k", "v"), "old");
}

TEST(Registry, SaveIntoAReadOnlyDirectoryKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  TempDir dir;
  MakeDirs(dir / "ro");
  Registry reg(dir / "ro/v.reg");
  reg.WriteString("k", "v", "old");
  reg.Save();
  reg.WriteString("k", "v", "new");
  ASSERT_EQ(chmod((dir / "ro").c_str(), 0555), 0);
  EXPECT_THROW(reg.Save(), ERegistry);
  chmod((dir / "ro").c_str(), 0755);
  EXPECT_EQ(Registry(dir / "ro/v.reg").ReadString("k", "v"), "old");
}

TEST(Registry, SaveIntoAFileRaises) {
  TempDir dir;
  dir.Write("file", "x");
  Registry reg(dir / "file/v.reg");
  reg.WriteDWord("k", "v", 1);
  EXPECT_THROW(reg.Save(), ERegistry);
}

TEST(Registry, InvalidNamesRaise) {
  Registry reg("/nonexistent/v.reg");
  EXPECT_THROW(reg.WriteString("a\nb", "v", "x"), ERegistry);
  EXPECT_THROW(reg.WriteString("k", "v\r", "x"), ERegistry);
  EXPECT_THROW(reg.CreateKey("k\\" + std::string(256, 'x')), ERegistry);
}

TEST(Registry, ConcurrentWritersAndReaders) {
  TempDir dir;
  Registry reg(dir / "v.reg");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&reg, t] {
      for (int i = 0; i < 200; ++i) {
        const std::string key = "k" + std::to_string(t) + "\\" + std::to_string(i % 10);
        reg.WriteDWord(key, "v", static_cast<uint32_t>(i));
        (void)reg.ReadDWord(key, "v");
        (void)reg.ToText();
      }
    });
  }
  for (auto& th : threads) th.join();
  reg.Save();
  Registry back(dir / "v.reg");
  for (int t = 0; t < 4; ++t) EXPECT_EQ(back.SubKeys("k" + std::to_string(t)).size(), 10u);
}

TEST(Registry, ProcessWideInstance) {
  TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  EXPECT_EQ(DefaultRegistryPath(), dir.Path() + "/Brimvale/Velmaris.reg");
  Registry mine(dir / "v.reg");
  SetRegistry(&mine);
  EXPECT_EQ(&GetRegistry(), &mine);
  SetRegistry(nullptr);
  EXPECT_NE(&GetRegistry(), &mine);
}

}  // namespace
}  // namespace velmaris::platform

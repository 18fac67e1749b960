#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

// An entry name stored as the DOS byte 0x8E is "О" in CP866 and "Ä" in
// CP437: the unpack command names the file by the configured OEM code page.
TEST(BatchCodePages, UnpackNamesFilesByTheConfiguredOemCodePage) {
  TempDir t;
  t.Write("src/\x8E.txt", "x");
  ASSERT_EQ(RunShell("cd " + ShellQuote(t / "src") + " && zip -q -X " + ShellQuote(t / "a.zip") +
                     " " + ShellQuote("\x8E.txt")),
            0);
  const struct {
    const char* registry;
    const char* name;
  } cases[] = {{"", "\xD0\x9E.txt"},
               {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\CodePages]\r\n"
                "\"OEM\"=dword:00000001\r\n\r\n",
                "\xC3\x84.txt"}};
  for (const auto& c : cases) {
    const std::string reg = t / "config.reg";
    if (*c.registry) t.Write("config.reg", c.registry);
    const std::string out = t / ("out-" + std::string(c.name) + "/");
    EXPECT_EQ(RunBatch(t.Path(), reg, {"unpack", t / "a.zip", out}), 0);
    EXPECT_EQ(t.Read("out-" + std::string(c.name) + "/" + c.name), "x") << c.name;
  }
}

}  // namespace
}  // namespace velmaris::test

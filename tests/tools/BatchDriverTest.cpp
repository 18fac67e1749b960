#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace velmaris::test {
namespace {

TEST(BatchDriver, UnknownCommandFailsWithUsage) {
  std::string out;
  const int rc = RunShell(ShellQuote(VELMARIS_BATCH) + " no-such-command 2>&1", &out);
  EXPECT_EQ(rc, 2);
  EXPECT_NE(out.find("unknown command: no-such-command"), std::string::npos);
  EXPECT_NE(out.find("usage: velmaris-batch"), std::string::npos);
  EXPECT_NE(out.find("names, subject and text in UTF-8 when they are valid UTF-8,"),
            std::string::npos);
}

TEST(BatchDriver, MissingCommandFails) {
  std::string out;
  EXPECT_EQ(RunShell(ShellQuote(VELMARIS_BATCH) + " --dir /tmp 2>&1", &out), 2);
  EXPECT_NE(out.find("no command given"), std::string::npos);
}

}  // namespace
}  // namespace velmaris::test

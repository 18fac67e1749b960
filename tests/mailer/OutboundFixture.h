// An empty outbound in a temporary directory, and files to put in it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "mailer/Outbound.h"
#include "platform/Files.h"
#include "support/TempDir.h"

namespace velmaris::test {

class OutboundFixture : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir / "Outbound/";
  TOutbound outbound{out, 2};

  void SetUp() override { platform::MakeDirs(dir / "Outbound"); }

  // A file with data, returned by its path.
  std::string File(const std::string& rel, size_t size = 10) {
    const std::string path = dir / rel;
    platform::MakeDirs(platform::DirOf(path));
    dir.Write(rel, std::string(size, 'x'));
    return path;
  }
};

}  // namespace velmaris::test

// A registry file in a temporary directory and the program's view of it
// below its root key, for the tests of what the program stores there.
#pragma once

#include <gtest/gtest.h>

#include "core/WinRegistry.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace velmaris::test {

inline constexpr const char* kRoot = "software\\Brimvale\\Velmaris";

class RegistryFixture : public ::testing::Test {
 protected:
  TempDir dir;
  platform::Registry store{dir / "Velmaris.reg"};
  TWinRegistry reg{kRoot, store};
};

}  // namespace velmaris::test

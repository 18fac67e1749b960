// Waiting on several events at once, as the line threads do.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Event.h"

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;
using platform::Event;

TEST(EventTest, WaitAnyTakesAutoResetEventsAndKeepsManualOnes) {
  Event manual(true, false), automatic(false, false);
  EXPECT_EQ(platform::WaitAny({&manual, &automatic}, 0ms), -1);
  automatic.Set();
  EXPECT_EQ(platform::WaitAny({&manual, &automatic}, 0ms), 1);
  EXPECT_FALSE(automatic.IsSet());
  manual.Set();
  EXPECT_EQ(platform::WaitAny({&manual, &automatic}, 0ms), 0);
  EXPECT_TRUE(manual.IsSet());
}

TEST(EventTest, SetFromAnotherThreadWakesTheWaiter) {
  Event a(false, false), b(false, false);
  std::thread setter([&] { b.Set(); });
  EXPECT_EQ(platform::WaitAny({&a, &b}, 60s), 1);
  setter.join();
  EXPECT_FALSE(a.Wait(10ms));
}

}  // namespace
}  // namespace velmaris::test

// Keeping stored window bounds on the screens.
#include "widgets/Placement.h"

#include <gtest/gtest.h>

namespace velmaris::test {
namespace {

struct ClampCase {
  const char* name;
  PlaceRect stored;
  PlaceRect expected;
};

const std::vector<PlaceRect> kScreens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

class ClampPlacement : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampPlacement, KeepsWindowOnAScreen) {
  EXPECT_EQ(ClampToScreens(GetParam().stored, kScreens), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Placement, ClampPlacement,
    ::testing::Values(
        ClampCase{"Inside", {100, 100, 800, 600}, {100, 100, 800, 600}},
        ClampCase{"SecondScreen", {2000, 50, 800, 600}, {2000, 50, 800, 600}},
        ClampCase{"OffToTheRight", {5000, 100, 800, 600}, {2400, 100, 800, 600}},
        ClampCase{"FarAboveFirst", {300, -5000, 800, 600}, {300, 0, 800, 600}},
        ClampCase{"NegativeCorner", {-300, -200, 800, 600}, {0, 0, 800, 600}},
        ClampCase{"TooLarge", {10, 10, 5000, 4000}, {0, 0, 1920, 1080}},
        ClampCase{"TooSmall", {10, 10, 1, 1}, {10, 10, 120, 80}},
        ClampCase{"NegativeSize", {10, 10, -50, -9}, {10, 10, 120, 80}},
        ClampCase{"StraddlesToLargerPart", {1800, 100, 800, 600}, {1920, 100, 800, 600}},
        ClampCase{"HangsOffBottom", {100, 900, 800, 600}, {100, 480, 800, 600}},
        ClampCase{
            "HugeValues", {2147483000, 2147483000, 2147483000, 2147483000}, {1920, 0, 1280, 1024}}),
    [](const ::testing::TestParamInfo<ClampCase>& info) { return info.param.name; });

// A frame is moved onto a screen as it is shown, never resized.
TEST(ClampPlacement, FramesAreMovedOntoAScreenWholeOrByTheirTitle) {
  const struct {
    const char* name;
    PlaceRect frame, expected;
  } cases[] = {
      {"inside", {100, 100, 800, 600}, {100, 100, 800, 600}},
      {"title above the screen", {139, -21, 1002, 587}, {139, 0, 1002, 587}},
      {"off the left and below", {-40, 900, 400, 300}, {0, 780, 400, 300}},
      {"off the second screen's right", {3000, 100, 400, 300}, {2800, 100, 400, 300}},
      {"taller than the screen", {100, -50, 800, 3000}, {100, 0, 800, 3000}},
  };
  for (const auto& c : cases) EXPECT_EQ(MoveOntoScreens(c.frame, kScreens), c.expected) << c.name;
  EXPECT_EQ(MoveOntoScreens({-5, -5, 10, 10}, {}), (PlaceRect{-5, -5, 10, 10}));
}

// A frame larger than its screen shrinks to it as far as its layout lets
// it, then moves onto it; one that cannot shrink enough keeps its title on it.
TEST(ClampPlacement, FramesAreFittedOntoAScreenDownToTheirMinimum) {
  const std::vector<PlaceRect> small = {{0, 0, 800, 600}};
  const struct {
    const char* name;
    PlaceRect frame;
    int minW, minH;
    PlaceRect expected;
  } cases[] = {
      {"fits: only moved", {100, 100, 400, 300}, 100, 100, {100, 100, 400, 300}},
      {"too wide, centred over its owner", {-99, 17, 1002, 587}, 700, 400, {0, 13, 800, 587}},
      {"too wide, minimum wider than the screen",
       {-99, 17, 1002, 587},
       900,
       400,
       {0, 13, 900, 587}},
      {"status bar below the screen", {0, 40, 700, 590}, 300, 200, {0, 10, 700, 590}},
      {"taller than the screen", {10, 30, 700, 900}, 300, 200, {10, 0, 700, 600}},
      {"minimum taller than the screen", {10, 30, 700, 900}, 300, 700, {10, 0, 700, 700}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitOntoScreens(c.frame, small, c.minW, c.minH), c.expected) << c.name;
  EXPECT_EQ(FitOntoScreens({-5, -5, 10, 10}, {}, 1, 1), (PlaceRect{-5, -5, 10, 10}));
}

TEST(ClampPlacement, NoScreensLeavesBounds) {
  const PlaceRect r{1, 2, 3, 4};
  EXPECT_EQ(ClampToScreens(r, {}), r);
}

TEST(ClampPlacement, TinyScreenShrinksMinimum) {
  EXPECT_EQ(ClampToScreens({0, 0, 500, 500}, {{0, 0, 100, 50}}), (PlaceRect{0, 0, 100, 50}));
}

// A window that would cover another goes beside it, where the most of it
// stays uncovered on the screen.
TEST(PlaceBeside, GoesWhereTheOtherStaysUncovered) {
  const PlaceRect screen{0, 0, 1280, 1024};
  struct Case {
    const char* name;
    PlaceRect window, other, expected;
  };
  const Case cases[] = {
      {"apart: stays", {0, 0, 300, 200}, {400, 400, 300, 200}, {0, 0, 300, 200}},
      {"touching: stays", {100, 400, 300, 200}, {400, 400, 300, 200}, {100, 400, 300, 200}},
      {"room on the right", {400, 300, 300, 200}, {100, 100, 400, 400}, {500, 300, 300, 200}},
      {"room on the left only", {800, 200, 300, 200}, {700, 100, 500, 400}, {400, 200, 300, 200}},
      {"room below only", {300, 100, 560, 300}, {0, 0, 1280, 600}, {300, 600, 560, 300}},
      {"no side free: the least covered",
       {300, 300, 560, 480},
       {100, 100, 1080, 824},
       {300, 544, 560, 480}},
      {"the other fills the screen: stays", {300, 300, 560, 480}, screen, {300, 300, 560, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PlaceBeside(c.window, c.other, screen), c.expected);
  }
}

}  // namespace
}  // namespace velmaris::test

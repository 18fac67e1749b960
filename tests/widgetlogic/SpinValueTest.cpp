// The spin edit's number rules: reading, clamping, writing and typed characters.
#include <gtest/gtest.h>

#include "widgets/logic/SpinValue.h"

namespace velmaris::test {
namespace {

using enum TValueType;

TEST(SpinValue, Reading) {
  struct Case {
    const char* text;
    TValueType type;
    char sep;
    long double min;
    long double expected;
  };
  for (const Case& c : {Case{"42", vtInteger, '.', 0, 42}, Case{" -7", vtInteger, '.', 0, -7},
                        Case{"abc", vtInteger, '.', -1, -1}, Case{"", vtInteger, '.', 2.7L, 2},
                        Case{"-", vtInteger, '.', 5, 5}, Case{"2147483648", vtInteger, '.', 3, 3},
                        Case{"007", vtInteger, '.', 0, 7}, Case{"1.50", vtInteger, '.', 0, 0},
                        Case{"1.5", vtFloat, '.', 0, 1.5L}, Case{"1,5", vtFloat, ',', 0, 1.5L},
                        Case{"1.5", vtFloat, ',', 9, 9}, Case{" 2e2 ", vtFloat, '.', 0, 200},
                        Case{"+3", vtFloat, '.', 0, 3}, Case{"", vtFloat, '.', -2.5L, -2.5L}}) {
    EXPECT_EQ(ParseSpinValue(c.text, c.type, c.sep, c.min), c.expected) << c.text;
  }
}

TEST(SpinValue, ClampingNeedsARange) {
  EXPECT_EQ(ClampValue(1e9L, {0, 0}), 1e9L);
  EXPECT_EQ(ClampValue(-5, {0, 0}), -5);
  EXPECT_EQ(ClampValue(0, {1, 80}), 1);
  EXPECT_EQ(ClampValue(81, {1, 80}), 80);
  EXPECT_EQ(ClampValue(40, {1, 80}), 40);
}

TEST(SpinValue, Writing) {
  struct Case {
    long double value;
    TValueType type;
    int decimals;
    char sep;
    const char* text;
  };
  for (const Case& c :
       {Case{2.5L, vtInteger, 2, '.', "2"}, Case{3.5L, vtInteger, 2, '.', "4"},
        Case{-2.5L, vtInteger, 2, '.', "-2"}, Case{1, vtFloat, 2, '.', "1.00"},
        Case{1, vtFloat, 2, ',', "1,00"}, Case{-0.125L, vtFloat, 1, '.', "-0.1"},
        Case{5e9L, vtInteger, 0, '.', "2147483647"}, Case{-5e9L, vtInteger, 0, '.', "-2147483648"},
        Case{1234567890123.456L, vtFloat, 3, '.', "1234567890123.460"}}) {
    EXPECT_EQ(FormatSpinValue(c.value, c.type, c.decimals, c.sep), c.text);
  }
  EXPECT_EQ(IntegerIncrement(0.4L), 1);
  EXPECT_EQ(IntegerIncrement(2.6L), 3);
}

TEST(SpinValue, TypedCharacters) {
  struct Case {
    char c;
    const char* text;
    TValueType type;
    bool editorEnabled;
    bool accepted;
  };
  for (const Case& c :
       {Case{'5', "", vtInteger, true, true}, Case{'-', "", vtInteger, true, true},
        Case{'a', "", vtInteger, true, false}, Case{'.', "", vtInteger, true, false},
        Case{'.', "1", vtFloat, true, true}, Case{'.', "1.2", vtFloat, true, false},
        Case{'E', "1", vtFloat, true, true}, Case{'e', "1E", vtFloat, true, false},
        Case{'5', "", vtInteger, false, false}, Case{'\r', "", vtInteger, false, true},
        Case{'\b', "", vtInteger, false, false}, Case{'\b', "", vtInteger, true, true}}) {
    EXPECT_EQ(SpinAcceptsChar(c.c, c.text, c.type, '.', c.editorEnabled), c.accepted)
        << int(c.c) << " in '" << c.text << "'";
  }
}

}  // namespace
}  // namespace velmaris::test

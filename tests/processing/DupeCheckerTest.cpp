#include <gtest/gtest.h>

#include "processing/DupeChecker.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

std::string U32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

TEST(DupeChecker, NewKeyOnceThenDuplicate) {
  TDupeChecker ring;
  EXPECT_TRUE(ring.CheckAndAdd(0xDEADBEEF));
  EXPECT_FALSE(ring.CheckAndAdd(0xDEADBEEF));
  EXPECT_TRUE(ring.CheckAndAdd(0));  // key 0 is an ordinary key
  EXPECT_FALSE(ring.CheckAndAdd(0));
  EXPECT_EQ(ring.Count(), 2u);
  EXPECT_EQ(ring.LastIndex(), 2u);
}

TEST(DupeChecker, FullRingOverwritesTheOldestKey) {
  TDupeChecker ring;
  for (uint32_t k = 1; k <= TDupeChecker::kSlots; ++k) ASSERT_TRUE(ring.CheckAndAdd(k * 7));
  EXPECT_EQ(ring.Count(), 16000u);
  EXPECT_EQ(ring.LastIndex(), 16000u);
  EXPECT_FALSE(ring.CheckAndAdd(7));      // slot 1 still holds it
  EXPECT_TRUE(ring.CheckAndAdd(999999));  // the 16,001st key takes slot 1
  EXPECT_EQ(ring.LastIndex(), 1u);
  EXPECT_EQ(ring.Slot(1), 999999u);
  EXPECT_EQ(ring.Count(), 16000u);
  EXPECT_TRUE(ring.CheckAndAdd(7));  // forgotten, so new again (slot 2)
  EXPECT_EQ(ring.Slot(2), 7u);
  EXPECT_FALSE(ring.CheckAndAdd(21));  // slot 3 untouched
}

TEST(DupeChecker, FileLayoutIsCountLastIndexAndSlots) {
  TDupeChecker ring;
  ring.CheckAndAdd(0x11223344);
  ring.CheckAndAdd(0xA0B0C0D0);
  const std::string bytes = ring.Encode();
  ASSERT_EQ(bytes.size(), 64008u);
  EXPECT_EQ(bytes.substr(0, 16), U32(2) + U32(2) + "\x44\x33\x22\x11" + "\xD0\xC0\xB0\xA0");
  EXPECT_EQ(bytes.substr(16), std::string(64008 - 16, '\0'));
}

TEST(DupeChecker, SaveAndLoadContinueTheRing) {
  test::TempDir dir;
  const std::string path = dir / "Velmaris.Dupes";
  {
    TDupeChecker ring(path);
    EXPECT_EQ(ring.LoadProblem(), "");  // a missing file is a first start
    for (uint32_t k = 0; k < 16005; ++k) ring.CheckAndAdd(k + 100);
  }  // saved on destruction
  TDupeChecker again(path);
  EXPECT_EQ(again.LoadProblem(), "");
  EXPECT_EQ(again.Count(), 16000u);
  EXPECT_EQ(again.LastIndex(), 5u);
  EXPECT_FALSE(again.CheckAndAdd(16104));  // the newest key
  EXPECT_TRUE(again.CheckAndAdd(100));     // overwritten long ago
  EXPECT_EQ(again.LastIndex(), 6u);
}

TEST(DupeChecker, DamagedFilesLoadAsAnEmptyRing) {
  const std::string zeros(64000, '\0');
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"short", U32(1) + U32(1) + std::string(100, '\0')},
      {"one byte long", U32(0) + U32(0) + zeros + "x"},
      {"count above 16000", U32(16001) + U32(1) + zeros},
      {"last index above 16000", U32(16000) + U32(16001) + zeros},
      {"last index past the count", U32(3) + U32(9) + zeros},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    dir.Write("Velmaris.Dupes", c.bytes);
    TDupeChecker ring(dir / "Velmaris.Dupes");
    EXPECT_EQ(ring.Count(), 0u) << c.what;
    EXPECT_EQ(ring.LastIndex(), 0u) << c.what;
    EXPECT_NE(ring.LoadProblem(), "") << c.what;
    EXPECT_TRUE(ring.CheckAndAdd(0)) << c.what;  // zeros from the file are not keys
  }
}

TEST(DupeChecker, SaveIntoAMissingDirectoryRaises) {
  test::TempDir dir;
  TDupeChecker ring;
  ring.CheckAndAdd(5);
  EXPECT_EQ(ring.Path(), "");
  TDupeChecker other(dir / "missing-dir/Velmaris.Dupes");
  other.CheckAndAdd(5);
  EXPECT_ANY_THROW(other.SaveToFile());
}

}  // namespace
}  // namespace velmaris

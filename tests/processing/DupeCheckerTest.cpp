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

// A damaged database keeps the keys it still holds, as old as they were
// (the oldest first); a slot never written (0) is no key where nothing
// tells which slots were in use.
TEST(DupeChecker, DamagedFilesKeepTheKeysTheyHold) {
  const std::string zeros(64000, '\0');
  std::string full;  // a full ring whose slot written last is 2
  for (uint32_t n = 1; n <= 5; ++n) full += U32(100 + n);
  const struct {
    const char* what;
    std::string bytes;
    std::vector<uint32_t> keys;
  } cases[] = {
      {"empty", "", {}},
      {"the header cut", U32(2) + "\x02", {}},
      {"cut in the slots in use", U32(3) + U32(3) + U32(7) + U32(0) + "\x09", {7, 0}},
      {"cut after the slots in use",
       U32(2) + U32(2) + U32(7) + U32(8) + std::string(100, '\0'),
       {7, 8}},
      {"a full ring cut short", U32(16000) + U32(2) + full, {103, 104, 105, 101, 102}},
      {"one byte long", U32(1) + U32(1) + U32(9) + zeros.substr(4) + "x", {9}},
      {"count above 16000",
       U32(16001) + U32(1) + U32(5) + U32(0) + U32(6) + zeros.substr(12),
       {5, 6}},
      {"last index past the count", U32(3) + U32(9) + U32(5) + zeros.substr(4), {5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    dir.Write("Velmaris.Dupes", c.bytes);
    TDupeChecker ring(dir / "Velmaris.Dupes");
    EXPECT_TRUE(ring.Damaged());
    EXPECT_FALSE(ring.Unreadable());
    EXPECT_NE(ring.LoadProblem().find("Velmaris.Dupes is damaged ("), std::string::npos)
        << ring.LoadProblem();
    EXPECT_EQ(ring.Keys(), c.keys);
    // The damaged file is kept beside before the ring replaces it.
    const std::string kept = ring.KeepDamagedFile();
    EXPECT_EQ(kept, dir / "Velmaris.Dupes.0001.damaged");
    EXPECT_EQ(dir.Read("Velmaris.Dupes.0001.damaged"), c.bytes);
    EXPECT_EQ(TDupeChecker(dir / "Velmaris.Dupes").KeepDamagedFile(),
              dir / "Velmaris.Dupes.0002.damaged");
    ring.Forget();
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

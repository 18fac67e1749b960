// The unpack-job list in the registry: the exact stored text, round trips,
// defaults of missing values, damaged counts and values.
#include <gtest/gtest.h>

#include "archive/UnpackJob.h"
#include "support/TempDir.h"

namespace velmaris::test {
namespace {

constexpr const char* kRoot = "software\\Brimvale\\Velmaris";
const std::string kJobs = std::string(kRoot) + "\\Unpackjobs";

struct JobRow {
  std::string name, mask, dest, move;
  int32_t source;
};

void Fill(TUnpJobList& list, const std::vector<JobRow>& rows) {
  for (const auto& r : rows)
    list.AddJob(r.name, std::make_unique<TUnpackJob>(r.mask, r.dest, r.move, r.source));
}

void ExpectRows(const TUnpJobList& list, const std::vector<JobRow>& rows) {
  ASSERT_EQ(list.GetCount(), int(rows.size()));
  for (int i = 0; i < list.GetCount(); ++i) {
    SCOPED_TRACE(i);
    const TUnpackJob* job = list.GetJob(i);
    EXPECT_EQ(list.GetString(i), rows[size_t(i)].name);
    EXPECT_EQ(job->Mask, rows[size_t(i)].mask);
    EXPECT_EQ(job->DestDir, rows[size_t(i)].dest);
    EXPECT_EQ(job->MoveDir, rows[size_t(i)].move);
    EXPECT_EQ(job->Source, rows[size_t(i)].source);
  }
}

const std::vector<JobRow> kRows = {
    {"Nodediffs", "/fido/in/NODEDIFF.*", "/fido/nl/", "/fido/old/", 1},
    {"Files \"q\"", "C:\\IN\\*.zip", "", "", 0},
    {"Keep", "*.arj", "/x/", "", 2},
};

const char* const kGolden =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\software]\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale]\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris]\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Unpackjobs]\n"
    "\"Count\"=dword:00000003\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Unpackjobs\\Job1]\n"
    "\"Name\"=\"Nodediffs\"\n"
    "\"DestDir\"=\"/fido/nl/\"\n"
    "\"MoveDir\"=\"/fido/old/\"\n"
    "\"Mask\"=\"/fido/in/NODEDIFF.*\"\n"
    "\"Source\"=dword:00000001\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Unpackjobs\\Job2]\n"
    "\"Name\"=\"Files \\\"q\\\"\"\n"
    "\"DestDir\"=\"\"\n"
    "\"MoveDir\"=\"\"\n"
    "\"Mask\"=\"C:\\\\IN\\\\*.zip\"\n"
    "\"Source\"=dword:00000000\n"
    "\n"
    "[HKEY_CURRENT_USER\\software\\Brimvale\\Velmaris\\Unpackjobs\\Job3]\n"
    "\"Name\"=\"Keep\"\n"
    "\"DestDir\"=\"/x/\"\n"
    "\"MoveDir\"=\"\"\n"
    "\"Mask\"=\"*.arj\"\n"
    "\"Source\"=dword:00000002\n"
    "\n";

TEST(UnpackJobList, SavesTheGoldenText) {
  TempDir dir;
  platform::Registry store(dir / "v.reg");
  TUnpJobList list;
  Fill(list, kRows);
  {
    TWinRegistry reg(kRoot, store);
    list.SaveToRegistry(reg, "Unpackjobs");
  }
  EXPECT_EQ(store.ToText(), kGolden);
  // The file on disk holds the same text.
  EXPECT_EQ(dir.Read("v.reg"), kGolden);
}

TEST(UnpackJobList, LoadsTheGoldenTextAndRoundTrips) {
  TempDir dir;
  dir.Write("v.reg", kGolden);
  platform::Registry store(dir / "v.reg");
  TWinRegistry reg(kRoot, store);
  TUnpJobList list;
  int changes = 0;
  list.OnChange = [&](TPubLst&) { ++changes; };
  list.LoadFromRegistry(reg, "Unpackjobs");
  ExpectRows(list, kRows);
  EXPECT_EQ(changes, 1);
  // A run's copy stays as it was when the configured job changes.
  TUnpJobList copy;
  copy.AssignCopies(list);
  list.GetJob(0)->Mask = "changed";
  ExpectRows(copy, kRows);

  // Saved again over a longer list: the same text, Job4 is left but unread.
  store.WriteString(kJobs + "\\Job4", "Name", "stale");
  copy.SaveToRegistry(reg, "unpackJOBS");
  store.DeleteKey(kJobs + "\\Job4");
  EXPECT_EQ(store.ToText(), kGolden);
}

TEST(UnpackJobList, MissingValuesAndDamagedCounts) {
  struct Case {
    const char* what;
    std::function<void(platform::Registry&)> setup;
    std::vector<JobRow> expect;
  } cases[] = {
      {"no key", [](platform::Registry&) {}, {}},
      {"empty job key",
       [](platform::Registry& r) {
         r.WriteDWord(kJobs, "Count", 1);
         r.CreateKey(kJobs + "\\Job1");
       },
       {{"<unnamed>", "Maske", "", "", 0}}},
      {"job without mask",
       [](platform::Registry& r) {
         r.WriteDWord(kJobs, "Count", 1);
         r.WriteString(kJobs + "\\Job1", "Name", "J");
         r.WriteDWord(kJobs + "\\Job1", "Source", 5);
       },
       {{"J", "Maske", "", "", 5}}},
      {"negative count",
       [](platform::Registry& r) { r.WriteDWord(kJobs, "Count", 0xFFFFFFFF); },
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    platform::Registry store(dir / "v.reg");
    c.setup(store);
    TWinRegistry reg(kRoot, store);
    TUnpJobList list;
    list.LoadFromRegistry(reg, "Unpackjobs");
    ExpectRows(list, c.expect);
  }
}

TEST(UnpackJobList, AValueOfTheWrongTypeLeavesTheListAsItWas) {
  TempDir dir;
  platform::Registry store(dir / "v.reg");
  store.WriteDWord(kJobs, "Count", 2);
  store.WriteString(kJobs + "\\Job2", "Source", "1");
  TWinRegistry reg(kRoot, store);
  TUnpJobList list;
  Fill(list, kRows);
  EXPECT_THROW(list.LoadFromRegistry(reg, "Unpackjobs"), platform::ERegistry);
  ExpectRows(list, kRows);
}

}  // namespace
}  // namespace velmaris::test

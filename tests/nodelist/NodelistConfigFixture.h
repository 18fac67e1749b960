// A loaded configuration with nodelists in its list directory, for the
// tests of the runs that take their inputs from the configuration store.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "NodelistFixtures.h"
#include "core/Area.h"
#include "core/ConfigStoreFixture.h"
#include "core/Mail.h"
#include "core/Report.h"

namespace velmaris::test {

class NodelistConfigFixture : public ConfigStoreFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(GetReportPoster().PendingCount(), 0u);
    ConfigStoreFixture::TearDown();
  }

  // Week 123 of a small net, and the diff to week 130 that adds a node.
  static std::vector<std::string> Week(int day) {
    std::vector<std::string> body = {"Zone,2,Europe,Europe,Coord,49-1",
                                     "Host,5020,Moscow,Moscow,Host,7-1",
                                     ",1,Sys_One,Moscow,John_Doe,7-095-2,33600,CM"};
    if (day >= 130) body.push_back(",2,Sys_Two,Moscow,Ivan,7-095-3,9600");
    return body;
  }
  // Writes TESTLIST.123 into the list directory (and TESTDIFF.130 when
  // withDiff) and configures it as the only nodelist.
  void ConfigureList(TConfigStore& store, bool withDiff) {
    const std::string listDir = store.Values()->FTNDir();
    const std::string l123 = MakeWeeklyList(123, Week(123));
    WriteFile(listDir + "TESTLIST.123", l123);
    if (withDiff)
      WriteFile(listDir + "TESTDIFF.130", MakeDiff(l123, MakeWeeklyList(130, Week(130))));
    store.Nodelists().Clear();
    store.Nodelists().Add("TestNet", "TESTLIST", "TESTDIFF", 0);
    store.Pointlists().Clear();
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // The messages of REPORT as (from, to, subject, text); none without the area.
  struct Stored {
    std::string from, to, subject, text;
  };
  static std::vector<Stored> Reports(TConfigStore& store) {
    std::vector<Stored> out;
    TArea* area = store.FindArea("REPORT");
    if (!area) return out;
    EXPECT_TRUE(area->Lock(false));
    EXPECT_TRUE(area->OpenIndex());
    area->OpenBody();
    for (int i = 0; i < area->Count; ++i) {
      auto mail = area->ReadMail(i);
      out.push_back({std::string(mail->Header.FromName.View()),
                     std::string(mail->Header.ToName.View()),
                     std::string(mail->Header.Subject.View()), std::string(mail->BodyText())});
    }
    area->CloseBody();
    area->CloseIndex();
    area->Unlock();
    return out;
  }
};

}  // namespace velmaris::test

// Saving what the editor holds: address lists, copies, replacing an edited
// message, and saves that fail without losing anything.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/logic/EditorSave.h"
#include "core/AddressBook.h"
#include "core/Area.h"
#include "core/Crc.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"

namespace velmaris {
namespace {

class EditorSaveTest : public ::testing::Test {
 protected:
  EditorSaveTest() {
    platform::SetPrompter(&prompter);
    own1.SysopAddress.SetText("2:5030/2.7");
    own2.SysopAddress.SetText("2:5020/1.3");
    own2.Sysop = "Point Two";
    uplinks.Add("one", &own1);
    uplinks.Add("two", &own2);
  }
  ~EditorSaveTest() override { platform::SetPrompter(nullptr); }

  TArea& AddArea(const std::string& name, uint8_t type) {
    owned.push_back(std::make_unique<TArea>(dir.Path(), name, name, type));
    areas.Add(owned.back().get());
    return *owned.back();
  }
  // A job for the area with the mail as the editor builds it.
  TEditorSaveJob Job(TArea& target, uint16_t flags = 0x0840) {
    TEditorSaveJob job;
    job.Target = &target;
    job.Uplinks = &uplinks;
    job.Areas = &areas;
    job.BuildMail = [&target, flags, this](TKQMail& mail) {
      mail.Area = &target;
      mail.FromName = "Me";
      mail.ToName = "Someone";
      mail.Subject = subject;
      mail.OrigAddr.SetText("2:5020/1.3");
      mail.DestAddr.SetText("2:5020/1");
      mail.Flags = flags;
      mail.Text = {"Hello"};
    };
    return job;
  }
  static std::vector<TMsgHeader> Stored(TArea& area) {
    EXPECT_TRUE(area.OpenIndex());
    std::vector<TMsgHeader> headers = area.HeaderList();
    area.CloseIndex();
    return headers;
  }
  static std::string Text(TArea& area, int index) {
    EXPECT_TRUE(area.OpenIndex());
    const std::string text(area.ReadMail(index)->BodyText());
    area.CloseIndex();
    return text;
  }

  test::TempDir dir;
  platform::ScriptedPrompter prompter;
  TNetLink own1, own2;
  TLinkList uplinks;
  TAreaList areas;
  std::vector<std::unique_ptr<TArea>> owned;
  std::string subject = "Hi";
};

TEST_F(EditorSaveTest, AddressListStoresOneNetmailPerMember) {
  TArea& net = AddArea("NETMAIL", AreaTypeCode::Netmail);
  TGroup group;
  const char* members[][3] = {
      {"Ann", "ann@example.org", "2:5020/1"}, {"Bob", "", "2:5030/9"}, {"Cy", "", "1:1/1"}};
  for (auto& m : members) {
    auto entry = std::make_unique<TFriend>();
    entry->SetName(m[0]);
    entry->SetEMail(m[1]);
    entry->Address().SetText(m[2]);
    group.AddFriend(std::move(entry));
  }
  TEditorSaveJob job = Job(net);
  job.Group = &group;
  const TEditorSaveResult result = SaveEditorMail(job, prompter);
  ASSERT_TRUE(result.Stored) << result.Error;
  EXPECT_EQ(result.Written, 3);
  const std::vector<TMsgHeader> headers = Stored(net);
  ASSERT_EQ(headers.size(), 3u);
  // The e-mail form of a name is split again when the message is built.
  const char* expected[][3] = {{"Ann", "2:5020/1", "2:5020/1.3"},
                               {"Bob", "2:5030/9", "2:5030/2.7"},
                               {"Cy", "1:1/1", "2:5030/2.7"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(headers[i].ToName.Str(), expected[i][0]);
    EXPECT_EQ(FidoAddressToStr(headers[i].DestAddr), expected[i][1]);
    EXPECT_EQ(FidoAddressToStr(headers[i].OrigAddr), expected[i][2]);
  }
  // Netmail carries the PID kludge and neither tear nor origin line.
  const std::string text = Text(net, 0);
  EXPECT_NE(text.find("\x01PID: "), std::string::npos);
  EXPECT_EQ(text.find(" * Origin:"), std::string::npos);
}

TEST_F(EditorSaveTest, AttachKeepsThePathInTheHeaderAndTheReplyReference) {
  TArea& net = AddArea("NETMAIL", AreaTypeCode::Netmail);
  subject = "C:\\DATA\\FILE.ZIP";
  TEditorSaveJob job = Job(net, 0x0840 | 0x0200);
  job.ReplyNumber = 0x1234abcd;
  job.ReplyMsgId = "2:5020/1";
  ASSERT_TRUE(SaveEditorMail(job, prompter).Stored);
  const TMsgHeader header = Stored(net).at(0);
  EXPECT_EQ(header.Subject.Str(), "C:\\DATA\\FILE.ZIP");
  EXPECT_EQ(header.ReplyNumber, 0x1234abcdu);
  EXPECT_EQ(header.ReplyCrc, Crc32OfString("2:5020/1"));
  EXPECT_EQ(net.OpenIndex(), true);
  EXPECT_EQ(net.ReadMail(0)->Header.Subject.Str(), "C:\\DATA\\FILE.ZIP");
  net.CloseIndex();
}

TEST_F(EditorSaveTest, CopiesGoToEachCheckedAreaThatStillExists) {
  TArea& echo = AddArea("RU.ONE", AreaTypeCode::Echomail);
  TArea& copy = AddArea("RU.TWO", AreaTypeCode::Echomail);
  copy.SetUplink(&own2);
  TEditorSaveJob job = Job(echo);
  job.CopyAreas = {"RU.GONE", "RU.TWO"};
  job.CopyDest = "Everybody";
  const TEditorSaveResult result = SaveEditorMail(job, prompter);
  ASSERT_TRUE(result.Stored) << result.Error;
  EXPECT_EQ(result.Written, 2);
  ASSERT_EQ(prompter.Questions().size(), 1u);
  EXPECT_EQ(prompter.Questions()[0].text, "The area RU.GONE no longer exists!");
  const TMsgHeader header = Stored(copy).at(0);
  EXPECT_EQ(header.ToName.Str(), "Everybody");
  EXPECT_EQ(header.FromName.Str(), "Point Two");
  EXPECT_EQ(FidoAddressToStr(header.OrigAddr), "2:5020/1.3");
  EXPECT_EQ(Text(copy, 0).rfind("AREA:RU.TWO\r", 0), 0u);
  EXPECT_EQ(copy.HoldCount(), 0);
}

TEST_F(EditorSaveTest, EditReplacesTheStoredMessageAndReleasesTheHold) {
  TArea& echo = AddArea("RU.ONE", AreaTypeCode::Echomail);
  TEditorSaveJob first = Job(echo);
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(SaveEditorMail(first, prompter).Stored);
  ASSERT_TRUE(echo.Lock(true));  // the edit composer's hold
  subject = "Edited";
  TEditorSaveJob job = Job(echo);
  job.Modifies = 0;
  job.HeldArea = &echo;
  const TEditorSaveResult result = SaveEditorMail(job, prompter);
  ASSERT_TRUE(result.Stored) << result.Error;
  EXPECT_TRUE(result.HeldReleased);
  EXPECT_FALSE(echo.IsLocked());
  const std::vector<TMsgHeader> headers = Stored(echo);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].Subject.Str(), "Hi");
  EXPECT_EQ(headers[1].Subject.Str(), "Edited");
}

TEST_F(EditorSaveTest, FailedSavesStoreNothingAndKeepTheEditedMessage) {
  TArea& echo = AddArea("RU.ONE", AreaTypeCode::Echomail);
  ASSERT_TRUE(SaveEditorMail(Job(echo), prompter).Stored);
  const std::string body = dir.Read("RU.ONE.PackedBody");

  // Locked by a background job past the wait.
  ASSERT_TRUE(echo.Lock(true));
  TEditorSaveJob locked = Job(echo);
  int tries = 0;
  locked.LockWaitOver = [&tries] { return ++tries > 2; };
  TEditorSaveResult result = SaveEditorMail(locked, prompter);
  EXPECT_FALSE(result.Stored);
  EXPECT_NE(result.Error.find("stayed locked"), std::string::npos) << result.Error;
  echo.Unlock();

  // The files cannot be written: the index is damaged.
  const std::string index = dir.Read("RU.ONE.PackedIndex");
  dir.Write("RU.ONE.PackedIndex", index.substr(0, index.size() - 5));
  ASSERT_TRUE(echo.Lock(true));
  TEditorSaveJob edit = Job(echo);
  edit.Modifies = 0;
  edit.HeldArea = &echo;
  result = SaveEditorMail(edit, prompter);
  EXPECT_FALSE(result.Stored);
  EXPECT_FALSE(result.HeldReleased);
  EXPECT_NE(result.Error.find("could not be stored in the area RU.ONE"), std::string::npos)
      << result.Error;
  EXPECT_EQ(echo.QueuedCount(), 0u);
  EXPECT_EQ(dir.Read("RU.ONE.PackedBody"), body);
  echo.Unlock();
}

}  // namespace
}  // namespace velmaris

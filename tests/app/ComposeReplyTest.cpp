// A reply composed from a stored message, saved by the editor, dumped and
// exported by the batch driver.

#include "MainWindowFixture.h"
#include "app/MessageEditor.h"
#include "app/MsgWinCompose.h"
#include "core/KQMail.h"

namespace velmaris::test {
namespace {

class ComposeReplyTest : public MainWindowFixture {
 protected:
  std::string Batch(const std::vector<std::string>& args) {
    std::string out;
    EXPECT_EQ(RunBatch(Start(), RegistryPath(), args, &out), 0) << out;
    return out;
  }
  std::vector<std::string> DumpLines(const std::string& area) {
    std::vector<std::string> lines;
    std::string out = Batch({"dump", area});
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
      lines.push_back(out.substr(at, nl - at));
    return lines;
  }
};

TEST_F(ComposeReplyTest, SavedReplyCarriesItsKludgesAndIsExported) {
  ASSERT_TRUE(ForceDirectoryPath(Start()));
  dir.Write("text.txt", "Hello there\nsecond line\n");
  Batch({"write", "FIDO.GER", "--from", "Max Mustermann", "--to", "Paul", "--subject", "Hello",
         "--text-file", dir / "text.txt"});
  Batch({"export"});  // the original leaves; only the reply is exported below

  TKQMainWindow& main = Open();
  TArea* area = Area("FIDO.GER");
  ASSERT_TRUE(area && area->OpenIndex());
  std::unique_ptr<TMail> shown = area->ReadMail(0);
  TComposeSource source;
  source.WindowArea = area;
  source.Areas = &main.ConfigStore().Areas();
  source.Uplinks = &main.ConfigStore().Uplinks();
  source.TextGroups = &main.ConfigStore().TextGroups();
  source.Displayed = shown.get();
  source.Kludges.MsgIdAddress = "0:8/15";
  source.Reader = TReaderPane::FromParagraphs({}, {"Hello there", "second line"});

  for (bool netmail : {false, true}) {
    TComposition reply = netmail ? ComposeNetmailAnswer(source, true) : ComposeAnswer(source, true);
    TMessageEditor* editor = ShowComposition(reply, nullptr, source.Uplinks);
    ASSERT_TRUE(editor->SaveMail()) << editor->LastSaveError();
    editor->close();
  }
  area->CloseIndex();

  const std::string replyKludge = "\\u0001REPLY: 0:8/15 " + [&] {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", shown->Header.MsgIdNumber);
    return std::string(hex);
  }();
  const std::vector<std::string> echo = DumpLines("FIDO.GER");
  ASSERT_EQ(echo.size(), 2u);
  EXPECT_NE(echo[1].find("\"subject\":\"Re: Hello\""), std::string::npos) << echo[1];
  EXPECT_NE(echo[1].find(replyKludge), std::string::npos) << echo[1];
  EXPECT_NE(echo[1].find("\\r MM> Hello there second line\\r"), std::string::npos) << echo[1];
  const std::vector<std::string> net = DumpLines("NETMAIL");
  ASSERT_EQ(net.size(), 1u);
  EXPECT_NE(net[0].find("\\u0001INTL 0:8/15 0:8/15\\r"), std::string::npos) << net[0];
  EXPECT_NE(net[0].find(replyKludge), std::string::npos) << net[0];

  const std::string log = Batch({"export"});
  EXPECT_NE(log.find("\"echomails\":1,\"netmails\":1"), std::string::npos) << log;
}

}  // namespace
}  // namespace velmaris::test

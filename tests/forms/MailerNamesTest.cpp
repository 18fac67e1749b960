// The mailer window names what it shows as the users wrote it: the remote's
// sysop and system (EMSI fields in the OEM page, sent as "\hh" escapes), the
// files on their way both ways, and our outbound with its paths on disk.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <fstream>

#include "MailerFormsFixture.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/LineFixtures.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/MailerForm.h"
#include "platform/Files.h"

namespace velmaris::test {
namespace {

using MailerNamesTest = MailerFormsFixture;

TEST_F(MailerNamesTest, RemoteIdentityAndFileNamesShowAsTheirUsersWroteThem) {
  const std::string ourFile = "Отчёт за май.txt", theirFile = "Ответ «итог».zip";
  const std::string sysop = "Пётр Сидоров", system = "Узел Тест";
  platform::MakeDirs(dir / "files");
  dir.Write("files/" + ourFile, std::string(3000, 'o'));
  dir.Write("files/" + theirFile, std::string(2000, 't'));
  const std::string ourPath = dir / ("files/" + ourFile);
  platform::MakeDirs(config->Values()->OutboundDir());
  std::ofstream(config->Values()->OutboundDir() + "139C0412.flo", std::ios::binary)
      << ourPath << "\r\n";
  std::unique_ptr<FakeModem> modem;
  TMailer* profile = PrepareCall(modem, " --send " + CommandWord(dir / ("files/" + theirFile)) +
                                            " --sysop " + CommandWord(sysop) + " --system " +
                                            CommandWord(system));

  TMailerForm form(*profile, *config);
  form.SelectDevice("Line");
  form.show();
  form.ScanOutbound();
  // Our outbound: the name and the path as they are on disk.
  ASSERT_EQ(form.OutboundList->topLevelItemCount(), 1);
  EXPECT_EQ(form.OutboundList->topLevelItem(0)->text(0), QString::fromStdString(ourFile));
  EXPECT_EQ(form.OutboundList->topLevelItem(0)->text(4), QString::fromStdString(ourPath));

  form.Session().ResetRedial();
  ASSERT_TRUE(form.Session().PollAddress("2:5020/1042")) << form.Session().Error();
  QString shownSysop, shownSystem, sending, receiving;
  dispatcher.RunUntil(
      [&] {
        if (form.EmsiPanel->isVisible()) {
          shownSysop = form.SysopLabel->text();
          shownSystem = form.SystemLabel->text();
        }
        if (form.SendLabel->text().size() > 1) sending = form.SendLabel->text();
        if (form.ReceiveLabel->text().size() > 1) receiving = form.ReceiveLabel->text();
        return form.Session().Finished() && form.Device().IsIdle();
      },
      kPatience * 2);
  const QString log = form.LogMemo->toPlainText();
  EXPECT_TRUE(form.Session().Completed()) << log.toStdString();
  EXPECT_EQ(shownSysop, QString::fromStdString(sysop));
  EXPECT_EQ(shownSystem, QString::fromStdString(system));
  EXPECT_TRUE(sending.startsWith(QString::fromStdString(ourFile))) << sending.toStdString();
  // CP866 lacks « and »: the whole name went in UTF-8 and arrived whole.
  EXPECT_TRUE(receiving.startsWith(QString::fromStdString(theirFile))) << receiving.toStdString();
  EXPECT_EQ(platform::ReadFile(config->Values()->InboundDir() + theirFile), std::string(2000, 't'));
  // The log, made in the ANSI page, reads right in the window.
  EXPECT_TRUE(log.contains(QString::fromStdString("ESOP " + sysop))) << log.toStdString();
  EXPECT_TRUE(log.contains(QString::fromStdString("SENT File " + ourFile))) << log.toStdString();
  SetTapiDebugLogPath("");
}

}  // namespace
}  // namespace velmaris::test

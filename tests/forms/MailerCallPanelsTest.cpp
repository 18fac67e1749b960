// The mailer window's panels through a call over the fake modem: the line's
// panel from the connect, the remote's identity and the transfer displays
// from the handshake, all gone when the line drops; the busy sign is empty
// outside the call.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "MailerFormsFixture.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/LineFixtures.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/MailerForm.h"
#include "platform/Files.h"
#include "widgets/AnimatedSymbol.h"

namespace velmaris::test {
namespace {

using MailerCallPanelsTest = MailerFormsFixture;

TEST_F(MailerCallPanelsTest, PanelsFollowTheCallAndGoWithTheLine) {
  std::unique_ptr<FakeModem> modem;
  TMailer* profile = PrepareCall(modem);
  TMailerForm form(*profile, *config);
  form.SelectDevice("Line");
  form.resize(640, 300);  // the log cannot hold the whole call
  form.show();
  QScrollBar* logBar = form.LogMemo->verticalScrollBar();

  QWidget* panels[] = {form.DevicePanel, form.EmsiPanel, form.SendPanel, form.ReceivePanel};
  const char* names[] = {"device", "EMSI", "send", "receive"};
  for (QWidget* panel : panels) EXPECT_FALSE(panel->isVisible());
  EXPECT_FALSE(form.Animate->IsOpen());

  form.Session().ResetRedial();
  ASSERT_TRUE(form.Session().PollAddress("2:5020/1042")) << form.Session().Error();
  // What was seen during the call: each panel shown; the remote's identity
  // only together with its panel; the device panel before the remote's.
  bool seen[4] = {}, deviceFirst = false, shot = false, logAtEnd = true;
  QString system, sysop, mailer, device;
  dispatcher.RunUntil(
      [&] {
        for (int i = 0; i < 4; ++i) seen[i] = seen[i] || panels[i]->isVisible();
        logAtEnd = logAtEnd && logBar->value() == logBar->maximum();
        if (form.DevicePanel->isVisible() && !form.EmsiPanel->isVisible() && !seen[1])
          deviceFirst = true;
        if (form.DevicePanel->isVisible()) device = form.DeviceLabel->text();
        if (form.EmsiPanel->isVisible()) {
          system = form.SystemLabel->text();
          sysop = form.SysopLabel->text();
          mailer = form.MailerLabel->text();
          if (!shot) Shot(form, "MailerFormRemoteKnown");
          shot = true;
        }
        return form.Session().Finished() && form.Device().IsIdle();
      },
      kPatience * 2);
  EXPECT_TRUE(form.Session().Completed()) << form.LogMemo->toPlainText().toStdString();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(seen[i]) << names[i];
  EXPECT_TRUE(deviceFirst);
  // The log showed its last line all along, the panels there or gone.
  EXPECT_TRUE(logAtEnd);
  EXPECT_GT(logBar->maximum(), 0);
  EXPECT_EQ(logBar->value(), logBar->maximum());
  EXPECT_EQ(device, "Line");
  const TEmsiRemote* remote = form.Session().Remote();
  ASSERT_NE(remote, nullptr);
  EXPECT_FALSE(remote->SystemName.empty());
  EXPECT_EQ(system.toStdString(), remote->SystemName);
  EXPECT_EQ(sysop.toStdString(), remote->Sysop);
  EXPECT_EQ(mailer.toStdString(),
            remote->MailerName + " " + remote->MailerVersion + "/" + remote->MailerSerial);

  // After the call the remote is off the screen, and the busy sign empty.
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(panels[i]->isVisible()) << names[i];
  EXPECT_FALSE(form.Animate->IsOpen());
  EXPECT_TRUE(form.OutboundList->isVisible());
  Shot(form, "MailerFormAfterTheCall");
  SetTapiDebugLogPath("");
}

}  // namespace
}  // namespace velmaris::test

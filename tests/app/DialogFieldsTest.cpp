// The last fields of the small dialogs: the address book entry refuses an
// address that does not parse, the mailbox's call command has its browse
// button.
#include <filesystem>

#include "SettingsApplyFixture.h"

namespace velmaris::test {
namespace {

class DialogFieldsTest : public SettingsApplyTest {};

TEST_F(DialogFieldsTest, AddressPropertiesRefuseAFidoNetAddressThatDoesNotParse) {
  TFriend entry;
  entry.SetName("Anna");
  entry.Address().SetText("2:5020/1");
  QPointer<TAddressProperties> props(ShowFriendProperties(entry));
  auto* fido = props->findChild<QLineEdit*>("EdFido");
  auto* ok = props->findChild<QPushButton*>("Button3");
  for (const char* bad : {"2:5020/x", "2:70000/1", "Anna"}) {
    prompter.Clear();
    fido->setText(bad);
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(prompter.Questions().size(), 1u) << bad;
    EXPECT_EQ(prompter.Questions()[0].kind, platform::MsgKind::Error);
    EXPECT_EQ(prompter.Questions()[0].text, BadAddressText(bad));
    EXPECT_TRUE(props->isVisible()) << bad;
    EXPECT_EQ(entry.Address().GetText(), "2:5020/1");
  }
  fido->setText("2:5020/2.7");
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(entry.Address().GetText(), "2:5020/2.7");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(props.isNull());  // closed and freed
  EXPECT_EQ(entry.PropertiesDialog, nullptr);
}

TEST_F(DialogFieldsTest, MailboxCommandIsBrowsedBesideItsField) {
  Prepare({});
  Open();
  TMailBox& box = *Store().AddDefaultMailbox();
  const std::string program = dir / "my mailer";
  std::ofstream(program) << "#!/bin/sh\n";
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  TMBProperties form(box, Store().Mailboxes(), {"Modem"}, platform::CodePage::CP866);
  form.show();
  QString title;
  const ModalHook old = SetModalHook([&](QWidget* w) {
    auto* files = qobject_cast<QFileDialog*>(w);
    if (!files || files->objectName() != "CMDDLg") return int(QDialog::Rejected);
    title = files->windowTitle();
    files->selectFile(QString::fromStdString(program));
    return int(QDialog::Accepted);
  });
  QTest::mouseClick(form.GetJobDir, Qt::LeftButton);
  SetModalHook(old);
  EXPECT_FALSE(title.isEmpty());
  EXPECT_EQ(form.mbCMD->currentText().toStdString(), program);
  EXPECT_TRUE(form.bApply->isEnabled());
  if (const char* shots = std::getenv("VELMARIS_SCREENSHOTS"))
    form.grab().save(QString::fromUtf8(shots) + "/MailboxProperties.png");
  QTest::mouseClick(form.BtnOk, Qt::LeftButton);
  EXPECT_EQ(box.Command, program);
  EXPECT_EQ(MailerArgv(box.Command), std::vector<std::string>{program});  // whole, unquoted
}

}  // namespace
}  // namespace velmaris::test

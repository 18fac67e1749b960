// Messages of the message list window handed on as lists: an uplink robot's
// area list read into the echo or file area manager, and a BBS's file list
// loaded into the file request editor.
#include <QAction>
#include <QMenu>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/KQMainWindow.h"
#include "app/LTypeReq.h"
#include "app/MsgWin.h"
#include "app/MsgWinCommon.h"
#include "app/logic/FileRequestMailBox.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/MailBox.h"
#include "core/NetLink.h"
#include "mailer/Mailers.h"
#include "mailer/forms/FileReqEditor.h"
#include "platform/Prompter.h"
#include "processing/AreaManager.h"
#include "processing/forms/Calibrator.h"
#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

std::string FirstMailerProfile() {
  TMailerConfig* profiles = GetMailerConfig();
  return profiles && profiles->Mailers().GetCount() > 0 ? profiles->Mailers().GetString(0)
                                                         : std::string();
}

}  // namespace

void TMessageListWindow::BuildListCommands() {
  QMenu* single = Menu("Mail1");
  QMenu* popup = Menu("PopupSingle");
  single->addSeparator();
  popup->addSeparator();
  QAction* areaList =
      MakeAction(single, "AlsArealistverwenden", QStringLiteral("Использовать как список арий"));
  popup->addAction(areaList);
  connect(areaList, &QAction::triggered, this,
          [this] { Guarded([this] { AlsArealistverwendenClick(); }); });
  RegisterCommand(areaList, TCommandRule::MessageView);
  const QString fileRequest = QStringLiteral("Запрос &файлов из сообщения");
  // Ctrl+M: the file request in the message view, where it is enabled;
  // elsewhere the clean-up has it (UpdateCommands).
  QAction* menuRequest = MakeAction(single, "DateienausMailanfordern", fileRequest);
  QAction* popupRequest = MakeAction(popup, "SDateienausMailanfordern", fileRequest);
  menuRequest->setShortcut(QKeySequence("Ctrl+M"));
  SetPopupKey(popupRequest, QKeySequence("Ctrl+M"));
  for (QAction* action : {menuRequest, popupRequest}) {
    connect(action, &QAction::triggered, this,
            [this] { Guarded([this] { SDateienausMailanfordernClick(); }); });
    RegisterCommand(action, TCommandRule::MessageView);
  }
  popup->addSeparator();
  popup->addAction(Action("AbsenderinsAdressbuch3"));
}

void TMessageListWindow::AlsArealistverwendenClick() {
  TKQMainWindow* main = GetMainWindow();
  if (!Area() || !main || !main->AreaManagers()) return;
  TAreaManagers& managers = *main->AreaManagers();
  for (int32_t index : GetSelection()) {
    std::unique_ptr<TMail> mail = Area()->ReadMail(index);
    if (!mail) continue;
    TNetLink* uplink = UplinkOfListMail(main->ConfigStore().Uplinks(), *mail);
    if (!uplink) {
      platform::GetPrompter().Inform("Cannot assign these areas to an uplink !");
      continue;
    }
    const std::string from = mail->Header.FromName.Str();
    std::optional<TRobotKind> kind = ListKindOfSender(*uplink, from);
    if (!kind) {
      TLTypeReq request(from, uplink->UplinkAddress.Text4D(), this);
      if (ExecModal(request) != QDialog::Accepted) continue;
      kind = request.Kind();
      if (request.RememberSender())
        RememberListSender(*uplink, *kind, from, mail->Header.Subject.Str());
    }
    const std::vector<std::string> lines = AreaListLines(*mail);
    TCalibrator calibrator(lines, uplink, *kind, this);
    if (ExecModal(calibrator) != QDialog::Accepted) continue;
    TAreaManager& manager = *kind == TRobotKind::FileScan ? managers.Files() : managers.Echo();
    const int added = manager.AddAreaList(lines, *uplink, calibrator.NameO(), calibrator.DescO(),
                                          calibrator.DescL());
    platform::GetPrompter().Inform(std::to_string(added) + " new areas found !");
  }
}

void TMessageListWindow::SDateienausMailanfordernClick() {
  TKQMainWindow* main = GetMainWindow();
  if (!Area() || !main || !IsMessageView() || DisplayedIndex < 0) return;
  std::unique_ptr<TMail> mail = Area()->ReadMail(DisplayedIndex);
  if (!mail) return;
  TFileReqEditor& editor = main->FileReqEditor();
  const auto settings = main->ConfigStore().SettingsModel().Snapshot();
  editor.SetOutbound(settings->OutboundDir());
  editor.SetDefaultZone(settings->Zone());
  TMailBox box;
  box.Assign(editor.MailBox());
  FillRequestMailBox(box, mail->Header, FirstMailerProfile());
  editor.SetTitleName(box.Name);
  editor.SetMailBox(box);
  editor.LoadMailText(std::string(mail->BodyText()));
  mail.reset();
  editor.LoadRequest();
  editor.show();
  editor.raise();
  editor.activateWindow();
}

}  // namespace velmaris

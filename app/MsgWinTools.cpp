// The message list window's tools on the selection (delete, copy or move,
// flags, save as text, UUDecode), its area commands (catch up, clean up,
// optimise) and the import filters made from the shown message. The work is
// app/logic (SelectionTools, SaveAsText, UUDecode) and
// processing/MaintenanceRuns; this file wires it to the menus.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <memory>
#include <vector>

#include "app/DirDialog.h"
#include "app/MsgWin.h"
#include "app/MsgWinCommon.h"
#include "app/ProgressWindow.h"
#include "app/SelectionToolForms.h"
#include "app/UUDecoder.h"
#include "app/logic/SaveAsText.h"
#include "app/logic/SendersToBook.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "core/TextHelpers.h"
#include "core/forms/FormText.h"
#include "nodelist/NodelistLookup.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"
#include "processing/MaintenanceRuns.h"
#include "processing/Secretary.h"
#include "widgets/ModalHook.h"
#include "widgets/VxSpin.h"

namespace velmaris {

namespace {

void Inform(const std::string& text) {
  platform::GetPrompter().Ask(platform::MsgKind::Information,
                              platform::AnsiToUtf8(text), platform::mbOk);
}

// Tries the exclusive lock until it is granted (true) or the user answers
// Abort to the box with the text.
bool LockWithRetry(TArea& area, const std::string& inUse) {
  while (!area.Lock(true)) {
    const auto answer = platform::GetPrompter().Ask(
        platform::MsgKind::Information, platform::AnsiToUtf8(inUse),
        platform::mbAbort | platform::mbRetry);
    if (answer != platform::mbRetry) return false;
  }
  return true;
}

// The clean-ups started from message lists; each runs on its own thread
// and is collected once it has ended.
std::vector<std::unique_ptr<TMaintainer>>& CleanUps() {
  static std::vector<std::unique_ptr<TMaintainer>> runs;
  return runs;
}

template <typename Tool>
void RunTool(TMessageListWindow& window) {
  if (!window.Area()) return;
  try {
    Tool tool(&window);
    tool.Start(window.Area());
    ExecModal(tool);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

}  // namespace

std::vector<int32_t> TMessageListWindow::GetSelection() const {
  if (FromThreadMenu) return std::vector<int32_t>(ThreadMessages.begin(), ThreadMessages.end());
  return SelectedMessages();
}

void TMessageListWindow::BuildToolCommands() {
  QMenu* edit = Menu("Bearbeiten1");
  QMenu* area = Menu("Area1");
  QMenu* popup = Menu("MsgListPopup");
  auto hook = [this](QAction* action, void (TMessageListWindow::*handler)()) {
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  };
  edit->addSeparator();
  hook(MakeAction(edit, "Lschen2", QStringLiteral("&Удалить"), QKeySequence("Ctrl+Del")),
       &TMessageListWindow::DeleteMsgsClick);
  hook(MakeAction(edit, "KopiereninandereArea1", QStringLiteral("&Копировать в другую арию"),
                  QKeySequence("Ctrl+Z")),
       &TMessageListWindow::CopyMailsBtnClick);
  hook(MakeAction(edit, "Flagsndern2", QStringLiteral("Изменить &флаги"), QKeySequence("Ctrl+S")),
       &TMessageListWindow::DoSetFlagsClick);
  edit->addSeparator();
  hook(MakeAction(edit, "AlsTextspeichern1", QStringLiteral("&Сохранить в формате ANSI "),
                  QKeySequence("Ctrl+T")),
       &TMessageListWindow::AlsTextspeichern1Click);
  hook(MakeAction(edit, "UUdecode1", QStringLiteral("&UUDecode")),
       &TMessageListWindow::UUdecode1Click);

  hook(MakeAction(area, "AlleMailsaufholen1", QStringLiteral("&Подтянуть"), QKeySequence("Ctrl+H")),
       &TMessageListWindow::Aufholen1Click);
  hook(MakeAction(area, "Aufrumen1", QStringLiteral("&Удаление ненужного"), QKeySequence("Ctrl+M")),
       &TMessageListWindow::Aufrumen1Click);
  hook(MakeAction(area, "Optimieren1", QStringLiteral("&Оптимизировать"), QKeySequence("Ctrl+O")),
       &TMessageListWindow::Optimieren1Click);

  hook(MakeAction(Menu("Mail1"), "AbsenderinsAdressbuch1",
                  QStringLiteral("&Добавить в адресную книгу"), QKeySequence("Ctrl+B")),
       &TMessageListWindow::AbsenderinsAdressbuch1Click);

  // The list's pop-up menu (its items carry no short-cuts of their own).
  hook(MakeAction(popup, "Lschen1", QStringLiteral("&Удалить")),
       &TMessageListWindow::DeleteMsgsClick);
  hook(MakeAction(popup, "Kopieren1", QStringLiteral("&Копировать")),
       &TMessageListWindow::CopyMailsBtnClick);
  hook(MakeAction(popup, "Flagsndern1", QStringLiteral("Изменить &флаги")),
       &TMessageListWindow::DoSetFlagsClick);
  popup->addSeparator();
  hook(MakeAction(popup, "Aufholen1", QStringLiteral("&Подтянуть арию")),
       &TMessageListWindow::Aufholen1Click);
  SetPopupKey(Action("Aufholen1"), QKeySequence("Ctrl+H"));
  hook(MakeAction(popup, "AbsenderinsAdressbuch2", QStringLiteral("&Добавить в адресную книгу")),
       &TMessageListWindow::AbsenderinsAdressbuch1Click);
  SetPopupKey(Action("AbsenderinsAdressbuch2"), QKeySequence("Ctrl+B"));
  // The message pop-up's entry (placed with the message's other commands).
  hook(MakeAction(nullptr, "AbsenderinsAdressbuch3", QStringLiteral("&Добавить в адресную книгу")),
       &TMessageListWindow::AbsenderinsAdressbuch1Click);
  SetPopupKey(Action("AbsenderinsAdressbuch3"), QKeySequence("Ctrl+B"));
  // The thread tree's context menus: the tools then work on the messages
  // of the node under the menu (FromThreadMenu is set while it runs).
  struct TreeItem {
    const char* menu;
    const char* name;
    const char* caption;
    void (TMessageListWindow::*handler)();
  };
  const TreeItem kTreeItems[] = {
      {"MailContext", "MailDelete", "Удалить", &TMessageListWindow::DeleteMsgsClick},
      {"MailContext", "MailCopy", "Копировать в другую арию",
       &TMessageListWindow::CopyMailsBtnClick},
      {"MailContext", "MailChangeFlags", "Изменить флаги", &TMessageListWindow::DoSetFlagsClick},
      {"MailContext", "MailAddUser", "Добавить в адресную книгу",
       &TMessageListWindow::AbsenderinsAdressbuch1Click},
      {"ThreadContext", "ThreadDeleteMails", "Удалить ветку", &TMessageListWindow::DeleteMsgsClick},
      {"ThreadContext", "ThreadCopyMails", "Копировать ветку в другую арию",
       &TMessageListWindow::CopyMailsBtnClick},
      {"ThreadContext", "ThreadChangeFlags", "Изменить флаги ветки",
       &TMessageListWindow::DoSetFlagsClick},
      {"ThreadContext", "ThreadAddUsers", "Авторов в адресную книгу",
       &TMessageListWindow::AbsenderinsAdressbuch1Click},
  };
  for (const TreeItem& item : kTreeItems)
    hook(MakeAction(Menu(item.menu), item.name, QString::fromUtf8(item.caption)), item.handler);
  SetPopupKey(Action("MailCopy"), QKeySequence("Ctrl+C"));
  SetPopupKey(Action("MailAddUser"), QKeySequence("Ctrl+B"));
}

void TMessageListWindow::LookupSenderClick() {
  if (!CurrentMail) return;
  TNodelistLookup& lookup = GetNodelistLookup();
  TFidoAddr address = CurrentMail->Header.OrigAddr;
  if (lookup.FindAddress(address) < 0) {
    address.Point = 0;
    if (lookup.FindAddress(address) < 0) {
      platform::GetPrompter().Inform("There is no nodelist entry for " + FidoAddressToStr(address));
      return;
    }
  }
  TAdvNLLookup* browser = ShowNodelistBrowser(lookup, {}, parentWidget());
  browser->SpZone->SetValue(address.Zone);
  browser->SpNet->SetValue(address.Net);
  browser->SpNode->SetValue(address.Node);
  browser->SpPoint->SetValue(address.Point);
  browser->EnhButton1Click();
}

void TMessageListWindow::LookupReceiverClick() {
  if (!CurrentMail) return;
  TAdvNLLookup* browser = ShowNodelistBrowser(GetNodelistLookup(), {}, parentWidget());
  browser->EdSysop->setText(AnsiText(CurrentMail->Header.ToName.Str()));
  browser->EnhButton1Click();
}

void TMessageListWindow::DeleteMsgsClick() { RunTool<TDelMailExpert>(*this); }

void TMessageListWindow::CopyMailsBtnClick() { RunTool<TCopyMails>(*this); }

void TMessageListWindow::DoSetFlagsClick() { RunTool<TSetFlags>(*this); }

void TMessageListWindow::AlsTextspeichern1Click() {
  if (!area_) return;
  try {
    auto* request = findChild<TAppendRequest*>("AppendRequest");
    if (!request) {
      request = new TAppendRequest(this);
      request->setObjectName("AppendRequest");
    }
    if (!request->Execute()) return;
    const std::vector<int32_t> selection = GetSelection();
    TProgressWindow progress(this, QStringLiteral("Saving messages as ANSI text ..."));
    progress.StepText = [](int done, int count) {
      return QStringLiteral("Saving message %1, %2 left").arg(done).arg(count - done);
    };
    progress.show();
    const TSaveTextSwitches switches{request->AKLUDGE->isChecked(),
                                     request->AREAKLUDGE->isChecked(),
                                     request->SBKLUDGE->isChecked()};
    const TToolOutcome out =
        SaveMessagesAsText(*area_, selection, request->GetFileName().toStdString(),
                           request->GetAppend(), switches, progress);
    progress.hide();
    // A file that cannot be opened ends the command without a message.
    if (out.Outcome == TToolOutcome::Refused)
      Inform("The area " + area_->NameInAnsi() + " is in use!");
    else if (out.Outcome == TToolOutcome::Failed && !out.Error.empty())
      platform::GetPrompter().Error(platform::AnsiToUtf8(out.Error));
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::Aufholen1Click() {
  if (!area_) return;
  try {
    if (MarkAreaRead(*area_).Outcome == TToolOutcome::Refused)
      Inform("Could not access area " + area_->NameInAnsi() + " " + "because it is in use by " +
             "another process !");
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::Aufrumen1Click() {
  if (!area_) return;
  if (!LockWithRetry(*area_, "The area " + area_->NameInAnsi() + "is currently in " + "use " + "!"))
    return;
  auto& runs = CleanUps();
  std::erase_if(runs, [](const std::unique_ptr<TMaintainer>& run) { return run->Idle(); });
  runs.push_back(std::make_unique<TMaintainer>(*area_));
  // The run maintains the area and releases its lock on its own thread; the
  // release reaches this window through the main thread.
  runs.back()->Start();
}

void TMessageListWindow::Optimieren1Click() {
  if (!area_) return;
  if (!LockWithRetry(*area_,
                     "The area " + area_->NameInAnsi() + " is currently " + "in use " + " !"))
    return;
  TAreaLockHold hold(*area_);
  try {
    area_->Optimize();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::AbsenderinsAdressbuch1Click() {
  TConfigStore* store = GetConfigStore();
  if (!area_ || !store) return;
  try {
    AddSendersToAddressBook(*area_, GetSelection(), store->AddressBook());
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::UUdecode1Click() {
  if (!area_) return;
  try {
    std::vector<std::string> lines;
    const bool opened = area_->OpenBody();
    for (int32_t index : GetSelection()) {
      if (index < 0 || index >= area_->Count) continue;
      const auto mail = area_->ReadMail(index);
      for (std::string& line : SplitTextLines(mail->BodyText()))
        if (!line.empty() && static_cast<uint8_t>(line[0]) > 1) lines.push_back(std::move(line));
    }
    if (opened) area_->CloseBody();
    auto* decoder = new TUUDecoder(this);
    decoder->SetInput(lines);
    decoder->show();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMessageListWindow::AbsenderknftigFiltern1Click() {
  TFilterList* filters = GetImportFilters();
  if (!area_ || !CurrentMail || !filters) return;
  const std::string from = CurrentMail->Header.FromName.Str();
  if (!platform::GetPrompter().Confirm("Area you sure you want to prevent receiving mail from  " +
                                       AnsiText(from).toStdString() + " in this " + "area ?"))
    return;
  std::string name;
  auto filter = SenderKillFilter(from, area_->Name, name);
  filters->AddFilter(name, std::move(filter));
}

void TMessageListWindow::Betreffknftigfiltern1Click() {
  TFilterList* filters = GetImportFilters();
  if (!area_ || !CurrentMail || !filters) return;
  const std::string subject = CurrentMail->Header.Subject.Str();
  if (!platform::GetPrompter().Confirm(
          "Area you sure you wanr to prevent Velmaris from receiving mail with the subject " +
          AnsiText(StripReplyMarker(subject)).toStdString() + " in this area ?"))
    return;
  std::string name;
  auto filter = SubjectKillFilter(subject, area_->Name, name);
  filters->AddFilter(name, std::move(filter));
}


}  // namespace velmaris

// The main window's area tools, the delete command, the configuration
// report and help.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <exception>

#include "app/KQMainWindow.h"
#include "app/MailboxProperties.h"
#include "app/logic/AreaTools.h"
#include "core/ConfigStore.h"
#include "core/forms/ComboBoxLink.h"
#include "core/forms/FormText.h"
#include "mailer/Mailers.h"
#include "mailer/forms/FileReqEditor.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "processing/forms/KillAssistents.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

// The note window of the area tools: one line telling the step.
class TNote : public QWidget {
 public:
  explicit TNote(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint) {
    setObjectName("Note");
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(this);
    label_->setObjectName("NoteText");
    label_->setMinimumWidth(300);
    label_->setAlignment(Qt::AlignCenter);
    layout->addWidget(label_);
  }
  void SetText(const std::string& text) {
    label_->setText(AnsiText(text));  // names the area: ANSI text
    if (!isVisible()) show();
    label_->repaint();
  }

 private:
  QLabel* label_;
};

}  // namespace

void TKQMainWindow::ConnectAreaCommands() {
  const std::pair<const char*, void (TKQMainWindow::*)()> commands[] = {
      {"Aufholen1", &TKQMainWindow::Aufholen1Click},
      {"Alles1", &TKQMainWindow::Alles1Click},
      {"Aufrumen1", &TKQMainWindow::Aufrumen1Click},
      {"Optimieren2", &TKQMainWindow::Optimieren2Click},
      {"Lschen1", &TKQMainWindow::Lschen1Click},
      {"ConfiganAutorsenden1", &TKQMainWindow::ConfiganAutorsenden1Click},
      {"Hilfe3", &TKQMainWindow::Hilfe3Click},
      {"Hilfethemen1", &TKQMainWindow::Hilfethemen1Click},
      {"Nodelistensuche1", &TKQMainWindow::Nodelistensuche1Click},
      {"ShowFred", &TKQMainWindow::ShowFredClick}};
  for (const auto& [name, handler] : commands) ConnectCommand(name, handler);
}

std::vector<int> TKQMainWindow::SelectedAreaRows() const {
  std::vector<int> rows;
  for (int i = 0; i < areaList_->GetCount(); ++i)
    if (areaList_->Selected(i)) rows.push_back(i);
  return rows;
}

void TKQMainWindow::RunTool(TAreaTool tool) {
  TNote note(this);
  RunAreaTool(tool, ConfigStore().Areas(), SelectedAreaRows(),
              [&note](const std::string& text) { note.SetText(text); });
}

void TKQMainWindow::Aufholen1Click() { RunTool(TAreaTool::CatchUp); }
void TKQMainWindow::Alles1Click() { RunTool(TAreaTool::CatchUpAll); }
void TKQMainWindow::Aufrumen1Click() { RunTool(TAreaTool::CleanUp); }
void TKQMainWindow::Optimieren2Click() { RunTool(TAreaTool::Optimize); }

void TKQMainWindow::Lschen1Click() {
  const std::vector<std::string> names =
      DeletableAreaNames(ConfigStore().Areas(), SelectedAreaRows());
  if (names.empty()) return;
  TKillAreaAssistent assistant(ConfigStore(), this);
  for (const std::string& name : names) AddAreaNameItem(assistant.KillList, name);
  assistant.Execute();
  RefreshAreaList();
}

void TKQMainWindow::ConfiganAutorsenden1Click() { SendConfigurationReport(ConfigStore()); }

void TKQMainWindow::Nodelistensuche1Click() {
  TConfigStore& store = ConfigStore();
  ShowNodelistBrowser(GetNodelistLookup(), {&store.AddressBook(), &store.Mailboxes(), [] {
                                              TMailerConfig* profiles = GetMailerConfig();
                                              return profiles && profiles->Mailers().GetCount() > 0
                                                         ? profiles->Mailers().GetString(0)
                                                         : std::string();
                                            }});
}

void TKQMainWindow::Hilfe3Click() { platform::ShowHelp(platform::kHelpMainWindow); }
void TKQMainWindow::Hilfethemen1Click() { platform::ShowHelp(platform::kHelpContents); }

// The file request editor, one for the program, told the outbound folder and
// the default zone each time it is shown.
TFileReqEditor& TKQMainWindow::FileReqEditor() {
  if (fileReqEditor_) return *fileReqEditor_;
  fileReqEditor_ = std::make_unique<TFileReqEditor>(ConfigStore());
  fileReqEditor_->MailboxPropertiesHook = [this](TMailBox& box) {
    std::vector<std::string> profiles;
    if (TMailerConfig* config = GetMailerConfig())
      for (int i = 0; i < config->Mailers().GetCount(); ++i)
        profiles.push_back(config->Mailers().GetString(i));
    TMBProperties properties(box, ConfigStore().Mailboxes(), profiles,
                             ConfigStore().Values()->FileListPage(), fileReqEditor_.get());
    ExecModal(properties);
  };
  return *fileReqEditor_;
}

void TKQMainWindow::ShowFredClick() {
  FileReqEditor();
  const std::shared_ptr<const SettingsValues> settings = ConfigStore().SettingsModel().Snapshot();
  fileReqEditor_->SetOutbound(settings->OutboundDir());
  fileReqEditor_->SetDefaultZone(settings->Zone());
  fileReqEditor_->show();
  fileReqEditor_->raise();
  fileReqEditor_->activateWindow();
}

}  // namespace velmaris

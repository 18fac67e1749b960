#include "mailer/forms/MailerForm.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "core/ConfigStore.h"
#include "core/ShellServices.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "mailer/CMD_TAPI.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/MailboxDialogs.h"
#include "mailer/forms/MailerProperties.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/AdvNLLookup.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "widgets/ALed.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/HelpKey.h"
#include "widgets/SpeedBar.h"
#include "widgets/StatusLabel.h"

namespace velmaris {

TMailerForm::TMailerForm(TMailer& profile, TConfigStore& store, std::function<void()> startTosser,
                         QWidget* parent)
    : QWidget(parent), profile_(profile), store_(store) {
  setObjectName("MailerForm");
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  ToolBar = new TSpeedBar(this);
  ToolBar->setObjectName("ToolBar");
  top->addWidget(ToolBar, 1);
  layout->addLayout(top);
  std::vector<QAction*> commands;
  auto action = [this, &commands](QAction*& a, const char* name, const QString& text) {
    a = new QAction(text, this);
    a->setObjectName(name);
    addAction(a);
    commands.push_back(a);
  };
  action(NOde1, "NOde1", "Poll Node");
  action(mitMailbox1, "mitMailbox1", "Poll Mailbox");
  action(HangupBtn, "HangupBtn", "Hang up");
  action(RescanBtn, "RescanBtn", "Rescan");
  action(Entfernen1, "Entfernen1", "Remove");
  action(Verbergen1, "Verbergen1", "Hide");
  action(Mailer2, "Mailer2", "Mailer settings");
  action(MnPD, "MnPD", "Protocol details");
  MnPD->setCheckable(true);
  HangupBtn->setEnabled(false);
  BuildSpeedBar(commands);
  BuildMenu();
  layout->setMenuBar(MainMenu);

  // The panels of a call, each a row; shown while the call needs them.
  auto panel = [this, layout](QWidget*& widget, const char* name) {
    widget = new QWidget(this);
    widget->setObjectName(name);
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(widget);
    widget->hide();
    return row;
  };
  QHBoxLayout* info = panel(EmsiPanel, "EmsiPanel");
  auto label = [&info](const char* name) {
    auto* l = new QLabel("-");
    l->setObjectName(name);
    info->addWidget(l);
    return l;
  };
  SystemLabel = label("SystemLabel");
  SysopLabel = label("SysopLabel");
  MailerLabel = label("MailerLabel");
  // The device panel: the line's name and its lights.
  info = panel(DevicePanel, "DevicePanel");
  DeviceLabel = label("DeviceLabel");
  info->addStretch(1);
  const char* leds[] = {"LedDSR", "LedCD", "LedCTS", "LedRING", "LedTxD", "LedRxD"};
  const char* captions[] = {"DSR", "CD", "CTS", "RING", "SD", "RD"};
  for (int i = 0; i < 6; ++i) {
    Leds[i] = new TALed(DevicePanel);
    Leds[i]->setObjectName(leds[i]);
    Leds[i]->SetBlink(false);
    Leds[i]->SetTrueColor(QColor(0, 0xBB, 0));   // 47872
    Leds[i]->SetFalseColor(QColor(0, 0x4A, 0));  // 18944
    Leds[i]->setToolTip(captions[i]);
    Leds[i]->setFixedSize(Leds[i]->size());  // the lamp's own size in the row
    info->addWidget(Leds[i]);
    auto* caption = new QLabel(captions[i], DevicePanel);
    caption->setBuddy(Leds[i]);
    info->addWidget(caption);
  }
  // The busy sign beside the tool bar: empty outside a call.
  Animate = new TAnimatedSymbol(this);
  Animate->setObjectName("Animate");
  Animate->SetAutoPlay(false);
  Animate->SetAVIName(QStringLiteral("MAILER"));
  Animate->setFixedSize(32, 32);
  top->addWidget(Animate);

  auto display = [&panel](QWidget*& widget, QLabel*& label, QProgressBar*& bar, const char* name,
                          const char* labelName, const char* barName) {
    QHBoxLayout* row = panel(widget, name);
    label = new QLabel("-");
    label->setObjectName(labelName);
    bar = new QProgressBar;
    bar->setObjectName(barName);
    bar->setRange(0, 100);
    bar->setValue(0);
    row->addWidget(label, 1);
    row->addWidget(bar);
  };
  display(SendPanel, SendLabel, SendProgress, "SendPanel", "SendLabel", "SendProgress");
  display(ReceivePanel, ReceiveLabel, ReceiveProgress, "ReceivePanel", "ReceiveLabel",
          "ReceiveProgress");

  OutboundList = new QTreeWidget(this);
  OutboundList->setObjectName("OutboundList");
  OutboundList->setHeaderLabels({"File", "Address", "Size", "Kind", "Path"});
  OutboundList->setRootIsDecorated(false);
  layout->addWidget(OutboundList);
  OutboundIcons = new QListView(this);
  OutboundIcons->setObjectName("OutboundIcons");
  OutboundIcons->setModel(OutboundList->model());
  OutboundIcons->setSelectionModel(OutboundList->selectionModel());
  OutboundIcons->setResizeMode(QListView::Adjust);
  OutboundIcons->setWrapping(true);
  OutboundIcons->hide();
  layout->addWidget(OutboundIcons);
  for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(OutboundList),
                                  static_cast<QAbstractItemView*>(OutboundIcons)}) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& pos) { OutboundListMouseDown(view, pos); });
  }
  connect(OutboundIcons, &QListView::doubleClicked, this, &TMailerForm::OutboundListDblClick);
  LogMemo = new QPlainTextEdit(this);
  LogMemo->setObjectName("LogMemo");
  LogMemo->setReadOnly(true);
  layout->addWidget(LogMemo);
  // The log keeps its last line in sight as lines come and as the panels of
  // a call take room from it or give it back, unless the user has scrolled
  // up (a wheel, key or scroll bar action); back at the end, it follows
  // again.
  QScrollBar* logBar = LogMemo->verticalScrollBar();
  connect(logBar, &QScrollBar::actionTriggered, this,
          [this, logBar] { logFollows_ = logBar->sliderPosition() >= logBar->maximum(); });
  connect(logBar, &QScrollBar::valueChanged, this, [this, logBar](int value) {
    if (value >= logBar->maximum()) logFollows_ = true;
  });
  connect(logBar, &QScrollBar::rangeChanged, this, [this, logBar](int, int maximum) {
    if (logFollows_) logBar->setValue(maximum);
  });
  StatusLabel = new TStatusLabel(this);
  StatusLabel->setText("Ready");
  StatusLabel->setObjectName("StatusLabel");
  layout->addWidget(StatusLabel);
  resize(640, 460);

  device_ = std::make_unique<TCMTAPIDevice>();
  device_->ApplySettings(*store_.Values());
  // Changed lines and dialling settings reach the device at once.
  settingsSubscription_ = store_.SettingsModel().Subscribe(
      [this](const SettingsValues& values, const std::vector<SettingId>& changed) {
        using S = SettingId;
        constexpr S kLineSettings[] = {S::ModemLines,     S::EdModemInit,   S::SpDialTimeout,
                                       S::EdCountryCode,  S::EdAreaCode,    S::EdOutsideLine,
                                       S::EdLongDistance, S::EdInternational};
        for (SettingId id : changed) {
          if (std::find(std::begin(kLineSettings), std::end(kLineSettings), id) !=
              std::end(kLineSettings)) {
            device_->ApplySettings(values);
            ShowDeviceName();
            return;
          }
        }
      });
  TMailerContext ctx;
  ctx.Store = &store_;
  ctx.Nodelist = &GetNodelistLookup();
  ctx.StartTosser = [this, startTosser] {
    hide();
    if (startTosser) startTosser();
  };
  session_ = std::make_unique<TMailerSession>(profile_, *device_, ctx);
  session_->PostLogOnEnd = true;
  session_->OnLogLine = [this](const std::string& line) {
    LogMemo->appendPlainText(AnsiText(line));
  };
  session_->OnCallStep = [this](TMailerSession::TCallStep step) { ShowCallStep(step); };
  session_->OnStatus = [this](const std::string& status) {
    // The failure of the last call stays in sight until the next one.
    const std::string& error = session_->Error();
    // The status is in the ANSI page, the failure in UTF-8 (Error()).
    StatusLabel->setText(!session_->Busy() && !error.empty()
                             ? AnsiText(status) + " - " + QString::fromStdString(error)
                             : AnsiText(status));
    ShowLineState();
    HangupBtn->setEnabled(session_->Busy() || session_->RedialPending());
    ShowOutbound(!session_->Busy());
    if (!session_->Busy()) FillOutbound();
  };
  session_->OnTransfer = [this](bool sending, const TMailerSession::TTransferDisplay& d) {
    QLabel* label = sending ? SendLabel : ReceiveLabel;
    QProgressBar* bar = sending ? SendProgress : ReceiveProgress;
    if (d.FileName.empty()) {
      label->setText("-");
      bar->setValue(0);
      return;
    }
    label->setText(WireText(d.FileName) + QString("  %1 / %2 Bytes  %3 CPS  %4  %5")
                                              .arg(d.Position)
                                              .arg(d.Size)
                                              .arg(d.Rate)
                                              .arg(AnsiText(d.TimeNeeded()))
                                              .arg(AnsiText(d.TimeLeft())));
    bar->setValue(d.Percent());
  };
  for (const auto& line : session_->Log()) LogMemo->appendPlainText(AnsiText(line));
  WinLst().Add("Mailer", this);

  connect(NOde1, &QAction::triggered, this, &TMailerForm::NOde1Click);
  connect(OutboundList, &QTreeWidget::itemDoubleClicked, this, &TMailerForm::OutboundListDblClick);
  connect(mitMailbox1, &QAction::triggered, this, &TMailerForm::mitMailbox1Click);
  connect(HangupBtn, &QAction::triggered, this, &TMailerForm::HangupBtnClick);
  connect(RescanBtn, &QAction::triggered, this, &TMailerForm::RescanBtnClick);
  connect(Entfernen1, &QAction::triggered, this, &TMailerForm::Entfernen1Click);
  connect(Verbergen1, &QAction::triggered, this, &QWidget::hide);
  connect(Mailer2, &QAction::triggered, this, &TMailerForm::Mailer2Click);
  connect(MnPD, &QAction::triggered, this, &TMailerForm::MnPDClick);
  connect(GroeSymbole1, &QAction::triggered, this, &TMailerForm::GroeSymbole1Click);
  connect(KleineSymbole1, &QAction::triggered, this, &TMailerForm::KleineSymbole1Click);
  connect(Liste1, &QAction::triggered, this, &TMailerForm::Liste1Click);
  connect(Details1, &QAction::triggered, this, &TMailerForm::Details1Click);
  connect(Verbindungen1, &QAction::triggered, this, &TMailerForm::Verbindungen1Click);
  connect(Mailboxen1, &QAction::triggered, this, &TMailerForm::Mailboxen1Click);
  connect(Hilfe1, &QAction::triggered, this, &TMailerForm::Hilfe1Click);
  BindHelpKey(this, platform::kHelpMailer, Hilfe1);
  connect(Hilfethemen1, &QAction::triggered, this, &TMailerForm::Hilfethemen1Click);
}

void TMailerForm::BuildMenu() {
  MainMenu = new QMenuBar(this);
  MainMenu->setObjectName("MainMenu");
  auto item = [this](QMenu* menu, QAction*& a, const char* name, const QString& text) {
    a = menu->addAction(text);
    a->setObjectName(name);
  };
  QMenu* poll = MainMenu->addMenu("&Poll");
  poll->setObjectName("PollMenu");
  poll->addAction(NOde1);
  poll->addAction(mitMailbox1);
  QMenu* session = MainMenu->addMenu("&Mailer");
  session->setObjectName("MailerMenu");
  session->addAction(HangupBtn);
  session->addAction(RescanBtn);
  session->addAction(Entfernen1);
  session->addSeparator();
  session->addAction(Verbergen1);
  QMenu* view = MainMenu->addMenu("&View");
  view->setObjectName("ViewMenu");
  auto* styles = new QActionGroup(this);
  item(view, GroeSymbole1, "GroeSymbole1", "Large icons");
  item(view, KleineSymbole1, "KleineSymbole1", "Small icons");
  item(view, Liste1, "Liste1", "List");
  item(view, Details1, "Details1", "Details");
  for (QAction* a : {GroeSymbole1, KleineSymbole1, Liste1, Details1}) {
    a->setCheckable(true);
    styles->addAction(a);
  }
  Details1->setChecked(true);
  QMenu* settings = MainMenu->addMenu("&Settings");
  settings->setObjectName("SettingsMenu");
  settings->addAction(Mailer2);
  item(settings, Verbindungen1, "Verbindungen1", "Uplinks");
  item(settings, Mailboxen1, "Mailboxen1", "Mailboxes");
  settings->addSeparator();
  settings->addAction(MnPD);
  QMenu* help = MainMenu->addMenu("&Help");
  help->setObjectName("HelpMenu");
  item(help, Hilfe1, "Hilfe1", "Help");
  item(help, Hilfethemen1, "Hilfethemen1", "Help topics");
  EntryPopup = new QMenu(this);
  EntryPopup->setObjectName("EntryPopup");
  EntryPopup->addAction(Entfernen1);
  EntryPopup->addAction(RescanBtn);
}

QAbstractItemView* TMailerForm::OutboundView() const {
  if (Details1->isChecked()) return OutboundList;
  return OutboundIcons;
}

void TMailerForm::ShowOutbound(bool show) {
  outboundShown_ = show;
  OutboundList->setVisible(show && OutboundView() == OutboundList);
  OutboundIcons->setVisible(show && OutboundView() == OutboundIcons);
}

void TMailerForm::SetIconStyle(QAction* style, QListView::ViewMode mode, QListView::Flow flow,
                               int iconSize) {
  style->setChecked(true);
  OutboundIcons->setViewMode(mode);
  OutboundIcons->setFlow(flow);
  OutboundIcons->setWrapping(true);
  OutboundIcons->setIconSize(QSize(iconSize, iconSize));
  ShowOutbound(outboundShown_);
}

void TMailerForm::GroeSymbole1Click() {
  SetIconStyle(GroeSymbole1, QListView::IconMode, QListView::LeftToRight, 32);
}

void TMailerForm::KleineSymbole1Click() {
  SetIconStyle(KleineSymbole1, QListView::ListMode, QListView::LeftToRight, 16);
}

void TMailerForm::Liste1Click() {
  SetIconStyle(Liste1, QListView::ListMode, QListView::TopToBottom, 16);
}

void TMailerForm::Details1Click() {
  Details1->setChecked(true);
  ShowOutbound(outboundShown_);
}

void TMailerForm::Verbindungen1Click() {
  if (TShellServices* shell = GetShellServices()) shell->ShowSettingsPage("TabVerbindungen");
}

void TMailerForm::Mailboxen1Click() {
  if (TShellServices* shell = GetShellServices()) shell->ShowSettingsPage("TabMailboxen");
}

void TMailerForm::Hilfe1Click() { platform::ShowHelp(platform::kHelpMailer); }

void TMailerForm::Hilfethemen1Click() { platform::ShowHelp(platform::kHelpContents); }

void TMailerForm::OutboundListMouseDown(QAbstractItemView* view, const QPoint& pos) {
  const QModelIndex at = view->indexAt(pos);
  if (!at.isValid()) return;
  const QModelIndex caption = at.siblingAtColumn(0);
  view->setCurrentIndex(caption);
  EntryPopup->popup(view->viewport()->mapToGlobal(view->visualRect(caption).center()));
}

TMailerForm::~TMailerForm() {
  store_.SettingsModel().Unsubscribe(settingsSubscription_);
  WinLst().Remove(this);
  // The session's last lines go to its log only: the controls are going.
  session_->OnLogLine = nullptr;
  session_->OnCallStep = nullptr;
  session_->OnStatus = nullptr;
  session_->OnTransfer = nullptr;
  session_.reset();
  device_.reset();
}

void TMailerForm::BuildSpeedBar(const std::vector<QAction*>& actions) {
  ToolBar->SetOptions(sbFlatBtns | sbGrayedBtns);
  ToolBar->SetBevelOuter(TBevelCut::bvNone);
  ToolBar->SetBtnWidth(28);
  ToolBar->SetBtnHeight(26);
  ToolBar->setFixedHeight(ToolBar->BtnHeight() + 2 * ToolBar->BtnOffsetVert());
  const int section = ToolBar->AddSection("Mailer");
  auto icon = [this](const QString& name) {
    const std::pair<const char*, QStyle::StandardPixmap> icons[] = {
        {"mitMailbox1", QStyle::SP_DriveNetIcon}, {"HangupBtn", QStyle::SP_BrowserStop},
        {"RescanBtn", QStyle::SP_BrowserReload},  {"Entfernen1", QStyle::SP_TrashIcon},
        {"Verbergen1", QStyle::SP_TitleBarMinButton}, {"Mailer2", QStyle::SP_FileDialogDetailedView},
        {"MnPD", QStyle::SP_FileDialogInfoView},
    };
    for (const auto& [action, pixmap] : icons)
      if (name == action) return style()->standardIcon(pixmap).pixmap(16, 16);
    return style()->standardIcon(QStyle::SP_CommandLink).pixmap(16, 16);
  };
  int left = ToolBar->BtnOffsetHorz();
  for (QAction* action : actions) {
    auto* item = new TSpeedItem(this);
    item->setObjectName(action->objectName() + "Item");
    item->SetCaption(action->text());
    item->SetHint(action->text());
    item->SetGlyph(icon(action->objectName()));
    ToolBar->AddItem(section, item);
    item->SetEnabled(action->isEnabled());
    connect(action, &QAction::changed, item,
            [item, action] { item->SetEnabled(action->isEnabled()); });
    connect(item, &TSpeedItem::clicked, action, &QAction::trigger);
    item->SetBounds(left, ToolBar->BtnOffsetVert());
    item->SetVisible(true);
    left += ToolBar->BtnWidth();
    if (action == HangupBtn) HangupItem = item;
  }
}

void TMailerForm::ShowLineState() {
  const uint8_t bits = device_->IsConnected() ? device_->GetModemStatus() : 0;
  const uint8_t masks[] = {2, 8, 1, 4, 16, 32};  // DSR, CD, CTS, RING, TxD, RxD
  for (int i = 0; i < 6; ++i) Leds[i]->SetValue(bits & masks[i]);
  const bool calling = session_->Busy() && !device_->IsDisconnecting();
  const TAnimatedState state = calling ? TAnimatedState::acmPlaying : TAnimatedState::acmClosed;
  if (Animate->State() != state) Animate->SetState(state);
}

void TMailerForm::ShowCallStep(TMailerSession::TCallStep step) {
  using Step = TMailerSession::TCallStep;
  switch (step) {
    case Step::Connected:
      ShowDeviceName();
      DevicePanel->show();
      for (QLabel* l : {SendLabel, ReceiveLabel}) l->setText("-");
      for (QProgressBar* b : {SendProgress, ReceiveProgress}) b->setValue(0);
      break;
    case Step::RemoteKnown:
      if (const TEmsiRemote* remote = session_->Remote()) {
        SystemLabel->setText(WireText(remote->SystemName));
        SysopLabel->setText(WireText(remote->Sysop));
        MailerLabel->setText(WireText(remote->MailerName + " " + remote->MailerVersion + "/" +
                                      remote->MailerSerial));
      }
      for (QWidget* w : {EmsiPanel, SendPanel, ReceivePanel}) w->show();
      break;
    case Step::Disconnecting:
      for (QWidget* w : {DevicePanel, SendPanel, ReceivePanel, EmsiPanel}) w->hide();
      break;
  }
}

std::string TMailerForm::DeviceName() const { return session_->DeviceName(); }

void TMailerForm::SelectDevice(const std::string& name) { session_->SelectDevice(name); }

void TMailerForm::ShowDeviceName() { DeviceLabel->setText(AnsiText(session_->DeviceName())); }

void TMailerForm::SetCaption(const std::string& caption) {
  session_->SetCaption(caption);
  setWindowTitle(AnsiText(caption));
  if (WinLst().Remove(this)) WinLst().Add(caption, this);
}

void TMailerForm::ScanOutbound() {
  session_->ScanOutbound();
  FillOutbound();
}

void TMailerForm::FillOutbound() {
  OutboundList->clear();
  for (const TFileInfo& e : session_->Outbound().Entries()) {
    auto* item = new QTreeWidgetItem(OutboundList);
    item->setText(0, PathText(e.FileName));
    item->setText(1, AnsiText(e.AddressText()));
    item->setText(2, AnsiText(e.SizeText()));
    item->setText(3, AnsiText(e.KindText));
    item->setText(4, PathText(e.Path));
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
  }
}

void TMailerForm::NOde1Click() { PollFromNodelist("Select Node", {}); }

void TMailerForm::OutboundListDblClick() {
  const int row = OutboundList->indexOfTopLevelItem(OutboundList->currentItem());
  const auto& entries = session_->Outbound().Entries();
  if (row < 0 || row >= static_cast<int>(entries.size())) return;
  const TFidoAddr& a = entries[row].Address;
  TNodelistFilter start;
  start.Zone = a.Zone;
  start.Net = a.Net;
  start.Node = a.Node;
  start.Point = a.Point;
  PollFromNodelist("Poll Node", start);
}

void TMailerForm::PollFromNodelist(const char* caption, const TNodelistFilter& start) {
  try {
    const auto pick = PickFromNodelist(GetNodelistLookup(), start, this, caption);
    if (pick) session_->PollCommand(FidoAddressToStr(pick->Address));
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMailerForm::mitMailbox1Click() {
  try {
    TGetBBSRequest chooser(store_, this);
    chooser.setWindowTitle("Poll Mailbox");
    if (!chooser.Execute() || !chooser.Chosen()) return;
    session_->PollCommand(chooser.Chosen()->Address.Text4D());
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TMailerForm::HangupBtnClick() {
  session_->HangupCommand();
  if (!session_->Error().empty() && session_->Finished())
    platform::GetPrompter().Inform(session_->Error());
}

void TMailerForm::RescanBtnClick() { ScanOutbound(); }

void TMailerForm::Entfernen1Click() {
  const int row = OutboundList->indexOfTopLevelItem(OutboundList->currentItem());
  const auto& entries = session_->Outbound().Entries();
  if (!OutboundView()->isVisible() || row < 0 || row >= static_cast<int>(entries.size())) return;
  const TFileInfo entry = entries[row];
  if (!platform::GetPrompter().Confirm(
          "Are you sure  you want to remove the file " + entry.FileName +
          " from the list of files to be transferred to " + entry.AddressText() + " ?"))
    return;
  try {
    session_->Outbound().RemoveOutboundEntry(entry, [](const std::string& warning) {
      return platform::GetPrompter().Ask(platform::MsgKind::Warning, warning,
                                         platform::mbRetry | platform::mbAbort) ==
             platform::mbRetry;
    });
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  ScanOutbound();
}

void TMailerForm::Mailer2Click() {
  TMailerConfig* profiles = GetMailerConfig();
  ShowMailerProperties(profile_, profiles ? &profiles->Mailers() : nullptr,
                       TLineSettingsAccess::Program(store_));
}

void TMailerForm::MnPDClick() { session_->ProtocolDetails = MnPD->isChecked(); }

void InstallMailerForms(TConfigStore& store, TMailerConfig& profiles,
                        std::function<void()> startTosser) {
  SetMailerWindowFactory([&store, startTosser](TMailer& profile) -> std::unique_ptr<TMailerWindow> {
    return std::make_unique<TMailerForm>(profile, store, startTosser);
  });
  profiles.SetPollHandler([](TMailer& profile, const std::string& address) {
    auto* form = dynamic_cast<TMailerForm*>(profile.Window());
    if (!form) return;
    form->show();
    form->Session().PollCommand(address);
  });
}

}  // namespace velmaris

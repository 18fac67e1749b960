#include "app/KQMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <chrono>
#include <exception>

#include "app/AboutDialog.h"
#include "app/AddrBook.h"
#include "app/HelpViewer.h"
#include "app/MessageEditor.h"
#include "app/MsgWin.h"
#include "app/PluginBrowser.h"
#include "app/SearchAssistent.h"
#include "app/SettingsDialog.h"
#include "app/logic/ConfigSession.h"
#include "app/logic/Startup.h"
#include "app/plugin/PluginServer.h"
#include "archive/AutoUnpacker.h"
#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "archive/forms/UnpRep.h"
#include "core/Area.h"
#include "core/AreaTag.h"
#include "core/ConfigStore.h"
#include "core/DateFormat.h"
#include "core/WinLst.h"
#include "core/forms/FormText.h"
#include "mailer/MailerSession.h"
#include "mailer/forms/FileReqEditor.h"
#include "mailer/forms/MailboxDialogs.h"
#include "mailer/forms/MailerForm.h"
#include "nodelist/NodelistService.h"
#include "nodelist/forms/ProcWin.h"
#include "platform/CodePage.h"
#include "platform/Dispatcher.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "processing/AreaManager.h"
#include "processing/MaintenanceRuns.h"
#include "processing/OutPacket.h"
#include "processing/forms/AreaManagerWindow.h"
#include "processing/forms/HatchAss.h"
#include "processing/forms/JobWindows.h"
#include "widgets/BetterPlacement.h"
#include "widgets/EZBetterListBox.h"
#include "widgets/HelpKey.h"
#include "widgets/IniFile.h"
#include "widgets/OnScreen.h"
#include "widgets/SpeedBar.h"

namespace velmaris {

namespace {

TKQMainWindow* gMainWindow = nullptr;

constexpr const char* kLoadingCaption = "Velmaris 95 загружает настройки ...";
constexpr const char* kWaitBackgroundCaption =
    "Waiting for Maintenance and Optimization to complete ...";
constexpr const char* kWaitPluginsCaption = "Waiting for plugins ...";
constexpr const char* kWindowListName = "Area list";

// A cell as the list box shows it: a tab would split the row, and a leading
// "[...]" would be taken for an image number, so such a cell gets empty
// image prefixes of its own.
QString ListCell(QString cell) {
  cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
  if (cell.startsWith(QLatin1Char('['))) cell.prepend(QStringLiteral("[-1][-1]"));
  return cell;
}

// After an export every mailer window lists the outbound directory anew.
class TMailerRescan : public TOutboundRescan {
 public:
  void RescanOutbound() override {
    TMailerConfig* profiles = GetMailerConfig();
    if (!profiles) return;
    TMailerList& mailers = profiles->Mailers();
    for (int i = 0; i < mailers.GetCount(); ++i)
      if (TMailerWindow* window = mailers.GetMailer(i)->Window()) window->ScanOutbound();
  }
};
TMailerRescan gMailerRescan;

}  // namespace

TKQMainWindow* GetMainWindow() { return gMainWindow; }

TKQMainWindow::TKQMainWindow(const std::string& startDir, const std::string& registryPath,
                             QWidget* parent)
    : QMainWindow(parent), startDir_(StartDirectoryOf(startDir)) {
  setObjectName("KQMainWindow");
  setWindowTitle(QString::fromUtf8(kLoadingCaption));
  resize(800, 560);
  // Every window of the program opens with its frame on the screen.
  KeepWindowsOnScreen();
  BuildMenus();
  BuildPanel();
  BuildAreaList();
  auto* bar = new QStatusBar(this);
  bar->setObjectName("StatusBar");
  countPanel_ = new QLabel(bar);
  countPanel_->setObjectName("AreaCountPanel");
  countPanel_->setMinimumWidth(50);
  bar->addWidget(countPanel_);
  setStatusBar(bar);
  placement_ = new TBetterPlacement(this, QStringLiteral("MainWindow"));

  try {
    FormCreate(registryPath);
  } catch (...) {
    WinLst().DetachListBox(wListLink_.get());
    WinLst().Remove(this);
    if (GetShellServices() == this) SetShellServices(nullptr);
    if (gMainWindow == this) {
      gMainWindow = nullptr;
      platform::SetHelpViewer(nullptr);
    }
    FreeJobWindows();
    FreeAreaManagers();
    session_.reset();
    SetMailerWindowFactory(nullptr);
    throw;
  }
}

TKQMainWindow::~TKQMainWindow() { Shutdown(); }

void TKQMainWindow::FormCreate(const std::string& registryPath) {
  gMainWindow = this;
  helpFile_ = startDir_ + "Tervik.hlp";
  // Every window's help request opens this window's help file.
  platform::SetHelpViewer([file = helpFile_](int context) { ShowHelpTopic(file, context); });
  // The window list: this window first, shown in WList.
  WinLst().Add(kWindowListName, this);
  WinLst().AttachListBox(wListLink_.get());

  session_ = std::make_unique<TConfigSession>(startDir_, registryPath);
  // Each mailer profile loaded gets its mailer window.
  // A call that brought mail starts the import.
  if (TMailerConfig* profiles = GetMailerConfig())
    InstallMailerForms(session_->Store(), *profiles, [this] { ImportClick(); });
  session_->Load();
  CreateAreaManagers();
  // Bundles are packed with the configured packer of each uplink.
  InstallBundlePacker();
  CreateJobWindows();
  CreateSearchWindow();
  ApplyAreaListFont();
  RefreshAreaList();
  // Message dates are written and parsed with this pattern and the English
  // month names.
  SetShortDateFormat(kProgramDateFormat);
  // Hints: Qt keeps a tool tip up for about ten seconds by itself.
  areaList_->Columns().LoadWidths(AreaListIniPath());

  SetShellServices(this);
  setWindowTitle(QString::fromUtf8(kProgramTitle));
  // The stored position, or maximised on a first start.
  placement_->Loaded();
  const std::string placementKey =
      (placement_->RegPath + QLatin1Char('\\') + placement_->RegSection).toStdString();
  if (!platform::GetRegistry().ValueExists(placementKey, "State"))
    setWindowState(windowState() | Qt::WindowMaximized);
}

TConfigStore& TKQMainWindow::ConfigStore() {
  if (!session_) throw EConfigStore("The configuration has already been closed");
  return session_->Store();
}

// --- Building the form ----------------------------------------------------------

QAction* TKQMainWindow::MakeAction(const char* name, const QString& caption,
                                   const QKeySequence& key) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) action->setShortcut(key);
  // The commands come with the windows and jobs they start.
  action->setEnabled(false);
  return action;
}

void TKQMainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");

  QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
  file->setObjectName("Datei1");
  file->addAction(MakeAction("Import", QStringLiteral("Импорт"), QKeySequence("Ctrl+I")));
  file->addAction(MakeAction("DoExport", QStringLiteral("Экспорт"), QKeySequence("Ctrl+E")));
  file->addSeparator();
  file->addAction(MakeAction("NetCall", QStringLiteral("Опрос"), QKeySequence("Ctrl+N")));
  file->addSeparator();
  file->addAction(MakeAction("Alles1", QStringLiteral("Пометить все эхи прочитанными")));
  file->addAction(MakeAction("Aufrmen1", QStringLiteral("Чистка всех эх")));
  file->addAction(MakeAction("Optimize", QStringLiteral("Оптимизация эх")));
  file->addSeparator();
  file->addAction(MakeAction("Nodelistenverarbeiten1", QStringLiteral("Обработать нодлисты"),
                             QKeySequence("Ctrl+L")));
  file->addSeparator();
  QAction* exit = MakeAction("Beenden1", QStringLiteral("Выход"));
  exit->setEnabled(true);
  connect(exit, &QAction::triggered, this, [this] { Beenden1Click(); });
  file->addAction(exit);

  QAction* newMail =
      MakeAction("NeueMail1", QStringLiteral("Новое сообщение"), QKeySequence("Ctrl+W"));
  QAction* catchUp =
      MakeAction("Aufholen1", QStringLiteral("Пометить прочитанными"), QKeySequence("Ctrl+H"));
  QAction* cleanUp = MakeAction("Aufrumen1", QStringLiteral("Чистка"), QKeySequence("Ctrl+M"));
  QAction* optimise =
      MakeAction("Optimieren2", QStringLiteral("Оптимизация"), QKeySequence("Ctrl+O"));
  QAction* remove = MakeAction("Lschen1", QStringLiteral("Удалить"), QKeySequence("Ctrl+Del"));
  QMenu* area = bar->addMenu(QStringLiteral("&Ария"));
  area->setObjectName("Area1");
  area->addAction(newMail);
  area->addAction(catchUp);
  area->addSeparator();
  area->addAction(cleanUp);
  area->addAction(optimise);
  area->addSeparator();
  area->addAction(remove);

  QAction* search = MakeAction("DOSearch", QStringLiteral("Поиск"), QKeySequence("F4"));
  QMenu* view = bar->addMenu(QStringLiteral("&Вид"));
  view->setObjectName("Ansicht1");
  view->addAction(
      MakeAction("Messageliste1", QStringLiteral("Список сообщений"), QKeySequence("F3")));
  view->addSeparator();
  view->addAction(search);
  view->addSeparator();
  QAction* showUnpack =
      MakeAction("ShowUnpack", QStringLiteral("Окно автораспаковки"), QKeySequence("F5"));
  showUnpack->setCheckable(true);
  QAction* showDiff =
      MakeAction("ShowDiff", QStringLiteral("Окно обновления нодлистов"), QKeySequence("F6"));
  showDiff->setCheckable(true);
  view->addAction(showUnpack);
  view->addAction(showDiff);
  view->addSeparator();
  view->addAction(MakeAction("Echoareamanager1", QStringLiteral("Менеджер эхоконференций"),
                             QKeySequence("F7")));
  view->addAction(
      MakeAction("FileareaManager1", QStringLiteral("Менеджер файловых эх"), QKeySequence("F8")));
  view->addSeparator();
  view->addAction(
      MakeAction("Nodelistensuche1", QStringLiteral("Поиск в нодлисте"), QKeySequence("F9")));
  view->addSeparator();
  view->addAction(MakeAction("ShowFred", QStringLiteral("Список файлов"), QKeySequence("F10")));
  view->addSeparator();
  view->addAction(MakeAction("Adressbuch1", QStringLiteral("Адресная книга"), QKeySequence("F11")));
  view->addSeparator();
  QAction* settings = MakeAction("Settings", QStringLiteral("Настройки"), QKeySequence("F12"));
  settings->setEnabled(true);
  connect(settings, &QAction::triggered, this, [this] { SettingsClick(); });
  view->addAction(settings);

  QMenu* tasks = bar->addMenu(QStringLiteral("Задачи"));
  tasks->setObjectName("Tasks1");
  QAction* enableUnpack =
      MakeAction("EnableUnpack", QStringLiteral("Распаковка вкл/выкл"), QKeySequence("Ctrl+J"));
  enableUnpack->setCheckable(true);
  QAction* enableDiff = MakeAction("EnableDiff", QStringLiteral("Обновление нодлистов вкл/выкл"),
                                   QKeySequence("Ctrl+A"));
  enableDiff->setCheckable(true);
  tasks->addAction(enableUnpack);
  tasks->addAction(enableDiff);

  // Filled by the plug-ins' services; hidden while there are none.
  QMenu* plugins = bar->addMenu(QStringLiteral("&Плагины"));
  plugins->setObjectName("Plugins");
  plugins->menuAction()->setVisible(false);

  QMenu* help = bar->addMenu(QStringLiteral("&Помощь"));
  help->setObjectName("Hilfe1");
  help->addAction(BindHelpKey(this, platform::kHelpMainWindow,
                              MakeAction("Hilfe3", QStringLiteral("Справка"))));
  help->addAction(MakeAction("Hilfethemen1", QStringLiteral("Указатель")));
  help->addSeparator();
  help->addAction(
      MakeAction("ConfiganAutorsenden1", QStringLiteral("Отправить конфигурацию автору")));
  help->addSeparator();
  QAction* pluginBrowser = MakeAction("bersicht1", QStringLiteral("Плагины"));
  pluginBrowser->setEnabled(true);
  connect(pluginBrowser, &QAction::triggered, this, [this] { bersicht1Click(); });
  help->addAction(pluginBrowser);
  help->addSeparator();
  QAction* about = MakeAction("Ingo1", QStringLiteral("О программе"));
  about->setEnabled(true);
  connect(about, &QAction::triggered, this, [this] { Ingo1Click(); });
  help->addAction(about);

  alPopup_ = new QMenu(this);
  alPopup_->setObjectName("ALPopup");
  alPopup_->addAction(newMail);
  alPopup_->addSeparator();
  // The pop-up's search shows the key of the menu's search; it reaches the
  // pop-up's entry only while the pop-up is open.
  QAction* popupSearch = MakeAction("Suchern1", QStringLiteral("Поиск"), QKeySequence("F4"));
  popupSearch->setShortcutContext(Qt::WidgetShortcut);
  alPopup_->addAction(popupSearch);
  alPopup_->addSeparator();
  alPopup_->addAction(catchUp);
  alPopup_->addAction(cleanUp);
  alPopup_->addAction(optimise);
  alPopup_->addSeparator();
  alPopup_->addAction(remove);
}

void TKQMainWindow::BuildPanel() {
  auto* central = new QWidget(this);
  central->setObjectName("CentralPanel");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* panel = new QFrame(central);
  panel->setObjectName("IEPanel");
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFixedHeight(46);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(1, 1, 1, 1);
  row->setSpacing(2);

  auto* speedBar = new TSpeedBar(panel);
  speedBar->setObjectName("SpeedBar1");
  speedBar->SetOptions(sbFlatBtns | sbGrayedBtns);
  speedBar->SetBevelOuter(TBevelCut::bvNone);
  speedBar->SetBtnWidth(60);
  speedBar->SetBtnHeight(43);
  // Flat buttons without a bevel lie at the bar's top edge: the panel's
  // height leaves the bar room for a button's height and no more.
  speedBar->SetBtnOffsetVert(0);
  struct Button {
    const char* action;  // the menu command it runs
    const char* name;
    QString caption;
    QStyle::StandardPixmap icon;
    int section;
    bool visible;
  };
  const int tosser = speedBar->AddSection("Tosser");
  const int tools = speedBar->AddSection("Tools");
  const int areaSection = speedBar->AddSection("Area");
  const Button kButtons[] = {
      {"Import", "ImportBtn", QStringLiteral("Импорт"), QStyle::SP_ArrowDown, tosser, true},
      {"DoExport", "ExportBtn", QStringLiteral("Экспорт"), QStyle::SP_ArrowUp, tosser, true},
      {"NetCall", "PollBtn", QStringLiteral("Опрос"), QStyle::SP_DriveNetIcon, tosser, true},
      {"ShowFred", "FileReqBtn", QStringLiteral("Файлы"), QStyle::SP_FileDialogContentsView, tools,
       true},
      {"Hatchen", "HatchBtn", QStringLiteral("Хэтч"), QStyle::SP_FileIcon, tools, true},
      {"DOSearch", "SearchBtn", QStringLiteral("Поиск"), QStyle::SP_FileDialogDetailedView, tools,
       true},
      {"NeueMail1", "NewMailBtn", QStringLiteral("Письмо"), QStyle::SP_FileDialogNewFolder,
       areaSection, true},
      {"Lschen1", "DeleteBtn", QStringLiteral("Удалить"), QStyle::SP_TrashIcon, areaSection, false},
  };
  // Buttons side by side, a gap of 8 pixels between sections.
  int left = speedBar->BtnOffsetHorz();
  int lastSection = tosser;
  for (const Button& b : kButtons) {
    QAction* action = findChild<QAction*>(QString::fromLatin1(b.action));
    if (!action) action = MakeAction(b.action, b.caption);  // a command of the speed bar only
    if (b.section != lastSection) left += 8;
    lastSection = b.section;
    TSpeedItem* item = AddActionItem(speedBar, b.section, action, b.name, b.caption,
                                     style()->standardIcon(b.icon).pixmap(16, 16), left);
    item->SetCaption(b.caption);
    item->SetVisible(b.visible);
    if (b.visible) left += speedBar->BtnWidth();
  }
  // The hatch command opens the hatch assistant.
  if (QAction* hatch = findChild<QAction*>(QStringLiteral("Hatchen"))) {
    hatch->setEnabled(true);
    connect(hatch, &QAction::triggered, this, [this] { HatchenClick(); });
  }
  row->addWidget(speedBar, 1);

  wList_ = new QListWidget(panel);
  wList_->setObjectName("WList");
  wList_->setFixedWidth(143);
  QFont small = wList_->font();
  small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1.5));
  wList_->setFont(small);
  wListLink_ = std::make_unique<TListBoxLink>(wList_);
  connect(wList_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { WListDblClick(item); });
  row->addWidget(wList_);

  column->addWidget(panel);
  setCentralWidget(central);
}

void TKQMainWindow::BuildAreaList() {
  areaList_ = new TEZBetterListBox(centralWidget());
  areaList_->setObjectName("AreaList");
  areaList_->SetMultiSelect(true);
  areaList_->SetShowColumnHeaders(true);
  const QPalette pal = areaList_->palette();
  areaList_->SetColor(pal.color(QPalette::Button));
  areaList_->SetHighlightColor(pal.color(QPalette::Highlight));
  areaList_->SetHighlightTxtColor(pal.color(QPalette::HighlightedText));
  TBLBColumns& columns = areaList_->Columns();
  columns.BeginUpdate();
  columns.Add(QStringLiteral("Эха"), 200);
  columns.Add(QStringLiteral("Сообщений"), 100);
  columns.Add(QStringLiteral("Не прочитано"), 100);
  columns.Add(QStringLiteral("Новых"), 100);
  columns.Add(QStringLiteral("Не послано"), 100);
  columns.EndUpdate();
  connect(areaList_, &TCustomBetterListBox::mouseDown, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) {
            AreaListMouseDown(button, modifiers, pos);
          });
  connect(areaList_, &TCustomBetterListBox::doubleClicked, this, [this] { AreaListOpen(); });
  ConnectCommand("Messageliste1", &TKQMainWindow::AreaListOpen);
  centralWidget()->layout()->addWidget(areaList_);
  // The area list comes first when the window gets the focus.
  setTabOrder(areaList_, wList_);
}

void TKQMainWindow::ApplyAreaListFont() {
  const auto values = ConfigStore().Values();
  const QFont font = FontOf(values->Font(SettingId::ALFont), areaList_->font());
  areaList_->setFont(font);
  areaList_->Columns().SetFont(font);
}

// --- The area list ------------------------------------------------------------------

QString TKQMainWindow::RowText(const TArea& area, TAreaRowKind kind) const {
  const auto cells = AreaRowCells(area, kind);
  // The first cell is the area's name, shown as the letters it holds.
  QString row = ListCell(AreaNameText(area));
  for (size_t i = 1; i < cells.size(); ++i) row += QLatin1Char('\t') + ListCell(AnsiText(cells[i]));
  return row;
}

void TKQMainWindow::RefreshAreaList() {
  if (!session_) return;
  const TAreaList& areas = session_->Store().Areas();
  QStringList rows, names;
  rows.reserve(areas.GetCount());
  for (int i = 0; i < areas.GetCount(); ++i) {
    rows.push_back(RowText(*areas.GetItem(i), TAreaRowKind::Rebuild));
    names.push_back(ListCell(AreaNameText(*areas.GetItem(i))));
  }
  areaList_->SetItems(rows);
  if (searchWindow_) searchWindow_->SetAreaNames(names);
  ShowAreaCount();
}

void TKQMainWindow::UpdateAreaLine(TArea& area) {
  if (!session_) return;
  const TAreaList& areas = session_->Store().Areas();
  const int index = areas.IndexOfObject(&area);
  if (index < 0) return;
  // Areas added, removed or moved since the last rebuild shift the rows:
  // when the row at the index belongs to another area, rebuild them all.
  const QString row = RowText(area, TAreaRowKind::Update);
  const QStringList& rows = areaList_->Items();
  if (rows.size() != areas.GetCount() ||
      rows[index].section(QLatin1Char('\t'), 0, 0) != row.section(QLatin1Char('\t'), 0, 0)) {
    RefreshAreaList();
    return;
  }
  areaList_->SetItem(index, row);
}

void TKQMainWindow::ShowAreaCount() {
  const int count = session_ ? CountListedAreas(session_->Store().Areas()) : 0;
  countPanel_->setText(QString::fromStdString(AreaCountText(count)));
}

void TKQMainWindow::AreaListMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos) {
  const int row = areaList_->ItemAtPos(pos.x(), pos.y());
  if (row < 0) {
    areaList_->SelectItem(-1);  // the selection, the current and the focus row
    return;
  }
  if (button != Qt::RightButton) return;
  if (!areaList_->Selected(row)) areaList_->SelectItem(row);
  alPopup_->popup(areaList_->viewport()->mapToGlobal(pos));
}

// --- Window list and commands --------------------------------------------------------

void TKQMainWindow::WListDblClick(QListWidgetItem* item) { ShowWindowListEntry(wList_->row(item)); }

void TKQMainWindow::Beenden1Click() { close(); }

void TKQMainWindow::HatchenClick() {
  try {
    auto* assistant = new THatchAss(ConfigStore(), GetPackerList());
    // The file areas the file-area manager lists for the chosen uplink, in its order.
    if (TAreaManagers* managers = areaManagers_.get())
      assistant->FileAreasOf = [managers](TNetLink& link) {
        std::vector<std::string> names;
        const TAreaInfoList& all = managers->Files().All();
        for (int i = 0; i < all.Count(); ++i)
          if (all.Get(i)->Uplink == &link) names.push_back(all.Get(i)->Name);
        return names;
      };
    assistant->show();
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
}

void TKQMainWindow::Ingo1Click() {
  TAboutDialog about(this);
  about.exec();
}

void TKQMainWindow::SettingsClick(const std::function<void(TSettingsDialog&)>& prepare) {
  try {
    ShowSettingsDialog(ConfigStore(), GetPackerList(),
                       areaManagers_ ? &areaManagers_->Echo() : nullptr, this, prepare);
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  RefreshAreaList();
}

void TKQMainWindow::ShowSettingsPage(const std::string& page) {
  // The settings open once the asking window's command has returned: what
  // they free may be that window (the mailer window of a profile deleted
  // there), and no window goes while a frame of it is on the stack. A second
  // request while one waits is the same request.
  if (settingsPending_) return;
  settingsPending_ = true;
  QPointer<TKQMainWindow> self(this);
  platform::GetDispatcher().Post([self, page] {
    if (!self) return;
    self->settingsPending_ = false;
    if (page.empty()) return self->SettingsClick();
    self->SettingsClick([page](TSettingsDialog& dialog) { dialog.ShowPage(page); });
  });
}

void TKQMainWindow::FormActivate() {
  if (areaList_) areaList_->setFocus(Qt::ActiveWindowFocusReason);
}

void TKQMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormActivate();
}

void TKQMainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

// --- The end ---------------------------------------------------------------------------

void TKQMainWindow::closeEvent(QCloseEvent* event) {
  // Editors with unsaved text ask first; one kept open keeps the program.
  if (!TMessageEditor::CloseAll()) {
    event->ignore();
    return;
  }
  setWindowTitle(QString::fromUtf8(kWaitBackgroundCaption));
  StartRunsAtExit();
  setWindowTitle(QString::fromUtf8(kWaitPluginsCaption));
  StopPlugins();
  event->accept();
  emit Closed();
}

// The echo-area manager works with the uplinks' AreaFix robots, the file-area
// manager with their FileScan robots; the tosser hands them the area lists.
void TKQMainWindow::CreateAreaManagers() {
  areaManagers_ = std::make_unique<TAreaManagers>(session_->Store());
  SetAreaListReceiver(areaManagers_.get());
  echoManager_ = std::make_unique<TAreaManagerWindow>(areaManagers_->Echo());
  fileManager_ = std::make_unique<TAreaManagerWindow>(areaManagers_->Files());
  const std::pair<const char*, TAreaManagerWindow*> items[] = {
      {"Echoareamanager1", echoManager_.get()}, {"FileareaManager1", fileManager_.get()}};
  for (const auto& [name, window] : items) {
    QAction* action = findChild<QAction*>(QString::fromLatin1(name));
    action->setEnabled(true);
    connect(action, &QAction::triggered, window, [window = window] {
      window->show();
      window->raise();
      window->activateWindow();
    });
  }
}

void TKQMainWindow::FreeAreaManagers() {
  if (areaManagers_ && GetAreaListReceiver() == areaManagers_.get()) SetAreaListReceiver(nullptr);
  echoManager_.reset();
  fileManager_.reset();
  areaManagers_.reset();
}

// --- The jobs ---------------------------------------------------------------------------

void TKQMainWindow::ConnectCommand(const char* name, void (TKQMainWindow::*handler)()) {
  QAction* action = findChild<QAction*>(QString::fromLatin1(name));
  action->setEnabled(true);
  connect(action, &QAction::triggered, this, [this, handler] {
    try {
      (this->*handler)();
    } catch (const std::exception& e) {
      platform::GetPrompter().Error(e.what());
    }
  });
}

void TKQMainWindow::CreateJobWindows() {
  TConfigStore& store = session_->Store();
  const auto sessionActive = [] { return ActiveMailerSessions() > 0; };
  importWindow_ = std::make_unique<TImportWindow>(store);
  procWin_ = std::make_unique<TProcWin>(store, sessionActive);
  if (TUnpJobList* jobs = GetUnpackJobList(); jobs && GetPackerList()) {
    unpRep_ = std::make_unique<TUnpRep>(*jobs, *GetPackerList(), sessionActive);
    unpRep_->Unpacker().ApplyUnpackOn(store.Values()->UnpackOn());
  }
  exportForm_ = std::make_unique<TExportForm>(store);
  SetOutboundRescan(&gMailerRescan);

  ConnectCommand("Import", &TKQMainWindow::ImportClick);
  ConnectCommand("NeueMail1", &TKQMainWindow::NeueMail1Click);
  ConnectCommand("DoExport", &TKQMainWindow::DoExportClick);
  ConnectCommand("NetCall", &TKQMainWindow::NetCallClick);
  ConnectCommand("Aufrmen1", &TKQMainWindow::Aufrmen1Click);
  ConnectCommand("Optimize", &TKQMainWindow::OptimizeClick);
  ConnectCommand("Nodelistenverarbeiten1", &TKQMainWindow::Nodelistenverarbeiten1Click);
  ConnectCommand("ShowDiff", &TKQMainWindow::ShowDiffClick);
  ConnectCommand("EnableDiff", &TKQMainWindow::EnableDiffClick);
  // The check marks follow the windows and the timers.
  QAction* showDiff = findChild<QAction*>(QStringLiteral("ShowDiff"));
  connect(procWin_.get(), &TProcWin::visibilityChanged, showDiff, &QAction::setChecked);
  findChild<QAction*>(QStringLiteral("EnableDiff"))->setChecked(procWin_->Service().TimerOn());
  if (unpRep_) {
    ConnectCommand("ShowUnpack", &TKQMainWindow::ShowUnpackClick);
    ConnectCommand("EnableUnpack", &TKQMainWindow::EnableUnpackClick);
    QAction* showUnpack = findChild<QAction*>(QStringLiteral("ShowUnpack"));
    QAction* enableUnpack = findChild<QAction*>(QStringLiteral("EnableUnpack"));
    connect(unpRep_.get(), &TUnpRep::visibilityChanged, showUnpack, &QAction::setChecked);
    connect(unpRep_.get(), &TUnpRep::autoUnpackDisabled, enableUnpack,
            [enableUnpack] { enableUnpack->setChecked(false); });
    enableUnpack->setChecked(unpRep_->Unpacker().TimerOn());
  }
  // The settings switch the timers too; the check marks follow. The area
  // list takes its font as soon as it is applied.
  jobSettings_ = store.SettingsModel().Subscribe(
      [this](const SettingsValues& values, const std::vector<SettingId>& changed) {
        for (SettingId id : changed) {
          if (id == SettingId::ALFont) ApplyAreaListFont();
          if (id == SettingId::DiffOn)
            findChild<QAction*>(QStringLiteral("EnableDiff"))->setChecked(values.DiffOn() == 0);
          if (id == SettingId::UnpackOn && unpRep_) {
            unpRep_->Unpacker().ApplyUnpackOn(values.UnpackOn());
            findChild<QAction*>(QStringLiteral("EnableUnpack"))
                ->setChecked(unpRep_->Unpacker().TimerOn());
          }
        }
      });
}

void TKQMainWindow::FreeJobWindows() {
  if (jobSettings_ && session_) session_->Store().SettingsModel().Unsubscribe(jobSettings_);
  jobSettings_ = 0;
  // The maintenance and optimisation work on the areas: they end first.
  if (GetMaintainWindow() || GetOptimizeWindow()) {
    if (GetOptimizeWindow()) GetOptimizeWindow()->MaintainAfterwards = false;
    platform::GetDispatcher().RunUntil([] { return !GetMaintainWindow() && !GetOptimizeWindow(); },
                                       std::chrono::hours(24));
  }
  // Export first: its pending call and rescan reach the mailer windows.
  exportForm_.reset();
  if (GetOutboundRescan() == &gMailerRescan) SetOutboundRescan(nullptr);
  importWindow_.reset();
  unpRep_.reset();
  procWin_.reset();
}

void TKQMainWindow::ImportClick() {
  if (importWindow_) importWindow_->StartImport();
}

void TKQMainWindow::DoExportClick() {
  if (!exportForm_) return;
  exportForm_->StartExport();
  exportForm_->show();
  exportForm_->raise();
}

void TKQMainWindow::NetCallClick() {
  TNetCallDlg dialog(ConfigStore(), this);
  if (!dialog.Execute() || !dialog.Chosen() || !exportForm_) return;
  // The call is made when the scanner has finished.
  exportForm_->PendingCall = dialog.Chosen();
  DoExportClick();
}

void TKQMainWindow::Aufrmen1Click() { StartMaintainAll(); }

void TKQMainWindow::OptimizeClick() {
  if (!GetOptimizeWindow()) StartOptimizeAll();
}

void TKQMainWindow::Nodelistenverarbeiten1Click() {
  if (procWin_) procWin_->StartProcessing();
}

void TKQMainWindow::ShowUnpackClick() {
  QAction* item = findChild<QAction*>(QStringLiteral("ShowUnpack"));
  // The item toggles its mark before the handler runs: the mark is the wish.
  unpRep_->setVisible(item->isChecked());
}

void TKQMainWindow::ShowDiffClick() {
  QAction* item = findChild<QAction*>(QStringLiteral("ShowDiff"));
  procWin_->setVisible(item->isChecked());
}

void TKQMainWindow::EnableUnpackClick() {
  QAction* item = findChild<QAction*>(QStringLiteral("EnableUnpack"));
  unpRep_->Unpacker().SetTimerOn(item->isChecked());
}

void TKQMainWindow::EnableDiffClick() {
  QAction* item = findChild<QAction*>(QStringLiteral("EnableDiff"));
  procWin_->Service().SetTimerOn(item->isChecked());
}

// --- Search -------------------------------------------------------------------------

void TKQMainWindow::CreateSearchWindow() {
  searchWindow_ = std::make_unique<TSearchAssistent>(session_->Store().Areas());
  // A hit becomes the focus row of the area list, and its area opens at
  // the message; a text search finds its text there.
  // The area is found by its name: areas may have moved or gone since the
  // search, and a hit whose area is gone says so.
  searchWindow_->OnOpenHit = [this](const TSearchHit& hit, const TSearchRequest& request) {
    const TAreaList& areas = ConfigStore().Areas();
    TArea* area = ConfigStore().FindArea(hit.AreaName);
    const int areaIndex = area ? areas.IndexOfObject(area) : -1;
    if (areaIndex < 0 || areaIndex >= areaList_->GetCount()) {
      platform::GetPrompter().Inform("The area " + AreaTagText(hit.AreaName) +
                                     " no longer exists!");
      return;
    }
    const int msgIndex = hit.MsgIndex;
    areaList_->SelectItem(areaIndex);
    areaList_->SetFocusIndex(areaIndex);
    areaList_->MakeVisible(areaIndex);
    TMessageListWindow* list = OpenMessageList(*area);
    if (!list) return;
    list->GoToMessage(msgIndex);
    if (request.ApplyText) list->FindInText(request.Text.Text(), request.Text.CaseSensitive, false);
  };
  ConnectCommand("DOSearch", &TKQMainWindow::DOSearchClick);
  ConnectCommand("Suchern1", &TKQMainWindow::Suchern1Click);
  ConnectCommand("Adressbuch1", &TKQMainWindow::Adressbuch1Click);
  ConnectAreaCommands();
}

void TKQMainWindow::Adressbuch1Click() {
  if (!addrBook_) {
    addrBook_ = new TAddrBook(ConfigStore().AddressBook(), ConfigStore().AddressGroups());
    addrBook_->OnDestroyed = [this] { addrBook_ = nullptr; };
    addrBook_->OnWrite = [this](TFriend& entry) { WriteToFriend(entry); };
  }
  addrBook_->show();
  addrBook_->raise();
  addrBook_->activateWindow();
}

void TKQMainWindow::DOSearchClick() {
  searchWindow_->show();
  searchWindow_->raise();
  searchWindow_->activateWindow();
}

void TKQMainWindow::Suchern1Click() { SearchInAreas(SelectedAreaRows()); }

void TKQMainWindow::SearchInAreas(const std::vector<int>& areaIndexes) {
  if (!searchWindow_->Searching()) {
    TEZBetterListBox* list = searchWindow_->SearchAreas();
    list->ClearSelection();
    for (int i : areaIndexes)
      if (i >= 0 && i < list->GetCount()) {
        list->SetSelected(i, true);
        list->SetFocusIndex(i);
      }
  }
  DOSearchClick();
}

void TKQMainWindow::StartBackgroundRuns() {
  if (!session_) return;
  const auto values = ConfigStore().Values();
  const TRunChoice runs = RunsAtStart(values->OptimizeOn(), values->MaintainOn());
  if (runs.Optimize)
    StartOptimizeAll()->MaintainAfterwards = runs.ChainMaintenance;
  else if (runs.Maintain)
    StartMaintainAll();
}

void TKQMainWindow::StartRunsAtExit() {
  try {
    if (session_) {
      const auto values = ConfigStore().Values();
      const TRunChoice runs = RunsAtExit(values->OptimizeOn(), values->MaintainOn());
      if (runs.Optimize) {
        TOptimizeWindow* window = StartOptimizeAll();
        window->show();
        window->raise();
        window->MaintainAfterwards = window->MaintainAfterwards || runs.ChainMaintenance;
      } else if (runs.Maintain) {
        StartMaintainAll();
      }
    }
  } catch (const std::exception& e) {
    platform::GetPrompter().Error(e.what());
  }
  // The runs end by themselves; the main thread keeps serving them.
  platform::GetDispatcher().RunUntil([] { return !GetMaintainWindow() && !GetOptimizeWindow(); },
                                     std::chrono::hours(24));
}

void TKQMainWindow::SaveLayout() {
  try {
    areaList_->Columns().SaveWidths(AreaListIniPath());
  } catch (const std::exception& e) {
    if (session_)
      session_->Store().Log(std::string("The area list layout could not be saved: ") + e.what());
  }
}

void TKQMainWindow::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // The plug-ins end before anything they might use goes.
  FreePlugins();
  // The jobs end before the configuration is saved.
  FreeJobWindows();
  CloseMessageLists();
  if (GetShellServices() == this) SetShellServices(nullptr);
  if (gMainWindow == this) platform::SetHelpViewer(nullptr);
  SaveLayout();
  TMessageEditor::FreeAll();
  // Every window that may still change a list or post into an area goes
  // while every list is whole: the mailer windows post their session logs,
  // which creates REPORT (and saves) when it is missing.
  TMailerConfig* profiles = GetMailerConfig();
  if (profiles) profiles->CloseWindows();
  FreeAreaManagers();
  searchWindow_.reset();
  fileReqEditor_.reset();
  delete addrBook_;
  // The last save. Nothing is saved after it, so no list is written while
  // it is being freed.
  if (session_) session_->SaveAndClose();
  if (profiles) profiles->FreeMailers();
  // The areas and the configuration store go last.
  session_.reset();
  SetMailerWindowFactory(nullptr);
  WinLst().DetachListBox(wListLink_.get());
  WinLst().Remove(this);
  if (gMainWindow == this) gMainWindow = nullptr;
}

}  // namespace velmaris

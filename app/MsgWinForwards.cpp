// The message list window's ways to other windows: the main window, the
// window list, the settings and the area's properties on a chosen page, the
// multi-area search on this area, the file request editor and help.
#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QStyle>

#include "app/AreaProperties.h"
#include "app/KQMainWindow.h"
#include "app/MsgWin.h"
#include "app/MsgWinCommon.h"
#include "app/SettingsDialog.h"
#include "core/Area.h"
#include "core/ConfigStore.h"
#include "platform/Help.h"
#include "widgets/HelpKey.h"
#include "widgets/ModalHook.h"
#include "widgets/SpeedBar.h"

namespace velmaris {

void TMessageListWindow::BuildForwardCommands() {
  QMenu* extras = Menu("Extras1");
  QMenu* popup = Menu("MsgListPopup");
  struct Entry {
    const char* name;
    const char* caption;
    QMenu* menu;
    void (TMessageListWindow::*handler)();
  };
  QMenu* settings = new QMenu(QStringLiteral("Настройки"), this);
  settings->setObjectName("Einstellungen2");
  QMenu* areaSettings = new QMenu(QStringLiteral("Свойства арии"), this);
  areaSettings->setObjectName("AreaEinstellungen1");
  const Entry entries[] = {
      {"Arealiste1", "Список арий", extras, &TMessageListWindow::Arealiste1Click},
      {"Suchen1", "Поиск в этой арии...", extras, &TMessageListWindow::Suchen1Click},
      {"Filelisten1", "Списки файлов", extras, &TMessageListWindow::Filelisten1Click},
      {"Einstellungen1", "Все настройки...", settings, &TMessageListWindow::Einstellungen1Click},
      {"Texte1", "Шаблоны...", settings, &TMessageListWindow::Texte1Click},
      {"Anzeige1", "Вид...", settings, &TMessageListWindow::Anzeige1Click},
      {"Aufrumen2", "Чистка...", areaSettings, &TMessageListWindow::Aufrumen2Click},
      {"NeueMails1", "Новые письма...", areaSettings, &TMessageListWindow::NeueMails1Click},
  };
  extras->addSeparator();
  for (const Entry& e : entries) {
    QAction* action = MakeAction(e.menu, e.name, QString::fromUtf8(e.caption));
    connect(action, &QAction::triggered, this,
            [this, handler = e.handler] { Guarded([&] { (this->*handler)(); }); });
  }
  extras->addMenu(settings);
  extras->addMenu(areaSettings);
  popup->addSeparator();
  connect(MakeAction(popup, "Beenden1", QStringLiteral("Закрыть")), &QAction::triggered, this,
          [this] { Beenden1Click(); });
  connect(findChild<QListWidget*>("WList"), &QListWidget::itemDoubleClicked, this,
          [this] { WListDblClick(); });

  // Help: the window's own topic and the index.
  QMenu* help = Menu("HilfeMenu");
  QAction* helpItem = MakeAction(help, "Hilfe1", QStringLiteral("Справка"));
  connect(helpItem, &QAction::triggered, this, [this] { Hilfe1Click(); });
  BindHelpKey(this, platform::kHelpMessageList, helpItem);
  connect(MakeAction(help, "Hilfethemen1", QStringLiteral("Указатель")), &QAction::triggered, this,
          [this] { Hilfethemen1Click(); });

  // Speed items of the window section.
  TSpeedBar* bar = MailToolbar();
  const int section = bar->AddSection("Windows");
  struct Item {
    const char* action;
    const char* name;
    const char* caption;
    QStyle::StandardPixmap icon;
  };
  const Item items[] = {
      {"Arealiste1", "ShowAreaListWindow", "Арии", QStyle::SP_DirHomeIcon},
      {"Suchen1", "SearchAreaItem", "Поиск в этой арии", QStyle::SP_DirLinkIcon},
      {"Filelisten1", "ShowFred", "Список файлов", QStyle::SP_FileDialogInfoView},
  };
  int left = NextSectionLeft();
  for (const Item& it : items) {
    AddSpeedItem(section, Action(it.action), it.name, it.icon, left, QString::fromUtf8(it.caption));
    left += bar->BtnWidth();
  }
}

void TMessageListWindow::Arealiste1Click() {
  if (TKQMainWindow* main = GetMainWindow()) {
    if (main->isMinimized()) main->showNormal();
    main->show();
    main->raise();
    main->activateWindow();
  }
}

void TMessageListWindow::WListDblClick() {
  auto* list = findChild<QListWidget*>("WList");
  if (list->currentRow() >= 0) ShowWindowListEntry(list->currentRow());
}

void TMessageListWindow::Einstellungen1Click() {
  if (TKQMainWindow* main = GetMainWindow()) main->SettingsClick();
}

void TMessageListWindow::Texte1Click() {
  TKQMainWindow* main = GetMainWindow();
  if (!main || !Area()) return;
  const int group = Area()->TextGroup;
  main->SettingsClick([group](TSettingsDialog& dialog) { dialog.ShowTextGroup(group); });
}

void TMessageListWindow::Anzeige1Click() {
  if (TKQMainWindow* main = GetMainWindow())
    main->SettingsClick([](TSettingsDialog& dialog) { dialog.ShowDisplayPage(); });
}

void TMessageListWindow::ShowAreaProperties(const char* page) {
  TKQMainWindow* main = GetMainWindow();
  if (!main || !Area() || !TConfigStore::HasAreaProperties(*Area())) return;
  TAreaProperties properties(*Area(), main->ConfigStore(), this);
  properties.ShowPage(QString::fromLatin1(page));
  ExecModal(properties);
}

void TMessageListWindow::Aufrumen2Click() { ShowAreaProperties("AreaMaintain"); }
void TMessageListWindow::NeueMails1Click() { ShowAreaProperties("NewMails"); }

void TMessageListWindow::Suchen1Click() {
  TKQMainWindow* main = GetMainWindow();
  if (!main || !Area()) return;
  main->SearchInAreas({main->ConfigStore().Areas().IndexOf(Area())});
}

void TMessageListWindow::Hilfe1Click() {
  platform::ShowHelp(platform::kHelpMessageList);
}

void TMessageListWindow::Hilfethemen1Click() {
  platform::ShowHelp(platform::kHelpContents);
}

void TMessageListWindow::Filelisten1Click() {
  if (TKQMainWindow* main = GetMainWindow()) main->ShowFredClick();
}

}  // namespace velmaris

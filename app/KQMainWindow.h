// The main window: every message area as one row of the area list with its
// counts, the list of open windows, the main menu, the speed bar and the
// area pop-up menu. It owns the configuration for the life of the program
// and is the shell the areas notify: releasing an exclusive lock redraws
// the area's row.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorLinks.h"
#include "app/logic/AreaRows.h"
#include "app/logic/AreaTools.h"
#include "core/PubLst.h"
#include "core/ShellServices.h"
#include "core/forms/ListBoxLink.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QToolButton;

namespace velmaris {

namespace plugin {
class TPluginHost;
}
class TArea;
class TAddrBook;
class TPluginBrowser;
class TAreaManagerWindow;
class TAreaManagers;
class TBetterPlacement;
class TConfigSession;
class TConfigStore;
class TEZBetterListBox;
class TFriend;
class TExportForm;
class TImportWindow;
class TMessageListWindow;
class TProcWin;
class TFileReqEditor;
class TSearchAssistent;
class TSettingsDialog;
class TUnpRep;

// The message editor's nodelist picker, set while the main window runs: the
// browser opens on the typed sysop name (ANSI); the picked sysop (ANSI) and
// address come back.
bool PickReceiverFromNodelist(QWidget* parent, const std::string& sysop, std::string& name,
                              std::string& address);

class TKQMainWindow : public QMainWindow, public TShellServices, public TObject {
  Q_OBJECT

 public:
  // Builds the window and loads the whole configuration from the registry
  // file; startDir ends in "/" and holds "AreaList.ini". The window becomes
  // the process-wide main window and shell. Errors while loading propagate
  // (the start-up ends then).
  TKQMainWindow(const std::string& startDir, const std::string& registryPath,
                QWidget* parent = nullptr);
  // Runs Shutdown when it has not run yet.
  ~TKQMainWindow() override;

  // Rebuilds the area list (and the other lists of area names) from the
  // global area list; the status bar shows the number of areas.
  void RefreshAreaList() override;
  // Rebuilds the row of one area in place; an area that is not in the list
  // (any more) changes nothing. When the list has changed since the last
  // rebuild, the whole list is rebuilt instead.
  void UpdateAreaLine(TArea& area) override;

  // The end of the main window, in this order: the area-list layout saved
  // into "AreaList.ini", the configuration saved, the areas and the
  // configuration store freed, the window taken out of the window list.
  // Runs once.
  void Shutdown();

  TConfigStore& ConfigStore();
  // The program's one file request editor, made on first use (the message
  // list's file request from a message fills it through LoadMailText).
  TFileReqEditor& FileReqEditor();
  const std::string& StartDirectory() const { return startDir_; }
  std::string AreaListIniPath() const { return startDir_ + "AreaList.ini"; }
  const std::string& HelpFile() const { return helpFile_; }
  TEZBetterListBox* AreaListBox() const { return areaList_; }
  QListWidget* WindowListBox() const { return wList_; }
  QLabel* AreaCountPanel() const { return countPanel_; }
  QMenu* AreaPopup() const { return alPopup_; }
  // The echo-area and file-area managers and their windows.
  TAreaManagers* AreaManagers() const { return areaManagers_.get(); }
  TAreaManagerWindow* EchoAreaManager() const { return echoManager_.get(); }
  TAreaManagerWindow* FileAreaManager() const { return fileManager_.get(); }
  // The long-lived windows of the jobs: import, export, the nodelist
  // processor and the automatic unpacker.
  TImportWindow* ImportWindow() const { return importWindow_.get(); }
  TExportForm* ExportWindow() const { return exportForm_.get(); }
  TProcWin* ProcWindow() const { return procWin_.get(); }
  TUnpRep* UnpackWindow() const { return unpRep_.get(); }
  // The search over many areas, made with the window.
  TSearchAssistent* SearchWindow() const { return searchWindow_.get(); }
  // What a message editor made for this window reaches: the nodelist, the
  // area list, the search window and the help.
  TEditorLinks EditorLinks();
  // The file request editor told the outbound folder and the default zone.
  void ShowFredClick();
  // The settings window; prepare, when given, runs before it shows (to
  // choose a page).
  void SettingsClick(const std::function<void(TSettingsDialog&)>& prepare = {});
  // The search window with the areas at these indexes of the area list
  // selected (the selection stays while a search runs), shown.
  void SearchInAreas(const std::vector<int>& areaIndexes);
  // The address book window while it is open.
  TAddrBook* AddressBookWindow() const { return addrBook_; }
  // The background work at start: the optimisation (followed by the
  // maintenance when MaintainOn asks for it at start) or the maintenance
  // alone, as OptimizeOn and MaintainOn ask for them at start.
  void StartBackgroundRuns();

  // --- Message list windows (MainWinMsgList.cpp) ---------------------------------
  // Opens the area in a message list window and shows it: the window already
  // open on it, a new one while fewer than WinLimit are open, else the open
  // ones in turn; the window is built under a shared hold of the area.
  // nullptr for a separator or the prototype, and for an area locked
  // exclusively by someone else (the user is told it is in use).
  TMessageListWindow* OpenMessageList(TArea& area);
  // The open message list windows.
  std::vector<TMessageListWindow*> MessageLists() const;
  // Closes every message list window (before the areas go).
  void CloseMessageLists();
  // Opens the entry after (before) the area in the area list, skipping
  // separators, and selects it in the list.
  void OpenNeighbourArea(const TArea& area, bool forward);
  void MessageListLocked(TArea& area, bool exclusive) override;
  void MessageListUpdateCaption(TArea& area) override;
  void MessageListUnlocked(TArea& area) override;
  void MessageListRefilter(TArea& area) override;
  void MessageListAreaGone(TArea& area) override;
  void ShowSettingsPage(const std::string& page) override;

  // --- Plug-ins (KQMainWindowPlugins.cpp) ------------------------------------
  // The server listens in the folder (the private runtime folder when
  // empty); a failure is logged and leaves the program without plug-ins.
  void StartPluginHost(const std::string& folder = {});
  // At start-up: the server, then the programs of the plug-in folder.
  void StartPlugins();
  plugin::TPluginHost* PluginHost() const { return pluginHost_.get(); }
  // The plug-in browser (made on first use).
  TPluginBrowser* PluginBrowser();
  // Rebuilds the Plugins menus and the browser after a change.
  void UpdatePluginBrowser();
  // Fills a window's Plugins menu with the submenus of the registered
  // services (the "Msg" one only for a message list window); the item picked
  // calls onPick with its service handle. The menu shows only with entries.
  void BuildPluginMenu(QMenu* menu, bool messageWindow,
                       const std::function<void(uint32_t handle)>& onPick);
  // Runs a service from the main window's Plugins menu.
  void InvokePluginService(uint32_t handle);

 signals:
  // The services changed: message list windows rebuild their Plugins menus.
  void PluginsChanged();
  // The window has closed (the waits at the end are over): the program's
  // message loop ends, whatever other windows are still shown.
  void Closed();

 protected:
  // Closing: waits for background work and plug-ins, then lets the window
  // close; the program then destroys it.
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate(const std::string& registryPath);
  void BuildMenus();
  void BuildPanel();
  void BuildAreaList();
  void ApplyAreaListFont();
  QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& key = {});
  QString RowText(const TArea& area, TAreaRowKind kind) const;
  void ShowAreaCount();
  void SaveLayout();

  void FormActivate();
  void AreaListMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
  void WListDblClick(QListWidgetItem* item);
  void Beenden1Click();
  void HatchenClick();
  void Ingo1Click();
  // Opens a message editor on the focus area (KQMainWindowNewMail.cpp).
  void NeueMail1Click();
  // The address book's write command: an editor with a netmail to the entry
  // (KQMainWindowNewMail.cpp).
  void WriteToFriend(const TFriend& entry);
  void CreateAreaManagers();
  void FreeAreaManagers();
  void CreateJobWindows();
  void FreeJobWindows();
  void ConnectCommand(const char* name, void (TKQMainWindow::*handler)());
  // The runs at exit that OptimizeOn and MaintainOn ask for; waits until
  // every maintenance and optimisation window has gone.
  void StartRunsAtExit();
  // Help > Plugins: shows the plug-in browser.
  void bersicht1Click();
  void StopPlugins();
  void FreePlugins();

  // The commands that start the jobs.
  void ImportClick();
  void DoExportClick();
  void NetCallClick();
  void Aufrmen1Click();
  void OptimizeClick();
  void Nodelistenverarbeiten1Click();
  void ShowUnpackClick();
  void ShowDiffClick();
  void EnableUnpackClick();
  void EnableDiffClick();
  // The search window: shown as it is, or with the area list's selection.
  void DOSearchClick();
  void Suchern1Click();
  void CreateSearchWindow();
  // Opens the address book window, making it on first use.
  void Adressbuch1Click();
  // The area tools, delete, the configuration report and help
  // (KQMainWindowCommands.cpp).
  void ConnectAreaCommands();
  std::vector<int> SelectedAreaRows() const;
  void RunTool(TAreaTool tool);
  void Aufholen1Click();
  void Alles1Click();
  void Aufrumen1Click();
  void Optimieren2Click();
  void Lschen1Click();
  void ConfiganAutorsenden1Click();
  void Hilfe3Click();
  void Hilfethemen1Click();
  // A new nodelist browser.
  void Nodelistensuche1Click();

  std::string startDir_;
  std::string helpFile_;
  std::unique_ptr<TConfigSession> session_;
  std::unique_ptr<TAreaManagers> areaManagers_;
  std::unique_ptr<TAreaManagerWindow> echoManager_, fileManager_;
  std::unique_ptr<TImportWindow> importWindow_;
  std::unique_ptr<TExportForm> exportForm_;
  std::unique_ptr<TProcWin> procWin_;
  std::unique_ptr<TUnpRep> unpRep_;
  std::unique_ptr<TSearchAssistent> searchWindow_;
  std::unique_ptr<TFileReqEditor> fileReqEditor_;
  TAddrBook* addrBook_ = nullptr;  // frees itself when closed
  uint64_t jobSettings_ = 0;       // the subscription to UnpackOn, DiffOn, ALFont
  bool shutDown_ = false;
  bool settingsPending_ = false;  // ShowSettingsPage has posted the settings
  std::unique_ptr<plugin::TPluginHost> pluginHost_;
  std::unique_ptr<TPluginBrowser> pluginBrowser_;

  TEZBetterListBox* areaList_ = nullptr;
  QListWidget* wList_ = nullptr;
  std::unique_ptr<TListBoxLink> wListLink_;
  QLabel* countPanel_ = nullptr;
  // Double click or Return on an area row.
  void AreaListOpen();
  std::vector<QPointer<TMessageListWindow>> msgWindows_;
  size_t nextMsgWindow_ = 0;
  QMenu* alPopup_ = nullptr;
  TBetterPlacement* placement_ = nullptr;
};

// The process-wide main window; null while none exists.
TKQMainWindow* GetMainWindow();

}  // namespace velmaris

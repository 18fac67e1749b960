// The message list window: one message area, read in two views that share
// one frame. The list view shows the rows (a virtual multi-column list box,
// optionally beside the thread tree); the message view shows the header
// panel above the text of the current message.
//
// The window attaches to one area (SetArea), and the area points back at it
// (TArea::MessageWindow); the area's lock acts on the window through the
// shell services (AreaLocked, AreaUnlockedShared, AreaUnlocked). The rows,
// their texts, the thread tree and the rendering of a message are computed
// by the logic in app/logic (MsgList, MsgThreads, MsgRender, MsgText); the
// window only shows them. Texts stay byte strings in their code page until
// they are handed to a control.
//
// Other commands of the window (navigation, composing, the selection tools,
// area commands) live in files of their own; they find the window's menus,
// actions and controls by object name and register their actions for the
// enabling rules of UpdateCommands with RegisterCommand.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStyle>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorLinks.h"
#include "app/logic/Compose.h"
#include "app/logic/MsgList.h"
#include "app/logic/MsgRender.h"
#include "app/logic/MsgText.h"
#include "app/logic/MsgThreads.h"
#include "core/Mail.h"
#include "core/PubLst.h"
#include "core/Settings.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QStatusBar;
class QToolButton;

namespace velmaris {

class TArea;
class TBetterListBox;
class TBetterPlacement;
class TCustomBetterListBox;
class TImageList;
class TSpeedBar;
class TSpeedItem;
class TTreeNT;
class TTreeNTNode;
class TTextView;
class TListBoxLink;

class TMessageListWindow : public QMainWindow, public TObject {
  Q_OBJECT

 public:
  // When a command is enabled (UpdateCommands): in the message view; in the
  // message view of an area that is not bad mail, dupes or report; in the
  // message view on an editable message of such an area; in such an area;
  // in the list view.
  enum class TCommandRule { MessageView, WritableMessageView, Editable, Writable, ListView };

  // FormCreate. startDir ends in "/" and holds "MsgList.ini".
  explicit TMessageListWindow(const std::string& startDir, QWidget* parent = nullptr);
  // FormDestroy: detaches the area and saves the layout.
  ~TMessageListWindow() override;

  // --- The area ---------------------------------------------------------------------
  TArea* Area() const { return area_; }
  // Closed and about to go: no area is opened in it any more.
  bool Closing() const { return closing_; }
  // Attaches the window to the area (nullptr detaches it): opens its index,
  // builds the list and selects the area's last-read message.
  void SetArea(TArea* area);
  // What the message editors this window opens reach (from the main window).
  void SetEditorLinks(TEditorLinks links) { editorLinks_ = std::move(links); }
  // Rebuilds the rows (and, after the first screen, the thread tree);
  // nothing is selected afterwards.
  void BuildList();
  // Builds the thread tree now when the last BuildList left it to follow
  // the first screen; commands that read the tree call it first.
  void EnsureTree();
  bool TreePending() const { return treePending_; }
  // Rebuilds only the rows (display mask and sort order).
  void BuildDisplayList();

  // --- Current and displayed message ------------------------------------------------
  void SelectMessage(int index);
  // Selects the message and shows it (or the list view for -1).
  void GoToMessage(int index);
  void ShowCurrentMessage();
  // Renders a message read by the caller; the window takes it over.
  void DisplayMessage(std::unique_ptr<TMail> mail, int index);
  // Reads and renders the displayed message again (message view only).
  void RedisplayMessage();
  void SetMessageView(bool on);
  bool IsMessageView() const { return ViewMode == 1; }
  void ShowNextMessage();
  void ShowPrevMessage();
  void ShowFirstMessage();
  void ShowLastMessage();
  // Redraws the message's row and tree node and its thread group's marks.
  void RefreshMessageFlags(int index);
  // The value of a kludge line of the displayed message.
  std::string GetKludge(const std::string& name, const std::string& def) const;
  // The text with the macros of the displayed message expanded.
  std::string ExpandMacros(const std::string& text) const;

  // --- Searches over area indexes (-1 when nothing is found) ------------------------
  int FindNextByFlags(int from, uint16_t wanted, uint16_t rejected) const;
  int FindPrevByFlags(int from, uint16_t wanted, uint16_t rejected) const;
  int FindNextSameTopic(int from, uint16_t wanted, const std::string& subject,
                        uint16_t rejected) const;
  int FindPrevSameTopic(int from, uint16_t wanted, const std::string& subject,
                        uint16_t rejected) const;

  // --- Texts and commands ------------------------------------------------------------
  void UpdateCaption();
  void UpdateStatusBar();
  void UpdateCommands();
  void RegisterCommand(QAction* action, TCommandRule rule);

  // --- Area lock (through the shell services) -----------------------------------------
  void AreaLocked(bool exclusive);
  void AreaUnlockedShared();
  void AreaUnlocked();

  // --- Layout ("MsgList.ini") ----------------------------------------------------------
  std::string IniPath() const { return startDir_ + "MsgList.ini"; }
  void LoadLayout();
  void SaveLayout();

  // --- Find in the displayed text ------------------------------------------------------
  // Selects the next hit after the selection's start (from the top without
  // one); at the end asks "End of text. Continue on begin ?". False when
  // nothing was found.
  bool FindInText(const std::string& text, bool matchCase, bool wholeWord);

  // --- Controls --------------------------------------------------------------------------
  TBetterListBox* ListBox() const { return listBox_; }
  TTreeNT* TreeView() const { return tree_; }
  TTextView* MsgText() const { return msgText_; }
  TSpeedBar* MailToolbar() const { return toolbar_; }
  QWidget* HeaderPanel() const { return header_; }
  QStatusBar* StatusBar() const;
  // A menu, pop-up or action of the window by object name; nullptr when none.
  QMenu* Menu(const QString& name) const;
  QAction* Action(const QString& name) const;
  bool TreeShown() const;
  bool DisplayOrderNavigation() const;

  // --- State ------------------------------------------------------------------------------
  TIntegerList DisplayList;  // area indexes of the rows, in row order
  int SortKey = MsgSortKey::Received;
  bool Descending = false;
  int ViewMode = 0;  // 0 list view, 1 message view
  int CurrentIndex = -1;
  int DisplayedIndex = -1;
  std::unique_ptr<TMail> CurrentMail;
  bool Building = false;
  TThreadForest Threads;
  TKludgeValues KludgeValues;
  // The displayed message as handed to the text viewer, in its stored code
  // page (LATIN text in the ANSI code page, other text in the OEM one).
  TRenderedText Rendered;
  bool RenderedLatin = false;
  // The rows selected in the list (the list view) or the displayed message.
  std::vector<int32_t> SelectedMessages() const;

  // --- Plug-ins (MsgWinPlugins.cpp) ---------------------------------------------------
  // Adds the window's Plugins menu, filled from the registered services and
  // rebuilt whenever they change.
  void BuildPluginMenu();
  // Runs a service of the Plugins menu on this window's area and selection.
  void PluginMenuClick(uint32_t handle);

  // --- Handlers ----------------------------------------------------------------------------
  void ShowListClick() { SetMessageView(false); }
  void ShowNextClick() { ShowNextMessage(); }
  void ShowPrevClick() { ShowPrevMessage(); }
  void ShowLastClick() { ShowLastMessage(); }
  void BetterListBoxClick();
  void BetterListBoxDblClick();
  void BetterListBoxColumnClick(int column);
  void BetterListBoxKeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool MsgTxtKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void TreeViewChange(TTreeNTNode* node);
  void ToggleKillOnSelection();
  void Drucken1Click();
  void Suchen3Click();
  void Weitersuchen1Click();
  // Opens the dialog of the area's display mask; applying it rebuilds the
  // rows.
  void Anzeigefilter1Click();
  void Layoutladen1Click();
  void Layoutspeichern1Click();
  void MnROT13Click();
  void DisplaySwitchClick();
  void DisplayTreeClick();
  void MNNavAClick();
  void MnNavOClick();
  void NchsteArea1Click();
  void VorherigeArea1Click();
  void AbsenderknftigFiltern1Click();
  void Betreffknftigfiltern1Click();
  void Bearbeiten1Click();
  void MnCutClick();
  void MnPasteClick();
  void MnClearClick();
  void MnSaveClick();
  void E1Click();

  // --- Composing (MsgWinCompose.cpp) ---------------------------------------------------------
  // What the composers read: the area, the configuration lists, the shown
  // message, its kludge values and the reader pane.
  TComposeSource ComposeSource() const;
  void ComposeAnswer(bool withQuote);
  void ComposeComment(bool withQuote);
  void ComposeNetmailAnswer(bool withQuote);
  void ForwardClick();
  void NewMailClick();
  void EditClick();

  // --- Flags, searches, selection and the thread tree (MsgWinNavigate.cpp) -------------------
  void FlagBoxClick(QCheckBox* box);
  // Next or previous message from the current one with all wanted flags.
  void ShowFlaggedClick(bool next, uint16_t wanted);
  void ShowNextSameClick();
  void ShowPrevSameClick();
  void DoSelectAll();
  void DeSelectAll();
  void DoToggleSelection();
  void SelectThread(TTreeNTNode* node);
  void Threadaufholen1Click();
  void Threadausklappen1Click();
  void Threadeinklappen1Click();
  void Mailanzeigen1Click();
  void Allesausklappen1Click();
  void Alleseinklappen1Click();
  // A right button release at the point of the tree's viewport.
  void TreeViewMouseUp(QPoint point);
  bool TreeViewKeyDown(int key);

  // --- Messages handed on as lists (MsgWinLists.cpp) ----------------------------------------
  // The selected messages as area lists of their uplinks: each one
  // calibrated and added to the echo or file area manager.
  void AlsArealistverwendenClick();
  // The displayed message as a file list in the file request editor.
  void SDateienausMailanfordernClick();

  // --- Other windows (MsgWinForwards.cpp) ---------------------------------------------------
  // The main window in front.
  void Arealiste1Click();
  // The window of the chosen entry of the window list in front.
  void WListDblClick();
  void Einstellungen1Click();
  // The settings on the text-group page with the area's group chosen.
  void Texte1Click();
  // The settings on the display page.
  void Anzeige1Click();
  // The area's properties on the maintenance / new-mail page.
  void Aufrumen2Click();
  void NeueMails1Click();
  // The multi-area search with only this area chosen.
  void Suchen1Click();
  // The file request editor (menu and speed item).
  void Filelisten1Click();
  // Help on the window's own topic and the help index.
  void Hilfe1Click();
  void Hilfethemen1Click();
  // The list pop-up's close: the window hides.
  void Beenden1Click() { hide(); }

  // --- Selection tools and area commands (MsgWinTools.cpp) ------------------------------
  // The messages of the tree's node under the last context menu; the
  // selection tools use them while FromThreadMenu is set.
  std::vector<int> ThreadMessages;
  bool FromThreadMenu = false;
  // The thread selection while FromThreadMenu is set, else the selected
  // rows (list view) or the displayed message.
  std::vector<int32_t> GetSelection() const;
  void DeleteMsgsClick();
  void CopyMailsBtnClick();
  void DoSetFlagsClick();
  void AlsTextspeichern1Click();
  void Aufholen1Click();
  void Aufrumen1Click();
  void Optimieren1Click();
  void UUdecode1Click();
  void AbsenderinsAdressbuch1Click();
  // Nodelist browsers on the shown message's sender (its node when the point
  // is not listed) and on its recipient's name.
  void LookupSenderClick();
  void LookupReceiverClick();

 signals:
  // The area changed (SetArea) or the window is going.
  void areaChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ArrangeTopRow();

 private:
  void BuildForm();
  void BuildMenus();
  void BuildToolbar();
  void BuildHeaderPanel();
  void BuildComposeCommands();
  void BuildNavigateCommands();
  void BuildListCommands();
  // A speed item of the tool bar's section at left that runs the action and
  // is enabled with it; without a caption it shows the action's text.
  TSpeedItem* AddSpeedItem(int section, QAction* action, const char* name,
                           QStyle::StandardPixmap icon, int left, const QString& caption = {});
  // The left of a new section: half a button after the visible items.
  int NextSectionLeft() const;
  void BuildForwardCommands();
  void ShowAreaProperties(const char* page);
  void OpenComposition(TComposition& composition, TArea* heldArea = nullptr);
  QAction* MakeAction(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& key = {}, bool checkable = false);
  void ApplySettings();
  void ApplyLook(const SettingsValues& values);
  void SettingsChanged(const SettingsValues& values, const std::vector<SettingId>& changed);
  void BuildTree();
  void RefreshGroup(TThreadNode& group);
  void UpdateNavigator();
  void ShowRendered();
  void CopyText();
  void SelectAllText();
  const TMsgHeader* RowHeader(int row) const;
  void ShowHeaderPanel(const TMail& mail);
  void ListBoxGetData(int row, int col, int& image, QString& caption);
  void ListBoxGetStyles(bool& bold, QColor& fg, int row, bool selected);
  void ShowStep(const TMsgStep& step, bool forward);
  void MoveToArea(bool forward);
  void IEMRightCommit();
  void BuildToolCommands();

  std::string startDir_;
  TEditorLinks editorLinks_;
  TArea* area_ = nullptr;
  uint64_t settingsSubscription_ = 0;
  bool closing_ = false;
  bool treePending_ = false;
  std::vector<std::pair<QPointer<QAction>, TCommandRule>> commands_;

  // Find state.
  std::string findText_;
  bool findMatchCase_ = false, findWholeWord_ = false, findDone_ = false;

  // Controls.
  QStackedWidget* views_ = nullptr;
  QWidget* masterContainer_ = nullptr;  // the list view
  QWidget* textContainer_ = nullptr;    // the message view
  QSplitter* splitter_ = nullptr;
  TBetterListBox* listBox_ = nullptr;
  TTreeNT* tree_ = nullptr;
  TImageList* treeImages_ = nullptr;
  TTextView* msgText_ = nullptr;
  QWidget* header_ = nullptr;
  TSpeedBar* toolbar_ = nullptr;
  QGridLayout* topRow_ = nullptr;  // the bar, the navigator and the window list
  QWidget* navigator_ = nullptr;
  QLineEdit* iemRight_ = nullptr;
  QLabel* mLeft_ = nullptr;
  QProgressBar* ieGauge_ = nullptr;
  QListWidget* wList_ = nullptr;
  std::unique_ptr<TListBoxLink> wListLink_;
  TBetterPlacement* placement_ = nullptr;
  QLineEdit *sender_ = nullptr, *receiver_ = nullptr, *sndAddr_ = nullptr, *recAddr_ = nullptr;
  QToolButton *lookupSender_ = nullptr, *lookupReceiver_ = nullptr;
  QLineEdit *subject_ = nullptr, *date_ = nullptr, *time_ = nullptr, *byteSize_ = nullptr;
  std::vector<QCheckBox*> flagBoxes_;
};

// The window list caption of a message list window on an area.
std::string MessageWindowCaption(const TArea& area);
// The message list window open on the area, nullptr when none.
TMessageListWindow* MessageWindowOf(const TArea& area);

}  // namespace velmaris

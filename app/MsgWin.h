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
#include <memory>
#include <string>
#include <vector>

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
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QStatusBar;

namespace velmaris {

class TArea;
class TBetterListBox;
class TCustomBetterListBox;
class TImageList;
class TSpeedBar;
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
  // Attaches the window to the area (nullptr detaches it): opens its index,
  // builds the list and selects the area's last-read message.
  void SetArea(TArea* area);
  // Rebuilds the rows and the thread tree; nothing is selected afterwards.
  void BuildList();
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
  void Suchen3Click();
  void Weitersuchen1Click();
  void Layoutladen1Click();
  void Layoutspeichern1Click();
  void MnROT13Click();
  void DisplaySwitchClick();
  void DisplayTreeClick();
  void MNNavAClick();
  void MnNavOClick();
  void NchsteArea1Click();
  void VorherigeArea1Click();

 signals:
  // The area changed (SetArea) or the window is going.
  void areaChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildForm();
  void BuildMenus();
  void BuildToolbar();
  void BuildHeaderPanel();
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

  std::string startDir_;
  TArea* area_ = nullptr;
  uint64_t settingsSubscription_ = 0;
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
  QWidget* navigator_ = nullptr;
  QLineEdit* iemRight_ = nullptr;
  QLabel* mLeft_ = nullptr;
  QProgressBar* ieGauge_ = nullptr;
  QListWidget* wList_ = nullptr;
  std::unique_ptr<TListBoxLink> wListLink_;
  QLineEdit *sender_ = nullptr, *receiver_ = nullptr, *sndAddr_ = nullptr, *recAddr_ = nullptr;
  QLineEdit *subject_ = nullptr, *date_ = nullptr, *time_ = nullptr, *byteSize_ = nullptr;
  std::vector<QCheckBox*> flagBoxes_;
};

// The window list caption of a message list window on an area.
std::string MessageWindowCaption(const TArea& area);
// The message list window open on the area, nullptr when none.
TMessageListWindow* MessageWindowOf(const TArea& area);

}  // namespace velmaris

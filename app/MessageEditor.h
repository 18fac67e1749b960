// The message editor: the window in which a message is written (new,
// reply, comment, forward, an edited copy of a stored message, a netmail to
// an address-book entry or group). It holds the message as a TKQMail, shows
// its header fields and text, turns the text back into message lines with
// the target area's character rules (app/logic/EditorText.h) and stores it
// into the chosen area and as copies into further echomail areas
// (app/logic/EditorSave.h).
//
// Composers create it, set Origins, Addresses and Mail (to edit a stored
// message also Modifies and AllowAreaChange; a reply its reply reference;
// a composer holding an area's exclusive lock for the editor also the held
// area) and show it. Every editor frees itself when closed.
//
// Texts handed in and out are byte strings in the ANSI code page; they are
// converted to Unicode only inside the controls.
//
// A save that fails (the area cannot be written, or stays locked past the
// wait) keeps the text in the window and says why; closing with text that
// was not saved asks first.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EditorLinks.h"
#include "core/KQMail.h"
#include "core/NetLink.h"
#include "core/PubLst.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace velmaris {

class TArea;
class TBetterPlacement;
class TComboAttachment;
class TEnhComboBox;
class TListBoxLink;
class TSpeedBar;
class TVxCheckListBox;
struct TEditorSaveResult;

// The flag bits the editor shows (the message base's flag word).
struct EditorFlag {
  static constexpr uint16_t Kill = 0x0020;
  static constexpr uint16_t Send = 0x0040;
  static constexpr uint16_t Sent = 0x0080;
  static constexpr uint16_t Crash = 0x0100;
  static constexpr uint16_t Attach = 0x0200;
  static constexpr uint16_t Request = 0x0400;
  static constexpr uint16_t Editable = 0x0800;  // no check box; carried through
};

class TMessageEditor : public QMainWindow, public TObject {
  Q_OBJECT

 public:
  // Registers the editor in the list of open editors and loads an empty
  // message. The window deletes itself when closed. The links reach the
  // nodelist, the area list, the search window and the help.
  explicit TMessageEditor(TEditorLinks links = {}, QWidget* owner = nullptr);
  ~TMessageEditor() override;

  // The editors open now, oldest first.
  static const std::vector<TMessageEditor*>& OpenEditors();
  // Frees every open editor, newest first, without asking.
  static void FreeAll();
  // Closes every open editor, newest first; each with unsaved text asks
  // first. False when one of them stays open.
  static bool CloseAll();

  // --- Properties set by the composers ---------------------------------------
  // Reading builds the mail from the controls (text out) and returns the
  // editor's own mail; setting copies the mail into the editor and shows it.
  TKQMail& Mail();
  void SetMail(const TKQMail& mail);
  // The selected entry of the area selector; setting runs the area change.
  int AreaIndex() const;
  void SetAreaIndex(int index);
  bool AllowAreaChange() const;
  void SetAllowAreaChange(bool allow);
  // The index of the stored message this editor replaces; -1 for a new one.
  int Modifies() const { return modifies_; }
  void SetModifies(int index) { modifies_ = index; }
  // Lines put before the text (the REPLY kludge of a reply).
  const std::vector<std::string>& Header() const { return header_; }
  void SetHeader(const std::vector<std::string>& lines) { header_ = lines; }
  // The text, one entry per line.
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);
  // True: the sender address is the area uplink's and cannot be edited.
  bool DefaultAddress() const { return defaultAddress_; }
  void SetDefaultAddress(bool value);
  // The check boxes and the kept 0x0800 bit; setting crash, attach or
  // request selects "NETMAIL".
  uint16_t Flags() const;
  void SetFlags(uint16_t flags);
  void SetOrigin(const std::string& text);
  void SetOrigName(const std::string& text);
  void SetOrigAddress(const std::string& text);
  void SetDestName(const std::string& text);
  void SetDestAddress(const std::string& text);
  void SetSubject(const std::string& text);
  const std::string& Origin() const { return origin_; }
  const std::string& OrigName() const { return origName_; }
  const std::string& OrigAddress() const { return origAddress_; }
  const std::string& DestName() const { return destName_; }
  const std::string& DestAddress() const { return destAddress_; }
  const std::string& Subject() const { return subject_; }
  // The origin texts offered; fills NewOrigin's list.
  const std::vector<std::string>& Origins() const { return origins_; }
  void SetOrigins(const std::vector<std::string>& origins);
  // The uplinks whose sysop names and own addresses are offered as senders.
  void SetAddresses(const TLinkList& uplinks);
  // The replied message's reference (its MSGID number and MSGID text).
  uint32_t ReplyNumber() const { return replyNumber_; }
  void SetReplyNumber(uint32_t number) { replyNumber_ = number; }
  const std::string& ReplyMsgId() const { return replyMsgId_; }
  void SetReplyMsgId(const std::string& text) { replyMsgId_ = text; }
  // The area whose exclusive lock the composer holds for this editor: the
  // editor writes into it without locking again and releases one hold when
  // it ends (after a save or when closed).
  TArea* HeldArea() const { return heldArea_; }
  void SetHeldArea(TArea* area) { heldArea_ = area; }

  // --- Commands ---------------------------------------------------------------
  // Validates and stores; true when stored. The window stays open.
  bool SaveMail();
  void SaveMailClick();               // save and close
  void SpeichernundneueMail1Click();  // save, then a new message
  void SpeichernohneEnde1Click();     // save, then a new receiver
  void VerwerfenClick();              // discard after asking
  void NeueMail1Click();              // a new message
  void Undo1Click();
  void Zeilelschen1Click();         // delete the current line
  void Quotesneuumbrechen1Click();  // reflow quotes
  void Rot131Click();
  void InsertTextFile(bool fromOem);  // the two insert-text-file entries
  void BinrdateiUUEncoden1Click();
  void Suchen2Click();        // find
  void Weitersuchen1Click();  // find again
  void Ersetzen1Click();      // replace
  void Hilfe1Click();         // help on the editor's context
  void Hilfethemen1Click();   // the help index
  // One find step from the selection; true when a match was selected.
  bool FindNext(const std::string& text, bool matchCase, bool wholeWord);
  void SaveLeftToolbar();
  void SaveRightToolbar();
  void LoadLeftToolbar();
  void LoadRightToolbar();
  // Why the last save failed; empty after a successful one.
  const std::string& LastSaveError() const { return lastSaveError_; }
  // The caret position as the status bar shows it: 0-based line, 1-based
  // column.
  int CurrentLine() const { return curLine_; }
  int CurrentColumn() const { return curColumn_; }

  // --- Controls (object names as the form names them) --------------------------
  QComboBox *NewSender = nullptr, *NewSenderAddress = nullptr;
  QComboBox* NewReceiver = nullptr;
  QLineEdit* NewReceiverAddress = nullptr;
  QPushButton* LookupReceiver = nullptr;
  QToolButton* ChooseReceiver = nullptr;
  QAction *Einzelperson = nullptr, *Gruppe = nullptr;
  QLabel* LabelRec = nullptr;
  QComboBox* GroupChoice = nullptr;
  QLineEdit* NewSubject = nullptr;
  QComboBox* NewOrigin = nullptr;
  QWidget* OriginContainer = nullptr;
  TEnhComboBox* WriteArea = nullptr;
  QCheckBox *F_Send = nullptr, *F_Sent = nullptr, *F_Kill = nullptr, *F_Crash = nullptr,
            *F_Attach = nullptr, *F_Request = nullptr;
  QPlainTextEdit* Editor = nullptr;
  QWidget* CopyContainer = nullptr;
  TVxCheckListBox* CopyAreas = nullptr;
  QLineEdit* CopyDest = nullptr;
  QLabel* CopyText = nullptr;
  QPushButton *ShowCopy = nullptr, *HideCopy = nullptr;
  QListWidget* WList = nullptr;
  QLabel *LinePanel = nullptr, *ColumnPanel = nullptr, *FreePanel = nullptr;
  TSpeedBar *LeftSB = nullptr, *RightSB = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildForm();
  void BuildMenus();
  void BuildHeaderFields(QWidget* panel);
  void BuildCopyPanel(QWidget* panel);
  void BuildToolbars(QWidget* panel);
  QAction* MakeAction(const char* name, const QString& caption, const QKeySequence& key = {});
  void ApplyEditorLook();
  void FillCopyAreas();

  void WriteAreaChange();
  // Moves the selection off BAD, DUPES and separators; true when it moved.
  bool GuardForbiddenEntry();
  void RenewCaption();
  TArea* SelectedArea() const;
  void ForceNetmail();
  void NewOriginChange();
  void NewSubjectChange();
  void NewSenderChange();
  void NewSenderAddressChange();
  void NewReceiverChange();
  void NewReceiverAddressChange();
  void NewReceiverExit();
  void FlagClicked(QCheckBox* box);
  void ReceiverKindChanged();
  void CopyAreasClickCheck();
  void ShowCopyClick();
  void HideCopyClick();
  void EditorSelectionChange();
  void LookupReceiverClick();
  void WListDblClick();
  void ResetReceiver();
  bool SubjectValid();
  bool QuoteContinuation();
  void InsertAtCaret(const std::string& ansiText);
  void RunSearchForm(bool replace);
  void SARFind();
  void SARReplace();
  void SARReplaceAll();
  void ReleaseHeldArea();
  std::string ToolbarFile(bool left) const;
  void SetBarWidth(TSpeedBar* bar, int width);
  int BarWidth(const TSpeedBar* bar) const;
  void LoadToolbar(TSpeedBar* bar, bool left);
  void SaveToolbar(TSpeedBar* bar, bool left);
  void ApplyBarWidths();
  bool TextChangedSinceSave() const;

  const TEditorLinks links_;
  TKQMail mail_;
  TLinkList uplinks_;  // a view of the uplinks given to SetAddresses
  bool defaultAddress_ = true;
  bool hiddenEditable_ = false;
  std::string destAddress_, destName_;
  std::vector<std::string> header_;
  int modifies_ = -1;
  std::string origAddress_, origin_;
  std::vector<std::string> origins_;
  std::string origName_, subject_;
  uint32_t replyNumber_ = 0;
  std::string replyMsgId_;
  TArea* heldArea_ = nullptr;
  int curLine_ = 0, curColumn_ = 1;
  int prevAreaIndex_ = -1;
  // The toolbars' widths: three and four buttons at first (BuildToolbars).
  int leftWidth_ = 0, rightWidth_ = 0;
  // The widths they start with, for a stored layout that names none.
  int defaultLeftWidth_ = 0, defaultRightWidth_ = 0;
  bool changingArea_ = false;
  // Search state.
  int lastMatch_ = -1;
  std::string searchText_, replaceText_;
  bool matchCase_ = false, wholeWord_ = false, searchReady_ = true;

  std::string lastSaveError_;
  bool saved_ = false;  // nothing typed since the last save or load
  bool closing_ = false;
  std::unique_ptr<TComboAttachment> areaLink_, receiverLink_, groupLink_;
  std::unique_ptr<TListBoxLink> wListLink_;
  TBetterPlacement* placement_ = nullptr;
  uint64_t settingsSubscription_ = 0;
};

}  // namespace velmaris

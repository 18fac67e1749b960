// The file request editor: a BBS's file list (or a message text) in a
// virtual list, the file areas found in it, the request being built, the
// magic names, and the commands that save, recover and send the request.
// The editor keeps its own copy of the chosen mailbox. Its position is kept
// in the registry (section "FrEd"); the file list is shown in the settings'
// file-list font, which it follows when the settings change. While shown it
// is listed in the window list under its caption.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/MailBox.h"
#include "core/PubLst.h"
#include "core/Settings.h"
#include "mailer/FileRequest.h"
#include "platform/CodePage.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QPushButton;
class QToolButton;

namespace velmaris {

class TBetterPlacement;
class TComboAttachment;
class TConfigStore;
class TFileListModel;
class TListBoxLink;

class TFileReqEditor : public QMainWindow, public TObject {
  Q_OBJECT
 public:
  explicit TFileReqEditor(TConfigStore& store, QWidget* parent = nullptr);
  ~TFileReqEditor() override;

  // Copies the mailbox; shows its address and command; loads its file list
  // and pending request when auto-load is on.
  void SetMailBox(const TMailBox& mailbox);
  const TMailBox& MailBox() const { return mailbox_; }
  void SetOutbound(const std::string& outbound);  // one trailing "/" dropped
  void SetDefaultZone(int32_t zone) { defaultZone_ = zone; }
  // The system's name that the caption shows before its address.
  void SetTitleName(const std::string& name) {
    chosenName_ = name;
    UpdateCaption();
  }
  void SetTabSize(int size);
  int TabSize() const { return tabSize_; }
  // Loads a file list (the name already loaded does nothing); failures are
  // reported to the user.
  void SetFileName(const std::string& name);
  // Takes a message text as the file list, under the name "Mailtext".
  void LoadMailText(const std::string& text);
  void LoadRequest();
  bool WriteRequest();
  void Recover();
  void ScanAreas();
  // A line in the ANSI code page, or in page: shown in Unicode, written
  // into the request file as these bytes. Names picked from the file list
  // and typed ones go in in the list's code page, and a pending request is
  // read back from it.
  void AddRequestLine(const std::string& line);
  void AddRequestLine(const std::string& line, platform::CodePage page);
  std::vector<std::string> RequestLines() const;
  const TFileList& FileList() const { return list_; }
  const std::vector<TFileArea>& Areas() const { return areas_; }
  // A search runs (window messages are processed while it does).
  bool Searching() const { return searching_; }

  // Opens the mailbox's properties dialog on the editor's copy of it (the
  // shell's dialog; without it the command does nothing).
  std::function<void(TMailBox& mailbox)> MailboxPropertiesHook;

  QLineEdit *EdAddress, *EdFileList, *EdNewName;
  QPushButton* BtnFileList;
  QComboBox* CbMailer;
  // The title bars' show/hide buttons of the request and magic-name panels.
  QToolButton *RequestPanelBtn, *MagicPanelBtn;
  QWidget *RequestPanel, *MagicPanel;
  QListView* FileListBox;
  QListWidget *RequestList, *MagicList, *AreaList;
  QLabel *CountLabel, *AreaTitle;
  QPushButton* BtnAdd;
  QAction *NewRequest, *ChooseSystem, *RequestIt, *SaveAndClose, *ImmediateRequest,
      *LoadRequestAction, *RecoverAction, *SearchAction, *SearchAgain, *Calibrate, *DeleteLine,
      *ClearAll, *LoadFileList, *MailboxProperties;
  // Menu only: closing without saving and the settings window's pages.
  QAction *CloseWithoutSaving, *SettingsAction, *UplinksAction, *MailboxesAction, *DisplayAction;
  // The address field's button: choose system.
  QPushButton* BtnChooseSystem;
  // The window list; a double click brings the window forward.
  QListWidget* WList;

 public slots:
  void RequestItClick();
  void ImmediateRequestClick();
  void NewRequestClick();
  void ChooseSystemClick();
  void CalibrateClick();
  // The find dialog (text and match case), then the search.
  void SearchClick();
  // Searches the text from the line after the current one.
  void SearchAgainClick();
  void AddClick();
  void AddressExit();
  void FileListActivated(const QModelIndex& index);
  void AreaClick();
  void FileListClick(const QModelIndex& index);
  // An open dialog; the chosen file becomes the file list.
  void LoadFileListClick();
  void MailboxPropertiesClick();
  void DeleteLineClick();
  void ClearAllClick();
  // A panel shrinks to its title bar, or grows back.
  void ShowRequestPanel(bool shown);
  void ShowMagicPanel(bool shown);
  void WListDblClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void UpdateCaption();
  // The window's caption, and its line in the window list while listed.
  void SetCaption(const QString& caption);
  void UpdateCount();
  // The status line's text, painted at once (the work that follows keeps
  // the window busy).
  void ShowStatus(const QString& text);
  // The next line holding the text, window messages processed on the way;
  // -1 when none, or when the file list changed meanwhile.
  int FindFrom(int from);
  // The code page of the file list (the settings' FileListPage). Area names,
  // the calibrator's lines and request lines are bytes in it.
  platform::CodePage ListPage() const;
  QString ListText(const std::string& bytes) const;
  // Typed text in the list's page; nothing when it has no place there.
  std::optional<std::string> ListBytes(const QString& text) const;
  // The area list's names from the found areas.
  void ShowAreaNames();
  // The file-list font and character set from the settings.
  void ApplySettings(const SettingsValues& values);
  std::string Outbound() const;
  TConfigStore& store_;
  TMailBox mailbox_;
  std::string chosenName_, outbound_;
  QString searchText_;
  bool matchCase_ = false, searching_ = false, listed_ = false;
  uint64_t listGeneration_ = 0;  // counts the file lists loaded
  int32_t defaultZone_ = 2;
  int tabSize_ = 8;
  bool autoLoad_ = true;
  TFileList list_;
  std::vector<TFileArea> areas_;
  TFileListModel* model_;
  std::unique_ptr<TComboAttachment> mailerLink_;
  std::unique_ptr<TListBoxLink> wListLink_;
  TBetterPlacement* placement_;
  uint64_t settingsSubscription_ = 0;
};

}  // namespace velmaris

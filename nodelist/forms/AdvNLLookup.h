// The nodelist browser: filters the compiled nodelist by system name, sysop,
// location and address parts, lists the matching records in eight columns,
// shows one record's details, takes a shown value as the new filter, and
// copies a record into the address book or the mailboxes. The searches run
// on the updater's thread (nodelist/NodelistBrowse.h), so the window stays
// responsive.
//
// Opened two ways: by the main window as a tool window that frees itself
// when closed (ShowNodelistBrowser), and as a modal picker by the editor or
// the address book (PickFromNodelist), which returns the chosen record.
// The lookup stays locked while a browser is open, so a compiler run does
// not reopen the index set under it.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/FidoAddress.h"
#include "nodelist/NodelistBrowse.h"

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QWidget;

namespace velmaris {

class TAnimatedSymbol;
class TBetterListBox;
class TGroup;
class TMBList;
class TNodelistLookup;
class TVxSpinEdit;

// The record a picker returns: its address and its texts as the list
// stores them (OEM code page, "_" shown as blanks).
struct TNodelistPick {
  TFidoAddr Address;
  std::string System, Sysop, City;
};

// Where the context menu's commands put a record. Null members switch the
// command off.
struct TNodelistTargets {
  TGroup* AddressBook = nullptr;
  TMBList* Mailboxes = nullptr;
  // The name of the first mailer profile, or empty: the command of a new
  // mailbox.
  std::function<std::string()> FirstMailerProfile;
};

class TAdvNLLookup : public QDialog {
  Q_OBJECT

 public:
  TAdvNLLookup(TNodelistLookup& lookup, TNodelistTargets targets = {}, QWidget* parent = nullptr);
  // Waits for a running search, then releases the lookup.
  ~TAdvNLLookup() override;

  // The picker: shows the OK and cancel buttons and the window modally
  // (through the modal hook); true when it closed with OK.
  bool Execute();
  // The record shown in the details; nothing when none is selected.
  std::optional<TNodelistPick> Picked() const;

  // Starts a search with the filter as the controls hold it.
  void EnhButton1Click();
  void RestFilterClick();
  void ResNameButtonClick();
  void ResSysopButtonClick();
  void ResCityButtonClick();
  void ResAddrButtonClick();
  void ListClick();
  void InsAdressbuchaufnehmen1Click();
  void InMailboxenaufnehmen1Click();
  // The filter the controls hold (texts in the OEM code page).
  TNodelistFilter Filter() const;
  // The records the list shows.
  const std::vector<int>& Records() const { return records_; }
  TNodelistUpdater& Updater() { return *updater_; }

  QLineEdit *EdName, *EdSysop, *EdCity;
  TVxSpinEdit *SpZone, *SpNet, *SpNode, *SpPoint;
  QPushButton *EnhButton2, *RestFilter;
  TBetterListBox* List;
  QLabel* StatusBar;
  // The busy sign while the filter runs.
  TAnimatedSymbol* Anim;
  QLineEdit *ResAddr, *ResName, *ResSysop, *ResCity, *ResPhone, *ResRate, *ResFlags;
  QWidget* PnOKC;
  QPushButton *BtnOk, *BtnCancel;
  QMenu* AddressPopup;
  QAction *InsAdressbuchaufnehmen1, *InMailboxenaufnehmen1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TNodelistFilter Starting();
  void Finished(std::vector<int> records, bool more);
  void ShowDetails(int row);
  void TextFilter(QLineEdit* only, const QString& text);
  void OpenPopup(QPoint at);

  TNodelistLookup& lookup_;
  TNodelistTargets targets_;
  std::vector<int> records_;
  std::unique_ptr<TNodelistUpdater> updater_;
  bool picker_ = false;
};

// The main window's nodelist search: a tool window that frees itself when
// closed.
TAdvNLLookup* ShowNodelistBrowser(TNodelistLookup& lookup, TNodelistTargets targets = {},
                                  QWidget* parent = nullptr);
// The picker of the editor, the address book and the mailer window: the
// chosen record, or nothing when the user cancelled. start: the filter the
// browser opens with; caption: its caption instead of the browser's own.
std::optional<TNodelistPick> PickFromNodelist(TNodelistLookup& lookup,
                                              const TNodelistFilter& start = {},
                                              QWidget* parent = nullptr,
                                              const char* caption = nullptr);

}  // namespace velmaris

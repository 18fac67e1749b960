// The settings window: one page per part of the configuration. The scalar
// settings are edited on a copy of the settings model's values and taken
// over by Apply or OK (which save the configuration); Cancel drops them.
// The list pages (uplinks, mailboxes, areas, packers, ...) work on the lists
// themselves, as the assistants do; their entry fields are taken over with
// the settings. Cancel (or closing the window) puts the lists back as they
// were when the window opened or was last applied (ConfigSnapshot.h).
// Controls carry the names of the settings they edit.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "core/Settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace velmaris {

class TConfigEditSnapshot;
class TConfigStore;
class TListBoxLink;
class TPageControl98;
class TPckList;
class TPubLst;
class TAreaManager;
struct TLineSettingsAccess;

class TSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // packers: the packer list (may be null); echoAreas: the echo-area
  // manager the add-area assistant orders through (may be null).
  TSettingsDialog(TConfigStore& store, TPckList* packers, TAreaManager* echoAreas,
                  QWidget* parent = nullptr);
  ~TSettingsDialog() override;

  // Every control from the current settings and lists.
  void ShowDialog();
  // Takes the controls over and saves; false (nothing taken) when an input
  // is refused, after saying why.
  bool ApplyClick();
  void OKClick();
  void CancelClick();
  // Cancel, Esc and the close box: the lists put back, the window closed.
  void reject() override;
  // Shown for the first time, the window takes the size its pages need,
  // within the room its screen has for it and its frame.
  void setVisible(bool visible) override;

  // The list pages.
  void AddLinkClick();
  void KillLinkClick();
  void UplinkUpClick();
  void UplinkDownClick();
  void ShowLinkPropertiesClick();
  void AddMBClick();
  void DeleteMBClick();
  void MBUpClick();
  void MBDownClick();
  void MailboxPropertiesClick();
  void DoAddAreaClick();
  void KillAreaClick();
  void AddSepClick();
  void AreaUpClick();
  void AreaDownClick();
  void AreaSortClick();
  void ShowAreaPropertiesClick();
  void AreaPrototypeClick();
  // Offers the message base's areas that are not configured, one by one.
  void AreaAddOldOnesClick();
  void UpdateInfo();
  void AddNewPackerClick();
  void KillPackerClick();
  void PackerUpClick();
  void PackerDownClick();
  void PackerPropertiesClick();

  // Text groups: the part chosen in TextCombo shown in TextText, and the
  // memo stored back into it.
  void TGListClick();
  void TextComboChange();
  void TextTextExit();
  void GroupNameChange();
  // Inserts the macro of the clicked line of the macro list at the caret.
  void VarsClick();
  // Shows the track bar's number of message windows in WinStatus.
  void WinLimitChange();
  // A file-name field drops one double quote at its start and one at its end.
  static void FileNameChange(QLineEdit* edit);

  TPageControl98* Notebook() const { return notebook_; }
  // The text-group page with the group at index chosen and shown.
  void ShowTextGroup(int index);
  // The display page and, on it, its general display settings.
  void ShowDisplayPage();
  // The page of that object name ("TabMailboxen", ...); an unknown name
  // leaves the page as it is.
  void ShowPage(const std::string& name);

 private:
  struct Binding {
    SettingId id;
    QWidget* control;
  };
  // The client size at which every page shows whole, every tab too.
  QSize ContentSize() const;
  QWidget* Page(const char* name, const QString& caption, QVBoxLayout*& layout);
  QWidget* Bind(SettingId id, QWidget* control);
  QWidget* Setting(SettingId id, const QStringList& choices = {});
  void BuildIdentity();
  void BuildUplinks();
  void BuildMailboxes();
  void BuildAreas();
  void BuildPackers();
  void BuildTosser();
  void BuildDisplay();
  void BuildTextGroups();
  void BuildLists();
  void BuildFilters();
  void BuildAutoSend();
  void BuildMailer();
  // The line and dialling settings as this window's fields hold them.
  TLineSettingsAccess PendingLineSettings();
  void BuildUnpackJobs(QVBoxLayout* layout);
  // The directory edit of the setting with its picker button.
  QWidget* DirectoryRow(SettingId id, const char* button, const QString& caption);
  QWidget* WinLimitRow();
  // A list box that the list keeps filled.
  QListWidget* ListBox(QLayout* layout, const char* name, TPubLst& list);
  QPushButton* Button(QLayout* row, const char* name, const QString& caption,
                      std::function<void()> handler);
  QPushButton* Button(QLayout* row, const char* name, const QString& caption,
                      void (TSettingsDialog::*handler)());
  // only: the settings whose controls are loaded (all without).
  void LoadControls(const SettingsValues& values,
                    const std::function<bool(SettingId)>& only = nullptr);
  void ReadControls(SettingsValues& values) const;
  // The entry fields of the selected mailbox or packer into its object;
  // false (after an error box) when refused.
  bool StoreMailbox();
  bool StorePacker();
  void ShowMailbox();
  void ShowPacker();
  // The uplink page's buttons for the selected uplink.
  void ShowUplinkButtons();
  int Selected(QListWidget* box) const;
  void Select(QListWidget* box, int index);
  bool NewFoldersWanted(const SettingsValues& values) const;
  void Refused(const std::string& text);
  // Refused, with the field of the setting shown (its page chosen) and
  // focused.
  void RefusedField(SettingId id, const std::string& text);
  // A new snapshot (what is now is what Cancel returns to), the saves held
  // back from here on.
  void StartEdits();
  // Ends holding the saves back: the configuration is saved when a change
  // asked for it. False when that save failed (the user was told).
  bool EndEdits();

  TConfigStore& store_;
  // While the window is open the configuration is written only by Apply,
  // OK and Cancel (after the lists are put back): the saves that the list
  // pages' changes ask for are held back (TConfigStore::BeginChanges).
  std::unique_ptr<TConfigEditSnapshot> snapshot_;
  bool batching_ = false;
  TPckList* packers_;
  TAreaManager* echoAreas_;
  TPageControl98* notebook_ = nullptr;
  QWidget* buttons_ = nullptr;
  bool sized_ = false;
  std::vector<Binding> bindings_;
  std::vector<std::pair<TPubLst*, std::unique_ptr<TListBoxLink>>> links_;
  QListWidget *linkList_ = nullptr, *mbList_ = nullptr, *areaList_ = nullptr,
              *packerList_ = nullptr;
  QLineEdit *mbName_ = nullptr, *mbSysop_ = nullptr, *mbAddress_ = nullptr;
  QPlainTextEdit* mbNumbers_ = nullptr;
  QLineEdit *pckName_ = nullptr, *pckPack_ = nullptr, *pckUnpack_ = nullptr;
  QPushButton *killArea_ = nullptr, *killLink_ = nullptr, *areaProperties_ = nullptr;
  // The buttons of a list page that act on the selected entry: enabled only
  // while one is selected.
  std::vector<QPushButton*> linkEntryButtons_, mbEntryButtons_, areaEntryButtons_, pckEntryButtons_;
  int shownMailbox_ = -1, shownPacker_ = -1;
  // The entry fields were changed since they were shown: only then are
  // they stored (the entry may have been changed through its window).
  bool mbEdited_ = false, pckEdited_ = false;
  QLabel* winStatus_ = nullptr;
  QListWidget* tgList_ = nullptr;
  QComboBox* textCombo_ = nullptr;
  QLineEdit* groupName_ = nullptr;
  QPlainTextEdit* textText_ = nullptr;
  QListWidget* vars_ = nullptr;
  int shownGroup_ = -1, shownPart_ = -1;
};

// Opens the settings window modally (through the modal hook); true when it
// ended with OK. prepare, when given, runs before the window shows.
bool ShowSettingsDialog(TConfigStore& store, TPckList* packers, TAreaManager* echoAreas,
                        QWidget* parent,
                        const std::function<void(TSettingsDialog&)>& prepare = {});

}  // namespace velmaris

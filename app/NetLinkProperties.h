// The properties window of an uplink: its name and address, the point's
// name and address under it, the passwords, the mailbox that calls it, the
// packer of its bundles and the two area robots with the layout of their
// area lists. Apply stores the fields into the uplink (an empty name or an
// address that does not parse is refused) and renames its list entry.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velmaris {

class TLinkList;
class TMBList;
class TNetLink;
class TPckList;
class TVxSpinEdit;

class TNetLinkProperties : public QDialog {
  Q_OBJECT

 public:
  // links: the list the uplink is in (its entry is renamed); mailboxes and
  // packers fill the two choices (packers may be null).
  TNetLinkProperties(TNetLink& link, TLinkList& links, const TMBList& mailboxes,
                     const TPckList* packers, QWidget* parent = nullptr);

  void Fill();
  // False, after an error box, when a field is refused.
  bool bApplyClick();
  void Button3Click();  // OK
  void Button2Click();  // Cancel
  void Modified();

  QLineEdit *ConnectToName, *ConnectToAddr, *ConnectFromName, *ConnectFromAddr, *ConnectPassword,
      *pwSession, *pwAreaFix, *EAFRec, *EAFSend, *pwFileScan, *EFSRec, *EFSSend;
  QComboBox *UpLinkMB, *CbPacker;
  QCheckBox* CBusePacker;
  TVxSpinEdit *SAFNameO, *SAFDescO, *CAFDesc, *SFSNameO, *SFSDescO, *CFSDesc;
  QPlainTextEdit *AFMemo, *FSMemo;
  QPushButton *bApply, *OKButton, *CancelButton;

 private:
  void UpdateCaption();

  TNetLink& link_;
  TLinkList& links_;
  bool filling_ = false;
};

}  // namespace velmaris

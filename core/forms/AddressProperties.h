// The properties dialog of an address book entry: name, e-mail address,
// FidoNet address and comment lines. Modeless; one per entry, kept in the
// entry's PropertiesDialog while open and freed when it closes or when the
// entry goes. Apply stores everything inside one update bracket of the entry.
#pragma once

#include <QDialog>

#include "core/PubLst.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velmaris {

class TFriend;

class TAddressProperties : public QDialog, public TObject {
  Q_OBJECT

 public:
  explicit TAddressProperties(TFriend& entry);

  // Stores the fields; false (nothing stored, after an error box) for a
  // FidoNet address that does not parse.
  bool BtnApplyClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Fill();
  void Modified();
  void UpdateCaption();
  void Button3Click();

  TFriend& entry_;
  QLineEdit* edName_ = nullptr;
  QLineEdit* edEMail_ = nullptr;
  QLineEdit* edFido_ = nullptr;
  QPlainTextEdit* comment_ = nullptr;
  QPushButton* apply_ = nullptr;
};

// Shows the entry's dialog in front, making it on first use.
TAddressProperties* ShowFriendProperties(TFriend& entry);

}  // namespace velmaris

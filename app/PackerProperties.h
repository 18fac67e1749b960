// The properties window of a packer: its name, the pack and unpack command
// lines (the integrated extractors offered for unpacking) and the signature
// that recognises its archives, an offset and eight byte values (-1 any
// byte). Apply refuses an empty name and renames the list entry.
#pragma once

#include <QDialog>
#include <array>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmaris {

class TPacker;
class TPckList;
class TVxSpinEdit;

class TPackerProperties : public QDialog {
  Q_OBJECT

 public:
  TPackerProperties(TPacker& packer, TPckList& list, QWidget* parent = nullptr);

  void Fill();
  bool BtnApplyClick();
  void Button3Click();  // OK
  void Button2Click();  // Cancel

  QLineEdit *PackerName, *PackerPack;
  QComboBox* PackerUnpack;
  TVxSpinEdit* PackerOffset;
  std::array<TVxSpinEdit*, 8> Bytes;  // Byte1 .. Byte4, Byte5 .. byte8
  QPushButton *BtnApply, *OKButton, *CancelButton;

 private:
  TPacker& packer_;
  TPckList& list_;
  bool filling_ = false;
};

}  // namespace velmaris

// The dialog that picks an uplink and a text file holding its area list.
#pragma once

#include <QDialog>

class QComboBox;

namespace velmaris {

class TConfigStore;
class TFilenameEdit;
class TNetLink;

class TALReq : public QDialog {
  Q_OBJECT

 public:
  explicit TALReq(TConfigStore& store, QWidget* parent = nullptr);

  QComboBox* LCombo;
  TFilenameEdit* FN;

  // The uplink chosen; null when the list is empty.
  TNetLink* Uplink() const;

 private:
  TConfigStore& store_;
};

}  // namespace velmaris

// The dialog for a new area entry of the area-list manager: the tag, the
// uplink that offers it and its description.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace velmaris {

class TConfigStore;
class TNetLink;

class TAreaDescReq : public QDialog {
  Q_OBJECT

 public:
  // robotName: "AreaFix" or "FileScan", for the caption.
  TAreaDescReq(TConfigStore& store, const std::string& robotName, QWidget* parent = nullptr);

  QLineEdit* eName;
  QComboBox* cUplink;
  QLineEdit* eDesc;

  TNetLink* Uplink() const;

 private:
  TConfigStore& store_;
};

}  // namespace velmaris

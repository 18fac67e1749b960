// The question which kind of area list a message is, when its sender is
// neither of the uplink's robots: an echo list (AreaFix) or a file echo
// list (FileScan). With Remember ticked the sender becomes that robot of
// the uplink, so its next lists are taken without asking.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QRadioButton;

namespace velmaris {

enum class TRobotKind;

class TLTypeReq : public QDialog {
  Q_OBJECT

 public:
  // sender and uplink: the texts the question names (ANSI).
  TLTypeReq(const std::string& sender, const std::string& uplink, QWidget* parent = nullptr);

  TRobotKind Kind() const;
  bool RememberSender() const;

  QRadioButton *RbEchoList, *RbFileList;
  QCheckBox* CbRemember;
};

}  // namespace velmaris

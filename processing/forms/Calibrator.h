// The area-list parser calibration: the list text line by line, the three
// column values (name column, description row relative to the name row,
// description column) and what the selected line yields with them. With
// "Set as default for this uplink" ticked, OK stores the values into the
// uplink's AreaFix or FileScan columns.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;

namespace velmaris {

class TNetLink;
class TTextListBox;
class TVxSpinEdit;
enum class TRobotKind;

class TCalibrator : public QDialog {
  Q_OBJECT

 public:
  // uplink may be null (the box is then hidden); its columns of the kind
  // are the start values.
  TCalibrator(const std::vector<std::string>& lines, TNetLink* uplink, TRobotKind kind,
              QWidget* parent = nullptr);

  int NameO() const;
  int DescO() const;
  int DescL() const;

  TTextListBox* MsgText;
  TVxSpinEdit *SNOfs, *SDLine, *SDOfs;
  QLabel *LAreaName, *LAreaDesc;
  QCheckBox* UseAsStandard;

  // Shows what the selected line yields.
  void ShowResult();
  // Selects the first line that yields an area.
  void SelectFirstArea();
  void OKClick();

 private:
  TVxSpinEdit* AddSpin(const char* name, int min, int max, int value);

  std::vector<std::string> lines_;
  TNetLink* uplink_;
  TRobotKind kind_;
};

}  // namespace velmaris

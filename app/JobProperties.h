// The properties window of an unpack job: its name, the file mask of the
// archives, where they are unpacked, and what happens to an archive after
// unpacking (deleted, moved to a directory shown only for that choice, or
// kept). Apply refuses an empty name or mask and renames the list entry.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmaris {

class TDirectoryEdit;
class TUnpackJob;
class TUnpJobList;

class TJProperties : public QDialog {
  Q_OBJECT

 public:
  TJProperties(TUnpackJob& job, TUnpJobList& list, QWidget* parent = nullptr);

  void Fill();
  bool bApplyClick();
  void Button3Click();  // OK
  void Button2Click();  // Cancel
  // The move directory is shown only while the archive is to be moved.
  void JobSrcChange();

  QLineEdit* Jobname;
  QLineEdit* Jobmask;
  QPushButton* GetFTN;
  TDirectoryEdit* JobDir;
  QComboBox* JobSrc;
  QWidget* JobMove;
  TDirectoryEdit* JobMoveDir;
  QPushButton *bApply, *OKButton, *CancelButton;

 private:
  TUnpackJob& job_;
  TUnpJobList& list_;
  bool filling_ = false;
};

}  // namespace velmaris

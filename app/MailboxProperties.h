// The properties window of a mailbox: name, sysop, address, the command
// that calls it (a mailer profile's name or a command line), the phone
// numbers and the layout of its BBS file list. Apply refuses an empty name
// or an address that does not parse; it renames the list entry. The area
// indicator is matched against the file list's bytes, so it is shown and
// taken in the file list's code page.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/CodePage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velmaris {

class TFilenameEdit;
class TMailBox;
class TMBList;
class TVxSpinEdit;

class TMBProperties : public QDialog {
  Q_OBJECT

 public:
  // profiles: the mailer profiles' names offered for the command; listPage:
  // the code page of file lists (SettingsValues::FileListPage).
  TMBProperties(TMailBox& box, TMBList& list, const std::vector<std::string>& profiles,
                platform::CodePage listPage, QWidget* parent = nullptr);

  void Fill();
  bool bApplyClick();
  void BtnOkClick();
  void BtnAbortClick();
  // Browses for the program that calls the system (the open dialog CMDDLg).
  void GetJobDirClick();

  QLineEdit *MBName, *MBSysop, *mbAddress, *EdInd;
  QComboBox* mbCMD;
  QPlainTextEdit* NumberMemo;
  TFilenameEdit* mbFileList;
  TVxSpinEdit *SpLine, *SpCol, *EdSize;
  QPushButton *bApply, *BtnOk, *BtnAbort, *GetJobDir;
  // Beside an empty command: the deleted profile the mailbox called.
  QLabel* LostProfile;

 private:
  TMailBox& box_;
  TMBList& list_;
  platform::CodePage listPage_;
  bool filling_ = false;
  // The deleted profile the mailbox called, shown beside an empty command.
  std::string lostProfile_;
  void ShowLostProfile();
};

}  // namespace velmaris

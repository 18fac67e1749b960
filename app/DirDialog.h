// The small choosers of a directory and of a file name. They wait for their
// answer by processing pending messages instead of running a modal loop, so
// the caller keeps control of the form while it is shown.
//
// TDirDialogWindow: a drive box linked to a directory list, OK and Cancel.
// TEnhFileRequest: the same with a file list and a file-name edit; its
// descendant TAppendRequest adds the switches of saving messages as text.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velmaris {

class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;

// The OK and Cancel flags of a chooser and the wait for one of them.
class TChooserFlags {
 public:
  bool OkPressed() const { return ok_; }
  bool CancelPressed() const { return cancel_; }

 protected:
  // Clears both flags, shows the form and waits until one is set (a modal
  // hook answers instead: an accepted result counts as OK, any other as
  // Cancel). True when OK was pressed.
  bool WaitForFlags(QWidget& form);
  bool ok_ = false;
  bool cancel_ = false;
};

class TDirDialogWindow : public QDialog, public TChooserFlags {
  Q_OBJECT

 public:
  explicit TDirDialogWindow(QWidget* parent = nullptr);

  bool Execute();
  // The directory shown in the directory list, ending in "/".
  QString GetDirectory() const;
  // Expands the path and shows its directory part (up to and including the
  // last "/"); a path without one leaves the list where it is.
  void SetDirectory(const QString& path);
  // The same with the folder's bytes on disk (a name that is not UTF-8 is
  // shown in the ANSI page and given back as it is on disk); a missing
  // folder shows the nearest one above it that exists.
  std::string GetDirectoryBytes() const;
  void SetDirectoryBytes(const std::string& path);

  TDirectoryListBox* DirLB() const { return dirLB_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void OkClick();
  void Button2Click();
  TDriveComboBox* drive_ = nullptr;
  TDirectoryListBox* dirLB_ = nullptr;
};

class TEnhFileRequest : public QDialog, public TChooserFlags {
  Q_OBJECT

 public:
  explicit TEnhFileRequest(QWidget* parent = nullptr);

  bool Execute();
  // The directory list's directory followed by the text of FileName.
  QString GetFileName() const;
  void SetDirectory(const QString& path);

  TDirectoryListBox* Directory() const { return directory_; }
  QLineEdit* FileName() const { return fileName_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  // The row of switches a descendant adds above the buttons.
  QWidget* extras_ = nullptr;

 private:
  void Button1Click();
  void Button2Click();
  TDriveComboBox* drive_ = nullptr;
  TDirectoryListBox* directory_ = nullptr;
  TFileListBox* fileList_ = nullptr;
  QLineEdit* fileName_ = nullptr;
};

class TAppendRequest : public TEnhFileRequest {
  Q_OBJECT

 public:
  explicit TAppendRequest(QWidget* parent = nullptr);

  bool GetAppend() const;
  // Read directly by the caller.
  QCheckBox* DoAppend = nullptr;
  QCheckBox* AKLUDGE = nullptr;
  QCheckBox* SBKLUDGE = nullptr;
  QCheckBox* AREAKLUDGE = nullptr;
};

}  // namespace velmaris

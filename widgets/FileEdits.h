// Entry fields for paths: TFilenameEdit, whose button opens a file dialog,
// and TDirectoryEdit, whose button opens a folder picker and which may hold a
// ";"-separated list of directories. Both take files dropped on them.
#pragma once

#include <QFileDialog>
#include <QStringList>
#include <memory>

#include "widgets/ComboEdit.h"

namespace velmaris {

enum class TFileDialogKind { dkOpen, dkSave };
enum class TDirDialogKind { dkVCL, dkWin32 };
enum class TFileEditStyle { fsEdit, fsComboBox };
enum TOpenOption : unsigned {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4,
  ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
  ofFileMustExist = 1u << 7,
};
using TOpenOptions = unsigned;
enum TSelectDirOpt : unsigned {
  sdAllowCreate = 1u << 0,
  sdPerformCreate = 1u << 1,
  sdPrompt = 1u << 2
};
using TSelectDirOpts = unsigned;

// A file filter as the forms write it ("All files (*.*)|*.*|Texts|*.txt;*.asc")
// as the dialog's name filters.
QStringList NameFiltersOf(const QString& filter);

class TFileDirEdit : public TCustomComboEdit {
  Q_OBJECT

 public:
  // (edit, name in/out, action in/out)
  using TExecOpenDialogEvent =
      std::function<void(TFileDirEdit* sender, QString& name, bool& action)>;

  explicit TFileDirEdit(QWidget* parent = nullptr);

  bool AcceptFiles() const { return acceptDrops(); }
  void SetAcceptFiles(bool value) { setAcceptDrops(value); }
  bool MultipleDirs() const { return multipleDirs_; }
  void SetMultipleDirs(bool value) { multipleDirs_ = value; }

  TExecOpenDialogEvent OnBeforeDialog;
  TExecOpenDialogEvent OnAfterDialog;

  virtual QString LongName() const = 0;
  virtual QString ShortName() const = 0;
  // Takes the names as if dropped on the edit.
  void DropNames(const QStringList& names);

 signals:
  void dropFiles();

 protected:
  QPixmap DefaultGlyph() const override;
  virtual void ReceptFileDir(const QString& name) = 0;
  virtual void ClearFileList() {}
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  bool multipleDirs_ = false;
};

class TFilenameEdit : public TFileDirEdit {
  Q_OBJECT

 public:
  explicit TFilenameEdit(QWidget* parent = nullptr);
  ~TFilenameEdit() override;

  // The file the text names: the text when such a file exists, else its
  // first word. Writing an invalid name raises EComboEditError.
  // An edit that holds a path (SetHoldsPath) shows the path as it is, also
  // with blanks, and its file name is the text without the quotes an
  // earlier version put around it: a path is no command line.
  QString FileName() const;
  void SetFileName(const QString& name);
  bool HoldsPath() const { return holdsPath_; }
  void SetHoldsPath(bool holdsPath) { holdsPath_ = holdsPath; }

  TFileDialogKind DialogKind() const { return dialogKind_; }
  void SetDialogKind(TFileDialogKind kind);
  QString DefaultExt;
  TFileEditStyle FileEditStyle = TFileEditStyle::fsEdit;
  QString Filter = QStringLiteral("All files (*.*)|*.*");
  int FilterIndex = 1;
  QString InitialDir;
  QStringList HistoryList;
  TOpenOptions DialogOptions() const { return options_; }
  void SetDialogOptions(TOpenOptions options);
  QString DialogTitle = QStringLiteral("Browse");
  // The names of the last multiple drop or selection.
  const QStringList& Files() const { return files_; }

  QString LongName() const override;
  QString ShortName() const override;
  // The dialog as it will be shown (settings applied).
  std::unique_ptr<QFileDialog> MakeDialog(const QString& fileName) const;

 protected:
  void ButtonClick() override;
  void ReceptFileDir(const QString& name) override;
  void ClearFileList() override { files_.clear(); }

 private:
  TFileDialogKind dialogKind_ = TFileDialogKind::dkOpen;
  TOpenOptions options_ = ofHideReadOnly;
  QStringList files_;
  bool holdsPath_ = false;  // else a command line: a name with a blank is quoted

  // The text that shows a chosen name.
  QString TextOf(const QString& name) const;
};

class TDirectoryEdit : public TFileDirEdit {
  Q_OBJECT

 public:
  explicit TDirectoryEdit(QWidget* parent = nullptr);

  TDirDialogKind DialogKind = TDirDialogKind::dkVCL;
  QString DialogText;
  TSelectDirOpts DialogOptions = 0;
  QString InitialDir;

  QString LongName() const override;
  QString ShortName() const override;

 protected:
  void ButtonClick() override;
  void ReceptFileDir(const QString& name) override;
};

}  // namespace velmaris

// The lists of the small choosers: TDirectoryListBox shows where it is as a
// directory list box does: the root and every folder down to the current
// one, each indented below its parent, then the current folder's
// sub-folders one step further in; the current folder is drawn bold with an
// open folder and highlighted when the list is filled. A double click or
// Return on another folder (an ancestor or a sub-folder) makes it the
// current one; the arrows only move the highlight, and Return on the
// current folder is left to the dialog (its default button). TFileListBox
// shows the files of the directory list it is linked to; TDriveComboBox
// offers the roots to start from (on this system only "/") and moves its
// linked directory list there. Every folder shows, whatever page its name
// is in on disk: a name that is not UTF-8 (an older version's CP1251
// folder) is shown in the ANSI page and kept as its bytes, so the folder
// picked is the one on disk.
#pragma once

#include <QComboBox>
#include <QListWidget>
#include <string>

namespace velmaris {

class TDirectoryListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The current directory, a full path ending in "/": as shown, and as the
  // bytes on disk.
  QString Directory() const { return directory_; }
  std::string DirectoryBytes() const { return directoryBytes_; }
  // Makes the given directory (made absolute, ending in "/") the current
  // one. A path that is no directory leaves the list where it is; returns
  // whether it moved. The text names the folder whose name reads so, in
  // UTF-8 or in the ANSI page; the bytes name it as they stand.
  bool SetDirectory(const QString& path);
  bool SetDirectoryBytes(const std::string& path);
  // The row of the current directory.
  QListWidgetItem* DirectoryItem() const;
  // The folder a row stands for (a full path ending in "/"), and how far
  // it is indented (the root 0, each level below it one more).
  static QString ItemPath(const QListWidgetItem* item);
  static std::string ItemBytes(const QListWidgetItem* item);
  static int ItemLevel(const QListWidgetItem* item);

 signals:
  void change();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void EnterItem(QListWidgetItem* item);
  void Fill();
  void AddFolder(const std::string& name, const std::string& path, int level, bool open);
  QString directory_;
  std::string directoryBytes_;
};

class TFileListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TFileListBox(QWidget* parent = nullptr);
  // Follows the directory list: refilled whenever its directory changes.
  void SetDirList(TDirectoryListBox* list);
  void Fill(const std::string& directory);
};

class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);
  // A drive chosen moves the directory list to its root.
  void SetDirList(TDirectoryListBox* list);
  // Selects the drive with this first character (no change when none has).
  void SetDrive(QChar drive);
};

}  // namespace velmaris

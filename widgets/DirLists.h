// The lists of the small choosers: TDirectoryListBox shows the folders below
// a directory (".." first, except at the root) and enters one on a double
// click or Return; TFileListBox shows the files of the directory list it is
// linked to; TDriveComboBox offers the roots to start from (on this system
// only "/") and moves its linked directory list there.
#pragma once

#include <QComboBox>
#include <QListWidget>

namespace velmaris {

class TDirectoryListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  // The directory shown, a full path ending in "/".
  QString Directory() const { return directory_; }
  // Shows the given directory (made absolute, ending in "/"). A path that is
  // no directory leaves the list where it is; returns whether it moved.
  bool SetDirectory(const QString& path);

 signals:
  void change();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void EnterItem(QListWidgetItem* item);
  void Fill();
  QString directory_;
};

class TFileListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TFileListBox(QWidget* parent = nullptr);
  // Follows the directory list: refilled whenever its directory changes.
  void SetDirList(TDirectoryListBox* list);
  void Fill(const QString& directory);
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

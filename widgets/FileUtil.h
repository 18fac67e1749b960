// The folder picker: a directory dialog that starts at FolderName when it
// exists, lets only existing directories be chosen and hands the chosen one
// back without a trailing "/".
#pragma once

#include <QObject>
#include <QString>

namespace velmaris {

enum class TBrowseKind { bfFolders, bfComputers };
enum class TDialogPosition { dpDefault, dpScreenCenter };

class TBrowseFolderDlg : public QObject {
  Q_OBJECT

 public:
  explicit TBrowseFolderDlg(QObject* owner = nullptr);

  // Computers cannot be browsed here: both kinds pick a folder.
  TBrowseKind BrowseKind = TBrowseKind::bfFolders;
  // Start at the home folder (true) or at the root of the file system.
  bool DesktopRoot = true;
  QString DialogText;
  QString FolderName;
  int HelpContext = 0;
  TDialogPosition Position = TDialogPosition::dpScreenCenter;

  bool Execute();

 signals:
  void initialized();
  void selChanged();
};

// Asks for a folder; true with folderName set when one was chosen.
bool BrowseForFolder(QString& folderName, const QString& dialogText, int helpContext = 0);

}  // namespace velmaris

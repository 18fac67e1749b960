#include "widgets/FileUtil.h"

#include <QDir>
#include <QFileDialog>

#include "widgets/ModalHook.h"
#include "widgets/VxGraphics.h"
#include "widgets/logic/FileNames.h"

namespace velmaris {

TBrowseFolderDlg::TBrowseFolderDlg(QObject* owner) : QObject(owner) {}

bool TBrowseFolderDlg::Execute() {
  QFileDialog dialog(nullptr, DialogText);
  dialog.setObjectName(QStringLiteral("TBrowseFolderDlg"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  const std::string start = FolderName.toStdString();
  if (IsExistingDirectory(start)) {
    dialog.setDirectory(FolderName);
  } else {
    dialog.setDirectory(DesktopRoot ? QDir::homePath() : QDir::rootPath());
  }
  connect(&dialog, &QFileDialog::currentChanged, this, &TBrowseFolderDlg::selChanged);
  if (Position == TDialogPosition::dpScreenCenter) CenterWindowOnScreen(&dialog);
  emit initialized();
  if (ExecModal(dialog) != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  const QString chosen = files.isEmpty() ? dialog.directory().absolutePath() : files.first();
  if (!IsExistingDirectory(chosen.toStdString())) return false;
  FolderName = QString::fromStdString(RemoveTrailingBackslash(chosen.toStdString()));
  return true;
}

bool BrowseForFolder(QString& folderName, const QString& dialogText, int helpContext) {
  TBrowseFolderDlg dialog;
  dialog.DialogText = dialogText;
  dialog.FolderName = folderName;
  dialog.HelpContext = helpContext;
  if (!dialog.Execute()) return false;
  folderName = dialog.FolderName;
  return true;
}

}  // namespace velmaris

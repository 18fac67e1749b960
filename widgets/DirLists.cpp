#include "widgets/DirLists.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

namespace velmaris {

namespace {

const QString kUp = QStringLiteral("..");

QString WithSlash(QString path) {
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path;
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  connect(this, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { EnterItem(item); });
  SetDirectory(QDir::currentPath());
}

bool TDirectoryListBox::SetDirectory(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) return false;
  directory_ = WithSlash(QDir::cleanPath(info.absoluteFilePath()));
  Fill();
  emit change();
  return true;
}

void TDirectoryListBox::Fill() {
  clear();
  const QDir dir(directory_);
  if (!dir.isRoot()) addItem(kUp);
  addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
  if (count() > 0) setCurrentRow(0);
}

void TDirectoryListBox::EnterItem(QListWidgetItem* item) {
  if (item == nullptr) return;
  SetDirectory(directory_ + item->text());
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    EnterItem(currentItem());
    return;
  }
  QListWidget::keyPressEvent(event);
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {}

void TFileListBox::SetDirList(TDirectoryListBox* list) {
  connect(list, &TDirectoryListBox::change, this, [this, list] { Fill(list->Directory()); });
  Fill(list->Directory());
}

void TFileListBox::Fill(const QString& directory) {
  clear();
  addItems(QDir(directory).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
}

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
  addItem(QDir::rootPath());
}

void TDriveComboBox::SetDirList(TDirectoryListBox* list) {
  connect(this, &QComboBox::activated, list,
          [this, list](int index) { list->SetDirectory(itemText(index)); });
}

void TDriveComboBox::SetDrive(QChar drive) {
  for (int i = 0; i < count(); ++i) {
    if (itemText(i).startsWith(drive)) {
      setCurrentIndex(i);
      return;
    }
  }
}

}  // namespace velmaris

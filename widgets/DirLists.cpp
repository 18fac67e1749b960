#include "widgets/DirLists.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace velmaris {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
// The indent of one level, in pixels.
constexpr int kIndent = 12;

QString WithSlash(QString path) {
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path;
}

// Draws each row indented by its level, the highlight with it.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem indented(option);
    indented.rect.adjust(Indent(index), 0, 0, 0);
    QStyledItemDelegate::paint(painter, indented, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(Indent(index), 0);
  }

 private:
  static int Indent(const QModelIndex& index) { return index.data(kLevelRole).toInt() * kIndent; }
};

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  connect(this, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { EnterItem(item); });
  SetDirectory(QDir::currentPath());
}

QString TDirectoryListBox::ItemPath(const QListWidgetItem* item) {
  return item ? item->data(kPathRole).toString() : QString();
}

int TDirectoryListBox::ItemLevel(const QListWidgetItem* item) {
  return item ? item->data(kLevelRole).toInt() : -1;
}

bool TDirectoryListBox::SetDirectory(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) return false;
  directory_ = WithSlash(QDir::cleanPath(info.absoluteFilePath()));
  Fill();
  emit change();
  return true;
}

QListWidgetItem* TDirectoryListBox::DirectoryItem() const {
  for (int i = 0; i < count(); ++i)
    if (ItemPath(item(i)) == directory_) return item(i);
  return nullptr;
}

void TDirectoryListBox::AddFolder(const QString& name, const QString& path, int level, bool open) {
  auto* row = new QListWidgetItem(
      style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon), name, this);
  row->setData(kPathRole, path);
  row->setData(kLevelRole, level);
  row->setToolTip(path);
}

void TDirectoryListBox::Fill() {
  clear();
  // The root and the folders down to the current one.
  const QString root = QDir::rootPath();
  AddFolder(root, root, 0, true);
  QString path = root;
  int level = 0;
  for (const QString& name :
       directory_.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    path += name + QLatin1Char('/');
    AddFolder(name, path, ++level, true);
  }
  QListWidgetItem* current = item(count() - 1);
  QFont bold = current->font();
  bold.setBold(true);
  current->setFont(bold);
  // Its sub-folders, one step further in.
  for (const QString& name :
       QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
    AddFolder(name, directory_ + name + QLatin1Char('/'), level + 1, false);
  setCurrentItem(current);
  scrollToItem(current);
}

void TDirectoryListBox::EnterItem(QListWidgetItem* item) {
  const QString path = ItemPath(item);
  if (path.isEmpty() || path == directory_) return;
  SetDirectory(path);
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    QListWidgetItem* item = currentItem();
    if (item && ItemPath(item) != directory_) {
      EnterItem(item);
      return;
    }
    // The current folder: the dialog's default button answers.
    event->ignore();
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

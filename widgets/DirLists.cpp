#include "widgets/DirLists.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <exception>
#include <unistd.h>

#include "platform/CodePage.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kBytesRole = Qt::UserRole + 2;
// The indent of one level, in pixels.
constexpr int kIndent = 12;

// A name on disk as the lists show it: its parts that are not UTF-8 in the
// ANSI page, readable.
QString NameText(const std::string& bytes) {
  return QString::fromStdString(platform::DiskNameText(bytes));
}

QByteArray Bytes(const std::string& s) {
  return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// The folder's bytes made absolute (against the working folder) and clean:
// no "." or ".." parts, no doubled "/", ending in "/". Only the bytes are
// looked at, so a folder whose name is not UTF-8 stays the folder it names.
std::string CleanDirBytes(const std::string& path) {
  std::string full = path;
  if (full.empty() || full.front() != '/') {
    std::string here(4096, '\0');
    if (!::getcwd(here.data(), here.size())) return {};
    here.resize(here.find('\0'));
    full = here + "/" + full;
  }
  std::vector<std::string> parts;
  for (size_t at = 0; at <= full.size();) {
    const size_t end = std::min(full.find('/', at), full.size());
    const std::string part = full.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string out = "/";
  for (const std::string& part : parts) out += part + "/";
  return out;
}

// The entries of a folder that the lists show (hidden ones left out), by
// their names as shown, case aside. A folder that cannot be read shows none.
std::vector<platform::DirEntry> ShownEntries(const std::string& dir, bool files, bool dirs) {
  std::vector<platform::DirEntry> entries;
  try {
    entries = platform::ScanDir(dir, "*", files, dirs);
  } catch (const std::exception&) {
    return {};
  }
  std::erase_if(entries, [](const platform::DirEntry& e) { return e.name.front() == '.'; });
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return NameText(a.name).compare(NameText(b.name), Qt::CaseInsensitive) < 0;
  });
  return entries;
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
  SetDirectoryBytes(".");
}

QString TDirectoryListBox::ItemPath(const QListWidgetItem* item) {
  return item ? item->data(kPathRole).toString() : QString();
}

std::string TDirectoryListBox::ItemBytes(const QListWidgetItem* item) {
  return item ? item->data(kBytesRole).toByteArray().toStdString() : std::string();
}

int TDirectoryListBox::ItemLevel(const QListWidgetItem* item) {
  return item ? item->data(kLevelRole).toInt() : -1;
}

bool TDirectoryListBox::SetDirectory(const QString& path) {
  if (path.isEmpty()) return false;
  // The text names the folder whose parts read so on disk, in UTF-8 or in
  // the ANSI page (an older version's folder).
  const QString text = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  return SetDirectoryBytes(platform::DiskNameFromText({}, text.toStdString()));
}

bool TDirectoryListBox::SetDirectoryBytes(const std::string& path) {
  const std::string dir = CleanDirBytes(path);
  if (dir.empty() || !platform::DirExists(dir)) return false;
  directoryBytes_ = dir;
  directory_ = NameText(dir);
  Fill();
  emit change();
  return true;
}

QListWidgetItem* TDirectoryListBox::DirectoryItem() const {
  for (int i = 0; i < count(); ++i)
    if (ItemBytes(item(i)) == directoryBytes_) return item(i);
  return nullptr;
}

void TDirectoryListBox::AddFolder(const std::string& name, const std::string& path, int level,
                                  bool open) {
  auto* row = new QListWidgetItem(
      style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon),
      NameText(name), this);
  const QString text = NameText(path);
  row->setData(kPathRole, text);
  row->setData(kBytesRole, Bytes(path));
  row->setData(kLevelRole, level);
  row->setToolTip(text);
}

void TDirectoryListBox::Fill() {
  clear();
  // The root and the folders down to the current one.
  std::string path = "/";
  AddFolder(path, path, 0, true);
  int level = 0;
  for (size_t at = 1; at < directoryBytes_.size();) {
    const size_t end = directoryBytes_.find('/', at);
    const std::string name = directoryBytes_.substr(at, end - at);
    path += name + "/";
    AddFolder(name, path, ++level, true);
    at = end + 1;
  }
  QListWidgetItem* current = item(count() - 1);
  QFont bold = current->font();
  bold.setBold(true);
  current->setFont(bold);
  // Its sub-folders, one step further in, whatever page their names are in.
  for (const platform::DirEntry& e : ShownEntries(directoryBytes_, false, true))
    AddFolder(e.name, directoryBytes_ + e.name + "/", level + 1, false);
  setCurrentItem(current);
  scrollToItem(current);
}

void TDirectoryListBox::EnterItem(QListWidgetItem* item) {
  const std::string path = ItemBytes(item);
  if (path.empty() || path == directoryBytes_) return;
  SetDirectoryBytes(path);
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
  connect(list, &TDirectoryListBox::change, this, [this, list] { Fill(list->DirectoryBytes()); });
  Fill(list->DirectoryBytes());
}

void TFileListBox::Fill(const std::string& directory) {
  clear();
  for (const platform::DirEntry& e : ShownEntries(directory, true, false))
    addItem(NameText(e.name));
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

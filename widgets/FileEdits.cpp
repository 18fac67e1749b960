#include "widgets/FileEdits.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>

#include "platform/Files.h"
#include "widgets/FileUtil.h"
#include "widgets/ModalHook.h"
#include "widgets/logic/FileNames.h"

namespace velmaris {

namespace {

std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// A small open folder, 14 x 12, on the transparent colour (its bottom-left
// pixel stays that colour).
QPixmap FolderGlyph() {
  QPixmap pm(14, 12);
  pm.fill(QColor(255, 0, 255));
  QPainter p(&pm);
  p.setPen(QColor(128, 128, 0));
  p.setBrush(QColor(255, 255, 0));
  p.drawRect(1, 2, 11, 8);
  p.drawRect(2, 0, 4, 2);
  p.setBrush(QColor(192, 192, 0));
  p.drawPolygon(QPolygon({QPoint(2, 10), QPoint(5, 5), QPoint(13, 5), QPoint(10, 10)}));
  p.end();
  return pm;
}

}  // namespace

QStringList NameFiltersOf(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i];
    if (name.contains(u'(')) name = name.left(name.lastIndexOf(u'(')).trimmed();
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    out << name + QStringLiteral(" (") + patterns + u')';
  }
  return out;
}

// ---- TFileDirEdit ----

TFileDirEdit::TFileDirEdit(QWidget* parent) : TCustomComboEdit(parent) {
  SetGlyphKind(TGlyphKind::gkDefault);
  setAcceptDrops(false);
}

QPixmap TFileDirEdit::DefaultGlyph() const {
  static const QPixmap glyph = FolderGlyph();
  return glyph;
}

void TFileDirEdit::DropNames(const QStringList& names) {
  if (names.isEmpty()) return;
  ClearFileList();
  for (const QString& name : names) {
    ReceptFileDir(name.left(255));
    if (!multipleDirs_) break;
  }
  emit dropFiles();
}

void TFileDirEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    TCustomComboEdit::dragEnterEvent(event);
  }
}

void TFileDirEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    TCustomComboEdit::dragMoveEvent(event);
  }
}

void TFileDirEdit::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) {
    TCustomComboEdit::dropEvent(event);
    return;
  }
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) names << url.toLocalFile();
  }
  event->acceptProposedAction();
  DropNames(names);
}

// ---- TFilenameEdit ----

TFilenameEdit::TFilenameEdit(QWidget* parent) : TFileDirEdit(parent) {}
TFilenameEdit::~TFilenameEdit() = default;

QString TFilenameEdit::FileName() const {
  if (holdsPath_) return Q(platform::UnquotedPath(Std(text())));
  return Q(FileNameOfText(Std(text())));
}

QString TFilenameEdit::TextOf(const QString& name) const {
  if (holdsPath_) return Q(platform::UnquotedPath(Std(name)));
  return Q(QuoteIfBlank(Std(name)));
}

void TFilenameEdit::SetFileName(const QString& name) {
  const std::string file =
      holdsPath_ ? platform::UnquotedPath(Std(name)) : FileNameOfText(Std(name));
  if (!name.isEmpty() && !IsValidFileName(file)) {
    throw EComboEditError("Invalid file name - " + Std(name));
  }
  setText(TextOf(name));
  files_.clear();
}

void TFilenameEdit::SetDialogKind(TFileDialogKind kind) { dialogKind_ = kind; }

void TFilenameEdit::SetDialogOptions(TOpenOptions options) {
  options_ = options;
  if (options & ofAllowMultiSelect) multipleDirs_ = true;
}

QString TFilenameEdit::LongName() const { return Q(LongPathOf(Std(FileName()))); }
QString TFilenameEdit::ShortName() const { return Q(ShortPathOf(Std(FileName()))); }

std::unique_ptr<QFileDialog> TFilenameEdit::MakeDialog(const QString& fileName) const {
  auto dialog = std::make_unique<QFileDialog>(window(), DialogTitle);
  dialog->setObjectName(QStringLiteral("FileDialog"));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  const bool save = dialogKind_ == TFileDialogKind::dkSave;
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (options_ & ofAllowMultiSelect) {
    dialog->setFileMode(QFileDialog::ExistingFiles);
  } else if (options_ & ofFileMustExist) {
    dialog->setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog->setFileMode(QFileDialog::AnyFile);
  }
  dialog->setOption(QFileDialog::DontConfirmOverwrite, !(options_ & ofOverwritePrompt));
  const QStringList filters = NameFiltersOf(Filter);
  dialog->setNameFilters(filters);
  if (FilterIndex >= 1 && FilterIndex <= filters.size()) {
    dialog->selectNameFilter(filters[FilterIndex - 1]);
  }
  dialog->setDefaultSuffix(DefaultExt);
  dialog->setHistory(HistoryList);
  if (!InitialDir.isEmpty()) dialog->setDirectory(InitialDir);
  if (!fileName.isEmpty()) dialog->selectFile(fileName);
  return dialog;
}

void TFilenameEdit::ButtonClick() {
  TFileDirEdit::ButtonClick();
  if (ReadOnly()) return;
  QString name = FileName();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, name, action);
  if (!action) return;
  if (IsValidFileName(Std(name))) {
    const QFileInfo info(name);
    if (!name.contains(u'/') || info.dir().exists()) {
      if (name.contains(u'/')) InitialDir = info.absolutePath();
    }
    if (info.fileName().isEmpty() || !IsValidFileName(Std(info.fileName()))) name.clear();
  }
  auto dialog = MakeDialog(name);
  const bool confirmed = ExecModal(*dialog) == QDialog::Accepted;
  if (confirmed) {
    const QStringList chosen = dialog->selectedFiles();
    name = chosen.isEmpty() ? QString() : chosen.first();
    if (chosen.size() > 1) files_ = chosen;
  }
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
  action = confirmed;
  if (OnAfterDialog) OnAfterDialog(this, name, action);
  if (confirmed && action) {
    setText(TextOf(name));
    setModified(true);
    InitialDir = QFileInfo(name).absolutePath();
  }
}

void TFilenameEdit::ReceptFileDir(const QString& name) {
  if (multipleDirs_) {
    if (files_.isEmpty()) SetFileName(name);
    files_ << name;
  } else {
    SetFileName(name);
  }
}

// ---- TDirectoryEdit ----

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : TFileDirEdit(parent) {}

QString TDirectoryEdit::LongName() const { return Q(LongDirList(Std(text()), multipleDirs_)); }
QString TDirectoryEdit::ShortName() const { return LongName(); }

void TDirectoryEdit::ButtonClick() {
  TFileDirEdit::ButtonClick();
  if (ReadOnly()) return;
  QString dir = text();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, dir, action);
  if (!action) return;
  if (dir.isEmpty()) dir = InitialDir.isEmpty() ? QStringLiteral("/") : InitialDir;
  if (!IsExistingDirectory(Std(dir))) dir = QStringLiteral("/");
  const bool confirmed = BrowseForFolder(dir, DialogText);
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
  action = confirmed;
  if (OnAfterDialog) OnAfterDialog(this, dir, action);
  if (confirmed && action) {
    deselect();
    setText(Q(AddDirToText(Std(text()), Std(dir), multipleDirs_)));
    setModified(true);
    if (!dir.isEmpty() && IsExistingDirectory(Std(dir))) InitialDir = dir;
  }
}

void TDirectoryEdit::ReceptFileDir(const QString& name) {
  const std::string dir = DirOfDropped(Std(name));
  setText(Q(AddDirToText(Std(text()), dir, multipleDirs_)));
}

}  // namespace velmaris

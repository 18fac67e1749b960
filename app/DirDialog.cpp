#include "app/DirDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/DirLists.h"
#include "widgets/ModalHook.h"

namespace velmaris {

namespace {

constexpr Qt::WindowFlags kChooserFlags =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

QPushButton* AddButton(QWidget* form, QBoxLayout* row, const char* name, const QString& text) {
  auto* button = new QPushButton(text, form);
  button->setObjectName(QLatin1String(name));
  row->addWidget(button);
  return button;
}

void CentreOnScreen(QWidget& form) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  form.move(area.center() - QPoint(form.width() / 2, form.height() / 2));
}

// The directory part of an expanded path: up to and including its last "/".
QString DirectoryPart(const QString& path) {
  const QString full = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
  const qsizetype slash = full.lastIndexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : full.left(slash + 1);
}

// Shows the directory part of the path, or its nearest folder that exists.
void ShowDirectory(TDriveComboBox* drive, TDirectoryListBox* list, const QString& path) {
  QString dir = DirectoryPart(path);
  if (dir.isEmpty()) return;
  while (!list->SetDirectory(dir)) {
    const QString parent = QFileInfo(QDir::cleanPath(dir)).path();
    if (parent == QDir::cleanPath(dir)) return;
    dir = parent;
  }
  drive->SetDrive(dir.front());
}

// The same for a path given as its bytes on disk.
void ShowDirectoryBytes(TDriveComboBox* drive, TDirectoryListBox* list, const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  std::string dir = path.substr(0, slash + 1);
  while (!list->SetDirectoryBytes(dir)) {
    // Up to the folder above: the last part and its "/" go.
    const size_t end = dir.size() > 1 ? dir.rfind('/', dir.size() - 2) : std::string::npos;
    if (end == std::string::npos) return;
    dir.resize(end + 1);
  }
  drive->SetDrive(QLatin1Char('/'));
}

// A label above the list naming the list's current directory; a path too
// long for it loses its middle, never its last folder.
class DirectoryLabel : public QLabel {
 public:
  DirectoryLabel(QWidget* form, TDirectoryListBox* list) : QLabel(form), list_(list) {
    setObjectName("DirLabel");
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QObject::connect(list, &TDirectoryListBox::change, this, [this] { Show(); });
    Show();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Show();
  }

 private:
  void Show() {
    const QString path = list_->Directory();
    setToolTip(path);
    // The last folder with its "/" stays whole; what is before it loses its
    // middle to fit.
    const qsizetype cut = path.lastIndexOf('/', path.size() - 2) + 1;
    const QString last = path.mid(cut);
    const int room = std::max(width(), 1) - fontMetrics().horizontalAdvance(last);
    const QString head = path.left(cut);
    setText(room > 0         ? fontMetrics().elidedText(head, Qt::ElideMiddle, room) + last
            : head.isEmpty() ? last
                             : QString::fromUtf8("\u2026") + last);
  }
  TDirectoryListBox* list_;
};

}  // namespace

bool TChooserFlags::WaitForFlags(QWidget& form) {
  ok_ = false;
  cancel_ = false;
  const int answer = WaitForAnswer(form, [this] { return ok_ || cancel_; });
  if (!ok_ && !cancel_) {
    ok_ = answer == QDialog::Accepted;
    cancel_ = !ok_;
  }
  return ok_;
}

TDirDialogWindow::TDirDialogWindow(QWidget* parent) : QDialog(parent, kChooserFlags) {
  setObjectName("DirDialogWindow");
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle(QStringLiteral("Диалог изменения директорий"));
  auto* layout = new QVBoxLayout(this);
  drive_ = new TDriveComboBox(this);
  drive_->setObjectName("DriveComboBox1");
  dirLB_ = new TDirectoryListBox(this);
  dirLB_->setObjectName("DirLB");
  drive_->SetDirList(dirLB_);
  layout->addWidget(new DirectoryLabel(this, dirLB_));
  layout->addWidget(drive_);
  layout->addWidget(dirLB_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* ok = AddButton(this, row, "Ok", QStringLiteral("OK"));
  ok->setDefault(true);
  QPushButton* cancel = AddButton(this, row, "Button2", QStringLiteral("Abbruch"));
  layout->addLayout(row);
  connect(ok, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { Button2Click(); });
  resize(300, 320);
  CentreOnScreen(*this);
}

bool TDirDialogWindow::Execute() { return WaitForFlags(*this); }

QString TDirDialogWindow::GetDirectory() const { return dirLB_->Directory(); }

void TDirDialogWindow::SetDirectory(const QString& path) { ShowDirectory(drive_, dirLB_, path); }

std::string TDirDialogWindow::GetDirectoryBytes() const { return dirLB_->DirectoryBytes(); }

void TDirDialogWindow::SetDirectoryBytes(const std::string& path) {
  ShowDirectoryBytes(drive_, dirLB_, path);
}

void TDirDialogWindow::OkClick() {
  ok_ = true;
  close();
}

void TDirDialogWindow::Button2Click() {
  cancel_ = true;
  close();
}

// Escape and the close box cancel like the button.
void TDirDialogWindow::closeEvent(QCloseEvent* event) {
  if (!ok_) cancel_ = true;
  QDialog::closeEvent(event);
}

void TDirDialogWindow::reject() {
  if (!ok_) cancel_ = true;
  QDialog::reject();
}

TEnhFileRequest::TEnhFileRequest(QWidget* parent) : QDialog(parent, kChooserFlags) {
  setObjectName("EnhFileRequest");
  auto* layout = new QGridLayout(this);
  drive_ = new TDriveComboBox(this);
  drive_->setObjectName("DriveComboBox1");
  directory_ = new TDirectoryListBox(this);
  directory_->setObjectName("Directory");
  fileList_ = new TFileListBox(this);
  fileList_->setObjectName("FileListBox");
  fileName_ = new QLineEdit(this);
  fileName_->setObjectName("FileName");
  drive_->SetDirList(directory_);
  fileList_->SetDirList(directory_);
  connect(fileList_, &QListWidget::itemClicked, fileName_,
          [this](QListWidgetItem* item) { fileName_->setText(item->text()); });
  // The directory the name goes into, above the lists.
  layout->addWidget(new DirectoryLabel(this, directory_), 0, 0, 1, 2);
  layout->addWidget(fileName_, 1, 0);
  layout->addWidget(drive_, 1, 1);
  layout->addWidget(fileList_, 2, 0);
  layout->addWidget(directory_, 2, 1);
  extras_ = new QWidget(this);
  layout->addWidget(extras_, 3, 0, 1, 2);
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* ok = AddButton(this, row, "Button1", QStringLiteral("OK"));
  ok->setDefault(true);
  QPushButton* cancel = AddButton(this, row, "Button2", QStringLiteral("Abbruch"));
  layout->addLayout(row, 4, 0, 1, 2);
  connect(ok, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(cancel, &QPushButton::clicked, this, [this] { Button2Click(); });
  resize(440, 320);
  CentreOnScreen(*this);
}

bool TEnhFileRequest::Execute() { return WaitForFlags(*this); }

QString TEnhFileRequest::GetFileName() const {
  QString dir = directory_->Directory();
  if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
  return dir + fileName_->text();
}

void TEnhFileRequest::SetDirectory(const QString& path) { ShowDirectory(drive_, directory_, path); }

void TEnhFileRequest::Button1Click() {
  ok_ = true;
  hide();
}

void TEnhFileRequest::Button2Click() {
  cancel_ = true;
  hide();
}

void TEnhFileRequest::closeEvent(QCloseEvent* event) {
  if (!ok_) cancel_ = true;
  QDialog::closeEvent(event);
}

void TEnhFileRequest::reject() {
  if (!ok_) cancel_ = true;
  QDialog::reject();
}

TAppendRequest::TAppendRequest(QWidget* parent) : TEnhFileRequest(parent) {
  setObjectName("AppendRequest");
  setWindowTitle(QStringLiteral("Mails als ANSI Text speichern"));
  auto* row = new QHBoxLayout(extras_);
  row->setContentsMargins(0, 0, 0, 0);
  const auto add = [this, row](const char* name, const QString& text) {
    auto* box = new QCheckBox(text, extras_);
    box->setObjectName(QLatin1String(name));
    row->addWidget(box);
    return box;
  };
  DoAppend = add("DoAppend", QStringLiteral("anhängen"));
  AKLUDGE = add("AKLUDGE", QStringLiteral("^A Kludges"));
  SBKLUDGE = add("SBKLUDGE", QStringLiteral("SEENBYs"));
  AREAKLUDGE = add("AREAKLUDGE", QStringLiteral("AREA"));
  row->addStretch();
}

bool TAppendRequest::GetAppend() const { return DoAppend->isChecked(); }

}  // namespace velmaris

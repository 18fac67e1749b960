#include "archive/forms/VUPProgress.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

#include "archive/Unpacker.h"
#include "core/forms/FormText.h"
#include "widgets/StatusLabel.h"

namespace velmaris {

TVUPProgressWindow::TVUPProgressWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("TVUPProgress");
  auto* layout = new QVBoxLayout(this);
  // Paths: cut to the window's width, never widening it.
  LbArchive = new TStatusLabel;
  LbArchive->setObjectName("LbArchive");
  LbFile = new TStatusLabel;
  LbFile->setObjectName("LbFile");
  ProgressBar = new QProgressBar;
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  for (QWidget* w : std::initializer_list<QWidget*>{LbArchive, LbFile, ProgressBar})
    layout->addWidget(w);
  resize(420, 110);
}

void TVUPProgressWindow::ShowState(const TVUPProgress& progress) {
  setWindowTitle(QString::fromStdString(progress.Caption()));
  LbArchive->setText(QString::fromStdString(progress.ArchiveText()));  // a path: UTF-8
  LbFile->setText(QString::fromStdString(progress.FileText()));
  ProgressBar->setValue(progress.Position());
}

namespace {

// Runs the handler the caller set, then the window's part.
TVUPProgress::TProgressEvent Chain(TVUPProgress::TProgressEvent first,
                                   TVUPProgress::TProgressEvent then) {
  return [first = std::move(first), then = std::move(then)](TVUPProgress& progress) {
    if (first) first(progress);
    then(progress);
  };
}

}  // namespace

void InstallVUPProgressView(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  TVUPProgress::SetViewHook([owner, parent](TVUPProgress& progress) {
    if (parent && !owner) return;  // the owner is gone: no window
    QPointer<TVUPProgressWindow> window(new TVUPProgressWindow(owner));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto update = [window](TVUPProgress& p) {
      if (window) window->ShowState(p);
    };
    progress.OnShow = Chain(progress.OnShow, [window](TVUPProgress& p) {
      if (!window) return;
      window->ShowState(p);
      window->show();
      window->repaint();
    });
    progress.OnFile = Chain(progress.OnFile, update);
    progress.OnProgress = Chain(progress.OnProgress, update);
    progress.OnClose = Chain(progress.OnClose, [window](TVUPProgress& p) {
      if (!window) return;
      window->ShowState(p);
      window->close();  // frees it
    });
  });
}

void RemoveVUPProgressView() { TVUPProgress::SetViewHook(nullptr); }

}  // namespace velmaris

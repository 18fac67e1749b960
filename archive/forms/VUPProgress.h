// The unpacker's progress window: what is extracted where, the current
// entry and a progress bar, for one run of an integrated extractor
// (archive/Unpacker.h). Installed as the unpacker's view, a window opens
// for every extraction, from the automatic unpacker, the tosser or a
// command alike, and closes and frees itself when the run has ended.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace velmaris {

class TVUPProgress;

class TVUPProgressWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TVUPProgressWindow(QWidget* parent = nullptr);

  // Shows the run's caption, archive line, entry and position.
  void ShowState(const TVUPProgress& progress);

  QLabel *LbArchive, *LbFile;
  QProgressBar* ProgressBar;
};

// Makes every extraction show a progress window (parent: the windows'
// owner, may be null); RemoveVUPProgressView takes the view away again.
void InstallVUPProgressView(QWidget* parent = nullptr);
void RemoveVUPProgressView();

}  // namespace velmaris

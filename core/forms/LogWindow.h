// The frame of a background job's report window: a menu whose "Закрыть"
// (also Escape) hides the window, the read-only report text and a status
// line. The window keeps its own title, flags and size.
#pragma once

class QLabel;
class QPlainTextEdit;
class QStatusBar;
class QWidget;

namespace velmaris {

struct TLogWindowParts {
  QPlainTextEdit* Report;
  QStatusBar* StatusBar;
  QLabel* Status;
};

TLogWindowParts BuildLogWindow(QWidget* window);

}  // namespace velmaris

#include "core/forms/LogWindow.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

#include "widgets/StatusLabel.h"

namespace velmaris {

TLogWindowParts BuildLogWindow(QWidget* window) {
  auto* column = new QVBoxLayout(window);
  column->setContentsMargins(0, 0, 0, 0);
  auto* menu = new QMenuBar(window);
  auto* close = new QAction(QStringLiteral("Закрыть"), window);
  close->setObjectName("Close1");
  close->setShortcut(QKeySequence(Qt::Key_Escape));
  QObject::connect(close, &QAction::triggered, window, &QWidget::hide);
  menu->addAction(close);
  window->addAction(close);
  column->setMenuBar(menu);
  TLogWindowParts parts{};
  parts.Report = new QPlainTextEdit(window);
  parts.Report->setObjectName("Report");
  parts.Report->setReadOnly(true);
  parts.Report->setLineWrapMode(QPlainTextEdit::NoWrap);
  column->addWidget(parts.Report, 1);
  parts.StatusBar = new QStatusBar(window);
  parts.StatusBar->setObjectName("StatusBar");
  parts.StatusBar->setSizeGripEnabled(false);
  parts.Status = new TStatusLabel(parts.StatusBar);
  parts.StatusBar->addWidget(parts.Status, 1);
  column->addWidget(parts.StatusBar);
  return parts;
}

}  // namespace velmaris

#include "app/HelpViewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include "widgets/Placement.h"

namespace velmaris {

namespace {

// The smallest client area in which a page can still be read.
constexpr QSize kNarrowestUsable(240, 200);

// The keys that close the viewer besides Escape.
constexpr const char* kCloseKeys = "Ctrl+W";

// Whether the key closes the viewer.
bool IsCloseKey(const QKeyEvent* key) {
  const QKeySequence pressed(key->keyCombination());
  return (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) ||
         pressed == QKeySequence(QString::fromLatin1(kCloseKeys));
}

}  // namespace

THelpViewer::THelpViewer(QWidget* parent) : QTextBrowser(parent) {
  setObjectName("HelpViewer");
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  // Shown, it leaves the keyboard with the window help was asked from.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setOpenLinks(true);
  resize(560, 480);
  // Closed from the keyboard too: without a window manager the viewer has
  // no other control that closes it. The keys close it as soon as its
  // window has the keyboard, whether or not a control in it has the focus
  // (a window manager that gives it the focus leaves none there); a key
  // given to a window under it is taken in eventFilter.
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(kCloseKeys)}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
  }
  // Watches every window shown, for the modal ones.
  qApp->installEventFilter(this);
}

void THelpViewer::ShowTopic(const std::string& helpFile, int context) {
  const QFileInfo file(QString::fromStdString(helpFile));
  const QString name = QStringLiteral("/%1.html").arg(context);
  const QString page = file.path() + QLatin1Char('/') + file.completeBaseName() + name;
  setWindowTitle(file.completeBaseName() + QStringLiteral(" – Справка"));
  // A page in the start directory's help folder comes first; the pages the
  // program ships are its fallback, so every start directory has help.
  if (QFileInfo::exists(page)) {
    setSource(QUrl::fromLocalFile(page));
    return;
  }
  const QString shipped = QStringLiteral(":/") + file.completeBaseName() + name;
  if (QFileInfo::exists(shipped)) {
    setSource(QUrl(QStringLiteral("qrc") + shipped));
    return;
  }
  setPlainText(QStringLiteral("Раздел справки %1 не найден:\n%2").arg(context).arg(page));
}

bool THelpViewer::Owns(const QWidget* window) const {
  for (const QWidget* w = window; w; w = w->parentWidget())
    if (w == this) return true;
  return false;
}

void THelpViewer::FollowModal(QWidget* modal) {
  // A window of the viewer's own (a box that belongs to it) stands over it
  // already; a child window of its own child would be its own parent.
  if (modal == parentWidget() || Owns(modal)) return;
  if (modal_) modal_->removeEventFilter(this);
  modal_ = modal;
  if (modal) modal->installEventFilter(this);
  const bool shown = isVisible();
  const QRect place = geometry();
  setParent(modal, windowFlags());  // hides the window
  if (!shown) return;
  setGeometry(place);
  show();
  // Shown again, a window keeps its place in the stack: the viewer comes
  // over the windows below, which would hide it, and the window it follows
  // (which has the input) over the viewer.
  raise();
  if (modal) modal->raise();
}

QMargins THelpViewer::FrameMargins() const {
  const QRect frame = frameGeometry(), client = geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

bool THelpViewer::StandBeside(QWidget* window, QMargins frame) {
  const QScreen* screen = window->screen();
  if (!screen) return true;
  // A window the window manager has not framed yet gets the viewer's frame.
  QRect other = window->frameGeometry();
  if (other == window->geometry()) other = other.marginsAdded(frame);
  const QRect own = geometry().marginsAdded(frame);
  const QRect area = screen->availableGeometry();
  const PlaceRect to = PlaceBeside({own.x(), own.y(), own.width(), own.height()},
                                   {other.x(), other.y(), other.width(), other.height()},
                                   {area.x(), area.y(), area.width(), area.height()});
  QRect placed(to.x, to.y, to.w, to.h);
  // No side has room for the whole viewer: it narrows (or gets lower) into
  // the widest strip beside the window rather than lie over its edge.
  if (placed.intersects(other)) {
    const QRect strips[] = {
        QRect(QPoint(other.right() + 1, area.top()), area.bottomRight()),
        QRect(area.topLeft(), QPoint(other.left() - 1, area.bottom())),
        QRect(QPoint(area.left(), other.bottom() + 1), area.bottomRight()),
        QRect(area.topLeft(), QPoint(area.right(), other.top() - 1)),
    };
    QRect best;
    for (const QRect& strip : strips) {
      const QRect fit(strip.topLeft(), own.size().boundedTo(strip.size()));
      const bool usable = fit.width() >= frame.left() + frame.right() + kNarrowestUsable.width() &&
                          fit.height() >= frame.top() + frame.bottom() + kNarrowestUsable.height();
      if (usable && fit.width() * fit.height() > best.width() * best.height()) {
        best = fit;
        // Kept near its own place within the strip.
        best.moveLeft(std::clamp(own.left(), strip.left(), strip.right() + 1 - fit.width()));
        best.moveTop(std::clamp(own.top(), strip.top(), strip.bottom() + 1 - fit.height()));
      }
    }
    if (!best.isEmpty()) placed = best;
  }
  if (placed != own) setGeometry(placed.marginsRemoved(frame));
  return !placed.intersects(other);
}

void THelpViewer::WindowShown(QWidget* window) {
  if (window->windowModality() == Qt::NonModal || Owns(window)) return;
  // Followed once the window is up and counts as the topmost modal one (a
  // window answered at once is gone by then).
  QTimer::singleShot(0, this, [this] {
    QWidget* top = QApplication::activeModalWidget();
    if (!top || Owns(top)) return;
    const QMargins frame = FrameMargins();
    FollowModal(top);
    if (!isVisible()) return;
    // The window just opened stays in front of the viewer, with the input,
    // and the viewer stands beside it where there is room.
    StandBeside(top, frame);
    top->activateWindow();
  });
}

void THelpViewer::closeEvent(QCloseEvent* event) {
  QTextBrowser::closeEvent(event);
  closed_ = event->isAccepted();
}

bool THelpViewer::TakesKeysOf(QWidget* window) const {
  if (!isVisible() || !window || Owns(window) || QApplication::activePopupWidget()) return false;
  // The pointer on the viewer, where nothing lies over it.
  const QPoint pointer = QCursor::pos();
  if (frameGeometry().contains(pointer) && QApplication::topLevelAt(pointer) == this) return true;
  // The viewer lies over the window: where the two meet, the viewer is the
  // one on top.
  const QRect both = frameGeometry().intersected(window->frameGeometry());
  if (both.isEmpty()) return false;
  const QRect inner = both.adjusted(2, 2, -2, -2).isValid() ? both.adjusted(2, 2, -2, -2) : both;
  for (const QPoint at :
       {inner.center(), inner.topLeft(), inner.topRight(), inner.bottomLeft(), inner.bottomRight()})
    if (QApplication::topLevelAt(at) == this) return true;
  return false;
}

bool THelpViewer::eventFilter(QObject* watched, QEvent* event) {
  // Escape or Ctrl+W given to a window under the viewer (the keyboard stays
  // with the window help was asked from) closes the viewer when it is on
  // top of that window or has the pointer: it is what the user looks at,
  // and the window under it keeps what was typed into it. The key then
  // goes no further; a shortcut of that window's is kept from it too.
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
      watched->isWidgetType() && IsCloseKey(static_cast<QKeyEvent*>(event)) &&
      TakesKeysOf(static_cast<QWidget*>(watched)->window())) {
    if (event->type() == QEvent::ShortcutOverride) {
      event->accept();
      return true;
    }
    close();
    return true;
  }
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow()) WindowShown(widget);
  }
  // The modal window has closed (and may go at once): the one below it, if
  // any, is the modal window now. A minimised one is still up.
  if (watched == modal_ && event->type() == QEvent::Hide && !event->spontaneous()) {
    QWidget* next = QApplication::activeModalWidget();
    FollowModal(next == watched ? nullptr : next);
  }
  return QTextBrowser::eventFilter(watched, event);
}

namespace {

// The window the viewer must stay above to be used: a modal window takes the
// input of every other, and one that stays on top (the speed-bar setup)
// would cover it.
QWidget* WindowToStayAbove() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  QWidget* active = QApplication::activeWindow();
  return active && active->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? active : nullptr;
}

}  // namespace

// The page is shown, the keyboard stays where it was: help asked with F1 in
// the middle of a form must not take the text typed next. The viewer stands
// beside the window it was asked from rather than over it; a click makes it
// the window in use.
THelpViewer* ShowHelpTopic(const std::string& helpFile, int context) {
  static QPointer<THelpViewer> viewer;
  // A viewer closed a moment ago is on its way out: asked again, help opens
  // in a new one.
  if (!viewer || viewer->Closed()) viewer = new THelpViewer;
  QWidget* above = WindowToStayAbove();
  QWidget* asking = QApplication::activeWindow();
  if (asking && asking->window() == viewer) asking = nullptr;
  viewer->FollowModal(above);
  viewer->ShowTopic(helpFile, context);
  QWidget* beside = above ? above : asking;
  const bool clear = !beside || viewer->StandBeside(beside, viewer->FrameMargins());
  viewer->show();
  viewer->raise();
  // A window that must stay above the viewer stays in front of it, where the
  // viewer stands beside it; where no side has room for the viewer (a
  // window as large as a small screen), the page asked for comes over it.
  if (above && clear) above->raise();
  return viewer;
}

}  // namespace velmaris

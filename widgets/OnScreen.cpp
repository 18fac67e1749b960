#include "widgets/OnScreen.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "widgets/Placement.h"

namespace velmaris {

namespace {

// A window the window manager frames: no pop-up, tool tip or splash, and
// no window that asks to go without a frame.
bool Framed(const QWidget* w) {
  const Qt::WindowType type = w->windowType();
  if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool) return false;
  return !(w->windowFlags() & (Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint));
}

bool Placeable(const QWidget* w) {
  return w && w->isWindow() && Framed(w) &&
         !(w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized));
}

QMargins KnownFrame(const QWidget* w) {
  const QWindow* handle = w->windowHandle();
  return handle ? handle->frameMargins() : QMargins();
}

// The window's frame once the window manager framed it; before, as large as
// the largest frame of the windows up (none without a window manager).
QMargins FrameOf(const QWidget* window) {
  QMargins frame = KnownFrame(window);
  if (!frame.isNull()) return frame;
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == window || !other->isVisible() || !Framed(other)) continue;
    const QMargins m = KnownFrame(other);
    frame = QMargins(std::max(frame.left(), m.left()), std::max(frame.top(), m.top()),
                     std::max(frame.right(), m.right()), std::max(frame.bottom(), m.bottom()));
  }
  return frame;
}

std::vector<PlaceRect> AvailableScreens() {
  std::vector<PlaceRect> screens;
  for (const QScreen* s : QGuiApplication::screens()) {
    const QRect g = s->availableGeometry();
    screens.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  return screens;
}

// Looks at each window as it is shown and again when it is first mapped.
class TOnScreenGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType())
      Shown(static_cast<QWidget*>(watched));
    else if (event->type() == QEvent::Expose)
      if (auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed())
        Mapped(window);
    return false;
  }

 private:
  void Shown(QWidget* w) {
    if (!w->isWindow() || !Placeable(w)) return;
    // Placed by the program: moved, or a dialog, which centres itself over
    // its owner. Any other window the window manager places.
    if (w->testAttribute(Qt::WA_Moved) || qobject_cast<QDialog*>(w)) MoveFrameOntoScreen(w);
    if (std::find(waiting_.begin(), waiting_.end(), w) == waiting_.end()) waiting_.push_back(w);
  }
  void Mapped(QWindow* window) {
    std::erase_if(waiting_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [window](const auto& w) { return w->windowHandle() == window; });
    if (it == waiting_.end()) return;
    QWidget* w = *it;
    waiting_.erase(it);
    if (w->isVisible()) MoveFrameOntoScreen(w);
  }

  std::vector<QPointer<QWidget>> waiting_;
};

}  // namespace

void KeepWindowsOnScreen() {
  static QPointer<TOnScreenGuard> guard;
  if (guard || !qApp) return;
  guard = new TOnScreenGuard(qApp);
  qApp->installEventFilter(guard);
}

bool MoveFrameOntoScreen(QWidget* window) {
  if (!Placeable(window)) return false;
  const QRect client = window->geometry();
  const QRect frame = client.marginsAdded(FrameOf(window));
  const PlaceRect to =
      MoveOntoScreens({frame.x(), frame.y(), frame.width(), frame.height()}, AvailableScreens());
  const QPoint shift(to.x - frame.x(), to.y - frame.y());
  if (shift.isNull()) return false;
  // Placed by its client area, which every window manager puts where asked.
  window->setGeometry(client.translated(shift));
  return true;
}

}  // namespace velmaris

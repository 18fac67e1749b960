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

// The frame the window manager last gave a window of the program (none
// while no window was framed: no window manager, or none up yet).
QMargins& LastFrame() {
  static QMargins frame;
  return frame;
}

QMargins KnownFrame(const QWindow* handle) {
  const QMargins frame = handle ? handle->frameMargins() : QMargins();
  if (!frame.isNull()) LastFrame() = frame;
  return frame;
}

// Only a window that is up is asked: before the window manager framed it
// the toolkit finds no frame and keeps that answer.
QMargins KnownFrame(const QWidget* w) {
  const QWindow* handle = w->windowHandle();
  return handle && handle->isExposed() ? KnownFrame(handle) : QMargins();
}

// The frame a window not framed yet will most likely get: as large as the
// largest frame of the other windows up, or the last one seen when none is
// up (none without a window manager).
QMargins OthersFrame(const QWidget* window) {
  QMargins frame = LastFrame();
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == window || !other->isVisible() || !Framed(other)) continue;
    const QMargins m = KnownFrame(other);
    frame = QMargins(std::max(frame.left(), m.left()), std::max(frame.top(), m.top()),
                     std::max(frame.right(), m.right()), std::max(frame.bottom(), m.bottom()));
  }
  return frame;
}

// The window's frame once the window manager framed it; before, the one it
// will most likely get.
QMargins FrameOf(const QWidget* window) {
  const QMargins frame = KnownFrame(window);
  return frame.isNull() ? OthersFrame(window) : frame;
}

std::vector<PlaceRect> AvailableScreens() {
  std::vector<PlaceRect> screens;
  for (const QScreen* s : QGuiApplication::screens()) {
    const QRect g = s->availableGeometry();
    screens.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  return screens;
}

// The smallest client size the window's layout works with.
QSize LeastSize(const QWidget* w) {
  return w->minimumSize().expandedTo(w->minimumSizeHint()).expandedTo(QSize(1, 1));
}

// Looks at each window once it is placed and again when it is first mapped.
class TOnScreenGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show && !event->spontaneous()) || type == QEvent::ShowToParent) {
      if (watched->isWidgetType()) Shown(static_cast<QWidget*>(watched), type);
    } else if (type == QEvent::Expose) {
      if (auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed()) {
        // Any window the manager framed tells the frame it gives: the
        // splash, framed by a manager that knows no frameless windows, is
        // how the first window placed learns it before it is mapped.
        if (window->isTopLevel()) KnownFrame(window);
        Mapped(window);
      }
    } else if (type == QEvent::Move && event->spontaneous() && !settling_.empty()) {
      if (watched->isWidgetType()) Moved(static_cast<QWidget*>(watched));
    }
    return false;
  }

 private:
  void Shown(QWidget* w, QEvent::Type type) {
    if (!w->isWindow() || !Placeable(w)) return;
    // A dialog centres itself in its own show handling, which runs after
    // this filter saw the show: it is looked at once shown (ShowToParent
    // follows). Any other window placed by the program is fitted before it
    // is mapped; the rest the window manager places.
    if (qobject_cast<QDialog*>(w)) {
      if (type != QEvent::ShowToParent) return;
      FitFrameOntoScreen(w);
    } else if (type == QEvent::Show && w->testAttribute(Qt::WA_Moved)) {
      FitFrameOntoScreen(w);
    }
    if (std::find(waiting_.begin(), waiting_.end(), w) == waiting_.end()) waiting_.push_back(w);
  }
  void Mapped(QWindow* window) {
    std::erase_if(waiting_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [window](const auto& w) { return w->windowHandle() == window; });
    if (it == waiting_.end()) return;
    QWidget* w = *it;
    waiting_.erase(it);
    if (w->isVisible() && FitFrameOntoScreen(w)) settling_.push_back({w, kSettleTries});
  }
  // A window moved once it was mapped is looked at again where the window
  // manager reports it put it: one that reads the asked place against
  // another frame (or before it framed the window) leaves the frame off the
  // screen. A few times at the most, against a manager that insists.
  void Moved(QWidget* w) {
    std::erase_if(settling_, [](const Settling& s) { return s.window.isNull(); });
    const auto it = std::find_if(settling_.begin(), settling_.end(),
                                 [w](const Settling& s) { return s.window == w; });
    if (it == settling_.end()) return;
    if (--it->tries <= 0 || !w->isVisible() || !FitFrameOntoScreen(w)) settling_.erase(it);
  }

  static constexpr int kSettleTries = 3;
  struct Settling {
    QPointer<QWidget> window;
    int tries;
  };
  std::vector<QPointer<QWidget>> waiting_;
  std::vector<Settling> settling_;
};

}  // namespace

QMargins ExpectedFrame(const QWidget* window) { return window ? FrameOf(window) : QMargins(); }

void KeepWindowsOnScreen() {
  static QPointer<TOnScreenGuard> guard;
  if (guard || !qApp) return;
  guard = new TOnScreenGuard(qApp);
  qApp->installEventFilter(guard);
}

bool FitFrameOntoScreen(QWidget* window) {
  if (!Placeable(window)) return false;
  const QRect client = window->geometry();
  const QMargins m = FrameOf(window);
  const QRect frame = client.marginsAdded(m);
  const QSize least = LeastSize(window).grownBy(m);
  const PlaceRect to = FitOntoScreens({frame.x(), frame.y(), frame.width(), frame.height()},
                                      AvailableScreens(), least.width(), least.height());
  // Placed by its client area, which every window manager puts where asked.
  const QRect fitted = QRect(to.x, to.y, to.w, to.h).marginsRemoved(m);
  if (fitted == client) return false;
  window->setGeometry(fitted);
  return true;
}

}  // namespace velmaris

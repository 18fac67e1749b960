#include "widgets/OnScreen.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "widgets/Placement.h"
#include "widgets/WmFrames.h"

namespace velmaris {

namespace {

// A window the window manager frames: no pop-up, tool tip or splash, and
// no window that asks to go without a frame.
bool Framed(const QWidget* w) {
  const Qt::WindowType type = w->windowType();
  if (type != Qt::Window && type != Qt::Dialog && type != Qt::Tool) return false;
  return !(w->windowFlags() & (Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint));
}

bool IsUp(const QWidget* w) {
  const QWindow* handle = w->windowHandle();
  return handle && handle->isExposed();
}

// Whether the window manager keeps the window maximised or full-screen
// (and so places it): only once it is mapped, and only a manager that
// keeps such states. A window in that state under twm or without a window
// manager is an ordinary window at its stored bounds.
bool KeptByManager(const QWidget* w) {
  const Qt::WindowStates state = w->windowState();
  if (!state.testAnyFlags(Qt::WindowMaximized | Qt::WindowFullScreen) || !IsUp(w)) return false;
  return (state.testFlag(Qt::WindowMaximized) && WmMaximizes()) ||
         (state.testFlag(Qt::WindowFullScreen) && WmMakesFullScreen());
}

bool Placeable(const QWidget* w) {
  return w && w->isWindow() && Framed(w) && !w->windowState().testFlag(Qt::WindowMinimized) &&
         !KeptByManager(w);
}

// What is known of the frames of the program's windows.
struct Frames {
  // The last frame the window manager gave a window of each kind.
  std::map<Qt::WindowType, QMargins> lastOfKind;
  // Where the frame's corner of each window placed by it goes, and the
  // client area that placed it (a window moved since is placed elsewhere).
  struct Placed {
    QPoint corner;
    QRect client;
  };
  std::vector<std::pair<QPointer<QWidget>, Placed>> corners;
};

Frames& Known() {
  static Frames frames;
  return frames;
}

template <class T>
auto Entry(std::vector<std::pair<QPointer<QWidget>, T>>& list, const QWidget* w) {
  std::erase_if(list, [](const auto& e) { return e.first.isNull(); });
  return std::find_if(list.begin(), list.end(), [w](const auto& e) { return e.first == w; });
}

// The frame of a window that is up: what the window manager set on it,
// else what the toolkit finds around it.
std::optional<QMargins> RealFrame(const QWidget* w) {
  if (!IsUp(w)) return std::nullopt;
  if (const auto extents = WmFrameExtents(w)) return extents;
  return w->windowHandle()->frameMargins();
}

// The frame of a window up, remembered for its kind.
std::optional<QMargins> LearnFrame(const QWidget* w) {
  const auto frame = RealFrame(w);
  if (frame) Known().lastOfKind[w->windowType()] = *frame;
  return frame;
}

// The frame a window of this kind not framed yet will most likely get: as
// large as the largest frame of the windows of its kind up, or the last one
// seen when none is up; none while nothing is known of the kind.
QMargins KindsFrame(const QWidget* window) {
  const Qt::WindowType kind = window->windowType();
  std::optional<QMargins> frame;
  for (const QWidget* other : QApplication::topLevelWidgets()) {
    if (other == window || other->windowType() != kind || !other->isVisible() || !Framed(other) ||
        KeptByManager(other))
      continue;
    if (const auto m = LearnFrame(other))
      frame = frame ? QMargins(std::max(frame->left(), m->left()), std::max(frame->top(), m->top()),
                               std::max(frame->right(), m->right()),
                               std::max(frame->bottom(), m->bottom()))
                    : *m;
  }
  if (frame) return *frame;
  const auto last = Known().lastOfKind.find(kind);
  return last != Known().lastOfKind.end() ? last->second : QMargins();
}

// The window's frame once the window manager framed it; before, the one
// the manager estimated for it when asked (the question goes out now, and
// the answer places the window once it came), else the one of its kind.
QMargins FrameOf(QWidget* window) {
  if (const auto real = RealFrame(window)) return *real;
  if (const auto estimate = WmFrameExtents(window)) return *estimate;
  WmAskFrameExtents(window);
  return KindsFrame(window);
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

// The client area that puts the frame (margins m around the client area)
// onto the screens.
QRect FittedClient(const QWidget* w, const QRect& client, const QMargins& m) {
  const QRect frame = client.marginsAdded(m);
  const QSize least = LeastSize(w).grownBy(m);
  const PlaceRect to = FitOntoScreens({frame.x(), frame.y(), frame.width(), frame.height()},
                                      AvailableScreens(), least.width(), least.height());
  return QRect(to.x, to.y, to.w, to.h).marginsRemoved(m);
}

// Places the window by its client area, which every window manager puts
// where asked; true when that changed it. A window in the maximised or
// full-screen state the window manager does not keep (none yet, before it
// is mapped) stays in it: the toolkit takes a new geometry as leaving it.
// (The moves it makes are told from those of other code by "placing".)
bool placing = false;

bool PlaceClient(QWidget* w, const QRect& client) {
  if (client == w->geometry()) return false;
  const Qt::WindowStates state = w->windowState();
  const QScopedValueRollback<bool> inside(placing, true);
  w->setGeometry(client);
  if (w->windowState() != state) w->setWindowState(state);
  return true;
}

// Where the window's frame corner goes, for a window placed by it.
std::optional<QPoint> CornerOf(const QWidget* w) {
  Frames& known = Known();
  const auto it = Entry(known.corners, w);
  return it == known.corners.end() ? std::nullopt : std::optional<QPoint>(it->second.corner);
}

void SetCorner(QWidget* w, QPoint corner) {
  Frames& known = Known();
  const Frames::Placed placed{corner, w->geometry()};
  if (const auto it = Entry(known.corners, w); it != known.corners.end())
    it->second = placed;
  else
    known.corners.emplace_back(w, placed);
}

// A window placed by its frame's corner and not shown yet goes back where
// it was placed, after a window manager told it of another place (openbox
// does so when it estimates a window's frame).
void KeepPlaced(QWidget* w) {
  Frames& known = Known();
  if (const auto it = Entry(known.corners, w); it != known.corners.end())
    PlaceClient(w, it->second.client);
}

void ForgetCorner(const QWidget* w) {
  Frames& known = Known();
  if (const auto it = Entry(known.corners, w); it != known.corners.end()) known.corners.erase(it);
}

// A window moved by other code after it was placed by its frame's corner
// goes where it was moved.
void ForgetCornerIfMoved(const QWidget* w) {
  Frames& known = Known();
  if (const auto it = Entry(known.corners, w);
      it != known.corners.end() && it->second.client.topLeft() != w->geometry().topLeft())
    known.corners.erase(it);
}

// The window with its frame's corner where it was placed (when it was
// placed by it) and its frame on the screen; true when it was moved or
// sized. The corner it is placed by is where its frame went (on the screen).
bool PutRight(QWidget* w) {
  if (!Placeable(w)) return false;
  const QMargins m = FrameOf(w);
  QRect client = w->geometry();
  const auto corner = CornerOf(w);
  if (corner) client.moveTopLeft(*corner + QPoint(m.left(), m.top()));
  const bool changed = PlaceClient(w, FittedClient(w, client, m));
  if (corner) SetCorner(w, w->geometry().topLeft() - QPoint(m.left(), m.top()));
  return changed;
}

// Looks at each window once it is placed, again when it is first mapped,
// and whenever the window manager frames it anew.
class TOnScreenGuard : public QObject {
 public:
  using QObject::QObject;

  // The window manager set the frame of a window: an estimate came for a
  // window placed by its corner and not mapped yet, which goes inside it
  // now; or a mapped window was framed anew (another manager took over, or
  // the window left the maximised state), which keeps its frame's corner
  // where it was and its frame on the screen.
  void FrameSet(QWidget* w) {
    if (!w || !w->isWindow() || !Placeable(w)) return;
    if (!IsUp(w)) {
      if (CornerOf(w) && std::find(waiting_.begin(), waiting_.end(), w) == waiting_.end())
        PutRight(w);
      return;
    }
    // The frame its kind gets now (another manager frames its own way).
    LearnFrame(w);
    // A window settling is fitted in its new frame (xfwm4 gives a window
    // let out of the maximised state its frame after its place).
    if (IsSettling(w)) {
      PutRight(w);
      return;
    }
    const auto it = Entry(held_, w);
    if (it == held_.end()) return;
    const QMargins m = FrameOf(w);
    if (m == it->second.frame) return;
    it->second.frame = m;
    SetCorner(w, it->second.corner);
    if (PutRight(w))
      Settle(w);
    else
      Done(w);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show && !event->spontaneous()) || type == QEvent::ShowToParent) {
      if (watched->isWidgetType()) Shown(static_cast<QWidget*>(watched), type);
    } else if (type == QEvent::Expose) {
      if (auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed())
        Mapped(window);
    } else if ((type == QEvent::Move || type == QEvent::Resize) && event->spontaneous() &&
               watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
      Moved(static_cast<QWidget*>(watched));
    } else if (type == QEvent::Move && !placing && watched->isWidgetType() &&
               static_cast<QWidget*>(watched)->isWindow()) {
      // Moved by the program's own code (or the user's command) after it
      // was placed: it goes there, not back to the place it was given.
      ForgetCornerIfMoved(static_cast<QWidget*>(watched));
    } else if (type == QEvent::WindowStateChange && watched->isWidgetType()) {
      StateChanged(static_cast<QWidget*>(watched),
                   static_cast<QWindowStateChangeEvent*>(event)->oldState());
    } else if (type == QEvent::Hide && watched->isWidgetType()) {
      Forget(static_cast<QWidget*>(watched));
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
      ForgetCornerIfMoved(w);
      PutRight(w);
      // The place goes to the window manager as the one the program asks
      // for, also for a window whose native window was made before it was
      // placed (the toolkit would leave its place to the manager then).
      // Placed by its client area inside the frame expected, or, with none
      // known, by its frame's corner as the toolkit places a frame.
      // (A window shown maximised or full-screen is left to the toolkit,
      // which hands the state to the manager.)
      if (const auto corner = CornerOf(w); corner && w->windowHandle() &&
                                           !w->windowState().testAnyFlags(
                                               Qt::WindowMaximized | Qt::WindowFullScreen)) {
        QWindow* handle = w->windowHandle();
        if (FrameOf(w).isNull()) {
          handle->resize(w->size());
          handle->setFramePosition(*corner);
        } else {
          handle->setGeometry(w->geometry());
        }
      }
    }
    if (std::find(waiting_.begin(), waiting_.end(), w) == waiting_.end()) {
      waiting_.push_back(w);
      asked_.emplace_back(w, w->windowState());
    }
  }
  void Mapped(QWindow* window) {
    std::erase_if(waiting_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [window](const auto& w) { return w->windowHandle() == window; });
    if (it == waiting_.end()) {
      // Any other window framed tells the frame its kind gets.
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == window) LearnFrame(w);
      return;
    }
    QWidget* w = *it;
    waiting_.erase(it);
    LearnFrame(w);
    if (!w->isVisible()) return Done(w);
    // A window the manager maximised unasked is taken out of that state
    // first, and put right where the manager puts it then.
    if (Unmaximize(w)) return Settle(w);
    // Where the window manager put the window reaches the toolkit after
    // the window is exposed, at times: it is looked at once it has.
    if (const auto at = WmClientCorner(w); at && *at != w->geometry().topLeft()) return Settle(w);
    // Once it is where it belongs, the window goes where the user takes it.
    if (PutRight(w))
      Settle(w);
    else
      Done(w);
  }
  // A window manager may maximise a window it maps by its own rule (xfwm4
  // does so with one whose frame is as large as the work area, which is
  // what un-maximising leaves): a window shown in the normal state is
  // taken out of the state again, at the place and size it was given.
  // True when it was.
  bool Unmaximize(QWidget* w) {
    const auto it = Entry(asked_, w);
    if (it == asked_.end()) return false;
    const Qt::WindowStates asked = it->second;
    asked_.erase(it);
    const Qt::WindowStates added =
        w->windowState() & ~asked & (Qt::WindowMaximized | Qt::WindowFullScreen);
    if (added) w->setWindowState(w->windowState() & ~added);
    return added != Qt::WindowStates();
  }
  // A window moved once it was mapped is looked at again where the window
  // manager reports it put it: one that reads the asked place against
  // another frame (or before it framed the window) leaves the frame
  // elsewhere. A few times at the most, against a manager that insists.
  // A window that has settled goes where it is moved, and its frame's
  // corner is held there, unless its frame changed (then it is framed
  // anew).
  void Moved(QWidget* w) {
    if (!w->isVisible()) return KeepPlaced(w);
    std::erase_if(settling_, [](const Settling& s) { return s.window.isNull(); });
    const auto it = std::find_if(settling_.begin(), settling_.end(),
                                 [w](const Settling& s) { return s.window == w; });
    if (it != settling_.end()) {
      if (--it->tries < 0 || !w->isVisible() || !PutRight(w)) Done(w);
      return;
    }
    const auto held = Entry(held_, w);
    if (held == held_.end() || !IsUp(w) || !Placeable(w)) return;
    const QMargins m = FrameOf(w);
    if (m != held->second.frame) return FrameSet(w);
    held->second.corner = w->geometry().topLeft() - QPoint(m.left(), m.top());
  }
  // A window the window manager lets out of the maximised or full-screen
  // state gets back the bounds it had before: on the screen, but for a
  // manager that reads them against another frame.
  void StateChanged(QWidget* w, Qt::WindowStates old) {
    if (!w->isWindow() || !old.testAnyFlags(Qt::WindowMaximized | Qt::WindowFullScreen) ||
        !Placeable(w) || !IsUp(w))
      return;
    PutRight(w);
    Settle(w);
  }
  bool IsSettling(const QWidget* w) const {
    return std::any_of(settling_.begin(), settling_.end(),
                       [w](const Settling& s) { return s.window == w; });
  }
  void Settle(QWidget* w) {
    const auto it = std::find_if(settling_.begin(), settling_.end(),
                                 [w](const Settling& s) { return s.window == w; });
    if (it != settling_.end())
      it->tries = kSettleTries;
    else
      settling_.push_back({w, kSettleTries});
  }
  // The window is where it belongs: its frame's corner is held there.
  void Done(QWidget* w) {
    std::erase_if(settling_, [w](const Settling& s) { return s.window == w; });
    ForgetCorner(w);
    if (!IsUp(w) || !Placeable(w)) return;
    const QMargins m = FrameOf(w);
    const Held held{w->geometry().topLeft() - QPoint(m.left(), m.top()), m};
    if (const auto it = Entry(held_, w); it != held_.end())
      it->second = held;
    else
      held_.emplace_back(w, held);
  }
  // A window hidden is placed anew when it is shown again.
  void Forget(QWidget* w) {
    if (!w->isWindow()) return;
    std::erase_if(settling_, [w](const Settling& s) { return s.window == w; });
    if (const auto it = Entry(held_, w); it != held_.end()) held_.erase(it);
  }

  static constexpr int kSettleTries = 3;
  struct Settling {
    QPointer<QWidget> window;
    int tries;
  };
  // Where a settled window's frame's corner is, with the frame it has.
  struct Held {
    QPoint corner;
    QMargins frame;
  };
  std::vector<QPointer<QWidget>> waiting_;
  // The state of each window waiting as it was shown.
  std::vector<std::pair<QPointer<QWidget>, Qt::WindowStates>> asked_;
  std::vector<Settling> settling_;
  std::vector<std::pair<QPointer<QWidget>, Held>> held_;
};

QPointer<TOnScreenGuard>& Guard() {
  static QPointer<TOnScreenGuard> guard;
  return guard;
}

}  // namespace

QMargins ExpectedFrame(QWidget* window) { return window ? FrameOf(window) : QMargins(); }

void PlaceByFrame(QWidget* window, const QRect& cornerAndClientSize) {
  if (!window) return;
  const QMargins m = FrameOf(window);
  if (m.isNull()) {
    // No frame known: placed by its frame's corner as the toolkit places
    // it, which most window managers and platforms honour (twm does not:
    // it is put right once mapped).
    window->move(cornerAndClientSize.topLeft());
    window->resize(cornerAndClientSize.size());
  } else {
    window->setGeometry(cornerAndClientSize.translated(m.left(), m.top()));
  }
  if (!IsUp(window)) SetCorner(window, cornerAndClientSize.topLeft());
}

QPoint FrameCorner(QWidget* window) {
  const QMargins m = ExpectedFrame(window);
  // Without any frame known, where the toolkit has the frame.
  return m.isNull() ? window->pos() : window->geometry().topLeft() - QPoint(m.left(), m.top());
}

void KeepWindowsOnScreen() {
  QPointer<TOnScreenGuard>& guard = Guard();
  if (guard || !qApp) return;
  guard = new TOnScreenGuard(qApp);
  qApp->installEventFilter(guard);
  WmWatchFrames([](WId id) {
    if (!Guard()) return;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->testAttribute(Qt::WA_WState_Created) && w->internalWinId() == id)
        return Guard()->FrameSet(w);
  });
}

bool FitFrameOntoScreen(QWidget* window) {
  if (!Placeable(window)) return false;
  return PlaceClient(window, FittedClient(window, window->geometry(), FrameOf(window)));
}

}  // namespace velmaris

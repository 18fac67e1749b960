#include "widgets/WmFrames.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmaris {

namespace {

xcb_connection_t* Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  // Atoms live as long as the server; one connection per program.
  static std::map<std::string, xcb_atom_t> known;
  if (const auto it = known.find(name); it != known.end()) return it->second;
  Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name),
                            nullptr),
      &std::free);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  if (atom != XCB_ATOM_NONE) known[name] = atom;
  return atom;
}

// The 32-bit values of a property of the given type; nothing when the
// window has no such property.
std::optional<std::vector<uint32_t>> Values(xcb_connection_t* c, xcb_window_t window,
                                            xcb_atom_t property, xcb_atom_t type) {
  Reply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr),
      &std::free);
  if (!reply || reply->type != type || reply->format != 32) return std::nullopt;
  const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
  return std::vector<uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

xcb_window_t Root(xcb_connection_t* c) {
  const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  return it.rem ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

// The check window of the EWMH window manager that runs (it names itself,
// so that a property left by one that ended does not count): it tells one
// manager from the next. None when no such manager runs.
xcb_window_t RunningManager(xcb_connection_t* c) {
  const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
  const auto onRoot = Values(c, Root(c), check, XCB_ATOM_WINDOW);
  if (!onRoot || onRoot->empty()) return XCB_WINDOW_NONE;
  const auto onItself = Values(c, onRoot->front(), check, XCB_ATOM_WINDOW);
  if (!onItself || onItself->empty() || onItself->front() != onRoot->front())
    return XCB_WINDOW_NONE;
  return onRoot->front();
}

// Whether an EWMH window manager runs and lists the atom among what it
// supports.
bool ManagerSupports(xcb_connection_t* c, const char* name) {
  if (RunningManager(c) == XCB_WINDOW_NONE) return false;
  const xcb_atom_t wanted = Atom(c, name);
  const auto supported = Values(c, Root(c), Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
  if (!supported || wanted == XCB_ATOM_NONE) return false;
  for (uint32_t atom : *supported)
    if (atom == wanted) return true;
  return false;
}

std::optional<QMargins> Extents(xcb_connection_t* c, xcb_window_t window) {
  const auto v = Values(c, window, Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
  if (!v || v->size() != 4) return std::nullopt;
  // Left, right, top, bottom.
  return QMargins(static_cast<int>((*v)[0]), static_cast<int>((*v)[2]), static_cast<int>((*v)[1]),
                  static_cast<int>((*v)[3]));
}

// The questions about frames put to the window managers, and what became
// of them, seen in the events the X server sends the program's windows: an
// answer is the frame extents set on a window asked about before its
// manager framed it (reparented or mapped it); a window framed first went
// unanswered. A manager answers a question before it frames the window,
// for it takes both from the program in the order they were sent.
class Questions : public QAbstractNativeEventFilter {
 public:
  std::function<void(WId)> watcher;

  // Starts reading the events (once; a connection is there).
  void Watch() {
    xcb_connection_t* c = Connection();
    if (watching_ || !qApp || !c) return;
    watching_ = true;
    extents_ = Atom(c, "_NET_FRAME_EXTENTS");
    qApp->installNativeEventFilter(this);
  }
  // Whether the manager may be asked now: it answered before, or it was
  // never found silent and no question to it is open (so that a manager
  // that does not answer leaves one question open at the most).
  bool MayAsk(xcb_window_t manager) {
    if (manager == XCB_WINDOW_NONE) return false;
    std::erase_if(open_, [](const Open& o) { return o.window.isNull(); });
    const Record& r = managers_[manager];
    if (r.answers) return true;
    if (r.unanswered > 0) return false;
    for (const Open& o : open_)
      if (o.manager == manager) return false;
    return true;
  }
  // A question about the window goes out; false when it went out before.
  bool Asking(QWidget* window, xcb_window_t id, xcb_window_t manager) {
    if (std::find(asked_.begin(), asked_.end(), id) != asked_.end()) return false;
    asked_.push_back(id);
    open_.push_back({window, id, manager});
    return true;
  }
  int Unanswered(xcb_window_t manager) const {
    const auto it = managers_.find(manager);
    return it == managers_.end() ? 0 : it->second.unanswered;
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    switch (e->response_type & 0x7f) {
      case XCB_PROPERTY_NOTIFY: {
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        if (p->atom == extents_ && p->state == XCB_PROPERTY_NEW_VALUE) Close(p->window, true);
        break;
      }
      case XCB_REPARENT_NOTIFY:
        Close(reinterpret_cast<const xcb_reparent_notify_event_t*>(e)->window, false);
        break;
      case XCB_MAP_NOTIFY:
        Close(reinterpret_cast<const xcb_map_notify_event_t*>(e)->window, false);
        break;
      default: break;
    }
    return false;
  }

 private:
  struct Open {
    QPointer<QWidget> window;
    xcb_window_t id;
    xcb_window_t manager;
  };
  struct Record {
    bool answers = false;
    int unanswered = 0;
  };
  // The window's frame was set (answered) or the window framed: the open
  // question about it closes; the watcher hears of it once the event has
  // been handled by the toolkit too.
  void Close(xcb_window_t id, bool answered) {
    const auto it =
        std::find_if(open_.begin(), open_.end(), [id](const Open& o) { return o.id == id; });
    if (it != open_.end()) {
      Record& r = managers_[it->manager];
      if (answered)
        r.answers = true;
      else if (!r.answers)
        ++r.unanswered;
      open_.erase(it);
    }
    if (watcher && qApp)
      QMetaObject::invokeMethod(
          qApp,
          [this, id] {
            if (watcher) watcher(static_cast<WId>(id));
          },
          Qt::QueuedConnection);
  }

  bool watching_ = false;
  xcb_atom_t extents_ = XCB_ATOM_NONE;
  std::vector<xcb_window_t> asked_;
  std::vector<Open> open_;
  std::map<xcb_window_t, Record> managers_;
};

Questions& Asked() {
  static Questions* questions = new Questions;  // lives as long as the application
  return *questions;
}

}  // namespace

std::optional<QMargins> WmFrameExtents(const QWidget* window) {
  xcb_connection_t* c = Connection();
  if (!c || !window || !window->isWindow() || !window->testAttribute(Qt::WA_WState_Created))
    return std::nullopt;
  return Extents(c, static_cast<xcb_window_t>(window->internalWinId()));
}

bool WmAskFrameExtents(QWidget* window) {
  xcb_connection_t* c = Connection();
  if (!c || !window || !window->isWindow()) return false;
  Questions& q = Asked();
  q.Watch();
  const xcb_window_t manager = RunningManager(c);
  if (!q.MayAsk(manager) || !ManagerSupports(c, "_NET_REQUEST_FRAME_EXTENTS")) return false;
  // The window with the type and decoration hints the toolkit gives it, so
  // that the estimate is for this kind of window.
  const auto id = static_cast<xcb_window_t>(window->winId());
  if (!q.Asking(window, id, manager)) return false;
  xcb_client_message_event_t request{};
  request.response_type = XCB_CLIENT_MESSAGE;
  request.format = 32;
  request.window = id;
  request.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(c, 0, Root(c),
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&request));
  xcb_flush(c);
  return true;
}

int WmUnansweredFrameQuestions() {
  xcb_connection_t* c = Connection();
  return c ? Asked().Unanswered(RunningManager(c)) : 0;
}

void WmWatchFrames(std::function<void(WId)> onFrame) {
  Asked().watcher = std::move(onFrame);
  Asked().Watch();
}

std::optional<QPoint> WmClientCorner(const QWidget* window) {
  xcb_connection_t* c = Connection();
  if (!c || !window || !window->testAttribute(Qt::WA_WState_Created)) return std::nullopt;
  Reply<xcb_translate_coordinates_reply_t> at(
      xcb_translate_coordinates_reply(
          c,
          xcb_translate_coordinates(c, static_cast<xcb_window_t>(window->internalWinId()), Root(c),
                                    0, 0),
          nullptr),
      &std::free);
  if (!at) return std::nullopt;
  return QPoint(at->dst_x, at->dst_y);
}

bool WmMaximizes() {
  xcb_connection_t* c = Connection();
  return c && ManagerSupports(c, "_NET_WM_STATE_MAXIMIZED_VERT") &&
         ManagerSupports(c, "_NET_WM_STATE_MAXIMIZED_HORZ");
}

bool WmMakesFullScreen() {
  xcb_connection_t* c = Connection();
  return c && ManagerSupports(c, "_NET_WM_STATE_FULLSCREEN");
}

}  // namespace velmaris

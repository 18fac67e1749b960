#include "widgets/WmFrames.h"

#include <xcb/xcb.h>

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace velmaris {

namespace {

// How long the window manager may take to estimate a frame. It answers in
// a few milliseconds; a loaded machine gets plenty more. Past it the
// window is placed without the estimate and put right once it is mapped.
constexpr int kFrameRequestMs = 2000;

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

// Whether an EWMH window manager runs (its check window names itself, so
// that a property left by one that ended does not count) and lists the
// atom among what it supports.
bool ManagerSupports(xcb_connection_t* c, const char* name) {
  const xcb_window_t root = Root(c);
  const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
  const auto onRoot = Values(c, root, check, XCB_ATOM_WINDOW);
  if (!onRoot || onRoot->empty()) return false;
  const auto onItself = Values(c, onRoot->front(), check, XCB_ATOM_WINDOW);
  if (!onItself || onItself->empty() || onItself->front() != onRoot->front()) return false;
  const xcb_atom_t wanted = Atom(c, name);
  const auto supported = Values(c, root, Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
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

}  // namespace

std::optional<QMargins> WmFrameExtents(const QWidget* window) {
  xcb_connection_t* c = Connection();
  if (!c || !window || !window->isWindow() || !window->testAttribute(Qt::WA_WState_Created))
    return std::nullopt;
  return Extents(c, static_cast<xcb_window_t>(window->internalWinId()));
}

std::optional<QMargins> WmRequestFrameExtents(QWidget* window) {
  xcb_connection_t* c = Connection();
  if (!c || !window || !window->isWindow() || !ManagerSupports(c, "_NET_REQUEST_FRAME_EXTENTS"))
    return std::nullopt;
  // The window with the type and decoration hints the toolkit gives it, so
  // that the estimate is for this kind of window.
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
  // What an earlier framing left is not the answer.
  xcb_delete_property(c, id, extents);
  xcb_client_message_event_t request{};
  request.response_type = XCB_CLIENT_MESSAGE;
  request.format = 32;
  request.window = id;
  request.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(c, 0, Root(c),
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&request));
  xcb_flush(c);
  const QDeadlineTimer until(kFrameRequestMs);
  for (;;) {
    if (auto frame = Extents(c, id)) return frame;
    if (until.hasExpired()) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
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

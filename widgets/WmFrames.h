// What the window manager itself says about a window's frame and state,
// where it says anything: an EWMH window manager (xfwm4, icewm, openbox,
// metacity, ...) sets _NET_FRAME_EXTENTS on the windows it frames, estimates
// them for a window not mapped yet when asked, and lists in _NET_SUPPORTED
// the states it keeps. twm and a display without a window manager say
// nothing; neither does a platform other than X11 (every answer is then
// "nothing known").
//
// Nothing here waits for the window manager: a question goes out, and its
// answer is read when it has come (the window watcher below is told).
#pragma once

#include <QMargins>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

namespace velmaris {

// The frame extents set on the window: by the window manager that framed
// it, or its estimate for a window not mapped yet (a window that must stay
// unframed gets zero extents, which is an answer). Never creates the
// native window.
std::optional<QMargins> WmFrameExtents(const QWidget* window);

// Asks the window manager to estimate the frame it will give the window
// (_NET_REQUEST_FRAME_EXTENTS), without waiting for the answer: it lands on
// the window, where WmFrameExtents reads it, and the watcher is told. A
// window is asked about once. A manager that frames a window asked about
// before it answered (fluxbox lists the request and never answers it) is
// remembered and not asked again, nor is a manager that does not list the
// request. True when the question went out. Creates the native window.
bool WmAskFrameExtents(QWidget* window);

// How many questions about frames the window manager running now left
// unanswered (at most one: it is not asked again).
int WmUnansweredFrameQuestions();

// Called with the native window whose frame the window manager set anew:
// an estimate answered, the window framed, or framed again by a manager
// that replaced the one before. One watcher; a new one replaces it.
void WmWatchFrames(std::function<void(WId)> onFrame);

// Where the X server has the window's client area's top-left corner now,
// in root coordinates (one round trip to the server, never to the window
// manager). Nothing off X11 or for a window not created.
std::optional<QPoint> WmClientCorner(const QWidget* window);

// Whether a window manager runs that keeps windows maximised itself
// (_NET_WM_STATE_MAXIMIZED_VERT and _HORZ in its _NET_SUPPORTED).
bool WmMaximizes();

// Whether a window manager runs that puts a window into the full-screen
// state itself.
bool WmMakesFullScreen();

}  // namespace velmaris

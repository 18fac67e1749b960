// What the window manager itself says about a window's frame and state,
// where it says anything: an EWMH window manager (xfwm4, icewm, openbox,
// metacity, ...) sets _NET_FRAME_EXTENTS on the windows it frames, estimates
// them for a window not mapped yet when asked, and lists in _NET_SUPPORTED
// the states it keeps. twm and a display without a window manager say
// nothing; neither does a platform other than X11 (every answer is then
// "nothing known").
#pragma once

#include <QMargins>
#include <optional>

class QWidget;

namespace velmaris {

// The frame extents the window manager set on the window, when it set any
// (a window that must stay unframed gets zero extents, which is an answer).
// Never creates the native window.
std::optional<QMargins> WmFrameExtents(const QWidget* window);

// The frame the window manager will give the window: it is asked to
// estimate the extents (_NET_REQUEST_FRAME_EXTENTS) and answers on the
// window; waited for a bounded time. Nothing when the manager does not
// take the request or does not answer. Creates the native window.
std::optional<QMargins> WmRequestFrameExtents(QWidget* window);

// Whether a window manager runs that keeps windows maximised itself
// (_NET_WM_STATE_MAXIMIZED_VERT and _HORZ in its _NET_SUPPORTED).
bool WmMaximizes();

// Whether a window manager runs that puts a window into the full-screen
// state itself.
bool WmMakesFullScreen();

}  // namespace velmaris

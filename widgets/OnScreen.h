// Every window of the program opens with its frame on the screen, under a
// window manager and without one, and no larger than that screen where its
// layout lets it shrink (a tab bar scrolls, a list shows fewer rows).
//
// A window is placed by the position of its frame (a dialog centred over
// its owner, a stored placement) or of its client area (a window beside
// another). Before a window is mapped its frame is not known, and window
// managers read the position differently: twm, for one, puts the client
// area where the frame was asked for, so that a dialog centred at the top
// of the screen gets its title bar above it. So each window is looked at
// twice: once it is placed, its frame (as large as the frames of the windows
// already up) is fitted onto the screen by moving and sizing its client
// area; and once it is mapped and its real frame is known, a frame still off
// the screen or larger than it is fitted again. A window placed by the
// program is looked at as it is shown; a dialog only after it has shown
// itself, for it centres itself over its owner then, and a move before that
// would count as its place and keep it from centring. Pop-ups, tool tips
// and windows without a frame are left alone; so are maximised and
// full-screen ones. A window the window manager places is only fitted once
// it is mapped.
#pragma once

#include <QMargins>

class QWidget;

namespace velmaris {

// Starts looking at the windows of the application (once; later calls do
// nothing). Needs the QApplication.
void KeepWindowsOnScreen();

// The frame the window has or, before the window manager framed it, will
// most likely get: as large as the frames of the windows up, or the last one
// the window manager gave a window of the program (the splash's, for the
// first window). None without a window manager.
QMargins ExpectedFrame(const QWidget* window);

// The same placement for one window now: its frame (known, or estimated from
// the windows up) shrunk to the screen as far as its minimum size lets it
// and moved onto it. True when it was moved or sized.
bool FitFrameOntoScreen(QWidget* window);

}  // namespace velmaris

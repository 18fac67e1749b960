// Every window of the program opens with its frame on the screen, under a
// window manager and without one, and no larger than that screen where its
// layout lets it shrink (a tab bar scrolls, a list shows fewer rows).
//
// A window is placed by the position of its frame (a dialog centred over
// its owner, a stored placement) or of its client area (a window beside
// another). Before a window is mapped its frame is not known, and window
// managers read the position differently: twm, for one, puts the client
// area where the frame was asked for, so that a dialog centred at the top
// of the screen gets its title bar above it. So a window is placed by its
// client area, which every window manager puts where asked, inside the
// frame it will get: the one an EWMH window manager estimated for it when
// asked (the question never waits: the answer places a window not yet
// shown when it comes, and a manager that leaves it unanswered is asked no
// more), else the one the manager gave the windows of the same kind (a
// top-level window, a dialog, a tool window, a splash: a manager may frame
// each kind its own way, or not at all). Each window is looked at twice:
// once it is placed, its frame is fitted onto the screen by moving and
// sizing its client area; and once it is mapped and its real frame is
// known, a window placed by its frame's corner is moved to where that
// corner belongs (the frame expected may have been wrong, or none known),
// and a frame still off the screen or larger than it is fitted again; a
// window framed anew later (another window manager took over) keeps its
// frame's corner. A window moved by other code goes where it was moved. A
// window placed by the program is looked at as it is shown; a dialog only
// after it has shown itself, for it centres itself over its owner then,
// and a move before that would count as its place and keep it from
// centring. Pop-ups, tool tips and windows without a frame are left alone;
// so are windows the window manager keeps maximised or full-screen (a
// window in that state under a manager that cannot keep it so, or
// without one, is fitted like any other), and a window is looked at again
// when it comes out of that state. A window the window manager places is
// only fitted once it is mapped.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace velmaris {

// Starts looking at the windows of the application (once; later calls do
// nothing). Needs the QApplication.
void KeepWindowsOnScreen();

// The frame the window has or, before the window manager framed it, will
// most likely get (see above). None without a window manager, and none
// while nothing is known of the window's kind.
QMargins ExpectedFrame(QWidget* window);

// Places the window so that its frame's top-left corner lies at the
// rectangle's corner and its client area has the rectangle's size; once it
// is mapped the corner is checked against the frame the window manager
// really gave it and put right.
void PlaceByFrame(QWidget* window, const QRect& cornerAndClientSize);

// The frame's top-left corner of a window placed or shown: where the
// window manager put it, or where it will go.
QPoint FrameCorner(QWidget* window);

// The same placement for one window now: its frame (known, or expected)
// shrunk to the screen as far as its minimum size lets it and moved onto
// it. True when it was moved or sized.
bool FitFrameOntoScreen(QWidget* window);

}  // namespace velmaris

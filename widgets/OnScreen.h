// Every window of the program opens with its frame on the screen, under a
// window manager and without one.
//
// A window is placed by the position of its frame (a dialog centred over
// its owner, a stored placement) or of its client area (a window beside
// another). Before a window is mapped its frame is not known, and window
// managers read the position differently: twm, for one, puts the client
// area where the frame was asked for, so that a dialog centred at the top
// of the screen gets its title bar above it. So each window is looked at
// twice: as it is shown, its frame (as large as the frames of the windows
// already up) is moved onto the screen by moving its client area; and once
// it is mapped and its real frame is known, a frame still off the screen is
// moved onto it. Pop-ups, tool tips and windows without a frame are left
// alone; so are windows the window manager places itself (never moved), and
// maximised and full-screen ones.
#pragma once

class QWidget;

namespace velmaris {

// Starts looking at the windows of the application (once; later calls do
// nothing). Needs the QApplication.
void KeepWindowsOnScreen();

// The same placement for one window now: its frame (known, or estimated from
// the windows up) moved onto the screen. True when it was moved.
bool MoveFrameOntoScreen(QWidget* window);

}  // namespace velmaris

// The help stand-in: the help of "<name>.hlp" is a folder "<name>/" of HTML
// pages beside it, one per help context ("<context>.html"). One viewer
// window serves every request. The program ships its pages as resources
// (":/Tervik/<context>.html"); a page in the folder beside the help file
// takes their place. A topic without a page says so.
//
// A modal window takes the input of every window outside it. Help asked for
// while one is up (F1 in the settings) must still be read, followed and
// closed: the viewer is then a child window of the topmost modal window, and
// goes on to the next one, or back to the top level, when that one closes.
// A modal window opened while the viewer is up (a properties window from a
// settings page) takes the viewer along in the same way; that window stays
// in front and the viewer moves beside it, where there is room, so that
// both can be read and used.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <string>

namespace velmaris {

class THelpViewer : public QTextBrowser {
  Q_OBJECT

 public:
  explicit THelpViewer(QWidget* parent = nullptr);
  void ShowTopic(const std::string& helpFile, int context);
  // Makes the viewer a child window of the modal window that is up (none:
  // a window of its own), keeping its place and its visibility; that window
  // stays in front of the viewer.
  void FollowModal(QWidget* modal);
  // Moves the viewer beside the window when it would cover it (frame: the
  // viewer's frame margins); whether it stands clear of the window (no
  // side of a small screen may have room).
  bool StandBeside(QWidget* window, QMargins frame);
  // The window manager's frame around the viewer (none while unframed).
  QMargins FrameMargins() const;

 // Closed: it goes once the program gets back to its event loop.
  bool Closed() const { return closed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // A window shown somewhere in the program: one that is modal and lies
  // outside the viewer takes the viewer along once it is up.
  void WindowShown(QWidget* window);
  // Whether the window is the viewer or one of its own, at any depth.
  bool Owns(const QWidget* window) const;
  // Whether the viewer's closing keys, given to the window (one outside
  // the viewer), are the viewer's: it is shown and lies on top of that
  // window, or has the pointer.
  bool TakesKeysOf(QWidget* window) const;
  QPointer<QWidget> modal_;
  bool closed_ = false;
};

// The one viewer, shown in front with the topic.
THelpViewer* ShowHelpTopic(const std::string& helpFile, int context);

}  // namespace velmaris

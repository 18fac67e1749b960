// The window shown while the program starts: borderless, centred on the
// screen, 180 x 321 pixels, with the program's name and its release.
#pragma once

#include <QWidget>

class QEventLoop;
class QLabel;

namespace velmaris {

class TSplashWin : public QWidget {
  Q_OBJECT
 public:
  explicit TSplashWin(QWidget* parent = nullptr);
  // Shows the window centred on the primary screen and returns once it has
  // been painted on the screen (or after kExposeWaitMs when the window
  // system never shows it).
  void ShowNow();
  static constexpr int kExposeWaitMs = 3000;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FormCreate();
  void PaintBackground();
  QLabel* verInfo_ = nullptr;
  bool paintedExposed_ = false;
  QEventLoop* waitLoop_ = nullptr;
};

}  // namespace velmaris

// The window shown while the program starts: borderless, centred on the
// screen, 180 x 321 pixels, with the program's name and its release.
#pragma once

#include <QWidget>

class QLabel;

namespace velmaris {

class TSplashWin : public QWidget {
  Q_OBJECT
 public:
  explicit TSplashWin(QWidget* parent = nullptr);
  // Shows the window centred on the primary screen and paints it at once.
  void ShowNow();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FormCreate();
  QLabel* verInfo_ = nullptr;
};

}  // namespace velmaris

// TStatusLabel: a line of status text (a window's status bar, the line
// beside a progress gauge). The text is cut in the middle with "…" to the
// room the label has, and the whole text shows as the label's tool tip
// while it is cut. No text widens the label's window: the label asks for
// the width of a short line at most, and needs only a few letters' width.
#pragma once

#include <QLabel>

namespace velmaris {

class TStatusLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TStatusLabel(QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The text as it shows in the room the label has now.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QRect TextRect() const;
};

}  // namespace velmaris

// A thin bar the user drags to split an area in two. While the mouse is
// held a rubber band follows it within Min .. Max (Max 0: the parent's far
// edge less the bar's size; the upper limit wins over Min); on release
// OnSplit reports the new position and the form does the resizing.
#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

class QRubberBand;

namespace velmaris {

enum class TSplitDirection { sdVertical, sdHorizontal };

class TSplitIt : public QWidget {
  Q_OBJECT

 public:
  explicit TSplitIt(QWidget* parent = nullptr);

  int Min = 0;
  int Max = 0;
  TSplitDirection SplitDirection() const { return direction_; }
  void SetSplitDirection(TSplitDirection value);
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  bool Splitting() const { return splitting_; }
  // The offset of the drag bar from the control's own position.
  int Offset() const { return offset_; }

  // Replaces the default painting (a fill in Color).
  std::function<void(TSplitIt* sender, QPainter& painter)> OnPaint;

 signals:
  void startSplit();
  void split(int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ShowBar();
  TSplitDirection direction_ = TSplitDirection::sdVertical;
  QColor color_;
  bool splitting_ = false;
  int offset_ = 0;
  QRubberBand* bar_ = nullptr;
};

}  // namespace velmaris

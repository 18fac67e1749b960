// A list of equal-sized images that several controls share (speed bar
// items, tree nodes, page tabs). Controls listen to changed() and forget the
// list when it is destroyed.
#pragma once

#include <QObject>
#include <QPixmap>
#include <vector>

class QPainter;

namespace velmaris {

class TImageList : public QObject {
  Q_OBJECT

 public:
  explicit TImageList(int width = 16, int height = 16, QObject* owner = nullptr);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }
  // Adds one image (scaled to the list's size); returns its index.
  int Add(const QPixmap& image);
  // Cuts a strip into images of the list's width. A strip without alpha
  // leaves out the colour of its bottom-left pixel.
  void AddStrip(const QPixmap& strip);
  void Clear();
  // A null pixmap for an index out of range.
  QPixmap Image(int index) const;
  void Draw(QPainter& painter, int x, int y, int index, bool enabled = true) const;

 signals:
  void changed();

 private:
  int width_, height_;
  std::vector<QPixmap> images_;
};

}  // namespace velmaris

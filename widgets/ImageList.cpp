#include "widgets/ImageList.h"

#include <QPainter>

#include "widgets/VxGraphics.h"

namespace velmaris {

TImageList::TImageList(int width, int height, QObject* owner)
    : QObject(owner), width_(width), height_(height) {}

int TImageList::Add(const QPixmap& image) {
  images_.push_back(
      image.size() == QSize(width_, height_)
          ? image
          : image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  emit changed();
  return Count() - 1;
}

void TImageList::AddStrip(const QPixmap& strip) {
  if (strip.isNull() || width_ <= 0) return;
  const QPixmap source =
      strip.hasAlphaChannel() ? strip : WithTransparentColor(strip, TransparentColorOf(strip));
  for (int x = 0; x + width_ <= source.width(); x += width_)
    images_.push_back(source.copy(x, 0, width_, height_));
  emit changed();
}

void TImageList::Clear() {
  images_.clear();
  emit changed();
}

QPixmap TImageList::Image(int index) const {
  return index >= 0 && index < Count() ? images_[static_cast<size_t>(index)] : QPixmap();
}

void TImageList::Draw(QPainter& painter, int x, int y, int index, bool enabled) const {
  const QPixmap image = Image(index);
  if (image.isNull()) return;
  if (enabled) {
    painter.drawPixmap(x, y, image);
  } else {
    painter.drawPixmap(x, y, CreateDisabledBitmap(image, QColor(255, 0, 255)));
  }
}

}  // namespace velmaris

#include "widgets/VxGraphics.h"

#include <QApplication>
#include <QBitmap>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <map>

#include "widgets/logic/VxStrUtils.h"

namespace velmaris {

namespace {

std::map<int, QCursor>& Cursors() {
  static std::map<int, QCursor> cursors;
  return cursors;
}

// A pixel that the embossed look draws: opaque, not the transparent colour,
// and not light (light pixels vanish as in a two-colour conversion).
bool Drawn(QRgb px, QRgb transparent) {
  if (qAlpha(px) < 128) return false;
  if ((px & 0xFFFFFF) == (transparent & 0xFFFFFF)) return false;
  return qGray(px) < 192;
}

QImage EmbossMask(const QPixmap& bitmap, const QColor& transparentColor) {
  const QImage src = bitmap.toImage().convertToFormat(QImage::Format_ARGB32);
  QImage mask(src.size(), QImage::Format_ARGB32);
  mask.fill(Qt::transparent);
  const QRgb transparent = transparentColor.rgb();
  for (int y = 0; y < src.height(); ++y) {
    for (int x = 0; x < src.width(); ++x) {
      if (Drawn(src.pixel(x, y), transparent)) mask.setPixel(x, y, qRgba(0, 0, 0, 255));
    }
  }
  return mask;
}

QImage Tinted(const QImage& mask, const QColor& color) {
  QImage out = mask;
  QPainter p(&out);
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.fillRect(out.rect(), color);
  return out;
}

int AlignFlag(TAlignment a) {
  switch (a) {
    case TAlignment::taRightJustify: return Qt::AlignRight;
    case TAlignment::taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

}  // namespace

void LoadVxCursors() {
  auto& cursors = Cursors();
  if (!cursors.empty()) return;
  cursors[crVxHand] = QCursor(Qt::PointingHandCursor);
  cursors[crVxDrag] = QCursor(Qt::ClosedHandCursor);
}

QCursor VxCursor(int id) {
  LoadVxCursors();
  const auto it = Cursors().find(id);
  return it == Cursors().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

void CopyImageCell(const QPixmap& source, QPixmap& dest, int cols, int index, int rows) {
  if (source.isNull()) return;
  cols = std::max(cols, 1);
  rows = std::max(rows, 1);
  index = std::max(index, 0);
  const int w = source.width() / cols;
  const int h = source.height() / rows;
  dest = source.copy((index % cols) * w, (index / cols) * h, w, h);
}

void PaintParentImage(QWidget* control, QPainter& dest) {
  QWidget* parent = control ? control->parentWidget() : nullptr;
  if (!parent) return;
  const QRect bounds = control->geometry();
  // The region's top-left corner lands on the target offset.
  parent->render(&dest, QPoint(0, 0), QRegion(bounds), QWidget::DrawWindowBackground);
  // The siblings beneath the control, bottom first.
  for (QObject* child : parent->children()) {
    if (child == control) break;
    auto* sibling = qobject_cast<QWidget*>(child);
    if (!sibling || !sibling->isVisible() || sibling->isWindow()) continue;
    const QRect common = sibling->geometry() & bounds;
    if (common.isEmpty()) continue;
    sibling->render(&dest, common.topLeft() - bounds.topLeft(),
                    QRegion(common.translated(-sibling->pos())));
  }
}

QPixmap CreateDisabledBitmapEx(const QPixmap& bitmap, const QColor& transparentColor,
                               const QColor& backColor, bool drawHighlight,
                               const QColor& shadowColor, const QColor& highlightColor) {
  if (bitmap.isNull()) return {};
  const QImage mask = EmbossMask(bitmap, transparentColor);
  QImage result(bitmap.size(), QImage::Format_ARGB32);
  result.fill(backColor);
  QPainter p(&result);
  if (drawHighlight) p.drawImage(1, 1, Tinted(mask, highlightColor));
  p.drawImage(0, 0, Tinted(mask, shadowColor));
  p.end();
  return QPixmap::fromImage(result);
}

QPixmap CreateDisabledBitmap(const QPixmap& bitmap, const QColor& transparentColor) {
  const QPalette pal = QApplication::palette();
  return CreateDisabledBitmapEx(bitmap, transparentColor, pal.color(QPalette::Button), true,
                                pal.color(QPalette::Dark), pal.color(QPalette::Light));
}

void DrawDisabledImage(QPainter& painter, int x, int y, const QPixmap& image, bool drawHighlight,
                       const QColor& shadowColor, const QColor& highlightColor) {
  if (image.isNull()) return;
  const QImage mask = EmbossMask(image, QColor(0, 0, 0, 0));
  if (drawHighlight) painter.drawImage(x + 1, y + 1, Tinted(mask, highlightColor));
  painter.drawImage(x, y, Tinted(mask, shadowColor));
}

QPixmap CreateTwoColorBrushPattern(const QColor& color1, const QColor& color2) {
  QImage img(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) img.setPixel(x, y, (x % 2 == y % 2 ? color2 : color1).rgb());
  }
  return QPixmap::fromImage(img);
}

QColor TransparentColorOf(const QPixmap& image) {
  if (image.isNull()) return QColor(255, 0, 255);
  const QImage img = image.toImage();
  return QColor(img.pixel(0, img.height() - 1));
}

QPixmap WithTransparentColor(const QPixmap& image, const QColor& color) {
  if (image.isNull() || image.hasAlphaChannel()) return image;
  QPixmap out = image;
  out.setMask(image.createMaskFromColor(color, Qt::MaskInColor));
  return out;
}

void DrawTextInRect(QPainter& painter, const QRect& rect, int dx, int dy, const QString& text,
                    TAlignment alignment, bool wordWrap) {
  int flags = Qt::TextExpandTabs | Qt::AlignTop | AlignFlag(alignment);
  if (wordWrap) flags |= Qt::TextWordWrap;
  QRect inner = rect.adjusted(dx, dy, -1, -1);
  if (alignment == TAlignment::taRightJustify) inner.setRight(rect.right() - 3);
  painter.save();
  painter.setClipRect(rect);
  painter.drawText(inner, flags, text);
  painter.restore();
}

void DrawCellTextAligned(QPainter& painter, const QRect& rect, const QString& text,
                         TAlignment alignment, TVertAlignment vertAlign, bool wordWrap) {
  const int textHeight = painter.fontMetrics().height();
  int dy = 2;
  if (vertAlign == TVertAlignment::vaCenter) dy = std::max(1, (rect.height() - textHeight) / 2);
  if (vertAlign == TVertAlignment::vaBottomJustify) dy = std::max(2, rect.height() - textHeight);
  DrawTextInRect(painter, rect, 2, dy, text, alignment, wordWrap);
}

void DrawCellText(QPainter& painter, const QRect& rect, const QString& text, TAlignment alignment,
                  TVertAlignment vertAlign) {
  DrawCellTextAligned(painter, rect, text, alignment, vertAlign, alignment == TAlignment::taCenter);
}

QString ShortenTextToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth) {
  if (metrics.horizontalAdvance(text) <= maxWidth) return text;
  for (qsizetype keep = text.size() - 2; keep > 0; --keep) {
    const QString tried = text.left(keep) + QStringLiteral("...");
    if (metrics.horizontalAdvance(tried) <= maxWidth) return tried;
  }
  return QStringLiteral("...");
}

void CenterWindowOnScreen(QWidget* window) {
  if (!window) return;
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize size = window->frameGeometry().size();
  VxRect r{(area.width() - size.width()) / 2, (area.height() - size.height()) / 2, 0, 0};
  r.right = r.left + size.width();
  r.bottom = r.top + size.height();
  r = ClampRectToScreen(r, area.width(), area.height());
  window->move(area.left() + r.left, area.top() + r.top);
}

bool IsActiveWindowOfThisThread() {
  QWidget* active = QApplication::activeWindow();
  return active && active->thread() == QThread::currentThread();
}

void DiscardMessage(QObject* receiver, int eventType) {
  QCoreApplication::removePostedEvents(receiver, eventType);
}

void ReplayPressOutsidePopup(const QMouseEvent& press) {
  const QPoint global = press.globalPosition().toPoint();
  QWidget* target = QApplication::widgetAt(global);
  if (!target) return;
  QWidget* top = target->window();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && top != modal) return;
  QWindow* window = top->windowHandle();
  if (!window) return;
  if (!top->isActiveWindow()) {
    top->activateWindow();
    top->raise();
  }
  // Posted to the window, the press is routed as one from the window system:
  // to the control under it, which takes the focus by the click and the
  // release that follows.
  const QPointF local = window->mapFromGlobal(press.globalPosition());
  auto* replay =
      new QMouseEvent(QEvent::MouseButtonPress, local, local, press.globalPosition(),
                      press.button(), press.buttons(), press.modifiers(), press.pointingDevice());
  replay->setTimestamp(press.timestamp());
  QCoreApplication::postEvent(window, replay);
}

}  // namespace velmaris

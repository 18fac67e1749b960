#include "app/MsgWinImages.h"

#include <QPainter>
#include <QPolygon>

namespace velmaris {

namespace {

constexpr int kSize = 16;

QPixmap Strip(int count) {
  QPixmap strip(kSize * count, kSize);
  strip.fill(Qt::transparent);
  return strip;
}

// A letter: closed for unread (yellow), open for read (white); a red corner
// for mail to the sysop.
void Envelope(QPainter& p, int slot, bool unread, bool sysop) {
  const int x = slot * kSize;
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.setBrush(unread ? QColor(0xFF, 0xE0, 0x60) : QColor(0xF8, 0xF8, 0xF8));
  p.drawRect(x + 1, 4, 13, 9);
  if (unread) {
    p.drawLine(x + 1, 4, x + 8, 9);
    p.drawLine(x + 14, 4, x + 8, 9);
  } else {
    p.drawLine(x + 1, 4, x + 8, 1);
    p.drawLine(x + 14, 4, x + 8, 1);
  }
  if (sysop) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xD0, 0x10, 0x10));
    p.drawEllipse(x + 10, 9, 6, 6);
  }
}

void Person(QPainter& p, int slot, bool unread) {
  const int x = slot * kSize;
  p.setPen(Qt::NoPen);
  p.setBrush(unread ? QColor(0xD0, 0x10, 0x10) : QColor(0x20, 0x60, 0xC0));
  p.drawEllipse(x + 5, 1, 6, 6);
  p.drawRoundedRect(x + 3, 8, 10, 7, 3, 3);
}

void Star(QPainter& p, int slot) {
  const int x = slot * kSize;
  const QPolygon star{{x + 8, 1},  {x + 10, 6}, {x + 15, 6}, {x + 11, 9}, {x + 13, 15},
                      {x + 8, 11}, {x + 3, 15}, {x + 5, 9},  {x + 1, 6},  {x + 6, 6}};
  p.setPen(QColor(0x80, 0x60, 0x00));
  p.setBrush(QColor(0xFF, 0xC0, 0x00));
  p.drawPolygon(star);
}

void Arrow(QPainter& p, int slot, const QColor& colour) {
  const int x = slot * kSize;
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPolygon(QPolygon{
      {x + 8, 1}, {x + 15, 8}, {x + 11, 8}, {x + 11, 15}, {x + 5, 15}, {x + 5, 8}, {x + 1, 8}});
}

void Tick(QPainter& p, int slot) {
  const int x = slot * kSize;
  p.setPen(QPen(QColor(0x10, 0x90, 0x10), 3));
  p.drawPolyline(QPolygon{{x + 2, 8}, {x + 6, 13}, {x + 14, 3}});
}

// A folder, open or closed, with the marks of its thread.
void Folder(QPainter& p, int slot, int marks, bool open) {
  const int x = slot * kSize;
  p.setPen(QColor(0x60, 0x50, 0x10));
  p.setBrush(QColor(0xF0, 0xD0, 0x70));
  p.drawRect(x + 1, 4, 13, 10);
  p.drawRect(x + 1, 2, 5, 2);
  if (open) {
    p.setBrush(QColor(0xFF, 0xE8, 0xA0));
    p.drawPolygon(QPolygon{{x + 3, 7}, {x + 15, 7}, {x + 13, 14}, {x + 1, 14}});
  }
  p.setPen(Qt::NoPen);
  if (marks & 2) {
    p.setBrush(QColor(0xFF, 0xA0, 0x00));
    p.drawEllipse(x + 2, 9, 5, 5);
  }
  if (marks & (4 | 8)) {
    p.setBrush(QColor(0xD0, 0x10, 0x10));
    p.drawEllipse(x + 9, 9, 5, 5);
  }
}

}  // namespace

QPixmap MailIconStrip() {
  QPixmap strip = Strip(4);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  Envelope(p, 0, true, false);
  Envelope(p, 1, false, false);
  Envelope(p, 2, true, true);
  Envelope(p, 3, false, true);
  return strip;
}

QPixmap MailListStrip() {
  QPixmap strip = Strip(11);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  p.drawPixmap(0, 0, MailIconStrip());
  Person(p, 6, false);
  Star(p, 7);
  Arrow(p, 8, QColor(0x20, 0x60, 0xC0));
  Tick(p, 9);
  Person(p, 10, true);
  return strip;
}

QPixmap ThreadIconStrip() {
  QPixmap strip = Strip(16);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  for (int slot = 0; slot < 16; ++slot) Folder(p, slot, slot & ~1, slot & 1);
  return strip;
}

QPixmap SortGlyph(bool ascending) {
  QPixmap glyph(9, 6);
  glyph.fill(Qt::transparent);
  QPainter p(&glyph);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x40, 0x40, 0x40));
  if (ascending)
    p.drawPolygon(QPolygon{{0, 0}, {8, 0}, {4, 5}});
  else
    p.drawPolygon(QPolygon{{0, 5}, {8, 5}, {4, 0}});
  return glyph;
}

}  // namespace velmaris

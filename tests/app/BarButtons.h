// Whether a window shows every button placed on its speed bars whole.
#pragma once

#include <gtest/gtest.h>

#include <QWidget>

#include "widgets/SpeedBar.h"

namespace velmaris::test {

// Every button shown on a speed bar of the window lies inside the part of
// the bar that the window shows (clipped by every widget around it), and no
// other widget beside the bar lies over it. Returns how many were checked.
inline int ExpectBarButtonsWhole(QWidget& window) {
  int checked = 0;
  for (TSpeedBar* bar : window.findChildren<TSpeedBar*>()) {
    if (!bar->isVisible()) continue;
    QRect shown(bar->mapTo(&window, QPoint()), bar->size());
    for (QWidget* up = bar->parentWidget(); up && up != &window; up = up->parentWidget())
      shown &= QRect(up->mapTo(&window, QPoint()), up->size());
    shown &= window.rect();
    bar->ForEachItem([&](TSpeedItem* item) {
      if (!item->Visible()) return;
      ++checked;
      const std::string name = item->objectName().toStdString();
      const QRect button(item->Button()->mapTo(&window, QPoint()), item->Button()->size());
      EXPECT_TRUE(shown.contains(button))
          << name << " at (" << button.x() << "," << button.y() << ")-(" << button.right() << ","
          << button.bottom() << "), the bar shows (" << shown.x() << "," << shown.y() << ")-("
          << shown.right() << "," << shown.bottom() << ") of a window " << window.width()
          << " wide";
      for (QWidget* other :
           bar->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other == bar || other->isWindow() || !other->isVisible()) continue;
        EXPECT_FALSE(QRect(other->mapTo(&window, QPoint()), other->size()).intersects(button))
            << other->objectName().toStdString() << " lies over " << name;
      }
    });
  }
  return checked;
}

}  // namespace velmaris::test

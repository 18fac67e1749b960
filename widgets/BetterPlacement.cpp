#include "widgets/BetterPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <exception>
#include <string>

#include "platform/Prompter.h"
#include "widgets/OnScreen.h"
#include "widgets/Placement.h"

namespace velmaris {

TBetterPlacement::TBetterPlacement(QWidget* owner, const QString& regSection,
                                   const QString& regPath)
    : QObject(owner ? owner->window() : nullptr),
      RegSection(regSection),
      RegPath(regPath),
      form_(owner ? owner->window() : nullptr) {
  setObjectName(QStringLiteral("BetterPlacement1"));
}

void TBetterPlacement::Loaded() {
  if (!form_) return;
  if (!hooked_) {
    form_->installEventFilter(this);
    hooked_ = true;
  }
  Restore();
}

bool TBetterPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_ && event->type() == QEvent::Close) SaveReporting();
  return QObject::eventFilter(watched, event);
}

void TBetterPlacement::SaveReporting() noexcept {
  try {
    Save();
  } catch (const std::exception& e) {
    try {
      platform::GetPrompter().Warn(std::string("The window position could not be saved: ") +
                                   e.what());
    } catch (...) {
      // Nothing more can be done about it.
    }
  }
}

void TBetterPlacement::SaveIfShown() noexcept {
  if (form_ && form_->isVisible()) SaveReporting();
}

void TBetterPlacement::Restore() {
  if (!form_) return;
  PlacementRegistry reg(RegPath.toStdString());
  const std::string section = RegSection.toStdString();
  const QRect current(form_->pos(), form_->size());
  const int state = reg.ReadInteger(section, "State", 0);
  PlaceRect r;
  r.x = reg.ReadInteger(section, "Left", current.x());
  r.y = reg.ReadInteger(section, "Top", current.y());
  r.w = reg.ReadInteger(section, "Width", current.width());
  r.h = reg.ReadInteger(section, "Height", current.height());
  std::vector<PlaceRect> screens;
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect g = s->availableGeometry();
    screens.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  r = ClampToScreens(r, screens);
  // The stored place is the frame's corner and the client area's size.
  PlaceByFrame(form_, QRect(r.x, r.y, r.w, r.h));
  switch (state) {
    case 1:
      form_->setWindowState(form_->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
      break;
    case 2:
      form_->setWindowState((form_->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
      break;
    case 3: form_->setWindowState(form_->windowState() | Qt::WindowMinimized); break;
    default: break;
  }
}

void TBetterPlacement::Save() {
  if (!form_) return;
  PlacementRegistry reg(RegPath.toStdString());
  const std::string section = RegSection.toStdString();
  // The frame's corner, as it is restored: where the window manager put it,
  // or where it goes.
  const QPoint pos = FrameCorner(form_);
  const QSize size = form_->size();
  reg.WriteInteger(section, "Left", pos.x());
  reg.WriteInteger(section, "Top", pos.y());
  reg.WriteInteger(section, "Width", size.width());
  reg.WriteInteger(section, "Height", size.height());
  const Qt::WindowStates ws = form_->windowState();
  int state = 1;
  if (ws.testFlag(Qt::WindowMinimized)) {
    state = 3;
  } else if (ws.testFlag(Qt::WindowMaximized)) {
    state = 2;
  }
  reg.WriteInteger(section, "State", state);
  reg.Flush();
}

}  // namespace velmaris

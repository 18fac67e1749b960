#include "widgets/VxHook.h"

#include <algorithm>

namespace velmaris {

TControlHook::TControlHook(QWidget* control) : QObject(control), control_(control) {
  setObjectName(QStringLiteral("TControlHook"));
  control->installEventFilter(this);
}

TControlHook::~TControlHook() {
  // The control is going: the components stay active and forget it.
  destroying_ = true;
  for (auto it = hooks_.rbegin(); it != hooks_.rend(); ++it) (*it)->hook_ = nullptr;
  hooks_.clear();
}

TControlHook* TControlHook::FindControlHook(QWidget* control) {
  if (!control) return nullptr;
  for (auto* hook : control->findChildren<TControlHook*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!hook->destroying_) return hook;
  }
  return nullptr;
}

TControlHook* TControlHook::GetControlHook(QWidget* control) {
  TControlHook* hook = FindControlHook(control);
  return hook ? hook : new TControlHook(control);
}

void TControlHook::AddHook(TVxWindowHook* hook) {
  if (std::find(hooks_.begin(), hooks_.end(), hook) != hooks_.end()) return;
  hooks_.push_back(hook);
  hook->hook_ = this;
}

void TControlHook::RemoveHook(TVxWindowHook* hook) {
  hook->hook_ = nullptr;
  hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hook), hooks_.end());
  // Freed later: this may run inside the filter's own event handling.
  if (hooks_.empty() && !destroying_) {
    destroying_ = true;
    if (control_) control_->removeEventFilter(this);
    deleteLater();
  }
}

bool TControlHook::eventFilter(QObject* watched, QEvent* event) {
  if (watched != control_ || hooks_.empty() || destroying_) return false;
  // A copy: handlers may detach components while they run.
  const std::vector<TVxWindowHook*> hooks = hooks_;
  bool handled = false;
  for (auto it = hooks.rbegin(); it != hooks.rend() && !handled; ++it) {
    (*it)->DoBeforeMessage(event, handled);
  }
  if (handled) return true;
  const bool after = std::any_of(hooks.begin(), hooks.end(),
                                 [](TVxWindowHook* h) { return bool(h->AfterMessage); });
  if (!after) return false;
  QPointer<QObject> guard(watched);
  static_cast<QObject*>(watched)->event(event);
  if (!guard) return true;
  for (auto it = hooks.rbegin(); it != hooks.rend() && !handled; ++it) {
    (*it)->DoAfterMessage(event, handled);
  }
  return true;
}

TVxWindowHook::TVxWindowHook(QObject* owner) : QObject(owner) {}

TVxWindowHook::~TVxWindowHook() {
  UnhookControl();
  QObject::disconnect(destroyedConnection_);
}

void TVxWindowHook::SetActive(bool value) {
  if (value) {
    HookControl();
  } else {
    UnhookControl();
  }
}

void TVxWindowHook::SetWinControl(QWidget* control) {
  if (control == control_) return;
  const bool wasActive = active_;
  UnhookControl();
  QObject::disconnect(destroyedConnection_);
  control_ = control;
  if (control) {
    destroyedConnection_ = connect(control, &QObject::destroyed, this, [this] {
      hook_ = nullptr;
      control_ = nullptr;
    });
  }
  if (wasActive) HookControl();
}

void TVxWindowHook::HookControl() {
  if (control_ && !hook_) TControlHook::GetControlHook(control_)->AddHook(this);
  active_ = true;
}

TControlHook* TVxWindowHook::UnhookControl() {
  TControlHook* former = hook_;
  if (hook_) hook_->RemoveHook(this);
  active_ = false;
  return former;
}

void TVxWindowHook::DoBeforeMessage(QEvent* msg, bool& handled) {
  if (BeforeMessage) BeforeMessage(this, msg, handled);
}

void TVxWindowHook::DoAfterMessage(QEvent* msg, bool& handled) {
  if (AfterMessage) AfterMessage(this, msg, handled);
}

}  // namespace velmaris

// Watching another control's events without its cooperation. Any number of
// TVxWindowHook components may watch one control; they share one event filter
// per control (TControlHook, a child of the control). Before the control
// handles an event, BeforeMessage runs for the components from the last
// attached to the first, stopping at the first that sets Handled; an event
// marked handled never reaches the control. When any component has an
// AfterMessage handler, the filter hands the event to the control itself and
// then runs AfterMessage in the same order.
//
// States: detached -> attached [Active true with a control] -> detached
// [Active false, WinControl changed, control destroyed]. The shared filter
// lives while one component is attached and is freed later (never inside its
// own event handling) when the last one leaves.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

namespace velmaris {

class TVxWindowHook;

class TControlHook : public QObject {
  Q_OBJECT

 public:
  explicit TControlHook(QWidget* control);
  ~TControlHook() override;

  // The control's hook, created when missing.
  static TControlHook* GetControlHook(QWidget* control);
  static TControlHook* FindControlHook(QWidget* control);

  QWidget* Control() const { return control_; }
  void AddHook(TVxWindowHook* hook);
  void RemoveHook(TVxWindowHook* hook);
  int HookCount() const { return static_cast<int>(hooks_.size()); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> control_;
  std::vector<TVxWindowHook*> hooks_;  // attachment order
  bool destroying_ = false;
};

class TVxWindowHook : public QObject {
  Q_OBJECT

 public:
  // (sender, event, handled)
  using THookMessageEvent = std::function<void(QObject* sender, QEvent* msg, bool& handled)>;

  explicit TVxWindowHook(QObject* owner = nullptr);
  ~TVxWindowHook() override;

  bool Active() const { return active_; }
  void SetActive(bool value);
  QWidget* WinControl() const { return control_; }
  void SetWinControl(QWidget* control);

  THookMessageEvent BeforeMessage;
  THookMessageEvent AfterMessage;

  void HookControl();
  TControlHook* UnhookControl();

 protected:
  virtual void DoBeforeMessage(QEvent* msg, bool& handled);
  virtual void DoAfterMessage(QEvent* msg, bool& handled);

 private:
  friend class TControlHook;
  bool active_ = true;
  QPointer<QWidget> control_;
  QMetaObject::Connection destroyedConnection_;
  TControlHook* hook_ = nullptr;
};

}  // namespace velmaris

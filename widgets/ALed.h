// A small lamp: lit in TrueColor while Value is true (blinking every
// Interval ms when Blink is on), dark in FalseColor while it is false.
// States: dark (no timer) -> lit [Value true; a timer only with Blink] -> dark.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace velmaris {

enum class TLEDStyle { LEDSmall, LEDLarge, LEDSqSmall, LEDSqLarge, LEDVertical, LEDHorizontal };

class TALed : public QWidget {
  Q_OBJECT

 public:
  explicit TALed(QWidget* parent = nullptr);
  ~TALed() override;

  bool Value() const { return value_; }
  void SetValue(bool value);
  bool Blink() const { return blink_; }
  void SetBlink(bool value);
  int Interval() const { return interval_; }
  void SetInterval(int ms);
  QColor TrueColor() const { return trueColor_; }
  void SetTrueColor(const QColor& color);
  QColor FalseColor() const { return falseColor_; }
  void SetFalseColor(const QColor& color);
  TLEDStyle LEDStyle() const { return style_; }
  void SetLEDStyle(TLEDStyle style);

  // 0: the lit picture is shown, 1: the dark one.
  int Phase() const { return phase_; }
  // The blink timer, present only while lit and blinking.
  QTimer* BlinkTimer() const { return timer_.get(); }
  // Advances one blink phase, as the timer does.
  void Tick();

 signals:
  void timer();
  void mouseEnter();
  void mouseLeave();
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void BuildPictures();
  void StartBlink();
  void StopBlink();

  QPixmap lit_, dark_;
  std::unique_ptr<QTimer> timer_;
  QColor trueColor_{0, 255, 0}, falseColor_{192, 192, 192};
  bool blink_ = true, value_ = false;
  TLEDStyle style_ = TLEDStyle::LEDSmall;
  int interval_ = 1000;
  int phase_ = 1;
};

}  // namespace velmaris

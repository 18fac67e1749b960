// The numeric entry field of the forms: an edit holding an integer or a
// fixed-point number, stepped by Increment with a button at its right edge
// (a square split by its diagonal, or an up-down pair), the arrow keys, or by
// holding a mouse button. The text is kept as typed; only leaving the edit
// puts an out-of-range number back to the nearest bound. Equal MinValue and
// MaxValue (0 and 0 by default) mean no range.
//
// Diagonal button states: not pressed -> (left press) upper or lower ->
// (drag off) not pressed -> (drag back onto the same half) pressed again ->
// (release inside) not pressed. Holding repeats the step after 400 ms, then
// every 100 ms.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <array>

#include "widgets/VxGraphics.h"
#include "widgets/logic/SpinValue.h"

namespace velmaris {

enum class TSpinButtonKind { bkStandard, bkDiagonal };
enum class TSpinButtonState { sbNotDown, sbTopDown, sbBottomDown };
enum class TUDBtnType { btNext, btPrev };

class TVxSpinButton : public QWidget {
  Q_OBJECT

 public:
  explicit TVxSpinButton(QWidget* parent = nullptr);

  // A null pixmap restores the built-in arrow.
  const QPixmap& UpGlyph() const { return upGlyph_; }
  void SetUpGlyph(const QPixmap& glyph);
  const QPixmap& DownGlyph() const { return downGlyph_; }
  void SetDownGlyph(const QPixmap& glyph);
  QWidget* FocusControl() const { return focusControl_; }
  void SetFocusControl(QWidget* control) { focusControl_ = control; }
  TSpinButtonState State() const { return state_; }
  // Upper half: on or above the diagonal from bottom-left to top-right.
  bool InUpperHalf(QPoint p) const;

  QSize sizeHint() const override { return {20, 20}; }

 signals:
  void topClick();
  void bottomClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void TimerTick();
  void FireClick(TSpinButtonState half);
  QPixmap DrawImage(TSpinButtonState state) const;

  QPixmap upGlyph_, downGlyph_;
  std::array<QPixmap, 3> images_;
  bool invalid_ = true;
  bool dragging_ = false;
  TSpinButtonState state_ = TSpinButtonState::sbNotDown;
  TSpinButtonState lastPressed_ = TSpinButtonState::sbNotDown;
  QPointer<QWidget> focusControl_;
  QTimer* repeat_ = nullptr;
};

// An up-down pair of arrows (the standard button kind).
class TVxUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit TVxUpDown(QWidget* parent = nullptr);
  QSize sizeHint() const override;

 signals:
  void clicked(velmaris::TUDBtnType button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int pressed_ = 0;  // 1 up, -1 down
  QTimer repeat_;
};

// The system's scroll bar width, at most 15.
int DefaultButtonWidth();

class TVxSpinEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TVxSpinEdit(QWidget* parent = nullptr);
  ~TVxSpinEdit() override;

  long double Value() const;
  void SetValue(long double value);
  int GetAsInteger() const;
  long double ClampValue(long double value) const;

  long double MinValue() const { return range_.minValue; }
  void SetMinValue(long double value) { range_.minValue = value; }
  long double MaxValue() const { return range_.maxValue; }
  void SetMaxValue(long double value) { range_.maxValue = value; }
  long double Increment() const { return increment_; }
  void SetIncrement(long double value) { increment_ = value; }
  int Decimal() const { return decimal_; }
  void SetDecimal(int value);
  TValueType ValueType() const { return valueType_; }
  void SetValueType(TValueType value);
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool value) { editorEnabled_ = value; }
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool value) { arrowKeys_ = value; }
  TSpinButtonKind ButtonKind() const { return buttonKind_; }
  void SetButtonKind(TSpinButtonKind value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }

  TVxSpinButton* SpinButton() const { return button_; }
  TVxUpDown* UpDown() const { return upDown_; }

  virtual bool AcceptsChar(QChar c) const;
  virtual void StepUp();
  virtual void StepDown();

 signals:
  // OnChange: the text changed (once per step).
  void change();
  void topClick();
  void bottomClick();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Step(long double delta, bool up);
  void RecreateButton();
  void PlaceButton();
  bool EditingRefused() const { return !editorEnabled_ || isReadOnly(); }
  char DecimalSeparator() const;

  SpinRange range_;
  long double increment_ = 1;
  int decimal_ = 2;
  TValueType valueType_ = TValueType::vtInteger;
  bool editorEnabled_ = true;
  bool arrowKeys_ = true;
  bool autoSelect_ = true;
  bool changing_ = false;
  TSpinButtonKind buttonKind_ = TSpinButtonKind::bkDiagonal;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TVxSpinButton* button_ = nullptr;
  TVxUpDown* upDown_ = nullptr;
};

}  // namespace velmaris

// A thin panel between two controls; dragging it resizes one of them. While
// dragging, a line follows the mouse over the form and nothing moves; Escape
// cancels; the line keeps TopLeftLimit / BottomRightLimit from the parent's
// edges; OnPosChanging may refuse the new position.
//
// Which control is resized follows from the alignment of the two controls
// (SetControlAlign): a top/bottom/left/right aligned first control beside a
// client-aligned (or unaligned) second one, or a client-aligned first control
// beside an aligned second one. The resized control keeps its new height or
// width as its fixed size.
#pragma once

#include <QFrame>
#include <QPointer>
#include <functional>

#include "widgets/logic/SplitterRules.h"

class QRubberBand;

namespace velmaris {

// The alignment a control has within its parent, as the splitter reads it.
void SetControlAlign(QWidget* control, TAlign align);
TAlign ControlAlign(const QWidget* control);

class TVxSplitter : public QFrame {
  Q_OBJECT

 public:
  // (sender, x, y, allow in/out)
  using TSplitterMoveEvent = std::function<void(QObject* sender, int x, int y, bool& allowChange)>;

  explicit TVxSplitter(QWidget* parent = nullptr);
  ~TVxSplitter() override;

  QWidget* ControlFirst() const { return first_; }
  void SetControlFirst(QWidget* control);
  QWidget* ControlSecond() const { return second_; }
  void SetControlSecond(QWidget* control);
  TAlign Align() const { return ControlAlign(this); }
  void SetAlign(TAlign align);
  int TopLeftLimit = 20;
  int BottomRightLimit = 20;
  TSplitterMoveEvent OnPosChanging;

  // 0 none, 1/2 the first/second control's height, 3/4 their width.
  int SplitStyle() const;
  bool Sizing() const { return sizing_; }

 signals:
  // OnPosChanged: sizing ended by releasing the mouse.
  void posChanged();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void UpdateCursor();
  QPoint Clamped(QPoint p, bool& clamped) const;
  void MoveLine(QPoint p);
  void StopSizing(QPoint p, bool apply, bool fromMouse);

  QPointer<QWidget> first_, second_;
  bool sizing_ = false;
  bool noDrop_ = false;
  int style_ = 0;
  QPoint down_;
  QRubberBand* line_ = nullptr;
};

}  // namespace velmaris

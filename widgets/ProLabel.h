// TProLabel: a label whose caption may be rotated, offset, vertically
// aligned, and drawn with a highlight and a shadow made of copies of the
// text in other colours (presets in TShadowStyle). TProUrlLabel: a link
// that shows its state in colours and opens its URL (or, when empty, its
// caption) with the desktop's handler when it is clicked.
#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>
#include <functional>

#include "widgets/logic/LabelRules.h"

namespace velmaris {

// Screen cursor ids of the label's hand pointers.
inline constexpr int crProHand = 15000;
inline constexpr int crProSmallHand = 15001;
inline constexpr int crProGrabHand = 15002;
inline constexpr int crProGrabHandArrow = 15003;
inline constexpr int crProDragHand = 15004;
QCursor ProCursor(int id);

// Opens a URL with the desktop's handler; tests replace it. Returns the old hook.
using TOpenUrlHook = std::function<bool(const QUrl& url)>;
TOpenUrlHook SetOpenUrlHook(TOpenUrlHook hook);
bool OpenUrl(const QUrl& url);

enum class TVerticalAlignment { vaTop, vaCenter, vaBottom };

class TProLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TProLabel(QWidget* parent = nullptr);

  int Angle() const { return angle_; }
  void SetAngle(int value);  // kept in 0..359
  int OffsetX() const { return offsetX_; }
  void SetOffsetX(int value);
  int OffsetY() const { return offsetY_; }
  void SetOffsetY(int value);
  TShadowStyle ShadowStyle() const { return style_; }
  void SetShadowStyle(TShadowStyle style);
  const TShadowSettings& Shadow() const { return shadow_; }
  // Each setter turns the style into ssCustom.
  void SetHighlightDirection(TDirection d);
  void SetHighlightDepth(int value);
  void SetShadowDirection(TDirection d);
  void SetShadowDepth(int value);
  void SetShadowSize(int value);
  QColor HighlightColor() const { return highlightColor_; }
  void SetHighlightColor(const QColor& c);
  QColor ShadowColor() const { return shadowColor_; }
  void SetShadowColor(const QColor& c);
  TVerticalAlignment VerticalAlignment() const { return vAlign_; }
  void SetVerticalAlignment(TVerticalAlignment value);
  // The same value under its other name.
  TVerticalAlignment Layout() const { return vAlign_; }
  void SetLayout(TVerticalAlignment value) { SetVerticalAlignment(value); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  QColor FontColor() const { return palette().color(QPalette::WindowText); }
  virtual void SetFontColor(const QColor& color);

 signals:
  void mouseEnter();
  void mouseLeave();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void CustomChanged();

 private:
  int angle_ = 0, offsetX_ = 0, offsetY_ = 0;
  TShadowStyle style_ = TShadowStyle::ssNone;
  TShadowSettings shadow_;
  QColor highlightColor_, shadowColor_;
  TVerticalAlignment vAlign_ = TVerticalAlignment::vaTop;
  bool transparent_ = false, autoSize_ = true, applying_ = false;
};

class TProUrlLabel : public TProLabel {
  Q_OBJECT

 public:
  explicit TProUrlLabel(QWidget* parent = nullptr);

  QString URL;
  QColor UnvisitedColor() const { return unvisited_; }
  void SetUnvisitedColor(const QColor& c);
  QColor ActivatedColor = QColor(255, 0, 0);
  QColor VisitedColor() const { return visited_; }
  void SetVisitedColor(const QColor& c);
  QColor HoveredColor = QColor(255, 255, 255);
  bool CanHover() const { return canHover_; }
  void SetCanHover(bool on);
  bool Visited() const { return isVisited_; }
  bool Pressed() const { return pressed_; }
  // A font colour change while neither pressed nor hovering is kept as the
  // colour of the current state.
  void SetFontColor(const QColor& color) override;

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetColorQuietly(const QColor& c);
  void SetUnderline(bool on);
  QColor unvisited_ = QColor(0, 0, 255), visited_ = QColor(0, 0, 128);
  bool canHover_ = false, isVisited_ = false, pressed_ = false;
};

}  // namespace velmaris

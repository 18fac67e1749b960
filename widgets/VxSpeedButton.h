// The tool button of the forms: a multi-state glyph, a caption that may wrap
// or is shortened with "...", a flat look raised only under the mouse,
// groups of buttons of which one is held down, a drop-down menu with an arrow
// mark, and auto-repeat while held.
//
// Glyph: one image of NumGlyphs cells side by side (up, disabled, down,
// exclusive, inactive). Missing cells are made: disabled embossed from the up
// cell, inactive grey from it, down and exclusive the up cell.
//
// Group state: Down only with a GroupIndex; setting it releases every other
// button of the parent with that GroupIndex. Releasing the one down button of
// a group is ignored unless AllowAllUp.
#pragma once

#include <QAbstractButton>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <array>

#include "widgets/VxGraphics.h"

class QMenu;

namespace velmaris {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum class TVxButtonState { rbsUp, rbsDisabled, rbsDown, rbsExclusive, rbsInactive };
enum class TVxDropDownMenuPos { dmpBottom, dmpRight };

// Where the glyph, the caption (as it will be drawn) and the drop-down mark go
// inside a client rectangle.
struct TButtonLayoutResult {
  QRect glyph;
  QRect text;
  QString caption;
};
TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyphSize, const QString& caption,
                                     const QFontMetrics& metrics, TButtonLayout layout, int margin,
                                     int spacing, bool drawMark, bool wordWrap,
                                     TAlignment alignment);

class TVxButtonGlyph {
 public:
  // Assigning takes a copy. NumGlyphs follows the source: width / height
  // when the width is a multiple of the height, 1 when that is above 5.
  const QPixmap& Glyph() const { return glyph_; }
  void SetGlyph(const QPixmap& glyph);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int value);  // above 5 counts as 5, below 1 is ignored
  QColor TransparentColor() const { return transparentColor_; }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on) { wordWrap_ = on; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a) { alignment_ = a; }
  QSize CellSize() const;

  // The image of a state, built on first use.
  QPixmap StateImage(TVxButtonState state) const;
  // The image of a state made from an outside image (an image list's entry).
  static QPixmap StateImageOf(const QPixmap& image, TVxButtonState state);
  // Drops the built images (the palette changed).
  void Invalidate();

  // Draws glyph, caption and mark; returns the text rectangle. A non-null
  // image replaces the own glyph.
  QRect Draw(QPainter& painter, const QRect& client, const QString& caption, TButtonLayout layout,
             int margin, int spacing, TVxButtonState state, bool drawMark,
             const QPixmap& image = QPixmap()) const;

 private:
  QPixmap glyph_;
  int numGlyphs_ = 1;
  QColor transparentColor_ = QColor(255, 0, 255);
  bool wordWrap_ = false;
  TAlignment alignment_ = TAlignment::taCenter;
  mutable std::array<QPixmap, 5> images_;
};

// A detached picture of a button in the up state (speed bar setup).
class TButtonImage {
 public:
  TVxButtonGlyph& Glyph() { return glyph_; }
  QSize ButtonSize = QSize(24, 23);
  void Draw(QPainter& painter, int x, int y, const QString& caption, const QFont& font,
            TButtonLayout layout = TButtonLayout::blGlyphTop, int margin = -1, int spacing = 1,
            const QPixmap& image = QPixmap());

 private:
  TVxButtonGlyph glyph_;
};

// Draws the three-dimensional frame of a button and returns the rectangle inside it.
QRect DrawButtonFrame(QPainter& painter, const QRect& rect, const QPalette& palette, bool pressed,
                      bool flat, bool newStyle);

class TVxSpeedButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit TVxSpeedButton(QWidget* parent = nullptr);
  ~TVxSpeedButton() override;

  TAlignment Alignment() const { return glyph_.Alignment(); }
  void SetAlignment(TAlignment value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value);
  bool AllowTimer() const { return autoRepeat(); }
  void SetAllowTimer(bool value) { setAutoRepeat(value); }
  int InitPause() const { return autoRepeatDelay(); }
  void SetInitPause(int ms) { setAutoRepeatDelay(ms); }
  int RepeatInterval() const { return autoRepeatInterval(); }
  void SetRepeatInterval(int ms) { setAutoRepeatInterval(ms); }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  bool Down() const { return down_; }
  void SetDown(bool value);
  QMenu* DropDownMenu() const { return menu_; }
  void SetDropDownMenu(QMenu* menu);
  TVxDropDownMenuPos MenuPosition() const { return menuPosition_; }
  void SetMenuPosition(TVxDropDownMenuPos value) { menuPosition_ = value; }
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  const QPixmap& Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(const QPixmap& glyph);
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int value);
  bool GrayedInactive() const { return grayedInactive_; }
  void SetGrayedInactive(bool value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  int Margin() const { return margin_; }
  void SetMargin(int value);  // -1 centres; below -1 ignored
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  bool MarkDropDown() const { return markDropDown_; }
  void SetMarkDropDown(bool value);
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int value) { modalResult_ = value; }
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool WordWrap() const { return glyph_.WordWrap(); }
  void SetWordWrap(bool value);
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }

  TVxButtonGlyph& ButtonGlyph() { return glyph_; }
  // The state the button is painted in.
  TVxButtonState PaintState() const;
  bool MouseInControl() const { return mouseInControl_; }
  // Takes the mouse-in state from where the pointer is now, for an enter
  // or a leave missed while another control held the mouse (a drag).
  void FollowPointer();
  // Another button of the parent was pressed down in a group.
  void ButtonPressed(int groupIndex, TVxSpeedButton* sender);

  QSize sizeHint() const override;

 signals:
  void mouseEnter();
  void mouseLeave();
  // A double click on a button held down in its group.
  void dblClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void nextCheckState() override;
  bool hitButton(const QPoint& pos) const override;
  // Paints glyph and caption in a state (the speed bar's items draw the same way).
  virtual void PaintGlyph(QPainter& painter, const QRect& rect, TVxButtonState state,
                          bool drawMark);

 private:
  void UpdateCheckable();
  void NotifyGroup();
  void OpenDropDown();
  void AfterClick();

  TVxButtonGlyph glyph_;
  int groupIndex_ = 0;
  bool down_ = false;
  bool allowAllUp_ = false;
  bool flat_ = false;
  bool grayedInactive_ = true;
  bool markDropDown_ = true;
  bool transparent_ = false;
  bool mouseInControl_ = false;
  bool menuTracking_ = false;
  TButtonLayout layout_ = TButtonLayout::blGlyphTop;
  TButtonStyle style_ = TButtonStyle::bsAutoDetect;
  TVxDropDownMenuPos menuPosition_ = TVxDropDownMenuPos::dmpBottom;
  int margin_ = -1;
  int spacing_ = 1;
  int modalResult_ = 0;
  QPointer<QMenu> menu_;
};

}  // namespace velmaris

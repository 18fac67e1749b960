// Drawing and window helpers shared by the controls: the two screen cursors,
// cells of an image strip, the parent's image behind a transparent control,
// the embossed disabled look, the checkerboard brush, text in a cell, text
// shortened with "...", centring a window.
//
// Colours follow the palette: button face = QPalette::Button, highlight =
// Light, shadow = Dark, window frame = Shadow.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFontMetrics>
#include <QPixmap>
#include <QRect>
#include <QString>

class QMouseEvent;
class QPainter;
class QWidget;
class QObject;

namespace velmaris {

// Horizontal alignment in the order the forms number it.
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
// Vertical alignment of cell text.
enum class TVertAlignment { vaTopJustify, vaCenter, vaBottomJustify };

// Screen cursor ids of the controls' hand and drag pointers.
inline constexpr int crVxHand = 14000;
inline constexpr int crVxDrag = 14001;
// Registers the two cursors; idempotent. VxCursor gives the arrow for other ids.
void LoadVxCursors();
QCursor VxCursor(int id);

// Cuts cell Index out of an image made of Cols x Rows equal cells (Cols and
// Rows below 1 count as 1, Index below 0 as 0).
void CopyImageCell(const QPixmap& source, QPixmap& dest, int cols, int index, int rows);

// Paints into the painter what the control's parent and the siblings beneath
// it show in the control's rectangle (the painter's origin at the control's
// top-left corner).
void PaintParentImage(QWidget* control, QPainter& dest);

// The embossed look of a disabled image: the back colour, with the image's
// drawn pixels (not transparent, not of the transparent colour, not light)
// in the highlight colour one pixel down and right and in the shadow colour
// on top.
QPixmap CreateDisabledBitmapEx(const QPixmap& bitmap, const QColor& transparentColor,
                               const QColor& backColor, bool drawHighlight,
                               const QColor& shadowColor, const QColor& highlightColor);
QPixmap CreateDisabledBitmap(const QPixmap& bitmap, const QColor& transparentColor);
// Draws the image embossed at (x, y) without filling its background.
void DrawDisabledImage(QPainter& painter, int x, int y, const QPixmap& image, bool drawHighlight,
                       const QColor& shadowColor, const QColor& highlightColor);

// 8 x 8: Color1, except where X and Y have the same parity (Color2).
QPixmap CreateTwoColorBrushPattern(const QColor& color1, const QColor& color2);

// The transparent colour of an image without alpha: its bottom-left pixel.
QColor TransparentColorOf(const QPixmap& image);
// The image with that colour made transparent (images with alpha unchanged).
QPixmap WithTransparentColor(const QPixmap& image, const QColor& color);

// Text into a rectangle, DX/DY from its left/top edge (right alignment keeps
// 3 pixels from the right edge); tabs expanded, "&" drawn as it stands.
void DrawTextInRect(QPainter& painter, const QRect& rect, int dx, int dy, const QString& text,
                    TAlignment alignment, bool wordWrap);
// DX = 2; DY by the vertical alignment from the height of "W".
void DrawCellTextAligned(QPainter& painter, const QRect& rect, const QString& text,
                         TAlignment alignment, TVertAlignment vertAlign, bool wordWrap);
// Wraps words exactly when centred.
void DrawCellText(QPainter& painter, const QRect& rect, const QString& text, TAlignment alignment,
                  TVertAlignment vertAlign);

// The text when it fits into maxWidth, else the longest "text..." that does
// (drop two characters, then one more each time); "..." when nothing fits.
QString ShortenTextToWidth(const QString& text, const QFontMetrics& metrics, int maxWidth);

// Centres the window on its screen, kept on the screen; no resize.
void CenterWindowOnScreen(QWidget* window);
// Whether one of this program's windows is the active one (the mouse and
// hint logic of the controls only reacts then).
bool IsActiveWindowOfThisThread();
// Drops the posted events of that type for the receiver (none waits then).
void DiscardMessage(QObject* receiver, int eventType);
// Hands a press that closed a pop-up (outside it; the pop-up already hidden)
// on to the control under the pointer, as though the pop-up had not been
// there. Qt does this only where it could grab the pointer for the pop-up,
// which is not so on every platform and window manager: a pop-up that calls
// this sets Qt::WA_NoMouseReplay, so that the press arrives once. A window
// that a modal dialog blocks takes nothing.
void ReplayPressOutsidePopup(const QMouseEvent& press);

}  // namespace velmaris

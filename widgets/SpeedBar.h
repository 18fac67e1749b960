// The speed bar: a panel of command buttons docked at an edge of its form.
// Its items (TSpeedItem, components of the form that carry the command's
// caption, hint and click) are grouped in named sections (TSpeedbarSection);
// a visible item shows its TSpeedbarButton on the bar at the item's Left and
// Top. The user docks the bar at another edge by dragging it, changes its
// thickness by dragging its inner edge (whole button rows), and, while the
// setup dialog is open (editing state), drags buttons onto the bar, moves
// them on its grid and drags them off.
//
// Item states: off the bar (Visible false) -> on the bar [Visible true, or a
// drop inside the bar] -> off [Visible false, or a drop outside]. Editing:
// SetEditing(dialog) -> every button enabled, not flat, draggable ->
// SetEditing(nullptr) fires customize().
//
// The layout (edge, thickness, version, the visible stored items and their
// positions) is written to and read from a TIniStorage section; the format
// is described in widgets/logic/SpeedBarRules.h.
#pragma once

#include <QEvent>
#include <QFrame>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "widgets/FormPlacement.h"
#include "widgets/ImageList.h"
#include "widgets/VxSpeedButton.h"
#include "widgets/logic/SpeedBarRules.h"

class QAction;
class QRubberBand;

namespace velmaris {

class ESpeedbarError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSpeedBar;
class TSpeedItem;

enum class TBarPosition { bpAuto, bpCustom };
enum class TBarOrientation { boHorizontal, boVertical };
enum class TBevelCut { bvNone, bvLowered, bvRaised };
enum TSpeedbarOption : unsigned {
  sbAllowDrag = 1,
  sbAllowResize = 2,
  sbFlatBtns = 4,
  sbGrayedBtns = 8,
  sbTransparentBtns = 16,
  sbStretchBitmap = 32
};
using TSpeedbarOptions = unsigned;
enum TBoundLine : unsigned { blTop = 1, blBottom = 2, blLeft = 4, blRight = 8 };
using TBoundLines = unsigned;

// The notification a bar sends to its open setup dialog.
enum class TSpeedbarNotify { ListsChanged = 0, BarDestroyed = 1, ItemPlaced = 2, SizesChanged = 3 };
class TSpeedbarNotifyEvent : public QEvent {
 public:
  TSpeedbarNotifyEvent(TSpeedbarNotify code, TSpeedBar* bar);
  static QEvent::Type EventType();
  TSpeedbarNotify Code;
  TSpeedBar* Bar;
};

class TSpeedbarSection : public QObject {
  Q_OBJECT

 public:
  // Destroys its items with it.
  ~TSpeedbarSection() override;

  QString Caption() const { return caption_; }
  // Raises ESpeedbarError when another section of the bar has the caption.
  void SetCaption(const QString& caption);
  int Index() const;
  void SetIndex(int index);
  int Count() const { return static_cast<int>(items_.size()); }
  TSpeedItem* Item(int index) const;
  TSpeedBar* SpeedBar() const { return bar_; }

 private:
  friend class TSpeedBar;
  friend class TSpeedItem;
  explicit TSpeedbarSection(TSpeedBar* bar, const QString& caption);
  TSpeedBar* bar_;
  QString caption_;
  std::vector<TSpeedItem*> items_;
};

// The button of an item on the bar; while the bar is edited it can be
// dragged to another place or off the bar.
class TSpeedbarButton : public TVxSpeedButton {
  Q_OBJECT

 public:
  explicit TSpeedbarButton(TSpeedItem* item);
  ~TSpeedbarButton() override;
  TSpeedItem* Item() const { return item_; }
  // Ends a drag of the button where it is: its copy goes, the mouse is let go.
  void EndDrag();

 protected:
  void PaintGlyph(QPainter& painter, const QRect& rect, TVxButtonState state,
                  bool drawMark) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // The tip is shown once while the pointer stays on the button, for
  // kTipTime: requests repeated while it stays do not keep it up.
  bool event(QEvent* event) override;

 private:
  static constexpr int kTipTime = 10000;  // ms
  TSpeedItem* item_;
  bool tipShown_ = false;    // since the pointer came onto the button
  QWidget* copy_ = nullptr;  // the copy that follows the cursor while dragged
  bool moved_ = false;       // dragged away from its place: the button looks gone
};

// A frameless window showing a copy of a button while it is dragged; the
// window manager does not frame it.
class TBtnControl : public QWidget {
  Q_OBJECT

 public:
  TBtnControl(TSpeedItem* item, QSize buttonSize);
  // Moves the copy so that its bottom-right corner is at the screen point.
  void FollowCursor(const QPoint& globalPos);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TSpeedItem* item_;
};

class TSpeedItem : public QObject {
  Q_OBJECT

 public:
  explicit TSpeedItem(QObject* owner = nullptr);
  ~TSpeedItem() override;

  QString Caption() const { return caption_; }
  // The hint follows the caption (see SpeedBarRules: HintForCaption) when
  // the item has no widget owner or the hint's short part is the old caption.
  void SetCaption(const QString& caption);
  // Renaming an item whose caption is its old name renames the caption too.
  void SetName(const QString& name);
  QString BtnCaption() const { return button_->Caption(); }
  void SetBtnCaption(const QString& caption) { button_->SetCaption(caption); }
  QString Hint() const { return hint_; }
  void SetHint(const QString& hint);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool Stored = true;
  int Left() const { return left_; }
  void SetLeft(int value) { SetBounds(value, top_); }
  int Top() const { return top_; }
  void SetTop(int value) { SetBounds(left_, value); }
  // Moves the button; on a horizontal bar Top is at least the bar's vertical
  // offset, on a vertical bar Left at least its horizontal offset.
  void SetBounds(int left, int top);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  int Tag = 0;

  // Forwarded to the button.
  void SetGlyph(const QPixmap& glyph) { button_->SetGlyph(glyph); }
  QPixmap Glyph() const { return button_->Glyph(); }
  void SetNumGlyphs(int n) { button_->SetNumGlyphs(n); }
  int NumGlyphs() const { return button_->NumGlyphs(); }
  void SetLayout(TButtonLayout l) { button_->SetLayout(l); }
  TButtonLayout Layout() const { return button_->Layout(); }
  void SetMargin(int v) { button_->SetMargin(v); }
  void SetSpacing(int v) { button_->SetSpacing(v); }
  void SetWordWrap(bool v) { button_->SetWordWrap(v); }
  void SetMarkDropDown(bool v) { button_->SetMarkDropDown(v); }
  void SetDropDownMenu(QMenu* menu) { button_->SetDropDownMenu(menu); }
  void SetAllowAllUp(bool v) { button_->SetAllowAllUp(v); }
  void SetAllowTimer(bool v) { button_->SetAllowTimer(v); }
  void SetGroupIndex(int v) { button_->SetGroupIndex(v); }
  int GroupIndex() const { return button_->GroupIndex(); }
  bool Down() const { return button_->Down(); }
  void SetDown(bool v) { button_->SetDown(v); }

  TSpeedbarButton* Button() const { return button_; }
  TSpeedBar* SpeedBar() const { return bar_; }
  // The index of the item's section in its bar, -1 off any bar.
  int Section() const;
  // The caption of its section, or the stored name when it has none.
  QString SectionName() const;
  void SetSectionName(const QString& name) { sectionName_ = name; }
  bool Editing() const { return editing_; }

  // Clicks the button.
  virtual void ButtonClick();

 signals:
  void clicked();
  void dblClick();
  void mouseEnter();
  void mouseLeave();

 private:
  friend class TSpeedBar;
  friend class TSpeedbarSection;
  void JoinBar(TSpeedBar* bar, TSpeedbarSection* section);
  void LeaveBar();
  void SetEditing(bool on);
  void UpdateButtonState();
  void UpdateVisibility();

  TSpeedbarButton* button_;
  TSpeedBar* bar_ = nullptr;
  TSpeedbarSection* section_ = nullptr;
  QString caption_, hint_, sectionName_;
  bool enabled_ = true, visible_ = false, editing_ = false;
  int left_ = 0, top_ = 0, imageIndex_ = -1;
};

class TSpeedBar : public QFrame {
  Q_OBJECT

 public:
  // (sender, new edge, apply in/out)
  using TApplyAlignEvent = std::function<void(TSpeedBar* sender, TAlign align, bool& apply)>;

  explicit TSpeedBar(QWidget* parent = nullptr);
  ~TSpeedBar() override;

  // Sections.
  int SectionCount() const { return static_cast<int>(sections_.size()); }
  TSpeedbarSection* Sections(int index) const;
  // Adds a section (a caption already present gets " (n)"); returns its index.
  virtual int AddSection(const QString& caption);
  int FindSection(const QString& caption) const;
  // The section leaves the bar with its items still alive (they leave the bar too).
  void RemoveSection(int index);
  // Destroys the section and its items.
  void DeleteSection(int index);
  TSpeedItem* Items(int section, int index) const;
  int ItemsCount(int section) const;
  bool FindItem(const TSpeedItem* item, int& section, int& index) const;
  // By object name, without case.
  TSpeedItem* SearchItem(const QString& name) const;
  // An index beyond the last section means the last; without sections one
  // with an empty caption is made.
  void AddItem(int section, TSpeedItem* item);
  void RemoveItem(TSpeedItem* item);
  // Every item of every section, in order.
  virtual void ForEachItem(const std::function<void(TSpeedItem*)>& proc) const;

  // Look and geometry.
  TAlign Align() const { return align_; }
  // bpAuto refuses alNone and alClient (ESpeedbarError).
  void SetAlign(TAlign align);
  TBarPosition Position() const { return position_; }
  void SetPosition(TBarPosition value);
  TBarOrientation Orientation() const { return orientation_; }
  // Only used with bpCustom.
  void SetOrientation(TBarOrientation value);
  TSpeedbarOptions Options() const { return options_; }
  void SetOptions(TSpeedbarOptions value);
  int BtnWidth() const { return btnWidth_; }
  void SetBtnWidth(int value);
  int BtnHeight() const { return btnHeight_; }
  void SetBtnHeight(int value);
  QSize BtnSize() const { return {btnWidth_, btnHeight_}; }
  int BtnOffsetHorz() const { return offsetHorz_; }
  void SetBtnOffsetHorz(int value);
  int BtnOffsetVert() const { return offsetVert_; }
  void SetBtnOffsetVert(int value);
  int GridX() const { return gridX_; }
  int GridY() const { return gridY_; }
  TBoundLines BoundLines() const { return boundLines_; }
  void SetBoundLines(TBoundLines value);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int value);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value);
  const QPixmap& Wallpaper() const { return wallpaper_; }
  void SetWallpaper(const QPixmap& picture);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  int Version = 0;
  bool Locked() const { return locked_; }
  // The thickness across the bar (height of a horizontal bar).
  int Thickness() const;
  void SetThickness(int value);
  // The bar's font becomes the menu font of the system.
  virtual void SetFontDefault();

  // Places the item dropped with the copy's top-left at pos of the bar's
  // client area and the pointer at pointer (pos when not given): on the bar
  // only when the pointer lies on it, in the row under the pointer, whole on
  // the bar, at the nearest grid place no other button takes, the others
  // making room on a full bar (DropMakingRoom).
  // Returns whether it is on the bar.
  // With reorder (a button moved along its bar), one moved onto another goes
  // in beside it.
  bool PlaceItem(TSpeedItem* item, QPoint pos, std::optional<QPoint> pointer = std::nullopt,
                 bool reorder = false);
  TBarMeasures Measures() const;
  // The same at the size the bar's layout gives it at the least: shown or
  // not (a bar not laid out yet has no size of its own), a stored layout is
  // read alike.
  TBarMeasures LayoutMeasures() const;
  // The items shown on the bar, but the one given, and their top-left corners.
  std::vector<TSpeedItem*> ItemsShown(const TSpeedItem* except) const;
  std::vector<TBarPoint> PlacesTaken(const TSpeedItem* except) const;
  // How long the bar must be to show every button on it whole.
  int LengthNeeded() const;
  // The bar's layout gives it the length its buttons need at the least: more
  // once a button went past its end, less once buttons left it.
  void AskForRoom();
  // Along its length, as long as its buttons need (LengthNeeded): a layout
  // never makes the bar too short to show them whole.
  QSize minimumSizeHint() const override;

  // Layout storage.
  void SaveLayout(TIniStorage* storage);
  void RestoreLayout(TIniStorage* storage);
  void WriteLayout(TIniStorage* storage, const std::string& section);
  void ReadLayout(TIniStorage* storage, const std::string& section);
  TFormPlacement* IniStorage() const { return iniLink_.Storage(); }
  void SetIniStorage(TFormPlacement* placement) { iniLink_.SetStorage(placement); }

  // Customisation.
  void Customize(int helpContext = 0);
  QWidget* EditingWindow() const { return editing_; }
  void SetEditing(QWidget* window);
  void Notify(TSpeedbarNotify code);

  TApplyAlignEvent OnApplyAlign;

 signals:
  void posChanged();
  void customize();
  void visibleChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TSpeedItem;
  friend class TSpeedbarSection;
  int DefaultOffset() const;
  // The longest the bar, length long now, can get with its window's frame
  // still inside the screen's work area: its window grows by the room the
  // work area has left beside it (none for a bar that is a window itself).
  int RoomOnScreen(int length) const;
  void ApplyOrientation(TBarOrientation value);
  void UpdateGrid();
  void UpdateOffsets();
  void Dock();
  bool NearResizeEdge(QPoint p) const;
  QRect InnerRect() const;
  std::vector<std::string> SectionCaptions() const;

  std::vector<TSpeedbarSection*> sections_;
  TBarPosition position_ = TBarPosition::bpAuto;
  TBarOrientation orientation_ = TBarOrientation::boHorizontal;
  TAlign align_ = TAlign::alNone;
  TSpeedbarOptions options_ = sbAllowDrag | sbGrayedBtns;
  int btnWidth_ = 24, btnHeight_ = 23;
  int gridX_ = 8, gridY_ = 23;
  int offsetHorz_ = 0, offsetVert_ = 0;
  TBoundLines boundLines_ = 0;
  TBevelCut bevelOuter_ = TBevelCut::bvRaised, bevelInner_ = TBevelCut::bvNone;
  int bevelWidth_ = 1, borderWidth_ = 0;
  QPixmap wallpaper_;
  QPointer<TImageList> images_;
  TIniLink iniLink_;
  QPointer<QWidget> editing_;
  bool locked_ = false;
  // Mouse state.
  bool pressed_ = false, dragging_ = false, resizing_ = false;
  QPoint downPos_;
  TAlign dragAlign_ = TAlign::alTop, prevAlign_ = TAlign::alTop;
  QRubberBand* dragFrame_ = nullptr;
};

// An item of the bar that runs a form's action: owned by the action's
// owner, its caption and hint are the action's text, its button shows the
// glyph and btnCaption; it follows the action's enabled state and a click
// triggers the action. It is placed at left on the bar's first row.
TSpeedItem* AddActionItem(TSpeedBar* bar, int section, QAction* action, const char* name,
                          const QString& btnCaption, const QPixmap& glyph, int left);

}  // namespace velmaris

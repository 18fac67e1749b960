// Failures in widgets/: a control's storage (IniFile, the placement registry)
// raises its exception to the caller; a control's own Qt event handlers catch
// it and report it through the Prompter, and the control stays usable.
//
// The multi-column list box: a self-drawn list of rows of cells under an
// optional header of resizable, clickable columns. It holds no row data: the
// owner sets Count and answers OnGetData for the visible cells only, so a
// list of any length costs nothing until it is drawn.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "widgets/ListBoxModel.h"

class QPainter;
class QFontMetrics;

namespace velmaris {

class TBLBColumns;
class TCustomBetterListBox;

enum class TColBorderStyle { cbsNone, cbsPanel, cbsWin95, cbsProgressive };

// The caption shortened with "..." to fit maxWidth; at least one character
// is kept. A caption that fits comes back unchanged.
QString FitCaption(const QFontMetrics& metrics, int maxWidth, const QString& text);

// One column of the list: caption, alignment (0 left, 1 right, 2 centred),
// width in pixels and an optional header glyph.
class TBLBColumn {
 public:
  TBLBColumn() = default;
  TBLBColumn(const QString& caption, int width, int alignment = 0);

  int Alignment() const { return alignment_; }
  const QString& Caption() const { return caption_; }
  const QPixmap& Glyph() const { return glyph_; }
  int WidthMode() const { return widthMode_; }
  int NumGlyphs() const { return numGlyphs_; }
  int Width() const { return width_; }
  bool Pressed() const { return pressed_; }
  TBLBColumns* Owner() const { return owner_; }

  void SetAlignment(int value);
  void SetCaption(const QString& value);
  // A glyph without alpha channel leaves out the colour of its bottom-left pixel.
  void SetGlyph(const QPixmap& value);
  void SetWidthMode(int value);
  void SetNumGlyphs(int value);  // at least 1
  void SetWidth(int value);      // at least 0
  void SetPressed(bool value);
  void Assign(const TBLBColumn& source);
  void Changed();
  // Draws the header cell at (x, y); returns the width taken.
  int Draw(QPainter& painter, int x, int y) const;
  // The width at which the cell shows its glyph and whole caption in the
  // header's font (0 without an owner).
  int CaptionWidth() const;

 private:
  friend class TBLBColumns;
  int alignment_ = 0;
  QString caption_;
  QPixmap glyph_;
  int widthMode_ = 0;
  int numGlyphs_ = 1;
  int width_ = 50;
  bool pressed_ = false;
  TBLBColumns* owner_ = nullptr;
};

// The columns of a list box and the look of its header.
class TBLBColumns {
 public:
  explicit TBLBColumns(TCustomBetterListBox* listBox);
  ~TBLBColumns();
  TBLBColumns(const TBLBColumns&) = delete;
  TBLBColumns& operator=(const TBLBColumns&) = delete;

  int GetCount() const { return static_cast<int>(items_.size()); }
  TBLBColumn* GetItem(int index) const;
  // Takes the column over; returns its index.
  int Add(std::unique_ptr<TBLBColumn> column);
  int Add(const QString& caption, int width, int alignment = 0);
  int IndexOf(const TBLBColumn* column) const;
  void Clear();
  void BeginUpdate();
  void EndUpdate();
  void Changed();
  void Assign(const TBLBColumns& source);

  int HeaderHeight() const;
  // Sum of all widths; the list box's client width when there is no column.
  int TotalWidth() const;
  // Draws the header at (x, y), width pixels wide; returns the width of the columns.
  int DrawHeader(QPainter& painter, int x, int width, int y) const;
  // Draws the frame of a header cell, shrinks rect to its inside and fills it.
  void DrawCellFrame(QPainter& painter, QRect& rect, bool pressed) const;

  // Column widths in an INI file: section "Columns", keys Width0, Width1, ...
  // Loading keeps the width of a column without a key; stored widths are
  // kept within 0..kMaxColumnWidth. Saving raises EIniFile when it cannot write.
  // Stored widths come back as they were saved, narrower than a caption
  // too: the user chose them for the font in use.
  void SaveWidths(const std::string& fileName) const;
  void LoadWidths(const std::string& fileName);
  // The header follows its font: every shown column narrower than its
  // caption grows to show it whole; a column of width 0 (hidden) stays
  // hidden, and wider ones keep their width. Setting the font fits them, so
  // the widths saved after a font change hold the captions at the next start.
  void FitCaptions();
  static constexpr int kMaxColumnWidth = 8192;

  QColor Color, DkShadowColor, DkLightColor, LightColor, ShadowColor;
  int BorderSize() const { return borderSize_; }
  void SetBorderSize(int value);
  TColBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TColBorderStyle value);
  int Margin() const { return margin_; }
  void SetMargin(int value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font);  // and fits the captions

  std::function<void(TBLBColumns*)> OnChange;
  TCustomBetterListBox* Owner() const { return owner_; }

 private:
  TCustomBetterListBox* owner_;
  std::vector<std::unique_ptr<TBLBColumn>> items_;
  bool changed_ = false;
  int updating_ = 0;  // BeginUpdate nests
  int borderSize_ = 0;
  TColBorderStyle borderStyle_ = TColBorderStyle::cbsWin95;
  int margin_ = 4;
  int spacing_ = 4;
  QFont font_;
};

// The draw state of a row.
struct TBLBDrawState {
  bool bdsFocused = false;
  bool bdsSelected = false;
};

class TCustomBetterListBox : public QAbstractScrollArea, private ListBoxHost {
  Q_OBJECT

 public:
  // Supplies a cell: Image and Overlay come in as -1 (none), Caption empty.
  using TBLBGetDataEvent = std::function<void(TCustomBetterListBox* sender, int row, int col,
                                              int& image, int& overlay, QString& caption)>;
  // Adjusts a row's look: Bold comes in false, FG and BG as the row would get them.
  using TBLBGetStyles = std::function<void(TCustomBetterListBox* sender, bool& bold, QColor& fg,
                                           QColor& bg, int index, TBLBDrawState state)>;
  using TBLBColClick = std::function<void(TCustomBetterListBox* sender, TBLBColumn* column)>;

  explicit TCustomBetterListBox(QWidget* parent = nullptr);
  ~TCustomBetterListBox() override;

  TBLBGetDataEvent OnGetData;
  TBLBGetStyles OnGetStyles;
  TBLBColClick OnColumnClick;

  // Rows and the owner's data.
  virtual int GetCount() const;
  void SetCount(int count);
  int Count() const { return GetCount(); }
  virtual void GetData(int row, int col, int& image, int& overlay, QString& caption);
  virtual void GetStyles(bool& bold, QColor& fg, QColor& bg, int index, TBLBDrawState state);

  // Current, focused and top row; selection.
  int ItemIndex() const { return model_.ItemIndex(); }
  void SetItemIndex(int index) { model_.SetItemIndex(index); }
  int FocusIndex() const { return model_.FocusIndex(); }
  void SetFocusIndex(int index) { model_.SetFocusIndex(index); }
  int TopIndex() const { return model_.TopIndex(); }
  void SetTopIndex(int index) { model_.SetTopIndex(index); }
  bool Selected(int index) const { return model_.Selected(index); }
  void SetSelected(int index, bool on) { model_.SetSelected(index, on); }
  int SelectedCount() const { return model_.SelectedCount(); }
  void SelectItem(int index) { model_.SelectItem(index); }
  void ClearSelection() { model_.ClearSelection(); }
  void SelectAll() { model_.SelectAll(); }
  void InvertSelection() { model_.InvertSelection(); }
  int MaxTopIndex() const { return model_.MaxTopIndex(); }
  int FullRows() const { return model_.FullRows(); }
  int VisibleRows() const { return model_.VisibleRows(); }
  int ItemHeight() const { return itemHeight_; }
  int HorzPos() const { return horzPos_; }
  void SetHorzPos(int pos);

  // Geometry.
  void RedrawItem(int index);
  virtual void RepaintAll();
  virtual void MakeVisible(int index);
  int ItemAtPos(int x, int y) const;
  virtual bool GetItemRect(int index, QRect& rect) const;
  virtual TBLBColumn* ColumnAtPos(int x, int y) const;
  // The first character of the row's column-0 caption, 0 when it is empty.
  virtual QChar FirstCharOf(int row);
  // The top of the rows in the client area (below the header when shown).
  int RowsTop() const;

  // Properties.
  TBLBColumns& Columns() { return *columns_; }
  const TBLBColumns& Columns() const { return *columns_; }
  bool BorderStyleSingle() const { return borderSingle_; }
  void SetBorderStyleSingle(bool on);
  int CellBorder() const { return cellBorder_; }
  void SetCellBorder(int value);
  QColor Color() const { return color_; }
  void SetColor(const QColor& value);
  bool ColumnClickEnabled() const { return columnClick_; }
  void SetColumnClickEnabled(bool on) { columnClick_ = on; }
  bool ColumnMove() const { return columnMove_; }
  void SetColumnMove(bool on) { columnMove_ = on; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool on);
  QColor HighlightColor() const { return highlightColor_; }
  void SetHighlightColor(const QColor& value);
  QColor HighlightTxtColor() const { return highlightTxtColor_; }
  void SetHighlightTxtColor(const QColor& value);
  const QPixmap& Images() const { return images_; }
  // An image strip without alpha channel leaves out the colour of its bottom-left pixel.
  void SetImages(const QPixmap& strip);
  int ImageWidth() const { return imageWidth_; }
  void SetImageWidth(int value);
  bool IncrementalSearch() const { return model_.IncrementalSearch(); }
  void SetIncrementalSearch(bool on) { model_.SetIncrementalSearch(on); }
  bool IntegralHeight() const { return model_.IntegralHeight(); }
  void SetIntegralHeight(bool on);
  int Margin() const { return margin_; }
  void SetMargin(int value) { margin_ = value; }
  int MaxItemHeight() const { return maxItemHeight_; }
  void SetMaxItemHeight(int value);
  int MinItemHeight() const { return minItemHeight_; }
  void SetMinItemHeight(int value);
  bool MultiSelect() const { return model_.MultiSelect(); }
  void SetMultiSelect(bool on) { model_.SetMultiSelect(on); }
  bool ShowColumnHeaders() const { return showColumnHeaders_; }
  void SetShowColumnHeaders(bool on);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);

  // Called by the columns when they change.
  void ColumnsChanged();

 signals:
  // OnClick: the current row was chosen by mouse or key.
  void clicked();
  // OnDblClick: a double click on a row, or Return.
  void doubleClicked();
  // OnMouseDown: any button pressed in the client area (after the list box
  // handled it); pos is in client coordinates.
  void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
  // OnKeyDown: after the list box handled the key.
  void keyDown(int key, Qt::KeyboardModifiers modifiers);

 protected:
  // A header cell was pressed and released over it.
  virtual void ColumnClick(TBLBColumn* column);
  virtual void DrawItem(QPainter& painter, int index, const QRect& rect);
  virtual void DrawCell(QPainter& painter, const QRect& rect, TBLBDrawState state, int col,
                        int row);
  void UpdateLayout();
  ListBoxModel& Model() { return model_; }

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // ListBoxHost
  void RowChanged(int row) override;
  void AllChanged() override;
  void TopChanged(int oldTop, int newTop) override;
  void Clicked() override;
  void DoubleClicked() override;
  char16_t FirstChar(int row) override;

  void ComputeItemHeight();
  void UpdateScrollBars();
  QRect RowRect(int slot) const;
  void AutoScrollTick();
  bool InHeader(int y) const;

  ListBoxModel model_;
  std::unique_ptr<TBLBColumns> columns_;
  int itemHeight_ = 10;
  int textHeight_ = 10;
  bool rowBold_ = false;
  int horzPos_ = 0;
  bool borderSingle_ = true;
  int cellBorder_ = 1;
  QColor color_;
  bool columnClick_ = true;
  bool columnMove_ = true;
  bool hideSelection_ = false;
  QColor highlightColor_;
  QColor highlightTxtColor_;
  QPixmap images_;
  int imageWidth_ = 16;
  int margin_ = 4;
  int maxItemHeight_ = 2147483647;
  int minItemHeight_ = 2;
  bool showColumnHeaders_ = false;
  int spacing_ = 4;

  // Input state.
  bool mouseSelecting_ = false;
  bool pressInHeader_ = false;
  TBLBColumn* pressedColumn_ = nullptr;
  TBLBColumn* resizeColumn_ = nullptr;
  int resizeLeft_ = 0;
  int resizeOffset_ = 0;
  QTimer autoScroll_;
  bool autoScrollUp_ = false;
  bool autoScrollDown_ = false;
  WheelAccumulator wheel_;
  bool settingBars_ = false;
};

// The list box as the forms use it.
class TBetterListBox : public TCustomBetterListBox {
  Q_OBJECT
 public:
  using TCustomBetterListBox::TCustomBetterListBox;
};

}  // namespace velmaris

#include "widgets/BetterListBox.h"

#include <QApplication>
#include <QBitmap>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "widgets/IniFile.h"

namespace velmaris {

namespace {

// A picture without alpha channel leaves out the colour of its bottom-left
// pixel, as bitmaps drawn "transparently" do.
QPixmap WithTransparency(const QPixmap& pixmap) {
  if (pixmap.isNull() || pixmap.hasAlphaChannel()) return pixmap;
  QPixmap out = pixmap;
  const QImage image = pixmap.toImage();
  const QColor key = image.pixelColor(0, image.height() - 1);
  out.setMask(QBitmap::fromImage(image.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
  return out;
}

}  // namespace

QString FitCaption(const QFontMetrics& metrics, int maxWidth, const QString& text) {
  if (text.isEmpty() || metrics.horizontalAdvance(text) <= maxWidth) return text;
  const int room = maxWidth - metrics.horizontalAdvance(QStringLiteral("..."));
  int low = 1, high = static_cast<int>(text.size()), best = 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    if (metrics.horizontalAdvance(text.left(middle)) > room) {
      high = middle - 1;
    } else {
      best = middle;
      low = middle + 1;
    }
  }
  return text.left(best) + QStringLiteral("...");
}

// ---------------------------------------------------------------- TBLBColumn

TBLBColumn::TBLBColumn(const QString& caption, int width, int alignment)
    : alignment_(std::clamp(alignment, 0, 2)), caption_(caption), width_(std::max(width, 0)) {}

void TBLBColumn::SetAlignment(int value) {
  value = std::clamp(value, 0, 2);
  if (value == alignment_) return;
  alignment_ = value;
  Changed();
}

void TBLBColumn::SetCaption(const QString& value) {
  if (value == caption_) return;
  caption_ = value;
  Changed();
}

void TBLBColumn::SetGlyph(const QPixmap& value) {
  const int held = CaptionWidth();
  glyph_ = WithTransparency(value);
  // A column that held its whole caption holds it beside the glyph too (the
  // sort arrow comes after the columns were fitted to a font); one the user
  // made narrower stays as it is.
  if (width_ > 0 && width_ >= held) width_ = std::max(width_, CaptionWidth());
  Changed();
}

void TBLBColumn::SetWidthMode(int value) {
  if (value == widthMode_) return;
  widthMode_ = value;
  Changed();
}

void TBLBColumn::SetNumGlyphs(int value) {
  value = std::max(value, 1);
  if (value == numGlyphs_) return;
  numGlyphs_ = value;
  Changed();
}

void TBLBColumn::SetWidth(int value) {
  value = std::max(value, 0);
  if (value == width_) return;
  width_ = value;
  Changed();
}

void TBLBColumn::SetPressed(bool value) {
  if (value == pressed_) return;
  pressed_ = value;
  Changed();
}

void TBLBColumn::Assign(const TBLBColumn& source) {
  caption_ = source.caption_;
  alignment_ = source.alignment_;
  width_ = source.width_;
  widthMode_ = source.widthMode_;
  numGlyphs_ = source.numGlyphs_;
  glyph_ = source.glyph_;
  Changed();
}

void TBLBColumn::Changed() {
  if (owner_) owner_->Changed();
}

int TBLBColumn::Draw(QPainter& painter, int x, int y) const {
  if (!owner_) return 0;
  QRect rect(x, y, width_, owner_->HeaderHeight());
  if (width_ <= 0) return 0;
  owner_->DrawCellFrame(painter, rect, pressed_);
  const int border = owner_->BorderSize();
  rect.adjust(border, border, -border, -border);
  const QFontMetrics metrics(owner_->Font());
  const int glyphWidth = glyph_.isNull() ? 0 : glyph_.width() / numGlyphs_;
  if (owner_->Margin() >= 0) {
    rect.adjust(owner_->Margin(), 0, -owner_->Margin(), 0);
  } else {
    const int in =
        (rect.width() - (metrics.horizontalAdvance(caption_) - owner_->Margin() + glyphWidth)) / 2;
    rect.adjust(in, 0, -in, 0);
  }
  painter.save();
  painter.setClipRect(QRect(x, y, width_, owner_->HeaderHeight()), Qt::IntersectClip);
  if (!glyph_.isNull()) {
    painter.drawPixmap(rect.left(), rect.top() + (rect.height() - glyph_.height()) / 2, glyph_, 0,
                       0, glyphWidth, glyph_.height());
    rect.setLeft(rect.left() + glyphWidth + owner_->Spacing());
  }
  const QString text = FitCaption(metrics, rect.width(), caption_);
  const int extent = metrics.horizontalAdvance(text);
  int tx = rect.left();
  if (alignment_ == 1) tx = rect.right() + 1 - extent;
  if (alignment_ == 2) tx = rect.left() + (rect.width() - extent) / 2;
  const int ty = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
  painter.setFont(owner_->Font());
  painter.setPen(owner_->Owner() ? owner_->Owner()->palette().color(QPalette::ButtonText)
                                 : Qt::black);
  painter.drawText(tx, ty, text);
  painter.restore();
  return width_;
}

int TBLBColumn::CaptionWidth() const {
  if (!owner_) return 0;
  int frame = 0;
  switch (owner_->BorderStyle()) {
    case TColBorderStyle::cbsNone: frame = 0; break;
    case TColBorderStyle::cbsPanel: frame = 2; break;
    default: frame = 4; break;  // raised and pressed alike
  }
  const int margins = owner_->Margin() >= 0 ? 2 * owner_->Margin() : -owner_->Margin();
  const int glyph = glyph_.isNull() ? 0 : glyph_.width() / numGlyphs_ + owner_->Spacing();
  return frame + 2 * owner_->BorderSize() + margins + glyph +
         QFontMetrics(owner_->Font()).horizontalAdvance(caption_);
}

// --------------------------------------------------------------- TBLBColumns

TBLBColumns::TBLBColumns(TCustomBetterListBox* listBox) : owner_(listBox) {
  const QPalette pal = listBox ? listBox->palette() : QApplication::palette();
  Color = pal.color(QPalette::Button);
  DkShadowColor = pal.color(QPalette::Shadow);
  DkLightColor = pal.color(QPalette::Midlight);
  LightColor = pal.color(QPalette::Light);
  ShadowColor = pal.color(QPalette::Dark);
  if (listBox) font_ = listBox->font();
}

TBLBColumns::~TBLBColumns() = default;

TBLBColumn* TBLBColumns::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

int TBLBColumns::Add(std::unique_ptr<TBLBColumn> column) {
  column->owner_ = this;
  items_.push_back(std::move(column));
  Changed();
  return GetCount() - 1;
}

int TBLBColumns::Add(const QString& caption, int width, int alignment) {
  return Add(std::make_unique<TBLBColumn>(caption, width, alignment));
}

int TBLBColumns::IndexOf(const TBLBColumn* column) const {
  for (int i = 0; i < GetCount(); ++i)
    if (items_[static_cast<size_t>(i)].get() == column) return i;
  return -1;
}

void TBLBColumns::Clear() {
  items_.clear();
  Changed();
}

void TBLBColumns::BeginUpdate() { ++updating_; }

void TBLBColumns::EndUpdate() {
  if (updating_ > 0 && --updating_ > 0) return;
  if (changed_) {
    changed_ = false;
    Changed();
  }
}

void TBLBColumns::Changed() {
  if (updating_ > 0) {
    changed_ = true;
    return;
  }
  if (OnChange) OnChange(this);
  if (owner_) owner_->ColumnsChanged();
}

void TBLBColumns::Assign(const TBLBColumns& source) {
  BeginUpdate();
  Clear();
  for (const auto& c : source.items_) {
    auto copy = std::make_unique<TBLBColumn>();
    copy->Assign(*c);
    Add(std::move(copy));
  }
  font_ = source.font_;
  borderSize_ = source.borderSize_;
  borderStyle_ = source.borderStyle_;
  Color = source.Color;
  DkLightColor = source.DkLightColor;
  DkShadowColor = source.DkShadowColor;
  LightColor = source.LightColor;
  ShadowColor = source.ShadowColor;
  margin_ = source.margin_;
  spacing_ = source.spacing_;
  Changed();
  EndUpdate();
}

void TBLBColumns::SetBorderSize(int value) {
  value = std::max(value, 0);
  if (value == borderSize_) return;
  borderSize_ = value;
  Changed();
}

void TBLBColumns::SetBorderStyle(TColBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  Changed();
}

void TBLBColumns::SetMargin(int value) {
  if (value == margin_) return;
  margin_ = value;
  Changed();
}

void TBLBColumns::SetSpacing(int value) {
  value = std::max(value, 0);
  if (value == spacing_) return;
  spacing_ = value;
  Changed();
}

void TBLBColumns::SetFont(const QFont& font) {
  BeginUpdate();
  font_ = font;
  changed_ = true;
  FitCaptions();
  EndUpdate();
}

void TBLBColumns::FitCaptions() {
  BeginUpdate();
  for (const auto& c : items_) {
    if (c->Width() > 0) c->SetWidth(std::max(c->Width(), c->CaptionWidth()));
  }
  EndUpdate();
}

int TBLBColumns::HeaderHeight() const {
  int frame = 0;
  switch (borderStyle_) {
    case TColBorderStyle::cbsNone: frame = 0; break;
    case TColBorderStyle::cbsPanel: frame = 2; break;
    default: frame = 4; break;
  }
  return QFontMetrics(font_).height() + 2 * borderSize_ + frame;
}

int TBLBColumns::TotalWidth() const {
  if (items_.empty()) return owner_ ? owner_->viewport()->width() : 0;
  long long total = 0;
  for (const auto& c : items_) total += c->Width();
  return static_cast<int>(std::min<long long>(total, 1 << 30));
}

int TBLBColumns::DrawHeader(QPainter& painter, int x, int width, int y) const {
  painter.save();
  painter.setFont(font_);
  int total = 0;
  for (const auto& c : items_) total += c->Draw(painter, x + total, y);
  if (total < width) {
    QRect rest(x + total, y, width - total, HeaderHeight());
    DrawCellFrame(painter, rest, false);
  }
  painter.restore();
  return total;
}

void TBLBColumns::DrawCellFrame(QPainter& painter, QRect& rect, bool pressed) const {
  const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
  auto line = [&](const QColor& c, int x1, int y1, int x2, int y2) {
    painter.setPen(c);
    painter.drawLine(x1, y1, x2, y2);
  };
  switch (borderStyle_) {
    case TColBorderStyle::cbsNone: break;
    case TColBorderStyle::cbsPanel: {
      const QColor& tl = pressed ? ShadowColor : LightColor;
      const QColor& br = pressed ? LightColor : ShadowColor;
      line(tl, l, t, r, t);
      line(tl, l, t, l, b);
      line(br, r, t, r, b);
      line(br, l, b, r, b);
      rect.adjust(1, 1, -1, -1);
      break;
    }
    case TColBorderStyle::cbsWin95:
    case TColBorderStyle::cbsProgressive:
      if (!pressed) {
        line(LightColor, l, t, r - 1, t);
        line(LightColor, l, t, l, b - 1);
        line(DkLightColor, l + 1, t + 1, r - 2, t + 1);
        line(DkLightColor, l + 1, t + 1, l + 1, b - 2);
        line(ShadowColor, r - 1, t + 1, r - 1, b - 1);
        line(ShadowColor, l + 1, b - 1, r - 1, b - 1);
        line(DkShadowColor, r, t, r, b);
        line(DkShadowColor, l, b, r, b);
        rect.adjust(2, 2, -2, -2);
      } else {
        painter.setPen(ShadowColor);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(l, t, r - l, b - t));
        line(Color, l + 1, t + 1, r - 1, t + 1);
        line(Color, l + 1, t + 1, l + 1, b - 1);
        rect.adjust(3, 3, -1, -1);
      }
      break;
  }
  painter.fillRect(rect, Color);
}

void TBLBColumns::SaveWidths(const std::string& fileName) const {
  IniFile ini(fileName);
  for (int i = 0; i < GetCount(); ++i)
    ini.WriteInteger("Columns", "Width" + std::to_string(i),
                     items_[static_cast<size_t>(i)]->Width());
  ini.Save();
}

void TBLBColumns::LoadWidths(const std::string& fileName) {
  const IniFile ini(fileName);
  BeginUpdate();
  for (int i = 0; i < GetCount(); ++i) {
    TBLBColumn& c = *items_[static_cast<size_t>(i)];
    const int w = ini.ReadInteger("Columns", "Width" + std::to_string(i), c.Width());
    c.SetWidth(std::clamp(w, 0, kMaxColumnWidth));
  }
  EndUpdate();
}

// ------------------------------------------------------ TCustomBetterListBox

TCustomBetterListBox::TCustomBetterListBox(QWidget* parent)
    : QAbstractScrollArea(parent), model_(this) {
  columns_ = std::make_unique<TBLBColumns>(this);
  color_ = palette().color(QPalette::Base);
  highlightColor_ = palette().color(QPalette::Highlight);
  highlightTxtColor_ = palette().color(QPalette::HighlightedText);
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  autoScroll_.setInterval(50);
  connect(&autoScroll_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
  resize(100, 100);
  ComputeItemHeight();
}

TCustomBetterListBox::~TCustomBetterListBox() = default;

int TCustomBetterListBox::GetCount() const { return model_.Count(); }

void TCustomBetterListBox::SetCount(int count) {
  model_.SetCount(count);
  UpdateLayout();
}

void TCustomBetterListBox::GetData(int row, int col, int& image, int& overlay, QString& caption) {
  if (OnGetData) {
    OnGetData(this, row, col, image, overlay, caption);
    return;
  }
  caption = QStringLiteral("Z:%1 S:%2").arg(row).arg(col);
  if (col == 0) image = 0;
}

void TCustomBetterListBox::GetStyles(bool& bold, QColor& fg, QColor& bg, int index,
                                     TBLBDrawState state) {
  if (OnGetStyles) OnGetStyles(this, bold, fg, bg, index, state);
}

void TCustomBetterListBox::ColumnClick(TBLBColumn* column) {
  if (column && OnColumnClick) OnColumnClick(this, column);
}

void TCustomBetterListBox::ComputeItemHeight() {
  const QFontMetrics metrics(font());
  textHeight_ = metrics.height();
  itemHeight_ = std::clamp(textHeight_ + 2 * cellBorder_, std::max(minItemHeight_, 1),
                           std::max(maxItemHeight_, std::max(minItemHeight_, 1)));
  UpdateLayout();
  RepaintAll();
}

int TCustomBetterListBox::RowsTop() const {
  return showColumnHeaders_ ? columns_->HeaderHeight() : 0;
}

bool TCustomBetterListBox::InHeader(int y) const {
  return showColumnHeaders_ && y < columns_->HeaderHeight();
}

void TCustomBetterListBox::UpdateLayout() {
  model_.Layout(viewport()->height() - RowsTop(), itemHeight_);
  UpdateScrollBars();
}

void TCustomBetterListBox::UpdateScrollBars() {
  settingBars_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, model_.MaxTopIndex());
  v->setPageStep(model_.FullRows());
  v->setSingleStep(1);
  v->setValue(model_.TopIndex());
  const int total = columns_->TotalWidth();
  const int client = viewport()->width();
  horzPos_ = std::max(std::min(horzPos_, total - client), 0);
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, std::max(total - client, 0));
  h->setPageStep(std::max(client, 1));
  h->setSingleStep(1);
  h->setValue(horzPos_);
  settingBars_ = false;
}

void TCustomBetterListBox::scrollContentsBy(int, int) {
  if (settingBars_) return;
  model_.SetTopIndex(verticalScrollBar()->value());
  SetHorzPos(horizontalScrollBar()->value());
}

void TCustomBetterListBox::SetHorzPos(int pos) {
  const int total = columns_->TotalWidth();
  pos = std::max(std::min(pos, total - viewport()->width()), 0);
  if (pos == horzPos_) return;
  horzPos_ = pos;
  UpdateScrollBars();
  RepaintAll();
}

QRect TCustomBetterListBox::RowRect(int slot) const {
  const int width = std::max(columns_->TotalWidth() - horzPos_, viewport()->width());
  return QRect(-horzPos_, RowsTop() + slot * itemHeight_, width + horzPos_, itemHeight_);
}

bool TCustomBetterListBox::GetItemRect(int index, QRect& rect) const {
  const int top = model_.TopIndex();
  if (index < 0 || index >= GetCount() || index < top || index > top + model_.FullRows())
    return false;
  const int right = std::max(columns_->TotalWidth() - horzPos_, viewport()->width());
  const int y = RowsTop() + (index - top) * itemHeight_;
  rect = QRect(QPoint(-horzPos_, y), QPoint(right - 1, y + itemHeight_ - 1));
  return y < viewport()->height();
}

int TCustomBetterListBox::ItemAtPos(int, int y) const {
  const int top = model_.TopIndex();
  const int last = std::min(GetCount() - 1, top + model_.VisibleRows());
  const int rowsTop = RowsTop();
  if (y < rowsTop) return -1;
  const int row = top + (y - rowsTop) / itemHeight_;
  return row <= last ? row : -1;
}

TBLBColumn* TCustomBetterListBox::ColumnAtPos(int x, int y) const {
  if (showColumnHeaders_ && (y < 0 || y >= columns_->HeaderHeight())) return nullptr;
  x += horzPos_;
  int left = 0;
  for (int i = 0; i < columns_->GetCount(); ++i) {
    TBLBColumn* c = columns_->GetItem(i);
    if (x >= left && x < left + c->Width()) return c;
    left += c->Width();
  }
  return nullptr;
}

void TCustomBetterListBox::RedrawItem(int index) {
  QRect rect;
  if (GetItemRect(index, rect)) viewport()->update(rect.intersected(viewport()->rect()));
}

void TCustomBetterListBox::RepaintAll() { viewport()->update(); }

void TCustomBetterListBox::MakeVisible(int index) { model_.MakeVisible(index); }

void TCustomBetterListBox::ColumnsChanged() {
  UpdateLayout();
  RepaintAll();
}

// ListBoxHost

void TCustomBetterListBox::RowChanged(int row) { RedrawItem(row); }

void TCustomBetterListBox::AllChanged() { RepaintAll(); }

void TCustomBetterListBox::TopChanged(int oldTop, int newTop) {
  if (ListBoxModel::ScrollsPixels(oldTop, newTop, model_.FullRows()) && isVisible()) {
    const QRect rows(0, RowsTop(), viewport()->width(), viewport()->height() - RowsTop());
    viewport()->scroll(0, (oldTop - newTop) * itemHeight_, rows);
  } else {
    RepaintAll();
  }
  UpdateScrollBars();
}

void TCustomBetterListBox::Clicked() { emit clicked(); }

void TCustomBetterListBox::DoubleClicked() { emit doubleClicked(); }

char16_t TCustomBetterListBox::FirstChar(int row) { return FirstCharOf(row).unicode(); }

QChar TCustomBetterListBox::FirstCharOf(int row) {
  int image = -1, overlay = -1;
  QString caption;
  GetData(row, 0, image, overlay, caption);
  return caption.isEmpty() ? QChar() : caption[0];
}

// Properties

void TCustomBetterListBox::SetBorderStyleSingle(bool on) {
  borderSingle_ = on;
  setFrameShape(on ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TCustomBetterListBox::SetCellBorder(int value) {
  if (value == cellBorder_) return;
  cellBorder_ = value;
  ComputeItemHeight();
}

void TCustomBetterListBox::SetColor(const QColor& value) {
  if (value == color_) return;
  color_ = value;
  RepaintAll();
}

void TCustomBetterListBox::SetHideSelection(bool on) {
  if (on == hideSelection_) return;
  hideSelection_ = on;
  RepaintAll();
}

void TCustomBetterListBox::SetHighlightColor(const QColor& value) {
  if (value == highlightColor_) return;
  highlightColor_ = value;
  RepaintAll();
}

void TCustomBetterListBox::SetHighlightTxtColor(const QColor& value) {
  if (value == highlightTxtColor_) return;
  highlightTxtColor_ = value;
  RepaintAll();
}

void TCustomBetterListBox::SetImages(const QPixmap& strip) {
  images_ = WithTransparency(strip);
  RepaintAll();
}

void TCustomBetterListBox::SetImageWidth(int value) {
  value = std::max(value, 1);
  if (value == imageWidth_) return;
  imageWidth_ = value;
  RepaintAll();
}

void TCustomBetterListBox::SetIntegralHeight(bool on) {
  model_.SetIntegralHeight(on);
  RepaintAll();
}

void TCustomBetterListBox::SetMaxItemHeight(int value) {
  if (value == maxItemHeight_) return;
  maxItemHeight_ = value;
  ComputeItemHeight();
}

void TCustomBetterListBox::SetMinItemHeight(int value) {
  if (value == minItemHeight_) return;
  minItemHeight_ = value;
  ComputeItemHeight();
}

void TCustomBetterListBox::SetShowColumnHeaders(bool on) {
  if (on == showColumnHeaders_) return;
  showColumnHeaders_ = on;
  UpdateLayout();
  RepaintAll();
}

void TCustomBetterListBox::SetSpacing(int value) {
  if (value == spacing_) return;
  spacing_ = value;
  RepaintAll();
}

// Painting

void TCustomBetterListBox::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRegion region = event->region();
  const int clientW = viewport()->width();
  const int clientH = viewport()->height();
  if (showColumnHeaders_) {
    const QRect header(0, 0, clientW, columns_->HeaderHeight());
    if (region.intersects(header)) columns_->DrawHeader(painter, -horzPos_, clientW + horzPos_, 0);
  }
  const int top = model_.TopIndex();
  const int count = GetCount();
  int bottom = RowsTop();
  for (int i = 0; i < model_.VisibleRows() && top + i < count; ++i) {
    const QRect rect = RowRect(i);
    bottom = rect.bottom() + 1;
    if (region.intersects(rect)) DrawItem(painter, top + i, rect);
  }
  if (bottom < clientH) {
    const QRect rest(0, bottom, clientW, clientH - bottom);
    if (region.intersects(rest)) painter.fillRect(rest, color_);
  }
}

void TCustomBetterListBox::DrawItem(QPainter& painter, int index, const QRect& rect) {
  const int top = model_.TopIndex();
  if (index < top || index > std::min(top + model_.VisibleRows(), GetCount()) - 1) return;
  painter.save();
  painter.setFont(font());
  painter.setClipRect(rect);
  TBLBDrawState state;
  state.bdsSelected = index == model_.ItemIndex() || model_.Selected(index);
  state.bdsFocused = index == model_.FocusIndex();
  QColor fg, bg;
  if (state.bdsSelected && !(hideSelection_ && !hasFocus())) {
    bg = highlightColor_;
    fg = highlightTxtColor_;
  } else {
    bg = color_;
    fg = palette().color(QPalette::Text);
  }
  bool bold = false;
  GetStyles(bold, fg, bg, index, state);
  rowBold_ = bold;
  painter.setPen(fg);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setBrush(bg);
  if (columns_->GetCount() == 0) {
    DrawCell(painter, rect, state, 0, index);
  } else {
    int x = rect.left();
    for (int c = 0; c < columns_->GetCount(); ++c) {
      const int w = columns_->GetItem(c)->Width();
      if (x + w > 0 && x < viewport()->width()) {
        DrawCell(painter, QRect(x, rect.top(), w, rect.height()), state, c, index);
      }
      x += w;
    }
    if (x <= rect.right())
      painter.fillRect(QRect(x, rect.top(), rect.right() - x + 1, rect.height()), bg);
  }
  if (hasFocus() && state.bdsFocused) {
    QPen pen(Qt::black, 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
  }
  painter.restore();
}

void TCustomBetterListBox::DrawCell(QPainter& painter, const QRect& rect, TBLBDrawState state,
                                    int col, int row) {
  int image = -1, overlay = -1;
  QString caption;
  GetData(row, col, image, overlay, caption);
  const QBrush bg = painter.brush();
  painter.fillRect(rect, bg);
  if (caption == QLatin1String("!SEP!")) {
    const int mid = (rect.top() + rect.bottom()) / 2;
    const QPen old = painter.pen();
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(rect.left(), mid, rect.right(), mid);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(rect.left(), mid + 1, rect.right(), mid + 1);
    painter.setPen(old);
    return;
  }
  QRect inner = rect.adjusted(cellBorder_, cellBorder_, -cellBorder_, -cellBorder_);
  if (!images_.isNull() && (image > -1 || overlay >= 0)) {
    const int h = images_.height();
    const int y = inner.top() + (inner.height() - h) / 2;
    if (image > -1)
      painter.drawPixmap(inner.left(), y, images_, image * imageWidth_, 0, imageWidth_, h);
    if (overlay > -1)
      painter.drawPixmap(inner.left(), y, images_, overlay * imageWidth_, 0, imageWidth_, h);
    inner.setLeft(inner.left() + imageWidth_ + spacing_);
  }
  if (caption.isEmpty()) return;
  const bool bold = rowBold_;
  Q_UNUSED(state);
  const QFontMetrics metrics(painter.font());
  const QString text = FitCaption(metrics, inner.width() - (bold ? 1 : 0), caption);
  const int extent = metrics.horizontalAdvance(text);
  int x = inner.left();
  const TBLBColumn* column = columns_->GetItem(col);
  if (column && column->Alignment() == 1) x = inner.right() + 1 - extent;
  if (column && column->Alignment() == 2) x = inner.left() + (inner.width() - extent) / 2;
  const int y = inner.top() + (inner.height() - textHeight_) / 2 + metrics.ascent();
  painter.drawText(x, y, text);
  if (bold) painter.drawText(x + 1, y, text);
}

// Input

void TCustomBetterListBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateLayout();
}

void TCustomBetterListBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) ComputeItemHeight();
}

void TCustomBetterListBox::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  if (event->button() == Qt::LeftButton) {
    pressInHeader_ = InHeader(pos.y());
    if (pressInHeader_) {
      const int x = pos.x() + horzPos_;
      resizeColumn_ = nullptr;
      if (columnMove_) {
        int left = 0;
        const int n = columns_->GetCount();
        for (int i = 0; i < n; ++i) {
          const int border = left + columns_->GetItem(i)->Width();
          if (x > border - 8 && x < border + 8) {
            // Right of a border that collapsed columns share, the last of
            // them is taken, so that a column dragged to zero width can be
            // widened again; left of it, the column the press lies in.
            while (x >= border && i + 1 < n && columns_->GetItem(i + 1)->Width() == 0) ++i;
            resizeColumn_ = columns_->GetItem(i);
            resizeLeft_ = border - resizeColumn_->Width();
            resizeOffset_ = x - border;
            break;
          }
          left = border;
        }
      }
      if (!resizeColumn_ && columnClick_) {
        pressedColumn_ = ColumnAtPos(pos.x(), pos.y());
        if (pressedColumn_) pressedColumn_->SetPressed(true);
      }
    } else {
      const int row = ItemAtPos(pos.x(), pos.y());
      if (row >= 0) {
        mouseSelecting_ = true;
        model_.MouseDownRow(row, event->modifiers().testFlag(Qt::ShiftModifier),
                            event->modifiers().testFlag(Qt::ControlModifier));
      }
    }
  } else if (event->button() == Qt::RightButton) {
    resizeColumn_ = nullptr;
  }
  emit mouseDown(event->button(), event->modifiers(), pos);
}

void TCustomBetterListBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (pressedColumn_) {
    pressedColumn_->SetPressed(ColumnAtPos(pos.x(), pos.y()) == pressedColumn_);
    return;
  }
  if (resizeColumn_) {
    resizeColumn_->SetWidth(
        std::min(horzPos_ + pos.x() - resizeLeft_ - resizeOffset_, TBLBColumns::kMaxColumnWidth));
    return;
  }
  if (columnMove_ && InHeader(pos.y())) {
    const int x = pos.x() + horzPos_;
    bool zone = false;
    int left = 0;
    for (int i = 0; i < columns_->GetCount() && !zone; ++i) {
      left += columns_->GetItem(i)->Width();
      zone = x > left - 8 && x < left + 8;
    }
    viewport()->setCursor(zone ? Qt::SplitHCursor : Qt::ArrowCursor);
  } else {
    viewport()->unsetCursor();
  }
  if (!mouseSelecting_) return;
  const int row = ItemAtPos(pos.x(), pos.y());
  if (row >= 0) {
    autoScroll_.stop();
    autoScrollUp_ = autoScrollDown_ = false;
    model_.MouseDragRow(row);
  } else if (pos.y() < RowsTop()) {
    model_.MouseDragRow(model_.TopIndex());
    if (!autoScrollUp_) {
      autoScrollUp_ = true;
      autoScrollDown_ = false;
      autoScroll_.start();
    }
  } else if (pos.y() >= RowsTop()) {
    model_.MouseDragRow(std::min(model_.TopIndex() + model_.VisibleRows() - 1, GetCount() - 1));
    if (!autoScrollDown_) {
      autoScrollDown_ = true;
      autoScrollUp_ = false;
      autoScroll_.start();
    }
  }
}

void TCustomBetterListBox::AutoScrollTick() {
  if (autoScrollUp_) model_.SelectPrevious();
  if (autoScrollDown_) model_.SelectNext();
}

void TCustomBetterListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  autoScroll_.stop();
  autoScrollUp_ = autoScrollDown_ = false;
  const bool wasSelecting = mouseSelecting_;
  mouseSelecting_ = false;
  resizeColumn_ = nullptr;
  if (pressedColumn_) {
    TBLBColumn* column = pressedColumn_;
    pressedColumn_ = nullptr;
    const bool over = column->Pressed();
    column->SetPressed(false);
    if (over) ColumnClick(column);
  }
  if (wasSelecting && !pressInHeader_) {
    model_.MouseUp();
  } else {
    model_.CommitRange();
  }
}

void TCustomBetterListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (InHeader(event->position().toPoint().y())) return;
  emit doubleClicked();
}

void TCustomBetterListBox::keyPressEvent(QKeyEvent* event) {
  mouseSelecting_ = false;
  const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
  ListKey key = ListKey::Other;
  switch (event->key()) {
    case Qt::Key_PageUp: key = ListKey::PageUp; break;
    case Qt::Key_PageDown: key = ListKey::PageDown; break;
    case Qt::Key_End: key = ListKey::End; break;
    case Qt::Key_Home: key = ListKey::Home; break;
    case Qt::Key_Up: key = ListKey::Up; break;
    case Qt::Key_Down: key = ListKey::Down; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = ListKey::Return; break;
    case Qt::Key_Space: key = ListKey::Space; break;
    default: break;
  }
  bool handled = false;
  if (key != ListKey::Other) {
    handled = model_.KeyDown(key, shift);
  } else if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    const int code = event->key();
    if ((code >= Qt::Key_0 && code <= Qt::Key_9) || (code >= Qt::Key_A && code <= Qt::Key_Z))
      handled = model_.KeyDown(ListKey::Other, shift, static_cast<char16_t>(code));
  }
  if (handled) {
    event->accept();
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
  emit keyDown(event->key(), event->modifiers());
}

void TCustomBetterListBox::wheelEvent(QWheelEvent* event) {
  const int rows = wheel_.Add(event->angleDelta().y());
  if (rows != 0) model_.SetTopIndex(model_.TopIndex() + rows);
  event->accept();
}

void TCustomBetterListBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  if (hideSelection_) {
    RepaintAll();
  } else {
    RedrawItem(model_.FocusIndex());
  }
}

void TCustomBetterListBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  if (hideSelection_) {
    RepaintAll();
  } else {
    RedrawItem(model_.FocusIndex());
  }
}

}  // namespace velmaris

#include "widgets/SpeedBar.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScreen>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <limits>

#include "widgets/OnScreen.h"
#include "widgets/SpeedbarSetup.h"
#include "widgets/VxGraphics.h"
#include "widgets/VxSplitter.h"

namespace velmaris {

namespace {

bool SideAlign(TAlign a) {
  return a == TAlign::alTop || a == TAlign::alBottom || a == TAlign::alLeft || a == TAlign::alRight;
}

// The most layout lines a stored layout may name; a damaged count cannot
// make the reader loop for long.
constexpr int kMaxLayoutButtons = 4096;
// A damaged thickness cannot make the bar larger than any screen.
constexpr int kMaxThickness = 4096;

}  // namespace

// ---------------------------------------------------------------- notification

TSpeedbarNotifyEvent::TSpeedbarNotifyEvent(TSpeedbarNotify code, TSpeedBar* bar)
    : QEvent(EventType()), Code(code), Bar(bar) {}

QEvent::Type TSpeedbarNotifyEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

// ---------------------------------------------------------------- section

TSpeedbarSection::TSpeedbarSection(TSpeedBar* bar, const QString& caption)
    : QObject(bar), bar_(bar), caption_(caption) {}

TSpeedbarSection::~TSpeedbarSection() {
  const std::vector<TSpeedItem*> items = std::move(items_);
  items_.clear();
  for (TSpeedItem* item : items) {
    item->section_ = nullptr;
    item->LeaveBar();
    delete item;
  }
}

void TSpeedbarSection::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  if (bar_) {
    for (const TSpeedbarSection* s : bar_->sections_)
      if (s != this && s->caption_ == caption)
        throw ESpeedbarError("String list does not allow duplicates");
  }
  caption_ = caption;
  if (bar_) bar_->Notify(TSpeedbarNotify::ListsChanged);
}

int TSpeedbarSection::Index() const {
  if (!bar_) return -1;
  const auto it = std::find(bar_->sections_.begin(), bar_->sections_.end(), this);
  return it == bar_->sections_.end() ? -1 : static_cast<int>(it - bar_->sections_.begin());
}

void TSpeedbarSection::SetIndex(int index) {
  const int old = Index();
  if (old < 0) return;
  auto& list = bar_->sections_;
  index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
  list.erase(list.begin() + old);
  list.insert(list.begin() + index, this);
  bar_->Notify(TSpeedbarNotify::ListsChanged);
}

TSpeedItem* TSpeedbarSection::Item(int index) const {
  return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)] : nullptr;
}

// ---------------------------------------------------------------- button

TSpeedbarButton::TSpeedbarButton(TSpeedItem* item) : item_(item) {
  setVisible(false);
  SetStyle(TButtonStyle::bsNew);
  setAttribute(Qt::WA_SetFont, false);
}

TSpeedbarButton::~TSpeedbarButton() { delete copy_; }

bool TSpeedbarButton::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      if (!tipShown_ && !toolTip().isEmpty()) {
        tipShown_ = true;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTip(), this, rect(),
                           kTipTime);
      }
      return true;
    case QEvent::Leave: tipShown_ = false; break;
    case QEvent::Hide:
      if (tipShown_ && QToolTip::isVisible() && QToolTip::text() == toolTip()) QToolTip::hideText();
      tipShown_ = false;
      break;
    default: break;
  }
  return TVxSpeedButton::event(event);
}

void TSpeedbarButton::PaintGlyph(QPainter& painter, const QRect& rect, TVxButtonState state,
                                 bool drawMark) {
  TSpeedBar* bar = item_->SpeedBar();
  if (bar && bar->Images() && item_->ImageIndex() >= 0) {
    ButtonGlyph().Draw(painter, rect, text(), Layout(), Margin(), Spacing(), state, drawMark,
                       bar->Images()->Image(item_->ImageIndex()));
    return;
  }
  TVxSpeedButton::PaintGlyph(painter, rect, state, drawMark);
}

void TSpeedbarButton::paintEvent(QPaintEvent* event) {
  if (item_->SpeedBar() && item_->SpeedBar()->Locked()) return;
  if (copy_ && moved_) return;  // dragged away: only its copy shows
  TVxSpeedButton::paintEvent(event);
}

// A dragged button keeps the mouse until the release: while it looks gone
// from the bar it stays visible to Qt, because hiding the widget that holds
// the mouse would send the moves and the release nowhere.
void TSpeedbarButton::mousePressEvent(QMouseEvent* event) {
  TSpeedBar* bar = item_->SpeedBar();
  if (!item_->Editing() || !bar) return TVxSpeedButton::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !isVisible()) return;
  EndDrag();
  auto* copy = new TBtnControl(item_, bar->BtnSize());
  copy->setProperty("grab", event->position().toPoint() - QPoint(width(), height()));
  copy->FollowCursor(event->globalPosition().toPoint() - event->position().toPoint() +
                     QPoint(width(), height()));
  copy->show();
  copy_ = copy;
  raise();
  grabMouse();
}

void TSpeedbarButton::mouseMoveEvent(QMouseEvent* event) {
  if (!copy_) return TVxSpeedButton::mouseMoveEvent(event);
  if (!moved_) {
    moved_ = true;
    update();
  }
  static_cast<TBtnControl*>(copy_)->FollowCursor(event->globalPosition().toPoint() -
                                                 copy_->property("grab").toPoint());
}

void TSpeedbarButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!copy_) return TVxSpeedButton::mouseReleaseEvent(event);
  TSpeedBar* bar = item_->SpeedBar();
  const QPoint pointer = event->globalPosition().toPoint();
  const QPoint bottomRight = pointer - copy_->property("grab").toPoint();
  EndDrag();
  if (!bar) return;
  // The pointer says where the button went: onto its bar (as the window
  // system sees it there), or off it.
  const QPoint drop = bar->mapFromGlobal(bottomRight) - QPoint(bar->BtnWidth(), bar->BtnHeight());
  // Moved onto another button, it goes in beside it (the others making room).
  if (FindSpeedBar(pointer) == bar &&
      bar->PlaceItem(item_, drop, bar->mapFromGlobal(pointer), true)) {
    bar->Notify(TSpeedbarNotify::ItemPlaced);
    update();
  } else {
    lower();
    item_->SetVisible(false);
  }
  bar->Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedbarButton::EndDrag() {
  if (QWidget::mouseGrabber() == this) releaseMouse();
  delete copy_;
  copy_ = nullptr;
  moved_ = false;
  update();
}

// The copy bypasses the window manager: a frame of the manager's around it
// would be one more window under the pointer, and could outlive the copy at
// the moment of the drop.
TBtnControl::TBtnControl(TSpeedItem* item, QSize buttonSize)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::BypassWindowManagerHint),
      item_(item) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setEnabled(false);
  setCursor(VxCursor(crVxDrag));
  resize(buttonSize);
}

void TBtnControl::FollowCursor(const QPoint& globalPos) {
  move(globalPos - QPoint(width(), height()));
  raise();
}

void TBtnControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  TButtonImage image;
  image.ButtonSize = size();
  image.Glyph().SetGlyph(item_->Glyph());
  image.Glyph().SetNumGlyphs(item_->NumGlyphs());
  QPixmap fromList;
  if (TSpeedBar* bar = item_->SpeedBar(); bar && bar->Images())
    fromList = bar->Images()->Image(item_->ImageIndex());
  image.Draw(p, 0, 0, item_->BtnCaption(), font(), item_->Layout(), -1, 1, fromList);
}

// ---------------------------------------------------------------- item

TSpeedItem::TSpeedItem(QObject* owner) : QObject(owner), button_(new TSpeedbarButton(this)) {
  connect(button_, &QAbstractButton::clicked, this, &TSpeedItem::clicked);
  connect(button_, &TVxSpeedButton::dblClick, this, &TSpeedItem::dblClick);
  connect(button_, &TVxSpeedButton::mouseEnter, this, &TSpeedItem::mouseEnter);
  connect(button_, &TVxSpeedButton::mouseLeave, this, &TSpeedItem::mouseLeave);
}

TSpeedItem::~TSpeedItem() {
  if (section_) std::erase(section_->items_, this);
  if (bar_) bar_->Notify(TSpeedbarNotify::ListsChanged);
  delete button_;
}

void TSpeedItem::SetCaption(const QString& caption) {
  const QObject* owner = parent();
  const bool follows = !owner || !owner->isWidgetType() ||
                       QString::fromStdString(ShortHint(hint_.toStdString())) == caption_;
  const QString old = caption_;
  caption_ = caption;
  if (follows)
    SetHint(QString::fromStdString(HintForCaption(caption.toStdString(), hint_.toStdString())));
  if (bar_ && old != caption) bar_->Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedItem::SetName(const QString& name) {
  if (caption_ == objectName()) SetCaption(name);
  setObjectName(name);
}

void TSpeedItem::SetHint(const QString& hint) {
  hint_ = hint;
  button_->setToolTip(QString::fromStdString(ShortHint(hint.toStdString())));
}

void TSpeedItem::SetEnabled(bool value) {
  enabled_ = value;
  UpdateButtonState();
}

void TSpeedItem::SetVisible(bool value) {
  visible_ = value;
  UpdateVisibility();
  if (bar_) bar_->AskForRoom();
}

void TSpeedItem::SetBounds(int left, int top) {
  if (bar_) {
    if (bar_->Orientation() == TBarOrientation::boHorizontal) {
      top = std::max(top, bar_->BtnOffsetVert());
    } else {
      left = std::max(left, bar_->BtnOffsetHorz());
    }
  }
  left_ = left;
  top_ = top;
  if (!bar_) return;
  button_->setGeometry(left_, top_, bar_->BtnWidth(), bar_->BtnHeight());
  if (visible_) bar_->AskForRoom();
}

void TSpeedItem::SetImageIndex(int value) {
  imageIndex_ = value;
  button_->update();
}

int TSpeedItem::Section() const { return section_ ? section_->Index() : -1; }

QString TSpeedItem::SectionName() const { return section_ ? section_->Caption() : sectionName_; }

void TSpeedItem::ButtonClick() { button_->click(); }

void TSpeedItem::JoinBar(TSpeedBar* bar, TSpeedbarSection* section) {
  bar_ = bar;
  section_ = section;
  section->items_.push_back(this);
  visible_ = false;
  button_->hide();
  button_->setParent(bar);
  SetBounds(0, 0);
  editing_ = bar->EditingWindow() != nullptr;
  UpdateButtonState();
}

void TSpeedItem::LeaveBar() {
  if (section_) std::erase(section_->items_, this);
  section_ = nullptr;
  bar_ = nullptr;
  editing_ = false;
  button_->hide();
  button_->setParent(nullptr);
}

void TSpeedItem::SetEditing(bool on) {
  editing_ = on;
  if (!on) button_->EndDrag();  // customising ended in the middle of a drag
  UpdateButtonState();
  // A flat button is raised only while the pointer is on it, whatever it
  // crossed while a drag held the mouse.
  button_->FollowPointer();
}

void TSpeedItem::UpdateButtonState() {
  if (!bar_) {
    button_->setEnabled(enabled_);
    return;
  }
  const TSpeedbarOptions o = bar_->Options();
  button_->SetTransparent(o & sbTransparentBtns);
  button_->SetGrayedInactive(o & sbGrayedBtns);
  if (editing_) {
    button_->setEnabled(true);
    button_->SetFlat(false);
  } else {
    button_->setEnabled(enabled_ && bar_->isEnabled());
    button_->SetFlat(o & sbFlatBtns);
  }
}

void TSpeedItem::UpdateVisibility() {
  const bool show = visible_ && bar_ && !bar_->isHidden();
  if (show) {
    if (button_->parentWidget() != bar_) button_->setParent(bar_);
    button_->setGeometry(left_, top_, bar_->BtnWidth(), bar_->BtnHeight());
    button_->show();
  } else {
    button_->hide();
  }
}

// ---------------------------------------------------------------- bar

TSpeedBar::TSpeedBar(QWidget* parent) : QFrame(parent) {
  setMouseTracking(true);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  setAttribute(Qt::WA_AlwaysShowToolTips);
  offsetHorz_ = offsetVert_ = DefaultOffset();
  UpdateGrid();
  if (parent) parent->installEventFilter(this);
  SetFontDefault();
  SetAlign(TAlign::alTop);
  SetThickness(2 * offsetVert_ + btnHeight_);
  iniLink_.OnSave = [this] {
    if (TIniStorage* s = iniLink_.IniObject())
      WriteLayout(s, iniLink_.RootSection() + GetDefaultSection(this));
  };
  iniLink_.OnLoad = [this] {
    if (TIniStorage* s = iniLink_.IniObject())
      ReadLayout(s, iniLink_.RootSection() + GetDefaultSection(this));
  };
}

TSpeedBar::~TSpeedBar() {
  Notify(TSpeedbarNotify::BarDestroyed);
  const std::vector<TSpeedbarSection*> sections = std::move(sections_);
  sections_.clear();
  for (TSpeedbarSection* s : sections) {
    s->bar_ = nullptr;
    delete s;
  }
}

TSpeedbarSection* TSpeedBar::Sections(int index) const {
  return index >= 0 && index < SectionCount() ? sections_[static_cast<size_t>(index)] : nullptr;
}

std::vector<std::string> TSpeedBar::SectionCaptions() const {
  std::vector<std::string> out;
  for (const TSpeedbarSection* s : sections_) out.push_back(s->Caption().toStdString());
  return out;
}

int TSpeedBar::AddSection(const QString& caption) {
  const QString unique =
      QString::fromStdString(UniqueSectionCaption(caption.toStdString(), SectionCaptions()));
  sections_.push_back(new TSpeedbarSection(this, unique));
  Notify(TSpeedbarNotify::ListsChanged);
  return SectionCount() - 1;
}

int TSpeedBar::FindSection(const QString& caption) const {
  int found = -1;
  for (int i = 0; i < SectionCount(); ++i)
    if (sections_[static_cast<size_t>(i)]->Caption() == caption) found = i;
  return found;
}

void TSpeedBar::RemoveSection(int index) {
  TSpeedbarSection* s = Sections(index);
  if (!s) return;
  for (TSpeedItem* item : std::vector<TSpeedItem*>(s->items_)) item->LeaveBar();
  sections_.erase(sections_.begin() + index);
  s->bar_ = nullptr;
  delete s;
  Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedBar::DeleteSection(int index) {
  TSpeedbarSection* s = Sections(index);
  if (!s) return;
  sections_.erase(sections_.begin() + index);
  delete s;
  Notify(TSpeedbarNotify::ListsChanged);
}

TSpeedItem* TSpeedBar::Items(int section, int index) const {
  const TSpeedbarSection* s = Sections(section);
  return s ? s->Item(index) : nullptr;
}

int TSpeedBar::ItemsCount(int section) const {
  const TSpeedbarSection* s = Sections(section);
  return s ? s->Count() : 0;
}

bool TSpeedBar::FindItem(const TSpeedItem* item, int& section, int& index) const {
  for (int s = 0; s < SectionCount(); ++s) {
    for (int i = 0; i < ItemsCount(s); ++i) {
      if (Items(s, i) == item) {
        section = s;
        index = i;
        return true;
      }
    }
  }
  section = index = -1;
  return false;
}

TSpeedItem* TSpeedBar::SearchItem(const QString& name) const {
  TSpeedItem* found = nullptr;
  ForEachItem([&](TSpeedItem* item) {
    if (!found && item->objectName().compare(name, Qt::CaseInsensitive) == 0) found = item;
  });
  return found;
}

void TSpeedBar::AddItem(int section, TSpeedItem* item) {
  if (!item) return;
  if (item->bar_) item->LeaveBar();
  if (sections_.empty()) AddSection(QString());
  if (!item->sectionName_.isEmpty() && FindSection(item->sectionName_) >= 0)
    section = FindSection(item->sectionName_);
  section = std::clamp(section, 0, SectionCount() - 1);
  item->JoinBar(this, sections_[static_cast<size_t>(section)]);
  Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedBar::RemoveItem(TSpeedItem* item) {
  if (!item || item->bar_ != this) return;
  item->LeaveBar();
  Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedBar::ForEachItem(const std::function<void(TSpeedItem*)>& proc) const {
  for (const TSpeedbarSection* s : sections_)
    for (TSpeedItem* item : std::vector<TSpeedItem*>(s->items_)) proc(item);
}

// ---------------------------------------------------------------- geometry

int TSpeedBar::DefaultOffset() const {
  int off = (options_ & sbFlatBtns ? 0 : 2) + borderWidth_;
  if (bevelOuter_ != TBevelCut::bvNone) off += bevelWidth_;
  if (bevelInner_ != TBevelCut::bvNone) off += bevelWidth_;
  return off;
}

void TSpeedBar::UpdateGrid() {
  if (orientation_ == TBarOrientation::boHorizontal) {
    gridX_ = SpeedBarGridStep(btnWidth_);
    gridY_ = btnHeight_;
  } else {
    gridX_ = btnWidth_;
    gridY_ = SpeedBarGridStep(btnHeight_);
  }
}

void TSpeedBar::UpdateOffsets() {
  const int def = DefaultOffset();
  if (offsetHorz_ < def) SetBtnOffsetHorz(def);
  if (offsetVert_ < def) SetBtnOffsetVert(def);
}

void TSpeedBar::SetBtnOffsetHorz(int value) {
  value = std::max(value, DefaultOffset());
  const int d = value - offsetHorz_;
  offsetHorz_ = value;
  if (d != 0)
    ForEachItem([&](TSpeedItem* item) { item->SetBounds(item->Left() + d, item->Top()); });
}

void TSpeedBar::SetBtnOffsetVert(int value) {
  value = std::max(value, DefaultOffset());
  const int d = value - offsetVert_;
  offsetVert_ = value;
  if (d != 0)
    ForEachItem([&](TSpeedItem* item) { item->SetBounds(item->Left(), item->Top() + d); });
}

int TSpeedBar::Thickness() const {
  return orientation_ == TBarOrientation::boHorizontal ? height() : width();
}

void TSpeedBar::SetThickness(int value) {
  if (orientation_ == TBarOrientation::boHorizontal) {
    if (SideAlign(align_))
      setFixedHeight(value);
    else
      resize(width(), value);
  } else {
    if (SideAlign(align_))
      setFixedWidth(value);
    else
      resize(value, height());
  }
  Dock();
}

void TSpeedBar::SetBtnWidth(int value) {
  if (value == btnWidth_ || value < 1) return;
  btnWidth_ = value;
  UpdateGrid();
  if (orientation_ == TBarOrientation::boVertical && width() < 2 * offsetHorz_ + btnWidth_)
    SetThickness(2 * offsetHorz_ + btnWidth_);
  ForEachItem([](TSpeedItem* item) { item->SetBounds(item->Left(), item->Top()); });
  Notify(TSpeedbarNotify::SizesChanged);
}

void TSpeedBar::SetBtnHeight(int value) {
  if (value == btnHeight_ || value < 1) return;
  btnHeight_ = value;
  UpdateGrid();
  if (orientation_ == TBarOrientation::boHorizontal && height() < 2 * offsetVert_ + btnHeight_)
    SetThickness(2 * offsetVert_ + btnHeight_);
  ForEachItem([](TSpeedItem* item) { item->SetBounds(item->Left(), item->Top()); });
  Notify(TSpeedbarNotify::SizesChanged);
}

void TSpeedBar::SetAlign(TAlign align) {
  if (position_ == TBarPosition::bpAuto && (align == TAlign::alNone || align == TAlign::alClient))
    throw ESpeedbarError("Cannot set this property value while Position is bpAuto");
  const int thickness = Thickness();
  align_ = align;
  SetControlAlign(this, align);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  if (position_ == TBarPosition::bpAuto) {
    ApplyOrientation(align == TAlign::alLeft || align == TAlign::alRight
                         ? TBarOrientation::boVertical
                         : TBarOrientation::boHorizontal);
  }
  UpdateOffsets();
  if (SideAlign(align)) SetThickness(thickness > 0 ? thickness : 2 * offsetVert_ + btnHeight_);
  Dock();
}

void TSpeedBar::SetPosition(TBarPosition value) { position_ = value; }

void TSpeedBar::SetOrientation(TBarOrientation value) {
  if (position_ == TBarPosition::bpCustom) ApplyOrientation(value);
}

void TSpeedBar::ApplyOrientation(TBarOrientation value) {
  if (value == orientation_) return;
  locked_ = true;
  orientation_ = value;
  std::swap(btnWidth_, btnHeight_);
  std::swap(gridX_, gridY_);
  std::swap(offsetHorz_, offsetVert_);
  ForEachItem([](TSpeedItem* item) { item->SetBounds(item->Left(), item->Top()); });
  locked_ = false;
  update();
  Notify(TSpeedbarNotify::SizesChanged);
}

void TSpeedBar::SetOptions(TSpeedbarOptions value) {
  options_ = value;
  UpdateOffsets();
  ForEachItem([](TSpeedItem* item) { item->UpdateButtonState(); });
  update();
}

void TSpeedBar::SetBoundLines(TBoundLines value) {
  boundLines_ = value;
  update();
}
void TSpeedBar::SetBevelOuter(TBevelCut value) {
  bevelOuter_ = value;
  UpdateOffsets();
  update();
}
void TSpeedBar::SetBevelInner(TBevelCut value) {
  bevelInner_ = value;
  UpdateOffsets();
  update();
}
void TSpeedBar::SetBevelWidth(int value) {
  bevelWidth_ = std::max(1, value);
  UpdateOffsets();
  update();
}
void TSpeedBar::SetBorderWidth(int value) {
  borderWidth_ = std::max(0, value);
  UpdateOffsets();
  update();
}
void TSpeedBar::SetWallpaper(const QPixmap& picture) {
  wallpaper_ = picture;
  update();
}

void TSpeedBar::SetImages(TImageList* images) {
  if (images_) disconnect(images_, nullptr, this, nullptr);
  images_ = images;
  if (images_)
    connect(images_, &TImageList::changed, this,
            [this] { ForEachItem([](TSpeedItem* i) { i->Button()->update(); }); });
  ForEachItem([](TSpeedItem* i) { i->Button()->update(); });
}

void TSpeedBar::SetFontDefault() { setFont(QApplication::font("QMenu")); }

void TSpeedBar::Dock() {
  QWidget* p = parentWidget();
  if (!p || p->layout() || !SideAlign(align_)) return;
  const int t = Thickness();
  // Along the edge, as long as its buttons need at the least.
  const QSize least = minimumSizeHint();
  const int w = std::max(p->width(), least.width()), h = std::max(p->height(), least.height());
  switch (align_) {
    case TAlign::alTop: setGeometry(0, 0, w, t); break;
    case TAlign::alBottom: setGeometry(0, p->height() - t, w, t); break;
    case TAlign::alLeft: setGeometry(0, 0, t, h); break;
    case TAlign::alRight: setGeometry(p->width() - t, 0, t, h); break;
    default: break;
  }
}

TBarMeasures TSpeedBar::Measures() const {
  return {width(),     height(),   offsetHorz_,
          offsetVert_, gridX_,     gridY_,
          btnWidth_,   btnHeight_, orientation_ == TBarOrientation::boHorizontal};
}

std::vector<TBarPoint> TSpeedBar::PlacesTaken(const TSpeedItem* except) const {
  std::vector<TBarPoint> taken;
  for (const TSpeedItem* other : ItemsShown(except)) taken.push_back({other->Left(), other->Top()});
  return taken;
}

TBarMeasures TSpeedBar::LayoutMeasures() const {
  TBarMeasures m = Measures();
  const QSize least =
      minimumSize()
          .expandedTo(minimumSizeHint())
          .expandedTo(QSize(2 * offsetHorz_ + btnWidth_, 2 * offsetVert_ + btnHeight_));
  m.width = std::max(m.width, least.width());
  m.height = std::max(m.height, least.height());
  return m;
}

int TSpeedBar::LengthNeeded() const { return BarLengthNeeded(Measures(), PlacesTaken(nullptr)); }

std::vector<TSpeedItem*> TSpeedBar::ItemsShown(const TSpeedItem* except) const {
  std::vector<TSpeedItem*> shown;
  ForEachItem([&](TSpeedItem* other) {
    if (other != except && other->Visible()) shown.push_back(other);
  });
  return shown;
}

// Every button shows whole and takes its clicks: one dropped where another
// lies goes to the nearest free place, and on a full bar the others make
// room (flat buttons are not opaque, and one over another would hide that
// one's command).
bool TSpeedBar::PlaceItem(TSpeedItem* item, QPoint pos, std::optional<QPoint> pointer,
                          bool reorder) {
  if (!item || item->SpeedBar() != this) return false;
  const QPoint at = pointer.value_or(pos);
  const std::vector<TSpeedItem*> others = ItemsShown(item);
  const std::optional<TDropOutcome> drop =
      DropMakingRoom(Measures(), {pos.x(), pos.y()}, {at.x(), at.y()}, PlacesTaken(item), reorder);
  if (!drop) {
    item->SetVisible(false);
    return false;
  }
  for (size_t i = 0; i < others.size(); ++i)
    if (others[i]->Left() != drop->others[i].x || others[i]->Top() != drop->others[i].y)
      others[i]->SetBounds(drop->others[i].x, drop->others[i].y);
  item->SetBounds(drop->place.x, drop->place.y);
  item->SetVisible(true);
  return true;
}

// A full bar grows to show every button whole, and gets shorter again once
// buttons are dragged off it: its layout (a splitter, a row) reads the
// length it needs from minimumSizeHint; a bar docked without one is sized
// by Dock.
void TSpeedBar::AskForRoom() {
  updateGeometry();
  Dock();
}

QSize TSpeedBar::minimumSizeHint() const {
  QSize least = QFrame::minimumSizeHint();
  if (orientation_ == TBarOrientation::boHorizontal)
    least.setWidth(std::max(least.width(), LengthNeeded()));
  else
    least.setHeight(std::max(least.height(), LengthNeeded()));
  return least;
}

int TSpeedBar::RoomOnScreen(int length) const {
  QWidget* form = window();
  const QScreen* where = form->screen();
  if (form == this || !where) return std::numeric_limits<int>::max();
  const QRect area = where->availableGeometry();
  const QMargins frame = ExpectedFrame(form);
  const int spare = orientation_ == TBarOrientation::boHorizontal
                        ? area.width() - frame.left() - frame.right() - form->width()
                        : area.height() - frame.top() - frame.bottom() - form->height();
  return length + std::max(0, spare);
}

// ---------------------------------------------------------------- layout

void TSpeedBar::WriteLayout(TIniStorage* storage, const std::string& section) {
  TSpeedBarLayout layout;
  layout.position = static_cast<int>(align_);
  if (SideAlign(align_)) layout.width = Thickness();
  layout.version = Version;
  layout.pixelsPerInch = CurrentScreenInfo().pixelsPerInch;
  layout.btnWidth = btnWidth_;
  layout.btnHeight = btnHeight_;
  ForEachItem([&](TSpeedItem* item) {
    if (item->Visible() && item->Stored)
      layout.buttons.push_back({item->objectName().toStdString(), item->Left(), item->Top()});
  });
  WriteSpeedBarLayout(storage, section, layout);
}

void TSpeedBar::ReadLayout(TIniStorage* storage, const std::string& section) {
  const TAlign oldAlign = align_;
  if (IniReadInteger(storage, section, "Version", Version) < Version) return;
  if (options_ & sbAllowDrag) {
    const int pos = IniReadInteger(storage, section, "Position", static_cast<int>(align_));
    try {
      if (pos < 0 || pos > 5) throw ESpeedbarError("bad position");
      SetAlign(static_cast<TAlign>(pos));
    } catch (const ESpeedbarError&) {
      SetAlign(TAlign::alTop);
    }
  }
  const int screenPpi = CurrentScreenInfo().pixelsPerInch;
  const int formPpi = window() != this ? screenPpi : 0;
  if (IniReadInteger(storage, section, "PixelsPerInch", formPpi) == screenPpi) {
    if ((options_ & sbAllowResize) && SideAlign(align_))
      SetThickness(
          std::clamp(IniReadInteger(storage, section, "Width", Thickness()), 1, kMaxThickness));
    if (align_ != oldAlign) emit posChanged();
    const int count = std::min(IniReadInteger(storage, section, "Count", 0), kMaxLayoutButtons);
    if (count > 0) {
      ForEachItem([](TSpeedItem* item) { item->SetVisible(false); });
      // Read against the length the bar has, as a drop onto it is placed:
      // its window gives it the length it will have before it is shown. One
      // nobody has sized yet may get as long as its window.
      TBarMeasures bar = LayoutMeasures();
      int& length = bar.horizontal ? bar.width : bar.height;
      if (!isVisible() && !testAttribute(Qt::WA_Resized) && window() != this)
        length = std::max(length, bar.horizontal ? window()->width() : window()->height());
      // The bar grows for a button that reaches past its end no further than
      // its window can widen on the screen (a layout stored on a wider
      // screen, or in a wider window); beyond that the button comes onto the
      // bar as one stored wholly off it does.
      const int room = RoomOnScreen(length);
      const int button = bar.horizontal ? btnWidth_ : btnHeight_;
      const int offset = bar.horizontal ? offsetHorz_ : offsetVert_;
      for (int i = 1; i <= count; ++i) {
        const std::string value = IniReadString(storage, section, "Button" + std::to_string(i), "");
        std::string name;
        std::optional<int> left, top;
        if (!ParseLayoutButton(value, name, left, top)) continue;
        TSpeedItem* item = SearchItem(QString::fromStdString(name));
        if (!item) continue;
        const QPoint stored(std::max(left.value_or(item->Left()), offsetHorz_),
                            std::max(top.value_or(item->Top()), offsetVert_));
        // A layout stored with one button over another (as earlier versions
        // allowed) still loads: the later one moves to the nearest free place.
        const std::vector<TBarPoint> taken = PlacesTaken(item);
        const bool covers = std::any_of(taken.begin(), taken.end(), [&](const TBarPoint& o) {
          return std::abs(o.x - stored.x()) < btnWidth_ && std::abs(o.y - stored.y()) < btnHeight_;
        });
        const QPoint within(std::clamp(stored.x(), 0, std::max(0, bar.width - 1)),
                            std::clamp(stored.y(), 0, std::max(0, bar.height - 1)));
        // One stored wholly off the bar (a wider screen or an older layout
        // left it there) would never show: it comes onto the bar.
        TBarPoint from{stored.x(), stored.y()};
        int& along = bar.horizontal ? from.x : from.y;
        if (along + button + offset > room) along = std::max(along, length);
        std::optional<TBarPoint> place = PlaceOnTheBar(bar, from, taken);
        if (!place && covers)
          place = DropPlace(bar, {stored.x(), stored.y()}, {within.x(), within.y()}, taken, true);
        const TBarPoint to = place.value_or(TBarPoint{stored.x(), stored.y()});
        item->SetBounds(to.x, to.y);
        item->SetVisible(true);
      }
      // A button moved aside past the end of a full bar shows whole, as
      // after a drop.
      AskForRoom();
    }
    update();
  } else if (align_ != oldAlign) {
    emit posChanged();
  }
  Notify(TSpeedbarNotify::ListsChanged);
}

void TSpeedBar::SaveLayout(TIniStorage* storage) { WriteLayout(storage, GetDefaultSection(this)); }
void TSpeedBar::RestoreLayout(TIniStorage* storage) {
  ReadLayout(storage, GetDefaultSection(this));
}

// ---------------------------------------------------------------- editing

void TSpeedBar::SetEditing(QWidget* window) {
  editing_ = window;
  ForEachItem([&](TSpeedItem* item) { item->SetEditing(window != nullptr); });
  if (!window) emit customize();
}

void TSpeedBar::Notify(TSpeedbarNotify code) {
  if (!editing_) return;
  TSpeedbarNotifyEvent event(code, this);
  QCoreApplication::sendEvent(editing_, &event);
}

// ---------------------------------------------------------------- painting and mouse

QRect TSpeedBar::InnerRect() const {
  int inset = borderWidth_;
  if (bevelOuter_ != TBevelCut::bvNone) inset += bevelWidth_;
  if (bevelInner_ != TBevelCut::bvNone) inset += bevelWidth_;
  return rect().adjusted(inset, inset, -inset, -inset);
}

void TSpeedBar::paintEvent(QPaintEvent*) {
  if (locked_) return;
  QPainter p(this);
  const QPalette pal = palette();
  const QColor light = pal.color(QPalette::Light), dark = pal.color(QPalette::Dark);
  auto bevel = [&](QRect r, TBevelCut cut) {
    if (cut == TBevelCut::bvNone) return r;
    const QColor tl = cut == TBevelCut::bvRaised ? light : dark,
                 br = cut == TBevelCut::bvRaised ? dark : light;
    for (int i = 0; i < bevelWidth_; ++i) {
      p.setPen(tl);
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(br);
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
      r.adjust(1, 1, -1, -1);
    }
    return r;
  };
  QRect r = bevel(rect(), bevelOuter_);
  r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
  r = bevel(r, bevelInner_);
  const QRect inner = InnerRect();
  if (!wallpaper_.isNull() && wallpaper_.width() > 0 && wallpaper_.height() > 0) {
    p.save();
    p.setClipRect(inner);
    if (options_ & sbStretchBitmap) {
      p.drawPixmap(inner, wallpaper_);
    } else {
      for (int col = 0; col <= inner.width() / wallpaper_.width(); ++col)
        for (int row = 0; row <= inner.height() / wallpaper_.height(); ++row)
          p.drawPixmap(inner.x() + col * wallpaper_.width(), inner.y() + row * wallpaper_.height(),
                       wallpaper_);
    }
    p.restore();
  }
  const int w = width(), h = height();
  if (boundLines_ & blTop) {
    p.setPen(dark);
    p.drawLine(0, 0, w, 0);
    p.setPen(light);
    p.drawLine(0, 1, w, 1);
  }
  if (boundLines_ & blLeft) {
    p.setPen(dark);
    p.drawLine(0, 0, 0, h);
    p.setPen(light);
    p.drawLine(1, 0, 1, h);
  }
  if (boundLines_ & blBottom) {
    p.setPen(dark);
    p.drawLine(0, h - 2, w, h - 2);
    p.setPen(light);
    p.drawLine(0, h - 1, w, h - 1);
  }
  if (boundLines_ & blRight) {
    p.setPen(dark);
    p.drawLine(w - 2, 0, w - 2, h);
    p.setPen(light);
    p.drawLine(w - 1, 0, w - 1, h);
  }
}

bool TSpeedBar::NearResizeEdge(QPoint p) const {
  switch (align_) {
    case TAlign::alTop:
      return p.x() >= 1 && p.x() <= width() && p.y() > height() - 4 && p.y() <= height() + 4;
    case TAlign::alBottom: return p.x() >= 1 && p.x() <= width() && p.y() >= -3 && p.y() <= 4;
    case TAlign::alLeft:
      return p.y() >= 1 && p.y() <= height() && p.x() > width() - 4 && p.x() <= width() + 4;
    case TAlign::alRight: return p.y() >= 1 && p.y() <= height() && p.x() >= -3 && p.x() <= 4;
    default: return false;
  }
}

void TSpeedBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || editing_) return QFrame::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  if ((options_ & sbAllowResize) && NearResizeEdge(pos)) {
    resizing_ = true;
  } else if ((options_ & sbAllowDrag) && SideAlign(align_)) {
    pressed_ = true;
    downPos_ = pos;
  }
}

void TSpeedBar::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  QWidget* parent = parentWidget();
  if (resizing_ && parent) {
    const QPoint pp = mapToParent(pos);
    if (!parent->rect().contains(pp)) return;
    int distance = 0;
    switch (align_) {
      case TAlign::alTop: distance = pp.y() - y(); break;
      case TAlign::alBottom: distance = y() + height() - pp.y(); break;
      case TAlign::alLeft: distance = pp.x() - x(); break;
      case TAlign::alRight: distance = x() + width() - pp.x(); break;
      default: return;
    }
    const bool horizontal = orientation_ == TBarOrientation::boHorizontal;
    SetThickness(ResizedThickness(distance, horizontal ? offsetVert_ : offsetHorz_,
                                  horizontal ? btnHeight_ : btnWidth_,
                                  horizontal ? parent->height() : parent->width()));
    return;
  }
  if (pressed_ && !dragging_ && parent) {
    const QPoint d = pos - downPos_;
    if (std::abs(d.x()) >= 5 || std::abs(d.y()) >= 5) {
      dragging_ = true;
      prevAlign_ = dragAlign_ = align_;
      dragFrame_ = new QRubberBand(QRubberBand::Rectangle, parent);
      dragFrame_->setGeometry(geometry());
      dragFrame_->show();
      setCursor(VxCursor(crVxDrag));
    }
  }
  if (dragging_ && parent) {
    const QPoint pp = mapToParent(pos);
    const TAlign edge = DockEdgeAt(pp.x(), pp.y(), parent->width(), parent->height());
    bool apply = true;
    if (OnApplyAlign) OnApplyAlign(this, edge, apply);
    const int t = Thickness();
    QRect frame = geometry();
    dragAlign_ = apply ? edge : prevAlign_;
    if (apply) {
      const QRect pr = parent->rect();
      switch (edge) {
        case TAlign::alTop: frame = QRect(0, 0, pr.width(), t); break;
        case TAlign::alBottom: frame = QRect(0, pr.height() - t, pr.width(), t); break;
        case TAlign::alLeft: frame = QRect(0, 0, t, pr.height()); break;
        default: frame = QRect(pr.width() - t, 0, t, pr.height()); break;
      }
    }
    dragFrame_->setGeometry(frame);
    return;
  }
  if (!pressed_ && (options_ & sbAllowResize) && !editing_ && NearResizeEdge(pos)) {
    setCursor(orientation_ == TBarOrientation::boHorizontal ? Qt::SizeVerCursor
                                                            : Qt::SizeHorCursor);
  } else if (!pressed_) {
    unsetCursor();
  }
}

void TSpeedBar::mouseReleaseEvent(QMouseEvent* event) {
  resizing_ = false;
  pressed_ = false;
  if (!dragging_) return QFrame::mouseReleaseEvent(event);
  dragging_ = false;
  delete dragFrame_;
  dragFrame_ = nullptr;
  unsetCursor();
  SetAlign(dragAlign_);
  emit posChanged();
}

void TSpeedBar::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  ForEachItem([](TSpeedItem* item) { item->UpdateVisibility(); });
  emit visibleChanged();
}

void TSpeedBar::hideEvent(QHideEvent* event) {
  QFrame::hideEvent(event);
  ForEachItem([](TSpeedItem* item) { item->UpdateVisibility(); });
  emit visibleChanged();
}

void TSpeedBar::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::EnabledChange)
    ForEachItem([](TSpeedItem* item) { item->UpdateButtonState(); });
}

bool TSpeedBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Dock();
  return QFrame::eventFilter(watched, event);
}

TSpeedItem* AddActionItem(TSpeedBar* bar, int section, QAction* action, const char* name,
                          const QString& btnCaption, const QPixmap& glyph, int left) {
  auto* item = new TSpeedItem(action->parent());
  item->setObjectName(QString::fromLatin1(name));
  item->SetCaption(action->text());
  item->SetBtnCaption(btnCaption);
  item->SetGlyph(glyph);
  bar->AddItem(section, item);
  item->SetEnabled(action->isEnabled());
  QObject::connect(action, &QAction::changed, item,
                   [item, action] { item->SetEnabled(action->isEnabled()); });
  QObject::connect(item, &TSpeedItem::clicked, action, &QAction::trigger);
  item->SetBounds(left, bar->BtnOffsetVert());
  item->SetVisible(true);
  return item;
}

}  // namespace velmaris

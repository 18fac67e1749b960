#include "widgets/TreeNT.h"

#include <QApplication>
#include <QDateTime>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>
#include <algorithm>

#include "widgets/VxColors.h"

namespace velmaris {

namespace {
constexpr int kNone = TreeStructure::kNone;
}  // namespace

// ---------------------------------------------------------------- node

TTreeNTNode::TTreeNTNode(TTreeNTNodes* owner, int id) : owner_(owner), id_(id) {}
TTreeNTNode::~TTreeNTNode() = default;

TCustomTreeNT* TTreeNTNode::TreeView() const { return owner_->Owner(); }

void TTreeNTNode::SetText(const QString& text) {
  text_ = text;
  TCustomTreeNT* tree = TreeView();
  if (tree->Sorts(true)) tree->SortSiblings(this);
  tree->NodeChanged(this);
}

void TTreeNTNode::SetData(void* data) {
  data_ = data;
  TCustomTreeNT* tree = TreeView();
  if (tree->Sorts(false)) tree->SortSiblings(this);
}

void TTreeNTNode::SetImageIndex(int value) {
  imageIndex_ = value;
  TreeView()->NodeChanged(this);
}
void TTreeNTNode::SetSelectedIndex(int value) {
  selectedIndex_ = value;
  TreeView()->NodeChanged(this);
}
void TTreeNTNode::SetOverlayIndex(int value) {
  overlayIndex_ = value;
  TreeView()->NodeChanged(this);
}
void TTreeNTNode::SetStateIndex(int value) {
  stateIndex_ = value;
  TreeView()->NodeChanged(this);
}
void TTreeNTNode::SetCut(bool on) {
  cut_ = on;
  TreeView()->NodeChanged(this);
}
void TTreeNTNode::SetDropHighlighted(bool on) {
  dropHighlighted_ = on;
  TreeView()->NodeChanged(this);
}
bool TTreeNTNode::Focused() const { return TreeView()->GetSelected() == this; }
bool TTreeNTNode::Selected() const { return TreeView()->GetSelected() == this; }

void TTreeNTNode::SetSelected(bool on) {
  if (on) {
    TreeView()->SetSelected(this);
  } else if (Selected()) {
    TreeView()->SetSelected(nullptr);
  }
}

void TTreeNTNode::SetColor(const QColor& color) {
  color_ = color;
  parentColor_ = false;
  TreeView()->NodeChanged(this);
}

void TTreeNTNode::SetParentColor(bool on) {
  parentColor_ = on;
  TreeView()->NodeChanged(this);
}

QFont& TTreeNTNode::Font() {
  if (!font_) font_ = std::make_unique<QFont>(TreeView()->font());
  parentFont_ = false;
  return *font_;
}

void TTreeNTNode::SetFont(const QFont& font) {
  Font() = font;
  TreeView()->NodeChanged(this);
}

void TTreeNTNode::SetFontColor(const QColor& color) {
  fontColor_ = color;
  TreeView()->NodeChanged(this);
}

void TTreeNTNode::SetParentFont(bool on) {
  parentFont_ = on;
  if (on) font_.reset();
  TreeView()->NodeChanged(this);
}

bool TTreeNTNode::HasChildren() const {
  return owner_->Shape().ChildCount(id_) > 0 || hasChildrenMark_;
}
void TTreeNTNode::SetHasChildren(bool on) {
  hasChildrenMark_ = on;
  TreeView()->NodeChanged(this);
}
int TTreeNTNode::GetCount() const { return owner_->Shape().ChildCount(id_); }

TTreeNTNode* TTreeNTNode::GetItem(int index) const {
  const int child = owner_->Shape().ChildAt(id_, index);
  if (child == kNone) throw ETreeNTError("List index out of bounds");
  return owner_->NodeOf(child);
}

int TTreeNTNode::Level() const { return owner_->Shape().Level(id_); }
int TTreeNTNode::Index() const { return owner_->Shape().IndexAmongSiblings(id_); }
bool TTreeNTNode::GetExpanded() const { return owner_->Shape().Expanded(id_); }
bool TTreeNTNode::IsVisible() const { return owner_->Shape().IsVisible(id_); }

void TTreeNTNode::Expand(bool recurse) {
  TCustomTreeNT* tree = TreeView();
  if (!recurse) {
    tree->DoExpand(this, true);
    return;
  }
  const TreeStructure& s = owner_->Shape();
  const int stop = [&] {
    for (int n = id_; n != kNone; n = s.Parent(n))
      if (s.NextSibling(n) != kNone) return s.NextSibling(n);
    return kNone;
  }();
  owner_->BeginUpdate();
  for (int n = id_; n != kNone && n != stop; n = s.NextInTree(n))
    tree->DoExpand(owner_->NodeOf(n), true);
  owner_->EndUpdate();
}

void TTreeNTNode::Collapse(bool recurse) {
  TCustomTreeNT* tree = TreeView();
  if (!recurse) {
    tree->DoExpand(this, false);
    return;
  }
  const TreeStructure& s = owner_->Shape();
  int stop = kNone;
  for (int n = id_; n != kNone && stop == kNone; n = s.Parent(n)) stop = s.NextSibling(n);
  owner_->BeginUpdate();
  for (int n = id_; n != kNone && n != stop; n = s.NextInTree(n))
    tree->DoExpand(owner_->NodeOf(n), false);
  owner_->EndUpdate();
}

void TTreeNTNode::SetExpanded(bool on) {
  if (on)
    Expand(false);
  else
    Collapse(false);
}

TTreeNTNode* TTreeNTNode::Parent() const { return owner_->NodeOf(owner_->Shape().Parent(id_)); }
TTreeNTNode* TTreeNTNode::GetFirstChild() const {
  return owner_->NodeOf(owner_->Shape().FirstChild(id_));
}
TTreeNTNode* TTreeNTNode::GetLastChild() const {
  return owner_->NodeOf(owner_->Shape().LastChild(id_));
}
TTreeNTNode* TTreeNTNode::GetNextSibling() const {
  return owner_->NodeOf(owner_->Shape().NextSibling(id_));
}
TTreeNTNode* TTreeNTNode::GetPrevSibling() const {
  return owner_->NodeOf(owner_->Shape().PrevSibling(id_));
}
TTreeNTNode* TTreeNTNode::GetNext() const {
  return owner_->NodeOf(owner_->Shape().NextInTree(id_));
}
TTreeNTNode* TTreeNTNode::GetPrev() const {
  return owner_->NodeOf(owner_->Shape().PrevInTree(id_));
}

TTreeNTNode* TTreeNTNode::GetNextVisible() const {
  const int row = owner_->Shape().RowOf(id_);
  return row == kNone ? nullptr : owner_->NodeOf(owner_->Shape().NodeAtRow(row + 1));
}

TTreeNTNode* TTreeNTNode::GetPrevVisible() const {
  const int row = owner_->Shape().RowOf(id_);
  return row <= 0 ? nullptr : owner_->NodeOf(owner_->Shape().NodeAtRow(row - 1));
}

int TTreeNTNode::AbsoluteIndex() const { return owner_->Shape().AbsoluteIndex(id_); }

QRect TTreeNTNode::DisplayRect(bool textOnly) const {
  TCustomTreeNT* tree = TreeView();
  const int row = owner_->Shape().RowOf(id_);
  if (row == kNone) return {};
  const int h = tree->ItemHeight();
  const QRect full(0, (row - tree->TopRow()) * h, tree->viewport()->width(), h);
  if (!textOnly) return full;
  const QFontMetrics fm(parentFont_ ? tree->font() : *font_);
  const auto g = tree->Geometry(id_, fm);
  return QRect(g.textX, full.y(), g.textW, h);
}

void TTreeNTNode::AlphaSort() {
  TCustomTreeNT* tree = TreeView();
  owner_->Shape().SortChildren(
      id_, [&](int a, int b) { return tree->Compare(owner_->NodeOf(a), owner_->NodeOf(b)) < 0; });
  tree->ShapeChanged();
}

void TTreeNTNode::Assign(const TTreeNTNode& source) {
  text_ = source.text_;
  data_ = source.data_;
  imageIndex_ = source.imageIndex_;
  selectedIndex_ = source.selectedIndex_;
  overlayIndex_ = source.overlayIndex_;
  if (TreeView()->StateImages()) stateIndex_ = source.stateIndex_;
  cut_ = source.cut_;
  dropHighlighted_ = source.dropHighlighted_;
  hasChildrenMark_ = source.HasChildren();
  parentColor_ = source.parentColor_;
  color_ = source.color_;
  parentFont_ = source.parentFont_;
  font_ = source.font_ ? std::make_unique<QFont>(*source.font_) : nullptr;
  if (source.Focused()) TreeView()->SetSelected(this);
  TreeView()->NodeChanged(this);
}

void TTreeNTNode::Delete() { owner_->Delete(this); }

// ---------------------------------------------------------------- collection

TTreeNTNodes::TTreeNTNodes(TCustomTreeNT* owner) : owner_(owner) {}

TTreeNTNodes::~TTreeNTNodes() {
  clearing_ = true;
  nodes_.clear();
}

TTreeNTNode* TTreeNTNodes::Item(int index) const {
  const int id = shape_.NodeAtAbsolute(index);
  if (id == kNone) throw ETreeNTError("Invalid index");
  return NodeOf(id);
}

void TTreeNTNodes::Reserve(int count) {
  shape_.Reserve(count);
  nodes_.reserve(static_cast<size_t>(count));
}

TTreeNTNode* TTreeNTNodes::AddObject(TTreeNTNode* node, const QString& text, void* data) {
  return AddChildObject(node ? node->Parent() : nullptr, text, data);
}

TTreeNTNode* TTreeNTNodes::AddChildObject(TTreeNTNode* parent, const QString& text, void* data) {
  const int id = shape_.AddChild(parent ? parent->id_ : kNone);
  if (static_cast<size_t>(id) >= nodes_.size()) nodes_.resize(static_cast<size_t>(id) + 1);
  nodes_[static_cast<size_t>(id)].reset(owner_->CreateNode(id));
  TTreeNTNode* node = nodes_[static_cast<size_t>(id)].get();
  node->text_ = text;
  node->data_ = data;
  if (!Updating() && owner_->Sorts(true)) owner_->SortSiblings(node);
  owner_->ShapeChanged();
  return node;
}

void TTreeNTNodes::Delete(TTreeNTNode* node) {
  if (!node || node->deleting_) return;
  const int parent = shape_.Parent(node->id_);
  if (parent != kNone && !nodes_[static_cast<size_t>(parent)]->deleting_ &&
      shape_.ChildCount(parent) == 1) {
    shape_.SetExpanded(parent, false);
    nodes_[static_cast<size_t>(parent)]->hasChildrenMark_ = false;
  }
  node->deleting_ = true;
  shape_.Remove(node->id_, [&](int id) {
    owner_->NodeDeleting(NodeOf(id));
    nodes_[static_cast<size_t>(id)].reset();
  });
  owner_->ShapeChanged();
}

void TTreeNTNodes::Clear() {
  BeginUpdate();
  clearing_ = true;
  for (int id = shape_.FirstRoot(); id != kNone; id = shape_.FirstRoot()) {
    shape_.Remove(id, [&](int n) {
      owner_->NodeDeleting(NodeOf(n));
      nodes_[static_cast<size_t>(n)].reset();
    });
  }
  shape_.Clear();
  nodes_.clear();
  clearing_ = false;
  EndUpdate();
  owner_->ShapeChanged();
}

void TTreeNTNodes::BeginUpdate() {
  if (updateCount_++ == 0) owner_->viewport()->setUpdatesEnabled(false);
}

void TTreeNTNodes::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ > 0) return;
  owner_->viewport()->setUpdatesEnabled(true);
  if (owner_->SortType() != TSortType::stNone) owner_->AlphaSort();
  owner_->ShapeChanged();
}

namespace {

TTreeStreamNode StreamNodeOf(const TTreeNTNodes& nodes, const TTreeNTNode* n) {
  TTreeStreamNode s;
  s.imageIndex = n->ImageIndex();
  s.selectedIndex = n->SelectedIndex();
  s.stateIndex = n->StateIndex();
  s.overlayIndex = n->OverlayIndex();
  s.checked = n->Checked();
  s.data = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(n->Data()));
  s.color = n->Color().isValid() ? FromQColor(n->Color()) : 0;
  s.parentColor = n->ParentColor();
  s.parentFont = n->ParentFont();
  if (!n->ParentFont()) {
    const QFont& f = const_cast<TTreeNTNode*>(n)->Font();
    s.fontHeight = f.pixelSize() > 0 ? -f.pixelSize() : -qRound(f.pointSizeF() * 96 / 72);
    s.fontStyle = static_cast<uint8_t>((f.bold() ? 1 : 0) | (f.italic() ? 2 : 0) |
                                       (f.underline() ? 4 : 0) | (f.strikeOut() ? 8 : 0));
    s.fontName = f.family().toStdString();
    if (n->FontColor().isValid()) s.fontColor = FromQColor(n->FontColor());
  }
  // At most 255 bytes, cut between characters.
  QString text = n->Text();
  while (text.toUtf8().size() > 255) text.chop(1);
  s.text = text.toStdString();
  for (const TTreeNTNode* c = n->GetFirstChild(); c; c = c->GetNextSibling())
    s.children.push_back(StreamNodeOf(nodes, c));
  return s;
}

void AddStreamNode(TTreeNTNodes& nodes, TTreeNTNode* parent, const TTreeStreamNode& s) {
  TTreeNTNode* n = nodes.AddChildObject(parent, QString::fromStdString(s.text),
                                        reinterpret_cast<void*>(static_cast<uintptr_t>(s.data)));
  n->SetImageIndex(s.imageIndex);
  n->SetSelectedIndex(s.selectedIndex);
  n->SetStateIndex(s.checked ? 2 : s.stateIndex);
  n->SetOverlayIndex(s.overlayIndex);
  const QPalette pal = nodes.Owner()->palette();
  if (!s.parentColor) n->SetColor(ToQColor(s.color, pal));
  if (!s.parentFont) {
    QFont f(QString::fromStdString(s.fontName));
    if (s.fontHeight != 0) f.setPixelSize(std::abs(s.fontHeight));
    f.setBold(s.fontStyle & 1);
    f.setItalic(s.fontStyle & 2);
    f.setUnderline(s.fontStyle & 4);
    f.setStrikeOut(s.fontStyle & 8);
    n->SetFont(f);
    n->SetFontColor(ToQColor(s.fontColor, pal));
  }
  for (const TTreeStreamNode& c : s.children) AddStreamNode(nodes, n, c);
}

}  // namespace

std::string TTreeNTNodes::WriteData() const {
  std::vector<TTreeStreamNode> roots;
  for (const TTreeNTNode* n = GetFirstNode(); n; n = n->GetNextSibling())
    roots.push_back(StreamNodeOf(*this, n));
  return EncodeTreeNodes(roots);
}

void TTreeNTNodes::ReadData(const std::string& bytes) {
  const std::vector<TTreeStreamNode> roots = DecodeTreeNodes(bytes);
  BeginUpdate();
  Clear();
  for (const TTreeStreamNode& s : roots) AddStreamNode(*this, nullptr, s);
  EndUpdate();
}

// ---------------------------------------------------------------- control

TCustomTreeNT::TCustomTreeNT(QWidget* parent)
    : QAbstractScrollArea(parent), items_(std::make_unique<TTreeNTNodes>(this)) {
  resize(121, 97);
  setFocusPolicy(Qt::StrongFocus);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setMouseTracking(true);
  autoScroll_.setInterval(100);
  connect(&autoScroll_, &QTimer::timeout, this, &TCustomTreeNT::AutoScrollTick);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
    if (!settingBars_) SetTop(v);
  });
}

TCustomTreeNT::~TCustomTreeNT() {
  // Nodes go without deletion events while the control is destroyed.
  OnDeletion = nullptr;
  OnChange = nullptr;
  items_.reset();
}

TTreeNTNode* TCustomTreeNT::CreateNode(int id) { return new TTreeNTNode(items_.get(), id); }

int TCustomTreeNT::ItemHeight() const {
  if (itemHeight_ >= 1) return itemHeight_;
  const int text = fontMetrics().height() + 3;
  return std::max(text, images_ ? images_->Height() + 1 : 0);
}

void TCustomTreeNT::SetItemHeight(int value) {
  itemHeight_ = value >= 1 ? value : -1;
  ShapeChanged();
}

void TCustomTreeNT::SetIndent(int value) {
  indent_ = std::max(0, value);
  viewport()->update();
}

void TCustomTreeNT::SetScrollTime(int value) { scrollTime_ = std::max(100, value); }

void TCustomTreeNT::SetOptions(TTreeOptions value) {
  options_ = value;
  setVerticalScrollBarPolicy(options_ & toNoScroll ? Qt::ScrollBarAlwaysOff
                                                   : Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(options_ & toNoScroll ? Qt::ScrollBarAlwaysOff
                                                     : Qt::ScrollBarAsNeeded);
  viewport()->update();
}

void TCustomTreeNT::SetSortType(TSortType value) {
  if (sortType_ == value) return;
  sortType_ = value;
  if (value != TSortType::stNone) AlphaSort();
}

bool TCustomTreeNT::Sorts(bool byText) const {
  if (byText) return sortType_ == TSortType::stText || sortType_ == TSortType::stBoth;
  return (sortType_ == TSortType::stData || sortType_ == TSortType::stBoth) && OnCompare;
}

int TCustomTreeNT::Compare(TTreeNTNode* a, TTreeNTNode* b) {
  if (OnCompare) {
    int result = 0;
    OnCompare(this, a, b, result);
    return result;
  }
  return a->Text().compare(b->Text(), Qt::CaseSensitive);
}

void TCustomTreeNT::SortSiblings(TTreeNTNode* node) {
  if (items_->Updating()) return;
  items_->Shape().SortChildren(items_->Shape().Parent(node->Id()), [&](int a, int b) {
    return Compare(items_->NodeOf(a), items_->NodeOf(b)) < 0;
  });
  ShapeChanged();
}

void TCustomTreeNT::AlphaSort() {
  TreeStructure& s = items_->Shape();
  auto less = [&](int a, int b) { return Compare(items_->NodeOf(a), items_->NodeOf(b)) < 0; };
  s.SortChildren(kNone, less);
  for (int n = s.FirstRoot(); n != kNone; n = s.NextInTree(n))
    if (s.ChildCount(n) > 1) s.SortChildren(n, less);
  ShapeChanged();
}

void TCustomTreeNT::SetImages(TImageList* images) {
  if (images_) disconnect(images_, nullptr, this, nullptr);
  images_ = images;
  if (images_) connect(images_, &TImageList::changed, viewport(), qOverload<>(&QWidget::update));
  ShapeChanged();
}

void TCustomTreeNT::SetStateImages(TImageList* images) {
  if (stateImages_) disconnect(stateImages_, nullptr, this, nullptr);
  stateImages_ = images;
  if (stateImages_)
    connect(stateImages_, &TImageList::changed, viewport(), qOverload<>(&QWidget::update));
  viewport()->update();
}

void TCustomTreeNT::NodeChanged(TTreeNTNode* node) {
  // Inside an update the rows are not asked for: that would rebuild the
  // row index after every node added.
  if (items_->Updating()) return;
  const int row = items_->Shape().RowOf(node->Id());
  if (row == kNone) return;
  const int h = ItemHeight();
  viewport()->update(0, (row - top_) * h, viewport()->width(), h);
}

void TCustomTreeNT::ShapeChanged() {
  if (items_->Updating()) return;
  UpdateScrollBars();
  viewport()->update();
}

void TCustomTreeNT::NodeDeleting(TTreeNTNode* node) {
  if (!node) return;
  if (OnDeletion) OnDeletion(this, node);
  if (node->Id() == selected_) selected_ = kNone;
  if (node->Id() == dropTarget_) dropTarget_ = kNone;
  if (node->Id() == hot_) hot_ = kNone;
  if (node->Id() == editing_) FinishEdit(false);
  node->data_ = nullptr;
  node->font_.reset();
}

bool TCustomTreeNT::DoExpand(TTreeNTNode* node, bool expand) {
  if (!node) return false;
  TreeStructure& s = items_->Shape();
  if (s.Expanded(node->Id()) == expand) return true;
  if (expand && !node->HasChildren()) return false;
  bool allow = true;
  if (expand && OnExpanding) OnExpanding(this, node, allow);
  if (!expand && OnCollapsing) OnCollapsing(this, node, allow);
  if (!allow) return false;
  s.SetExpanded(node->Id(), expand);
  if (expand) node->expandedOnce_ = true;
  // A selection inside a collapsed branch moves to the collapsed node.
  if (!expand && selected_ != kNone && !s.IsVisible(selected_)) SetSelected(node);
  if (expand && OnExpanded) OnExpanded(this, node);
  if (!expand && OnCollapsed) OnCollapsed(this, node);
  ShapeChanged();
  return true;
}

void TCustomTreeNT::FullExpand() {
  items_->BeginUpdate();
  for (TTreeNTNode* n = items_->GetFirstNode(); n; n = n->GetNextSibling()) n->Expand(true);
  items_->EndUpdate();
}

void TCustomTreeNT::FullCollapse() {
  items_->BeginUpdate();
  for (TTreeNTNode* n = items_->GetFirstNode(); n; n = n->GetNextSibling()) n->Collapse(true);
  items_->EndUpdate();
}

TTreeNTNode* TCustomTreeNT::GetSelected() const { return items_->NodeOf(selected_); }

void TCustomTreeNT::SetSelected(TTreeNTNode* node) {
  const int id = node ? node->Id() : kNone;
  if (id == selected_) return;
  bool allow = true;
  if (OnChanging) OnChanging(this, node, allow);
  if (!allow) return;
  const int old = selected_;
  selected_ = id;
  if (node) {
    for (TTreeNTNode* p = node->Parent(); p; p = p->Parent())
      if (!p->GetExpanded()) items_->Shape().SetExpanded(p->Id(), true);
    ShapeChanged();
    MakeVisible(node);
  }
  if (TTreeNTNode* o = items_->NodeOf(old)) NodeChanged(o);
  if (node) NodeChanged(node);
  if (OnChange) OnChange(this, node);
}

TTreeNTNode* TCustomTreeNT::TopItem() const {
  return items_->NodeOf(items_->Shape().NodeAtRow(top_));
}

void TCustomTreeNT::SetTopItem(TTreeNTNode* node) {
  if (!node) return;
  const int row = items_->Shape().RowOf(node->Id());
  if (row != kNone) SetTop(row);
}

TTreeNTNode* TCustomTreeNT::DropTarget() const { return items_->NodeOf(dropTarget_); }

void TCustomTreeNT::SetDropTarget(TTreeNTNode* node) {
  if (TTreeNTNode* old = DropTarget()) old->SetDropHighlighted(false);
  dropTarget_ = node ? node->Id() : kNone;
  if (node) node->SetDropHighlighted(true);
}

int TCustomTreeNT::VisibleRowCount() const {
  return std::max(1, viewport()->height() / ItemHeight());
}

void TCustomTreeNT::UpdateScrollBars() {
  settingBars_ = true;
  const int rows = Rows();
  const int page = VisibleRowCount();
  verticalScrollBar()->setRange(0, std::max(0, rows - page));
  verticalScrollBar()->setPageStep(page);
  top_ = std::clamp(top_, 0, std::max(0, rows - page));
  verticalScrollBar()->setValue(top_);
  settingBars_ = false;
}

void TCustomTreeNT::SetTop(int row) {
  const int maxTop = std::max(0, Rows() - VisibleRowCount());
  row = std::clamp(row, 0, maxTop);
  if (row == top_) return;
  top_ = row;
  settingBars_ = true;
  verticalScrollBar()->setValue(top_);
  settingBars_ = false;
  viewport()->update();
}

void TCustomTreeNT::MakeVisible(TTreeNTNode* node) {
  const int row = node ? items_->Shape().RowOf(node->Id()) : kNone;
  if (row == kNone) return;
  if (row < top_) {
    SetTop(row);
  } else if (row >= top_ + VisibleRowCount()) {
    SetTop(row - VisibleRowCount() + 1);
  }
}

void TCustomTreeNT::scrollContentsBy(int, int) { viewport()->update(); }

void TCustomTreeNT::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

// ---------------------------------------------------------------- geometry and painting

TCustomTreeNT::RowGeometry TCustomTreeNT::Geometry(int id, const QFontMetrics& fm) const {
  const TreeStructure& s = items_->Shape();
  const bool root = options_ & toShowRoot && options_ & (toShowLines | toShowButtons);
  RowGeometry g;
  const int hs = horizontalScrollBar()->value();
  g.levelX = (s.Level(id) + (root ? 1 : 0)) * indent_ - hs;
  g.buttonX = g.levelX - indent_ / 2;
  int x = g.levelX;
  g.stateX = x;
  if (stateImages_) {
    x += stateImages_->Width();
  } else if (options_ & toCheckBoxes) {
    x += 16;
  }
  g.imageX = x;
  if (images_) x += images_->Width() + 2;
  g.textX = x;
  const TTreeNTNode* node = items_->NodeOf(id);
  g.textW = fm.horizontalAdvance(node->Text()) + 4;
  return g;
}

void TCustomTreeNT::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  if (BeforePaint) BeforePaint(this, p);
  const QFontMetrics fm(font());
  const int h = ItemHeight();
  const int rows = Rows();
  const int last = std::min(rows, top_ + viewport()->height() / h + 2);
  int widest = 0;
  for (int row = top_; row < last; ++row) {
    PaintRow(p, row, (row - top_) * h, fm);
    const auto g = Geometry(items_->Shape().NodeAtRow(row), fm);
    widest = std::max(widest, g.textX + g.textW + horizontalScrollBar()->value());
  }
  if (!(options_ & toNoScroll)) {
    settingBars_ = true;
    horizontalScrollBar()->setRange(0, std::max(0, widest - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    settingBars_ = false;
  }
  if (AfterPaint) AfterPaint(this, p);
}

void TCustomTreeNT::PaintRow(QPainter& p, int row, int y, const QFontMetrics& baseFm) {
  const TreeStructure& s = items_->Shape();
  const int id = s.NodeAtRow(row);
  TTreeNTNode* node = items_->NodeOf(id);
  const int h = ItemHeight();
  const QPalette pal = palette();
  const bool focused = hasFocus();
  TTreeNTDrawState state;
  state.selected = id == selected_ || node->DropHighlighted();
  state.focused = id == selected_ && focused;
  state.hot = id == hot_ && (options_ & toHotTrack);
  state.checked = node->Checked();
  state.disabled = !isEnabled();
  const QRect rowRect(0, y, viewport()->width(), h);
  if (BeforeItemPaint) BeforeItemPaint(this, p, node, rowRect, state);
  const QFontMetrics fm = node->ParentFont() ? baseFm : QFontMetrics(*node->font_);
  const RowGeometry g = Geometry(id, fm);
  const int mid = y + h / 2;
  const bool root = options_ & toShowRoot;
  const int level = s.Level(id);
  // Lines: the node's own connector and the ancestors' continuing lines.
  if (options_ & toShowLines) {
    QPen pen(pal.color(QPalette::Dark), 1, Qt::DotLine);
    p.setPen(pen);
    if (level > 0 || root) {
      const bool above = s.PrevSibling(id) != kNone || s.Parent(id) != kNone;
      p.drawLine(g.buttonX, above ? y : mid, g.buttonX, s.NextSibling(id) != kNone ? y + h : mid);
      p.drawLine(g.buttonX, mid, g.levelX - 2, mid);
    }
    int x = g.buttonX;
    for (int a = s.Parent(id); a != kNone; a = s.Parent(a)) {
      x -= indent_;
      if (s.NextSibling(a) != kNone && (s.Level(a) > 0 || root)) p.drawLine(x, y, x, y + h);
    }
  }
  if ((options_ & toShowButtons) && node->HasChildren() && (level > 0 || root)) {
    const QRect box(g.buttonX - 4, mid - 4, 9, 9);
    p.fillRect(box, pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Dark));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(pal.color(QPalette::Text));
    p.drawLine(box.left() + 2, mid, box.right() - 2, mid);
    if (!s.Expanded(id)) p.drawLine(g.buttonX, box.top() + 2, g.buttonX, box.bottom() - 2);
  }
  if (stateImages_) {
    stateImages_->Draw(p, g.stateX, y + (h - stateImages_->Height()) / 2, node->StateIndex());
  } else if (options_ & toCheckBoxes) {
    QStyleOptionButton opt;
    opt.rect = QRect(g.stateX, mid - 6, 13, 13);
    opt.state = (node->Checked() ? QStyle::State_On : QStyle::State_Off) | QStyle::State_Enabled;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, this);
  }
  if (images_) {
    if (id == selected_ ? OnGetSelectedIndex : OnGetImageIndex)
      (id == selected_ ? OnGetSelectedIndex : OnGetImageIndex)(this, node);
    const int index =
        id == selected_ && node->SelectedIndex() >= 0 ? node->SelectedIndex() : node->ImageIndex();
    images_->Draw(p, g.imageX, y + (h - images_->Height()) / 2, index, !node->Cut());
    if (node->OverlayIndex() >= 0)
      images_->Draw(p, g.imageX, y + (h - images_->Height()) / 2, node->OverlayIndex());
  }
  QRect textRect(g.textX, y, g.textW, h);
  if (options_ & toFullRowSelect) textRect.setRight(viewport()->width());
  const bool showSel = state.selected && (focused || !(options_ & toHideSelection));
  QColor fg = !node->ParentFont() && node->FontColor().isValid() ? node->FontColor()
                                                                 : pal.color(QPalette::Text);
  if (showSel) {
    p.fillRect(textRect,
               pal.color(focused ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
    fg = pal.color(focused ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText);
  } else if (!node->ParentColor() && node->Color().isValid()) {
    p.fillRect(textRect, node->Color());
  }
  if (state.hot && !showSel) fg = pal.color(QPalette::Link);
  if (!isEnabled()) fg = pal.color(QPalette::Disabled, QPalette::Text);
  p.setPen(fg);
  QFont f = node->ParentFont() ? font() : *node->font_;
  if (state.hot) f.setUnderline(true);
  p.setFont(f);
  p.drawText(QRect(g.textX + 2, y, g.textW, h),
             Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, node->Text());
  p.setFont(font());
  if (state.focused) {
    QStyleOptionFocusRect fr;
    fr.rect = textRect;
    fr.palette = pal;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
  }
  if (AfterItemPaint) AfterItemPaint(this, p, node, rowRect, state);
}

// ---------------------------------------------------------------- hit testing and input

TTreeNTNode* TCustomTreeNT::GetNodeAt(int x, int y) const {
  const THitTests hit = GetHitTestInfoAt(x, y);
  if (!(hit & (htOnItem | htOnButton | htOnIndent | htOnRight | htOnStateIcon))) return nullptr;
  return items_->NodeOf(items_->Shape().NodeAtRow(top_ + y / ItemHeight()));
}

THitTests TCustomTreeNT::GetHitTestInfoAt(int x, int y) const {
  THitTests hit = 0;
  if (y < 0) hit |= htAbove;
  if (y >= viewport()->height()) hit |= htBelow;
  if (x < 0) hit |= htToLeft;
  if (x >= viewport()->width()) hit |= htToRight;
  if (hit) return hit;
  const int id = items_->Shape().NodeAtRow(top_ + y / ItemHeight());
  if (id == kNone) return htNowhere;
  const TTreeNTNode* node = items_->NodeOf(id);
  const QFontMetrics fm(node->ParentFont() ? font() : *node->font_);
  const RowGeometry g = Geometry(id, fm);
  if ((options_ & toShowButtons) && node->HasChildren() && std::abs(x - g.buttonX) <= 5)
    return htOnButton;
  if (x < g.levelX) return htOnIndent;
  if (x < g.imageX) return htOnStateIcon | htOnItem;
  if (x < g.textX) return htOnIcon | htOnItem;
  if (x < g.textX + g.textW) return htOnLabel | htOnItem;
  return htOnRight;
}

void TCustomTreeNT::ToggleCheck(TTreeNTNode* node) {
  if (node) node->SetChecked(!node->Checked());
}

void TCustomTreeNT::mousePressEvent(QMouseEvent* event) {
  if (editor_) FinishEdit(true);
  const QPoint pos = event->position().toPoint();
  const THitTests hit = GetHitTestInfoAt(pos.x(), pos.y());
  TTreeNTNode* node = items_->NodeOf(items_->Shape().NodeAtRow(top_ + pos.y() / ItemHeight()));
  if (!node || !(hit & (htOnItem | htOnButton | htOnIndent | htOnRight | htOnStateIcon | htOnIcon |
                        htOnLabel)))
    return;
  if (event->button() != Qt::LeftButton) return;
  if (hit & htOnButton) {
    DoExpand(node, !node->GetExpanded());
    return;
  }
  if ((hit & htOnStateIcon) && (options_ & toCheckBoxes)) ToggleCheck(node);
  if ((hit & (htOnIcon | htOnLabel | htOnStateIcon)) || (options_ & toFullRowSelect)) {
    const bool again = node->Id() == selected_;
    SetSelected(node);
    if ((options_ & toSingleExpand) && !again) {
      for (TTreeNTNode* sib = node->Parent() ? node->Parent()->GetFirstChild()
                                             : items_->GetFirstNode();
           sib; sib = sib->GetNextSibling()) {
        if (sib == node || !sib->GetExpanded()) continue;
        bool allow = true;
        if (OnSingleExpanded) OnSingleExpanded(this, sib, allow);
        if (allow) DoExpand(sib, false);
      }
      DoExpand(node, true);
    }
    emit clicked();
  }
}

void TCustomTreeNT::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const THitTests hit = GetHitTestInfoAt(pos.x(), pos.y());
  TTreeNTNode* node = GetNodeAt(pos.x(), pos.y());
  if (!node || (hit & htOnButton)) return mousePressEvent(event);
  if (hit & (htOnIcon | htOnLabel)) {
    DoExpand(node, !node->GetExpanded());
    emit doubleClicked();
  }
}

void TCustomTreeNT::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (options_ & toHotTrack) {
    TTreeNTNode* node = GetNodeAt(pos.x(), pos.y());
    const int id = node ? node->Id() : kNone;
    if (id != hot_) {
      if (TTreeNTNode* old = items_->NodeOf(hot_)) NodeChanged(old);
      hot_ = id;
      if (node) NodeChanged(node);
    }
  }
  if (AutoScroll && event->buttons()) DoAutoScroll(pos);
}

void TCustomTreeNT::mouseReleaseEvent(QMouseEvent* event) {
  autoScroll_.stop();
  event->accept();
}

void TCustomTreeNT::leaveEvent(QEvent* event) {
  autoScroll_.stop();
  if (TTreeNTNode* old = items_->NodeOf(hot_)) {
    hot_ = kNone;
    NodeChanged(old);
  }
  QAbstractScrollArea::leaveEvent(event);
}

void TCustomTreeNT::DoAutoScroll(QPoint pos) {
  const int near = std::max(1, ItemHeight() / 2);
  const int maxTop = std::max(0, Rows() - VisibleRowCount());
  int dir = 0;
  if (pos.y() < near && top_ > 0) dir = -1;
  if (pos.y() > viewport()->height() - near && top_ < maxTop) dir = 1;
  if (dir == 0) {
    autoScroll_.stop();
    return;
  }
  autoScrollDir_ = dir;
  if (!autoScroll_.isActive()) {
    autoScrollTicks_ = 0;
    autoScroll_.start(100);
  }
}

void TCustomTreeNT::AutoScrollTick() {
  SetTop(top_ + autoScrollDir_);
  const int maxTop = std::max(0, Rows() - VisibleRowCount());
  if ((autoScrollDir_ < 0 && top_ == 0) || (autoScrollDir_ > 0 && top_ >= maxTop)) {
    autoScroll_.stop();
    return;
  }
  ++autoScrollTicks_;
  if (100 - 8 * autoScrollTicks_ > 0) autoScroll_.setInterval(100 - 8 * autoScrollTicks_);
}

void TCustomTreeNT::SelectRow(int row) {
  row = std::clamp(row, 0, std::max(0, Rows() - 1));
  if (TTreeNTNode* node = items_->NodeOf(items_->Shape().NodeAtRow(row))) SetSelected(node);
}

void TCustomTreeNT::keyPressEvent(QKeyEvent* event) {
  TTreeNTNode* sel = GetSelected();
  const int row = sel ? items_->Shape().RowOf(sel->Id()) : -1;
  const int page = std::max(1, VisibleRowCount() - 1);
  switch (event->key()) {
    case Qt::Key_Up: SelectRow(row < 0 ? 0 : row - 1); return;
    case Qt::Key_Down: SelectRow(row + 1); return;
    case Qt::Key_PageUp: SelectRow(row - page); return;
    case Qt::Key_PageDown: SelectRow(row < 0 ? page : row + page); return;
    case Qt::Key_Home: SelectRow(0); return;
    case Qt::Key_End: SelectRow(Rows() - 1); return;
    case Qt::Key_Left:
      if (!sel) return SelectRow(0);
      if (sel->GetExpanded() && sel->HasChildren()) {
        DoExpand(sel, false);
      } else if (sel->Parent()) {
        SetSelected(sel->Parent());
      }
      return;
    case Qt::Key_Right:
      if (!sel) return SelectRow(0);
      if (!sel->GetExpanded() && sel->HasChildren()) {
        DoExpand(sel, true);
      } else if (TTreeNTNode* child = sel->GetFirstChild()) {
        SetSelected(child);
      }
      return;
    case Qt::Key_Plus:
      if (sel) DoExpand(sel, true);
      return;
    case Qt::Key_Minus:
      if (sel) DoExpand(sel, false);
      return;
    case Qt::Key_Asterisk:
      if (sel) sel->Expand(true);
      return;
    case Qt::Key_Space:
      if (sel && (options_ & toCheckBoxes)) ToggleCheck(sel);
      return;
    case Qt::Key_F2:
      if (sel) EditText(sel);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (options_ & toWantReturn) {
        TTreeNTNode* next = sel ? sel->GetNextVisible() : nullptr;
        SetSelected(next ? next : items_->GetFirstNode());
        return;
      }
      break;
    default: break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && Rows() > 0) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - searchTime_ > 1000) search_.clear();
    searchTime_ = now;
    if (search_.size() < 1024) search_ += text;
    const int rows = Rows();
    const int start = search_.size() == 1 ? row + 1 : std::max(row, 0);
    for (int i = 0; i < rows; ++i) {
      const int r = (start + i) % rows;
      if (items_->NodeOf(items_->Shape().NodeAtRow(r))
              ->Text()
              .startsWith(search_, Qt::CaseInsensitive)) {
        SelectRow(r);
        break;
      }
    }
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

bool TCustomTreeNT::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip && (options_ & (toInfoTip | toToolTips))) {
    auto* help = static_cast<QHelpEvent*>(event);
    TTreeNTNode* node = GetNodeAt(help->pos().x(), help->pos().y());
    QString hint = node ? node->Text() : QString();
    if (node && OnHint) OnHint(this, node, hint);
    if (hint.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), hint, viewport());
    }
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------- label editing

bool TCustomTreeNT::IsEditing() const { return editor_ != nullptr; }

bool TCustomTreeNT::EditText(TTreeNTNode* node) {
  if (!node || (options_ & toReadOnly) || editor_) return false;
  bool allow = true;
  if (OnEditing) OnEditing(this, node, allow);
  if (!allow) return false;
  MakeVisible(node);
  editing_ = node->Id();
  editor_ = new QLineEdit(node->Text(), viewport());
  editor_->setGeometry(node->DisplayRect(true).adjusted(0, 0, 40, 0));
  editor_->selectAll();
  editor_->show();
  editor_->setFocus();
  connect(editor_, &QLineEdit::returnPressed, this, [this] { FinishEdit(true); });
  editor_->installEventFilter(this);
  return true;
}

bool TCustomTreeNT::eventFilter(QObject* watched, QEvent* event) {
  if (editor_ && watched == editor_) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      FinishEdit(false);
      return true;
    }
    if (event->type() == QEvent::FocusOut) FinishEdit(true);
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void TCustomTreeNT::FinishEdit(bool accept) {
  if (!editor_) return;
  QLineEdit* editor = editor_;
  editor_ = nullptr;
  TTreeNTNode* node = items_->NodeOf(editing_);
  editing_ = kNone;
  if (accept && node) {
    QString text = editor->text();
    if (OnEdited) OnEdited(this, node, text);
    node->SetText(text);
  }
  editor->hide();
  editor->deleteLater();
  setFocus();
}

}  // namespace velmaris

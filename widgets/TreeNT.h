// The tree view: a self-drawn tree of nodes (TTreeNTNode) with per-node
// font and colour, check boxes, images, hot tracking, info tips, single-
// expand mode, custom-draw events and keyboard navigation.
//
// The shape of the tree (links, expanded state, the flat index of visible
// rows) lives in TreeStructure; the widget only paints the rows inside the
// viewport, so a tree of any size scrolls and selects at the cost of the
// rows shown. Node objects are plain C++ objects indexed by their id.
//
// Expanding from code: a node that is not expanded expands only when
// OnExpanding allows it, then OnExpanded fires (collapsing likewise); with
// Recurse the node and every node below it in tree order are treated in turn.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "widgets/ImageList.h"
#include "widgets/logic/TreeStream.h"
#include "widgets/logic/TreeStructure.h"

class QLineEdit;

namespace velmaris {

class ETreeNTError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCustomTreeNT;
class TTreeNTNodes;

enum TTreeOption : unsigned {
  toCheckBoxes = 1u << 0,
  toFullRowSelect = 1u << 1,
  toHideSelection = 1u << 2,
  toHotTrack = 1u << 3,
  toInfoTip = 1u << 4,
  toNoScroll = 1u << 5,
  toReadOnly = 1u << 6,
  toToolTips = 1u << 7,
  toShowButtons = 1u << 8,
  toShowLines = 1u << 9,
  toShowRoot = 1u << 10,
  toSingleExpand = 1u << 11,
  toWantReturn = 1u << 12
};
using TTreeOptions = unsigned;
enum class TSortType { stNone, stData, stText, stBoth };

enum THitTest : unsigned {
  htAbove = 1u << 0,
  htBelow = 1u << 1,
  htNowhere = 1u << 2,
  htOnItem = 1u << 3,
  htOnButton = 1u << 4,
  htOnIcon = 1u << 5,
  htOnIndent = 1u << 6,
  htOnLabel = 1u << 7,
  htOnRight = 1u << 8,
  htOnStateIcon = 1u << 9,
  htToLeft = 1u << 10,
  htToRight = 1u << 11
};
using THitTests = unsigned;

// The draw state of an item in the custom-draw events.
struct TTreeNTDrawState {
  bool selected = false, focused = false, hot = false, checked = false, disabled = false;
};

class TTreeNTNode {
 public:
  TTreeNTNode(TTreeNTNodes* owner, int id);
  ~TTreeNTNode();
  TTreeNTNode(const TTreeNTNode&) = delete;
  TTreeNTNode& operator=(const TTreeNTNode&) = delete;

  int Id() const { return id_; }
  TTreeNTNodes* Owner() const { return owner_; }
  TCustomTreeNT* TreeView() const;

  const QString& Text() const { return text_; }
  void SetText(const QString& text);
  void* Data() const { return data_; }
  void SetData(void* data);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int value);
  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int value);
  int OverlayIndex() const { return overlayIndex_; }
  void SetOverlayIndex(int value);
  int StateIndex() const { return stateIndex_; }
  void SetStateIndex(int value);
  // State image 2.
  bool Checked() const { return stateIndex_ == 2; }
  void SetChecked(bool on) { SetStateIndex(on ? 2 : 1); }
  bool Cut() const { return cut_; }
  void SetCut(bool on);
  bool DropHighlighted() const { return dropHighlighted_; }
  void SetDropHighlighted(bool on);
  bool Focused() const;
  bool Selected() const;
  void SetSelected(bool on);

  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool on);
  // The node's own font (made on first use; ParentFont becomes false).
  QFont& Font();
  void SetFont(const QFont& font);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool on);
  // The text colour that goes with the node's own font (invalid: the tree's).
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& color);

  // Children and the has-children mark (a node may show a button before
  // its children are added).
  bool HasChildren() const;
  void SetHasChildren(bool on);
  int GetCount() const;
  TTreeNTNode* GetItem(int index) const;  // ETreeNTError "List index out of bounds"
  int Level() const;
  int Index() const;  // among its siblings

  bool GetExpanded() const;
  bool Expanded() const { return GetExpanded(); }
  bool ExpandedOnce() const { return expandedOnce_; }
  void Expand(bool recurse);
  void Collapse(bool recurse);
  void SetExpanded(bool on);
  // Visible: every ancestor expanded.
  bool IsVisible() const;

  TTreeNTNode* Parent() const;
  TTreeNTNode* GetFirstChild() const;
  TTreeNTNode* GetLastChild() const;
  TTreeNTNode* GetNextSibling() const;
  TTreeNTNode* GetPrevSibling() const;
  TTreeNTNode* GetNext() const;  // tree order
  TTreeNTNode* GetPrev() const;
  TTreeNTNode* GetNextVisible() const;
  TTreeNTNode* GetPrevVisible() const;
  int AbsoluteIndex() const;

  // The row's rectangle in the viewport (the label only with textOnly); an
  // empty rectangle when the node is not shown.
  QRect DisplayRect(bool textOnly) const;
  // Sorts the children by the tree's compare rule.
  void AlphaSort();
  // Copies text, data, images, states, colours and font.
  void Assign(const TTreeNTNode& source);
  void Delete();

 private:
  friend class TTreeNTNodes;
  friend class TCustomTreeNT;
  TTreeNTNodes* owner_;
  int id_;
  QString text_;
  void* data_ = nullptr;
  int imageIndex_ = -1, selectedIndex_ = -1, overlayIndex_ = -1, stateIndex_ = -1;
  QColor color_, fontColor_;
  std::unique_ptr<QFont> font_;
  bool parentColor_ = true, parentFont_ = true;
  bool cut_ = false, dropHighlighted_ = false, hasChildrenMark_ = false, expandedOnce_ = false;
  bool deleting_ = false;
};

class TTreeNTNodes {
 public:
  explicit TTreeNTNodes(TCustomTreeNT* owner);
  ~TTreeNTNodes();

  TCustomTreeNT* Owner() const { return owner_; }
  int Count() const { return shape_.Count(); }
  // By tree-order index; ETreeNTError "Invalid index".
  TTreeNTNode* Item(int index) const;
  TTreeNTNode* GetFirstNode() const { return NodeOf(shape_.FirstRoot()); }
  // A node as last sibling of node (top level when node is null).
  TTreeNTNode* AddObject(TTreeNTNode* node, const QString& text, void* data = nullptr);
  TTreeNTNode* Add(TTreeNTNode* node, const QString& text) { return AddObject(node, text); }
  // A last child of parent (top level when null).
  TTreeNTNode* AddChildObject(TTreeNTNode* parent, const QString& text, void* data = nullptr);
  TTreeNTNode* AddChild(TTreeNTNode* parent, const QString& text) {
    return AddChildObject(parent, text);
  }
  void Delete(TTreeNTNode* node);
  void Clear();
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateCount_ > 0; }
  void Reserve(int count);
  // The nodes in their streamed form (widgets/logic/TreeStream.h), and
  // back: reading replaces every node; ETreeStreamError on damage.
  std::string WriteData() const;
  void ReadData(const std::string& bytes);

  TTreeNTNode* NodeOf(int id) const {
    return id >= 0 ? nodes_[static_cast<size_t>(id)].get() : nullptr;
  }
  const TreeStructure& Shape() const { return shape_; }
  TreeStructure& Shape() { return shape_; }

 private:
  TCustomTreeNT* owner_;
  TreeStructure shape_;
  std::vector<std::unique_ptr<TTreeNTNode>> nodes_;
  int updateCount_ = 0;
  bool clearing_ = false;
};

class TCustomTreeNT : public QAbstractScrollArea {
  Q_OBJECT

 public:
  using TTVAllowEvent = std::function<void(TCustomTreeNT* sender, TTreeNTNode* node, bool& allow)>;
  using TTVNodeEvent = std::function<void(TCustomTreeNT* sender, TTreeNTNode* node)>;
  using TTVCompareEvent =
      std::function<void(TCustomTreeNT* sender, TTreeNTNode* a, TTreeNTNode* b, int& compare)>;
  using TTVEditedEvent =
      std::function<void(TCustomTreeNT* sender, TTreeNTNode* node, QString& text)>;
  using TTVHintEvent = std::function<void(TCustomTreeNT* sender, TTreeNTNode* node, QString& hint)>;
  using TTVPaintEvent = std::function<void(TCustomTreeNT* sender, QPainter& painter)>;
  using TTVItemPaintEvent =
      std::function<void(TCustomTreeNT* sender, QPainter& painter, TTreeNTNode* node,
                         const QRect& rect, TTreeNTDrawState state)>;

  explicit TCustomTreeNT(QWidget* parent = nullptr);
  ~TCustomTreeNT() override;

  TTreeNTNodes& Items() { return *items_; }
  const TTreeNTNodes& Items() const { return *items_; }

  TTreeNTNode* GetSelected() const;
  // Null clears the selection; OnChanging may refuse. The node's ancestors
  // are expanded and the node scrolled into view.
  void SetSelected(TTreeNTNode* node);
  TTreeNTNode* Selected() const { return GetSelected(); }
  TTreeNTNode* TopItem() const;
  void SetTopItem(TTreeNTNode* node);
  TTreeNTNode* DropTarget() const;
  void SetDropTarget(TTreeNTNode* node);
  TTreeNTNode* GetNodeAt(int x, int y) const;
  THitTests GetHitTestInfoAt(int x, int y) const;
  void FullExpand();
  void FullCollapse();
  void AlphaSort();
  bool IsEditing() const;
  // Starts editing the label (not with toReadOnly; OnEditing may refuse).
  bool EditText(TTreeNTNode* node);
  // Scrolls the node's row into view.
  void MakeVisible(TTreeNTNode* node);

  TTreeOptions Options() const { return options_; }
  void SetOptions(TTreeOptions value);
  int Indent() const { return indent_; }
  void SetIndent(int value);
  // -1 (or any value below 1): the default height from the font.
  int ItemHeight() const;
  void SetItemHeight(int value);
  int ScrollTime() const { return scrollTime_; }
  void SetScrollTime(int value);  // never below 100
  TSortType SortType() const { return sortType_; }
  void SetSortType(TSortType value);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  TImageList* StateImages() const { return stateImages_; }
  void SetStateImages(TImageList* images);
  bool AutoScroll = true;
  QString SearchString() const { return search_; }
  // Rows of the viewport, fully shown.
  int VisibleRowCount() const;
  int TopRow() const { return top_; }

  TTVAllowEvent OnExpanding, OnCollapsing, OnChanging, OnEditing, OnSingleExpanded;
  TTVNodeEvent OnExpanded, OnCollapsed, OnChange, OnDeletion, OnGetImageIndex, OnGetSelectedIndex;
  TTVCompareEvent OnCompare;
  TTVEditedEvent OnEdited;
  TTVHintEvent OnHint;
  TTVPaintEvent BeforePaint, AfterPaint;
  TTVItemPaintEvent BeforeItemPaint, AfterItemPaint;

  // Called by nodes and the collection.
  void NodeChanged(TTreeNTNode* node);
  void ShapeChanged();
  void NodeDeleting(TTreeNTNode* node);
  bool Sorts(bool byText) const;
  void SortSiblings(TTreeNTNode* node);
  int Compare(TTreeNTNode* a, TTreeNTNode* b);
  bool DoExpand(TTreeNTNode* node, bool expand);

 signals:
  void clicked();
  void doubleClicked();

 protected:
  virtual TTreeNTNode* CreateNode(int id);
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  // Scrolls while the mouse (or a drag) is near an edge that has more beyond:
  // one row per tick, the interval from 100 ms down by 8 ms a tick (to 4 ms).
  virtual void DoAutoScroll(QPoint pos);
  void AutoScrollTick();
  const QTimer& AutoScrollTimer() const { return autoScroll_; }

 private:
  friend class TTreeNTNodes;
  friend class TTreeNTNode;
  bool eventFilter(QObject* watched, QEvent* event) override;
  struct RowGeometry {
    int levelX, buttonX, stateX, imageX, textX, textW;
  };
  RowGeometry Geometry(int id, const QFontMetrics& fm) const;
  int Rows() const { return items_->Shape().RowCount(); }
  void UpdateScrollBars();
  void SetTop(int row);
  void SelectRow(int row);
  void PaintRow(QPainter& p, int row, int y, const QFontMetrics& fm);
  void FinishEdit(bool accept);
  void ToggleCheck(TTreeNTNode* node);

  std::unique_ptr<TTreeNTNodes> items_;
  int selected_ = TreeStructure::kNone;
  int dropTarget_ = TreeStructure::kNone;
  int hot_ = TreeStructure::kNone;
  int top_ = 0;
  TTreeOptions options_ = toShowLines | toShowRoot;
  int indent_ = 19;
  int itemHeight_ = -1;
  int scrollTime_ = 100;
  TSortType sortType_ = TSortType::stNone;
  QPointer<TImageList> images_, stateImages_;
  QString search_;
  qint64 searchTime_ = 0;
  QTimer autoScroll_;
  int autoScrollTicks_ = 0;
  int autoScrollDir_ = 0;  // -1 up, +1 down
  QLineEdit* editor_ = nullptr;
  int editing_ = TreeStructure::kNone;
  bool settingBars_ = false;
};

class TTreeNT : public TCustomTreeNT {
  Q_OBJECT
 public:
  using TCustomTreeNT::TCustomTreeNT;
};

}  // namespace velmaris

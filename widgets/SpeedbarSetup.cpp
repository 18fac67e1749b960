#include "widgets/SpeedbarSetup.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>

#include "platform/Help.h"
#include "widgets/HelpKey.h"

namespace velmaris {

namespace {

// Draws an item's button image at the cell's left and its caption beside it.
class TButtonRowDelegate : public QStyledItemDelegate {
 public:
  explicit TButtonRowDelegate(TSpeedbarSetupWindow* window)
      : QStyledItemDelegate(window), window_(window) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    TSpeedBar* bar = window_->SpeedBar();
    auto* item = static_cast<TSpeedItem*>(index.data(Qt::UserRole).value<QObject*>());
    const bool selected = option.state & QStyle::State_Selected;
    p->fillRect(option.rect, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    if (!bar || !item) return;
    TButtonImage image;
    image.ButtonSize = bar->BtnSize();
    QPixmap fromList;
    if (bar->Images() && item->ImageIndex() >= 0) {
      fromList = bar->Images()->Image(item->ImageIndex());
    } else {
      image.Glyph().SetGlyph(item->Glyph());
      image.Glyph().SetNumGlyphs(item->NumGlyphs());
    }
    const int x = option.rect.left() + 1;
    const int y = option.rect.top() + (option.rect.height() - bar->BtnHeight()) / 2;
    image.Draw(*p, x, y, item->BtnCaption(), bar->font(), item->Layout(), -1, 1, fromList);
    p->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect text(x + bar->BtnWidth() + 3, option.rect.top(), option.rect.width(),
                     option.rect.height());
    p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, item->Caption());
  }

 private:
  TSpeedbarSetupWindow* window_;
};

}  // namespace

namespace {

// Whether the point lies on the widget and on each of its parents up to its
// window (a parent clips what it holds).
bool Covers(const QWidget* w, QPoint globalPos) {
  for (; w; w = w->isWindow() ? nullptr : w->parentWidget())
    if (!w->rect().contains(w->mapFromGlobal(globalPos))) return false;
  return true;
}

}  // namespace

// The window system says which of the program's windows is on top at the
// point (a window manager's frame or another program's window there is none
// of them); only a bar of that window itself counts, not one of a window it
// owns (a message list or an editor is a window of the main window's, and
// its bar may lie under the main window). A drag copy says nothing of what
// lies under it: when one is still found there, the bars' own geometry
// decides, the active window's bar first, then a bar being customised.
TSpeedBar* FindSpeedBar(QPoint globalPos) {
  QWidget* onTop = QApplication::topLevelAt(globalPos);
  if (onTop && !qobject_cast<TBtnControl*>(onTop)) {
    for (TSpeedBar* bar : onTop->findChildren<TSpeedBar*>())
      if (bar->window() == onTop && bar->isVisible() && Covers(bar, globalPos)) return bar;
    return nullptr;
  }
  if (!onTop) return nullptr;
  TSpeedBar* found = nullptr;
  int foundRank = -1;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible() || top->isMinimized() || qobject_cast<TBtnControl*>(top)) continue;
    for (TSpeedBar* bar : top->findChildren<TSpeedBar*>()) {
      if (bar->window() != top || !bar->isVisible() || !Covers(bar, globalPos)) continue;
      const int rank = (top->isActiveWindow() ? 2 : 0) + (bar->EditingWindow() ? 1 : 0);
      if (rank > foundRank) {
        found = bar;
        foundRank = rank;
      }
    }
  }
  return found;
}

TSpeedbarSetupWindow::TSpeedbarSetupWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint |
                          Qt::WindowTitleHint) {
  setObjectName("SpeedbarSetupWindow");
  setWindowTitle("Customize Speedbar");
  setFixedSize(421, 262);
  auto* bevel = new QFrame(this);
  bevel->setObjectName("Bevel1");
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(8, 4, 329, 212);
  categoriesLabel_ = new QLabel("&Categories:", this);
  categoriesLabel_->setObjectName("CategoriesLabel");
  categoriesLabel_->setGeometry(16, 8, 129, 16);
  sectionList_ = new QListWidget(this);
  sectionList_->setObjectName("SectionList");
  sectionList_->setGeometry(16, 26, 129, 186);
  categoriesLabel_->setBuddy(sectionList_);
  buttonsLabel_ = new QLabel("&Available buttons:", this);
  buttonsLabel_->setObjectName("ButtonsLabel");
  buttonsLabel_->setGeometry(152, 8, 179, 16);
  buttonsList_ = new QListWidget(this);
  buttonsList_->setObjectName("ButtonsList");
  buttonsList_->setGeometry(152, 26, 179, 186);
  buttonsList_->setItemDelegate(new TButtonRowDelegate(this));
  buttonsList_->viewport()->installEventFilter(this);
  buttonsLabel_->setBuddy(buttonsList_);
  hintLabel_ = new QLabel(
      "To add command buttons, drag and drop buttons onto the SpeedBar. To remove command buttons, "
      "drag them off of the SpeedBar.",
      this);
  hintLabel_->setObjectName("HintLabel");
  hintLabel_->setWordWrap(true);
  hintLabel_->setGeometry(8, 218, 405, 42);
  closeBtn_ = new QPushButton("OK", this);
  closeBtn_->setObjectName("CloseBtn");
  closeBtn_->setGeometry(344, 10, 69, 25);
  closeBtn_->setDefault(true);
  helpBtn_ = new QPushButton("&Help", this);
  helpBtn_->setObjectName("HelpBtn");
  helpBtn_->setGeometry(344, 42, 69, 25);
  helpBtn_->setVisible(false);
  connect(closeBtn_, &QPushButton::clicked, this, &QDialog::close);
  connect(helpBtn_, &QPushButton::clicked, this, [this] { platform::ShowHelp(HelpContext); });
  // F1 asks for the same page as the help button (none without a context).
  auto* helpKey = new QAction(this);
  helpKey->setObjectName("HelpKey");
  connect(helpKey, &QAction::triggered, this, [this] { platform::ShowHelp(HelpContext); });
  BindHelpKey(this, 0, helpKey);
  connect(sectionList_, &QListWidget::currentRowChanged, this, [this] { FillButtons(); });
  connect(buttonsList_, &QListWidget::currentRowChanged, this, [this] {
    TSpeedItem* item = SelectedItem();
    setToolTip(item ? item->Hint() : QString());
  });
}

TSpeedbarSetupWindow::~TSpeedbarSetupWindow() {
  delete dragCopy_;
  if (bar_) bar_->SetEditing(nullptr);
}

void TSpeedbarSetupWindow::SetSpeedBar(TSpeedBar* bar) {
  if (bar_ == bar) return;
  if (bar_) bar_->SetEditing(nullptr);
  bar_ = bar;
  if (bar_) bar_->SetEditing(this);
  Measure();
  FillSections();
}

int TSpeedbarSetupWindow::SelectedSection() const { return sectionList_->currentRow(); }

TSpeedItem* TSpeedbarSetupWindow::SelectedItem() const {
  const QListWidgetItem* row = buttonsList_->currentItem();
  return row ? static_cast<TSpeedItem*>(row->data(Qt::UserRole).value<QObject*>()) : nullptr;
}

void TSpeedbarSetupWindow::Measure() {
  const qreal ppi = screen() ? screen()->logicalDotsPerInch() : 96.0;
  const int h = qRound(186 * ppi / 96.0);
  const int rowHeight = (bar_ ? bar_->BtnHeight() : 23) + 2;
  const int rows = std::max(1, std::max(buttonsList_->height(), h) / rowHeight);
  const int height = std::min(h, rowHeight * rows);
  buttonsList_->resize(buttonsList_->width(), height);
  sectionList_->resize(sectionList_->width(), height);
  for (int i = 0; i < buttonsList_->count(); ++i)
    buttonsList_->item(i)->setSizeHint(QSize(0, rowHeight));
  const int textRow = QFontMetrics(sectionList_->font()).height() + 2;
  for (int i = 0; i < sectionList_->count(); ++i)
    sectionList_->item(i)->setSizeHint(QSize(0, textRow));
}

void TSpeedbarSetupWindow::FillSections() {
  const int keep = std::max(0, sectionList_->currentRow());
  const QSignalBlocker block(sectionList_);
  sectionList_->clear();
  if (bar_) {
    const int textRow = QFontMetrics(sectionList_->font()).height() + 2;
    for (int i = 0; i < bar_->SectionCount(); ++i) {
      auto* row = new QListWidgetItem(bar_->Sections(i)->Caption(), sectionList_);
      row->setSizeHint(QSize(0, textRow));
    }
    if (bar_->SectionCount() > 0)
      sectionList_->setCurrentRow(std::min(keep, bar_->SectionCount() - 1));
  }
  FillButtons();
}

void TSpeedbarSetupWindow::FillButtons() {
  const int keep = std::max(0, buttonsList_->currentRow());
  const QSignalBlocker block(buttonsList_);
  buttonsList_->clear();
  const int section = SelectedSection();
  if (bar_ && section >= 0) {
    const int rowHeight = bar_->BtnHeight() + 2;
    for (int i = 0; i < bar_->ItemsCount(section); ++i) {
      auto* row = new QListWidgetItem(buttonsList_);
      row->setData(Qt::UserRole, QVariant::fromValue<QObject*>(bar_->Items(section, i)));
      row->setSizeHint(QSize(0, rowHeight));
    }
    if (buttonsList_->count() > 0)
      buttonsList_->setCurrentRow(std::min(keep, buttonsList_->count() - 1));
  }
  TSpeedItem* item = SelectedItem();
  setToolTip(item ? item->Hint() : QString());
}

bool TSpeedbarSetupWindow::DropItem(TSpeedItem* item, QPoint globalPointer) {
  if (!bar_ || !item || FindSpeedBar(globalPointer) != bar_) return false;
  const QPoint copyTopLeft = globalPointer - QPoint(bar_->BtnWidth(), bar_->BtnHeight());
  if (!bar_->PlaceItem(item, bar_->mapFromGlobal(copyTopLeft), bar_->mapFromGlobal(globalPointer)))
    return false;
  FillButtons();
  return true;
}

void TSpeedbarSetupWindow::EndDrag(QPoint globalPos, bool drop) {
  delete dragCopy_;
  dragCopy_ = nullptr;
  buttonsList_->viewport()->unsetCursor();
  if (drop && dragItem_ && bar_) DropItem(dragItem_, globalPos);
  dragItem_ = nullptr;
  dragging_ = false;
}

bool TSpeedbarSetupWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != buttonsList_->viewport() || !bar_) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(event);
      const QPoint pos = me->position().toPoint();
      if (me->button() != Qt::LeftButton || pos.x() >= bar_->BtnWidth() + 2) break;
      if (QListWidgetItem* row = buttonsList_->itemAt(pos)) buttonsList_->setCurrentItem(row);
      dragging_ = true;
      TSpeedItem* item = SelectedItem();
      if (item && !item->Visible()) {
        dragItem_ = item;
        auto* copy = new TBtnControl(item, bar_->BtnSize());
        copy->FollowCursor(me->globalPosition().toPoint());
        copy->show();
        dragCopy_ = copy;
      }
      return true;
    }
    case QEvent::MouseMove:
      if (dragging_) {
        auto* me = static_cast<QMouseEvent*>(event);
        buttonsList_->viewport()->setCursor(Qt::ForbiddenCursor);
        if (dragCopy_)
          static_cast<TBtnControl*>(dragCopy_)->FollowCursor(me->globalPosition().toPoint());
        return true;
      }
      break;
    case QEvent::MouseButtonRelease:
      if (dragging_) {
        EndDrag(static_cast<QMouseEvent*>(event)->globalPosition().toPoint(), true);
        return true;
      }
      break;
    default: break;
  }
  return QDialog::eventFilter(watched, event);
}

bool TSpeedbarSetupWindow::event(QEvent* event) {
  if (event->type() == TSpeedbarNotifyEvent::EventType()) {
    auto* n = static_cast<TSpeedbarNotifyEvent*>(event);
    if (n->Bar != bar_) return true;
    switch (n->Code) {
      case TSpeedbarNotify::ListsChanged: FillSections(); break;
      case TSpeedbarNotify::BarDestroyed:
        bar_ = nullptr;
        close();
        break;
      case TSpeedbarNotify::SizesChanged: Measure(); break;
      case TSpeedbarNotify::ItemPlaced: break;
    }
    return true;
  }
  return QDialog::event(event);
}

void TSpeedbarSetupWindow::closeEvent(QCloseEvent* event) {
  if (dragging_) EndDrag(QPoint(), false);
  if (bar_) {
    TSpeedBar* bar = bar_;
    bar_ = nullptr;
    bar->SetEditing(nullptr);
  }
  QDialog::closeEvent(event);
}

void TSpeedBar::Customize(int helpContext) {
  TSpeedbarSetupWindow* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* setup = qobject_cast<TSpeedbarSetupWindow*>(w);
    if (setup && setup->SpeedBar() == this) window = setup;
  }
  if (!window) {
    window = new TSpeedbarSetupWindow();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->SetSpeedBar(this);
    CenterWindowOnScreen(window);
  }
  if (helpContext > 0) window->HelpContext = helpContext;
  if (QWidget* help = window->findChild<QWidget*>("HelpBtn"))
    help->setVisible(window->HelpContext > 0);
  window->show();
  if (window->isMinimized()) window->showNormal();
}

}  // namespace velmaris

#include "widgets/PageControl98.h"

#include <QPainter>
#include <QStyleOptionTab>
#include <QStylePainter>

namespace velmaris {

TPageControl98TabBar::TPageControl98TabBar(TPageControl98* control)
    : QTabBar(control), control_(control) {}

QSize TPageControl98TabBar::tabSizeHint(int index) const {
  if (control_->DrawStyle() != TTabDrawStyle::tdOwnerDrawFixed) return QTabBar::tabSizeHint(index);
  QSize s = control_->MeasureTab(index) + QSize(12, 8);
  if (control_->TabPosition() == TTabPosition::tpLeft ||
      control_->TabPosition() == TTabPosition::tpRight)
    s.transpose();
  return s;
}

void TPageControl98TabBar::paintEvent(QPaintEvent* event) {
  if (control_->DrawStyle() != TTabDrawStyle::tdOwnerDrawFixed) return QTabBar::paintEvent(event);
  QStylePainter p(this);
  for (int i = 0; i < count(); ++i) {
    QStyleOptionTab opt;
    initStyleOption(&opt, i);
    p.drawControl(QStyle::CE_TabBarTabShape, opt);
    p.save();
    p.setFont(font());
    control_->DrawTab(p, i, tabRect(i).adjusted(3, 3, -3, -3));
    p.restore();
  }
}

TPageControl98::TPageControl98(QWidget* parent) : QTabWidget(parent) {
  setTabBar(new TPageControl98TabBar(this));
  ApplyStyle();
  connect(this, &QTabWidget::currentChanged, this, [this](int index) {
    if (reverting_) return;
    if (current_ >= 0 && index != current_ && CanChange && !CanChange(this)) {
      reverting_ = true;
      setCurrentIndex(current_);
      reverting_ = false;
      return;
    }
    current_ = index;
    emit change();
  });
}

void TPageControl98::SetImages(TImageList* images) {
  if (images_) disconnect(images_, nullptr, this, nullptr);
  images_ = images;
  if (images_) connect(images_, &TImageList::changed, this, &TPageControl98::ApplyImages);
  ApplyImages();
}

int TPageControl98::TabImage(int index) const {
  return images_ && index >= 0 && index < count() && index < images_->Count() ? index : -1;
}

void TPageControl98::ApplyImages() {
  for (int i = 0; i < count(); ++i) {
    const int image = TabImage(i);
    setTabIcon(i, image >= 0 ? QIcon(images_->Image(image)) : QIcon());
  }
  if (images_) setIconSize(QSize(images_->Width(), images_->Height()));
}

void TPageControl98::tabInserted(int index) {
  QTabWidget::tabInserted(index);
  if (images_) ApplyImages();
}

void TPageControl98::SetTabPosition(TTabPosition value) {
  tabPosition_ = value;
  ApplyStyle();
}
void TPageControl98::SetTabStyle(TTabStyle value) {
  tabStyle_ = value;
  ApplyStyle();
}
void TPageControl98::SetTabJustification(TTabJustification value) {
  justification_ = value;
  ApplyStyle();
}
void TPageControl98::SetHotTrack(bool value) {
  hotTrack_ = value;
  ApplyStyle();
}
void TPageControl98::SetTabType(TTabType value) {
  tabType_ = value;
  ApplyStyle();
}
void TPageControl98::SetMultiSelect(bool value) {
  multiSelect_ = value;
  ApplyStyle();
}
void TPageControl98::SetDrawStyle(TTabDrawStyle value) {
  drawStyle_ = value;
  ApplyStyle();
}

// The styles as the tab bar offers them; a change lays the tabs out anew.
void TPageControl98::ApplyStyle() {
  static const QTabWidget::TabPosition positions[] = {North, South, West, East};
  setTabPosition(positions[static_cast<int>(tabPosition_)]);
  setDocumentMode(tabStyle_ == TTabStyle::tsIE4FlatButtons);
  tabBar()->setDrawBase(tabStyle_ == TTabStyle::tsDefault);
  tabBar()->setExpanding(justification_ == TTabJustification::tjCenterText);
  tabBar()->setAttribute(Qt::WA_Hover, hotTrack_);
  setUsesScrollButtons(tabPosition_ == TTabPosition::tpTop ||
                       tabPosition_ == TTabPosition::tpBottom);
  tabBar()->updateGeometry();
  tabBar()->update();
}

QSize TPageControl98::MeasureTab(int index) const {
  int height = 0, width = 0;
  if (OnMeasureTab) {
    const QFontMetrics fm(font());
    height = fm.height();
    width = fm.horizontalAdvance(tabText(index));
    OnMeasureTab(const_cast<TPageControl98*>(this), widget(index), height, width);
    return {width, height};
  }
  const QFontMetrics fm(font());
  width = fm.horizontalAdvance(tabText(index).remove('&')) +
          (tabPosition_ == TTabPosition::tpBottom ? 20 : 0);
  height = fm.height();
  if (TabImage(index) >= 0) {
    height = images_->Height() + 4;
    width += images_->Width() + 4;
  }
  return {width, height};
}

void TPageControl98::DrawTab(QPainter& p, int index, const QRect& rect) {
  QRect r = rect;
  const QString caption = tabText(index).remove('&');
  const QFontMetrics fm(font());
  if (DefaultDrawing) {
    p.fillRect(r, palette().color(QPalette::Button));
    p.setPen(palette().color(QPalette::ButtonText));
    if (tabPosition_ == TTabPosition::tpTop || tabPosition_ == TTabPosition::tpBottom) {
      if (tabPosition_ == TTabPosition::tpBottom) r.translate(0, -2);
      const int image = TabImage(index);
      if (image >= 0) {
        images_->Draw(p, r.left() + 2, r.top() + 2, image);
        r.setLeft(r.left() + images_->Width() + 4);
      }
      const int x = r.left() + (r.width() - fm.horizontalAdvance(caption)) / 2;
      const int y = r.top() + 1 + (r.height() - fm.height()) / 2;
      p.drawText(x, y + fm.ascent(), caption);
    } else {
      const bool left = tabPosition_ == TTabPosition::tpLeft;
      p.save();
      p.translate(r.center());
      p.rotate(left ? -90 : 90);
      p.drawText(QRect(-r.height() / 2, -r.width() / 2, r.height(), r.width()), Qt::AlignCenter,
                 caption);
      p.restore();
    }
  }
  if (OnDrawTab) OnDrawTab(this, widget(index), p, rect);
}

}  // namespace velmaris

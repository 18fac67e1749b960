// The page control with the newer tab styles: tabs on any side, button and
// flat-button tabs, hot tracking, multiple selection, label justification,
// an image list whose image i goes to tab i, and owner-drawn tabs whose
// default drawing also rotates the captions of vertical tabs. CanChange may
// refuse leaving the current page.
#pragma once

#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <functional>

#include "widgets/ImageList.h"

namespace velmaris {

enum class TTabPosition { tpTop, tpBottom, tpLeft, tpRight };
enum class TTabStyle { tsDefault, tsButtons, tsIE4FlatButtons };
enum class TTabJustification { tjLeftText, tjCenterText };
enum class TTabType { ttDefault, ttOpposite };
enum class TTabDrawStyle { tdDefault, tdOwnerDrawFixed };

class TPageControl98;

class TPageControl98TabBar : public QTabBar {
  Q_OBJECT
 public:
  explicit TPageControl98TabBar(TPageControl98* control);

 protected:
  QSize tabSizeHint(int index) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  TPageControl98* control_;
};

class TPageControl98 : public QTabWidget {
  Q_OBJECT

 public:
  using TDrawTabEvent =
      std::function<void(TPageControl98* page, QWidget* tab, QPainter& painter, const QRect& rect)>;
  using TMeasureTabEvent =
      std::function<void(TPageControl98* page, QWidget* tab, int& height, int& width)>;

  explicit TPageControl98(QWidget* parent = nullptr);

  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  // The image of tab i: i while the list has that many images, else -1.
  int TabImage(int index) const;
  TTabPosition TabPosition() const { return tabPosition_; }
  void SetTabPosition(TTabPosition value);
  TTabStyle TabStyle() const { return tabStyle_; }
  void SetTabStyle(TTabStyle value);
  TTabJustification TabJustification() const { return justification_; }
  void SetTabJustification(TTabJustification value);
  bool HotTrack() const { return hotTrack_; }
  void SetHotTrack(bool value);
  TTabType TabType() const { return tabType_; }
  void SetTabType(TTabType value);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool value);
  TTabDrawStyle DrawStyle() const { return drawStyle_; }
  void SetDrawStyle(TTabDrawStyle value);
  bool DefaultDrawing = true;
  TDrawTabEvent OnDrawTab;
  TMeasureTabEvent OnMeasureTab;
  // Asked before the current page changes; false keeps it.
  std::function<bool(TPageControl98* sender)> CanChange;

  // The default drawing of a tab (then OnDrawTab).
  virtual void DrawTab(QPainter& painter, int index, const QRect& rect);
  QSize MeasureTab(int index) const;

 signals:
  void change();

 protected:
  void tabInserted(int index) override;

 private:
  void ApplyStyle();
  void ApplyImages();

  QPointer<TImageList> images_;
  TTabPosition tabPosition_ = TTabPosition::tpTop;
  TTabStyle tabStyle_ = TTabStyle::tsDefault;
  TTabJustification justification_ = TTabJustification::tjLeftText;
  bool hotTrack_ = false, multiSelect_ = false;
  TTabType tabType_ = TTabType::ttDefault;
  TTabDrawStyle drawStyle_ = TTabDrawStyle::tdDefault;
  int current_ = -1;
  bool reverting_ = false;
};

}  // namespace velmaris

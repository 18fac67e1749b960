// The small window controls: LED, animated symbol, colour button and its
// palette, directory edit, labels and link, splitter bar, page control.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <vector>

#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "widgets/ALed.h"
#include "widgets/AnimatedSymbol.h"
#include "widgets/DirBtn.h"
#include "widgets/PageControl98.h"
#include "widgets/ProLabel.h"
#include "widgets/SplitIt.h"
#include "widgets/VxColorButton.h"

namespace velmaris::test {
namespace {

TEST(ALed, LightsBlinksAndDarkens) {
  TALed led;
  led.SetValue(true);
  ASSERT_NE(led.BlinkTimer(), nullptr);
  EXPECT_EQ(led.Phase(), 0);
  led.Tick();
  EXPECT_EQ(led.Phase(), 1);
  led.SetBlink(false);  // stays lit, steady
  EXPECT_EQ(led.BlinkTimer(), nullptr);
  EXPECT_EQ(led.Phase(), 0);
  led.SetBlink(true);
  led.SetTrueColor(QColor(0, 187, 0));
  EXPECT_NE(led.BlinkTimer(), nullptr);
  led.SetValue(false);
  EXPECT_EQ(led.BlinkTimer(), nullptr);
  EXPECT_EQ(led.Phase(), 1);
}

TEST(AnimatedSymbol, PlaysClosesAndReportsBadClips) {
  TAnimatedSymbol a;
  a.SetAutoPlay(false);
  a.SetAVIName("AVI_1");
  EXPECT_FALSE(a.IsOpen());
  a.SetAutoPlay(true);
  EXPECT_TRUE(a.IsPlaying());
  const int first = a.CurrentFrame();
  a.Step();
  EXPECT_NE(a.CurrentFrame(), first);
  a.SetAutoPlay(false);
  EXPECT_FALSE(a.IsOpen());
  a.SetCycles(0);
  a.SetPlayFrom(2);
  a.SetPlayTo(4);
  a.SetState(TAnimatedState::acmPlaying);
  EXPECT_TRUE(a.LastPlayRequest().sent);
  EXPECT_EQ(a.LastPlayRequest().from, 2);
  EXPECT_EQ(a.LastPlayRequest().to, 4);
  EXPECT_EQ(a.LastPlayRequest().repeat, 0);
  EXPECT_THROW(a.SetAVIName("NO_SUCH_CLIP"), EAnimateError);
}

TEST(AnimatedSymbol, LimitedCyclesStop) {
  TAnimatedSymbol a;
  a.SetAutoPlay(false);
  a.SetState(TAnimatedState::acmPlaying);
  a.SetCycles(1);
  a.SetPlayFrom(0);
  a.SetPlayTo(1);
  a.SetAVIName("MAILER");
  EXPECT_TRUE(a.IsPlaying());
  a.Step();
  a.Step();
  EXPECT_FALSE(a.IsPlaying());
  EXPECT_EQ(a.CurrentFrame(), 1);
}

TEST(VxColorButton, ColorPaletteIndexAndCycling) {
  TVxColorButton b;
  QSignalSpy changes(&b, &TVxColorButton::colorChange);
  b.SetColor(0x0000FF);
  EXPECT_EQ(b.PaletteIndex(), 5);  // cell (1, 2)
  b.SetColor(0x0000FF);
  EXPECT_EQ(changes.count(), 1);
  b.SetColor(0x123456);
  EXPECT_EQ(b.PaletteIndex(), 0);
  b.CycleColors = true;
  b.SetPaletteIndex(20);
  b.Press(0);
  EXPECT_EQ(b.Color(), clBtnFace);  // after the last palette colour: the other colour
  b.Press(0);
  EXPECT_EQ(b.PaletteIndex(), 1);
  EXPECT_EQ(b.Color(), 0xFFFFFFu);
  b.Press(b.width() - 5);  // the arrow part opens the palette
  EXPECT_TRUE(b.DroppedDown());
  b.ClosePalette();
  EXPECT_FALSE(b.DroppedDown());
}

TEST(VxColorButton, PaletteKeysAndChoice) {
  QWidget form;
  auto* b = new TVxColorButton(&form);
  form.show();
  b->SetColor(0x00FF00);
  b->Press(0);
  TVxColorButtonPalette* p = b->PaletteForm();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Selected(), (TPaletteCell{1, 3}));
  QTest::keyClick(p, Qt::Key_Down);
  QTest::keyClick(p, Qt::Key_Down);
  QTest::keyClick(p, Qt::Key_Down);
  EXPECT_EQ(p->Selected(), (TPaletteCell{0, 0}));
  QTest::keyClick(p, Qt::Key_Left);
  EXPECT_EQ(p->Selected(), (TPaletteCell{0, 0}));
  QTest::keyClick(p, Qt::Key_Down);
  QTest::keyClick(p, Qt::Key_Right);
  QTest::keyClick(p, Qt::Key_Return);
  EXPECT_FALSE(b->DroppedDown());
  EXPECT_EQ(b->Color(), 0x000000u);  // (2, 1): black
  b->SetColor(0x654321);
  b->Press(b->width() - 5);
  EXPECT_EQ(b->PaletteForm()->Selected(),
            (TPaletteCell{0, 0}));  // not in the grid: the other colour
  EXPECT_EQ(b->PaletteForm()->OtherColor, 0x654321u);
  QTest::keyClick(b->PaletteForm(), Qt::Key_Escape);
  EXPECT_FALSE(b->DroppedDown());
  // A system colour that shows black opens on black's swatch: Right and Down
  // from there pick (3, 2), yellow.
  ASSERT_EQ(QApplication::palette().color(QPalette::Text), QColor(Qt::black));
  b->SetColor(0x80000008);  // the window text
  b->Press(b->width() - 5);
  EXPECT_EQ(b->PaletteForm()->Selected(), (TPaletteCell{2, 1}));
  QTest::keyClick(b->PaletteForm(), Qt::Key_Right);
  QTest::keyClick(b->PaletteForm(), Qt::Key_Down);
  QTest::keyClick(b->PaletteForm(), Qt::Key_Return);
  EXPECT_EQ(b->Color(), 0x00FFFFu);
}

// Clicks through the window system (the window of w), where a pop-up that
// holds the pointer sees the press first.
void ClickThroughWindow(QWidget* w, QPoint pos) {
  QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, {}, w->mapTo(w->window(), pos));
  QApplication::processEvents();
}

TEST(VxColorButton, APressOutsideClosesThePaletteAndOnTheButtonDoesNotReopenIt) {
  QWidget form;
  form.resize(200, 100);
  auto* b = new TVxColorButton(&form);
  b->move(10, 10);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QPoint arrow(b->width() - 5, 5);
  ClickThroughWindow(b, arrow);
  ASSERT_TRUE(b->DroppedDown());
  EXPECT_EQ(b->PaletteForm()->windowType(), Qt::Popup);
  EXPECT_EQ(QApplication::activePopupWidget(), b->PaletteForm());
  ClickThroughWindow(&form, QPoint(150, 80));
  EXPECT_FALSE(b->DroppedDown());
  // A press on a control beside it closes it and reaches the control.
  auto* box = new QCheckBox("Bold", &form);
  box->setGeometry(120, 70, 70, 20);
  box->show();
  ClickThroughWindow(b, arrow);
  ASSERT_TRUE(b->DroppedDown());
  const QPoint onBox = box->mapTo(&form, QPoint(6, 10));
  QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, onBox);
  QApplication::processEvents();
  EXPECT_FALSE(b->DroppedDown());
  QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, onBox);
  QApplication::processEvents();
  EXPECT_TRUE(box->isChecked());
  ClickThroughWindow(b, arrow);
  ASSERT_TRUE(b->DroppedDown());
  ClickThroughWindow(b, arrow);
  EXPECT_FALSE(b->DroppedDown());  // closed by the press, not opened again by the click
  ClickThroughWindow(b, arrow);
  EXPECT_TRUE(b->DroppedDown());  // the next click opens it
  b->ClosePalette();
  EXPECT_FALSE(b->DroppedDown());
}

// The keys reach the palette whichever of its controls has the focus: the
// arrows move the selection, Return picks, Escape closes.
TEST(VxColorButton, ThePaletteTakesItsKeysWhenItsOtherButtonHasTheFocus) {
  struct Case {
    std::vector<Qt::Key> keys;
    bool open;
    TColor color;
  };
  const Case cases[] = {
      {{Qt::Key_Right, Qt::Key_Return}, false, 0x000000},               // (2, 1): black
      {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, false, 0x00FF00},  // (1, 3)
      {{Qt::Key_Up, Qt::Key_Up, Qt::Key_Escape}, false, 0xFFFFFF},      // closed unchanged
      {{Qt::Key_Left}, true, 0xFFFFFF},                                 // wraps to (4, 1)
  };
  for (const Case& c : cases) {
    QWidget form;
    auto* b = new TVxColorButton(&form);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    b->SetColor(0xFFFFFF);
    b->Press(b->width() - 5);
    TVxColorButtonPalette* p = b->PaletteForm();
    ASSERT_NE(p, nullptr);
    p->OtherButton()->setFocus();
    for (Qt::Key key : c.keys) QTest::keyClick(p->OtherButton(), key);
    EXPECT_EQ(b->DroppedDown(), c.open);
    EXPECT_EQ(b->Color(), c.color);
    if (c.open) {
      EXPECT_EQ(p->Selected(), (TPaletteCell{4, 1}));
      b->ClosePalette();
    }
  }
}

TEST(VxColorButton, CustomColorsLiveInTheRegistryOnlyWithAKey) {
  TempDir dir;
  platform::Registry registry(dir / "Velmaris.reg");
  platform::SetRegistry(&registry);
  {
    QWidget form;
    form.setObjectName("DisplayPage");
    auto* b = new TVxColorButton(&form);
    b->setObjectName("QuoteColor");
    b->CustomColors().SetColor(3, 2, 0x00ABCDEF);
    b->Loaded();
  }
  EXPECT_FALSE(registry.KeyExists("Software\\Colours"));
  {
    QWidget form;
    form.setObjectName("DisplayPage");
    auto* b = new TVxColorButton(&form);
    b->setObjectName("QuoteColor");
    b->CustomColorsKey = "Software\\Colours";
    b->CustomColors().SetColor(3, 2, 0x00ABCDEF);
  }
  const std::string value =
      registry.ReadString("Software\\Colours\\Colors", "DisplayPage.QuoteColor");
  EXPECT_EQ(value.substr(0, 20), "$00FFFFFF,$00FFFFFF,");
  EXPECT_NE(value.find("$00ABCDEF"), std::string::npos);
  {
    QWidget form;
    form.setObjectName("DisplayPage");
    auto* b = new TVxColorButton(&form);
    b->setObjectName("QuoteColor");
    b->CustomColorsKey = "Software\\Colours";
    b->Loaded();
    EXPECT_EQ(b->CustomColors().Color(3, 2), 0x00ABCDEFu);
    EXPECT_EQ(b->CustomColors().Color(3, 1), 0x00FFFFFFu);
  }
  platform::SetRegistry(nullptr);
}

TEST(DirBtn, PathsAreExpandedAndMissingOnesOffered) {
  TempDir dir;
  platform::ScriptedPrompter prompter;
  platform::SetPrompter(&prompter);
  TDirBtn edit;
  QSignalSpy changes(&edit, &TDirBtn::change);
  const QString base = QString::fromStdString(dir.Path());
  edit.SetPath(base.chopped(1));
  EXPECT_EQ(edit.Path(), base);
  EXPECT_EQ(edit.text(), base);
  edit.SetPath(base);
  edit.SetPath(base.chopped(1));
  EXPECT_EQ(changes.count(), 1);

  prompter.Script({platform::mbNo});
  edit.SetPath(base + "missing");
  EXPECT_EQ(edit.Path(), "");
  EXPECT_EQ(prompter.Questions().at(0).text, "Das Verzeichnis \"" +
                                                 (base + "missing").toStdString() +
                                                 "\" existiert nicht. Soll es angelegt werden?");
  EXPECT_FALSE(QDir(base + "missing").exists());

  prompter.Script({platform::mbYes});
  edit.SetPath(base + "made/deeper");
  EXPECT_TRUE(QDir(base + "made/deeper").exists());
  EXPECT_EQ(edit.Path(), base + "made/deeper/");

  const QString old = QDir::currentPath();
  QDir::setCurrent(base);
  edit.SetPath("made");
  EXPECT_EQ(edit.Path(), base + "made/");
  QDir::setCurrent(old);
  platform::SetPrompter(nullptr);
}

TEST(EnhComboBox, SeparatorItemsAreLines) {
  QPalette pal;
  pal.setColor(QPalette::Button, Qt::white);
  pal.setColor(QPalette::Dark, Qt::black);
  pal.setColor(QPalette::Light, Qt::white);
  pal.setColor(QPalette::WindowText, Qt::black);
  auto darkRows = [&](const QString& text) {
    QImage image(80, 16, QImage::Format_RGB32);
    QPainter p(&image);
    DrawEnhComboItem(p, image.rect(), text, pal);
    p.end();
    std::vector<int> rows;
    for (int y = 0; y < 16; ++y) {
      int dark = 0;
      for (int x = 0; x < 80; ++x) dark += qGray(image.pixel(x, y)) < 128;
      if (dark) rows.push_back(dark == 80 ? -y : y);
    }
    return rows;
  };
  EXPECT_EQ(darkRows(kSeparatorItem),
            (std::vector<int>{-7}));  // one full line at the middle, no text
  EXPECT_GT(darkRows("NETMAIL").size(), 3u);
}

TEST(ProLabel, StylesAndAngles) {
  TProLabel label;
  label.SetAngle(370);
  EXPECT_EQ(label.Angle(), 10);
  label.SetShadowStyle(TShadowStyle::ssRaised);
  EXPECT_EQ(label.Shadow().highlightDirection, TDirection::drUpLeft);
  label.SetShadowDepth(3);
  EXPECT_EQ(label.ShadowStyle(), TShadowStyle::ssCustom);
  label.SetOffsetX(4);
  EXPECT_FALSE(label.AutoSize());
}

TEST(ProUrlLabel, OpensOnAReleaseInsideOnly) {
  std::vector<QUrl> opened;
  const TOpenUrlHook old = SetOpenUrlHook([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  TProUrlLabel link;
  link.setText("http://example.org/home");
  link.resize(150, 20);
  link.show();
  QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(link.FontColor(), link.ActivatedColor);
  QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(5, 60));
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(link.FontColor(), link.UnvisitedColor());
  QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl("http://example.org/home"));  // the caption, as URL is empty
  EXPECT_TRUE(link.Visited());
  EXPECT_EQ(link.FontColor(), link.VisitedColor());
  link.URL = "mailto:point@example.org";
  QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(opened.back(), QUrl("mailto:point@example.org"));
  SetOpenUrlHook(old);
}

TEST(SplitIt, ReportsPositionsWithinLimits) {
  struct Case {
    const char* name;
    int min, max, moveTo;
    int reported;
  };
  const Case cases[] = {
      {"NoMove", 0, 0, -1, 100},
      {"MaxZeroStopsAtTheFarEdge", 0, 0, 500, 196},
      {"MinAboveTheLimit", 250, 0, 10, 196},
      {"MaxBelowTheRoom", 0, 150, 500, 150},
      {"NegativeMinIsZero", -40, 0, -300, 0},
  };
  for (const Case& c : cases) {
    QWidget parent;
    parent.resize(300, 200);
    auto* split = new TSplitIt(&parent);
    split->setGeometry(0, 100, 300, 4);
    split->Min = c.min;
    split->Max = c.max;
    parent.show();
    QSignalSpy spy(split, &TSplitIt::split);
    QTest::mousePress(split, Qt::LeftButton, {}, QPoint(5, 0));
    if (c.moveTo != -1) QTest::mouseMove(split, QPoint(5, c.moveTo - 100));
    QTest::mouseRelease(split, Qt::LeftButton, {}, QPoint(5, 0));
    ASSERT_EQ(spy.count(), 1) << c.name;
    EXPECT_EQ(spy.at(0).at(0).toInt(), c.reported) << c.name;
  }
}

TEST(PageControl98, ImagesGoToTheirTabsAndChangesMayBeRefused) {
  TPageControl98 pages;
  TImageList images(16, 16);
  for (int i = 0; i < 3; ++i) {
    QPixmap pm(16, 16);
    pm.fill(QColor(i * 80, 0, 0));
    images.Add(pm);
  }
  for (int i = 0; i < 5; ++i) pages.addTab(new QWidget, QString("Page %1").arg(i));
  pages.SetImages(&images);
  EXPECT_EQ(pages.TabImage(2), 2);
  EXPECT_EQ(pages.TabImage(3), -1);
  EXPECT_FALSE(pages.tabIcon(2).isNull());
  EXPECT_TRUE(pages.tabIcon(4).isNull());
  bool allow = false;
  pages.CanChange = [&](TPageControl98*) { return allow; };
  pages.setCurrentIndex(3);
  EXPECT_EQ(pages.currentIndex(), 0);
  allow = true;
  pages.setCurrentIndex(3);
  EXPECT_EQ(pages.currentIndex(), 3);
  pages.SetTabPosition(TTabPosition::tpLeft);
  EXPECT_EQ(pages.tabPosition(), QTabWidget::West);
}

}  // namespace
}  // namespace velmaris::test

#include "app/SplashWin.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "app/logic/Startup.h"

namespace velmaris {

TSplashWin::TSplashWin(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("SplashWin");
  setFixedSize(180, 321);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 24, 8, 12);
  auto* title = new QLabel(QStringLiteral("Velmaris"), this);
  title->setObjectName("Title");
  QFont titleFont = title->font();
  titleFont.setPointSize(20);
  titleFont.setBold(true);
  title->setFont(titleFont);
  title->setAlignment(Qt::AlignCenter);
  auto* number = new QLabel(QStringLiteral("95"), this);
  number->setObjectName("Number");
  QFont numberFont = titleFont;
  numberFont.setPointSize(40);
  number->setFont(numberFont);
  number->setAlignment(Qt::AlignCenter);
  auto* subtitle = new QLabel(QStringLiteral("FidoNet Point"), this);
  subtitle->setObjectName("Subtitle");
  subtitle->setAlignment(Qt::AlignCenter);
  verInfo_ = new QLabel(this);
  verInfo_->setObjectName("VerInfo");
  verInfo_->setAlignment(Qt::AlignCenter);
  for (QLabel* label : {title, number, subtitle, verInfo_})
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  layout->addWidget(title);
  layout->addWidget(number);
  layout->addWidget(subtitle);
  layout->addStretch(1);
  layout->addWidget(verInfo_);
  FormCreate();
}

void TSplashWin::FormCreate() { verInfo_->setText(QString::fromLatin1(kReleaseText)); }

void TSplashWin::ShowNow() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  show();
  // A window manager maps the window in its own time, and what is painted
  // before that reaches nothing: the splash would stay black and go again
  // unseen while the main window is built. So the events run until the
  // splash has been painted on its exposed window (for a bounded time, in
  // case it is never mapped), and the picture is handed to the display.
  if (!paintedExposed_) {
    QEventLoop loop;
    waitLoop_ = &loop;
    QTimer::singleShot(kExposeWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    waitLoop_ = nullptr;
  }
  QGuiApplication::sync();
}

void TSplashWin::paintEvent(QPaintEvent*) {
  PaintBackground();
  if (windowHandle() && windowHandle()->isExposed()) {
    paintedExposed_ = true;
    if (waitLoop_) waitLoop_->quit();
  }
}

void TSplashWin::PaintBackground() {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0.0, QColor(0x10, 0x30, 0x70));
  gradient.setColorAt(1.0, QColor(0x00, 0x80, 0x80));
  painter.fillRect(rect(), gradient);
  painter.setPen(QColor(0xC0, 0xC0, 0xC0));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velmaris

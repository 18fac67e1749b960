#include "widgets/AnimatedSymbol.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QtMath>

namespace velmaris {

namespace {

struct Clip {
  QPixmap strip;
  int frameWidth = 0;
};

// A spinning wheel of eight spokes in a colour: the built-in clips.
Clip WheelClip(const QColor& color, int spokes) {
  const int size = 32, frames = spokes;
  QPixmap strip(size * frames, size);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  for (int f = 0; f < frames; ++f) {
    for (int s = 0; s < spokes; ++s) {
      QColor c = color;
      c.setAlpha(40 + 215 * ((s + f) % spokes) / spokes);
      p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
      const double a = 2 * M_PI * s / spokes;
      const QPointF centre(f * size + size / 2.0, size / 2.0);
      p.drawLine(centre + QPointF(6 * std::cos(a), 6 * std::sin(a)),
                 centre + QPointF(13 * std::cos(a), 13 * std::sin(a)));
    }
  }
  return {strip, size};
}

QHash<QString, Clip>& Clips() {
  static QHash<QString, Clip> clips = [] {
    QHash<QString, Clip> c;
    const QColor colors[] = {Qt::darkBlue, Qt::darkGreen, Qt::darkRed, Qt::darkCyan,
                             Qt::darkMagenta};
    for (int i = 0; i < 5; ++i)
      c.insert(QStringLiteral("AVI_%1").arg(i + 1), WheelClip(colors[i], 8 + i));
    c.insert(QStringLiteral("MAILER"), WheelClip(Qt::black, 12));
    return c;
  }();
  return clips;
}

}  // namespace

TAnimatedSymbol::TAnimatedSymbol(QWidget* parent) : QWidget(parent) {
  resize(32, 32);
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, &TAnimatedSymbol::Step);
}

void TAnimatedSymbol::RegisterClip(const QString& name, const QPixmap& strip, int frameWidth) {
  Clips().insert(name, {strip, frameWidth});
}

void TAnimatedSymbol::SetPlayFrom(int value) {
  playFrom_ = value;
  Play();
}
void TAnimatedSymbol::SetPlayTo(int value) {
  playTo_ = value;
  Play();
}
void TAnimatedSymbol::SetCycles(int value) {
  cycles_ = value;
  Play();
}

void TAnimatedSymbol::SetState(TAnimatedState value) {
  state_ = value;
  UpdateClip();
}

void TAnimatedSymbol::SetAVIName(const QString& name) {
  aviName_ = name;
  UpdateClip();
}

void TAnimatedSymbol::SetAutoPlay(bool value) {
  if (value == autoPlay_) return;
  autoPlay_ = value;
  UpdateClip();
}

void TAnimatedSymbol::SetCenter(bool value) {
  center_ = value;
  update();
}
void TAnimatedSymbol::SetTransparent(bool value) {
  transparent_ = value;
  update();
}

void TAnimatedSymbol::Close() {
  timer_.stop();
  frames_.clear();
  frame_ = 0;
  update();
}

void TAnimatedSymbol::UpdateClip() {
  if ((!autoPlay_ && state_ == TAnimatedState::acmClosed) || aviName_.isEmpty()) {
    Close();
    return;
  }
  Clip clip;
  if (const auto it = Clips().constFind(aviName_); it != Clips().constEnd()) {
    clip = *it;
  } else if (QFile::exists(aviName_)) {
    clip.strip = QPixmap(aviName_);
    clip.frameWidth = clip.strip.height();
  }
  if (clip.strip.isNull() || clip.frameWidth <= 0) {
    Close();
    throw EAnimateError("Could not open AVI \"" + aviName_.toStdString() +
                        "\"\r\rIt must be a silent AVI file/resource.");
  }
  frames_.clear();
  for (int x = 0; x + clip.frameWidth <= clip.strip.width(); x += clip.frameWidth)
    frames_.push_back(clip.strip.copy(x, 0, clip.frameWidth, clip.strip.height()));
  frame_ = 0;
  timer_.stop();
  if (autoPlay_) {
    first_ = 0;
    last_ = FrameCount() - 1;
    cyclesLeft_ = -1;
    timer_.start();
  }
  Play();
  update();
}

void TAnimatedSymbol::Play() {
  if (state_ != TAnimatedState::acmPlaying || !IsOpen()) return;
  request_ = {playFrom_, playTo_, cycles_, true};
  first_ = std::clamp(playFrom_, 0, FrameCount() - 1);
  last_ = playTo_ < 0 ? FrameCount() - 1 : std::clamp(playTo_, first_, FrameCount() - 1);
  cyclesLeft_ = cycles_;
  frame_ = first_;
  if (cycles_ == 0) {
    timer_.stop();
  } else {
    timer_.start();
  }
  update();
}

void TAnimatedSymbol::Step() {
  if (!IsOpen()) return;
  if (frame_ >= last_) {
    if (cyclesLeft_ > 0 && --cyclesLeft_ == 0) {
      timer_.stop();
      return;
    }
    frame_ = first_;
  } else {
    ++frame_;
  }
  update();
}

void TAnimatedSymbol::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!transparent_) p.fillRect(rect(), palette().color(QPalette::Window));
  if (!IsOpen()) return;
  const QPixmap& f = frames_[static_cast<size_t>(std::clamp(frame_, 0, FrameCount() - 1))];
  const QPoint at =
      center_ ? QPoint((width() - f.width()) / 2, (height() - f.height()) / 2) : QPoint();
  p.drawPixmap(at, f);
}

}  // namespace velmaris

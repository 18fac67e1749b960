// A busy sign: a strip of equal frames played by a timer. The clip is an
// image file whose frames lie side by side (square frames of the image's
// height) or the name of a built-in clip ("AVI_1" .. "AVI_5", "MAILER").
//
// With AutoPlay the clip plays by itself, without end, once it is open;
// with State acmPlaying it plays PlayFrom .. PlayTo (-1: the last frame)
// Cycles times (-1: without end). Without AutoPlay and with State acmClosed,
// or without a clip name, nothing is shown.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <stdexcept>
#include <vector>

namespace velmaris {

class EAnimateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TAnimatedState { acmOpen, acmClosed, acmPlaying };

class TAnimatedSymbol : public QWidget {
  Q_OBJECT

 public:
  explicit TAnimatedSymbol(QWidget* parent = nullptr);

  // Registers a clip under a name (frames side by side, each frameWidth wide).
  static void RegisterClip(const QString& name, const QPixmap& strip, int frameWidth);

  int PlayFrom() const { return playFrom_; }
  void SetPlayFrom(int value);
  int PlayTo() const { return playTo_; }
  void SetPlayTo(int value);
  int Cycles() const { return cycles_; }
  void SetCycles(int value);
  TAnimatedState State() const { return state_; }
  void SetState(TAnimatedState value);
  QString AVIName() const { return aviName_; }
  // Raises EAnimateError when the clip cannot be opened.
  void SetAVIName(const QString& name);
  bool AutoPlay() const { return autoPlay_; }
  void SetAutoPlay(bool value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);

  bool IsOpen() const { return !frames_.empty(); }
  bool IsPlaying() const { return timer_.isActive(); }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  int CurrentFrame() const { return frame_; }
  // The last play request: first and last frame and the repeat count.
  struct PlayRequest {
    int from = 0, to = -1, repeat = -1;
    bool sent = false;
  };
  const PlayRequest& LastPlayRequest() const { return request_; }
  // Shows the next frame, as the timer does.
  void Step();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateClip();
  void Play();
  void Close();

  int playFrom_ = 0, playTo_ = -1, cycles_ = -1;
  TAnimatedState state_ = TAnimatedState::acmClosed;
  QString aviName_;
  bool autoPlay_ = true, center_ = true, transparent_ = true;
  std::vector<QPixmap> frames_;
  QTimer timer_;
  int frame_ = 0, first_ = 0, last_ = 0, cyclesLeft_ = -1;
  PlayRequest request_;
};

}  // namespace velmaris

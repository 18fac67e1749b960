#include "mailer/LineShaper.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Files.h"

namespace velmaris {

namespace {
constexpr size_t kChunk = 4096;
constexpr size_t kMaxBuffered = 4096;
}  // namespace

TThrottle::TThrottle(uint32_t bitsPerSecond)
    : bytesPerSecond_(bitsPerSecond / 10.0),
      // A tenth of a second of line time, at least one byte: what a modem
      // buffers, so a relay that was not scheduled for a moment catches up
      // and the line keeps its rate.
      burst_(std::max(1.0, bitsPerSecond / 10.0 / 10.0)),
      last_(Clock::now()) {}

void TThrottle::Refill(Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - last_).count();
  last_ = now;
  credit_ = std::min(burst_, credit_ + seconds * bytesPerSecond_);
}

size_t TThrottle::Allowance(Clock::time_point now) {
  if (!Limited()) return kChunk;
  Refill(now);
  return credit_ >= 1 ? static_cast<size_t>(credit_) : 0;
}

std::chrono::milliseconds TThrottle::UntilNext(Clock::time_point now) {
  if (!Limited()) return std::chrono::milliseconds(0);
  Refill(now);
  if (credit_ >= 1) return std::chrono::milliseconds(0);
  const double ms = (1 - credit_) / bytesPerSecond_ * 1000.0;
  return std::chrono::milliseconds(static_cast<int64_t>(ms) + 1);
}

void TNoise::Apply(std::string& bytes) {
  if (perMillion_ == 0) return;
  std::uniform_int_distribution<uint32_t> chance(0, 999999);
  std::uniform_int_distribution<int> bit(0, 7);
  for (char& c : bytes) {
    if (chance(random_) < perMillion_) c = static_cast<char>(c ^ (1 << bit(random_)));
  }
}

std::string THeaderDamage::Pass(std::string_view piece) {
  static constexpr std::string_view kZEof =
      "**\x18"
      "B0b";
  if (left_ <= 0 && held_.empty()) return std::string(piece);
  std::string bytes = std::exchange(held_, {});
  bytes += piece;
  for (size_t at = bytes.find(kZEof); left_ > 0 && at != std::string::npos;
       at = bytes.find(kZEof, at + 1)) {
    bytes[at + 2] = static_cast<char>(bytes[at + 2] ^ 1);
    --left_;
  }
  if (left_ <= 0) return bytes;
  for (size_t keep = std::min(kZEof.size() - 1, bytes.size()); keep > 0; --keep) {
    if (std::string_view(bytes).substr(bytes.size() - keep) == kZEof.substr(0, keep)) {
      held_ = bytes.substr(bytes.size() - keep);
      bytes.resize(bytes.size() - keep);
      break;
    }
  }
  return bytes;
}

TLineRelay::TLineRelay(int aRead, int aWrite, int bRead, int bWrite, const TLineShape& shape)
    : aRead_(aRead),
      aWrite_(aWrite),
      bRead_(bRead),
      bWrite_(bWrite),
      toB_(shape, 0, shape.damageZEofToB),
      toA_(shape, 1, 0) {}

TLineRelay::State TLineRelay::Step(std::chrono::milliseconds limit) {
  const auto now = TThrottle::Clock::now();
  struct Leg {
    int from, to;
    Direction* d;
    bool fromA;
  } legs[2] = {{aRead_, bWrite_, &toB_, true}, {bRead_, aWrite_, &toA_, false}};
  pollfd fds[4];
  int n = 0;
  int readIx[2] = {-1, -1}, writeIx[2] = {-1, -1};
  auto wait = limit;
  for (int i = 0; i < 2; ++i) {
    Direction& d = *legs[i].d;
    if (!d.sourceEnded && d.buffer.size() < kMaxBuffered) {
      if (d.throttle.Allowance(now) > 0) {
        readIx[i] = n;
        fds[n++] = {legs[i].from, POLLIN, 0};
      } else {
        wait = std::min(wait, d.throttle.UntilNext(now));
      }
    }
    if (!d.buffer.empty() && !d.sinkGone) {
      writeIx[i] = n;
      fds[n++] = {legs[i].to, POLLOUT, 0};
    }
  }
  const int r = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(wait.count()));
  if (r < 0 && errno != EINTR) return State::AEnded;
  for (int i = 0; r > 0 && i < 2; ++i) {
    Direction& d = *legs[i].d;
    if (readIx[i] >= 0 && fds[readIx[i]].revents) {
      const size_t room = std::min(
          {kChunk, kMaxBuffered - d.buffer.size(), d.throttle.Allowance(TThrottle::Clock::now())});
      std::string chunk(room, '\0');
      const ssize_t got = room ? ::read(legs[i].from, chunk.data(), room) : 0;
      if (got > 0) {
        chunk.resize(static_cast<size_t>(got));
        if (d.throttle.Limited()) d.throttle.Consume(chunk.size());
        const auto& seen = legs[i].fromA ? OnFromA : OnFromB;
        if (seen) seen(chunk);
        chunk = d.damage.Pass(chunk);
        d.noise.Apply(chunk);
        d.buffer += chunk;
      } else if (room && (got == 0 || (errno != EAGAIN && errno != EINTR))) {
        d.sourceEnded = true;
        d.buffer += d.damage.Flush();
      }
    }
    if (writeIx[i] >= 0 && fds[writeIx[i]].revents) {
      const ssize_t put =
          platform::WriteNoSignal(legs[i].to, d.buffer.data(), d.buffer.size());
      if (put > 0) {
        d.buffer.erase(0, static_cast<size_t>(put));
      } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
        d.sinkGone = true;
      }
    }
  }
  // A side has ended when it stopped sending (and what it sent is through)
  // or when nothing can be written to it any more.
  if ((toB_.sourceEnded && (toB_.buffer.empty() || toB_.sinkGone)) || toA_.sinkGone) {
    return State::AEnded;
  }
  if ((toA_.sourceEnded && (toA_.buffer.empty() || toA_.sinkGone)) || toB_.sinkGone) {
    return State::BEnded;
  }
  return State::Running;
}

}  // namespace velmaris

// What a modem line does to the bytes between two ends: a rate limit (the
// line's bits per second, ten bits per byte as on an asynchronous line) and
// seeded noise (a byte now and then with one bit flipped). The fake modem
// and the loopback device pair both relay through TLineRelay, so protocol
// tests see the same line with or without a pty.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <utility>

namespace velmaris {

struct TLineShape {
  uint32_t bitsPerSecond = 0;    // 0: as fast as the ends go
  uint32_t noisePerMillion = 0;  // bytes per million that get a flipped bit
  uint64_t seed = 1;
  // The first so many ZModem ZEOF headers from side a to side b are lost:
  // their ZDLE gets a flipped bit, so the receiver sees no header at all.
  // A fault made on purpose where a test needs that header lost.
  int damageZEofToB = 0;
};

// Finds ZModem ZEOF hex headers ("**", ZDLE, "B0b") in a stream of bytes,
// also across pieces, and flips a bit in their ZDLE while it has headers
// left to damage. A piece that ends in what may be the start of such a
// header keeps that end back until the next piece decides it.
class THeaderDamage {
 public:
  explicit THeaderDamage(int count) : left_(count) {}
  // The bytes that may go on now.
  std::string Pass(std::string_view piece);
  // What is still kept back (the stream has ended).
  std::string Flush() { return std::exchange(held_, {}); }

 private:
  int left_;
  std::string held_;
};

// A token bucket of bytes: at most a few milliseconds' worth may burst.
class TThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  explicit TThrottle(uint32_t bitsPerSecond);
  // Bytes that may pass now (unlimited: a large number).
  size_t Allowance(Clock::time_point now);
  void Consume(size_t bytes) { credit_ -= static_cast<double>(bytes); }
  // How long until one more byte may pass.
  std::chrono::milliseconds UntilNext(Clock::time_point now);
  bool Limited() const { return bytesPerSecond_ > 0; }

 private:
  void Refill(Clock::time_point now);
  double bytesPerSecond_;
  double burst_;
  double credit_ = 0;
  Clock::time_point last_;
};

class TNoise {
 public:
  TNoise(uint32_t perMillion, uint64_t seed) : perMillion_(perMillion), random_(seed) {}
  void Apply(std::string& bytes);  // changes bytes in place

 private:
  uint32_t perMillion_;
  std::mt19937_64 random_;
};

// Relays between two sides, each direction through its own throttle and
// noise. A side is a descriptor to read and one to write (the same one for a
// socket or a pty, two pipes for a child program), all non-blocking. Bytes
// are read from a side only as fast as the line carries them, so a fast
// writer meets flow control.
class TLineRelay {
 public:
  enum class State { Running, AEnded, BEnded };
  TLineRelay(int a, int b, const TLineShape& shape) : TLineRelay(a, a, b, b, shape) {}
  TLineRelay(int aRead, int aWrite, int bRead, int bWrite, const TLineShape& shape);
  // One round: waits at most `limit` for something to do. A side that ended
  // (end of file, an error) is reported once what it sent has been passed on.
  State Step(std::chrono::milliseconds limit);
  // See every byte read from side a (escape detection) or side b, before
  // the noise; a byte read has been taken by the line.
  std::function<void(std::string_view)> OnFromA, OnFromB;
  // Bytes still waiting to be written to side b or side a.
  size_t PendingToB() const { return toB_.buffer.size(); }
  size_t PendingToA() const { return toA_.buffer.size(); }
  // Takes the bytes waiting to be written to side b (they are the caller's
  // to pass on now).
  std::string TakePendingToB() { return std::exchange(toB_.buffer, {}) + toB_.damage.Flush(); }

 private:
  struct Direction {
    Direction(const TLineShape& s, uint64_t seedOffset, int damageZEof)
        : throttle(s.bitsPerSecond),
          noise(s.noisePerMillion, s.seed + seedOffset),
          damage(damageZEof) {}
    TThrottle throttle;
    TNoise noise;
    THeaderDamage damage;
    std::string buffer;
    bool sourceEnded = false;
    bool sinkGone = false;
  };
  int aRead_, aWrite_, bRead_, bWrite_;
  Direction toB_, toA_;
};

}  // namespace velmaris

// Window and thread messages between the program and its plug-ins, carried
// over Unix-domain sockets of the kind SOCK_SEQPACKET, so that every message
// is one frame: 16 bytes, four 32-bit little-endian numbers
//
//   offset 0   message number
//   offset 4   id of the thread the message is for (0: the main window)
//   offset 8   first parameter
//   offset 12  second parameter
//
// A packet of any other length is garbage. The listening socket lies in the
// private runtime folder (platform/SharedMem.h); every accepted peer must run
// as the same user (SO_PEERCRED), else it is turned away.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Files.h"

namespace velmaris::platform {

struct TThreadMessage {
  uint32_t Msg = 0;
  uint32_t Thread = 0;
  uint32_t WParam = 0;
  uint32_t LParam = 0;

  static constexpr size_t kSize = 16;
  std::array<uint8_t, kSize> Encode() const;
  // Only a packet of exactly kSize bytes decodes.
  static std::optional<TThreadMessage> Decode(const uint8_t* data, size_t size);
  bool operator==(const TThreadMessage&) const = default;
};

// The id the kernel gives the calling thread; names blocks and addresses
// thread messages.
uint32_t CurrentThreadId();

class TMessageSocket {
 public:
  enum class Result { Ok, Timeout, Closed, Garbage, Woken };

  TMessageSocket() = default;
  explicit TMessageSocket(Fd fd) : fd_(std::move(fd)) {}
  // Connects to the listening socket at path; not ok() on failure.
  static TMessageSocket Connect(const std::string& path);

  bool ok() const { return fd_.ok(); }
  int fd() const { return fd_.get(); }
  // False when the peer is gone.
  bool Send(const TThreadMessage& message);
  // Waits at most `limit` for one frame (a negative limit waits without
  // one); a byte on wakeFd ends the wait early with Woken (the byte stays).
  Result Receive(TThreadMessage& message, std::chrono::milliseconds limit, int wakeFd = -1);
  // Ends both directions: a thread blocked in Receive returns Closed.
  void Shutdown();
  // The peer process runs as this user.
  bool PeerIsSameUser() const;
  // The peer's process id (0 when unknown).
  int PeerPid() const;

 private:
  Fd fd_;
};

// A listening socket at path (a stale socket file there is replaced).
class TMessageListener {
 public:
  explicit TMessageListener(const std::string& path);  // raises EFile
  ~TMessageListener();
  TMessageListener(const TMessageListener&) = delete;
  TMessageListener& operator=(const TMessageListener&) = delete;

  const std::string& Path() const { return path_; }
  // Waits at most `limit` for a peer; not ok() when none came or the
  // listener was shut down.
  TMessageSocket Accept(std::chrono::milliseconds limit);
  // Wakes a thread blocked in Accept for good.
  void Shutdown();

 private:
  std::string path_;
  Fd fd_;
  Fd wake_[2];
};

}  // namespace velmaris::platform

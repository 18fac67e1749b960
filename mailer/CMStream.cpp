#include "mailer/CMStream.h"

#include <algorithm>
#include <cassert>
#include <thread>

namespace velmaris {

namespace {
constexpr size_t kMaxBlock = 16384;
}

TCMStreamDevice::TCMStreamDevice(platform::Dispatcher& dispatcher)
    : TCMConnectionDevice(dispatcher), events_(std::make_unique<TCOMEventThread>(*this)) {}

TCMStreamDevice::~TCMStreamDevice() {
  ShutDown();
  CloseCommPort();
}

void TCMStreamDevice::AssertMainThread() const {
  assert(Dispatcher().IsMainThread() && "device state changes on the main thread only");
}

void TCMStreamDevice::ShutDown() {
  SetDestroying();
  events_->Stop();
}

bool TCMStreamDevice::IsOutputEmpty() const { return !connected_ || writeChannel_.IsEmpty(); }

platform::Event* TCMStreamDevice::GetOutputEmptyEvent() {
  return connected_ ? &writeChannel_.Empty() : nullptr;
}

int TCMStreamDevice::GetOutputCount() const { return static_cast<int>(writeChannel_.Count()); }

int TCMStreamDevice::SendData(const char* buffer, size_t length) {
  TCMDevice::SendData(buffer, length);
  if (!connected_ || length == 0) return 0;
  output_.Handed(length);
  for (size_t pos = 0; pos < length; pos += kMaxBlock) {
    writeChannel_.Put(TDataPacket(buffer + pos, std::min(kMaxBlock, length - pos)));
  }
  return static_cast<int>(length);
}

int64_t TCMStreamDevice::SendPositionOnLine() {
  return output_.PositionGone([this](int fd, uint64_t written) { return BytesGone(fd, written); });
}

void TCMStreamDevice::SetReadSize(int value) {
  readSize_ = value;
  std::lock_guard lock(ioMutex_);
  if (reader_) {
    auto* reader = static_cast<TReadThread*>(reader_.get());
    reader->SetReadSize(value);
    readSize_ = reader->ReadSize();
  }
}

void TCMStreamDevice::OpenCommPort(int fd) {
  std::lock_guard lock(ioMutex_);
  events_->NewCall();
  output_.Open(fd, lineBytesPerSecond_);
  writer_ = std::make_unique<TWriteThread>(*events_, fd, writeChannel_, output_);
  writer_->Start();
  auto reader = std::make_unique<TReadThread>(*events_, fd);
  reader->SetReadSize(readSize_);
  readSize_ = reader->ReadSize();
  reader_ = std::move(reader);
  reader_->Start();
}

bool TCMStreamDevice::LineEnded() {
  if (events_->CallFailed()) return true;  // nothing more leaves
  std::lock_guard lock(ioMutex_);
  return !writer_ || writer_->Finished();
}

TOutputCount::TState TCMStreamDevice::OutputState() {
  return output_.State([this](int fd, uint64_t written) { return BytesGone(fd, written); });
}

void TCMStreamDevice::DropOutput() {
  {
    std::lock_guard lock(ioMutex_);
    if (writer_) {
      static_cast<TWriteThread*>(writer_.get())->Drop();
    } else {
      size_t dropped = 0;
      for (TDataPacket packet; writeChannel_.Get(packet, std::chrono::milliseconds(0));)
        dropped += packet.size();
      output_.Dropped(dropped);
    }
  }
  output_.Cut();
}

void TCMStreamDevice::DrainOutput() {
  AssertMainThread();
  drainWaits_ = 0;
  if (Destroying()) return;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const int64_t perSecond = lineBytesPerSecond_;
  for (;;) {
    if (LineEnded()) return;
    const TOutputCount::TState s = OutputState();
    const auto now = Clock::now();
    bool done = s.drained;
    std::string why;
    if (s.cut) {
      // The abort frames: written, and their own time on the line (what was
      // on its way before them is not waited for).
      if (perSecond > 0) {
        done = done && now >= s.lastWrite + std::chrono::microseconds(
                                                static_cast<int64_t>(s.writtenSinceCut) * 1000000 /
                                                perSecond);
      }
      if (!done && now - start >= CutDrainLimit) why = "the abort did not leave in time";
    } else if (EndMargin.count() > 0) {
      done = done && now >= std::max(s.lineClear, s.lastWrite) + EndMargin;
      // Nothing could be written for a margin's time: the far end stopped
      // reading, and waiting longer would let it hold the line.
      if (!done && !s.drained && now - std::max(start, s.lastWrite) >= EndMargin)
        why = "the line does not take the output";
    }
    if (done) return;
    if (why.empty() && now - start >= DrainLimit) why = "the output did not drain";
    if (!why.empty()) {
      WriteLogLine("Hang-up: " + why + ", " + std::to_string(GetOutputCount()) + " blocks left");
      return;
    }
    ++drainWaits_;
    Dispatcher().ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void TCMStreamDevice::CloseCommPort() {
  std::unique_ptr<TIOThread> reader, writer;
  {
    std::lock_guard lock(ioMutex_);
    reader = std::move(reader_);
    writer = std::move(writer_);
  }
  StopIOThread(reader);
  StopIOThread(writer);
  output_.Close();
  TDataPacket dropped;
  while (writeChannel_.Get(dropped, std::chrono::milliseconds(0))) {
  }
}

}  // namespace velmaris

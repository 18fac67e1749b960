#include "core/SerialCounter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/WinRegistry.h"
#include "platform/Files.h"

namespace velmaris {

TSerialCounter::TSerialCounter(uint32_t seed) : next_(seed == 0 ? 1 : seed) {}

uint32_t TSerialCounter::Next() {
  uint32_t value = next_.load();
  for (;;) {
    const uint32_t handed = value == 0 ? 1 : value;
    uint32_t after = handed + 1;
    if (after == 0) after = 1;
    if (next_.compare_exchange_weak(value, after)) return handed;
  }
}

uint32_t TSerialCounter::Peek() const {
  const uint32_t value = next_.load();
  return value == 0 ? 1 : value;
}

void TSerialCounter::RaiseAbove(uint32_t lastUsed) {
  if (lastUsed == UINT32_MAX) return;  // nothing lies above; keep counting
  const uint32_t wanted = lastUsed + 1;
  uint32_t value = next_.load();
  while (value < wanted && !next_.compare_exchange_weak(value, wanted)) {
  }
}

void TSerialCounter::Reset(uint32_t seed) { next_.store(seed == 0 ? 1 : seed); }

void TSerialCounter::LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                                      const std::string& name) {
  const uint32_t none = 0;
  const uint32_t stored =
      static_cast<uint32_t>(registry.ReadInteger(section, name, static_cast<int32_t>(none)));
  if (stored != 0) RaiseAbove(stored);
}

void TSerialCounter::SaveToRegistry(TWinRegistry& registry, const std::string& section,
                                    const std::string& name) const {
  const uint32_t stored = static_cast<uint32_t>(registry.ReadInteger(section, name, 0));
  const uint32_t last = LastUsed();
  registry.WriteInteger(section, name, static_cast<int32_t>(last > stored ? last : stored));
}

uint32_t SerialTimeBase(TDateTime time) {
  TDateTimeParts p;
  try {
    p = DecodeDateTime(time);
  } catch (const EDateTimeError&) {
    return 0;
  }
  uint32_t v = static_cast<uint32_t>(p.Month) * 32u + static_cast<uint32_t>(p.Day);
  v = v * 24u + static_cast<uint32_t>(p.Hour);
  v = v * 60u + static_cast<uint32_t>(p.Minute);
  v = v * 60u + static_cast<uint32_t>(p.Second);
  return v;
}

uint32_t FileSerialSeed(TDateTime time) { return SerialTimeBase(time) * 10u; }
uint32_t MsgIdSerialSeed(TDateTime time) { return SerialTimeBase(time) << 7; }

TDateTime ProgramStartTime() {
  static const TDateTime start = Now();
  return start;
}

TSerialCounter& FileSerial() {
  static TSerialCounter counter(FileSerialSeed(ProgramStartTime()));
  return counter;
}

TSerialCounter& MsgIdSerial() {
  static TSerialCounter counter(MsgIdSerialSeed(ProgramStartTime()));
  return counter;
}

void LoadSerialsFromRegistry(TWinRegistry& registry) {
  FileSerial().LoadFromRegistry(registry, kSerialSection, kFileSerialValue);
  MsgIdSerial().LoadFromRegistry(registry, kSerialSection, kMsgIdSerialValue);
}

void SaveSerialsToRegistry(TWinRegistry& registry) {
  FileSerial().SaveToRegistry(registry, kSerialSection, kFileSerialValue);
  MsgIdSerial().SaveToRegistry(registry, kSerialSection, kMsgIdSerialValue);
}

std::string NextSerialHex(TSerialCounter& counter) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", counter.Next());
  return text;
}

TSerialFile CreateSerialFile(const std::string& dir, const std::string& extension,
                             TSerialCounter& counter,
                             const std::function<void(const std::string&)>& beforeCreate) {
  // Each refused name costs one serial; give up after a bounded number of
  // names (a directory full of our names, or one we cannot write into).
  constexpr int kAttempts = 4096;
  for (int i = 0; i < kAttempts; ++i) {
    const std::string name = NextSerialHex(counter) + extension;
    if (platform::FindNoCase(dir, name)) continue;
    const std::string path = platform::JoinPath(dir, name);
    if (beforeCreate) beforeCreate(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return TSerialFile{platform::Fd(fd), path, name};
    if (errno != EEXIST) return {};
  }
  return {};
}

}  // namespace velmaris

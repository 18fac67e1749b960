// The two process-wide serial counters: the MSGID serial of composed
// messages and the file serial that names *.MSG and packet files. Both are
// seeded from the start time; so that a restart (or a clock set back, or the
// same day a year later) never hands out a value again, each is also kept
// above the last value used in an earlier run, which the configuration
// stores (LoadFromRegistry at start, SaveToRegistry at the end).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/DateTimeUtil.h"
#include "platform/Files.h"

namespace velmaris {

class TWinRegistry;

class TSerialCounter {
 public:
  explicit TSerialCounter(uint32_t seed = 1);

  // Returns the counter and adds 1. 0 is never handed out (it means "no
  // serial" in the header records); the counter steps over it when it wraps.
  uint32_t Next();
  // The value the next call of Next returns.
  uint32_t Peek() const;
  // The last value handed out (or the one before the seed when none was).
  uint32_t LastUsed() const { return Peek() - 1; }
  // Moves the counter to lastUsed + 1 when it lies at or below lastUsed.
  void RaiseAbove(uint32_t lastUsed);
  // Starts again from seed (tests, and the start of the program).
  void Reset(uint32_t seed);

  // The registry value holds the last value used. Loading raises the counter
  // above it (a missing value changes nothing); saving writes LastUsed(),
  // never less than what the value already holds.
  void LoadFromRegistry(TWinRegistry& registry, const std::string& section,
                        const std::string& name);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section,
                      const std::string& name) const;

 private:
  std::atomic<uint32_t> next_;
};

// Where the configuration keeps the last values used.
inline constexpr const char* kSerialSection = "Serials";
inline constexpr const char* kFileSerialValue = "LastFileSerial";
inline constexpr const char* kMsgIdSerialValue = "LastMsgIdSerial";

// ((((month * 32 + day) * 24 + hour) * 60 + minute) * 60 + second), in 32 bits.
uint32_t SerialTimeBase(TDateTime time);
// The file serial seed: the time base * 10.
uint32_t FileSerialSeed(TDateTime time);
// The MSGID serial seed: the time base shifted left by 7 bits.
uint32_t MsgIdSerialSeed(TDateTime time);

// The local time when the program started (when this unit was first used).
TDateTime ProgramStartTime();

TSerialCounter& FileSerial();
TSerialCounter& MsgIdSerial();
// Both counters' last values from and to the configuration.
void LoadSerialsFromRegistry(TWinRegistry& registry);
void SaveSerialsToRegistry(TWinRegistry& registry);

// The next value of the counter as 8 upper-case hexadecimal digits.
std::string NextSerialHex(TSerialCounter& counter = FileSerial());

// A new file dir + serial + extension, created exclusively (O_EXCL): a name
// that exists already, in any letter case, is never overwritten; the next
// serial is taken instead. Fd is open for writing (the caller closes it);
// -1 with an empty path when no file could be created.
struct TSerialFile {
  platform::Fd Fd;  // not open when creation failed
  std::string Path;
  std::string Name;  // serial + extension
};
// beforeCreate, when given, is told each path just before it is created
// (so that a caller can record it first); it may raise, which ends the call.
TSerialFile CreateSerialFile(const std::string& dir, const std::string& extension,
                             TSerialCounter& counter = FileSerial(),
                             const std::function<void(const std::string&)>& beforeCreate = {});

}  // namespace velmaris

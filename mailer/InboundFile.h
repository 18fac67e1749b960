// One file arriving from a remote system into the inbound directory.
//
// The remote's name is used only when it is a bare file name: no "/" or
// "\", no drive (":"), no "..", no control characters, at most 255 bytes.
// The file is written under a temporary name made of its date and size as
// eight hexadecimal digits each, the name and ".Transmission", so a call
// cut in the middle leaves a partial file that the next offer of the same
// file (same date, size and name) resumes. Only a complete file gets its
// own name, by a rename that never overwrites: when the name is taken, the
// next free one ("name_1.ext", "name_2.ext", ...) is used.
//
// States: closed -> open [Start] -> closed [Finish: renamed | Keep: the
// partial file stays for resume].
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Files.h"

namespace velmaris {

// The longest file name the file system takes, in bytes.
constexpr size_t kMaxFileNameBytes = 255;

// Largest size a remote may announce (the protocols' sizes are 32-bit).
constexpr int64_t kMaxInboundSize = 0x7FFFFFFF;

// The name when it is safe to use in the inbound directory, else nothing.
std::optional<std::string> SafeRemoteName(std::string_view offered);
// "<date as 8 hex>.<size as 8 hex>.<name>.Transmission"
std::string TransmissionName(int64_t unixDate, int64_t size, const std::string& name);
// The first of name, name_1, name_2, ... (before the extension) that does not
// exist in dir, cut so that it stays within kMaxFileNameBytes.
std::string NextFreeName(const std::string& dir, const std::string& name);

class TInboundFile {
 public:
  enum class Result { Created, Resumed, Refused, Failed };
  ~TInboundFile() { Keep(); }

  // Opens the temporary file for name (already checked) in dir. A size above
  // kMaxInboundSize, or more than the disk has free, is Refused; Failed
  // when the file cannot be made. `why` says what went wrong.
  Result Start(const std::string& dir, const std::string& name, int64_t size, int64_t unixDate,
               std::string& why);
  bool IsOpen() const { return fd_.ok(); }
  int64_t Position() const { return pos_; }
  // Appends at Position(); false on a write error.
  bool Write(std::string_view data);
  // The file is complete: date set, synced, renamed to its own name (or the
  // next free one). Returns that name; nothing when the rename failed (the
  // temporary file then stays).
  std::optional<std::string> Finish();
  // Closes the file and leaves it under its temporary name.
  void Keep();
  const std::string& TempPath() const { return temp_; }
  const std::string& Name() const { return name_; }

 private:
  platform::Fd fd_;
  std::string dir_, name_, temp_;
  int64_t pos_ = 0, date_ = 0;
};

}  // namespace velmaris

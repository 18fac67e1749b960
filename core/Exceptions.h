// Failures in core/: raised as exceptions named E... (here, and beside their
// classes: EConfigStore, ESettings, EFlowFile, EDateTimeError). Readers of
// stored data (message base records, registry values) answer damaged data
// with an empty result or a clamped value, as their headers say; what the
// user must hear or decide goes through the Prompter, never a window.
//
#pragma once
// Exception classes of the core: the message base and its block compressor.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmaris {

// Failures of the LZRW1-KH block compressor: arguments out of range and
// destination buffers that are too small.
class ELzrw1KHCompressor : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A block handed to the LZRW1-KH decompressor that is not a well-formed block:
// unknown flag byte, an item cut off by the end of the block, a copy that
// reaches before the start of the output, or more output than the caller's
// buffer holds. Derives from ELzrw1KHCompressor so that one handler covers
// every compressor failure.
class ELzrw1KHBadBlock : public ELzrw1KHCompressor {
 public:
  using ELzrw1KHCompressor::ELzrw1KHCompressor;
};

// Access to a message header of an area beyond the last one.
class EAreaHeaderMsgIndexOutOfRange : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;

  // Raised when reading the header at index: "Areaheaderindex 7 is out of  range !"
  static EAreaHeaderMsgIndexOutOfRange Reading(std::int64_t index) {
    return EAreaHeaderMsgIndexOutOfRange("Areaheaderindex " + std::to_string(index) +
                                         " is out of  " + "range !");
  }

  // Raised when writing the header at index: "Index:7"
  static EAreaHeaderMsgIndexOutOfRange Writing(std::int64_t index) {
    return EAreaHeaderMsgIndexOutOfRange("Index:" + std::to_string(index));
  }
};

}  // namespace velmaris

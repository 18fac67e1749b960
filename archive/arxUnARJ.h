// The ARJ extractor: ARJ archives, self-extracting ones and multi-volume
// sets; methods 0 (stored) to 4, garbled (password) entries.
#pragma once

#include <cstdint>
#include <string>

#include "archive/ArjFormat.h"
#include "archive/arxBase.h"

namespace velmaris {

// Adds the modifier to every character of the password (modulo 256), or
// subtracts it when `forward` is false. A garbled entry is decrypted with its
// password modified by the entry's password modifier.
void ArjPasswordModify(bool forward, std::string& password, uint8_t modifier);

class TUnARJ : public TUnBase {
 public:
  TUnARJ();

 protected:
  void ExtractIt() override;
  // Garbled data: each byte XOR the next byte of the entry's key.
  void DecryptBlock(uint8_t* buf, size_t n) override;

 private:
  class Source;
  class Sink;

  // Finds the main header of the open volume; positions after it.
  void OpenMainHeader();
  // Reads the header at the current position, raising the format's errors;
  // false at the end mark.
  bool ReadHeader(TArjHeader& h, uint64_t& consumed);
  // Collects the chosen entries of the current volume; true when the pass
  // stopped early because a single name was asked for and found.
  bool FirstPass();
  // Extracts one entry; true when it went on into the next volume.
  bool ExtractEntry(const TarxFileRec& rec);
  // Decodes the data of one part of an entry into the open output.
  void DecodePart(const TArjHeader& h, const std::string& fn);
  // Asks for the password of a garbled entry when none is held yet.
  void EnsurePassword(const std::string& fn);
  void StartKey(uint8_t modifier);
  void OpenNextVolumeOrFail();

  uint8_t mainFlags_ = 0;       // of the current volume
  uint64_t firstEntryPos_ = 0;  // after the main header
  std::string password_;        // held for the rest of the run
  std::string key_;             // the password modified for the current entry
  size_t keyPos_ = 0;
};

}  // namespace velmaris

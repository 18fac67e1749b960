// Whether an archive holds what it should, read back with the integrated
// extractor of the archive's type. Nothing is written to a disk: each entry
// is decoded into a sink, its checksum tested by the extractor, and its
// bytes compared (or summed) in memory as they come.
//
// The packet writer asks this before it deletes a packet it has packed: a
// packer that ends with success but wrote a broken or incomplete archive, or
// one that made the day's bundle anew instead of adding to it, must not cost
// the mail.
//
// Both checks answer false, with the reason in *why (when given), for what
// the archive lacks; a failure of our own (the file to compare cannot be
// read, no memory) leaves as an exception, so that the caller never blames
// the archive for it.
#pragma once

#include <string>

namespace velmaris {

// True when archive holds file's name with file's bytes: the first entry of
// that name (without regard to case) gives them back whole with its
// checksum passed. An archive of a type that no integrated extractor reads
// cannot be confirmed and gives false. Raises std::exception when file
// cannot be read.
bool ArchiveHoldsFile(const std::string& archive, const std::string& file,
                      std::string* why = nullptr);

// True when archive holds every entry that before holds, each with the same
// name, size and CRC-32 of its data and a passed checksum (a packed-again
// copy of a bundle still holds what the bundle held). False as well when
// before cannot be read back whole.
bool ArchiveKeepsEntriesOf(const std::string& archive, const std::string& before,
                           std::string* why = nullptr);

}  // namespace velmaris

// Whether an archive holds a file whole, read back with the integrated
// extractor of the archive's type: the entry named like the file (without
// regard to case, the first of that name) is extracted into a private folder
// with its checksum tested, and compared with the file byte for byte.
//
// The packet writer asks this before it deletes a packet it has packed: a
// packer that ends with success but wrote a broken or incomplete archive must
// not cost the mail.
#pragma once

#include <string>

namespace velmaris {

// True when archive holds file's name with file's bytes; otherwise false with
// the reason in *why (when given). An archive of a type that no integrated
// extractor reads cannot be confirmed and gives false.
bool ArchiveHoldsFile(const std::string& archive, const std::string& file,
                      std::string* why = nullptr);

}  // namespace velmaris

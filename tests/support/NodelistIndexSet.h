// A small compiled nodelist written byte by byte, for the tests of the
// lookup's users (the browser and its window).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/FidoAddress.h"

namespace velmaris::test {

class TempDir;

// The bytes of an offset index: each value as a little-endian 32-bit word.
std::string IndexOffsets(std::initializer_list<uint32_t> values);
// The bytes of one Addresses.Index record.
std::string IndexRecord(TFidoAddr a, uint32_t name, uint32_t sysop, uint32_t city, uint32_t misc,
                        int32_t type);

// Three records, ascending by address:
//   0  1:1/1       "Alpha"     sysop "Ann"     "Berlin"  "49-1,9600,CM"
//   1  2:5020/1    "New_York"  sysop "Bob"     "Moscow"  "7-1,33600,CM,XA"  (a host)
//   2  2:5020/1.5  "Beta"      sysop "Bob_Jr"  "Moscow"  "-Unpublished-"    (a point)
void WriteBrowseIndexSet(const TempDir& dir, const std::string& sub = "");

}  // namespace velmaris::test

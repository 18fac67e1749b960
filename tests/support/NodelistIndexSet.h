// A small compiled nodelist written byte by byte, for the tests of the
// lookup's users (the browser and its window).
#pragma once

#include <string>

namespace velmaris::test {

class TempDir;

// Three records, ascending by address:
//   0  1:1/1       "Alpha"     sysop "Ann"     "Berlin"  "49-1,9600,CM"
//   1  2:5020/1    "New_York"  sysop "Bob"     "Moscow"  "7-1,33600,CM,XA"  (a host)
//   2  2:5020/1.5  "Beta"      sysop "Bob_Jr"  "Moscow"  "-Unpublished-"    (a point)
void WriteBrowseIndexSet(const TempDir& dir, const std::string& sub = "");

}  // namespace velmaris::test

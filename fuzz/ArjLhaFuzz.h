// Shared by the ARJ, LHA and RAR walk targets: runs one extractor over the input
// written to a file, into a scratch directory, with the output of a run
// capped so that a tiny input claiming a huge file stays cheap. Nothing may
// be written outside the output directory.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

#include "ScratchDir.h"
#include "archive/arxBase.h"

namespace velmaris::fuzz {

template <class Extractor>
void RunExtractor(const uint8_t* data, size_t size, const char* ext) {
  static const TScratchDir scratch(ext + 1);
  const std::string input = std::string("in") + ext;
  const std::string arc = scratch.Path() + input;
  const std::string out = scratch.Path() + "out/";
  {
    std::ofstream f(arc, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  scratch.Remove("out");
  Extractor x;
  x.SetArchiveFile(arc);
  x.SetExtractDir(out);
  x.SetFileSpec({"*.*"});
  x.ConfirmOverwrites = false;
  x.OnGetPassword = [](TUnBase&, const std::string&, std::string& pw, bool&) { pw = "pw"; };
  int blocks = 0;
  x.OnProgress = [&blocks](TUnBase& s, int, int) {
    if (++blocks > 200) s.Cancel();
  };
  try {
    x.Extract();
  } catch (const E_RAISE&) {
  }
  scratch.RequireOnly({input, "out"});
}

}  // namespace velmaris::fuzz

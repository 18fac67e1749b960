// Shared by the ARJ, LHA and RAR walk targets: runs one extractor over the input
// written to a file, into a scratch directory, with the output of a run
// capped so that a tiny input claiming a huge file stays cheap.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/arxBase.h"

namespace velmaris::fuzz {

template <class Extractor>
void RunExtractor(const uint8_t* data, size_t size, const char* ext) {
  // The scratch directory of this process, removed when it ends.
  static const struct Scratch {
    std::string path;
    Scratch() {
      path =
          (std::filesystem::temp_directory_path() / ("velmaris-fuzz-" + std::to_string(getpid())))
              .string();
      std::filesystem::create_directories(path);
      path += "/";
    }
    ~Scratch() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } scratch;
  const std::string& dir = scratch.path;
  const std::string arc = dir + "in" + ext;
  const std::string out = dir + "out/";
  {
    std::ofstream f(arc, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::error_code ec;
  std::filesystem::remove_all(out, ec);
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
}

}  // namespace velmaris::fuzz

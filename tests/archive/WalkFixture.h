// An extractor of one kind on one archive in a temporary directory,
// extracting into out/ and recording the files ended and the error codes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/arxBase.h"
#include "support/TempDir.h"

namespace velmaris::test {

template <class Extractor>
class WalkFixture : public ::testing::Test {
 protected:
  Extractor& MakeFile(const std::string& name, const std::string& image) {
    dir.Write(name, image);
    x = std::make_unique<Extractor>();
    x->SetArchiveFile(dir / name);
    x->SetExtractDir(dir / "out");
    x->SetFileSpec({"*.*"});
    x->ConfirmOverwrites = false;
    x->OnEnd = [this](TUnBase&, const std::string& fn, bool pass) { ended.push_back({fn, pass}); };
    x->OnError = [this](TUnBase&, const std::string&, const std::string&, const std::string&,
                        int code) { errors.push_back(code); };
    return *x;
  }
  // Runs the extraction; the code of a raised error, else 0.
  int Run() {
    try {
      x->Extract();
    } catch (const E_RAISE& e) {
      return e.Code();
    }
    return 0;
  }
  bool Exists(const std::string& rel) const {
    return std::filesystem::exists(dir / ("out/" + rel));
  }

  TempDir dir;
  std::unique_ptr<Extractor> x;
  std::vector<std::pair<std::string, bool>> ended;
  std::vector<int> errors;
};

}  // namespace velmaris::test

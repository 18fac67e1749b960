// A TIC file from arbitrary bytes is processed against a scratch inbound
// directory and file base: whatever it names, nothing may appear outside the
// file base, the parsed names that were used must be safe ones, and the
// packet waiting in the inbound directory stays where it is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "processing/TicFile.h"

namespace {

// The scratch root, removed when the fuzzer ends (kept in a plain array, which
// outlives every exit handler).
char gRoot[64];

std::string Root() {
  if (!gRoot[0]) {
    std::snprintf(gRoot, sizeof gRoot, "/tmp/fuzz-tic-XXXXXX");
    if (!mkdtemp(gRoot)) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(gRoot, ec);
    });
  }
  return std::string(gRoot) + "/";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  namespace fs = std::filesystem;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TTicFile tic = TTicFile::Parse(text);
  (void)tic.DescriptionLines();

  const std::string root = Root();
  const std::string inbound = root + "in/";
  const std::string base = root + "base/";
  fs::create_directories(inbound);
  fs::create_directories(base);
  std::ofstream(inbound + "t.tic", std::ios::binary) << text;
  std::ofstream(inbound + "x.txt", std::ios::binary) << "payload";
  std::ofstream(inbound + "00000001.pkt", std::ios::binary) << "mail";
  const TTicOutcome out = ProcessTicFile(inbound, "t.tic", base);
  if (out.Result == TTicResult::Moved && (!IsSafeTicName(tic.Area) || !IsSafeTicName(tic.File)))
    std::abort();
  if (out.Result == TTicResult::Moved && IsMailFileName(tic.File)) std::abort();
  if (!fs::exists(inbound + "00000001.pkt")) std::abort();
  // Only the two scratch folders may exist at the root.
  for (const auto& entry : fs::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name != "in" && name != "base") std::abort();
  }
  std::error_code ec;
  fs::remove_all(inbound, ec);
  fs::remove_all(base, ec);
  return 0;
}

// A TIC file from arbitrary bytes is processed against a scratch inbound
// directory and file base: whatever it names, nothing may appear outside the
// file base, the parsed names that were used must be safe ones, and the
// packet waiting in the inbound directory stays where it is.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "ScratchDir.h"
#include "processing/TicFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmaris;
  namespace fs = std::filesystem;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TTicFile tic = TTicFile::Parse(text);
  (void)tic.DescriptionLines();

  static const fuzz::TScratchDir scratch("tic");
  const std::string& root = scratch.Path();
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
  scratch.RequireOnly({"in", "base"});
  scratch.Remove("in");
  scratch.Remove("base");
  return 0;
}

// unpack ARCHIVE DIR [--password P]: extracts the archive with the integrated
// extractor for its detected type. One line per entry ended: {"file": the
// name written, as its characters (names on disk are UTF-8), "crc": passed},
// and for an entry written under a name cut to fit, or numbered because
// another entry's cut took its name, "stored": the name it came under.
#include <map>
#include <ostream>

#include "Batch.h"
#include "archive/arxBase.h"

namespace velmaris::batch {
namespace {

int Unpack(BatchContext& ctx) {
  BatchArgs args(ctx.args, {"--password"});
  if (args.Positional().size() != 2) throw EBatchUsage("unpack needs ARCHIVE and DIR");
  const std::string archive = args.Positional()[0];
  const std::string dir = args.Positional()[1];
  const TArcType type = DetectArchiveType(archive);
  auto x = CreateExtractor(type);
  if (!x) {
    const int code = type == atFileOpenErr ? ecOpenFile : ecUnsupportedType;
    ctx.err << "velmaris-batch: " << archive << ": " << code << " " << ArxErrorText(code) << "\n";
    return 1;
  }
  x->SetArchiveFile(archive);
  x->SetExtractDir(dir);
  x->SetFileSpec({"*.*"});
  x->ConfirmOverwrites = false;
  x->OverwriteMode = omOverwrite;
  x->RestoreFileAttr = false;
  x->UseStoredDirs = true;
  std::string password = args.Get("--password");
  const bool hasPassword = args.Has("--password");
  int asked = 0;
  x->OnGetPassword = [&](TUnBase&, const std::string&, std::string& pw, bool& tryAgain) {
    // The password answers the first question; a second one means it failed.
    if (hasPassword && asked++ == 0) {
      pw = password;
    } else {
      pw.clear();
      tryAgain = false;
    }
  };
  // Multi-volume sets: the next part is taken under its proposed name when
  // it lies there.
  x->OnNextVolume = [](TUnBase&, std::string&, int, bool exists, bool& cancel) {
    cancel = !exists;
  };
  int firstError = 0;
  std::string firstErrorFile, firstErrorWords;
  x->OnError = [&](TUnBase&, const std::string& fn, const std::string& msgEx, const std::string&,
                   int code) {
    if (!firstError) {
      firstError = code;
      firstErrorFile = fn;
      if (!msgEx.empty() && msgEx != "0") firstErrorWords = " (" + msgEx + ")";
    }
  };
  std::map<std::string, std::string> cutFrom;  // output name -> stored name
  x->OnNameCut = [&](TUnBase&, const std::string& stored, const std::string& out) {
    cutFrom[out] = stored;
  };
  x->OnNameTaken = x->OnNameCut;
  x->OnEnd = [&](TUnBase&, const std::string& fn, bool pass) {
    JsonLine line;
    line.Utf8("file", fn).Bool("crc", pass);
    if (const auto cut = cutFrom.find(fn); cut != cutFrom.end()) line.Utf8("stored", cut->second);
    ctx.out << line.Text() << "\n";
  };
  try {
    x->Extract();
  } catch (const E_RAISE& e) {
    ctx.err << "velmaris-batch: " << (e.FileName().empty() ? archive : e.FileName()) << ": "
            << e.Code() << " " << e.what() << (e.Code() == firstError ? firstErrorWords : "")
            << "\n";
    return 1;
  }
  if (firstError) {
    ctx.err << "velmaris-batch: " << (firstErrorFile.empty() ? archive : firstErrorFile) << ": "
            << firstError << " " << ArxErrorText(firstError) << firstErrorWords << "\n";
    return 1;
  }
  return 0;
}

BatchCommand cmd("unpack", "unpack ARCHIVE DIR [--password P]", Unpack);

}  // namespace
}  // namespace velmaris::batch

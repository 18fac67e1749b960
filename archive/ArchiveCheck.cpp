#include "archive/ArchiveCheck.h"

#include <stdlib.h>

#include <exception>
#include <filesystem>
#include <optional>

#include "archive/arxBase.h"
#include "archive/arxMain.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

// A new folder of its own below the system's temporary directory, removed
// with everything in it when the object goes.
class TScratchDir {
 public:
  TScratchDir() {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "velmaris-check-XXXXXX");
    if (ec) pattern = "/tmp/velmaris-check-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern + "/";
  }
  ~TScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

}  // namespace

bool ArchiveHoldsFile(const std::string& archive, const std::string& file, std::string* why) {
  const std::string name = platform::NameOf(file);
  std::unique_ptr<TUnBase> x = CreateExtractor(DetectArchiveType(archive));
  if (!x) return Fail(why, "it is no archive that can be read back");
  TScratchDir scratch;
  if (scratch.Path().empty()) return Fail(why, "no folder to read it back into");
  x->UseStoredDirs = false;
  x->RestoreFileAttr = false;
  x->ConfirmOverwrites = false;
  x->SetArchiveFile(archive);
  x->SetExtractDir(scratch.Path());
  x->SetFileSpec({name});
  std::optional<int> error;
  x->OnError = [&error](TUnBase&, const std::string&, const std::string&, const std::string&,
                        int code) {
    if (!error) error = code;
  };
  try {
    x->Extract();
  } catch (const E_RAISE& e) {
    if (!error) error = e.Code();
  } catch (const std::exception&) {
    if (!error) error = ecReadFile;
  }
  if (error)
    return Fail(why,
                *ArxErrorText(*error) ? ArxErrorText(*error) : "error " + std::to_string(*error));
  const auto found = platform::FindNoCase(scratch.Path(), name);
  if (!found) return Fail(why, name + " is not in it");
  try {
    if (platform::ReadFile(scratch.Path() + *found) != platform::ReadFile(file))
      return Fail(why, name + " in it differs from the file");
  } catch (const std::exception& e) {
    return Fail(why, e.what());
  }
  return true;
}

}  // namespace velmaris

#include <cstring>
#include <stdexcept>
#include <vector>

#include "BatchStore.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "core/RunJournal.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "processing/ExportJournal.h"

namespace velmaris::batch {

StartDirectoryOwner::StartDirectoryOwner(const BatchContext& ctx, BatchAccess access)
    : lock_(ctx.startDir, ctx.registryPath) {
  if (!platform::DirExists(ctx.startDir)) platform::MakeDirs(ctx.startDir);
  const auto result =
      lock_.Acquire(std::chrono::seconds(ctx.lockWaitSeconds), access == BatchAccess::Read);
  // Lines for the terminal: UTF-8, each folder converted into it.
  auto shown = [](const std::string& path) {
    return platform::LineText(path, platform::LinePage::Utf8);
  };
  if (result == TMailLock::Result::AlreadyRunning)
    throw std::runtime_error(
        "the mail of " + shown(ctx.startDir) + " (message base " + shown(lock_.MessageBaseDir()) +
        ") is in use by another run of Velmaris (" + shown(lock_.FailedPath()) + ", waited " +
        std::to_string(ctx.lockWaitSeconds) + " s)");
  if (result != TMailLock::Result::Acquired)
    throw std::runtime_error("cannot take the lock " + shown(lock_.FailedPath()) + ": " +
                             std::strerror(lock_.Error()));
  // An import that was cut off is finished or undone before anything reads.
  std::vector<std::string> lines;
  const bool recovered = RecoverImportJournals(lock_, &lines);
  for (const std::string& line : lines) ctx.err << "velmaris-batch: " << line << "\n";
  if (!recovered)
    throw std::runtime_error("an interrupted import in " + shown(lock_.MessageBaseDir()) +
                             " could not be recovered");
}

void RecoverExport(const BatchContext& ctx, TConfigStore& store) {
  InstallBundlePacker();
  // Where earlier versions kept the journal, then beside the message base.
  for (const std::string& path : {platform::WithSlash(store.StartDirectory()) + kExportJournalName,
                                  ExportJournalPath(store)}) {
    std::vector<std::string> lines;
    const bool finished =
        RecoverExportJournal(path, &lines, [&store] { return store.SaveConfiguration(); });
    for (const std::string& line : lines) ctx.err << "velmaris-batch: " << line << "\n";
    if (!finished)
      throw std::runtime_error("an interrupted export in " + platform::DirOf(path) +
                               " could not be finished");
  }
}

}  // namespace velmaris::batch

#include <cstring>
#include <stdexcept>
#include <vector>

#include "BatchStore.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "core/RunJournal.h"
#include "platform/Files.h"
#include "processing/ExportJournal.h"

namespace velmaris::batch {

StartDirectoryOwner::StartDirectoryOwner(const BatchContext& ctx)
    : guard_(platform::InstanceGuard::StartDirectoryPath(ctx.startDir), true) {
  if (!platform::DirExists(ctx.startDir)) platform::MakeDirs(ctx.startDir);
  const auto result = guard_.Acquire(std::chrono::seconds(ctx.lockWaitSeconds));
  if (result == platform::InstanceGuard::Result::AlreadyRunning)
    throw std::runtime_error("the start directory " + ctx.startDir +
                             " is in use by another run of Velmaris (waited " +
                             std::to_string(ctx.lockWaitSeconds) + " s)");
  if (result != platform::InstanceGuard::Result::Acquired)
    throw std::runtime_error("cannot take the start directory " + ctx.startDir + ": " +
                             std::strerror(guard_.Error()));
  // An import that was cut off is finished or undone before anything reads.
  std::vector<std::string> lines;
  if (!RecoverImportJournal(ctx.startDir + kImportJournalName, &lines))
    throw std::runtime_error("an interrupted import in " + ctx.startDir +
                             " could not be recovered");
  for (const std::string& line : lines) ctx.err << "velmaris-batch: " << line << "\n";
}

void RecoverExport(const BatchContext& ctx, TConfigStore& store) {
  InstallBundlePacker();
  std::vector<std::string> lines;
  if (!RecoverExportJournal(ctx.startDir + kExportJournalName, &lines,
                            [&store] { return store.SaveConfiguration(); }))
    throw std::runtime_error("an interrupted export in " + ctx.startDir + " could not be finished");
  for (const std::string& line : lines) ctx.err << "velmaris-batch: " << line << "\n";
}

}  // namespace velmaris::batch

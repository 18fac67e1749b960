// velmaris-batch [--dir START] [--registry FILE] [--wait SECONDS] COMMAND [ARGS]
//
// For tests of the recovery of runs cut off: --die-at-step N ends the
// process with SIGKILL at the N-th step of a run's commit or recovery
// (core/RunJournal.h), as a crash or a power cut would.
#include <csignal>
#include <iostream>

#include "Batch.h"
#include "core/ConfigStore.h"
#include "core/RunJournal.h"
#include "core/Settings.h"
#include "platform/Registry.h"
#include "platform/TerminalText.h"

using namespace velmaris::batch;

namespace {

// The configuration's code pages, for every command: those that read no
// other setting (unpack) name files by them too. A registry that cannot be
// read changes nothing here; the commands that load the configuration
// report it.
void FollowCodePages(const std::string& registryPath, const std::string& startDir) {
  try {
    velmaris::platform::Registry registry(registryPath);
    // A registry without the program's key names no code page (and opening
    // the key would write the file before the run holds the lock).
    if (!registry.KeyExists(velmaris::kConfigRootKey)) return;
    const velmaris::TWinRegistry config(velmaris::kConfigRootKey, registry);
    velmaris::SettingsValues values(startDir);
    values.LoadFromRegistry(config);
    velmaris::ApplyCodePages(values);
  } catch (const std::exception&) {
  }
}

long dieAtStep = 0;

void CountStep() {
  static long steps = 0;
  if (++steps == dieAtStep) std::raise(SIGKILL);
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything opens a file. Lines the runs make in the ANSI page reach
  // a terminal readable.
  velmaris::platform::PrepareStandardStreams();
  // A file-size limit makes a write fail (and the run report it) instead of
  // ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir, registry, wait, dieAt;
  size_t i = 0;
  try {
    for (; i < args.size(); ++i) {
      if (args[i] == "--dir" || args[i] == "--registry" || args[i] == "--wait" ||
          args[i] == "--die-at-step") {
        if (i + 1 >= args.size()) throw EBatchUsage(args[i] + " needs a value");
        (args[i] == "--dir"           ? dir
         : args[i] == "--wait"        ? wait
         : args[i] == "--die-at-step" ? dieAt
                                      : registry) = args[i + 1];
        ++i;
      } else {
        break;
      }
    }
    if (i >= args.size()) throw EBatchUsage("no command given");
    const BatchCommandFn* command = FindCommand(args[i]);
    if (!command) throw EBatchUsage("unknown command: " + args[i]);
    if (dir.empty()) dir = ".";
    if (dir.back() != '/') dir += '/';
    if (registry.empty()) registry = velmaris::platform::DefaultRegistryPath();
    FollowCodePages(registry, dir);
    BatchContext ctx{dir, registry, std::vector<std::string>(args.begin() + i + 1, args.end()),
                     std::cout, std::cerr};
    if (!wait.empty()) {
      if (wait.find_first_not_of("0123456789") != std::string::npos || wait.size() > 6)
        throw EBatchUsage("--wait needs a number of seconds");
      ctx.lockWaitSeconds = std::stoi(wait);
    }
    if (!dieAt.empty()) {
      if (dieAt.find_first_not_of("0123456789") != std::string::npos || dieAt.size() > 6)
        throw EBatchUsage("--die-at-step needs a number");
      dieAtStep = std::stol(dieAt);
      velmaris::SetRunStepHook(&CountStep);
    }
    const int rc = (*command)(ctx);
    std::cout.flush();
    return rc;
  } catch (const EBatchUsage& e) {
    std::cerr << "velmaris-batch: " << e.what() << "\n";
    PrintUsage(std::cerr);
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "velmaris-batch: " << e.what() << "\n";
    return 1;
  }
}

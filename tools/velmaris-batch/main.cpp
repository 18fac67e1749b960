// velmaris-batch [--dir START] [--registry FILE] COMMAND [ARGS]
#include <iostream>

#include "Batch.h"
#include "platform/Registry.h"

using namespace velmaris::batch;

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir, registry;
  size_t i = 0;
  try {
    for (; i < args.size(); ++i) {
      if (args[i] == "--dir" || args[i] == "--registry") {
        if (i + 1 >= args.size()) throw EBatchUsage(args[i] + " needs a value");
        (args[i] == "--dir" ? dir : registry) = args[i + 1];
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
    BatchContext ctx{dir, registry, std::vector<std::string>(args.begin() + i + 1, args.end()),
                     std::cout, std::cerr};
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

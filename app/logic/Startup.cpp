#include "app/logic/Startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/InstanceGuard.h"
#include "platform/Prompter.h"

namespace velmaris {

std::string LongVersionText() {
  return std::string(kReleaseText) + " (Version " + "215" + "." + "0" + ")";
}

std::string StartDirectoryOf(const std::string& workingDirectory) {
  std::string dir = workingDirectory;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string CurrentStartDirectory() {
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() >= (1u << 20))
      throw EStartup(std::string("Cannot read the current directory: ") + std::strerror(errno));
    buffer.resize(buffer.size() * 2);
  }
  return StartDirectoryOf(buffer.data());
}

bool TakeInstanceGuard(platform::InstanceGuard& guard, platform::Prompter& prompter) {
  switch (guard.Acquire()) {
    case platform::InstanceGuard::Result::Acquired:
      return true;
    case platform::InstanceGuard::Result::AlreadyRunning:
      prompter.Ask(platform::MsgKind::Information, kAlreadyRunningText, platform::mbOk);
      return false;
    case platform::InstanceGuard::Result::Failed:
      break;
  }
  prompter.Ask(platform::MsgKind::Error, kGuardFailureText, platform::mbOk);
  return false;
}

}  // namespace velmaris

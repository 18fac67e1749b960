#include "app/logic/Startup.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

#include "core/MailLock.h"
#include "core/RunJournal.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
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

bool TakeInstanceGuard(platform::InstanceGuard& guard, platform::Prompter& prompter,
                       std::ostream* log) {
  const auto result = guard.Acquire();
  if (result == platform::InstanceGuard::Result::Acquired) return true;
  const bool running = result == platform::InstanceGuard::Result::AlreadyRunning;
  const char* text = running ? kAlreadyRunningText : kGuardFailureText;
  if (log) {
    *log << "velmaris: " << text;
    if (!running && guard.Error() != 0) *log << " (" << std::strerror(guard.Error()) << ")";
    *log << std::endl;
  }
  prompter.Ask(running ? platform::MsgKind::Information : platform::MsgKind::Error, text,
               platform::mbOk);
  return false;
}

bool TakeStartDirectory(TMailLock& lock, platform::Prompter& prompter, std::ostream* log) {
  // The line goes to the terminal and into a box: UTF-8, each folder
  // converted into it.
  auto shown = [](const std::string& path) {
    return platform::LineText(path, platform::LinePage::Utf8);
  };
  std::string text;
  const std::string& startDir = lock.StartDirectory();
  const auto result = lock.Acquire();
  if (result == TMailLock::Result::AlreadyRunning) {
    text = "The mail of the start directory " + shown(startDir) + " (message base " +
           shown(lock.MessageBaseDir()) + ") is in use by another run of Velmaris.";
  } else if (result != TMailLock::Result::Acquired) {
    text = std::string(kGuardFailureText) + " (" + shown(lock.FailedPath()) + ": " +
           std::strerror(lock.Error()) + ")";
  } else {
    std::vector<std::string> lines;
    const bool recovered = RecoverImportJournals(lock, &lines);
    for (const std::string& line : lines)
      if (log) *log << "velmaris: " << line << std::endl;
    if (recovered) return true;
    lock.Release();
    text = "An import in " + shown(lock.MessageBaseDir()) + " was cut off and cannot be recovered.";
  }
  if (log) *log << "velmaris: " << text << std::endl;
  prompter.Ask(platform::MsgKind::Error, text, platform::mbOk);
  return false;
}

}  // namespace velmaris

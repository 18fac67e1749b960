// The parts of the program's start-up that need no window: the texts of the
// start, the start directory and the single-instance guard.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>

namespace velmaris {

namespace platform {
class InstanceGuard;
class Prompter;
}  // namespace platform
class TMailLock;

inline constexpr const char* kProgramTitle = "Velmaris 95";
inline constexpr const char* kReleaseText = "Rel 1.78E";
// The long version text of the about box: "Rel 1.78E (Version 215.0)".
std::string LongVersionText();

inline constexpr const char* kAlreadyRunningText =
    "Velmaris 95 läuft bereits! Bitte benutzen Sie die bereits laufende Kopie von Velmaris 95!";
inline constexpr const char* kGuardFailureText = "Unerwarteter Fehler beim Instanzenprotokoll!";

// The start directory cannot be found out.
class EStartup : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The directory the program was started in, with a trailing "/": the help
// file, the layout files and the duplicate database live there. Raises
// EStartup when the current directory cannot be read.
std::string CurrentStartDirectory();
// The start directory of a working directory: the path with one trailing "/".
std::string StartDirectoryOf(const std::string& workingDirectory);

// Takes the single-instance guard. When another copy holds it, the user is
// told so in an information box; any other failure gives an error box. In
// both cases the result is false and the program must end without a window.
// When log is given, the text also goes there (one line, before the box),
// for a start from a terminal.
bool TakeInstanceGuard(platform::InstanceGuard& guard, platform::Prompter& prompter,
                       std::ostream* log = nullptr);

// Takes the mail's lock (core/MailLock.h: the start directory, the registry
// and the message base folder), which the batch driver's runs take too,
// without waiting; then finishes or undoes an import that was cut off (an
// export is finished once the configuration is loaded,
// processing/ExportJournal.h). When the lock is held or a run cannot be
// recovered, the user is told (and log, when given) and the result is false:
// the program must end without a window.
bool TakeStartDirectory(TMailLock& lock, platform::Prompter& prompter, std::ostream* log = nullptr);

}  // namespace velmaris

// Lines for a terminal. Log lines are made in the ANSI page (CP1251 by
// default); a terminal, cron mail and a log viewer read UTF-8. Standard
// error is therefore written through one filter that converts each line on
// its way out: a line that is valid UTF-8 (plain ASCII, or a name on disk
// that went into it unconverted) stays as it is, any other is read in the
// ANSI page.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace velmaris::platform {

// One line (or part of one) as a terminal shows it.
std::string TerminalText(std::string_view line);

// From now on everything written to std::cerr (and std::clog) goes out line
// by line through TerminalText, each line whole whatever threads write.
void WriteStandardErrorInUtf8();

// The first thing a program's main does: descriptors 0 to 2 that are closed
// are opened on /dev/null (so that no file opened later takes one and gets
// the warnings), a reader of standard error that went away no longer ends
// the run (SIGPIPE is ignored; the write fails), and standard error is
// written in UTF-8 (WriteStandardErrorInUtf8).
void PrepareStandardStreams();

}  // namespace velmaris::platform

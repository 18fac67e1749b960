// Velmaris 95: the desktop program. The command line is not read; the
// program works in the directory it was started in.
#include <QApplication>
#include <exception>
#include <iostream>

#include "app/VelmarisApp.h"
#include "platform/Prompter.h"
#include "platform/TerminalText.h"

int main(int argc, char** argv) {
  // Before anything opens a file.
  velmaris::platform::PrepareStandardStreams();
  QApplication app(argc, argv);
  velmaris::TVelmarisApp program;
  try {
    if (!program.Start()) return 1;
  } catch (const std::exception& e) {
    // A failure before the message loop ends the program.
    std::cerr << "velmaris: " << e.what() << "\n";
    velmaris::platform::GetPrompter().Error(e.what());
    program.Shutdown();
    return 1;
  }
  return program.Run();
}

// An X server of a test's own (Xvfb) for the tests that drive real windows,
// and the window manager run on it.
//
// The server takes a display it finds free (-displayfd), lets in only the
// clients that show the cookie of its own authority file (XAUTHORITY for
// them), and does not reset when its last client leaves: a server that
// resets drops the client that connects meanwhile, which then "cannot open
// display". Start() returns once the server answers a client of its own,
// which stays connected while the server runs.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace velmaris::test {

class XServer {
 public:
  // Its authority file and its log go into the folder (ending in '/').
  explicit XServer(std::string folder);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // Starts Xvfb with the screen ("1280x1024x24"); whether it answers within
  // the limit. Why() says what went wrong.
  bool Start(const std::string& screen, std::chrono::seconds limit = std::chrono::seconds(120));
  // Ends the server (SIGTERM, then SIGKILL after a long wait).
  void Stop();
  bool Running() const { return pid_ > 0; }

  // The display's number, "" before the server is up.
  const std::string& Number() const { return number_; }
  std::string Display() const { return ":" + number_; }
  const std::string& Authority() const { return authority_; }
  // What a client of the server needs in its environment.
  std::vector<std::pair<std::string, std::string>> Environment() const;
  // The connection the server answered on, for questions to the server.
  xcb_connection_t* Connection() const { return held_; }
  const std::string& Why() const { return why_; }

  // Whether a window manager runs on the server: one has taken the root
  // window's substructure redirection and, when it is an EWMH manager,
  // names itself and what it supports.
  bool ManagerRuns(bool ewmh) const;
  // Waits until a window manager runs, with a generous limit.
  bool WaitForManager(bool ewmh, std::chrono::seconds limit = std::chrono::seconds(120)) const;

  // Whether the ended server left its socket file behind. The display is
  // free once it ended, and another suite may have started a server there
  // since: a socket made since is that server's, not this one's.
  bool SocketLeftBehind() const;

 private:
  std::string folder_, authority_, number_, why_;
  pid_t pid_ = -1;
  xcb_connection_t* held_ = nullptr;
  struct stat socket_ {};
};

// Starts a window manager on the server as a user's session starts it: in a
// process group of its own, with DISPLAY and XAUTHORITY of the server, and
// HOME and the XDG folders in `home` (xfwm4 under a D-Bus session of its
// own, which it needs for its settings). The command is the manager's name
// and its arguments; its output goes to `log`. Returns the process (its
// group's id), or -1.
pid_t StartWindowManager(const XServer& server, const std::vector<std::string>& command,
                         const std::string& home, const std::string& log);
// Ends the window manager's process group: SIGTERM, and SIGKILL to what is
// left after a while (fluxbox can hang in its own SIGTERM handler).
void StopWindowManager(pid_t group);

// Whether the manager of that name is an EWMH manager (names itself on the
// root window), which the managers but twm are.
bool IsEwmhManager(const std::string& name);

}  // namespace velmaris::test

#include "XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

namespace velmaris::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kCookieName = "MIT-MAGIC-COOKIE-1";

// X servers are started and ended one at a time among the suites that run
// beside each other: a server that ends removes its socket file, and one
// started meanwhile on the display it frees would lose it. The lock file
// lies in the tests' temporary folder, private to the user.
class ServerTurn {
 public:
  ServerTurn() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        (std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / "velmaris-x-servers.lock").string();
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~ServerTurn() {
    if (fd_ >= 0) close(fd_);
  }
  ServerTurn(const ServerTurn&) = delete;
  ServerTurn& operator=(const ServerTurn&) = delete;

 private:
  int fd_ = -1;
};

// Waits for a process to end, with a limit; whether it ended.
bool WaitExit(pid_t pid, std::chrono::seconds limit) {
  for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms))
    if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
  return false;
}

std::string SocketPath(const std::string& number) { return "/tmp/.X11-unix/X" + number; }

// An authority file with one cookie for any display of any host (family
// FamilyWild, no address, no display number): the server reads it with
// -auth before its display is known, and its clients find the cookie in it
// whatever display the server took.
bool WriteAuthority(const std::string& path, const std::string& cookie) {
  std::string bytes;
  auto field = [&bytes](const std::string& s) {
    bytes += static_cast<char>(s.size() >> 8);
    bytes += static_cast<char>(s.size() & 0xFF);
    bytes += s;
  };
  bytes += "\xFF\xFF";  // FamilyWild
  field("");            // address
  field("");            // display number
  field(kCookieName);
  field(cookie);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && ok;
}

}  // namespace

XServer::XServer(std::string folder)
    : folder_(std::move(folder)), authority_(folder_ + "Xauthority") {}

XServer::~XServer() { Stop(); }

std::vector<std::pair<std::string, std::string>> XServer::Environment() const {
  return {{"DISPLAY", Display()}, {"XAUTHORITY", authority_}};
}

bool XServer::Start(const std::string& screen, std::chrono::seconds limit) {
  Stop();
  why_.clear();
  number_.clear();
  std::string cookie(16, '\0');
  std::random_device random;
  for (char& c : cookie) c = static_cast<char>(random() & 0xFF);
  if (!WriteAuthority(authority_, cookie)) {
    why_ = "cannot write " + authority_;
    return false;
  }
  const std::string log = folder_ + "Xvfb.log";
  {
    const ServerTurn turn;
    int fds[2];
    if (pipe(fds) != 0) {
      why_ = "no pipe";
      return false;
    }
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(out, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-auth",
             authority_.c_str(), "-screen", "0", screen.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The server writes its display's number once it listens.
    pollfd p{fds[0], POLLIN, 0};
    char c;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until && poll(&p, 1, 1000) >= 0) {
      if (!(p.revents & (POLLIN | POLLHUP))) continue;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number_ += c;
    }
    close(fds[0]);
    socket_ = {};
    if (!number_.empty()) stat(SocketPath(number_).c_str(), &socket_);
  }
  if (number_.empty()) {
    why_ = "Xvfb told no display";
  } else {
    // Up is when it answers: a client with the cookie is let in.
    xcb_auth_info_t auth{static_cast<int>(strlen(kCookieName)), const_cast<char*>(kCookieName),
                         static_cast<int>(cookie.size()), cookie.data()};
    const auto until = std::chrono::steady_clock::now() + limit;
    for (int attempt = 1;; ++attempt) {
      held_ = xcb_connect_to_display_with_auth_info(Display().c_str(), &auth, nullptr);
      const int error = xcb_connection_has_error(held_);
      if (!error) {
        // Said where it can be seen: a server that does not answer at once
        // once it told its display is what made window managers fail.
        if (attempt > 1)
          std::cout << "[ X WAIT   ] " << Display() << " answered at attempt " << attempt
                    << std::endl;
        break;
      }
      xcb_disconnect(held_);
      held_ = nullptr;
      why_ = Display() + " does not answer (xcb error " + std::to_string(error) + ", " +
             std::to_string(attempt) + " attempts)";
      if (std::chrono::steady_clock::now() >= until || waitpid(pid_, nullptr, WNOHANG) == pid_)
        break;
      std::this_thread::sleep_for(50ms);
    }
  }
  if (!held_) {
    std::ifstream in(log);
    why_ += "; Xvfb's log:\n" + std::string(std::istreambuf_iterator<char>(in), {});
    Stop();
    return false;
  }
  return true;
}

void XServer::Stop() {
  if (held_) {
    xcb_disconnect(held_);
    held_ = nullptr;
  }
  if (pid_ <= 0) return;
  const ServerTurn turn;
  kill(pid_, SIGTERM);
  if (!WaitExit(pid_, 120s)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

bool XServer::SocketLeftBehind() const {
  struct stat now {};
  return !number_.empty() && stat(SocketPath(number_).c_str(), &now) == 0 &&
         now.st_dev == socket_.st_dev && now.st_ino == socket_.st_ino &&
         now.st_ctim.tv_sec == socket_.st_ctim.tv_sec &&
         now.st_ctim.tv_nsec == socket_.st_ctim.tv_nsec;
}

bool XServer::ManagerRuns(bool ewmh) const {
  xcb_connection_t* c = held_;
  if (!c || xcb_connection_has_error(c)) return false;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  auto property = [c](xcb_window_t w, const char* name, xcb_atom_t type) {
    std::vector<uint32_t> values;
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
    if (!atom) return values;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, atom->atom, type, 0, 1024), nullptr);
    if (reply && reply->format == 32) {
      const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
      values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    free(atom);
    return values;
  };
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr);
  const bool redirected =
      attributes && (attributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
  free(attributes);
  if (!redirected || !ewmh) return redirected;
  const auto check = property(root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW);
  return !check.empty() &&
         property(check.front(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW) == check &&
         !property(root, "_NET_SUPPORTED", XCB_ATOM_ATOM).empty();
}

bool XServer::WaitForManager(bool ewmh, std::chrono::seconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!ManagerRuns(ewmh) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(20ms);
  return ManagerRuns(ewmh);
}

pid_t StartWindowManager(const XServer& server, const std::vector<std::string>& command,
                         const std::string& home, const std::string& log) {
  if (command.empty()) return -1;
  std::vector<std::string> args = command;
  // xfwm4 keeps its settings through D-Bus (xfconf), and metacity asks the
  // session bus too: a session of its own for each.
  if (command.front() == "xfwm4" || command.front() == "metacity")
    args.insert(args.begin(), {"dbus-run-session", "--"});
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setsid();
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(out, 1);
  dup2(out, 2);
  mkdir(home.c_str(), 0700);
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
    setenv(name, home.c_str(), 1);
  for (const auto& [name, value] : server.Environment()) setenv(name.c_str(), value.c_str(), 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

void StopWindowManager(pid_t group) {
  if (group <= 0) return;
  kill(-group, SIGTERM);
  // The leader is left unreaped (a zombie keeps its group's id) until the
  // rest of the group, or a leader that hangs, has had SIGKILL.
  siginfo_t info{};
  for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms)) {
    info.si_pid = 0;
    if (waitid(P_PID, group, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == group)
      break;
  }
  kill(-group, SIGKILL);
  waitpid(group, nullptr, 0);
}

bool IsEwmhManager(const std::string& name) { return name.rfind("twm", 0) != 0; }

}  // namespace velmaris::test

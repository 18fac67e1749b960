// The configuration of the running program: the registry file, made the
// process-wide registry (window positions live there too), and the
// configuration store loaded from it with the lists of the lower layers,
// made the process-wide store.
//
// The packers, the unpack jobs, the mail filters and the autosend jobs join
// as sections of the store. Lists whose layers do not stand yet (mailer
// profiles) keep their registry keys untouched until their sections are
// installed here.
#pragma once

#include <memory>
#include <string>

namespace velmaris {

namespace platform {
class Registry;
}
class TConfigStore;

class TConfigSession {
 public:
  // startDir: the start directory (ending in "/"); registryPath: the
  // registry file. Reads the registry file (platform::ERegistry when it is
  // malformed) but loads nothing yet.
  TConfigSession(const std::string& startDir, const std::string& registryPath);
  // Frees the store and its areas without saving; the process-wide
  // references to them and to the registry are cleared.
  ~TConfigSession();
  TConfigSession(const TConfigSession&) = delete;
  TConfigSession& operator=(const TConfigSession&) = delete;

  // The start-up load: every list with its defaults and fix-ups, so that a
  // first start gets a working configuration (the system areas, an uplink,
  // a text group, the standard packers, the directories).
  void Load();
  // Writes the whole configuration; a failure is reported to the user.
  // True when saved.
  bool Save();
  // The last save at the program's end; nothing is saved after it.
  bool SaveAndClose();

  TConfigStore& Store() { return *store_; }
  platform::Registry& Registry() { return *registry_; }

 private:
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<TConfigStore> store_;
};

}  // namespace velmaris

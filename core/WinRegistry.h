// Typed access to the values below one fixed key of the registry. Reading
// never fails for a missing key or value: the caller's default comes back, so
// a configuration written by an older version loads without errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace velmaris {

class TWinRegistry {
 public:
  // Opens rootPath (a key path below HKEY_CURRENT_USER with "\" between its
  // parts), creating it when missing. startDir is the start folder, below
  // which relative paths in values lie (the current folder when empty).
  explicit TWinRegistry(std::string rootPath,
                        platform::Registry& registry = platform::GetRegistry(),
                        std::string startDir = {});
  // Saves the registry file when anything was written through this object.
  ~TWinRegistry();
  TWinRegistry(const TWinRegistry&) = delete;
  TWinRegistry& operator=(const TWinRegistry&) = delete;

  const std::string& RootPath() const { return rootPath_; }
  const std::string& StartDirectory() const { return startDir_; }
  platform::Registry& Registry() const { return registry_; }
  // The full key path of a section (relative to RootPath; empty = RootPath).
  std::string KeyOf(const std::string& section) const;

  // Reads return the default when the section or the value is missing; a
  // value of another type raises platform::ERegistry.
  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& defaultValue) const;
  void WriteString(const std::string& section, const std::string& name, const std::string& value);
  // A file or folder name: the file system's bytes. A stored value that is
  // no valid UTF-8 was written in the ANSI page by an older version, or
  // names a folder whose name is no UTF-8: read as platform::StoredPathOnDisk
  // judges it from the start folder.
  //
  // What is read so names nothing now (a drive away for this run, a folder
  // not made yet), so it holds for this run only: the stored bytes stay in
  // the registry. Writing the value back as it was read (the same path, a
  // relative one below the start folder, enclosing quotes or a final "/"
  // aside) writes the stored bytes again; writing another value (the user
  // changed the setting) writes that.
  std::string ReadPath(const std::string& section, const std::string& name,
                       const std::string& defaultValue) const;
  // A command line that names a program, read word by word
  // (platform::StoredCommandLine); held for this run as ReadPath holds a path.
  std::string ReadCommandLine(const std::string& section, const std::string& name,
                              const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& name,
                      int32_t defaultValue) const;
  void WriteInteger(const std::string& section, const std::string& name, int32_t value);
  // Booleans are 32-bit integer values, 0 false and anything else true.
  bool ReadBool(const std::string& section, const std::string& name, bool defaultValue) const;
  void WriteBool(const std::string& section, const std::string& name, bool value);
  // Reads a binary value of at most size bytes into buffer and returns its
  // length; 0 when the section or the value is missing or the value is longer
  // than size (nothing is copied then).
  size_t ReadBinary(const std::string& section, const std::string& name, void* buffer,
                    size_t size) const;
  void WriteBinary(const std::string& section, const std::string& name, const void* buffer,
                   size_t size);
  void DeleteValue(const std::string& section, const std::string& name);
  // What a longer list saved earlier left behind below section: the
  // subkeys and the values named prefix<n> (letter case ignored, n a number)
  // with n above count are deleted. A list saves this after its entries, so
  // that no entry it no longer holds stays beside its count.
  void DeleteEntriesBeyond(const std::string& section, const std::string& prefix, int32_t count);

  // Writes the registry file now.
  void Flush();

 private:
  // A value read for this run in another form than stored.
  struct Held {
    std::string stored, read;
  };
  std::string ReadJudged(const std::string& section, const std::string& name,
                         const std::string& defaultValue,
                         std::string (*judge)(const std::string&, const std::string&)) const;
  // Whether value names what the held value was read as.
  bool SameAsRead(const std::string& value, const std::string& read) const;

  std::string rootPath_;
  platform::Registry& registry_;
  std::string startDir_;
  bool dirty_ = false;
  mutable std::mutex heldMutex_;
  mutable std::map<std::string, Held> held_;  // by HeldKey
};

// A string list in one section: an integer "Count" and one string value per
// line, "Item1", "Item2", ...
// Loading clears the list and reads Count (default 0) lines (default empty).
void LoadStringsFromRegistry(std::vector<std::string>& lines, const TWinRegistry& registry,
                             const std::string& section);
// Saving writes Count and every line; the lines of a longer list saved
// earlier are deleted.
void SaveStringsToRegistry(const std::vector<std::string>& lines, TWinRegistry& registry,
                           const std::string& section);

}  // namespace velmaris

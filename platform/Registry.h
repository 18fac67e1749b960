// A persistent tree of keys with typed values, in place of the Windows
// registry below HKEY_CURRENT_USER. It is kept in one text file in REGEDIT4
// syntax; key and value names compare without case and keep their case.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris::platform {

// A value is missing, has another type than asked, or the file cannot be
// read or written.
class ERegistry : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class RegType { String, DWord, Binary };

// $XDG_CONFIG_HOME/Brimvale/Velmaris.reg, or ~/.config/Brimvale/Velmaris.reg.
std::string DefaultRegistryPath();

// Keys are paths below HKEY_CURRENT_USER with "\" between the parts, for
// example "software\Brimvale\Velmaris\Areas\Area1"; empty parts (a leading,
// trailing or doubled "\") are skipped, "" is the root. Names compare
// without case (ASCII letters). As in Windows, a key name has at most 255
// bytes, keys nest at most 512 deep, and value names at most 16383 bytes;
// names holding CR, LF or NUL are refused (ERegistry). The value name ""
// is the default value ("@" in the file). Every operation is thread-safe.
//
// The file: "REGEDIT4", a blank line, then every key in tree order (a key
// before its subkeys, keys and values in the order they were created), each
// as "[HKEY_CURRENT_USER\path]", its values, and a blank line:
//   "Name"="NETMAIL"          strings byte for byte, with \\ and \" escaped
//   "Count"=dword:00000003
//   "Packed"=hex:00,01        wrapped with ",\" before column 77
//   "Text"=hex(1):41,0a,00    a string holding CR, LF or NUL, NUL-terminated
// Loading and saving again gives the same bytes. The reader also takes CR LF
// line ends, comments (";"), blanks around "=", hex(3) and hex(4) values,
// and the deletions "[-key]" and "name"=-; anything else raises ERegistry.
class Registry {
 public:
  // Loads the file when it exists; a missing file is an empty tree. A file
  // that is empty, not REGEDIT4, or larger than 64 MiB raises ERegistry.
  // An empty path makes a tree that lives in memory only: Save writes
  // nothing (for copies of configuration values kept for a while).
  explicit Registry(std::string path);

  const std::string& Path() const { return path_; }

  // Writes the whole tree: temporary file, fsync, rename over the old file,
  // so a crash leaves the old or the new file. Raises ERegistry on failure,
  // and, leaving the old file, for a tree larger than the reader takes.
  void Save() const;
  // Reads the file again, dropping unsaved changes.
  void Reload();

  bool KeyExists(const std::string& key) const;
  void CreateKey(const std::string& key);  // with all its parents
  void DeleteKey(const std::string& key);  // with its subkeys; missing is fine
  std::vector<std::string> SubKeys(const std::string& key) const;     // stored case
  std::vector<std::string> ValueNames(const std::string& key) const;  // stored case

  bool ValueExists(const std::string& key, const std::string& name) const;
  std::optional<RegType> ValueType(const std::string& key, const std::string& name) const;
  void DeleteValue(const std::string& key, const std::string& name);

  // Reading a missing value or one of another type raises ERegistry.
  std::string ReadString(const std::string& key, const std::string& name) const;
  uint32_t ReadDWord(const std::string& key, const std::string& name) const;
  std::vector<uint8_t> ReadBinary(const std::string& key, const std::string& name) const;

  // Writing creates the key; it replaces a value of any type.
  void WriteString(const std::string& key, const std::string& name, const std::string& value);
  void WriteDWord(const std::string& key, const std::string& name, uint32_t value);
  void WriteBinary(const std::string& key, const std::string& name,
                   const std::vector<uint8_t>& value);

  // The REGEDIT4 text of the whole tree, as Save writes it.
  std::string ToText() const;
  // Parses REGEDIT4 text into a new tree; raises ERegistry when malformed.
  void FromText(const std::string& text);

  ~Registry();

  struct Node;  // the tree, defined where it is implemented

 private:
  std::string path_;
  mutable std::recursive_mutex mutex_;
  std::unique_ptr<Node> root_;
};

// The process-wide registry the configuration uses. Tests and the batch
// driver set their own; SetRegistry(nullptr) returns to the default, a
// Registry on DefaultRegistryPath() made on first use.
Registry& GetRegistry();
void SetRegistry(Registry* registry);

}  // namespace velmaris::platform

// A small INI file: sections of "key=value" lines. Sections and keys compare
// without case and keep their case and order; lines of other sections and
// comments survive a rewrite. Reading is bounded: a file above 1 MiB or a
// line above 4 KiB is treated as empty or skipped. Files with CR LF line ends
// are written back with CR LF.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmaris {

class EIniFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  // Reads the file when it exists; a missing or unreadable file is empty.
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // A value that is not a decimal integer (optionally signed, surrounding
  // blanks allowed) gives the default.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Removes the section's header and every line of it.
  void EraseSection(const std::string& section);

  std::string ToText() const;
  // Writes the file through a temporary file and a rename. Raises EIniFile.
  void Save() const;

 private:
  struct Line {
    std::string text;     // the raw line, without its line end
    std::string section;  // the section the line belongs to ("" before the first)
  };
  int FindKey(const std::string& section, const std::string& key) const;

  std::string path_;
  std::vector<Line> lines_;
  bool crlf_ = false;
};

}  // namespace velmaris

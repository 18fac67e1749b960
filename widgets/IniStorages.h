// The two storages of layouts and placements: TIniFile, an INI file that is
// written back when the object goes, and TRegIniFile, a registry key whose
// sections are subkeys holding string values (integers written by others as
// DWORD values read as their decimal text).
#pragma once

#include <memory>
#include <string>

#include "widgets/IniFile.h"
#include "widgets/logic/IniStorage.h"

namespace velmaris {

class TIniFile : public TIniStorage {
 public:
  explicit TIniFile(const std::string& fileName);
  // Writes the file when it changed; a failure is skipped (a lost layout is
  // no reason to stop the program).
  ~TIniFile() override;

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def) const override;
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override;
  void EraseSection(const std::string& section) override;
  bool StripsQuotes() const override { return true; }
  // Writes now; raises EIniFile.
  void UpdateFile();
  const IniFile& File() const { return file_; }

 private:
  IniFile file_;
  bool dirty_ = false;
};

class TRegIniFile : public TIniStorage {
 public:
  // The key below the current user's hive, for example "Software\Brimvale\Velmaris".
  explicit TRegIniFile(std::string key);
  // Saves the registry when it changed; failures are skipped.
  ~TRegIniFile() override;

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def) const override;
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override;
  void EraseSection(const std::string& section) override;
  const std::string& Key() const { return key_; }

 private:
  std::string SectionKey(const std::string& section) const;
  std::string key_;
  bool dirty_ = false;
};

}  // namespace velmaris

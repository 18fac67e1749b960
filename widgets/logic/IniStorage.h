// The storage under form placements and speed bar layouts: strings in
// sections of an INI file or below a registry key, with the routines that
// read and write integers, screen-dependent values and default names.
//
// An INI file's reader strips one pair of quotes around a value, so a value
// that itself begins and ends with a double quote, or with a single quote, is
// written wrapped in one more pair of double quotes and reads back unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velmaris {

class TIniStorage {
 public:
  virtual ~TIniStorage() = default;
  virtual std::string ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const = 0;
  virtual void WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) = 0;
  virtual void EraseSection(const std::string& section) = 0;
  // True for INI files, whose reader strips one pair of quotes.
  virtual bool StripsQuotes() const { return false; }
};

// A null storage reads the default and writes nothing.
std::string IniReadString(const TIniStorage* storage, const std::string& section,
                          const std::string& ident, const std::string& def);
void IniWriteString(TIniStorage* storage, const std::string& section, const std::string& ident,
                    const std::string& value);
// A value that is no decimal integer gives the default.
int32_t IniReadInteger(const TIniStorage* storage, const std::string& section,
                       const std::string& ident, int32_t def);
void IniWriteInteger(TIniStorage* storage, const std::string& section, const std::string& ident,
                     int32_t value);
void IniEraseSection(TIniStorage* storage, const std::string& section);
// "true"/"false" as the INI routines write Booleans: "1" and "0".
bool IniReadBool(const TIniStorage* storage, const std::string& section, const std::string& ident,
                 bool def);
void IniWriteBool(TIniStorage* storage, const std::string& section, const std::string& ident,
                  bool value);

// One pair of matching quotes removed, as the INI reader does.
std::string StripIniQuotes(const std::string& value);
// "(1024x768)".
std::string GetScreenSuffix(int screenWidth, int screenHeight);
// Ident followed by the screen suffix, or plain Ident when that is empty.
std::string IniReadScreenString(const TIniStorage* storage, const std::string& section,
                                const std::string& ident, int screenWidth, int screenHeight);
// Writes under both names.
void IniWriteScreenString(TIniStorage* storage, const std::string& section,
                          const std::string& ident, const std::string& value, int screenWidth,
                          int screenHeight);

// The hook's name when one is given; else the program's file name without
// its path, its extension replaced by ".INI".
std::string GetDefaultIniName(const std::string& programPath,
                              const std::function<std::string()>& hook = {});
// "Software\" [company "\"] and the application title (useAppTitle with a
// title) or the program's file name without path and extension.
std::string GetDefaultIniRegKey(const std::string& programPath, const std::string& companyKey,
                                bool useAppTitle, const std::string& appTitle);

}  // namespace velmaris

#include "widgets/IniStorages.h"

#include <exception>

#include "platform/Prompter.h"
#include "platform/Registry.h"

namespace velmaris {

namespace {

// A destructor cannot pass the failure on: the user is told instead.
void ReportFailedSave(const std::exception& e) {
  try {
    platform::GetPrompter().Warn(std::string("The settings could not be saved: ") + e.what());
  } catch (const std::exception&) {
  }
}

}  // namespace

TIniFile::TIniFile(const std::string& fileName) : file_(fileName) {}

TIniFile::~TIniFile() {
  if (!dirty_) return;
  try {
    file_.Save();
  } catch (const std::exception& e) {
    ReportFailedSave(e);
  }
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const {
  if (!file_.ValueExists(section, ident)) return def;
  return StripIniQuotes(file_.ReadString(section, ident, def));
}

void TIniFile::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) {
  file_.WriteString(section, ident, value);
  dirty_ = true;
}

void TIniFile::EraseSection(const std::string& section) {
  file_.EraseSection(section);
  dirty_ = true;
}

void TIniFile::UpdateFile() {
  file_.Save();
  dirty_ = false;
}

TRegIniFile::TRegIniFile(std::string key) : key_(std::move(key)) {
  while (!key_.empty() && key_.back() == '\\') key_.pop_back();
}

TRegIniFile::~TRegIniFile() {
  if (!dirty_) return;
  try {
    platform::GetRegistry().Save();
  } catch (const std::exception& e) {
    ReportFailedSave(e);
  }
}

std::string TRegIniFile::SectionKey(const std::string& section) const {
  return section.empty() ? key_ : key_ + "\\" + section;
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def) const {
  try {
    platform::Registry& reg = platform::GetRegistry();
    const std::string key = SectionKey(section);
    const auto type = reg.ValueType(key, ident);
    if (!type) return def;
    if (*type == platform::RegType::DWord)
      return std::to_string(static_cast<int32_t>(reg.ReadDWord(key, ident)));
    if (*type == platform::RegType::String) return reg.ReadString(key, ident);
  } catch (const std::exception&) {
  }
  return def;
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value) {
  try {
    platform::GetRegistry().WriteString(SectionKey(section), ident, value);
    dirty_ = true;
  } catch (const std::exception&) {
  }
}

void TRegIniFile::EraseSection(const std::string& section) {
  try {
    platform::GetRegistry().DeleteKey(SectionKey(section));
    dirty_ = true;
  } catch (const std::exception&) {
  }
}

}  // namespace velmaris

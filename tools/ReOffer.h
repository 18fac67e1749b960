// The re-offer of the test peers (emsipeer, hydrapeer): with
// "--reoffer NAME" a peer offers its file NAME again at once whenever the
// caller skips it, for ever; "--reoffer-vary WHAT" changes the offer each
// time, WHAT being a comma list of
//   date     the file's date one day later
//   size     the file one byte longer
//   names:N  the next of N names "r00000.EXT", "r00001.EXT", ... (EXT: NAME's)
//   case     another letter case of the name
// so that the caller cannot tell a new offer by its date, size or name.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

class TReOffer {
 public:
  std::string name;  // empty: no re-offers

  // False when WHAT holds a word it does not know.
  bool SetVary(const std::string& what) {
    for (size_t pos = 0; pos < what.size();) {
      const size_t end = std::min(what.find(',', pos), what.size());
      const std::string word = what.substr(pos, end - pos);
      if (word == "date") {
        date_ = true;
      } else if (word == "size") {
        size_ = true;
      } else if (word == "case") {
        case_ = true;
      } else if (word.starts_with("names:") && std::atoi(word.c_str() + 6) > 0) {
        names_ = std::atoi(word.c_str() + 6);
      } else {
        return false;
      }
      pos = end + 1;
    }
    return true;
  }
  // The file at path is the one to offer again.
  bool Applies(const std::string& path) const {
    return !name.empty() && platform::EqualNoCase(platform::NameOf(path), name);
  }
  // The name to offer the file under (empty: its own).
  const std::string& Alias() const { return alias_; }
  // The caller skipped the file at path: makes the next offer differ.
  void Skipped(const std::string& path) {
    namespace fs = std::filesystem;
    ++round_;
    std::error_code ec;
    if (date_)
      fs::last_write_time(path, fs::last_write_time(path, ec) + std::chrono::hours(24), ec);
    if (size_) fs::resize_file(path, fs::file_size(path, ec) + 1, ec);
    if (names_ == 0 && !case_) return;
    alias_ = platform::NameOf(path);
    if (names_ > 0) {
      char stem[16];
      std::snprintf(stem, sizeof stem, "r%05d", round_ % names_);
      const size_t dot = alias_.rfind('.');
      alias_ = stem + (dot == std::string::npos ? std::string() : alias_.substr(dot));
    }
    if (case_) {
      for (size_t i = 0; i < alias_.size(); ++i) {
        const bool upper = (round_ >> (i % 8)) & 1;
        alias_[i] = upper ? platform::AsciiUpper(alias_[i]) : platform::AsciiLower(alias_[i]);
      }
    }
  }

 private:
  std::string alias_;
  bool date_ = false, size_ = false, case_ = false;
  int names_ = 0, round_ = 0;
};

}  // namespace velmaris

// RAR extraction through the external RAR library (libunrar), loaded when it
// is present, else through the reader that stands in for it (libarchive, see
// UnrarApi.h): the walk over the entries, the choice by FileSpec, the safe
// output names of the base, passwords through the library's callback. An
// encrypted entry the reader cannot decrypt is reported (25259) and passed.
#pragma once

#include <string>

#include "archive/UnrarApi.h"
#include "archive/arxBase.h"

namespace velmaris {

class TUnRAR : public TUnBase {
 public:
  TUnRAR();

  // The extractor's code for a result number of the library.
  static int MapResult(int result);

 protected:
  void ExtractIt() override;

 private:
  // Raises the code of a result of the library for fileName; a failure of
  // the stand-in reader's process is the archive's, raised with its reason.
  void RaiseResult(int result, const std::string& fileName);
  static int Callback(unsigned int msg, unrar::LPARAM user, unrar::LPARAM p1, unrar::LPARAM p2);
  int OnCallback(unsigned int msg, unrar::LPARAM p1, unrar::LPARAM p2);
  unrar::HANDLE OpenArchive();
  void CloseArchive();
  // Opens the archive and passes over the first `index` entries.
  void ReopenAt(size_t index);
  // The password for the current entry: Password, or asked through
  // OnGetPassword (at most PasswordAttempts times in a run). Empty: none.
  std::string FetchPassword();
  enum class EntryResult { kDone, kRetry, kStop };
  EntryResult ExtractEntry(const unrar::RARHeaderDataEx& hd, const std::string& name);
  bool IsDirectory(const unrar::RARHeaderDataEx& hd) const;
  void Skip();

  const unrar::Api* api_ = nullptr;
  unrar::HANDLE handle_ = nullptr;
  std::string currentName_;  // entry being extracted
  int passwordsAsked_ = 0;
  bool passwordGiven_ = false;  // the callback handed out a password for this entry
  bool gaveUp_ = false;         // the password handler declined
};

}  // namespace velmaris

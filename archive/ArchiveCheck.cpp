#include "archive/ArchiveCheck.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "archive/arxBase.h"
#include "archive/arxMain.h"
#include "core/Crc.h"
#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris {

namespace {

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

// What a read-back run tells of each entry it decodes: its name (without
// directory) when it starts, its data block by block, and whether it passed
// its checksum.
struct TReadBackEvents {
  std::function<void(const std::string& name)> Begin;
  std::function<void(const uint8_t* data, size_t n)> Data;
  std::function<void(bool pass)> End;
};

// Decodes the entries of archive that pattern chooses into on, writing
// nothing to a disk. False with why when the archive cannot be read back
// without a fault. Lack of memory leaves as std::bad_alloc.
bool ReadBack(const std::string& archive, const std::string& pattern, const TReadBackEvents& on,
              std::string* why) {
  std::unique_ptr<TUnBase> x = CreateExtractor(DetectArchiveType(archive));
  if (!x) return Fail(why, "it is no archive that can be read back");
  x->UseStoredDirs = false;
  x->RestoreFileAttr = false;
  x->ConfirmOverwrites = false;
  x->SetArchiveFile(archive);
  x->SetFileSpec({pattern});
  x->SetOutputSink(on.Data);
  x->OnBegin = [&on](TUnBase&, const std::string& fn, int, bool&) {
    on.Begin(platform::NameOf(fn));
  };
  x->OnEnd = [&on](TUnBase&, const std::string&, bool pass) { on.End(pass); };
  std::optional<int> error;
  x->OnError = [&error](TUnBase&, const std::string&, const std::string&, const std::string&,
                        int code) {
    if (!error) error = code;
  };
  try {
    x->Extract();
  } catch (const E_RAISE& e) {
    if (!error) error = e.Code();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    if (!error) error = ecReadFile;
  }
  if (error)
    return Fail(why,
                *ArxErrorText(*error) ? ArxErrorText(*error) : "error " + std::to_string(*error));
  return true;
}

// Name, size and CRC-32 of an entry's data, and its checksum verdict.
struct TEntrySum {
  std::string Name;
  uint64_t Size = 0;
  uint32_t Crc = 0xFFFFFFFF;
  bool Pass = false;
};

std::optional<std::vector<TEntrySum>> EntrySums(const std::string& archive, std::string* why) {
  std::vector<TEntrySum> sums;
  TReadBackEvents on;
  on.Begin = [&sums](const std::string& name) { sums.push_back(TEntrySum{name}); };
  on.Data = [&sums](const uint8_t* data, size_t n) {
    if (sums.empty()) return;
    sums.back().Size += n;
    sums.back().Crc = Crc32Update(sums.back().Crc, data, n);
  };
  on.End = [&sums](bool pass) {
    if (!sums.empty()) sums.back().Pass = pass;
  };
  if (!ReadBack(archive, "*.*", on, why)) return std::nullopt;
  return sums;
}

}  // namespace

bool ArchiveHoldsFile(const std::string& archive, const std::string& file, std::string* why) {
  const std::string name = platform::NameOf(file);
  const std::string expected = platform::ReadFile(file);  // raises: not the archive's fault
  bool seen = false, inEntry = false, same = false, holds = false;
  size_t at = 0;
  TReadBackEvents on;
  on.Begin = [&](const std::string& entry) {
    inEntry = !seen && platform::EqualNoCase(entry, name);
    if (!inEntry) return;
    seen = same = true;
    at = 0;
  };
  on.Data = [&](const uint8_t* data, size_t n) {
    if (!inEntry || !same) return;
    same = n <= expected.size() - at && std::memcmp(expected.data() + at, data, n) == 0;
    at += n;
  };
  on.End = [&](bool pass) {
    if (inEntry) holds = pass && same && at == expected.size();
    inEntry = false;
  };
  if (!ReadBack(archive, name, on, why)) return false;
  if (!seen) return Fail(why, name + " is not in it");
  if (!holds) return Fail(why, name + " in it differs from the file");
  return true;
}

bool ArchiveKeepsEntriesOf(const std::string& archive, const std::string& before,
                           std::string* why) {
  std::string whyBefore;
  const auto held = EntrySums(before, &whyBefore);
  if (!held) return Fail(why, "what it held before cannot be read back: " + whyBefore);
  auto now = EntrySums(archive, why);
  if (!now) return false;
  for (const TEntrySum& e : *held) {
    const auto kept = std::find_if(now->begin(), now->end(), [&e](const TEntrySum& n) {
      return n.Pass && n.Size == e.Size && n.Crc == e.Crc && platform::EqualNoCase(n.Name, e.Name);
    });
    if (!e.Pass || kept == now->end()) return Fail(why, e.Name + " that it held is not in it");
    now->erase(kept);
  }
  return true;
}

}  // namespace velmaris

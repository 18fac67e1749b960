// The ring of the 16,000 most recent echomail keys by which the tosser knows
// mail it has already imported, and its database "Velmaris.Dupes".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmaris {

class TDupeChecker {
 public:
  static constexpr uint32_t kSlots = 16000;
  static constexpr size_t kFileSize = 8 + 4 * kSlots;  // 64,008 bytes

  // An empty ring; loads `path` when it is not empty.
  explicit TDupeChecker(std::string path = {});
  // Saves when a path is set.
  ~TDupeChecker();

  // True when the key is new (and stores it, overwriting the oldest key once
  // the ring is full); false when the ring holds it already.
  bool CheckAndAdd(uint32_t key);
  bool Contains(uint32_t key) const { return index_.count(key) != 0; }
  // The keys of the ring, the oldest first.
  std::vector<uint32_t> Keys() const;
  // Takes the keys of another ring in, as older than its own: the ring then
  // holds the newest 16,000 of both, its own the newest.
  void Merge(const TDupeChecker& older);

  // The database in the start directory. Loading a missing, short or damaged
  // file (a count or last index above 16,000, a last index past the count, or
  // any other size than 64,008 bytes) gives an empty ring; LoadProblem() then
  // tells why (empty for a missing file and after a good load).
  // A database that exists but cannot be read (another user's, a folder in
  // its place, a read error) is no first start: the ring is empty, the
  // load is Unreadable() with LoadProblem() saying why, and the file is
  // never written over (SaveToFile raises, the destructor leaves it).
  void LoadFromFile();
  // Writes a temporary file and renames it over the old one, so a crash
  // leaves the old or the new database. Raises platform::EFile on failure,
  // and for a database that could not be read.
  void SaveToFile() const;
  bool Unreadable() const { return unreadable_; }

  // The same layout in memory, for tests and tools.
  std::string Encode() const;
  bool Decode(std::string_view bytes, std::string* problem);

  const std::string& Path() const { return path_; }
  // Drops the path: the ring is not saved when it goes.
  void Forget() { path_.clear(); }
  // The database the ring is saved to from now on.
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& LoadProblem() const { return loadProblem_; }
  uint32_t Count() const { return count_; }
  uint32_t LastIndex() const { return lastIndex_; }
  uint32_t Slot(uint32_t number) const { return slots_.at(number - 1); }  // 1-based

 private:
  void Clear();
  void Rebuild();

  std::string path_;
  std::string loadProblem_;
  bool unreadable_ = false;
  uint32_t count_ = 0;
  uint32_t lastIndex_ = 0;
  std::array<uint32_t, kSlots> slots_{};
  // How often each key stands in slots 1..count, so the test is one lookup
  // instead of a scan of the ring.
  std::unordered_map<uint32_t, uint32_t> index_;
};

}  // namespace velmaris

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

  // The database in the start directory. A missing file is a first start
  // (an empty ring, LoadProblem() empty).
  // A database that exists (a link whose target is not there, a FIFO or
  // other node that is no file included) but cannot be read (another
  // user's, a folder in its place, a read error) is no first start: the
  // ring is empty, the load is Unreadable() with LoadProblem() saying why,
  // and the file is never written over (SaveToFile raises, the destructor
  // leaves it). Nothing but a file is opened, so a FIFO never waits.
  // A damaged database (short, empty, too long, a count or last index that
  // does not fit) keeps the keys it still holds (Salvage): the load is
  // Damaged() with LoadProblem() saying why; KeepDamagedFile keeps the file
  // beside before the ring is written over it.
  void LoadFromFile();
  // Writes a temporary file and renames it over the old one, so a crash
  // leaves the old or the new database; a link to a database is written
  // through (its target replaced, the link kept). Raises platform::EFile on
  // failure, and for a database that could not be read.
  void SaveToFile() const;
  bool Unreadable() const { return unreadable_; }
  bool Damaged() const { return damaged_; }
  // Keeps the damaged database last loaded (also after Forget) beside it
  // under the first free of "Velmaris.Dupes.0001.damaged", ... (a second
  // name of the same file, or a copy where the file system has none), and
  // returns that name. When
  // it cannot be kept, the database counts as Unreadable() from now on (the
  // ring empty, the file never written over) and "" is returned.
  std::string KeepDamagedFile();
  // The keys a damaged layout still holds, taken in as old as they were:
  // with a count and last index that fit, the slots that are there of those
  // in use; else every slot there that is not 0. The number of keys kept.
  uint32_t Salvage(std::string_view bytes);

  // The same layout in memory, for tests and tools.
  std::string Encode() const;
  bool Decode(std::string_view bytes, std::string* problem);

  const std::string& Path() const { return path_; }
  // The file the database is written to: a link's target ("" when it is not
  // there), else Path().
  std::string FilePath() const;
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
  std::string loadedFrom_;  // the database the last load read, kept on Forget
  std::string loadProblem_;
  bool unreadable_ = false;
  bool damaged_ = false;
  uint32_t count_ = 0;
  uint32_t lastIndex_ = 0;
  std::array<uint32_t, kSlots> slots_{};
  // How often each key stands in slots 1..count, so the test is one lookup
  // instead of a scan of the ring.
  std::unordered_map<uint32_t, uint32_t> index_;
};

}  // namespace velmaris

// Reader of the compiled nodelist index set. Record numbers run from 0;
// every getter accepts -1 (what FindAddress answers for an unlisted address)
// and then gives the "unlisted" answer, so a caller can pass a search result
// on unchecked.
//
// The compiler, the nodelist browser and the mailer take the lock around
// their use; an Open asked for while the lock is held is remembered and
// carried out by the Unlock that releases it. All operations are safe to call
// from several threads.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "nodelist/NodelistFiles.h"

namespace velmaris {

class TNodelistLookup {
 public:
  TNodelistLookup() = default;
  ~TNodelistLookup();
  TNodelistLookup(const TNodelistLookup&) = delete;
  TNodelistLookup& operator=(const TNodelistLookup&) = delete;

  // Takes the index directory (made absolute, "/" appended); opens the set
  // when the directory differs from the current one.
  void SetPath(const std::string& dir);
  std::string GetPath() const;

  // Opens the whole set or nothing; while locked only remembers the request.
  void Open();
  // False (and nothing changes) while locked.
  bool Close();
  void Lock();
  void Unlock();

  int Count() const;
  bool IsOpen() const;  // the whole set is open (it may hold 0 records)
  bool PendingReopen() const;
  int LockCount() const;

  bool ReadRecord(int n, TNodeIndexRecord& rec) const;
  // Records first .. first + count - 1, fewer at the end of the set, read in
  // one go (for callers that go through many).
  std::vector<TNodeIndexRecord> ReadRecords(int first, int count) const;
  int FindAddress(const TFidoAddr& addr) const;
  int SearchAddress(int lo, int hi, const TFidoAddr& addr) const;

  std::string GetSystemName(int n) const;  // "Unlisted!" for -1
  std::string GetSysop(int n) const;
  std::string GetCity(int n) const;
  std::string GetMisc(int n) const;                            // phone, speed and flags
  void GetAddress(int n, TFidoAddr& addr) const;               // unchanged for -1
  void GetAddressText(int n, TFidonetAddress& address) const;  // unchanged for -1
  int32_t GetNodeType(int n) const;                            // 127 for -1
  uint32_t GetNameOffset(int n) const;                         // 127 for -1
  uint32_t GetSysopOffset(int n) const;
  uint32_t GetCityOffset(int n) const;

  int GetNameCount() const;
  int GetSysopCount() const;
  int GetCityCount() const;
  uint32_t GetNameIndexEntry(int k) const;
  uint32_t GetSysopIndexEntry(int k) const;
  uint32_t GetCityIndexEntry(int k) const;
  std::string GetNameInOrder(int k) const;
  std::string GetSysopInOrder(int k) const;
  std::string GetCityInOrder(int k) const;

  // Every text of a key in sorted order: fn(k, its .Data offset, the text).
  // The key's two files are read whole first (so the texts come at memory
  // speed); a file that cannot be read gives no texts.
  enum class TTextKey { Name, Sysop, City };
  using TTextVisitor = std::function<void(int k, uint32_t offset, std::string_view text)>;
  void ForEachTextInOrder(TTextKey key, const TTextVisitor& fn) const;

  // Position in sorted order of the first text equal to text, -1 when there
  // is none. Systems without a text are found with the empty text.
  int FindNameInOrder(const std::string& text) const;
  int FindSysopInOrder(const std::string& text) const;
  int FindCityInOrder(const std::string& text) const;
  // The records whose text equals text, ascending by address.
  std::vector<int> FindRecordsByName(const std::string& text) const;
  std::vector<int> FindRecordsBySysop(const std::string& text) const;
  std::vector<int> FindRecordsByCity(const std::string& text) const;

 private:
  // File slots in the order they are opened.
  enum Slot {
    sAddr,
    sNamesIdx,
    sSysopsIdx,
    sCitiesIdx,
    sMiscIdx,
    sNamesData,
    sSysopsData,
    sCitiesData,
    sMiscData,
    sCount
  };

  void OpenLocked();
  void CloseFiles();
  bool ReadRecordLocked(int n, TNodeIndexRecord& rec) const;
  int SearchLocked(int lo, int hi, const TFidoAddr& addr) const;
  std::string ReadDataText(Slot slot, uint32_t offset) const;
  uint32_t ReadIndexValue(Slot slot, int k) const;
  int IndexCount(Slot slot) const;
  std::string TextOf(int n, Slot dataSlot, uint32_t TNodeIndexRecord::*field) const;
  int FindInOrderLocked(Slot indexSlot, Slot dataSlot, const std::string& text) const;
  std::vector<int> FindRecords(Slot indexSlot, Slot dataSlot, uint32_t TNodeIndexRecord::*field,
                               const std::string& text) const;

  mutable std::mutex mutex_;
  std::array<int, sCount> fds_{-1, -1, -1, -1, -1, -1, -1, -1, -1};
  std::array<uint64_t, sCount> sizes_{};
  bool openSet_ = false;
  bool pendingReopen_ = false;
  int lockCount_ = 0;
  int count_ = 0;
  std::string path_;
};

}  // namespace velmaris

// Unpack jobs: look for archives matching a file mask, unpack each with the
// packer whose signature recognises it into a destination directory, then
// delete the archive, move it to another directory or keep it. The jobs are
// part of the configuration (key "Unpackjobs"); the automatic unpacker
// (AutoUnpacker.h) runs them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PubLst.h"
#include "core/WinRegistry.h"

namespace velmaris {

class TUnpackJob : public TObject {
 public:
  // What happens to an archive after it was unpacked. Any value other than
  // 0 and 1 keeps it.
  enum : int32_t { usDelete = 0, usMove = 1, usKeep = 2 };

  TUnpackJob() = default;
  TUnpackJob(std::string mask, std::string destDir, std::string moveDir, int32_t source)
      : Mask(std::move(mask)),
        DestDir(std::move(destDir)),
        MoveDir(std::move(moveDir)),
        Source(source) {}

  std::string Mask;     // directory and file mask, e.g. "/fido/files/*.zip"
  std::string DestDir;  // where the archives are unpacked
  std::string MoveDir;  // where Source 1 moves them
  int32_t Source = usDelete;

  // Copies the four values (the name belongs to the list).
  void Assign(const TUnpackJob& other);

  // "DestDir", "MoveDir", "Mask" (default "Maske"), "Source" (default 0)
  // below section.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  // "DestDir", "MoveDir", "Mask", "Source", in this order.
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;
};

// The configured unpack jobs, in the order they run. The list keeps every
// job it was given alive until the list ends, also after its entry was
// deleted or the list reloaded, since a properties window may still show it.
class TUnpJobList : public TTypedList<TUnpackJob> {
 public:
  TUnpJobList() = default;
  ~TUnpJobList() override;

  TUnpackJob* AddJob(const std::string& name, std::unique_ptr<TUnpackJob> job);
  int IndexOfJob(const TUnpackJob* job) const { return IndexOf(job); }
  // Raises EListIndexError outside 0 .. count - 1.
  TUnpackJob* GetJob(int index) const { return GetItem(index); }

  // Replaces the entries by copies of the other list's jobs, under the same
  // names (one change event).
  void AssignCopies(const TUnpJobList& other);

  // Replaces the entries by those below key ("Unpackjobs"): "Count"
  // (default 0, at most kMaxStoredJobs are read), then each "Job<n>" with
  // "Name" (default "<unnamed>"). A value of the wrong type raises
  // platform::ERegistry and leaves the list as it was.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& key);
  // Writes "Count", then per job "Job<n>" with "Name", "DestDir",
  // "MoveDir", "Mask", "Source"; the keys of a longer list saved earlier go.
  void SaveToRegistry(TWinRegistry& registry, const std::string& key) const;

  // More jobs than any configuration holds; a larger stored count is damage.
  static constexpr int32_t kMaxStoredJobs = 1000;

 private:
  std::vector<std::unique_ptr<TUnpackJob>> owned_;
};

}  // namespace velmaris

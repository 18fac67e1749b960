#include "archive/UnpackJob.h"

#include <algorithm>
#include <utility>

namespace velmaris {

void TUnpackJob::Assign(const TUnpackJob& other) {
  Mask = other.Mask;
  DestDir = other.DestDir;
  MoveDir = other.MoveDir;
  Source = other.Source;
}

void TUnpackJob::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  DestDir = registry.ReadPath(section, "DestDir", "");
  MoveDir = registry.ReadPath(section, "MoveDir", "");
  Mask = registry.ReadPath(section, "Mask", "Maske");
  Source = registry.ReadInteger(section, "Source", usDelete);
}

void TUnpackJob::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteString(section, "DestDir", DestDir);
  registry.WriteString(section, "MoveDir", MoveDir);
  registry.WriteString(section, "Mask", Mask);
  registry.WriteInteger(section, "Source", Source);
}

// ---------------------------------------------------------------------------

TUnpJobList::~TUnpJobList() = default;

TUnpackJob* TUnpJobList::AddJob(const std::string& name, std::unique_ptr<TUnpackJob> job) {
  TUnpackJob* raw = job.get();
  owned_.push_back(std::move(job));
  AddObject(name, raw);
  return raw;
}

void TUnpJobList::AssignCopies(const TUnpJobList& other) {
  if (&other == this) return;
  std::vector<std::pair<std::string, std::unique_ptr<TUnpackJob>>> copies;
  for (int i = 0; i < other.GetCount(); ++i) {
    auto job = std::make_unique<TUnpackJob>();
    if (const TUnpackJob* source = other.GetJob(i)) job->Assign(*source);
    copies.emplace_back(other.GetString(i), std::move(job));
  }
  BeginUpdate();
  Clear();
  for (auto& [name, job] : copies) AddJob(name, std::move(job));
  EndUpdate();
}

void TUnpJobList::LoadFromRegistry(const TWinRegistry& registry, const std::string& key) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::pair<std::string, std::unique_ptr<TUnpackJob>>> loaded;
  const int32_t count = std::clamp(registry.ReadInteger(key, "Count", 0), 0, kMaxStoredJobs);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string section = key + "\\Job" + std::to_string(n);
    auto job = std::make_unique<TUnpackJob>();
    job->LoadFromRegistry(registry, section);
    loaded.emplace_back(registry.ReadString(section, "Name", "<unnamed>"), std::move(job));
  }
  BeginUpdate();
  Clear();
  for (auto& [name, job] : loaded) AddJob(name, std::move(job));
  EndUpdate();
}

void TUnpJobList::SaveToRegistry(TWinRegistry& registry, const std::string& key) const {
  int32_t count = 0;
  for (int i = 0; i < GetCount(); ++i)
    if (GetJob(i)) ++count;
  registry.WriteInteger(key, "Count", count);
  int n = 0;
  for (int i = 0; i < GetCount(); ++i) {
    const TUnpackJob* job = GetJob(i);
    if (!job) continue;
    const std::string section = key + "\\Job" + std::to_string(++n);
    registry.WriteString(section, "Name", GetString(i));
    job->SaveToRegistry(registry, section);
  }
  registry.DeleteEntriesBeyond(key, "Job", count);
}

}  // namespace velmaris

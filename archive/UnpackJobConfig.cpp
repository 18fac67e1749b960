#include "archive/UnpackJobConfig.h"

#include <atomic>

namespace velmaris {

namespace {

constexpr const char* kUnpackJobsSection = "Unpackjobs";

std::atomic<TUnpJobList*> currentJobs{nullptr};

}  // namespace

TUnpackJobConfig::~TUnpackJobConfig() {
  TUnpJobList* expected = &jobs_;
  currentJobs.compare_exchange_strong(expected, nullptr);
}

void TUnpackJobConfig::LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) {
  (void)store;
  jobs_.LoadFromRegistry(registry, kUnpackJobsSection);
}

void TUnpackJobConfig::SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const {
  (void)store;
  jobs_.SaveToRegistry(registry, kUnpackJobsSection);
}

TUnpJobList& InstallUnpackJobConfig(TConfigStore& store) {
  auto section = std::make_unique<TUnpackJobConfig>();
  TUnpJobList& list = section->Jobs();
  store.SetSection(TConfigSlot::UnpackJobs, std::move(section));
  SetUnpackJobList(&list);
  return list;
}

TUnpJobList* GetUnpackJobList() { return currentJobs.load(); }
void SetUnpackJobList(TUnpJobList* list) { currentJobs.store(list); }

}  // namespace velmaris

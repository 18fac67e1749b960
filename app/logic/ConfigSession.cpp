#include "app/logic/ConfigSession.h"

#include "archive/PackerConfig.h"
#include "archive/UnpackJobConfig.h"
#include "core/ConfigStore.h"
#include "mailer/Mailers.h"
#include "platform/Registry.h"
#include "processing/AutoSend.h"
#include "processing/Secretary.h"

namespace velmaris {

TConfigSession::TConfigSession(const std::string& startDir, const std::string& registryPath)
    : registry_(std::make_unique<platform::Registry>(registryPath)),
      store_(std::make_unique<TConfigStore>(startDir, *registry_)) {
  platform::SetRegistry(registry_.get());
  InstallPackerConfig(*store_);
  InstallUnpackJobConfig(*store_);
  InstallFilterConfig(*store_);
  InstallAutoSendConfig(*store_);
  InstallMailerConfig(*store_);
}

TConfigSession::~TConfigSession() {
  store_.reset();
  if (&platform::GetRegistry() == registry_.get()) platform::SetRegistry(nullptr);
}

void TConfigSession::Load() {
  store_->MakeCurrent();
  store_->LoadConfiguration();
}

bool TConfigSession::Save() { return store_->SaveConfiguration(); }

bool TConfigSession::SaveAndClose() { return store_->SaveAndClose(); }

}  // namespace velmaris

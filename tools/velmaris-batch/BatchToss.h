// One tosser run of a batch command, set up as the program's import is: the
// import filters applied to every placed message, the uplinks' area-list
// replies registered with the echo- and file-area managers (their data files
// beside the message base), the duplicate database of the start directory
// opened for the run and saved after it. The run works on its own thread
// while the calling (main) thread turns the dispatcher, as the program's
// main window does.
#pragma once

#include <memory>

#include "platform/Dispatcher.h"
#include "processing/AreaManager.h"
#include "processing/Secretary.h"
#include "processing/Tosser.h"

namespace velmaris::batch {

class BatchToss {
 public:
  explicit BatchToss(TConfigStore& store);
  // Runs to the end and waits for the report; false (nothing run) when
  // another import is going on.
  bool Run(platform::PlainDispatcher& dispatcher);
  const TTosser& Tosser() const { return *tosser_; }
  // The duplicate database was saved after the run.
  bool RingSaved() const { return ringSaved_; }

 private:
  TConfigStore& store_;
  std::unique_ptr<TImportFilterRun> filters_;
  TAreaManagers managers_;
  std::unique_ptr<TTosser> tosser_;
  bool ringSaved_ = false;
};

}  // namespace velmaris::batch

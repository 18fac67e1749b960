// The unpacker: runs one of the integrated extractors on a worker thread
// while the caller waits (pumping the main thread's messages when it is the
// main thread), reports progress through events for the window that shows
// it, asks the overwrite question and shows extraction errors through the
// Prompter, and returns the code of the last error.
//
// Extractions are serialised process-wide: the worker takes ExtractionLock()
// before the extractor runs, so the automatic unpacker, a command and the
// tosser never work inside an extractor at the same time. The caller never
// holds the lock itself, so an extraction started from a message handled
// while the main thread waits for another one simply queues behind it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/arxBase.h"
#include "core/Job.h"

namespace velmaris {

// Extraction kinds, in the order of the unpack commands' extractor names.
enum TExtractKind : int { ekUnZIP = 0, ekUnARC = 1, ekUnARJ = 2, ekUnLHA = 3, ekUnRAR = 4 };
// "UnZIP", "UnARC", "UnARJ", "UnLHA", "UnRAR"; "" outside 0..4.
const char* ExtractKindName(int kind);

// The process-wide lock held while an extractor or an external unpacker runs.
std::mutex& ExtractionLock();

// Runs work on a new thread and waits until it has ended. On the main thread
// the wait processes the Dispatcher's messages (so the work may Send to the
// main thread); elsewhere it blocks. Never spins. An exception of the work
// reaches the caller, and so does the failure to start the thread (through
// start, when given).
void RunAndWait(std::function<void()> work, const TThreadStarter& start = {});

class TVisualDecompressor;

// One extraction with its progress state. The state is what the progress
// window shows; each event fires on the main thread (through the Dispatcher)
// after the state it announces has changed, only when assigned.
class TVUPProgress {
 public:
  using TProgressEvent = std::function<void(TVUPProgress& sender)>;

  TVUPProgress();
  ~TVUPProgress();
  TVUPProgress(const TVUPProgress&) = delete;
  TVUPProgress& operator=(const TVUPProgress&) = delete;

  // Extracts every entry of the archive into destDir (no stored directories,
  // no attributes) with the extractor of the kind. Returns 0 on success, the
  // code of the last error otherwise, -1 for a kind outside 0..4 (nothing is
  // done then). An extractor that is not built in gives 25242.
  int Extract(int kind, const std::string& archive, const std::string& destDir);
  int LastError() const { return lastError_.load(); }

  // Set before Extract: an existing file is never overwritten and nobody is
  // asked; the entry is written beside it under a free name that keeps the
  // extension ("x.pkt" becomes "x~1.pkt").
  bool KeepExisting = false;
  // The errors of the last Extract, one "file: text" line each, in order.
  std::vector<std::string> ErrorLines() const;
  // What else the last Extract has to say, one "file: text" line each: an
  // entry unpacked under a name cut to fit or numbered (another entry's cut
  // took its name), and the name it came under.
  std::vector<std::string> NoteLines() const;
  // Set before Extract: the error boxes are not shown but kept, for the
  // caller to show when the outcome calls for them.
  bool HoldErrorBoxes = false;
  // The texts of the boxes the last Extract held back, in order.
  std::vector<std::string> HeldErrorBoxes() const;
  // The errno of a failure of our own in the last Extract, else 0: a write
  // that failed (disk full, file-size limit, I/O error; see
  // TUnBase::OutputFailure), or ENOMEM when this process ran out of memory.
  // The extractors bound what an archive may make them allocate, so the
  // archive is not at fault then.
  int OutputFailure() const { return outputFailure_.load(); }
  // Set before Extract: the output limits of the extraction (0: none), see
  // TUnBase::SetSizeLimits.
  uint64_t MaxEntrySize = 0;
  uint64_t MaxTotalSize = 0;
  // Set before Extract: how the thread that waits for the extractor is
  // started (empty: std::thread). A thread that cannot be started raises
  // std::system_error out of Extract, after the run is closed.
  TThreadStarter StartThread;
  // The last Extract met one of those limits; EntryLimitHit: the one of an
  // entry. DeclaredSize: the unpacked sizes the archive declared.
  bool SizeLimitHit() const { return sizeLimitHit_.load(); }
  bool EntryLimitHit() const { return entryLimitHit_.load(); }
  uint64_t DeclaredSize() const { return declaredSize_.load(); }
  // The last Extract met an entry packed with a method the extractor does
  // not decode (our limit, not damage; see EUnsupportedMethod): "<entry>:
  // <method>" of the first; "" when it met none.
  std::string UnsupportedMethod() const;

  // State shown by the window.
  std::string Caption() const;      // "Integrated UnZIP"
  std::string ArchiveText() const;  // "Entpacke x.zip nach /in/ ..."
  std::string FileText() const;     // the current entry
  int Position() const;             // 0..100
  bool Active() const;              // between OnShow and OnClose

  TProgressEvent OnShow;      // Caption and ArchiveText are set, the run begins
  TProgressEvent OnFile;      // FileText changed
  TProgressEvent OnProgress;  // Position changed
  TProgressEvent OnClose;     // the run has ended; the window closes

  // Called for every new progress object, on the main thread, before its
  // run begins: the application attaches its window here.
  static void SetViewHook(TProgressEvent hook);

 private:
  friend class TVisualDecompressor;
  void Fire(const TProgressEvent& event);
  void SetProgress(int percent);
  void SetFileName(const std::string& name);
  // An error box, or its text kept (HoldErrorBoxes).
  void ErrorBox(const std::string& text);

  mutable std::mutex mutex_;
  std::string caption_, archiveText_, fileText_;
  int position_ = 0;
  bool active_ = false;
  std::vector<std::string> errorLines_;
  std::vector<std::string> noteLines_;
  std::vector<std::string> heldBoxes_;
  std::string unsupportedMethod_;
  std::atomic<int> lastError_{0};
  std::atomic<int> outputFailure_{0};
  std::atomic<bool> sizeLimitHit_{false};
  std::atomic<bool> entryLimitHit_{false};
  std::atomic<uint64_t> declaredSize_{0};
};

// The worker of one extraction (a job, see core/Job.h): runs the
// extractor's Extract under the extraction lock and routes its events to the
// progress object. Every failure becomes the last error and an error box.
class TVisualDecompressor : public TJob {
 public:
  TVisualDecompressor(TVUPProgress& form, TUnBase& component, const std::string& archive,
                      const std::string& destDir);
  ~TVisualDecompressor() override { Join(); }
  // The run on the calling thread.
  void Execute() { RunHere(); }
  // The run on a thread of its own; the caller waits with RunAndWait.
  void Start() { Launch(); }
  // True when the existing file may be overwritten: asks Yes/No/All unless
  // All was answered before in this extraction.
  bool AskOverwrite(const std::string& name);
  // The error box of one error event (kept instead with HoldErrorBoxes).
  void ShowError(const std::string& fileName, const std::string& message);

 private:
  void RunJob() override;
  void Failed(const std::string& what) override;

  TVUPProgress& form_;
  TUnBase& component_;
  bool all_ = false;
};

}  // namespace velmaris

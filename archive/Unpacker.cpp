#include "archive/Unpacker.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <new>

#include "platform/Ascii.h"
#include "platform/Dispatcher.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/WireName.h"

namespace velmaris {

using platform::GetDispatcher;
using platform::GetPrompter;

namespace {

const char* const kKindNames[] = {"UnZIP", "UnARC", "UnARJ", "UnLHA", "UnRAR"};

std::mutex gHookMutex;
TVUPProgress::TProgressEvent gViewHook;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ErrorText(int code) {
  const char* text = ArxErrorText(code);
  return *text ? std::string(text) : "Error " + std::to_string(code);
}

// Shows a message box on the main thread and returns the answer.
platform::MsgButton AskOnMainThread(platform::MsgKind kind, const std::string& text,
                                    platform::MsgButtons buttons) {
  platform::MsgButton answer = platform::mbNone;
  GetDispatcher().Send([&] { answer = GetPrompter().Ask(kind, text, buttons); });
  return answer;
}

}  // namespace

const char* ExtractKindName(int kind) { return kind >= 0 && kind <= 4 ? kKindNames[kind] : ""; }

std::mutex& ExtractionLock() {
  static std::mutex lock;
  return lock;
}

void RunAndWait(std::function<void()> work, const TThreadStarter& start) {
  struct State {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr error;
  };
  auto state = std::make_shared<State>();
  platform::Dispatcher& dispatcher = GetDispatcher();
  const bool onMain = dispatcher.IsMainThread();

  std::function<void()> run = [state, &dispatcher, onMain, work = std::move(work)] {
    try {
      work();
    } catch (...) {
      state->error = std::current_exception();
    }
    {
      std::lock_guard lock(state->m);
      state->done = true;
    }
    state->cv.notify_all();
    if (onMain) dispatcher.Wake();  // the main thread's RunUntil looks at once
  };
  std::thread worker = start ? start(std::move(run)) : std::thread(std::move(run));

  auto isDone = [&state] {
    std::lock_guard lock(state->m);
    return state->done;
  };
  if (onMain) {
    while (!dispatcher.RunUntil(isDone, std::chrono::hours(1))) {
    }
  } else {
    std::unique_lock lock(state->m);
    state->cv.wait(lock, [&] { return state->done; });
  }
  worker.join();
  if (state->error) std::rethrow_exception(state->error);
}

// ---------------------------------------------------------------------------

TVUPProgress::TVUPProgress() = default;
TVUPProgress::~TVUPProgress() = default;

void TVUPProgress::SetViewHook(TProgressEvent hook) {
  std::lock_guard lock(gHookMutex);
  gViewHook = std::move(hook);
}

std::string TVUPProgress::Caption() const {
  std::lock_guard lock(mutex_);
  return caption_;
}
std::string TVUPProgress::ArchiveText() const {
  std::lock_guard lock(mutex_);
  return archiveText_;
}
std::string TVUPProgress::FileText() const {
  std::lock_guard lock(mutex_);
  return fileText_;
}
int TVUPProgress::Position() const {
  std::lock_guard lock(mutex_);
  return position_;
}
std::vector<std::string> TVUPProgress::ErrorLines() const {
  std::lock_guard lock(mutex_);
  return errorLines_;
}

std::vector<std::string> TVUPProgress::NoteLines() const {
  std::lock_guard lock(mutex_);
  return noteLines_;
}

std::string TVUPProgress::UnsupportedMethod() const {
  std::lock_guard lock(mutex_);
  return unsupportedMethod_;
}

std::vector<std::string> TVUPProgress::HeldErrorBoxes() const {
  std::lock_guard lock(mutex_);
  return heldBoxes_;
}

void TVUPProgress::ErrorBox(const std::string& text) {
  if (HoldErrorBoxes) {
    std::lock_guard lock(mutex_);
    heldBoxes_.push_back(text);
    return;
  }
  AskOnMainThread(platform::MsgKind::Error, text, platform::mbYes);
}

bool TVUPProgress::Active() const {
  std::lock_guard lock(mutex_);
  return active_;
}

void TVUPProgress::Fire(const TProgressEvent& event) {
  if (event) GetDispatcher().Send([&] { event(*this); });
}

void TVUPProgress::SetProgress(int percent) {
  {
    std::lock_guard lock(mutex_);
    if (percent == position_) return;
    position_ = percent;
  }
  Fire(OnProgress);
}

void TVUPProgress::SetFileName(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    if (name == fileText_) return;
    fileText_ = name;
  }
  Fire(OnFile);
}

int TVUPProgress::Extract(int kind, const std::string& archive, const std::string& destDir) {
  if (kind < 0 || kind > 4) return -1;
  lastError_ = 0;
  outputFailure_ = 0;
  sizeLimitHit_ = entryLimitHit_ = false;
  declaredSize_ = 0;
  const std::string name = ExtractKindName(kind);
  {
    std::lock_guard lock(mutex_);
    caption_ = "Integrated " + name;
    archiveText_ = "Entpacke " + BaseName(archive) + " nach " + destDir + " ...";
    fileText_.clear();
    position_ = 0;
    active_ = true;
    errorLines_.clear();
    noteLines_.clear();
    heldBoxes_.clear();
    unsupportedMethod_.clear();
  }
  TProgressEvent hook;
  {
    std::lock_guard lock(gHookMutex);
    hook = gViewHook;
  }
  Fire(hook);
  Fire(OnShow);

  std::exception_ptr failure;
  std::unique_ptr<TUnBase> component = CreateExtractorByName(name);
  if (!component) {
    lastError_ = ecUnsupportedType;
    ErrorBox("Fehler beim Entpacken von " + archive + ":\r\n" + ErrorText(ecUnsupportedType));
  } else {
    component->SetSizeLimits(MaxEntrySize, MaxTotalSize);
    TVisualDecompressor worker(*this, *component, archive, destDir);
    try {
      worker.Start();
      RunAndWait([&worker] { worker.Join(); }, StartThread);
    } catch (...) {
      // A thread that could not be started (no memory for its stack): the
      // run is closed as any other before the failure goes on to the caller.
      failure = std::current_exception();
      worker.Join();
    }
    if (component->OutputFailure() != 0) outputFailure_ = component->OutputFailure();
    sizeLimitHit_ = component->SizeLimitHit();
    entryLimitHit_ = component->EntryLimitHit();
    declaredSize_ = component->DeclaredSize();
    std::lock_guard lock(mutex_);
    unsupportedMethod_ = component->UnsupportedMethod();
  }

  {
    std::lock_guard lock(mutex_);
    active_ = false;
  }
  Fire(OnClose);
  if (failure) std::rethrow_exception(failure);
  return lastError_;
}

// ---------------------------------------------------------------------------

TVisualDecompressor::TVisualDecompressor(TVUPProgress& form, TUnBase& component,
                                         const std::string& archive, const std::string& destDir)
    : form_(form), component_(component) {
  component_.RestoreFileAttr = false;
  component_.UseStoredDirs = false;
  component_.CpuType = cptAuto;
  component_.ConfirmOverwrites = true;
  component_.SetArchiveFile(archive);
  component_.SetExtractDir(destDir);
  component_.SetFileSpec({"*.*"});

  component_.OnActivate = [this](TUnBase&) { form_.SetProgress(0); };
  component_.OnDeactivate = [this](TUnBase&) { form_.SetProgress(100); };
  component_.OnBegin = [this](TUnBase&, const std::string& fn, int, bool&) {
    form_.SetFileName(fn);
  };
  component_.OnEnd = [this](TUnBase&, const std::string& fn, bool) { form_.SetFileName(fn); };
  component_.OnProgress = [this](TUnBase&, int, int byArchive) { form_.SetProgress(byArchive); };
  component_.OnFileExists = [this](TUnBase&, const std::string& fn, time_t, TOverwriteMode& mode) {
    mode = form_.KeepExisting || AskOverwrite(fn) ? omOverwrite : omSkip;
  };
  if (form_.KeepExisting) {
    // The entry goes beside the existing file; a name that cannot be found
    // is refused (reported) rather than written over anything.
    component_.OnRenameCompressedFile = [](TUnBase&, std::string& name) {
      name = platform::FreeNameBeside(name);
    };
  }
  // The stored name is the disk's (UTF-8); the line goes into the ANSI log
  // as the error lines do.
  auto note = [this](const std::string& stored, const char* why, const std::string& out) {
    const std::string line = platform::LogName(platform::EscapeNameControls(stored)) + why +
                             platform::LogName(platform::NameOf(out));
    std::lock_guard lock(form_.mutex_);
    form_.noteLines_.push_back(line);
  };
  component_.OnNameCut = [note](TUnBase&, const std::string& stored, const std::string& out) {
    note(stored, ": the name is too long, unpacked as ", out);
  };
  component_.OnNameTaken = [note](TUnBase&, const std::string& stored, const std::string& out) {
    note(stored, ": the name is taken by an entry cut to it, unpacked as ", out);
  };
  component_.OnError = [this](TUnBase&, const std::string& fn, const std::string& msgEx,
                              const std::string&, int code) {
    form_.lastError_ = code;
    // The extractor's further words on the error, when it has any.
    ShowError(
        fn, msgEx.empty() || msgEx == "0" ? ErrorText(code) : ErrorText(code) + " (" + msgEx + ")");
  };
}

void TVisualDecompressor::Failed(const std::string& what) {
  form_.lastError_ = ecReadFile;
  ShowError(component_.ArchiveFile(), what);
}

void TVisualDecompressor::RunJob() {
  std::lock_guard lock(ExtractionLock());
  const std::string archive = component_.ArchiveFile();
  try {
    component_.Extract();
  } catch (const E_RAISE& e) {
    // OnError has normally recorded and shown it already.
    if (form_.lastError_ == 0) {
      form_.lastError_ = e.Code() ? e.Code() : ecReadFile;
      ShowError(e.FileName().empty() ? archive : e.FileName(), e.what());
    }
  } catch (const std::bad_alloc&) {
    form_.lastError_ = ecOutOfMemory;
    form_.outputFailure_ = ENOMEM;
    ShowError(archive, ErrorText(ecOutOfMemory));
  } catch (const std::exception& e) {
    form_.lastError_ = ecReadFile;
    ShowError(archive, e.what());
  }
}

bool TVisualDecompressor::AskOverwrite(const std::string& name) {
  if (all_) return true;
  const platform::MsgButton answer = AskOnMainThread(
      platform::MsgKind::Warning,
      "Die Datei " + name + " existiert schon\r\n" + "Möchten Sie die Datei überschreiben ?",
      platform::mbYes | platform::mbNo | platform::mbAll);
  if (answer == platform::mbAll) all_ = true;
  return answer == platform::mbYes || answer == platform::mbAll;
}

void TVisualDecompressor::ShowError(const std::string& fileName, const std::string& message) {
  // Names come from the archive: control bytes are shown escaped, never
  // acted on by a terminal or taken for a line of the log.
  // A name the archive stores in the OEM code page (one that was not made
  // a UTF-8 output name) is shown as OEM text.
  // The box takes UTF-8; the error lines go into the import log and REPORT,
  // which are made in the ANSI page (platform/WireName.h).
  const std::string escaped = platform::EscapeNameControls(fileName);
  const std::string shown = platform::DiskName(escaped);
  {
    std::lock_guard lock(form_.mutex_);
    form_.errorLines_.push_back(platform::LogName(shown) + ": " + message);
  }
  form_.ErrorBox("Fehler beim Entpacken von " + shown + ":\r\n" + message);
}

}  // namespace velmaris

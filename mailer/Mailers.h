// Mailer profiles: how the point presents itself and dials when it calls an
// uplink (EMSI identity, line device, redial rules, offered protocols, serial
// buffer sizes), and the list of all profiles in the configuration.
//
// Each profile owns its mailer window. The window is created through the
// process-wide window factory (the shell installs the Qt one; without a
// factory, as in batch runs and most tests, a profile has no window), so
// this layer never includes Qt.
//
// Registry layout: the configuration store's "Lines" key holds "Count" and
// one key "Mailer<n>" per profile (n from 1) with the values Flags,
// InBufSize, Location, Name, OutBufSize, Phone, SendDummy, Sysop,
// TAPIDevice, ReDials, ReDialWait, Hydra, ZedZap, OwnBufferSizes, ReadJob;
// each missing value keeps the constructor's default.
//
// Threads: profiles are created, changed and freed on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ConfigStore.h"
#include "core/MailBox.h"
#include "core/PubLst.h"

namespace velmaris {

class TMailer;

// What a profile asks of its window.
class TMailerWindow {
 public:
  virtual ~TMailerWindow() = default;
  // The name of the line device the window's device component holds.
  virtual std::string DeviceName() const = 0;
  // Selects that line device on the window's device component.
  virtual void SelectDevice(const std::string& name) = 0;
  virtual void ShowDeviceName() = 0;
  // Sets the caption and renews the window's entry in the window list.
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void ScanOutbound() = 0;
};

// Makes the window of a new profile; null gives a profile without window.
using TMailerWindowFactory = std::function<std::unique_ptr<TMailerWindow>(TMailer& profile)>;
void SetMailerWindowFactory(TMailerWindowFactory factory);

class TMailer : public TObject {
 public:
  // Used when the settings hold no sysop name.
  static constexpr const char* kPlaceholderSysop = "Jon Doe";
  static constexpr const char* kUnpublished = "-Unpublished-";
  static constexpr const char* kDefaultFlags = "MO,V32,V32B,V42,V42B";
  // What a profile may hold, loaded or typed into its properties window
  // alike: a redial wait of 0 redials at once, a buffer size of 0 is not set.
  static constexpr int32_t kMaxReDials = 1000;
  static constexpr int32_t kMaxReDialWait = 3600;
  static constexpr int32_t kMaxBufferSize = 65536;
  static constexpr int32_t kMinReadJob = 1;

  // store: the configuration whose settings give the sysop and whose
  // mailboxes follow a rename; null takes the process-wide one (may be none).
  explicit TMailer(TConfigStore* store = nullptr);
  ~TMailer() override;
  TMailer(const TMailer&) = delete;
  TMailer& operator=(const TMailer&) = delete;

  int32_t ReDials = 0;
  int32_t ReDialWait = 30;
  bool SendDummy = true;
  std::string Flags = kDefaultFlags;
  bool OwnBufferSizes = false;
  int32_t InBufSize = 0;
  int32_t OutBufSize = 0;
  std::string Location = kUnpublished;
  std::string Phone = kUnpublished;
  std::string Sysop;
  bool ZedZap = true;
  bool Hydra = true;
  int32_t ReadJob = 256;
  // ZModem is always offered.

  const std::string& Name() const { return name_; }
  const std::string& TAPIDevice() const { return tapiDevice_; }
  // Renames the profile; mailboxes that called it by the old name follow.
  void SetName(const std::string& name);
  void SetTAPIDevice(const std::string& device);

  TMailerWindow* Window() const { return window_.get(); }
  // The configuration whose mailboxes call the profile (may be null).
  TConfigStore* Store() const { return store_; }
  // Frees the mailer window (which posts its session log) and the
  // properties window ahead of the profile, at the program's end.
  void CloseWindows();
  // Frees the profile's properties window; set by the window while it
  // lives (it clears it when it goes), run when the profile is freed.
  std::function<void()> DestroyProperties;

  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

  // The defaults' name rule: the first word (quotes honoured) of the sysop
  // name, an apostrophe and "s Point".
  static std::string DefaultName(const std::string& sysop);

 private:
  TConfigStore* store_;
  std::string name_;
  std::string tapiDevice_;
  std::unique_ptr<TMailerWindow> window_;
};

// The profiles in the configuration. Like every configured list it does not
// own its entries: TMailerConfig does.
class TMailerList : public TTypedList<TMailer> {
 public:
  TMailer* GetMailer(int index) const { return GetItem(index); }
};

// A mailbox that called a profile which was freed, and the profile it calls
// now (empty: none, the mailbox cannot be polled until it is given one).
struct TMailboxMove {
  std::string mailbox;
  std::string freed;
  std::string successor;
  bool operator==(const TMailboxMove&) const = default;
};

// What the user is told of the moves, one line per mailbox (UTF-8, the
// names taken from the ANSI page); empty for none.
std::string MailboxMovesText(const std::vector<TMailboxMove>& moves);

// The profiles as a section of the configuration store ("Lines"). It owns
// the profiles and makes them the process-wide ones that mailboxes call.
class TMailerConfig : public TConfigSection, public TMailerProfiles {
 public:
  static constexpr const char* kSection = "Lines";

  TMailerConfig() = default;
  ~TMailerConfig() override;

  TMailerList& Mailers() { return list_; }
  // Adds a profile (made with the store's defaults) and returns it.
  TMailer* AddMailer(TConfigStore& store);
  // Frees the profile at the index (FreeUnlisted); the mailboxes moved.
  std::vector<TMailboxMove> DeleteMailer(int index);
  // Frees every profile that is no longer listed: the settings window takes
  // the profiles it removed from the list so only on OK or Apply (their
  // windows close, their calls end), and frees the ones it added on Cancel.
  // A mailbox that called a freed profile calls the first listed profile
  // instead, or has no command when none is left (a call then says so; the
  // mailbox keeps the freed name in LostProfile). Returns those mailboxes,
  // in list order, for the caller to tell the user.
  std::vector<TMailboxMove> FreeUnlisted();
  // What a mailbox whose command is `command` calls once FreeUnlisted has
  // run, so that a window shows the profiles as they stand in the settings
  // window: the command itself, unless it names a profile taken off the
  // list (and no listed one answers to that name); then the first listed
  // profile, or empty with `lost` set to the name it called.
  std::string CallAfterFree(const std::string& command, std::string* lost = nullptr) const;
  // Frees the windows of every profile, first to last (the mailer windows
  // post their logs); the profiles stay listed. The program's end does this
  // before its last save, so that a save the logs cause (REPORT created)
  // still writes every profile.
  void CloseWindows();
  // Frees every profile (their windows, if still there, post their logs);
  // the program's end does this after its last save, while the areas still
  // exist.
  void FreeMailers();
  // The profile of that name (letter case ignored), null when none.
  TMailer* FindMailer(const std::string& name) const { return list_.FindByName(name); }

  void LoadFromRegistry(TConfigStore& store, const TWinRegistry& registry) override;
  void SaveToRegistry(TConfigStore& store, TWinRegistry& registry) const override;

  // TMailerProfiles: the poll road hands the call to the profile's session.
  bool PollWithProfile(const std::string& profileName, const std::string& address) override;
  // Who runs a profile's call (the session layer installs it); it tells the
  // user itself when the poll cannot start.
  using PollHandler = std::function<void(TMailer& profile, const std::string& address)>;
  void SetPollHandler(PollHandler handler) { pollHandler_ = std::move(handler); }

 private:
  void Replace(std::vector<std::unique_ptr<TMailer>> loaded);
  // The mailboxes that call the freed profile by its name, where no listed
  // profile answers to that name, call the first listed one or none; each
  // is added to moves.
  void RepointMailboxes(const TMailer& freed, std::vector<TMailboxMove>& moves) const;
  // Whom a mailbox of a freed profile calls: the first listed one, or none.
  std::string Successor() const;

  TMailerList list_;
  std::vector<std::unique_ptr<TMailer>> owned_;
  PollHandler pollHandler_;
};

// Installs a TMailerConfig into the store, makes it the process-wide
// profiles (GetMailerProfiles, GetMailerConfig) and returns it.
TMailerConfig& InstallMailerConfig(TConfigStore& store);
TMailerConfig* GetMailerConfig();

}  // namespace velmaris

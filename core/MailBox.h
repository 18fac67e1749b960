// Mailboxes: the systems the point can call, with their phone numbers, what
// to run to call them (a mailer profile or an external program) and their
// BBS file list. Uplinks refer to their mailbox by its position in the
// mailbox list, which keeps those positions in step when mailboxes are
// deleted or moved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/FidoAddress.h"
#include "core/PubLst.h"

namespace velmaris {

class TLinkList;
class TWinRegistry;

// The mailer profiles, as far as a mailbox needs them to start a call. The
// mailer implements it; tests implement it with a recording fake.
class TMailerProfiles {
 public:
  virtual ~TMailerProfiles() = default;
  // When a profile of that name exists (letter case ignored): shows its
  // mailer window, resets its redial state, tells it to poll the address
  // (4D text) and returns true, also when the poll cannot start (the
  // profile says why). False only when no profile has that name.
  virtual bool PollWithProfile(const std::string& profileName, const std::string& address) = 0;
};

// The process-wide mailer profiles StartMailer asks; none until the mailer
// sets them (SetMailerProfiles(nullptr) clears).
TMailerProfiles* GetMailerProfiles();
void SetMailerProfiles(TMailerProfiles* profiles);

// The argv an external mailer command line starts: the words of the line
// with quotes honoured (platform::SplitCommandLine). A program path with
// blanks stays whole even unquoted: as Windows does, the shortest run of
// words from the start that names an existing program (a regular file we may
// execute) is taken as the program (so "/opt/My Mailer/call -p 2" starts
// "/opt/My Mailer/call" with "-p 2", even beside a file "/opt/My"), provided
// it holds a "/". Empty when the line holds no word.
std::vector<std::string> MailerArgv(const std::string& commandLine);

class TMailBox : public TObject {
 public:
  static constexpr const char* kDefaultName = "Unknown";
  static constexpr const char* kDefaultSysop = "Jon Doe";
  static constexpr const char* kDefaultAddress = "0:8/15";

  // Texts of the two error boxes of StartMailer.
  static constexpr const char* kNoCommandText =
      "There is no command line set for this mailbox.  Please enter a valid command line in "
      "\"Настройки\"/\"Мейлбоксы\" for this system!";
  static constexpr const char* kStartFailedText = "Could not start mailer!";

  TMailBox();
  ~TMailBox() override = default;
  TMailBox(const TMailBox&) = delete;
  TMailBox& operator=(const TMailBox&) = delete;

  std::string Name = kDefaultName;  // display name; also its name in the list
  std::string Sysop = kDefaultSysop;
  TFidonetAddress Address;           // main address, for calls and file requests
  std::vector<std::string> Numbers;  // phone numbers to dial, in order
  // The name of a mailer profile, or an external command line that calls
  // the system.
  std::string Command;
  // The mailer profile whose deletion left Command empty, for the
  // properties window to say why; cleared when the mailbox is loaded or
  // given a command. Not stored.
  std::string LostProfile;
  // The BBS file list and the layout of its file-area lines.
  std::string FileList;
  std::string AreaIndicator;  // text that marks a file-area line
  int32_t AreaSize = 0;       // maximum length of an area name
  int32_t AreaColumn = 0;     // column at which the area name starts
  int32_t AreaLine = 0;       // line offset of the name from the indicator line

  // Replaces the numbers by a copy of the given ones.
  void SetNumbers(const std::vector<std::string>& numbers);
  // Copies every field of the other mailbox.
  void Assign(const TMailBox& other);

  // Reads the values below section ("Mailboxes\Mailbox<n>"), each with the
  // current field value as default; the numbers are replaced by "Number1" ..
  // "Number<NumberCount>".
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

  enum class StartResult {
    NoCommand,  // no command set: the error box was shown
    Profile,    // the command named a mailer profile, which polls now
    Program,    // the command was started as a program (not waited for)
    Failed,     // the program could not be started: the error box was shown
  };
  // Calls this system: through the mailer profile the command names (the
  // given profiles, else the process-wide ones), or by starting the command
  // line as a program without a shell. Failures are shown through the
  // platform Prompter as error boxes.
  StartResult StartMailer(TMailerProfiles* profiles = nullptr) const;
};

// The mailbox list. It keeps every mailbox it was given through the
// unique_ptr adders alive until it is destroyed itself.
class TMBList : public TTypedList<TMailBox> {
 public:
  using TTypedList<TMailBox>::Add;                   // (name, mailbox): the caller keeps ownership
  TMailBox* Add(std::unique_ptr<TMailBox> mailbox);  // under its Name
  TMailBox* Add(const std::string& name, std::unique_ptr<TMailBox> mailbox);

  // The uplinks whose mailbox indices Delete, MoveUp and MoveDown keep in
  // step (the global uplink list); none by default.
  void SetLinkList(TLinkList* links) { links_ = links; }
  TLinkList* LinkList() const { return links_; }

  // Removes mailbox i (the object stays alive). Uplinks on i are left
  // without a mailbox (-1), so none silently calls another system; uplinks
  // on a later mailbox follow it to its new position.
  void Delete(int index);
  // Exchange mailbox i with its neighbour and swap the uplinks' indices;
  // the first up or the last down changes nothing.
  void MoveUp(int index);
  void MoveDown(int index);

  // Replaces the entries by those stored below section ("Mailboxes"):
  // "Count" (default 0), then each "Mailbox<n>" added under its name.
  void LoadFromRegistry(const TWinRegistry& registry, const std::string& section);
  // Writes every mailbox to section + "\Mailbox<n>", then "Count".
  void SaveToRegistry(TWinRegistry& registry, const std::string& section) const;

 private:
  // Maps every uplink's mailbox index through fn.
  template <class Fn>
  void RemapUplinks(Fn fn);

  TLinkList* links_ = nullptr;
  std::vector<std::unique_ptr<TMailBox>> owned_;
};

}  // namespace velmaris

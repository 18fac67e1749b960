#include "core/MailBox.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/ConfigStore.h"
#include "core/NetLink.h"
#include "core/WinRegistry.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

// A stored count above this is read as this many mailboxes or numbers.
constexpr int32_t kMaxStoredMailboxes = 1000;
constexpr int32_t kMaxStoredNumbers = 1000;

constexpr const char* kBlanks = " \t\r\n";

std::atomic<TMailerProfiles*> gMailerProfiles{nullptr};

}  // namespace

TMailerProfiles* GetMailerProfiles() { return gMailerProfiles.load(); }
void SetMailerProfiles(TMailerProfiles* profiles) { gMailerProfiles.store(profiles); }

std::vector<std::string> MailerArgv(const std::string& commandLine) {
  const size_t start = commandLine.find_first_not_of(kBlanks);
  if (start == std::string::npos) return {};
  // Grow the program name word by word while it is unquoted and names no
  // existing file; the first run that does is the program.
  size_t pos = start;
  for (;;) {
    const size_t end = commandLine.find_first_of(kBlanks, pos);
    std::string candidate =
        commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (candidate.find('"') != std::string::npos) break;
    if (candidate.find('/') != std::string::npos && platform::FileExists(candidate) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      std::vector<std::string> argv{candidate};
      if (end != std::string::npos) {
        for (auto& word : platform::SplitCommandLine(std::string_view(commandLine).substr(end))) {
          argv.push_back(std::move(word));
        }
      }
      return argv;
    }
    if (end == std::string::npos) break;
    pos = commandLine.find_first_not_of(kBlanks, end);
    if (pos == std::string::npos) break;
  }
  return platform::SplitCommandLine(commandLine);
}

// --- TMailBox -------------------------------------------------------------------

TMailBox::TMailBox() { Address.SetText(kDefaultAddress); }

void TMailBox::SetNumbers(const std::vector<std::string>& numbers) { Numbers = numbers; }

void TMailBox::Assign(const TMailBox& other) {
  if (&other == this) return;
  Name = other.Name;
  Sysop = other.Sysop;
  Address.SetAddress(other.Address.Address());
  SetNumbers(other.Numbers);
  Command = other.Command;
  LostProfile = other.LostProfile;
  FileList = other.FileList;
  AreaIndicator = other.AreaIndicator;
  AreaSize = other.AreaSize;
  AreaColumn = other.AreaColumn;
  AreaLine = other.AreaLine;
}

void TMailBox::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  Sysop = registry.ReadString(section, "Sysop", Sysop);
  Address.SetText(registry.ReadString(section, "Address", Address.Text4D()));
  FileList = platform::UnquotedPath(registry.ReadPath(section, "Filelist", FileList));
  Command = registry.ReadString(section, "CMD", Command);  // a profile's name, or a command line
  LostProfile.clear();
  Name = registry.ReadString(section, "Name", Name);
  const int32_t count =
      std::clamp(registry.ReadInteger(section, "NumberCount", 0), 0, kMaxStoredNumbers);
  AreaIndicator = registry.ReadString(section, "AreaIndicator", AreaIndicator);
  AreaSize = registry.ReadInteger(section, "AreaSize", AreaSize);
  AreaLine = registry.ReadInteger(section, "AreaLine", AreaLine);
  AreaColumn = registry.ReadInteger(section, "AreaColumn", AreaColumn);
  std::vector<std::string> numbers;
  numbers.reserve(static_cast<size_t>(count));
  for (int32_t n = 1; n <= count; ++n) {
    numbers.push_back(registry.ReadString(section, "Number" + std::to_string(n), ""));
  }
  Numbers = std::move(numbers);
}

void TMailBox::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  registry.WriteString(section, "Name", Name);
  registry.WriteString(section, "Address", Address.Text4D());
  registry.WriteString(section, "Sysop", Sysop);
  registry.WriteString(section, "CMD", Command);
  registry.WriteString(section, "Filelist", FileList);
  registry.WriteInteger(section, "AreaSize", AreaSize);
  registry.WriteString(section, "AreaIndicator", AreaIndicator);
  registry.WriteInteger(section, "AreaLine", AreaLine);
  registry.WriteInteger(section, "AreaColumn", AreaColumn);
  registry.WriteInteger(section, "NumberCount", static_cast<int32_t>(Numbers.size()));
  for (size_t i = 0; i < Numbers.size(); ++i) {
    registry.WriteString(section, "Number" + std::to_string(i + 1), Numbers[i]);
  }
  registry.DeleteEntriesBeyond(section, "Number", static_cast<int32_t>(Numbers.size()));
}

TMailBox::StartResult TMailBox::StartMailer(TMailerProfiles* profiles) const {
  if (Command.empty()) {
    platform::GetPrompter().Error(kNoCommandText);
    return StartResult::NoCommand;
  }
  if (!profiles) profiles = GetMailerProfiles();
  if (profiles && profiles->PollWithProfile(Command, Address.Text4D())) {
    return StartResult::Profile;
  }
  pid_t pid = -1;
  try {
    // An older version stored the line in the ANSI page: read word by word
    // from the start folder, what exists kept as it stands.
    const TConfigStore* store = GetConfigStore();
    pid = platform::Process::Start(MailerArgv(
        platform::StoredCommandLine(Command, store ? store->StartDirectory() : std::string())));
  } catch (const platform::EProcess&) {
    platform::GetPrompter().Error(kStartFailedText);
    return StartResult::Failed;
  }
  // The call does not wait for the program; a thread of its own collects
  // its exit so that no zombie is left behind.
  std::thread([pid] {
    try {
      platform::Process::Wait(pid);
    } catch (const platform::EProcess&) {
      // Someone else collected it.
    }
  }).detach();
  return StartResult::Program;
}

// --- TMBList --------------------------------------------------------------------

TMailBox* TMBList::Add(std::unique_ptr<TMailBox> mailbox) {
  const std::string name = mailbox->Name;
  return Add(name, std::move(mailbox));
}

TMailBox* TMBList::Add(const std::string& name, std::unique_ptr<TMailBox> mailbox) {
  TMailBox* raw = mailbox.get();
  owned_.push_back(std::move(mailbox));
  AddObject(name, raw);
  return raw;
}

template <class Fn>
void TMBList::RemapUplinks(Fn fn) {
  if (!links_) return;
  for (int i = 0; i < links_->GetCount(); ++i) {
    if (TNetLink* link = links_->GetItem(i)) link->Mailbox = fn(link->Mailbox);
  }
}

void TMBList::Delete(int index) {
  TPubLst::Delete(index);  // raises for an index out of range, before any fix-up
  RemapUplinks([index](int32_t mb) {
    if (mb == index) return int32_t{-1};
    return mb > index ? mb - 1 : mb;
  });
}

void TMBList::MoveUp(int index) {
  if (index <= 0 || index >= GetCount()) return;
  TPubLst::MoveUp(index);
  RemapUplinks([index](int32_t mb) {
    if (mb == index) return index - 1;
    return mb == index - 1 ? index : mb;
  });
}

void TMBList::MoveDown(int index) {
  if (index < 0 || index >= GetCount() - 1) return;
  TPubLst::MoveDown(index);
  RemapUplinks([index](int32_t mb) {
    if (mb == index) return index + 1;
    return mb == index + 1 ? index : mb;
  });
}

void TMBList::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::unique_ptr<TMailBox>> loaded;
  const int32_t count =
      std::clamp(registry.ReadInteger(section, "Count", 0), 0, kMaxStoredMailboxes);
  for (int32_t n = 1; n <= count; ++n) {
    auto mailbox = std::make_unique<TMailBox>();
    mailbox->LoadFromRegistry(registry, section + "\\Mailbox" + std::to_string(n));
    loaded.push_back(std::move(mailbox));
  }
  BeginUpdate();
  Clear();
  for (auto& mailbox : loaded) Add(std::move(mailbox));
  EndUpdate();
  DiscardPendingChange();
}

void TMBList::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (const TMailBox* mailbox = GetItem(i)) {
      mailbox->SaveToRegistry(registry, section + "\\Mailbox" + std::to_string(i + 1));
    }
  }
  registry.WriteInteger(section, "Count", GetCount());
  registry.DeleteEntriesBeyond(section, "Mailbox", GetCount());
}

}  // namespace velmaris

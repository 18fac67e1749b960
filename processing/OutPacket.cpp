#include "processing/OutPacket.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "archive/ArchiveCheck.h"
#include "archive/Packer.h"
#include "archive/PackerConfig.h"
#include "core/MailBox.h"
#include "core/NetLink.h"
#include "core/SerialCounter.h"
#include "core/Settings.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace velmaris {

namespace {

std::mutex& PackerMutex() {
  static std::mutex m;
  return m;
}
TBundlePacker& DefaultPacker() {
  static TBundlePacker p;
  return p;
}

// The path a flow-file line names: the line without its line end, trailing
// blanks and a leading "^". Paths with blanks are kept whole.
std::string FlowLinePath(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' ||
                           line.back() == '\t')) {
    line.pop_back();
  }
  size_t b = 0;
  while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
  line.erase(0, b);
  if (!line.empty() && line[0] == '^') line.erase(0, 1);
  return line;
}

// The first bundle of the day listed in the flow file: an absolute path
// whose three characters before the last are the day extension (case
// counts; the last character is the bundle's running number). "" when none (also
// when the flow file is missing or unreadable).
std::string FindListedBundle(const std::string& flowFile, const std::string& dayExt) {
  if (flowFile.empty() || !platform::FileExists(flowFile)) return "";
  std::string data;
  try {
    data = platform::ReadFile(flowFile);
  } catch (const std::exception&) {
    return "";
  }
  size_t at = 0;
  while (at < data.size()) {
    size_t end = data.find('\n', at);
    if (end == std::string::npos) end = data.size();
    const std::string path = FlowLinePath(data.substr(at, end - at));
    at = end + 1;
    // Only a full path of our own can be packed into; a line written by
    // another program with a foreign path form is passed over.
    if (!path.empty() && path[0] == '/' && path.size() >= dayExt.size() + 1 &&
        path.compare(path.size() - 1 - dayExt.size(), dayExt.size(), dayExt) == 0) {
      return path;
    }
  }
  return "";
}

void RemoveFile(const std::string& path) {
  if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace

void SetBundlePacker(TBundlePacker packer) {
  std::lock_guard lock(PackerMutex());
  DefaultPacker() = std::move(packer);
}

TBundlePacker GetBundlePacker() {
  std::lock_guard lock(PackerMutex());
  return DefaultPacker();
}

void InstallBundlePacker() {
  if (GetBundlePacker()) return;
  SetBundlePacker([](const std::string& name, const std::string& archive, const std::string& file,
                     std::vector<std::string>* notes) {
    TPckList* packers = GetPackerList();
    TPacker* packer = packers ? packers->PackerByName(name) : nullptr;
    return packer != nullptr && packer->Pack(archive, file, notes);
  });
}

std::string BundleDayExtension(TDateTime when) {
  static const char* const kDays[7] = {".SU", ".MO", ".TU", ".WE", ".TH", ".FR", ".SA"};
  const int d = DayOfWeek(when);
  return kDays[(d >= 1 && d <= 7) ? d - 1 : 0];
}

std::vector<std::string> PacketProcessorArgs(std::string_view commandLine,
                                             const std::string& packetPath) {
  // Split as an external mailer's command line is: a program path with
  // blanks stays whole even unquoted.
  std::vector<std::string> args = MailerArgv(std::string(commandLine));
  if (args.empty()) return args;
  static constexpr std::string_view kMacro = "%filename";
  for (std::string& a : args) {
    const size_t at = a.find(kMacro);
    if (at != std::string::npos) {
      a.replace(at, kMacro.size(), packetPath);
      return args;
    }
  }
  args.push_back(packetPath);
  return args;
}

int RunPacketProcessorCommand(std::string_view commandLine, const std::string& packetPath) {
  const std::vector<std::string> args = PacketProcessorArgs(commandLine, packetPath);
  if (args.empty()) return -1;
  try {
    return platform::Process::Run(args);
  } catch (const platform::EProcess&) {
    return -1;
  }
}

size_t PackedMessageLength(std::string_view image, std::string* error) {
  auto fail = [&](const std::string& why) -> size_t {
    if (error) *error = why;
    return 0;
  };
  if (image.size() < kPackedMessageFixedSize + 4) return fail("shorter than a packed message");
  const uint16_t type =
      static_cast<uint16_t>(static_cast<uint8_t>(image[0]) | (static_cast<uint8_t>(image[1]) << 8));
  if (type != kPackedMessageType) return fail("message type is not 2");
  const size_t limits[3] = {kPackedToNameMax, kPackedFromNameMax, kPackedSubjectMax};
  const char* names[3] = {"to-name", "from-name", "subject"};
  size_t p = kPackedMessageFixedSize;
  for (int i = 0; i < 3; ++i) {
    const size_t nul = image.find('\0', p);
    if (nul == std::string_view::npos) return fail(std::string(names[i]) + " not terminated");
    if (nul - p > limits[i]) {
      return fail(std::string(names[i]) + " longer than " + std::to_string(limits[i]) +
                  " characters");
    }
    p = nul + 1;
  }
  const size_t nul = image.find('\0', p);
  if (nul == std::string_view::npos) return fail("text not terminated");
  return nul + 1;
}

bool CheckBundle(const std::string& bundle, const std::string& packet, const std::string& before,
                 std::string* why) {
  return ArchiveHoldsFile(bundle, packet, why) &&
         (before.empty() || ArchiveKeepsEntriesOf(bundle, before, why));
}

namespace {

// The beginning of the name of a folder in which packet is packed beside
// bundle: hidden, marked and named after the packet, so that a run cut off
// while packing leaves a folder that the recovery of that packet knows.
std::string PackFolderPrefix(const std::string& bundle, const std::string& packet) {
  return platform::DirOf(bundle) + kPackFolderMark + platform::NameOf(packet) + ".";
}

// A new folder of that name with a random end; "" (errno set) when none
// can be made.
std::string MakePackFolder(const std::string& bundle, const std::string& packet) {
  std::string name = PackFolderPrefix(bundle, packet) + "XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) return {};
  return name + "/";
}

// The packet under its own name in the folder: a second link to it, or a
// copy where the file system has none. False with the reason in *why.
bool PutPacketInto(const std::string& folder, const std::string& packet, std::string* why) {
  const std::string here = folder + platform::NameOf(packet);
  if (::link(packet.c_str(), here.c_str()) == 0) return true;
  std::error_code ec;
  if (std::filesystem::copy_file(packet, here, ec)) return true;
  *why = "cannot copy " + platform::NameOf(packet) + ": " + ec.message();
  return false;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ec;
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

}  // namespace

void RemovePackFolders(const std::string& bundle, const std::string& packet) {
  const std::string prefix = PackFolderPrefix(bundle, packet);
  const std::string dir = platform::DirOf(prefix);
  const std::string start = platform::NameOf(prefix);
  for (const auto& e : platform::ScanDir(dir, "*", false, true))
    if (e.isDir && e.name.size() == start.size() + 6 && e.name.starts_with(start))
      RemoveFolder(dir + e.name);
}

TBundlePack PackIntoBundle(const TBundlePacker& packer, const std::string& packerName,
                           const std::string& bundle, const std::string& packet,
                           const TBundleCheck& check) {
  TBundlePack r;
  auto ownFault = [&r](std::string why) {
    r.OwnFault = true;
    r.Why = std::move(why);
    return r;
  };
  // The packer works on a copy in a folder of our own beside the bundle (on
  // its file system, so the copy can take the bundle's place by a rename),
  // with the packet beside the copy and the folder as its working
  // directory: a backup of the old archive or a temporary file it leaves
  // goes with the folder, and no file of the outbound is ever touched.
  const bool existed = platform::FileExists(bundle);
  const std::string folder = MakePackFolder(bundle, packet);
  if (folder.empty())
    return ownFault("cannot make a folder to pack in beside " + platform::NameOf(bundle) + ": " +
                    std::strerror(errno));
  struct Cleanup {
    const std::string& folder;
    ~Cleanup() { RemoveFolder(folder); }
  } cleanup{folder};
  const std::string copy = folder + platform::NameOf(bundle);
  if (!PutPacketInto(folder, packet, &r.Why)) return ownFault(r.Why);
  if (existed) {
    std::error_code ec;
    std::filesystem::copy_file(bundle, copy, ec);
    if (ec) return ownFault("cannot copy " + platform::NameOf(bundle) + ": " + ec.message());
  }
  bool packed = false;
  try {
    packed = packer(packerName, copy, folder + platform::NameOf(packet), &r.Notes);
  } catch (const std::exception&) {
    packed = false;
  }
  // A packer may end with success and still have written no sound archive,
  // or one without what the bundle held: only a confirmed one is kept.
  if (packed && platform::FileExists(copy)) {
    try {
      packed = check ? check(copy, packet, existed ? bundle : std::string(), &r.Why)
                     : CheckBundle(copy, packet, existed ? bundle : std::string(), &r.Why);
    } catch (const std::exception& e) {
      return ownFault(e.what());
    }
  } else {
    packed = false;
  }
  if (!packed) return r;
  try {
    if (existed) {
      platform::ReplaceFile(copy, bundle);
    } else {
      platform::FsyncPath(copy);
      if (!platform::RenameNoReplace(copy, bundle))
        return ownFault(platform::NameOf(bundle) + " was made by someone else meanwhile");
      platform::FsyncPath(platform::DirOf(bundle));
    }
  } catch (const std::exception& e) {
    return ownFault(e.what());
  }
  r.Packed = true;
  return r;
}

bool TOutPacket::AddMail(TMail* mail) {
  queue_.Add(mail);
  return true;
}

TDateTime TOutPacket::CurrentTime() const { return Clock ? Clock() : Now(); }

int TOutPacket::RunPacketProcessor(const std::string& packetPath) {
  std::string command;
  if (PacketProcessorCommand) {
    command = PacketProcessorCommand();
  } else {
    try {
      command = GetSettings().Snapshot()->EPPExport();
    } catch (const ESettings&) {
      return -1;  // no settings: nothing configured
    }
  }
  return RunPacketProcessorCommand(command, packetPath);
}

TPacketWriteResult TOutPacket::WritePacket(bool pack) {
  TPacketWriteResult r;
  if (queue_.Count() == 0 && !WriteWhenEmpty) return r;
  auto fail = [&r](std::string why) {
    r.Ok = false;
    r.Error = std::move(why);
    return r;
  };
  if (Uplink == nullptr) return fail("no uplink for the packet");
  const std::string outbound = Uplink->Outbound();
  if (outbound.empty()) return fail("uplink " + Uplink->Name + " has no outbound directory");

  // The whole packet in memory first, so a mail that is not sound stops the
  // write before any file exists.
  const TDateTime now = CurrentTime();
  header_ = TPacketHeader::ForLink(Uplink->SysopAddress.Address(), Uplink->UplinkAddress.Address(),
                                   Uplink->Password, now);
  std::string data;
  {
    const auto head = header_.Encode();
    data.assign(reinterpret_cast<const char*>(head.data()), head.size());
  }
  for (int i = 0; i < queue_.Count(); ++i) {
    const TMail* mail = queue_.GetItem(i);
    std::string_view image(mail->Body);
    if (mail->Header.BodyLength > 0 && mail->Header.BodyLength < image.size()) {
      image = image.substr(0, mail->Header.BodyLength);
    }
    std::string why;
    const size_t length = PackedMessageLength(image, &why);
    if (length == 0) {
      return fail("mail " + std::to_string(i + 1) + " to " + mail->Header.ToName.Str() +
                  " cannot be packed: " + why);
    }
    data.append(image.substr(0, length));
  }
  data.append(kPacketTerminatorSize, '\0');

  // The packet file, created under a name that does not exist yet.
  TSerialFile file;
  try {
    file = CreateSerialFile(outbound, ".pkt", FileSerial(), [&](const std::string& path) {
      if (OnStage) OnStage(Stage{Stage::Created, path, {}, Uplink->Packer});
    });
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  if (!file.Fd.ok()) return fail("cannot create a packet file in " + outbound);
  auto tell = [&](Stage::Kind step, const std::string& bundle) -> std::string {
    if (!OnStage) return {};
    try {
      OnStage(Stage{step, file.Path, bundle, Uplink->Packer});
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  };
  if (!platform::WriteAll(file.Fd.get(), data) || ::fsync(file.Fd.get()) != 0) {
    const int err = errno;
    file.Fd.Close();
    RemoveFile(file.Path);
    return fail("cannot write the packet " + file.Path + ": " + std::strerror(err));
  }
  if (!file.Fd.Close()) {
    const int err = errno;
    RemoveFile(file.Path);
    return fail("cannot write the packet " + file.Path + ": " + std::strerror(err));
  }
  packetName_ = file.Name;
  packetPath_ = file.Path;
  r.PacketPath = file.Path;

  RunPacketProcessor(file.Path);

  std::lock_guard flowLock(FlowFileMutex());
  r.FlowFile = Uplink->FlowFilePath();
  std::string listed = file.Path;
  std::string newBundle;  // a bundle this write created
  bool newLine = true;
  const bool usePacker = pack && Uplink->UsePacker;
  const TBundlePacker packer = usePacker ? (Packer ? Packer : GetBundlePacker()) : TBundlePacker{};
  std::string bundle;
  bool reuse = false;
  if (usePacker) {
    const std::string dayExt = BundleDayExtension(now);
    bundle = FindListedBundle(r.FlowFile, dayExt);
    reuse = !bundle.empty();
    if (!reuse) {
      // A new bundle under a name that is not in use.
      for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = NextSerialHex() + dayExt + "0";
        if (!platform::FindNoCase(outbound, name)) {
          bundle = outbound + name;
          break;
        }
      }
    }
  }
  if (const std::string why = tell(Stage::Complete, packer ? bundle : std::string());
      !why.empty()) {
    RemoveFile(file.Path);
    return fail(why);
  }
  if (usePacker) {
    // The packet is listed bare only when no listed bundle holds it: a
    // bundle is changed only by putting a checked copy in its place.
    TBundlePack p;
    if (packer && !bundle.empty()) {
      p = PackIntoBundle(packer, Uplink->Packer, bundle, file.Path, BundleCheck);
      if (p.Packed) {
        RemoveFile(file.Path);
        listed = bundle;
        r.Packed = true;
        if (reuse) {
          newLine = false;
        } else {
          newBundle = bundle;
        }
      }
    }
    // What the packer run told: why the packer failed, or what it did.
    if (r.Packed || p.OwnFault) r.PackNotes = p.Notes;
    if (!r.Packed) {
      const std::string into = bundle.empty() ? std::string() : " into " + platform::NameOf(bundle);
      std::string why;
      for (const std::string& note : p.Notes) why += (why.empty() ? "" : "; ") + note;
      if (!p.Why.empty()) why += (why.empty() ? "" : "; ") + p.Why;
      r.PackFailure = p.OwnFault
                          ? "Could not pack " + file.Name + into + ": " + p.Why + ". The packer " +
                                Uplink->Packer + " is not at fault; the packet is listed unpacked."
                          : "The packer " + Uplink->Packer + " could not pack " + file.Name + into +
                                (why.empty() ? std::string() : " (" + why + ")") +
                                "; the packet is listed unpacked.";
    }
  }
  r.ListedPath = listed;

  if (newLine) {
    try {
      r.FlowFile = Uplink->AppendToFlowFile(listed, true);
      r.NewFlowLine = true;
    } catch (const std::exception& e) {
      // Not listed, so it would never be sent: take it back entirely.
      if (!r.Packed) RemoveFile(file.Path);
      RemoveFile(newBundle);
      return fail(e.what());
    }
  }
  r.Written = true;
  queue_.Clear();
  return r;
}

}  // namespace velmaris

// Writing outbound packets: the queued mails of one uplink become one
// FTS-0001 type 2+ packet in the uplink's outbound directory, the export
// packet processor runs on it, and it is either packed into the day's bundle
// with the uplink's packer or listed as it is in the uplink's flow file.
//
// The mails are taken as their packed message images (TMail::Body, as the
// message composition builds them). A write that fails is reported to the
// caller, who then keeps its mails waiting; nothing half-written stays
// listed in a flow file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTimeUtil.h"
#include "core/Mail.h"
#include "processing/PacketHeader.h"

namespace velmaris {

class TNetLink;

// Packs file into archive (creating it, or adding to it) with the packer
// configured under packerName; true when the packer ran and succeeded. Why
// it went otherwise than asked goes into *notes (TPacker::Pack). The
// program's packer list provides it (see SetBundlePacker).
using TBundlePacker = std::function<bool(const std::string& packerName, const std::string& archive,
                                         const std::string& file, std::vector<std::string>* notes)>;

// The packer every TOutPacket uses unless it was given its own; none until
// the start-up sets one (without a packer, packets are listed unpacked).
void SetBundlePacker(TBundlePacker packer);
TBundlePacker GetBundlePacker();
// Sets the packer that packs with the program's packer list (GetPackerList),
// unless one is set already.
void InstallBundlePacker();

// Whether bundle holds packet whole and, when before is not empty, every
// entry that before holds (the day's bundle that bundle is a packed copy
// of). False with the reason in *why for what the bundle lacks; a failure of
// our own (the packet cannot be read) leaves as an exception.
using TBundleCheck = std::function<bool(const std::string& bundle, const std::string& packet,
                                        const std::string& before, std::string* why)>;

// The check with our own extractors, without a disk (ArchiveHoldsFile and
// ArchiveKeepsEntriesOf).
bool CheckBundle(const std::string& bundle, const std::string& packet, const std::string& before,
                 std::string* why);

// How packing a packet into a bundle ended.
struct TBundlePack {
  bool Packed = false;    // the bundle holds the packet and all it held
  bool OwnFault = false;  // it failed here, not in the packer or its archive
  std::string Why;        // why it failed ("" when the packer said so)
  std::vector<std::string> Notes;  // what the packer run told (TBundlePacker)
};

// Packs packet into bundle so that the bundle holds it only when the check
// (CheckBundle when empty) confirms it, and loses nothing it held. The
// packer works in a new folder of ours beside the bundle, named after the
// packet: it packs a copy of the bundle there (or makes the new bundle
// there), with the packet linked beside it and the folder as its working
// directory, so that whatever else it writes there (the old archive kept as
// a backup, temporary files) goes with the folder. Once the check passed
// the copy is synced and renamed to the bundle. The folder is removed
// however it ends; on failure the bundle is as it was. No other file beside
// the bundle is made or removed. The packet itself is left for the caller.
TBundlePack PackIntoBundle(const TBundlePacker& packer, const std::string& packerName,
                           const std::string& bundle, const std::string& packet,
                           const TBundleCheck& check = {});
// Removes the folders PackIntoBundle left for packet beside bundle when its
// run was cut off (the export journal's recovery of that packet).
void RemovePackFolders(const std::string& bundle, const std::string& packet);

// The outcome of one WritePacket.
struct TPacketWriteResult {
  bool Ok = true;            // false: nothing was sent; the mails stay queued
  bool Written = false;      // a packet was written (false for an empty queue)
  std::string PacketPath;    // the packet written
  std::string ListedPath;    // the packet or the bundle it went into
  bool Packed = false;       // the packet went into a bundle
  bool NewFlowLine = false;  // a line was added to the flow file
  std::string FlowFile;
  std::string Error;  // why it failed
  // The uplink packs, but the packet could not be packed (the packer
  // failed, or we did): why the packet is listed bare, with what the
  // packer run told.
  std::string PackFailure;
  // The packet was packed, and the packer run told how (arc's own test
  // failed and it was added again stored): for the same log.
  std::vector<std::string> PackNotes;
};

// The day extension of a bundle for a date: ".SU" to ".SA".
std::string BundleDayExtension(TDateTime when);

// The arguments for running a program on a file (a packet processor on a
// packet, a filter's program on a message): the command line split into
// words first, then the path put in, so that blanks and quotes in the path
// stay inside its word: (quotes honoured, no shell); the first "%filename"
// in a word is replaced by the path, otherwise the path is appended as a
// word of its own. Empty for an empty command line. A program path with
// blanks (the settings keep it without quotes) stays whole, as MailerArgv
// takes it.
std::vector<std::string> PacketProcessorArgs(std::string_view commandLine,
                                             const std::string& packetPath);

// Runs a packet processor (export or import) on a packet with those
// arguments and waits for it to end. The exit code, or -1 when the command
// line is empty or the program could not be started.
int RunPacketProcessorCommand(std::string_view commandLine, const std::string& packetPath);

// The length of a packed message image up to and including the NUL of its
// text, after checking it: type 2, the fixed part, and the three strings
// within their FTS-0001 lengths and the text, each NUL-terminated. 0 when
// the image is not sound, with the reason in *error when given.
size_t PackedMessageLength(std::string_view image, std::string* error = nullptr);

class TOutPacket {
 public:
  TOutPacket() = default;
  TOutPacket(const TOutPacket&) = delete;
  TOutPacket& operator=(const TOutPacket&) = delete;

  // The uplink whose packet this is; set by the caller.
  TNetLink* Uplink = nullptr;
  // Write a packet even with an empty queue (the mailer's dummy packet).
  bool WriteWhenEmpty = false;
  // The clock for the header and the day bundle (Now unless set).
  std::function<TDateTime()> Clock;
  // This writer's packer; the process-wide one (GetBundlePacker) when unset.
  TBundlePacker Packer;
  // Whether a bundle the packer made holds the packet whole (and all the
  // day's bundle held); the packet is deleted only then. CheckBundle (read
  // back with our own extractors) when unset.
  TBundleCheck BundleCheck;
  // The export packet processor's command line; when unset the settings'
  // EPPExport is used.
  std::function<std::string()> PacketProcessorCommand;
  // Told of the packet file on its way, so that a caller can record it
  // before it matters: Created just before the file is made, Complete
  // when it is written and synced and its bundle is chosen (BundlePath
  // empty when it is listed bare), before it is packed or listed. A hook
  // that raises stops the write as a failure.
  struct Stage {
    enum Kind { Created, Complete } Step;
    std::string PacketPath;
    std::string BundlePath;
    std::string PackerName;
  };
  std::function<void(const Stage&)> OnStage;

  // Appends a mail to the queue (it is not owned); returns true.
  bool AddMail(TMail* mail);
  const TMailList& Queue() const { return queue_; }
  void ClearQueue() { queue_.Clear(); }

  // Writes the queued mails as one packet (see the file comment). With pack
  // set and the uplink's UsePacker, the packet goes into the day's bundle:
  // the bundle of today's weekday listed in the flow file, else a new one
  // (PackIntoBundle); when that fails the packet is listed bare.
  // On success the queue is emptied; on failure it is left as it was and
  // no file of this write remains.
  TPacketWriteResult WritePacket(bool pack);

  // Runs the export packet processor on the packet and waits for it; the
  // exit code, or -1 when none is configured or it could not be started.
  int RunPacketProcessor(const std::string& packetPath);

  // The header of the last packet written.
  const TPacketHeader& Header() const { return header_; }
  const std::string& PacketFileName() const { return packetName_; }
  const std::string& PacketPath() const { return packetPath_; }

 private:
  TDateTime CurrentTime() const;

  TMailList queue_;
  TPacketHeader header_{};
  std::string packetName_;
  std::string packetPath_;
};

}  // namespace velmaris

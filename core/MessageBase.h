// The message base files of an area.
//
// ".PackedIndex": "KQPI", u32 record count N, then chunks until N * 256 bytes
// of header records are produced. A chunk is a u16 length L and L bytes of
// one LZRW1-KH block of at most 32768 bytes.
//
// ".PackedBody": "KQPB", then one record per message, in the order appended:
// "KQPM", u32 stored length S, u32 CRC-32 of the S stored bytes, u32 0, then
// S bytes of chunks as in the index. The decompressed chunks are the body,
// exactly BodyLength bytes.
//
// Everything read is bounded by the file's size before it is used; a record
// that does not check out is refused, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Area.h"
#include "core/Mail.h"
#include "core/MsgHeader.h"
#include "platform/Files.h"

namespace velmaris {

class TWinRegistry;

inline constexpr size_t kMsgBaseChunkSize = 32768;  // largest decompressed chunk
inline constexpr size_t kBodyRecordHeadSize = 16;
inline constexpr size_t kIndexHeadSize = 8;

inline constexpr const char* kPackedIndexExt = ".PackedIndex";
inline constexpr const char* kPackedBodyExt = ".PackedBody";
inline constexpr const char* kTempIndexExt = ".$PX";

// --- Layouts in memory ------------------------------------------------------

// The whole index file for the first count headers.
std::string EncodePackedIndex(const TMsgHeader* headers, size_t count);
// Parses an index file. False for a short file, a wrong magic, a count the
// file cannot hold, or a chunk that is cut off or malformed. When end is
// given it receives the offset just past the chunk that completed the N
// records (8 for N = 0).
bool DecodePackedIndex(std::string_view file, std::vector<TMsgHeader>& headers,
                       size_t* end = nullptr);
// The offset where the N counted records of an index file end, or false.
bool FindPackedIndexEnd(std::string_view file, size_t& end);
// One header as one chunk (u16 length, block), as appended after each mail.
std::string EncodeIndexChunk(const TMsgHeader& header);

// The record of a body: head and chunks.
std::string BuildBodyRecord(std::string_view body);
// Decompresses the chunks of a record (the bytes after its head) into
// exactly bodyLength bytes; false when they do not produce them.
bool DecodeBodyChunks(std::string_view stored, uint32_t bodyLength, std::string& body);
// The body is a packed message image: the fixed part, the three names ending
// inside it, and a text offset inside it.
bool CheckBodyLayout(std::string_view body, uint16_t textOffset);

// The text of the body record the header points to inside the whole
// ".PackedBody" file (read or mapped by the caller), for scans that look at
// many texts: the record is checked as ReadStoredMail checks it and
// decompressed into scratch, whose memory is kept for the next call. False
// when the record does not check out.
bool StoredBodyText(std::string_view bodyFile, const TMsgHeader& header, std::string& scratch,
                    std::string_view& text);

// --- File steps of an area ----------------------------------------------------

// The records of a damaged index file that can still be read: the chunks
// are followed by their length words; a chunk that does not decompress is
// skipped with its records, and the walk ends where a length word leads
// outside the file. At most the head's count is kept when the file holds
// that many. The text tells what was lost.
std::string SalvagePackedIndex(std::string_view file, std::vector<TMsgHeader>& headers);

// The file routines that change an area's message base, owned by the area
// (TArea::Base). They read the area's settings (name, file paths, SyncWrites)
// and keep what they last wrote of ".PackedIndex"; the index held in memory
// stays the area's: they are handed the headers they write.
class TMessageBase {
 public:
  explicit TMessageBase(TArea& area) : area_(area) {}
  TMessageBase(const TMessageBase&) = delete;
  TMessageBase& operator=(const TMessageBase&) = delete;

  // Reads ".PackedIndex" into headers; false when the file cannot be opened
  // or read, or does not check out (headers is then empty). With damage
  // given, a file that can be read but does not check out gives false with
  // the records SalvagePackedIndex finds in headers and its text in *damage.
  bool ReadIndex(std::vector<TMsgHeader>& headers, std::string* damage = nullptr) const;
  // Writes the first count headers through ".$PX": written, synced and
  // renamed over ".PackedIndex", so the old index stays until the new one is
  // safe. False (old file untouched) on failure.
  bool WriteIndex(const std::vector<TMsgHeader>& headers, size_t count);
  // Builds the record of the mail's body and writes it at fd's current
  // position; returns the bytes written, or 0 after cutting the file back to
  // where the record began when the write came up short.
  uint32_t WriteBodyRecord(const TMail& mail, int fd);
  // Reads, checks and decompresses the body the header points to (through
  // bodyFd when open, else the file); nullptr when any step fails.
  std::unique_ptr<TMail> ReadStoredMail(const TMsgHeader& header, int bodyFd) const;
  // Appends the mails to both files, the index being unloaded. Write
  // failures ask Retry/Abort through the prompter. The count in the index is
  // brought up to date after each mail, so an interrupted run loses at most
  // the mail being written. stored receives the flags of each mail written.
  bool Append(std::vector<std::unique_ptr<TMail>>& mails, std::vector<uint16_t>& stored);
  // The files were changed behind the message base's back (deleted).
  void ForgetIndexFile() { indexFile_.known = false; }
  // Finishes or undoes an interrupted rewrite (see AreaMaintain.cpp).
  void RecoverInterruptedRewrite();
  // Rewrites ".PackedBody" with the bodies the headers point to, in their
  // order, and the index to match, crash-safely (see AreaMaintain.cpp); the
  // headers get their new offsets. Outcome::Failed leaves the files as they
  // were; IndexPending: the body is replaced, the index is not yet in place.
  enum class Outcome { Failed, Done, IndexPending };
  Outcome Compact(std::vector<TMsgHeader>& headers);

  // "<path> <what>: <the system's reason>", from errno; the path in the
  // ANSI page, as a log line takes it.
  static std::string Reason(const std::string& path, const std::string& what);

 private:
  bool WriteIndexFile(const std::string& data);
  bool OpenIndexForAppend(platform::Fd& fd, uint64_t& end, uint32_t& count);

  TArea& area_;
  // What was last written of ".PackedIndex": its size and record count, so
  // that an append can skip re-checking a file it wrote itself.
  struct IndexFileState {
    bool known = false;
    uint64_t size = 0;
    uint32_t count = 0;
  } indexFile_;
};

// Records in the configuration that the message base is in the packed format
// with 256-byte headers (section "Updates").
void UpgradeMessageBase(TWinRegistry& registry);

}  // namespace velmaris

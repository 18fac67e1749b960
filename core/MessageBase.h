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

// --- File steps of an area ----------------------------------------------------

// The records of a damaged index file that can still be read: the chunks
// are followed by their length words; a chunk that does not decompress is
// skipped with its records, and the walk ends where a length word leads
// outside the file. At most the head's count is kept when the file holds
// that many. The text tells what was lost.
std::string SalvagePackedIndex(std::string_view file, std::vector<TMsgHeader>& headers);

// Reads ".PackedIndex" into headers; false when the file cannot be opened or
// read, or does not check out (headers is then empty). With damage given, a
// file that can be read but does not check out gives false with the records
// SalvagePackedIndex finds in headers and its text in *damage.
bool ReadPackedIndex(const TArea& area, std::vector<TMsgHeader>& headers,
                     std::string* damage = nullptr);
// Writes the area's in-memory headers through ".$PX": written, synced and
// renamed over ".PackedIndex", so the old index stays until the new one is
// safe. Clears IndexChanged; false (old file untouched) on failure, and for
// an area whose index was read damaged (its records beyond the damage would
// be lost).
bool WritePackedIndex(TArea& area);
// Builds the record of the mail's body and writes it at fd's current
// position; returns the bytes written, or 0 after cutting the file back to
// where the record began when the write came up short.
uint32_t WriteBodyRecord(TArea& area, const TMail& mail, int fd);
// Reads, checks and decompresses the body of message index; nullptr when any
// step fails.
std::unique_ptr<TMail> ReadStoredMail(TArea& area, int index);
// Appends the area's queued mails to both files (the file part of
// TArea::WriteQueuedMail). Write failures ask Retry/Abort through the
// prompter. The count in the index is brought up to date after each mail,
// so an interrupted run loses at most the mail being written.
bool AppendQueuedMail(TArea& area, bool freeMails);

// Records in the configuration that the message base is in the packed format
// with 256-byte headers (section "Updates").
void UpgradeMessageBase(TWinRegistry& registry);

}  // namespace velmaris

#include "core/MessageBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/Crc.h"
#include "core/Lzrw1KH.h"
#include "core/WinRegistry.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/Prompter.h"

namespace velmaris {

namespace {

constexpr char kIndexMagic[4] = {'K', 'Q', 'P', 'I'};
constexpr char kBodyMagic[4] = {'K', 'Q', 'P', 'B'};
constexpr char kRecordMagic[4] = {'K', 'Q', 'P', 'M'};
// A chunk is at least its length word and a one-byte block.
constexpr size_t kMinChunkSize = 3;
// The body bytes appended with one write.
constexpr size_t kAppendGroupBytes = 1u << 20;

using platform::Fd;

using platform::PReadAll;
using platform::PWriteFull;

bool FileSize(int fd, uint64_t& size) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

// The whole file, read through an open descriptor.
bool ReadWhole(int fd, std::string& out) {
  uint64_t size = 0;
  if (!FileSize(fd, size)) return false;
  out.resize(static_cast<size_t>(size));
  return size == 0 || PReadAll(fd, out.data(), out.size(), 0);
}

// Appends one compressed chunk (length word and block) of piece to out.
void AppendChunk(std::string& out, const uint8_t* piece, size_t size) {
  size_t at = out.size();
  out.resize(at + 2 + Lzrw1KHCompressBound(size));
  size_t blockSize = Lzrw1KHCompress(piece, out.data() + at + 2, size, Lzrw1KHCompressBound(size));
  PutLE16(reinterpret_cast<uint8_t*>(out.data() + at), static_cast<uint16_t>(blockSize));
  out.resize(at + 2 + blockSize);
}

// Walks the chunks of an index file after its head until total bytes are
// produced, handing each decompressed piece to sink(data, size). False when
// a chunk is cut off or malformed or the file ends first.
template <class Sink>
bool WalkIndexChunks(std::string_view file, uint64_t total, size_t& pos, Sink&& sink) {
  std::vector<uint8_t> scratch(kMsgBaseChunkSize);
  uint64_t produced = 0;
  while (produced < total) {
    if (file.size() - pos < 2) return false;
    size_t len = GetLE16(reinterpret_cast<const uint8_t*>(file.data() + pos));
    pos += 2;
    if (len == 0 || file.size() - pos < len) return false;
    size_t capacity = static_cast<size_t>(std::min<uint64_t>(kMsgBaseChunkSize, total - produced));
    size_t n;
    try {
      n = Lzrw1KHDecompress(file.data() + pos, scratch.data(), len, capacity);
    } catch (const ELzrw1KHCompressor&) {
      return false;
    }
    pos += len;
    sink(scratch.data(), n);
    produced += n;
  }
  return true;
}

// Reads the head of an index file: magic and a count the file can hold.
bool ReadIndexHead(std::string_view file, uint32_t& count) {
  if (file.size() < kIndexHeadSize) return false;
  if (std::memcmp(file.data(), kIndexMagic, 4) != 0) return false;
  count = GetLE32(reinterpret_cast<const uint8_t*>(file.data() + 4));
  // Every chunk takes at least 3 bytes of the file and gives at most 32768.
  uint64_t maxChunks = (file.size() - kIndexHeadSize) / kMinChunkSize;
  return static_cast<uint64_t>(count) * kMsgHeaderSize <= maxChunks * kMsgBaseChunkSize;
}

std::string IndexHead(uint32_t count) {
  std::string head(kIndexMagic, 4);
  head.resize(kIndexHeadSize);
  PutLE32(reinterpret_cast<uint8_t*>(head.data() + 4), count);
  return head;
}

std::string WarningText(const TArea& area, bool indexFile) {
  // The area's name is stored in the ANSI code page; its file names are
  // UTF-8, the message box's own (an older name kept in the ANSI page is
  // read in it).
  std::string text = "Could not write new mail in area " + area.NameText() + ". \r\n";
  const std::string file = platform::DiskNameText(area.FilePath(""));
  if (indexFile) {
    text += "The drive holding the area files is probably full.";
    text += "Please ensure that the drive holding the file " + file +
            ".Index has enough free space and select \"Retry\". ";
  } else {
    text += "The drive holding the area files is probably full. ";
    text += "Please ensure that the drive holding the file " + file +
            ".PackedBody has enough free space and select \"Retry\". ";
  }
  text += "If you selct \"Abort\"  you lose all unsaved mail in this area !!";
  return text;
}

bool AskRetry(const TArea& area, bool indexFile) {
  platform::MsgButton answer =
      platform::GetPrompter().Ask(platform::MsgKind::Warning, WarningText(area, indexFile),
                                  platform::mbAbort | platform::mbRetry);
  return answer == platform::mbRetry;
}

// Opens ".PackedBody" for appending, creating it with its magic when it does
// not exist (or was left shorter than its magic); position at its end.
bool OpenBodyForAppend(TArea& area, Fd& fd, uint64_t& end, bool& created) {
  created = false;
  const std::string path = area.FilePath(kPackedBodyExt);
  fd = Fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.ok()) return false;
  uint64_t size = 0;
  if (!FileSize(fd.get(), size)) return false;
  if (size < 4) {
    created = size == 0;
    if (::ftruncate(fd.get(), 0) != 0) return false;
    if (PWriteFull(fd.get(), kBodyMagic, 4, 0) != 4) {
      if (::ftruncate(fd.get(), 0) != 0) { /* nothing more to do */
      }
      return false;
    }
    size = 4;
  }
  end = size;
  return ::lseek(fd.get(), static_cast<off_t>(end), SEEK_SET) == static_cast<off_t>(end);
}

}  // namespace

// "<path> <what>: <the system's reason>", from errno.
std::string TMessageBase::Reason(const std::string& path, const std::string& what) {
  const int err = errno;
  std::string text = platform::LogName(path) + " " + what;
  if (err != 0) text += std::string(": ") + std::strerror(err);
  return text;
}

// Writes a whole index file through ".$PX": write, fsync, rename over
// ".PackedIndex". The old file stays in place until the new one is safe.
bool TMessageBase::WriteIndexFile(const std::string& data) {
  const std::string temp = area_.FilePath(kTempIndexExt);
  const std::string target = area_.FilePath(kPackedIndexExt);
  {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.ok()) return false;
    bool ok = platform::WriteAll(fd.get(), data) && ::fsync(fd.get()) == 0;
    fd.Close();
    if (!ok) {
      ::unlink(temp.c_str());
      return false;
    }
  }
  try {
    platform::ReplaceFile(temp, target);
  } catch (const std::exception&) {
    ::unlink(temp.c_str());
    return false;
  }
  indexFile_.known = true;
  indexFile_.size = data.size();
  indexFile_.count = GetLE32(reinterpret_cast<const uint8_t*>(data.data() + 4));
  return true;
}

// Opens ".PackedIndex" for appending, creating an empty one when it does not
// exist. Bytes after the N counted records (left by a run that was cut off
// before it brought the count up to date) are dropped, so the next record
// follows the counted ones.
bool TMessageBase::OpenIndexForAppend(Fd& fd, uint64_t& end, uint32_t& count) {
  const std::string path = area_.FilePath(kPackedIndexExt);
  if (!platform::FileExists(path)) {
    if (area_.SyncWrites) {
      if (!WriteIndexFile(IndexHead(0))) return false;
    } else {
      // The run that defers the syncs removes a half-made file itself.
      Fd fresh(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
      if (!fresh.ok() || !platform::WriteAll(fresh.get(), IndexHead(0))) return false;
    }
  }
  fd = Fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd.ok()) return false;
  uint64_t size = 0;
  if (!FileSize(fd.get(), size)) return false;
  uint8_t head[kIndexHeadSize];
  if (size < kIndexHeadSize) {
    errno = EBADMSG;
    return false;
  }
  if (!PReadAll(fd.get(), head, sizeof head, 0)) return false;
  if (std::memcmp(head, kIndexMagic, 4) != 0) {
    errno = EBADMSG;
    return false;
  }
  count = GetLE32(head + 4);
  if (indexFile_.known && indexFile_.size == size && indexFile_.count == count) {
    end = size;
  } else {
    std::string file;
    size_t recordsEnd = 0;
    if (!ReadWhole(fd.get(), file)) return false;
    if (!FindPackedIndexEnd(file, recordsEnd)) {
      errno = EBADMSG;  // the index is damaged
      return false;
    }
    end = recordsEnd;
    if (end < size && ::ftruncate(fd.get(), static_cast<off_t>(end)) != 0) return false;
  }
  return ::lseek(fd.get(), static_cast<off_t>(end), SEEK_SET) == static_cast<off_t>(end);
}

// --- Layouts in memory ------------------------------------------------------

std::string EncodePackedIndex(const TMsgHeader* headers, size_t count) {
  std::string out = IndexHead(static_cast<uint32_t>(count));
  constexpr size_t kPerChunk = kMsgBaseChunkSize / kMsgHeaderSize;
  std::vector<uint8_t> piece(kMsgBaseChunkSize);
  for (size_t first = 0; first < count; first += kPerChunk) {
    size_t n = std::min(kPerChunk, count - first);
    for (size_t i = 0; i < n; ++i) headers[first + i].Encode(piece.data() + i * kMsgHeaderSize);
    AppendChunk(out, piece.data(), n * kMsgHeaderSize);
  }
  return out;
}

bool DecodePackedIndex(std::string_view file, std::vector<TMsgHeader>& headers, size_t* end) {
  headers.clear();
  uint32_t count = 0;
  if (!ReadIndexHead(file, count)) return false;
  // Room for the count as far as the file's size makes it plausible (real
  // records take several bytes each); beyond that the array grows only as
  // the chunks really produce records.
  headers.reserve(std::min<size_t>(count, file.size() / 8 + 4096));
  // Records may span chunks: carry the incomplete tail of each piece.
  uint8_t partial[kMsgHeaderSize];
  size_t partialSize = 0;
  size_t pos = kIndexHeadSize;
  bool ok = WalkIndexChunks(file, uint64_t{count} * kMsgHeaderSize, pos,
                            [&](const uint8_t* data, size_t size) {
                              while (size > 0) {
                                if (partialSize == 0 && size >= kMsgHeaderSize) {
                                  headers.push_back(TMsgHeader::Decode(data));
                                  data += kMsgHeaderSize;
                                  size -= kMsgHeaderSize;
                                  continue;
                                }
                                size_t take = std::min(size, kMsgHeaderSize - partialSize);
                                std::memcpy(partial + partialSize, data, take);
                                partialSize += take;
                                data += take;
                                size -= take;
                                if (partialSize == kMsgHeaderSize) {
                                  headers.push_back(TMsgHeader::Decode(partial));
                                  partialSize = 0;
                                }
                              }
                            });
  if (!ok) {
    headers.clear();
    headers.shrink_to_fit();
    return false;
  }
  if (end) *end = pos;
  return true;
}

bool FindPackedIndexEnd(std::string_view file, size_t& end) {
  uint32_t count = 0;
  if (!ReadIndexHead(file, count)) return false;
  size_t pos = kIndexHeadSize;
  if (!WalkIndexChunks(file, uint64_t{count} * kMsgHeaderSize, pos, [](const uint8_t*, size_t) {}))
    return false;
  end = pos;
  return true;
}

std::string EncodeIndexChunk(const TMsgHeader& header) {
  auto record = header.Encode();
  std::string out;
  AppendChunk(out, record.data(), record.size());
  return out;
}

std::string BuildBodyRecord(std::string_view body) {
  std::string out(kBodyRecordHeadSize, '\0');
  const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
  for (size_t at = 0; at < body.size(); at += kMsgBaseChunkSize) {
    AppendChunk(out, bytes + at, std::min(kMsgBaseChunkSize, body.size() - at));
  }
  auto* head = reinterpret_cast<uint8_t*>(out.data());
  std::memcpy(head, kRecordMagic, 4);
  uint32_t stored = static_cast<uint32_t>(out.size() - kBodyRecordHeadSize);
  PutLE32(head + 4, stored);
  PutLE32(head + 8, Crc32OfBuffer(out.data() + kBodyRecordHeadSize, stored));
  PutLE32(head + 12, 0);
  return out;
}

bool DecodeBodyChunks(std::string_view stored, uint32_t bodyLength, std::string& body) {
  body.clear();
  // Every chunk takes at least 3 stored bytes and gives at most 32768.
  if (uint64_t{bodyLength} > (stored.size() / kMinChunkSize) * uint64_t{kMsgBaseChunkSize})
    return false;
  // The body grows as its chunks really produce bytes, so a length that the
  // chunks do not back costs no more memory than the chunks give.
  size_t produced = 0;
  size_t pos = 0;
  while (produced < bodyLength) {
    if (stored.size() - pos < 2) return false;
    size_t len = GetLE16(reinterpret_cast<const uint8_t*>(stored.data() + pos));
    pos += 2;
    if (len == 0 || stored.size() - pos < len) return false;
    size_t capacity = std::min<size_t>(kMsgBaseChunkSize, bodyLength - produced);
    body.resize(produced + capacity);
    try {
      produced += Lzrw1KHDecompress(stored.data() + pos, body.data() + produced, len, capacity);
    } catch (const ELzrw1KHCompressor&) {
      return false;
    }
    body.resize(produced);
    pos += len;
  }
  return true;
}

bool CheckBodyLayout(std::string_view body, uint16_t textOffset) {
  size_t pos = MailBodyOffset::ToName;
  if (body.size() <= pos) return false;
  for (int name = 0; name < 3; ++name) {
    size_t nul = body.find('\0', pos);
    if (nul == std::string_view::npos) return false;
    pos = nul + 1;
  }
  return textOffset >= MailBodyOffset::ToName && textOffset < body.size();
}

bool StoredBodyText(std::string_view bodyFile, const TMsgHeader& header, std::string& scratch,
                    std::string_view& text) {
  const uint64_t offset = header.BodyOffset;
  if (offset > bodyFile.size() || bodyFile.size() - offset < kBodyRecordHeadSize) return false;
  const auto* head = reinterpret_cast<const uint8_t*>(bodyFile.data() + offset);
  if (std::memcmp(head, kRecordMagic, 4) != 0) return false;
  const uint32_t storedSize = GetLE32(head + 4);
  if (storedSize > bodyFile.size() - offset - kBodyRecordHeadSize) return false;
  const std::string_view stored = bodyFile.substr(offset + kBodyRecordHeadSize, storedSize);
  if (Crc32OfBuffer(stored.data(), stored.size()) != GetLE32(head + 8)) return false;
  if (!DecodeBodyChunks(stored, header.BodyLength, scratch)) return false;
  if (!CheckBodyLayout(scratch, header.TextOffset)) return false;
  text = TextOfBody(scratch, header.TextOffset);
  return true;
}

// --- File steps -----------------------------------------------------------------

std::string SalvagePackedIndex(std::string_view file, std::vector<TMsgHeader>& headers) {
  headers.clear();
  const bool magic = file.size() >= kIndexHeadSize && std::memcmp(file.data(), kIndexMagic, 4) == 0;
  const uint64_t count = file.size() >= kIndexHeadSize
                             ? GetLE32(reinterpret_cast<const uint8_t*>(file.data() + 4))
                             : 0;
  std::vector<uint8_t> scratch(kMsgBaseChunkSize);
  size_t pos = kIndexHeadSize;
  int lostChunks = 0;
  bool chainBroken = false;
  while (pos < file.size() && headers.size() < count) {
    if (file.size() - pos < 2) {
      chainBroken = true;
      break;
    }
    const size_t len = GetLE16(reinterpret_cast<const uint8_t*>(file.data() + pos));
    pos += 2;
    if (len == 0 || file.size() - pos < len) {
      chainBroken = true;
      break;
    }
    size_t n = 0;
    try {
      n = Lzrw1KHDecompress(file.data() + pos, scratch.data(), len, kMsgBaseChunkSize);
    } catch (const ELzrw1KHCompressor&) {
      ++lostChunks;
      n = 0;
    }
    pos += len;
    // A chunk holds whole records as every writer cuts them; a piece that
    // does not is damaged too.
    if (n % kMsgHeaderSize != 0) {
      ++lostChunks;
      continue;
    }
    for (size_t at = 0; at < n && headers.size() < count; at += kMsgHeaderSize)
      headers.push_back(TMsgHeader::Decode(scratch.data() + at));
  }
  std::string text = "damaged";
  if (!magic) text += " (no index head)";
  text += ": " + std::to_string(headers.size()) + " of " + std::to_string(count) +
          " records could be read";
  if (lostChunks) text += ", " + std::to_string(lostChunks) + " damaged chunks skipped";
  if (chainBroken) text += ", the rest is unreadable";
  return text;
}

bool TMessageBase::ReadIndex(std::vector<TMsgHeader>& headers, std::string* damage) const {
  headers.clear();
  Fd fd(::open(area_.FilePath(kPackedIndexExt).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return false;
  std::string file;
  if (!ReadWhole(fd.get(), file)) return false;
  if (DecodePackedIndex(file, headers)) return true;
  if (damage)
    *damage =
        "The index " + platform::LogName(area_.FilePath(kPackedIndexExt)) + " is " +
        SalvagePackedIndex(file, headers);
  return false;
}

bool TMessageBase::WriteIndex(const std::vector<TMsgHeader>& headers, size_t count) {
  return WriteIndexFile(EncodePackedIndex(headers.data(), std::min(count, headers.size())));
}

uint32_t TMessageBase::WriteBodyRecord(const TMail& mail, int fd) {
  std::string record = BuildBodyRecord(mail.Body);
  off_t start = ::lseek(fd, 0, SEEK_CUR);
  if (start < 0) return 0;
  if (!platform::WriteAll(fd, record)) {
    const int err = errno;
    if (::ftruncate(fd, start) != 0) { /* the next write starts at start anyway */
    }
    ::lseek(fd, start, SEEK_SET);
    errno = err;
    return 0;
  }
  return static_cast<uint32_t>(record.size());
}

std::unique_ptr<TMail> TMessageBase::ReadStoredMail(const TMsgHeader& header, int bodyFd) const {
  Fd own;
  int fd = bodyFd;
  if (fd < 0) {
    own = Fd(::open(area_.FilePath(kPackedBodyExt).c_str(), O_RDONLY | O_CLOEXEC));
    if (!own.ok()) return nullptr;
    fd = own.get();
  }
  uint64_t size = 0;
  if (!FileSize(fd, size)) return nullptr;
  const uint64_t offset = header.BodyOffset;
  if (offset > size || size - offset < kBodyRecordHeadSize) return nullptr;

  uint8_t head[kBodyRecordHeadSize];
  if (!PReadAll(fd, head, sizeof head, static_cast<off_t>(offset))) return nullptr;
  if (std::memcmp(head, kRecordMagic, 4) != 0) return nullptr;
  const uint32_t storedSize = GetLE32(head + 4);
  const uint32_t crc = GetLE32(head + 8);
  if (storedSize > size - offset - kBodyRecordHeadSize) return nullptr;

  std::string stored(storedSize, '\0');
  if (storedSize > 0 &&
      !PReadAll(fd, stored.data(), storedSize, static_cast<off_t>(offset + kBodyRecordHeadSize)))
    return nullptr;
  if (Crc32OfBuffer(stored.data(), stored.size()) != crc) return nullptr;

  std::string body;
  if (!DecodeBodyChunks(stored, header.BodyLength, body)) return nullptr;
  if (!CheckBodyLayout(body, header.TextOffset)) return nullptr;

  auto mail = std::make_unique<TMail>(std::move(body), header);
  mail->Header.Flags = header.Flags;
  mail->Header.BodyOffset = header.BodyOffset;
  // The attribute word follows the flags, not what the file holds.
  uint16_t attr = 0;
  if (area_.Name == "NETMAIL") attr |= FtsAttr::Private;
  if (header.Flags & MsgFlag::Attach) attr |= FtsAttr::Crash | FtsAttr::FileAttached;
  if (header.Flags & MsgFlag::Request)
    attr |= FtsAttr::Crash | FtsAttr::FileRequest | FtsAttr::KillSent;
  mail->SetAttribute(attr);
  return mail;
}

bool TMessageBase::Append(std::vector<std::unique_ptr<TMail>>& queue,
                          std::vector<uint16_t>& stored) {
  TArea& area = area_;
  area.WriteError.clear();
  if (queue.empty()) return true;

  Fd body, index;
  uint64_t bodyEnd = 0, indexEnd = 0;
  uint32_t fileCount = 0;
  bool bodyCreated = false;
  if (!OpenBodyForAppend(area, body, bodyEnd, bodyCreated)) {
    area.WriteError = Reason(area.FilePath(kPackedBodyExt), "cannot be opened for writing");
    return false;
  }
  if (!OpenIndexForAppend(index, indexEnd, fileCount)) {
    area.WriteError = errno == EBADMSG
                          ? platform::LogName(area.FilePath(kPackedIndexExt)) + " is damaged"
                          : Reason(area.FilePath(kPackedIndexExt), "cannot be opened for writing");
    return false;
  }

  bool allWritten = true;
  // Mails go in groups: the group's body records with one write, its index
  // chunks with one more, then the count. A group that does not go in whole
  // is taken back, and its mails go one by one as below (with the user's
  // Retry and Abort).
  size_t first = 0;
  while (first < queue.size()) {
    std::string records, chunks;
    uint64_t at = bodyEnd;
    size_t end = first;
    for (; end < queue.size() && records.size() < kAppendGroupBytes; ++end) {
      TMail& mail = *queue[end];
      const uint64_t bound = kBodyRecordHeadSize + mail.Body.size() +
                             (mail.Body.size() / kMsgBaseChunkSize + 1) * kMinChunkSize;
      if (at + bound > 0xFFFFFFFFull) break;
      mail.Header.BodyOffset = static_cast<uint32_t>(at);
      mail.Header.BodyLength = static_cast<uint32_t>(mail.Body.size());
      const std::string record = BuildBodyRecord(mail.Body);
      records += record;
      at += record.size();
      chunks += EncodeIndexChunk(mail.Header);
    }
    if (end == first) break;
    uint8_t newCount[4];
    PutLE32(newCount, fileCount + static_cast<uint32_t>(end - first));
    if (PWriteFull(body.get(), records.data(), records.size(), static_cast<off_t>(bodyEnd)) !=
            records.size() ||
        PWriteFull(index.get(), chunks.data(), chunks.size(), static_cast<off_t>(indexEnd)) !=
            chunks.size() ||
        PWriteFull(index.get(), newCount, 4, 4) != 4) {
      uint8_t oldCount[4];
      PutLE32(oldCount, fileCount);
      PWriteFull(index.get(), oldCount, 4, 4);
      if (::ftruncate(index.get(), static_cast<off_t>(indexEnd)) != 0) { /* beyond the count */
      }
      if (::ftruncate(body.get(), static_cast<off_t>(bodyEnd)) != 0) { /* unreferenced bytes */
      }
      break;
    }
    bodyEnd = at;
    indexEnd += chunks.size();
    fileCount += static_cast<uint32_t>(end - first);
    for (; first < end; ++first) stored.push_back(queue[first]->Header.Flags);
  }
  ::lseek(body.get(), static_cast<off_t>(bodyEnd), SEEK_SET);
  for (size_t n = first; n < queue.size(); ++n) {
    TMail& mail = *queue[n];
    mail.Header.BodyOffset = static_cast<uint32_t>(bodyEnd);
    mail.Header.BodyLength = static_cast<uint32_t>(mail.Body.size());

    // Offsets in the index are 32-bit: a record that could end beyond them
    // is not written.
    const uint64_t recordBound = kBodyRecordHeadSize + mail.Body.size() +
                                 (mail.Body.size() / kMsgBaseChunkSize + 1) * kMinChunkSize;
    const bool fits = bodyEnd + recordBound <= 0xFFFFFFFFull;
    uint32_t written = 0;
    int writeErr = 0;
    for (;;) {
      if (fits) written = WriteBodyRecord(mail, body.get());
      if (written != 0) break;
      writeErr = errno;
      if (!AskRetry(area, false)) break;
    }
    if (written == 0) {
      errno = writeErr;
      // Abort gives up this mail only; nothing of it was written.
      area.WriteError = fits ? Reason(area.FilePath(kPackedBodyExt), "cannot be written")
                             : platform::LogName(area.FilePath(kPackedBodyExt)) +
                                   " would grow beyond 4 GiB";
      allWritten = false;
      continue;
    }

    std::string chunk = EncodeIndexChunk(mail.Header);
    uint8_t oldCount[4], newCount[4];
    PutLE32(oldCount, fileCount);
    PutLE32(newCount, fileCount + 1);
    bool indexOk = false;
    for (;;) {
      if (PWriteFull(index.get(), chunk.data(), chunk.size(), static_cast<off_t>(indexEnd)) ==
              chunk.size() &&
          PWriteFull(index.get(), newCount, 4, 4) == 4) {
        indexOk = true;
        break;
      }
      // Nothing of a chunk that came up short stays behind.
      writeErr = errno;
      PWriteFull(index.get(), oldCount, 4, 4);
      if (::ftruncate(index.get(), static_cast<off_t>(indexEnd)) != 0) { /* tried again below */
      }
      if (!AskRetry(area, true)) break;
    }
    if (!indexOk) {
      errno = writeErr;
      area.WriteError = Reason(area.FilePath(kPackedIndexExt), "cannot be written");
      // Both files go back to where this mail began; the rest of the queue
      // is given up.
      if (::ftruncate(body.get(), static_cast<off_t>(bodyEnd)) != 0) { /* unreferenced bytes */
      }
      if (::ftruncate(index.get(), static_cast<off_t>(indexEnd)) != 0) { /* beyond the count */
      }
      allWritten = false;
      break;
    }
    bodyEnd += written;
    indexEnd += chunk.size();
    ++fileCount;
    stored.push_back(mail.Header.Flags);
  }

  if (area.SyncWrites) {
    ::fdatasync(body.get());
    ::fdatasync(index.get());
  }
  if (bodyCreated && area.SyncWrites) {
    try {
      platform::FsyncPath(area.BaseDir.empty() ? std::string(".") : area.BaseDir);
    } catch (const std::exception&) {
      // The data is written; only its directory entry is not yet synced.
    }
  }
  uint64_t indexSize = 0;
  if (FileSize(index.get(), indexSize) && indexSize == indexEnd) {
    indexFile_.known = true;
    indexFile_.size = indexSize;
    indexFile_.count = fileCount;
  } else {
    indexFile_.known = false;
  }
  body.Close();
  index.Close();
  return allWritten;
}

void UpgradeMessageBase(TWinRegistry& registry) {
  registry.WriteBool("Updates", "Packed Bodys", true);
  registry.WriteBool("Updates", "Enhanced Headers", true);
}

}  // namespace velmaris

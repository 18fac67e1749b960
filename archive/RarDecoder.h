// libarchive's RAR readers run in a child process of their own, never in the
// program: libarchive takes the memory an archive's headers and data ask for
// (windows, PPMd models, filter data) without a bound of its own, and some
// of its versions read freed memory on a damaged archive. Every header and
// every byte of data is decoded once, in the child, which may die: the
// program then fails the archive as damaged and goes on.
//
// The child ("velmaris-rar", its name as the kernel's log shows it):
//   - may grow its address space by kRarAddressBudget, may take
//     kRarDecodeSeconds of CPU time (SIGXCPU ends it), writes no core file;
//   - is killed by the kernel when the thread that started it ends
//     (PR_SET_PDEATHSIG), so a killed program leaves none behind;
//   - keeps none of the program's descriptors but its socket (the standard
//     ones point at /dev/null), so it holds none of the program's locks:
//     the start directory's and the instance guard are flocks, held while
//     any descriptor of their open file is;
//   - does only async-signal-safe work until it opens the archive (the
//     program has other threads, whose locks it must not wait on).
//
// The two talk over a SOCK_SEQPACKET pair, one frame per packet: a type
// byte and its payload, little-endian, at most kMaxRarFrame bytes.
//   program -> child   'H'                 the next header
//                      'S'                 pass over the entry's data
//                      'X' limit (64)      the entry's data, at most limit bytes
//   child -> program   'R' result (32)     an ERAR_ result: the answer to the
//                                          opening (sent unasked), to 'S', and
//                                          the end of the answer to 'X'
//                      'E' result (32), RAR 5 (8), header position (64), and
//                          with ERAR_SUCCESS: file type (32), mode (32),
//                          encrypted (8), size set (8), link (8), size (64),
//                          mtime (64), name (16-bit length and bytes, as
//                          stored), name in UTF-8 (the same)
//                                          the answer to 'H'
//                      'D' 1 to 65536 bytes  data, before the 'R' of an 'X'
// A frame of another type or size than its place allows, no answer within
// the wait, or the end of the child fails the archive (ERAR_READER_FAILED)
// and ends the child.
//
// Whose doing a failure is (FailureKind): the archive's when the child crashed
// (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP), met its CPU
// limit (SIGXCPU, or the kernel's SIGKILL at the hard limit once the child
// has used that much CPU time), ran out of its memory bound, or answered
// out of order. Ours when it was ended by any other signal (the
// out-of-memory killer's SIGKILL, SIGTERM) or gave no answer within the
// wait while it used no CPU time (stopped, or starved): the archive may well
// be sound. While the child keeps using CPU time the wait goes on, since
// its CPU limit bounds it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/UnrarApi.h"
#include "platform/Files.h"

namespace velmaris::unrar {

inline constexpr size_t kMaxRarFrame = 1 + 65536;
// The longest name the child hands over.
inline constexpr size_t kMaxRarFrameName = 4096;

// The bounds of the child: its CPU time and how long the program waits for
// an answer. Process-wide; tests shorten them.
struct TRarReaderBounds {
  unsigned CpuSeconds = kRarDecodeSeconds;
  std::chrono::milliseconds AnswerWait{2000 * kRarDecodeSeconds};
};
void SetRarReaderBounds(const TRarReaderBounds& bounds);
TRarReaderBounds RarReaderBounds();
// Told the process id of every child started from now on, in the program
// right after the fork (tests send it signals); empty: nobody is told.
void SetRarReaderWatch(std::function<void(pid_t)> watch);

// What libarchive tells of one header.
struct TRarEntryInfo {
  bool Rar5 = false;  // the archive's format, known from its first header on
  uint64_t HeaderPosition = 0;
  uint32_t FileType = 0;  // AE_IFREG, AE_IFDIR, ...
  uint32_t Mode = 0;
  bool Encrypted = false;
  bool SizeSet = false;
  bool Link = false;  // a symbolic or hard link
  uint64_t Size = 0;
  int64_t Mtime = 0;
  std::string Name;      // as stored (empty when libarchive gives none)
  std::string NameUtf8;  // in UTF-8 (empty when libarchive gives none)
};

// One archive in one child, on one thread: no child -> running [Open] ->
// ended [End: a failure, a refused block, the destructor]; an ended
// decoder answers every call with ERAR_READER_FAILED. The child must end on
// the thread that started it: it dies with that thread.
class TRarDecoder {
 public:
  TRarDecoder() = default;
  ~TRarDecoder() { End(); }
  TRarDecoder(const TRarDecoder&) = delete;
  TRarDecoder& operator=(const TRarDecoder&) = delete;

  // Starts the child on the archive: ERAR_SUCCESS, or why it cannot be
  // read (ERAR_UNKNOWN_FORMAT, ERAR_EOPEN, ERAR_BAD_DATA,
  // ERAR_NO_DECRYPTION, ERAR_READER_FAILED; ERAR_NO_MEMORY when no child
  // can be started).
  int Open(const std::string& path);
  // The next header into info (ERAR_SUCCESS), ERAR_END_ARCHIVE, or a
  // failure. info.Rar5 is set in every answer.
  int NextHeader(TRarEntryInfo& info);
  // Passes over the data of the header read last.
  int Skip();
  // The data of the header read last, block by block, at most limit bytes
  // (more give ERAR_BAD_DATA). A block for which the handler answers false
  // ends the child; Read then gives ERAR_UNKNOWN and the decoder is done.
  int Read(uint64_t limit, const std::function<bool(const char* data, size_t n)>& block);
  // Why the child failed, once a call gave ERAR_READER_FAILED, and whose
  // doing that was.
  const std::string& Failure() const { return failure_; }
  TReaderFailure FailureKind() const { return kind_; }

 private:
  bool Send(std::string_view request);
  // One frame, within the wait; otherwise the child is ended (Fail).
  bool Receive(std::string_view& frame);
  // An 'R' frame's result as the caller gets it.
  int ResultOf(std::string_view frame);
  int Checked(int result);
  // Ends the child and records why: the reason given (of that kind), else
  // the way the child ended. ERAR_READER_FAILED.
  int Fail(const std::string& why, TReaderFailure kind = TReaderFailure::Archive);
  // How a child ended: its wait status, the CPU time it used and the CPU
  // limit it had.
  struct Ending {
    int Status = 0;
    double CpuSeconds = 0;
    double CpuLimit = 0;
  };
  // Kills and reaps the child; how it ended, when there was one.
  std::optional<Ending> End();
  // Whether a child that gave no answer within the wait is at work (it used
  // CPU time since *cpuTicks, which is updated) rather than stopped.
  bool StillWorking(unsigned long long* cpuTicks) const;

  pid_t pid_ = -1;
  platform::Fd socket_;
  std::string failure_;
  TReaderFailure kind_ = TReaderFailure::Archive;
  TRarReaderBounds bounds_;
  double cpuLimit_ = 0;  // the child's CPU limit in seconds, as it was set
  std::vector<char> buffer_;  // the frame received last
};

}  // namespace velmaris::unrar

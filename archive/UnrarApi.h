// The interface of the external RAR extraction library (libunrar), declared
// from its published documentation: the calls, the two exchange records with
// their documented field order and types, the callback messages and the
// result numbers. The library's own header packs the records to 1 byte; so
// do we, so that the layouts agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmaris::unrar {

using LPARAM = long;
using HANDLE = void*;
using UNRARCALLBACK = int (*)(unsigned int msg, LPARAM UserData, LPARAM P1, LPARAM P2);

// Results.
enum : int {
  ERAR_SUCCESS = 0,
  ERAR_END_ARCHIVE = 10,
  ERAR_NO_MEMORY = 11,
  ERAR_BAD_DATA = 12,
  ERAR_BAD_ARCHIVE = 13,
  ERAR_UNKNOWN_FORMAT = 14,
  ERAR_EOPEN = 15,
  ERAR_ECREATE = 16,
  ERAR_ECLOSE = 17,
  ERAR_EREAD = 18,
  ERAR_EWRITE = 19,
  ERAR_SMALL_BUF = 20,
  ERAR_UNKNOWN = 21,
  ERAR_MISSING_PASSWORD = 22,
  ERAR_EREFERENCE = 23,
  ERAR_BAD_PASSWORD = 24,
  // Not the library's: the reader that stands in for it cannot decrypt.
  ERAR_NO_DECRYPTION = 1000,
  // Not the library's: the process in which the stand-in reader decodes
  // failed on the archive (it died, passed a limit of memory or time, or
  // answered out of order); ReaderFailure() tells why.
  ERAR_READER_FAILED = 1001,
};

// Open modes and operations.
enum : unsigned int { RAR_OM_LIST = 0, RAR_OM_EXTRACT = 1, RAR_OM_LIST_INCSPLIT = 2 };
enum : int { RAR_SKIP = 0, RAR_TEST = 1, RAR_EXTRACT = 2 };
enum : int { RAR_VOL_ASK = 0, RAR_VOL_NOTIFY = 1 };
enum : unsigned int { RAR_HASH_NONE = 0, RAR_HASH_CRC32 = 1, RAR_HASH_BLAKE2 = 2 };

// Callback messages.
enum : unsigned int {
  UCM_CHANGEVOLUME = 0,   // P1 char* volume name (may be changed), P2 RAR_VOL_ASK / RAR_VOL_NOTIFY
  UCM_PROCESSDATA = 1,    // P1 unpacked data, P2 its size
  UCM_NEEDPASSWORD = 2,   // P1 char* password buffer, P2 its size
  UCM_CHANGEVOLUMEW = 3,  // as UCM_CHANGEVOLUME with wchar_t*
  UCM_NEEDPASSWORDW = 4,  // as UCM_NEEDPASSWORD with wchar_t* and the size in characters
};

// Header flags.
enum : unsigned int {
  RHDF_SPLITBEFORE = 0x01,
  RHDF_SPLITAFTER = 0x02,
  RHDF_ENCRYPTED = 0x04,
  RHDF_SOLID = 0x10,
  RHDF_DIRECTORY = 0x20,
};

#pragma pack(push, 1)
struct RAROpenArchiveDataEx {
  char* ArcName;
  wchar_t* ArcNameW;
  unsigned int OpenMode;
  unsigned int OpenResult;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int Flags;
  UNRARCALLBACK Callback;
  LPARAM UserData;
  unsigned int OpFlags;
  wchar_t* CmtBufW;
  unsigned int Reserved[25];
};

struct RARHeaderDataEx {
  char ArcName[1024];
  wchar_t ArcNameW[1024];
  char FileName[1024];
  wchar_t FileNameW[1024];
  unsigned int Flags;
  unsigned int PackSize;
  unsigned int PackSizeHigh;
  unsigned int UnpSize;
  unsigned int UnpSizeHigh;
  unsigned int HostOS;
  unsigned int FileCRC;
  unsigned int FileTime;
  unsigned int UnpVer;
  unsigned int Method;
  unsigned int FileAttr;
  char* CmtBuf;
  unsigned int CmtBufSize;
  unsigned int CmtSize;
  unsigned int CmtState;
  unsigned int DictSize;
  unsigned int HashType;
  char Hash[32];
  unsigned int RedirType;
  wchar_t* RedirName;
  unsigned int RedirNameSize;
  unsigned int DirTarget;
  unsigned int MtimeLow;
  unsigned int MtimeHigh;
  unsigned int CtimeLow;
  unsigned int CtimeHigh;
  unsigned int AtimeLow;
  unsigned int AtimeHigh;
  unsigned int Reserved[988];
};
#pragma pack(pop)

// The entry points, as the library exports them (C linkage).
using FnOpenArchiveEx = HANDLE (*)(RAROpenArchiveDataEx* ArchiveData);
using FnCloseArchive = int (*)(HANDLE hArcData);
using FnReadHeaderEx = int (*)(HANDLE hArcData, RARHeaderDataEx* HeaderData);
using FnProcessFile = int (*)(HANDLE hArcData, int Operation, char* DestPath, char* DestName);
using FnProcessFileW = int (*)(HANDLE hArcData, int Operation, wchar_t* DestPath,
                               wchar_t* DestName);
using FnSetCallback = void (*)(HANDLE hArcData, UNRARCALLBACK Callback, LPARAM UserData);
using FnSetPassword = void (*)(HANDLE hArcData, char* Password);

struct Api {
  FnOpenArchiveEx RAROpenArchiveEx = nullptr;
  FnCloseArchive RARCloseArchive = nullptr;
  FnReadHeaderEx RARReadHeaderEx = nullptr;
  FnProcessFile RARProcessFile = nullptr;
  FnProcessFileW RARProcessFileW = nullptr;  // optional
  FnSetCallback RARSetCallback = nullptr;
  FnSetPassword RARSetPassword = nullptr;
  // False for the stand-in reader: an encrypted entry is refused, nobody is
  // asked for a password.
  bool Decrypts = true;
};

// The library, loaded once per process and path: the path set by
// SetLibraryPath, else the environment variable VELMARIS_UNRAR_LIBRARY, else
// "libunrar.so", "libunrar.so.7", "libunrar.so.6" and "libunrar.so.5" on the
// search path, else the stand-in reader (LibarchiveApi). Null when a library
// named by path or variable does not load or lacks an entry point.
const Api* LoadUnrarLibrary();
// Tests point the extractor at a library of their own, or at the stand-in
// reader with kLibarchiveReader; "" restores the search.
void SetLibraryPath(const std::string& path);
inline constexpr const char* kLibarchiveReader = "<libarchive>";

// The reader that stands in for the library where none is installed: RAR
// 1.5 to 4 and RAR5 through libarchive, without decryption and volumes.
const Api* LibarchiveApi();
// The most an entry whose header announces no size may give.
inline constexpr uint64_t kMaxUnsizedEntry = uint64_t(1) << 31;
// The most address space the stand-in reader's process may add for one
// archive: the largest RAR 5 window libarchive reads (64 MB, held twice)
// fits, a PPMd model of 256 MB does not.
inline constexpr uint64_t kRarAddressBudget = uint64_t(192) << 20;
// The most CPU time, in seconds, that process may take for one archive: far
// more than a mail bundle needs.
inline constexpr unsigned kRarDecodeSeconds = 60;
// Why the stand-in reader's process last failed on this thread
// (ERAR_READER_FAILED), as a clause: "it was ended by signal 11 (...)".
std::string ReaderFailure();
// Whose doing that failure was.
enum class TReaderFailure {
  Archive,  // the process crashed, met its CPU limit or answered out of order
  Memory,   // the archive asks for more memory than the process may take
  OwnSide,  // it was ended from outside, or stopped: the archive may be sound
};
TReaderFailure ReaderFailureKind();
// Forgets that failure: an extraction begins.
void ClearReaderFailure();

// UTF-8 to and from the library's wide characters.
std::string WideToUtf8(const wchar_t* w, size_t max);
std::wstring Utf8ToWide(const std::string& s);

}  // namespace velmaris::unrar

// A stand-in for the RAR library, built only for the tests. It exports the
// library's calls and reads "archives" of its own: the RAR signature line,
// then one entry per line:
//
//   F NAME FLAGS HOSTOS ATTR PASSWORD RESULT CRC HEXDATA
//
// PASSWORD is the one an encrypted entry (FLAGS & 4) wants ("-" for none),
// RESULT the number RARProcessFile returns after writing half the data (0:
// extract normally), CRC "ok" or "bad" (a wrong FileCRC in the header),
// HEXDATA the content ("-" for empty). "L NAME" is a symbolic link entry;
// "H N" makes RARReadHeaderEx answer N there; "O N" makes the open fail
// with N. Passwords are asked through UCM_NEEDPASSWORDW first and, when that
// leaves the buffer empty, through UCM_NEEDPASSWORD, as the library does.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/UnrarApi.h"
#include "core/Crc.h"

using namespace velmaris::unrar;

namespace {

struct Entry {
  char kind = 'F';
  std::string name;
  unsigned flags = 0, hostOs = 2, attr = 0x20;
  std::string password;
  int result = 0;
  bool badCrc = false;
  std::string data;
  int headerResult = 0;
};

struct Archive {
  std::vector<Entry> entries;
  size_t next = 0;     // the entry RARReadHeaderEx gives next
  size_t current = 0;  // the entry RARProcessFile works on
  bool headerRead = false;
  UNRARCALLBACK callback = nullptr;
  LPARAM user = 0;
  std::string password;
};

uint32_t Crc32(const std::string& s) { return velmaris::Crc32OfString(s); }

std::string Unhex(const std::string& h) {
  if (h == "-") return {};
  std::string s;
  for (size_t i = 0; i + 1 < h.size(); i += 2) s += char(std::stoi(h.substr(i, 2), nullptr, 16));
  return s;
}

// Names and passwords of the tests are ASCII: one character per byte.
std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string Narrow(const wchar_t* w, size_t max) {
  std::string s;
  for (size_t i = 0; i < max && w[i]; ++i) s += char(w[i]);
  return s;
}

}  // namespace

extern "C" {

HANDLE RAROpenArchiveEx(RAROpenArchiveDataEx* d) {
  std::ifstream f(d->ArcName ? d->ArcName : "", std::ios::binary);
  if (!f) {
    d->OpenResult = ERAR_EOPEN;
    return nullptr;
  }
  std::string line;
  std::getline(f, line);
  if (line.compare(0, 4, "Rar!") != 0) {
    d->OpenResult = ERAR_BAD_ARCHIVE;
    return nullptr;
  }
  auto* a = new Archive;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    Entry e;
    std::string kind;
    in >> kind;
    if (kind == "O") {
      in >> d->OpenResult;
      delete a;
      return nullptr;
    }
    if (kind == "H") {
      e.kind = 'H';
      in >> e.headerResult;
    } else if (kind == "L") {
      e.kind = 'L';
      in >> e.name;
    } else if (kind == "F") {
      std::string crc, hex;
      in >> e.name >> e.flags >> e.hostOs >> e.attr >> e.password >> e.result >> crc >> hex;
      if (e.password == "-") e.password.clear();
      e.badCrc = crc == "bad";
      e.data = Unhex(hex);
    } else {
      continue;
    }
    a->entries.push_back(e);
  }
  a->callback = d->Callback;
  a->user = d->UserData;
  d->OpenResult = ERAR_SUCCESS;
  return a;
}

int RARCloseArchive(HANDLE h) {
  delete static_cast<Archive*>(h);
  return ERAR_SUCCESS;
}

void RARSetCallback(HANDLE h, UNRARCALLBACK cb, LPARAM user) {
  auto* a = static_cast<Archive*>(h);
  a->callback = cb;
  a->user = user;
}

void RARSetPassword(HANDLE h, char* pw) { static_cast<Archive*>(h)->password = pw ? pw : ""; }

int RARReadHeaderEx(HANDLE h, RARHeaderDataEx* d) {
  auto* a = static_cast<Archive*>(h);
  if (a->next >= a->entries.size()) return ERAR_END_ARCHIVE;
  const Entry& e = a->entries[a->next];
  if (e.kind == 'H') return e.headerResult;  // stays there, as a damaged header would
  std::memset(d, 0, sizeof *d);
  std::snprintf(d->FileName, sizeof d->FileName, "%s", e.name.c_str());
  const std::wstring w = Widen(e.name);
  std::wcsncpy(d->FileNameW, w.c_str(), 1023);
  d->Flags = e.flags;
  d->PackSize = unsigned(e.data.size());
  d->UnpSize = unsigned(e.data.size());
  d->HostOS = e.hostOs;
  d->FileCRC = Crc32(e.data) ^ (e.badCrc ? 0x5A5A5A5Au : 0);
  d->FileTime = 0x5A8B6000;  // 2025-04-11 12:00:00
  d->FileAttr = e.attr;
  d->HashType = RAR_HASH_CRC32;
  d->RedirType = e.kind == 'L' ? 2 : 0;
  a->current = a->next++;
  a->headerRead = true;
  return ERAR_SUCCESS;
}

int RARProcessFile(HANDLE h, int op, char* destPath, char* destName) {
  auto* a = static_cast<Archive*>(h);
  if (!a->headerRead) return ERAR_BAD_DATA;
  a->headerRead = false;
  const Entry& e = a->entries[a->current];
  if (op == RAR_SKIP) return ERAR_SUCCESS;
  if (e.flags & RHDF_ENCRYPTED) {
    std::string pw = a->password;
    if (pw.empty() && a->callback) {
      wchar_t wbuf[128] = {};
      if (a->callback(UCM_NEEDPASSWORDW, a->user, LPARAM(wbuf), 128) == -1)
        return ERAR_MISSING_PASSWORD;
      pw = Narrow(wbuf, 128);
      if (pw.empty()) {
        char buf[128] = {};
        if (a->callback(UCM_NEEDPASSWORD, a->user, LPARAM(buf), 128) == -1)
          return ERAR_MISSING_PASSWORD;
        pw = buf;
      }
    }
    if (pw.empty()) return ERAR_MISSING_PASSWORD;
    if (pw != e.password) return ERAR_BAD_PASSWORD;
  }
  std::string path = destName ? destName : (std::string(destPath ? destPath : ".") + "/" + e.name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return ERAR_ECREATE;
  const size_t upto = e.result ? e.data.size() / 2 : e.data.size();
  for (size_t at = 0; at < upto; at += 7) {
    const size_t n = std::min<size_t>(7, upto - at);
    std::fwrite(e.data.data() + at, 1, n, f);
    if (a->callback &&
        a->callback(UCM_PROCESSDATA, a->user, LPARAM(e.data.data() + at), LPARAM(n)) == -1) {
      std::fclose(f);
      return ERAR_UNKNOWN;
    }
  }
  std::fclose(f);
  return e.result;
}

}  // extern "C"

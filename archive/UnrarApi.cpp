#include "archive/UnrarApi.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace velmaris::unrar {

namespace {

std::mutex& LibMutex() {
  static std::mutex m;
  return m;
}
std::string& PathOverride() {
  static std::string p;
  return p;
}

// Loads one library; the handle stays open for the life of the process.
std::unique_ptr<Api> LoadFrom(const std::string& name) {
  void* h = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) return nullptr;
  auto api = std::make_unique<Api>();
  auto take = [h](auto& fn, const char* symbol) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(h, symbol));
  };
  take(api->RAROpenArchiveEx, "RAROpenArchiveEx");
  take(api->RARCloseArchive, "RARCloseArchive");
  take(api->RARReadHeaderEx, "RARReadHeaderEx");
  take(api->RARProcessFile, "RARProcessFile");
  take(api->RARProcessFileW, "RARProcessFileW");
  take(api->RARSetCallback, "RARSetCallback");
  take(api->RARSetPassword, "RARSetPassword");
  if (!api->RAROpenArchiveEx || !api->RARCloseArchive || !api->RARReadHeaderEx ||
      !api->RARProcessFile || !api->RARSetCallback || !api->RARSetPassword) {
    ::dlclose(h);
    return nullptr;
  }
  return api;
}

}  // namespace

void SetLibraryPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(LibMutex());
  PathOverride() = path;
}

const Api* LoadUnrarLibrary() {
  std::lock_guard<std::mutex> lock(LibMutex());
  static std::map<std::string, std::unique_ptr<Api>> loaded;  // by path; null = failed
  std::vector<std::string> names;
  bool searched = false;
  if (!PathOverride().empty()) {
    names.push_back(PathOverride());
  } else if (const char* env = std::getenv("VELMARIS_UNRAR_LIBRARY"); env && *env) {
    names.push_back(env);
  } else {
    names = {"libunrar.so", "libunrar.so.7", "libunrar.so.6", "libunrar.so.5"};
    searched = true;
  }
  if (names.front() == kLibarchiveReader) return LibarchiveApi();
  for (const auto& n : names) {
    auto it = loaded.find(n);
    if (it == loaded.end()) it = loaded.emplace(n, LoadFrom(n)).first;
    if (it->second) return it->second.get();
  }
  return searched ? LibarchiveApi() : nullptr;
}

std::string WideToUtf8(const wchar_t* w, size_t max) {
  std::string s;
  for (size_t i = 0; i < max && w[i]; ++i) {
    uint32_t c = static_cast<uint32_t>(w[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      s += char(c);
    } else if (c < 0x800) {
      s += char(0xC0 | (c >> 6));
      s += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += char(0xE0 | (c >> 12));
      s += char(0x80 | ((c >> 6) & 0x3F));
      s += char(0x80 | (c & 0x3F));
    } else {
      s += char(0xF0 | (c >> 18));
      s += char(0x80 | ((c >> 12) & 0x3F));
      s += char(0x80 | ((c >> 6) & 0x3F));
      s += char(0x80 | (c & 0x3F));
    }
  }
  return s;
}

std::wstring Utf8ToWide(const std::string& s) {
  std::wstring w;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t c = 0;
    bool ok = len > 0 && i + size_t(len) <= s.size();
    if (ok) {
      c = len == 1 ? b : b & (0xFF >> (len + 1));
      for (int k = 1; k < len; ++k) {
        const auto cb = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((cb & 0xC0) != 0x80) ok = false;
        c = (c << 6) | (cb & 0x3F);
      }
    }
    if (!ok) {  // a byte that is no UTF-8 stands for itself (Latin-1)
      w += wchar_t(b);
      ++i;
      continue;
    }
    w += wchar_t(c);
    i += size_t(len);
  }
  return w;
}

}  // namespace velmaris::unrar

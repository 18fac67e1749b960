#include "platform/Registry.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "platform/Ascii.h"
#include "platform/Files.h"

namespace velmaris::platform {

namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kRoot = "HKEY_CURRENT_USER";
// Limits as Windows has them: key depth, key name and value name lengths.
constexpr size_t kMaxDepth = 512;
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
// A registry file larger than this is refused rather than read.
constexpr size_t kMaxFileSize = 64u << 20;
// Hex lines wrap before this column, as regedit wraps them.
constexpr size_t kWrapColumn = 76;

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// The parts of a key path; empty parts (leading, trailing or doubled "\")
// are skipped.
std::vector<std::string> SplitKey(const std::string& key) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= key.size()) {
    size_t next = key.find('\\', pos);
    if (next == std::string::npos) next = key.size();
    if (next > pos) {
      std::string part = key.substr(pos, next - pos);
      if (part.size() > kMaxKeyName) throw ERegistry("key name too long in " + key);
      if (HasLineBreakOrNul(part)) throw ERegistry("invalid character in key name " + key);
      parts.push_back(std::move(part));
      if (parts.size() > kMaxDepth) throw ERegistry("key nested too deeply: " + key.substr(0, 200));
    }
    pos = next + 1;
  }
  return parts;
}

void CheckValueName(const std::string& name) {
  if (name.size() > kMaxValueName) throw ERegistry("value name too long");
  if (HasLineBreakOrNul(name)) throw ERegistry("invalid character in value name");
}

void AppendQuoted(std::string& out, const std::string& s) {
  out += '"';
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

const char kHexDigits[] = "0123456789abcdef";

void AppendHexBytes(std::string& out, size_t col, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (i > 0) {
      out += ',';
      ++col;
      if (col > kWrapColumn - 3) {
        out += "\\\n  ";
        col = 2;
      }
    }
    out += kHexDigits[data[i] >> 4];
    out += kHexDigits[data[i] & 15];
    col += 2;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

struct Registry::Node {
  struct Value {
    std::string name;
    RegType type = RegType::String;
    std::string str;
    uint32_t dword = 0;
    std::vector<uint8_t> bin;
  };

  std::string name;
  std::vector<std::unique_ptr<Node>> children;   // in the order they were created
  std::unordered_map<std::string, Node*> index;  // folded name -> child
  std::vector<Value> values;

  Node* Child(const std::string& n) const {
    auto it = index.find(LowerAscii(n));
    return it == index.end() ? nullptr : it->second;
  }
  Node* MakeChild(const std::string& n) {
    if (Node* c = Child(n)) return c;
    children.push_back(std::make_unique<Node>());
    children.back()->name = n;
    index.emplace(LowerAscii(n), children.back().get());
    return children.back().get();
  }
  Value* Find(const std::string& n) {
    for (auto& v : values) {
      if (EqualNoCase(v.name, n)) return &v;
    }
    return nullptr;
  }
  // The value slot for a write: the existing one (keeping its stored case
  // and position) or a new one at the end.
  Value& Slot(const std::string& n) {
    if (Value* v = Find(n)) return *v;
    values.push_back(Value{});
    values.back().name = n;
    return values.back();
  }
  void Erase(const std::string& n) {
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (EqualNoCase(it->name, n)) {
        values.erase(it);
        return;
      }
    }
  }
  void EraseChild(const std::string& n) {
    Node* c = Child(n);
    if (!c) return;
    index.erase(LowerAscii(n));
    for (auto it = children.begin(); it != children.end(); ++it) {
      if (it->get() == c) {
        children.erase(it);
        return;
      }
    }
  }
};

namespace {

using Node = Registry::Node;

Node* Walk(Node* root, const std::vector<std::string>& parts) {
  Node* n = root;
  for (const auto& p : parts) {
    n = n->Child(p);
    if (!n) return nullptr;
  }
  return n;
}

Node* WalkCreate(Node* root, const std::vector<std::string>& parts) {
  Node* n = root;
  for (const auto& p : parts) n = n->MakeChild(p);
  return n;
}

void WriteValue(std::string& out, const Node::Value& v) {
  const size_t start = out.size();
  if (v.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, v.name);
  }
  out += '=';
  switch (v.type) {
    case RegType::String:
      if (HasLineBreakOrNul(v.str)) {
        // A string line cannot hold line breaks or NULs: write it in the hex
        // form of a string value, with its terminating NUL.
        out += "hex(1):";
        std::vector<uint8_t> bytes(v.str.begin(), v.str.end());
        bytes.push_back(0);
        AppendHexBytes(out, out.size() - start, bytes.data(), bytes.size());
      } else {
        AppendQuoted(out, v.str);
      }
      break;
    case RegType::DWord: {
      out += "dword:";
      for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(v.dword >> shift) & 15];
      break;
    }
    case RegType::Binary:
      out += "hex:";
      AppendHexBytes(out, out.size() - start, v.bin.data(), v.bin.size());
      break;
  }
  out += '\n';
}

// Writes the key and then its subkeys; `path` is the key's full name, which
// the calls for the subkeys extend and restore.
void WriteNode(std::string& out, const Node& n, std::string& path, bool isRoot) {
  if (!isRoot || !n.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& v : n.values) WriteValue(out, v);
    out += '\n';
  }
  for (const auto& c : n.children) {
    const size_t size = path.size();
    path += '\\';
    path += c->name;
    WriteNode(out, *c, path, false);
    path.resize(size);
  }
}

// The REGEDIT4 reader. Lines end in LF or CR LF; hex data may continue on
// the next line after a trailing "\".
class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  std::unique_ptr<Node> Parse() {
    auto root = std::make_unique<Node>();
    if (text_.empty()) return root;
    std::string_view line;
    if (!NextLine(line) || Trim(line) != kHeader) Fail("the file does not start with REGEDIT4");
    Node* current = nullptr;
    while (NextLine(line)) {
      std::string_view t = Trim(line);
      if (t.empty() || t.front() == ';') continue;
      if (t.front() == '[') {
        current = Section(root.get(), t);
      } else {
        if (!current) Fail("value outside a key");
        ValueLine(current, t);
      }
    }
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ERegistry("registry text, line " + std::to_string(lineNo_) + ": " + what);
  }

  bool NextLine(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    line = std::string_view(text_).substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    ++lineNo_;
    return true;
  }

  Node* Section(Node* root, std::string_view t) {
    if (t.back() != ']') Fail("key line without closing ]");
    std::string_view path = t.substr(1, t.size() - 2);
    bool remove = false;
    if (!path.empty() && path.front() == '-') {
      remove = true;
      path.remove_prefix(1);
    }
    if (!StartsWithNoCase(path, kRoot)) Fail("key outside HKEY_CURRENT_USER");
    path.remove_prefix(std::strlen(kRoot));
    if (!path.empty() && path.front() != '\\') Fail("key outside HKEY_CURRENT_USER");
    std::vector<std::string> parts;
    try {
      parts = SplitKey(std::string(path));
    } catch (const ERegistry& e) {
      Fail(e.what());
    }
    if (remove) {
      // "[-key]" deletes the key, as regedit reads it.
      if (parts.empty()) Fail("cannot delete the root key");
      const std::string last = parts.back();
      parts.pop_back();
      if (Node* parent = Walk(root, parts)) parent->EraseChild(last);
      return nullptr;
    }
    return WalkCreate(root, parts);
  }

  // Reads a quoted string at s[i] (at the opening quote) with \\ and \"
  // escapes; leaves i after the closing quote.
  std::string Quoted(std::string_view s, size_t& i) {
    std::string out;
    ++i;
    while (i < s.size()) {
      char c = s[i++];
      if (c == '"') return out;
      if (c == '\\') {
        if (i >= s.size() || (s[i] != '\\' && s[i] != '"')) Fail("unknown escape in string");
        c = s[i++];
      }
      out += c;
    }
    Fail("string without closing quote");
  }

  void ValueLine(Node* key, std::string_view t) {
    size_t i = 0;
    std::string name;
    if (t[0] == '@') {
      i = 1;
    } else if (t[0] == '"') {
      name = Quoted(t, i);
      if (name.size() > kMaxValueName) Fail("value name too long");
      if (HasLineBreakOrNul(name)) Fail("invalid character in value name");
    } else {
      Fail("value line must start with \" or @");
    }
    while (i < t.size() && IsBlank(t[i])) ++i;
    if (i >= t.size() || t[i] != '=') Fail("= expected after the value name");
    ++i;
    while (i < t.size() && IsBlank(t[i])) ++i;
    std::string_view data = t.substr(i);

    if (data == "-") {
      if (key) key->Erase(name);
      return;
    }
    Node::Value v;
    v.name = name;
    if (!data.empty() && data.front() == '"') {
      size_t j = 0;
      v.type = RegType::String;
      v.str = Quoted(data, j);
      if (!Trim(data.substr(j)).empty()) Fail("text after the closing quote");
    } else if (StartsWithNoCase(data, "dword:")) {
      std::string_view digits = Trim(data.substr(6));
      if (digits.empty() || digits.size() > 8) Fail("dword needs 1 to 8 hex digits");
      uint32_t d = 0;
      for (char c : digits) {
        const int h = HexDigitValue(c);
        if (h < 0) Fail("bad hex digit in dword");
        d = (d << 4) | static_cast<uint32_t>(h);
      }
      v.type = RegType::DWord;
      v.dword = d;
    } else if (StartsWithNoCase(data, "hex")) {
      std::string_view rest = data.substr(3);
      unsigned kind = 3;
      if (!rest.empty() && rest.front() == '(') {
        const size_t close = rest.find(')');
        if (close == std::string_view::npos || close < 2 || close > 9) Fail("bad hex type");
        kind = 0;
        for (char c : rest.substr(1, close - 1)) {
          const int h = HexDigitValue(c);
          if (h < 0) Fail("bad hex type");
          kind = (kind << 4) | static_cast<unsigned>(h);
        }
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest.front() != ':') Fail(": expected after hex");
      rest.remove_prefix(1);
      std::vector<uint8_t> bytes = HexList(rest);
      switch (kind) {
        case 1:  // a string in hex form, with or without its terminating NUL
          if (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
          v.type = RegType::String;
          v.str.assign(bytes.begin(), bytes.end());
          break;
        case 3:
          v.type = RegType::Binary;
          v.bin = std::move(bytes);
          break;
        case 4:
          if (bytes.size() != 4) Fail("hex(4) needs four bytes");
          v.type = RegType::DWord;
          v.dword = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                    (static_cast<uint32_t>(bytes[2]) << 16) |
                    (static_cast<uint32_t>(bytes[3]) << 24);
          break;
        default: Fail("unsupported value type hex(" + std::to_string(kind) + ")");
      }
    } else {
      Fail("unknown value data");
    }
    Node::Value& slot = key->Slot(name);
    v.name = slot.name;
    slot = std::move(v);
  }

  // Comma-separated hex bytes; a line ending in "\" continues on the next.
  std::vector<uint8_t> HexList(std::string_view first) {
    std::vector<uint8_t> out;
    std::string_view s = Trim(first);
    for (;;) {
      bool more = false;
      if (!s.empty() && s.back() == '\\') {
        more = true;
        s.remove_suffix(1);
        s = Trim(s);
      }
      size_t i = 0;
      while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        int value = 0, digits = 0;
        while (i < s.size() && HexDigitValue(s[i]) >= 0) {
          value = (value << 4) | HexDigitValue(s[i++]);
          if (++digits > 2) Fail("hex byte with more than two digits");
        }
        if (digits == 0) Fail("hex byte expected");
        out.push_back(static_cast<uint8_t>(value));
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i < s.size()) {
          if (s[i] != ',') Fail(", expected between hex bytes");
          ++i;
          // A comma must be followed by a byte, here or on the continued line.
          if (Trim(s.substr(i)).empty() && !more) Fail("hex list ends with a comma");
        }
      }
      if (!more) break;
      std::string_view next;
      if (!NextLine(next)) Fail("hex data continued past the end");
      s = Trim(next);
    }
    return out;
  }

  const std::string& text_;
  size_t pos_ = 0;
  size_t lineNo_ = 0;
};

std::string ReadRegistryFile(const std::string& path, bool& exists) {
  exists = false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    throw ERegistry("cannot read " + path + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) throw ERegistry("not a file: " + path);
  if (static_cast<uint64_t>(st.st_size) > kMaxFileSize)
    throw ERegistry("registry file too large: " + path);
  exists = true;
  try {
    std::string text = ReadFile(path);
    if (text.size() > kMaxFileSize) throw ERegistry("registry file too large: " + path);
    return text;
  } catch (const EFile& e) {
    throw ERegistry(e.what());
  }
}

}  // namespace

Registry::Registry(std::string path) : path_(std::move(path)), root_(std::make_unique<Node>()) {
  Reload();
}

Registry::~Registry() = default;

void Registry::Save() const {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;  // in memory only
  const std::string text = ToText();
  if (text.size() > kMaxFileSize)
    throw ERegistry("cannot save the registry: " + std::to_string(text.size()) +
                    " bytes are more than its reader takes");
  try {
    const std::string dir = DirOf(path_);
    if (!dir.empty()) MakeDirs(dir);
    WriteFileAtomic(path_, text);
  } catch (const EFile& e) {
    throw ERegistry(std::string("cannot save the registry: ") + e.what());
  }
}

void Registry::Reload() {
  std::lock_guard lock(mutex_);
  bool exists = false;
  const std::string text = ReadRegistryFile(path_, exists);
  // An empty file is no fresh install: something cut it off, and taking it
  // as empty would forget the whole configuration at the next save.
  if (exists && text.empty()) throw ERegistry(path_ + ": the registry file is empty");
  try {
    FromText(text);
  } catch (const ERegistry& e) {
    throw ERegistry(path_ + ": " + e.what());
  }
}

bool Registry::KeyExists(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return Walk(root_.get(), SplitKey(key)) != nullptr;
}

void Registry::CreateKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  WalkCreate(root_.get(), SplitKey(key));
}

void Registry::DeleteKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto parts = SplitKey(key);
  if (parts.empty()) {
    root_ = std::make_unique<Node>();
    return;
  }
  const std::string last = parts.back();
  parts.pop_back();
  if (Node* parent = Walk(root_.get(), parts)) parent->EraseChild(last);
}

std::vector<std::string> Registry::SubKeys(const std::string& key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  if (const Node* n = Walk(root_.get(), SplitKey(key))) {
    for (const auto& c : n->children) out.push_back(c->name);
  }
  return out;
}

std::vector<std::string> Registry::ValueNames(const std::string& key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  if (const Node* n = Walk(root_.get(), SplitKey(key))) {
    for (const auto& v : n->values) out.push_back(v.name);
  }
  return out;
}

bool Registry::ValueExists(const std::string& key, const std::string& name) const {
  return ValueType(key, name).has_value();
}

std::optional<RegType> Registry::ValueType(const std::string& key, const std::string& name) const {
  std::lock_guard lock(mutex_);
  Node* n = Walk(root_.get(), SplitKey(key));
  if (!n) return std::nullopt;
  const Node::Value* v = n->Find(name);
  if (!v) return std::nullopt;
  return v->type;
}

void Registry::DeleteValue(const std::string& key, const std::string& name) {
  std::lock_guard lock(mutex_);
  if (Node* n = Walk(root_.get(), SplitKey(key))) n->Erase(name);
}

namespace {

const Node::Value& Lookup(Node* root, const std::string& key, const std::string& name,
                          RegType type) {
  Node* n = Walk(root, SplitKey(key));
  if (!n) throw ERegistry("missing key " + key);
  const Node::Value* v = n->Find(name);
  if (!v) throw ERegistry("missing value " + key + "\\" + name);
  if (v->type != type) throw ERegistry("value " + key + "\\" + name + " has another type");
  return *v;
}

}  // namespace

std::string Registry::ReadString(const std::string& key, const std::string& name) const {
  std::lock_guard lock(mutex_);
  return Lookup(root_.get(), key, name, RegType::String).str;
}

uint32_t Registry::ReadDWord(const std::string& key, const std::string& name) const {
  std::lock_guard lock(mutex_);
  return Lookup(root_.get(), key, name, RegType::DWord).dword;
}

std::vector<uint8_t> Registry::ReadBinary(const std::string& key, const std::string& name) const {
  std::lock_guard lock(mutex_);
  return Lookup(root_.get(), key, name, RegType::Binary).bin;
}

void Registry::WriteString(const std::string& key, const std::string& name,
                           const std::string& value) {
  CheckValueName(name);
  std::lock_guard lock(mutex_);
  Node::Value& v = WalkCreate(root_.get(), SplitKey(key))->Slot(name);
  v.type = RegType::String;
  v.str = value;
  v.bin.clear();
  v.dword = 0;
}

void Registry::WriteDWord(const std::string& key, const std::string& name, uint32_t value) {
  CheckValueName(name);
  std::lock_guard lock(mutex_);
  Node::Value& v = WalkCreate(root_.get(), SplitKey(key))->Slot(name);
  v.type = RegType::DWord;
  v.dword = value;
  v.str.clear();
  v.bin.clear();
}

void Registry::WriteBinary(const std::string& key, const std::string& name,
                           const std::vector<uint8_t>& value) {
  CheckValueName(name);
  std::lock_guard lock(mutex_);
  Node::Value& v = WalkCreate(root_.get(), SplitKey(key))->Slot(name);
  v.type = RegType::Binary;
  v.bin = value;
  v.str.clear();
  v.dword = 0;
}

std::string Registry::ToText() const {
  std::lock_guard lock(mutex_);
  std::string out = std::string(kHeader) + "\n\n";
  std::string path = kRoot;
  WriteNode(out, *root_, path, true);
  return out;
}

void Registry::FromText(const std::string& text) {
  if (text.size() > kMaxFileSize) throw ERegistry("registry text too large");
  auto tree = Parser(text).Parse();
  std::lock_guard lock(mutex_);
  root_ = std::move(tree);
}

namespace {
std::atomic<Registry*> gRegistry{nullptr};
}

Registry& GetRegistry() {
  if (Registry* r = gRegistry.load()) return *r;
  static Registry fallback(DefaultRegistryPath());
  return fallback;
}

void SetRegistry(Registry* registry) { gRegistry.store(registry); }

}  // namespace velmaris::platform

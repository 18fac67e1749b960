#include "Batch.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <stdexcept>

#include "platform/CodePage.h"

namespace velmaris::batch {
namespace {

struct Entry {
  std::string usage;
  BatchCommandFn fn;
};

std::map<std::string, Entry>& Commands() {
  static std::map<std::string, Entry> commands;
  return commands;
}

}  // namespace

const BatchCommandFn* FindCommand(const std::string& name) {
  auto it = Commands().find(name);
  return it == Commands().end() ? nullptr : &it->second.fn;
}

void PrintUsage(std::ostream& err) {
  err << "usage: velmaris-batch [--dir START] [--registry FILE] [--wait SECONDS] COMMAND "
         "[ARGS]\ncommands:\n";
  for (const auto& [name, entry] : Commands()) err << "  " << entry.usage << "\n";
}

BatchCommand::BatchCommand(std::string name, std::string usage, BatchCommandFn fn) {
  Commands()[std::move(name)] = Entry{std::move(usage), std::move(fn)};
}

BatchArgs::BatchArgs(const std::vector<std::string>& args,
                     const std::vector<std::string>& valueOptions) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      const bool takesValue =
          std::find(valueOptions.begin(), valueOptions.end(), a) != valueOptions.end();
      if (takesValue) {
        if (i + 1 >= args.size()) throw EBatchUsage(a + " needs a value");
        options_.emplace_back(a, args[++i]);
      } else {
        options_.emplace_back(a, std::string());
      }
    } else {
      positional_.push_back(a);
    }
  }
}

bool BatchArgs::Has(const std::string& option) const {
  return std::any_of(options_.begin(), options_.end(),
                     [&](const auto& o) { return o.first == option; });
}

std::string BatchArgs::Get(const std::string& option, const std::string& fallback) const {
  for (const auto& o : options_)
    if (o.first == option) return o.second;
  return fallback;
}

std::string BatchArgs::AnsiText(const std::string& arg) { return platform::TextFileToAnsi(arg); }

std::string JsonLine::Quote(std::string_view bytes) {
  std::string s = "\"";
  for (unsigned char c : bytes) {
    switch (c) {
      case '"': s += "\\\""; break;
      case '\\': s += "\\\\"; break;
      case '\n': s += "\\n"; break;
      case '\r': s += "\\r"; break;
      case '\t': s += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          s += buf;
        } else if (c < 0x80) {
          s += static_cast<char>(c);
        } else {  // Latin-1 code point in UTF-8
          s += static_cast<char>(0xC0 | (c >> 6));
          s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
  }
  s += '"';
  return s;
}

void JsonLine::Key(std::string_view key) {
  if (!body_.empty()) body_ += ',';
  body_ += Quote(key);
  body_ += ':';
}

JsonLine& JsonLine::Str(std::string_view key, std::string_view bytes) {
  Key(key);
  body_ += Quote(bytes);
  return *this;
}

JsonLine& JsonLine::Utf8(std::string_view key, std::string_view text) {
  if (!platform::IsUtf8(text)) return Str(key, text);
  Key(key);
  // ASCII is escaped as Str escapes it; the multi-byte sequences are kept
  // as they stand.
  std::string s = "\"";
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
    s.append(text.substr(at, end - at));  // a run of multi-byte sequences
    if (end == text.size()) break;
    const std::string one = Quote(text.substr(end, 1));
    s.append(one, 1, one.size() - 2);  // an ASCII byte, escaped as Str does
    at = end + 1;
  }
  s += '"';
  body_ += s;
  return *this;
}

JsonLine& JsonLine::Int(std::string_view key, int64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::UInt(std::string_view key, uint64_t value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::Raw(std::string_view key, std::string_view json) {
  Key(key);
  body_ += json;
  return *this;
}

std::string JsonLine::Text() const { return "{" + body_ + "}"; }

}  // namespace velmaris::batch

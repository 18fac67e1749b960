#include "mailer/FileRequest.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <climits>

#include "core/MailBox.h"
#include "core/NetLink.h"
#include "core/TextHelpers.h"
#include "platform/CaseFold.h"
#include "platform/Files.h"
#include "platform/TextFinder.h"

namespace velmaris {

namespace {

std::string Trimmed(std::string_view text) {
  size_t a = 0, b = text.size();
  while (a < b && static_cast<unsigned char>(text[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(text[b - 1]) <= 32) --b;
  return std::string(text.substr(a, b - a));
}

}  // namespace

// --- File list -----------------------------------------------------------------

void TFileList::Clear() {
  name_.clear();
  text_.clear();
  blockBase_.clear();
  offsets_.clear();
}

void TFileList::Load(const std::string& path, const std::function<void()>& indexing) {
  Clear();
  if (path.empty()) return;
  const std::string quoted = "File \"" + path + "\"";
  platform::Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in.ok() || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw EFileList(quoted + " could not beaopened !");
  const auto tooLarge = [&] {
    return EFileList(quoted + " is too large for a file list. At most " +
                     std::to_string(kMaxFileListSize) + " bytes can be loaded !");
  };
  if (static_cast<uint64_t>(st.st_size) > kMaxFileListSize) throw tooLarge();
  // One byte more than the cap tells a file that grew meanwhile.
  std::string text(static_cast<size_t>(st.st_size) + 1, '\0');
  size_t done = 0;
  while (done < text.size()) {
    const size_t chunk = std::min(kFileListReadSize, text.size() - done);
    errno = 0;
    const size_t n = platform::ReadFull(in.get(), text.data() + done, chunk);
    done += n;
    if (n == chunk) continue;
    if (errno != 0)
      throw EFileList(quoted + " could not beread completely. The file is probably damaged !");
    break;
  }
  if (done > kMaxFileListSize) throw tooLarge();
  text.resize(done);
  if (indexing) indexing();
  LoadText(std::move(text), path);
}

void TFileList::LoadText(std::string text, const std::string& name) {
  Clear();
  name_ = name;
  text_ = std::move(text);
  Index();
}

void TFileList::Index() {
  // Counted first, so the index takes exactly what it needs.
  size_t lines = 0;
  for (size_t i = 0; i < text_.size(); ++i) {
    const char c = text_[i];
    if (c != '\n' && c != '\r') continue;
    ++lines;
    if (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
  }
  offsets_.reserve(lines);
  blockBase_.reserve(lines / kLinesPerBlock + 1);
  uint64_t start = 0;
  for (size_t i = 0; i < text_.size(); ++i) {
    const char c = text_[i];
    if (c != '\n' && c != '\r') continue;
    if (offsets_.size() % kLinesPerBlock == 0) blockBase_.push_back(start);
    const uint64_t offset = start - blockBase_.back();
    assert(offset <= UINT32_MAX);  // a block spans at most kMaxFileListSize bytes
    offsets_.push_back(static_cast<uint32_t>(offset));
    // Every line ends in a NUL, so a line is read up to it.
    text_[i] = '\0';
    if (c == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') text_[++i] = '\0';
    start = i + 1;
  }
}

std::string_view TFileList::Raw(int index) const {
  if (index < 0 || index >= Count()) {
    throw EFileListLineIndexOutOfRange("Filelist Line Index " + std::to_string(index) +
                                       " is out of Range. List contains only " +
                                       std::to_string(Count()) + " items!");
  }
  const auto i = static_cast<size_t>(index);
  const uint64_t start = blockBase_[i / kLinesPerBlock] + offsets_[i];
  const std::string_view rest = std::string_view(text_).substr(static_cast<size_t>(start));
  return rest.substr(0, rest.find('\0'));
}

std::string TFileList::Line(int index, int tabSize) const {
  std::string out;
  for (char c : Raw(index)) {
    if (out.size() >= kMaxShownLine) break;
    if (c == '\t')
      out.append(static_cast<size_t>(std::clamp(tabSize, 0, 16)), ' ');
    else if (static_cast<unsigned char>(c) >= 32)
      out += c;
  }
  if (out.size() > kMaxShownLine) out.resize(kMaxShownLine);
  return out;
}

int TFileList::Find(const std::string& text, int from, bool matchCase, platform::CodePage listPage,
                    const std::function<bool()>& step) const {
  const std::optional<std::string> needle =
      platform::RecodeExact(text, platform::AnsiCodePage(), listPage);
  return needle ? FindInPage(*needle, from, matchCase, listPage, step) : -1;
}

int TFileList::FindInPage(const std::string& needle, int from, bool matchCase,
                          platform::CodePage listPage, const std::function<bool()>& step) const {
  if (needle.empty()) return -1;
  const platform::TextFinder finder(needle, matchCase, listPage);
  int sinceStep = 0;
  for (int i = std::max(from + 1, 0); i < Count(); ++i) {
    if (step && ++sinceStep > kFindStep) {
      if (!step()) return -1;
      sinceStep = 1;
    }
    if (finder.In(Raw(i))) return i;
  }
  return -1;
}

// --- Areas ---------------------------------------------------------------------

std::vector<TFileArea> ScanFileAreas(const TFileList& list, const TMailBox& box) {
  std::vector<TFileArea> areas;
  if (box.AreaIndicator.empty()) return areas;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Raw(i).find(box.AreaIndicator) == std::string_view::npos) continue;
    const int at = i + box.AreaLine;
    if (at < 0 || at >= list.Count()) continue;
    std::string_view text = list.Raw(at);
    const size_t skip = static_cast<size_t>(std::max(box.AreaColumn - 1, 0));
    text = skip < text.size() ? text.substr(skip) : std::string_view();
    if (box.AreaSize >= 0 && text.size() > static_cast<size_t>(box.AreaSize))
      text = text.substr(0, static_cast<size_t>(box.AreaSize));
    areas.push_back({Trimmed(text), i});
  }
  return areas;
}

int AreaOfLine(const std::vector<TFileArea>& areas, int line) {
  const auto it = std::upper_bound(areas.begin(), areas.end(), line,
                                   [](int l, const TFileArea& a) { return l < a.Line; });
  return static_cast<int>(it - areas.begin()) - 1;
}

// --- Request files ---------------------------------------------------------------

std::string RequestFileLine(const std::string& line) {
  // Tabs, control characters and blanks all separate words.
  std::string rest = line;
  for (char& c : rest)
    if (static_cast<unsigned char>(c) < 33 || c == 127) c = ' ';
  std::string name, password;
  CutFirstWordOrQuoted(rest, name);
  if (name.empty()) return {};
  CutFirstWordOrQuoted(rest, password);
  const bool hasPassword = password.starts_with("!");
  // "." and ".." name folders; full stops inside a name ("v1..2.zip") are
  // letters of it.
  if (name.find(' ') != std::string::npos || name.find_first_of("/\\:") != std::string::npos ||
      name == "." || name == ".." ||
      (hasPassword && password.find(' ') != std::string::npos)) {
    throw EFileList("The name \"" + name + "\" cannot be requested !");
  }
  return hasPassword ? name + " " + password : name;
}

std::string RequestFilePath(const std::string& outbound, int32_t defaultZone,
                            const TFidoAddr& address, const std::string& extension) {
  const std::string dir = ZoneOutbound(platform::WithSlash(outbound), defaultZone, address.Zone);
  return dir + FlowBaseName(address) + extension;
}

void WriteRequestFiles(const std::vector<std::string>& lines, const std::string& outbound,
                       int32_t defaultZone, const TFidoAddr& address) {
  if (lines.empty()) return;
  std::string text;
  for (const std::string& line : lines) {
    const std::string written = RequestFileLine(line);
    if (!written.empty()) text += written + "\r\n";
  }
  try {
    const std::string req = RequestFilePath(outbound, defaultZone, address, ".req");
    platform::MakeDirs(platform::DirOf(req));
    platform::WriteFileAtomic(req, text);
    platform::WriteFileAtomic(RequestFilePath(outbound, defaultZone, address, ".rvp"), text);
  } catch (const std::exception&) {
    throw EFileList("Could not save request!");
  }
}

std::vector<std::string> ReadRequestFile(const std::string& path) {
  std::vector<std::string> lines;
  if (!platform::FileExists(path)) return lines;
  TFileList list;
  list.Load(path);
  for (int i = 0; i < list.Count(); ++i) lines.emplace_back(list.Raw(i));
  return lines;
}

TRecoverResult RecoverRequest(const std::string& outbound, int32_t defaultZone,
                              const TFidoAddr& address, const std::function<bool()>& keepSaved) {
  const std::string rvp = RequestFilePath(outbound, defaultZone, address, ".rvp");
  const std::string req = RequestFilePath(outbound, defaultZone, address, ".req");
  if (!platform::FileExists(rvp)) return TRecoverResult::NoOldRequest;
  if (platform::FileExists(req) && !(keepSaved && keepSaved())) return TRecoverResult::Kept;
  try {
    platform::ReplaceFile(rvp, req);
  } catch (const std::exception&) {
    return TRecoverResult::Failed;
  }
  return TRecoverResult::Recovered;
}

// --- Calibration -------------------------------------------------------------------

bool SelectionRange(const std::vector<std::string>& lines, int start, int length, TTextRange& range,
                    std::string& error) {
  if (length <= 0) {
    error = "Kein Text markiert!";
    return false;
  }
  int lineStart = 0;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
    const int lineEnd = lineStart + static_cast<int>(lines[i].size());
    if (start >= lineStart && start <= lineEnd) {
      if (start + length > lineEnd) {
        error = "Der markierte Bereich muß innerhalb einer Zeile liegen!";
        return false;
      }
      range.Line = i;
      range.First = start + 1 - lineStart;
      range.Last = start + length - lineStart;
      return true;
    }
    lineStart = lineEnd + 1;
  }
  error = "Kein Text markiert!";
  return false;
}

void ApplyCalibration(TMailBox& box, const TTextRange& name, const TTextRange& indicator,
                      const std::string& indicatorText) {
  box.AreaIndicator = indicatorText;
  box.AreaLine = name.Line - indicator.Line;
  box.AreaColumn = name.First;
  box.AreaSize = name.Last - name.First + 1;
}

void ApplyCalibrationToAll(TMBList& boxes, const TMailBox& source) {
  for (int i = 0; i < boxes.GetCount(); ++i) {
    TMailBox* box = boxes.GetItem(i);
    if (!box || box == &source || box->Name != source.Name ||
        !SameFidoAddress(box->Address.Address(), source.Address.Address()))
      continue;
    box->AreaIndicator = source.AreaIndicator;
    box->AreaLine = source.AreaLine;
    box->AreaColumn = source.AreaColumn;
    box->AreaSize = source.AreaSize;
  }
}

std::vector<TMailBox*> PollCandidates(const TLinkList& links, const TMBList& boxes) {
  std::vector<TMailBox*> out;
  for (int i = 0; i < links.GetCount(); ++i) {
    const TNetLink* link = links.GetItem(i);
    if (!link || link->Mailbox < 0 || link->Mailbox >= boxes.GetCount()) continue;
    TMailBox* box = boxes.GetItem(link->Mailbox);
    const bool listed = std::any_of(out.begin(), out.end(),
                                    [box](const TMailBox* b) { return b->Name == box->Name; });
    if (box && !listed) out.push_back(box);
  }
  return out;
}

}  // namespace velmaris

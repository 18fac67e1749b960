#include "core/TextGroups.h"

#include <algorithm>

#include "core/WinRegistry.h"

namespace velmaris {

namespace {

// A stored count above this is read as this many groups or lines.
constexpr int32_t kMaxStoredGroups = 1000;
constexpr int32_t kMaxStoredLines = 4096;

constexpr const char* kPartNames[kTextPartCount] = {
    "CommentFooter", "CommentHeader", "ForwardFooter", "ForwardHeader", "NewHeader",
    "NewFooter",     "Origins",       "ReplyHeader",   "ReplyFooter",
};

// The order in which the parts are written.
constexpr TTextPart kSaveOrder[kTextPartCount] = {
    TTextPart::ReplyHeader,   TTextPart::ReplyFooter,   TTextPart::CommentHeader,
    TTextPart::CommentFooter, TTextPart::NewHeader,     TTextPart::NewFooter,
    TTextPart::ForwardHeader, TTextPart::ForwardFooter, TTextPart::Origins,
};

// The order in which they are read.
constexpr TTextPart kLoadOrder[kTextPartCount] = {
    TTextPart::ForwardFooter, TTextPart::ForwardHeader, TTextPart::CommentFooter,
    TTextPart::CommentHeader, TTextPart::NewFooter,     TTextPart::NewHeader,
    TTextPart::ReplyFooter,   TTextPart::ReplyHeader,   TTextPart::Origins,
};

std::string PartKey(const std::string& section, TTextPart part) {
  return section + "\\" + TextPartName(part);
}

std::string GroupKey(const char* listKey, int n) {
  return std::string(listKey) + "\\Textgroup" + std::to_string(n);
}

}  // namespace

const char* TextPartName(TTextPart part) { return kPartNames[static_cast<int>(part)]; }

std::vector<std::string>& TTextGroup::Part(TTextPart part) {
  switch (part) {
    case TTextPart::CommentFooter: return CommentFooter;
    case TTextPart::CommentHeader: return CommentHeader;
    case TTextPart::ForwardFooter: return ForwardFooter;
    case TTextPart::ForwardHeader: return ForwardHeader;
    case TTextPart::NewHeader: return NewHeader;
    case TTextPart::NewFooter: return NewFooter;
    case TTextPart::Origins: return Origins;
    case TTextPart::ReplyHeader: return ReplyHeader;
    case TTextPart::ReplyFooter: return ReplyFooter;
  }
  return Origins;  // not reached
}

const std::vector<std::string>& TTextGroup::Part(TTextPart part) const {
  return const_cast<TTextGroup*>(this)->Part(part);
}

void TTextGroup::LoadFromRegistry(const TWinRegistry& registry, const std::string& section) {
  TTextGroup loaded;
  for (TTextPart part : kLoadOrder) {
    const std::string key = PartKey(section, part);
    const int32_t count = std::clamp(registry.ReadInteger(key, "Count", 0), 0, kMaxStoredLines);
    auto& lines = loaded.Part(part);
    lines.reserve(static_cast<size_t>(count));
    for (int32_t i = 1; i <= count; ++i) {
      lines.push_back(registry.ReadString(key, "Line" + std::to_string(i), kMissingLine));
    }
  }
  for (int p = 0; p < kTextPartCount; ++p) {
    Part(static_cast<TTextPart>(p)) = std::move(loaded.Part(static_cast<TTextPart>(p)));
  }
}

void TTextGroup::SaveToRegistry(TWinRegistry& registry, const std::string& section) const {
  for (TTextPart part : kSaveOrder) {
    const std::string key = PartKey(section, part);
    const auto& lines = Part(part);
    registry.WriteInteger(key, "Count", static_cast<int32_t>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
      registry.WriteString(key, "Line" + std::to_string(i + 1), lines[i]);
    }
    registry.DeleteEntriesBeyond(key, "Line", static_cast<int32_t>(lines.size()));
  }
}

void FillDefaultTextGroup(TTextGroup& group, const std::vector<std::string>& sysopNames) {
  std::string separator = ">";
  for (int i = 0; i < 37; ++i) separator += "-=";
  separator += "-<";

  // The footers end in the signature when the user has a name.
  auto footer = [&](std::vector<std::string> lines) {
    lines.push_back("Bye ..");
    if (!sysopNames.empty()) lines.push_back(std::string(15, ' ') + sysopNames.front());
    return lines;
  };

  group.Origins = {"Original Velmaris Origin!"};
  group.ForwardHeader = {separator,
                         "> The message has been _forwarded_! The original message was:",
                         separator,
                         "> Area: *%ar*",
                         ">  From: *%on(%oa)*",
                         ">   To: *%dn*",
                         "> Subj: *%su*",
                         "> Time: *%dt* *%ti*",
                         separator,
                         ""};
  group.ForwardFooter = footer(
      {separator, ">                    End of forwarded message                                <",
       separator, ""});
  group.NewHeader = {"Hi %newdestfirst,", ""};
  group.NewFooter = footer({""});
  group.CommentHeader = {
      "//Hi %df,//",      "", "on *%dt* *%ti* *%on* wrote", "in the area *%ar* a message to you",
      "about *\"%su\"*.", ""};
  group.CommentFooter = footer({""});
  group.ReplyHeader = {
      "//Hi %of, //",     "", "on *%dt* *%ti* you wrote in the area *%ar*", "a message to *%dn*",
      "about *\"%su\"*.", ""};
  group.ReplyFooter = footer({""});
}

// --- TTGList ----------------------------------------------------------------------

TTextGroup* TTGList::Add(const std::string& name, std::unique_ptr<TTextGroup> group) {
  TTextGroup* raw = group.get();
  owned_.push_back(std::move(group));
  AddObject(name, raw);
  return raw;
}

// --- TZRTexts ---------------------------------------------------------------------

void TZRTexts::Remap(const std::function<int32_t(int32_t)>& remap) {
  if (users_) users_->RemapTextGroups(remap);
}

void TZRTexts::Delete(int index) {
  TPubLst::Delete(index);  // raises for an index out of range, before any fix-up
  Remap([index](int32_t group) { return group >= index ? group - 1 : group; });
}

void TZRTexts::MoveUp(int index) {
  if (index <= 0 || index >= GetCount()) return;
  TPubLst::MoveUp(index);
  Remap([index](int32_t group) {
    if (group == index) return index - 1;
    return group == index - 1 ? index : group;
  });
}

void TZRTexts::MoveDown(int index) {
  if (index < 0 || index >= GetCount() - 1) return;
  TPubLst::MoveDown(index);
  Remap([index](int32_t group) {
    if (group == index) return index + 1;
    return group == index + 1 ? index : group;
  });
}

void TZRTexts::LoadFromRegistry(const TWinRegistry& registry) {
  // Read everything first, so that a faulty value leaves the list as it was.
  std::vector<std::pair<std::string, std::unique_ptr<TTextGroup>>> loaded;
  const int32_t count =
      std::clamp(registry.ReadInteger("Textgroups", "Count", 0), 0, kMaxStoredGroups);
  for (int32_t n = 1; n <= count; ++n) {
    const std::string key = GroupKey("Textgroups", n);
    auto group = std::make_unique<TTextGroup>();
    group->LoadFromRegistry(registry, key);
    loaded.emplace_back(registry.ReadString(key, "Name", "Untitled"), std::move(group));
  }
  BeginUpdate();
  Clear();
  for (auto& [name, group] : loaded) Add(name, std::move(group));
  EndUpdate();
  DiscardPendingChange();
}

void TZRTexts::SaveToRegistry(TWinRegistry& registry) const {
  for (int i = 0; i < GetCount(); ++i) {
    const std::string key = GroupKey("TextGroups", i + 1);
    registry.WriteString(key, "Name", GetString(i));
    if (const TTextGroup* group = GetItem(i)) group->SaveToRegistry(registry, key);
  }
  registry.WriteInteger("Textgroups", "Count", GetCount());
  registry.DeleteEntriesBeyond("Textgroups", "Textgroup", GetCount());
}

}  // namespace velmaris

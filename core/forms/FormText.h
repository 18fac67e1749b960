// Texts at the edge of the windows: byte strings in the ANSI code page to
// and from what the controls show.
#pragma once

#include <QString>
#include <string>

#include "platform/CodePage.h"

namespace velmaris {

// Texts that stay in the OEM code page (nodelists, archive entries).
inline QString OemText(const std::string& bytes) {
  return QString::fromStdString(platform::ToUtf8(bytes, platform::OemCodePage()));
}

inline std::string OemBytes(const QString& text) {
  return platform::FromUtf8(text.toStdString(), platform::OemCodePage());
}

inline QString AnsiText(const std::string& bytes) {
  return QString::fromStdString(platform::ToUtf8(bytes, platform::AnsiCodePage()));
}

inline std::string AnsiBytes(const QString& text) {
  return platform::FromUtf8(text.toStdString(), platform::AnsiCodePage());
}

}  // namespace velmaris

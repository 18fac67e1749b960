// Texts at the edge of the windows: byte strings in the ANSI code page (or,
// for what comes from nodelists and packets, the OEM code page) to and from
// what the controls show.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QString>
#include <string>

#include "core/Settings.h"
#include "platform/CodePage.h"
#include "platform/WireName.h"

namespace velmaris {

inline QString AnsiText(const std::string& bytes) {
  // ASCII is the same in every code page (the common case of names and
  // subjects): no detour through UTF-8.
  bool ascii = true;
  for (char c : bytes) ascii &= static_cast<unsigned char>(c) < 0x80;
  if (ascii) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return QString::fromStdString(platform::ToUtf8(bytes, platform::AnsiCodePage()));
}

inline std::string AnsiBytes(const QString& text) {
  return platform::Utf8ToAnsi(text.toStdString());
}

// File and folder names (and command lines that name a program) go through
// the file-system encoding, never a code page: what the control shows is
// the name on disk.
inline QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

inline std::string PathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

// The font a font setting describes, on top of the fallback.
inline QFont FontOf(const TFontDesc& desc, const QFont& fallback) {
  QFont font = fallback;
  if (!desc.Name.empty()) font.setFamily(QString::fromStdString(desc.Name));
  if (desc.Size > 0) font.setPointSize(desc.Size);
  font.setBold(desc.Style & TFontDesc::Bold);
  font.setUnderline(desc.Style & TFontDesc::Underline);
  font.setItalic(desc.Style & TFontDesc::Italic);
  font.setStrikeOut(desc.Style & TFontDesc::StrikeOut);
  return font;
}

inline QString OemText(const std::string& bytes) {
  return QString::fromStdString(platform::ToUtf8(bytes, platform::OemCodePage()));
}

inline std::string OemBytes(const QString& text) {
  return platform::FromUtf8(text.toStdString(), platform::OemCodePage());
}

// A name or text as a FidoNet format carries it (a remote's file name, an
// EMSI field): UTF-8 when it is valid UTF-8, else the OEM page
// (platform/WireName.h).
inline QString WireText(const std::string& bytes) {
  return QString::fromStdString(platform::DiskName(bytes));
}

}  // namespace velmaris

// Texts at the edge of the windows: byte strings in the ANSI code page (or,
// for what comes from nodelists and packets, the OEM code page) to and from
// what the controls show.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QListWidget>
#include <QObject>
#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

#include "core/Area.h"
#include "core/AreaTag.h"
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

// An area's name as the letters it holds (TArea::NameText): a tag kept as
// raw UTF-8 shows its own letters, not the ANSI page's reading of its bytes.
inline QString AreaNameText(const TArea& area) { return QString::fromStdString(area.NameText()); }
// The same where only the name is at hand (an area list's row, a filter's
// area): the area of that name decides, a name no area has shows what its
// bytes tell (AreaTagText).
inline QString AreaNameText(const std::string& name) {
  return QString::fromStdString(AreaTagText(name));
}

inline std::string AnsiBytes(const QString& text) {
  return platform::Utf8ToAnsi(text.toStdString());
}

inline QByteArray StoredBytes(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A row of a list of areas: the name shown as its letters, its bytes kept
// with the row, so that what is read back names that very area.
inline QListWidgetItem* AddAreaNameItem(QListWidget* list, const std::string& name) {
  auto* item = new QListWidgetItem(AreaNameText(name), list);
  item->setData(Qt::UserRole, StoredBytes(name));
  return item;
}
inline std::string AreaNameOfItem(const QListWidgetItem& item) {
  const QVariant bytes = item.data(Qt::UserRole);
  return bytes.isValid() ? bytes.toByteArray().toStdString() : AnsiBytes(item.text());
}

// File and folder names (and command lines that name a program) are the
// file system's bytes. A field shows them as DiskNameText reads them: UTF-8
// as it is, a part that is not UTF-8 (an older version's CP1251 folder, which
// the configuration store keeps byte for byte) in the ANSI page, readable and
// never as replacement characters.
inline QString PathText(const std::string& path) {
  return QString::fromStdString(platform::DiskNameText(path));
}

// A name typed or picked, with no stored bytes behind it: UTF-8.
inline std::string PathBytes(const QString& text) {
  return platform::DiskNameFromText({}, text.toStdString());
}

// A field that shows a stored name keeps the bytes it was filled with, so
// that what the user did not change is written back byte for byte
// (platform::DiskNameFromText: the unchanged parts of an edited name keep
// their bytes too). Fill the field with FilledPathText and read it back with
// FieldPathBytes.
inline constexpr char kFilledPathProperty[] = "velmarisFilledPath";
inline constexpr char kFilledAsProperty[] = "velmarisFilledAs";

// shownAs: the stored value as the field shows it, where the field shows a
// tidied form of it (a file name without the quotes an older version put
// around it); unchanged, the field still gives back the stored value.
inline QString FilledPathText(QObject* field, const std::string& stored,
                              const std::string& shownAs) {
  field->setProperty(kFilledPathProperty, StoredBytes(stored));
  field->setProperty(kFilledAsProperty, StoredBytes(shownAs));
  return PathText(shownAs);
}

inline QString FilledPathText(QObject* field, const std::string& stored) {
  return FilledPathText(field, stored, stored);
}

inline std::string FieldPathBytes(const QObject* field, const QString& text) {
  const QByteArray stored = field->property(kFilledPathProperty).toByteArray();
  const QByteArray shownAs = field->property(kFilledAsProperty).toByteArray();
  const std::string_view as(shownAs.constData(), static_cast<size_t>(shownAs.size()));
  if (text == PathText(std::string(as))) return stored.toStdString();
  return platform::DiskNameFromText(as, text.toStdString());
}

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

// File names as a Russian point user meets them, each with its forms: the
// name on disk (UTF-8), in the ANSI page (CP1251: the store, the log and
// REPORT) and in the OEM page (CP866: packets, TIC files). The suites run
// every place that takes or gives a name over this one table.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmaris::test {

struct TNameRow {
  const char* what;
  std::string disk;                 // the name on disk, UTF-8
  std::optional<std::string> ansi;  // CP1251 bytes; nothing when the page lacks a letter
  std::optional<std::string> oem;   // CP866 bytes; nothing when the page lacks a letter
  bool blankOrQuote = false;        // a TIC line or a begin line cannot carry it as a word
};

inline std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

inline const std::vector<TNameRow>& NameTable() {
  static const std::vector<TNameRow> rows = {
      {"Latin", "REPORT.ZIP", "REPORT.ZIP", "REPORT.ZIP"},
      {"Cyrillic", "Отчёт.zip", "\xCE\xF2\xF7\xB8\xF2.zip", "\x8E\xE2\xE7\xF1\xE2.zip"},
      {"a blank", "Мой отчёт.zip", "\xCC\xEE\xE9 \xEE\xF2\xF7\xB8\xF2.zip",
       "\x8C\xAE\xA9 \xAE\xE2\xE7\xF1\xE2.zip", true},
      {"a quote", "Отчёт\"май\".zip", "\xCE\xF2\xF7\xB8\xF2\"\xEC\xE0\xE9\".zip",
       "\x8E\xE2\xE7\xF1\xE2\"\xAC\xA0\xA9\".zip", true},
      {"a letter the OEM page lacks", "Счёт€.zip", "\xD1\xF7\xB8\xF2\x88.zip", std::nullopt},
      {"a letter neither page holds", "Übung.zip", std::nullopt, std::nullopt},
      {"a long name", Repeat("Файл", 30) + ".zip", Repeat("\xD4\xE0\xE9\xEB", 30) + ".zip",
       Repeat("\x94\xA0\xA9\xAB", 30) + ".zip"},
  };
  return rows;
}

}  // namespace velmaris::test

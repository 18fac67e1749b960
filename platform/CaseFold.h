// Letter case in one code page. A byte folds to the lower-case letter of
// the same code page when it is a capital letter whose small letter the code
// page also holds (A-Z everywhere; А-Я with Ё, Є, Ї and Ў in CP866, and
// besides these the Ukrainian, Belarusian, Serbian and Macedonian letters
// in CP1251; the accented Latin letters of CP437 and CP1252; Σ and Φ in
// CP437).
// Every other byte folds to itself. The tables are made once from the
// code-page tables, so a byte and its fold always stand for a letter and its
// small form.
//
// These are for text in a message code page (names, subjects, bodies) and
// for area names and echo tags (the ANSI page in the store, the OEM page in
// a packet), so that a tag in small Cyrillic letters names the same area as
// in capitals; keywords and file names keep the ASCII comparisons of Ascii.h.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace velmaris::platform {

using CaseFold = std::array<unsigned char, 256>;

// The fold of every byte in the code page.
const CaseFold& CaseFoldOf(CodePage cp);

// Comparisons with letters folded by the code page's table.
bool EqualNoCase(std::string_view a, std::string_view b, CodePage cp);
// True when needle occurs in haystack; an empty needle never does.
bool ContainsNoCase(std::string_view haystack, std::string_view needle, CodePage cp);
// Alphabet order of the folded texts (so a text sorts beside its other
// cases): the order of the bytes, except that a Cyrillic letter the code page
// keeps outside the run а..я sorts right after the letter its alphabet puts
// it behind (ё and є after е, ґ after г, і and ї after и, ў after у, and the
// Serbian and Macedonian letters likewise), not before а. Texts that differ
// in such a letter stay apart: ё never equals е.
bool LessNoCase(std::string_view a, std::string_view b, CodePage cp);
// The same order without folding: capitals keep their place before the small
// letters (Ё between Е and Ж, ё between е and ж).
bool LessByAlphabet(std::string_view a, std::string_view b, CodePage cp);
// Whether the byte is a letter of the code page: one with a capital or a
// small form there (A-Z and a-z everywhere, Cyrillic letters in CP866 and
// CP1251, the accented Latin letters of CP437 and CP1252).
bool IsLetter(unsigned char byte, CodePage cp);
// Folds every byte of text (eight ASCII bytes at a time where it can).
void FoldInPlace(std::string& text, CodePage cp);
// Raises every small letter of text to its capital, the reverse of the fold
// (a small letter whose capital the code page lacks stays as it is).
void UpperInPlace(std::string& text, CodePage cp);
// A copy of text with every small letter raised (UpperInPlace).
std::string UpperText(std::string_view text, CodePage cp);

// The key an area name or an echo tag (the ANSI page, or a tag's raw bytes,
// IsRawTag) is found by: a raw tag in UTF-8 with its ASCII letters and the
// letters the OEM page folds raised in UTF-8 (UTF-8 "RU.ёжик" and
// "RU.ЁЖИК" are one area, as the same CP866 tags are); any other name with
// the ANSI page's letters raised, Cyrillic as Latin. The key of a raw tag
// never equals that of a converted name, so UTF-8 "RU.ТЕСТ" is never taken
// for the CP1251 bytes that spell something else ("RU.СЕСС" in UTF-8 read as
// CP1251 and raised). Names and tags are compared this way and no other,
// wherever one is looked for.
// A name whose rawness is known (an area keeps it, TArea::RawTag; a tag
// that arrives is judged once where it arrives) is keyed by that; the forms
// without it judge the bytes by platform::IsRawTag, for a name from outside
// whose judgement nobody kept.
std::string TagKey(std::string_view name, bool raw);
std::string TagKey(std::string_view name);
// Whether two area names or tags name the same area (equal TagKey).
bool SameTag(std::string_view a, std::string_view b);
// The name with the letters its TagKey raises raised (a tag kept
// upper-cased, such as a filter's area).
std::string UpperTag(std::string_view name, bool raw);
std::string UpperTag(std::string_view name);

// The bytes recoded from one code page to another; nothing when a character
// has no place in the target code page.
std::optional<std::string> RecodeExact(std::string_view bytes, CodePage from, CodePage to);

}  // namespace velmaris::platform

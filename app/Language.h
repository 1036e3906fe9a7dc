// The program's two language decisions: the skin offset of the About box picture, taken from
// the user's regional locale, and the string table of the interface texts, taken from the
// user's interface language. Both come from the POSIX locale variables, turned into Windows
// language ids by one table, because the string tables and the bitmap blocks are numbered by
// those ids.
//
// Regional locale: LC_ALL, then LC_TIME, LC_NUMERIC, LC_MONETARY (the "formats" categories a
// desktop sets for the region), then LANG. Interface language: the first entry of LANGUAGE
// that names a known language, then LC_ALL, LC_MESSAGES, LANG. An empty variable counts as
// unset. "C" and "POSIX" are US English.
//
// Neutral ids: "zh" and "zh_Hans" give 0x0004 (Chinese, Simplified), "zh_Hant" gives 0x7C04
// (Chinese, Traditional). A known language with a territory outside the table gives the id of
// its main locale.
//
// Thread-safety: reads the environment; call from the UI thread (which alone changes it).
#pragma once

#include <QByteArray>
#include <QString>

// The Windows language id of a POSIX locale name such as "de_AT.UTF-8@euro"; 0 when the
// language is not known.
int LanguageIdFromLocaleName(const QByteArray& localeName);

// The user's regional and interface language ids (0 when nothing names a known language).
int RegionalLanguageId();
int InterfaceLanguageId();

// The skin offset of an exact language id: one of the twenty block offsets, else 0.
int LanguageOffsetFromId(int languageId);
// The same from the locale's hexadecimal text ("0c07"): leading blanks are skipped, parsing
// stops at the first character that is not a hex digit, and no digits give 0.
int LanguageOffsetFromText(const char* text);
// The offset for the user's regional locale, read anew on every call.
int GetLanguageOffset();

// The text of stringId from the table of languageId, else of its primary language
// (languageId & 0x3FF), else of US English (1033); empty when none has it.
QString LoadStringFor(int languageId, int stringId);
// The same for the user's interface language.
QString LoadAppString(int stringId);
// A named text (NamedText.h) for the user's interface language, in the same order.
QString LoadAppText(const char* name);

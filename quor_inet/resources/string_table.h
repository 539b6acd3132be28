#pragma once

#include <cstdint>

// A portable copy of the library's string table, for builds without Windows resources. The
// texts are the bytes a Windows lookup gives in the ANSI code page (cp1252), so both builds
// show the same text.

inline constexpr uint16_t kLangGerman = 0x0407;
inline constexpr uint16_t kLangEnglish = 0x0409;
inline constexpr uint16_t kLangFrench = 0x040C;
inline constexpr uint16_t kLangItalian = 0x0410;
inline constexpr uint16_t kLangSpanishMexico = 0x080A;

inline constexpr uint16_t kTableLanguages[] = {kLangGerman, kLangEnglish, kLangFrench, kLangItalian,
                                               kLangSpanishMexico};
inline constexpr unsigned kFirstStringId = 1;
inline constexpr unsigned kLastStringId = 4;

// The text of id in language; null for an id the table lacks or a language it lacks.
const char* StringTableText(uint16_t languageId, unsigned id) noexcept;

// The language of the user's messages from a POSIX locale name ("de_DE.UTF-8", "fr", "C"):
// one of the five by its language part, English for anything else.
uint16_t TableLanguageForLocale(const char* localeName) noexcept;

// The locale that decides the messages' language: LC_ALL, else LC_MESSAGES, else LANG.
uint16_t NativeUiLanguage() noexcept;

// Adds the table, in NativeUiLanguage() at each lookup, to the resource chain's string
// providers. Adding it twice keeps one.
void RegisterNativeStringTable();

#pragma once
// What the command-line tool needs of the terminal it runs in: whether a stream is a terminal
// and how wide, redrawing a line in place, Ctrl-C, texts in the terminal's character set, the
// language, and answers to questions.

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/display.h"

namespace cli {

bool IsTerminal(std::FILE* stream);

// The terminal's width in columns; 0 when stream is no terminal or it cannot be told.
int TerminalColumns(std::FILE* stream);

// Makes stream redraw a line in place with escape sequences where its terminal takes them
// (the Windows console only with virtual-terminal processing). False: only a carriage return
// works, and a shorter line must be padded over the longer one before it.
bool EnableEscapes(std::FILE* stream);

// From now on Ctrl-C calls onInterrupt (on whatever thread the platform picks; it must only set
// flags) instead of ending the program.
void CatchInterrupt(void (*onInterrupt)());

// What the terminal takes.
TextCoding OutputCoding();

// A text of the library (its messages, titles, artists: the Windows ANSI set) in the
// terminal's character set, its control characters made visible.
std::string ForTerminal(std::string_view text, bool keepLineBreaks = false);

// Bytes to pass on as they are (addresses), their control characters made visible.
std::string BytesForTerminal(std::string_view bytes);

// Standard output takes bytes as they are (no line-end translation on Windows).
void UseBinaryOutput();

// Reads one answer line from the terminal; false when there is no terminal or input ended.
bool ReadAnswer(std::string& answerOut);

// Makes the library's texts come in language ("de", "en", "fr", "it" or "es") on the calling
// thread (natively on every thread); an empty language applies the one chosen before to the
// calling thread. False for another language.
bool UseLanguage(const std::string& language);

// The language chosen with UseLanguage, else the environment's ("de", "en", ...; "en" for any
// other).
std::string ChosenLanguage();

}  // namespace cli

#pragma once
// What the command-line tool needs of the terminal it runs in: whether a stream is a terminal,
// Ctrl-C, text in the terminal's character set, and answers to questions.

#include <cstdio>
#include <string>

namespace cli {

bool IsTerminal(std::FILE* stream);

// From now on Ctrl-C calls onInterrupt (on whatever thread the platform picks; it must only set
// flags) instead of ending the program.
void CatchInterrupt(void (*onInterrupt)());

// The library's texts are in the Windows ANSI character set; natively the terminal takes UTF-8.
std::string ForTerminal(const char* text);

// Reads one answer line from the terminal; false when there is no terminal or input ended.
bool ReadAnswer(std::string& answerOut);

// Makes the library's texts come in language ("de", "en", "fr", "it" or "es") on the calling
// thread (natively on every thread); an empty language applies the one chosen before to the
// calling thread. False for another language.
bool UseLanguage(const std::string& language);

}  // namespace cli

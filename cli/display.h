#pragma once
// How quor-inet shows texts: what comes from a server made harmless for a terminal, lines
// fitted to its width, the download's progress in the chosen language, and the names it saves
// under. Pure functions over text.

#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// What the terminal takes: UTF-8, the Windows ANSI set (the console build), or another 8-bit
// set whose 0x80-0x9F are controls.
enum class TextCoding { kUtf8, kCp1252, kEightBit };

// The text with every control character (C0, DEL, C1 in the coding's own form, ESC among
// them) replaced by a visible mark, so that a title, an address or a message can neither move
// the cursor, recolour or retitle the terminal nor break a line. With keepLineBreaks, '\n'
// stays.
std::string CleanControls(std::string_view text, TextCoding coding, bool keepLineBreaks = false);

// Windows-1252 text (the library's own texts, titles and artists) as UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

// How many columns the text takes (UTF-8: one a character; else one a byte).
size_t DisplayWidth(std::string_view text, TextCoding coding);

// head + tail in at most width columns: the middle of tail gives way to an ellipsis first,
// then, should head alone be too wide, the end of the whole line.
std::string FitLine(std::string_view head, std::string_view tail, size_t width, TextCoding coding);

// A byte count as people read it: "512 B", "40.8 KB", "3.2 MB", "1.5 GB" (1024-based).
std::string SizeText(uint64_t bytes);

// The download's progress line in language ("de", "en", "fr", "it" or "es"; others English),
// in Windows-1252: the percentage, the speed, the time left and the sizes; with total unknown
// (negative) only the bytes so far and the speed. compact: without the longest label (the time
// left), for a narrow terminal.
std::string ProgressLine(std::string_view language, uint64_t done, int64_t total,
                         uint64_t elapsedMs, bool compact = false);

}  // namespace cli

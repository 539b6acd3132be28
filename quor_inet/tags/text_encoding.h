#pragma once
// ID3 texts in the host's 8-bit code page. The host shows titles and artists as ANSI text of
// Windows-1252, so Unicode texts are brought into it with a best fit: a listener would rather
// read "Dvorak" than "Dvo?ak". Pure functions over bytes; nothing here reads past the bytes
// it is given.

#include <cstdint>
#include <string>

// The Windows-1252 byte of a code point where that code page has the character; the base
// letter of a Latin letter with a diacritic it lacks; otherwise '?'.
char BestFitCp1252(uint32_t codePoint);

// Decodes `n` bytes of text in an ID3 text encoding (0 ISO-8859-1, 1 UTF-16 after a byte order
// mark of either order, little-endian without one; 2 UTF-16 big-endian; 3 UTF-8) into
// Windows-1252 and appends it to `out`. The text ends at its first zero character. Each
// malformed sequence gives one '?', as does each character outside the best fit (a surrogate
// pair is one character). False, with nothing appended, for any other encoding.
bool AppendId3TextAsCp1252(uint8_t encoding, const uint8_t* bytes, uint32_t n, std::string& out);

#pragma once

// What a program that drives quor_host.exe may rely on: the main window's caption, the
// commands of its File menu (the low word of WM_COMMAND's wParam) and the id of the read-only
// edit that shows the result text.

namespace quor_host {

inline constexpr char kMainWindowCaption[] = "Quor Audio Host";

inline constexpr int kCmdInternetSearch = 101;  // File > Internet search...
inline constexpr int kCmdDownload = 102;        // File > Download...
inline constexpr int kCmdExit = 103;            // File > Exit
inline constexpr int kCmdCurrentWeb = 104;      // File > Search the current web (checked or not)

// The chosen URLs, one a line, then after Download... an empty line and one line per URL:
// "<url> -> <path>: ok" or "<url> -> <path>: failed".
inline constexpr int kResultTextId = 200;

}  // namespace quor_host

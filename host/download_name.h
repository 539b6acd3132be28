#pragma once

// The file name a download gets in its folder. Portable: no Win32 here, only the rules of
// Windows file names.

#include <string>
#include <string_view>

namespace quor_host {

// The URL's last path segment (after the last '/' or '\', with query and fragment dropped),
// %XX sequences decoded, made a valid Windows file name: control characters and any of
// < > : " / \ | ? * become '_', trailing dots and blanks go, a device name (CON, NUL, COM1,
// ...) gets a leading '_', and the part before the extension is cut so that the whole name
// holds at most maxLength bytes. A URL without a usable segment gives "download". The result
// never holds a path separator and is never "." or "..", so it names a file inside the folder
// it is joined to. maxLength below 16 is taken as 16.
std::string DownloadFileName(std::string_view url, size_t maxLength);

// "name (n).ext" for n > 1, the name itself for n <= 1: the n-th choice when a file of that
// name is already there.
std::string NumberedFileName(std::string_view name, int n);

}  // namespace quor_host

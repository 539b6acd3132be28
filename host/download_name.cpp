#include "host/download_name.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace quor_host {

namespace {

constexpr char kFallbackName[] = "download";
constexpr size_t kMinLength = 16;
// An extension longer than this is taken as part of the name when the name must be cut.
constexpr size_t kMaxKeptExtension = 16;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string Decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsForbidden(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F ||
           std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// Windows drops trailing dots and blanks from a name, so "a." would be the file "a" and ".."
// the folder above.
void TrimEnd(std::string& name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
        name.pop_back();
    }
}

// Names that open a device instead of a file, with any extension.
bool IsDeviceName(const std::string& name) {
    static constexpr std::array<std::string_view, 24> kDevices = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",
        "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",   "LPT3",
        "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};
    std::string stem = name.substr(0, name.find('.'));
    TrimEnd(stem);
    for (char& c : stem) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end();
}

// Cuts the part before the extension so that the name fits.
void FitLength(std::string& name, size_t maxLength) {
    if (name.size() <= maxLength) {
        return;
    }
    const size_t dot = name.rfind('.');
    const size_t extension = dot == std::string::npos || dot == 0 ? 0 : name.size() - dot;
    if (extension == 0 || extension > kMaxKeptExtension || extension >= maxLength) {
        name.resize(maxLength);
    } else {
        name.erase(maxLength - extension, name.size() - maxLength);
    }
}

}  // namespace

std::string DownloadFileName(std::string_view url, size_t maxLength) {
    maxLength = std::max(maxLength, kMinLength);
    std::string_view path = url.substr(0, url.find_first_of("?#"));
    // The server's name is no file name: "http://host" has no segment.
    if (const size_t scheme = path.find("://"); scheme != std::string_view::npos) {
        const size_t start = path.find_first_of("/\\", scheme + 3);
        path = start == std::string_view::npos ? std::string_view() : path.substr(start);
    }
    const size_t slash = path.find_last_of("/\\");
    std::string name = Decoded(slash == std::string_view::npos ? path : path.substr(slash + 1));
    std::replace_if(name.begin(), name.end(), IsForbidden, '_');
    name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
    TrimEnd(name);
    if (name.empty()) {
        name = kFallbackName;
    }
    FitLength(name, maxLength);
    TrimEnd(name);
    if (name.empty()) {
        name = kFallbackName;
    }
    if (IsDeviceName(name)) {
        name.insert(0, "_");
        FitLength(name, maxLength);
        TrimEnd(name);
    }
    return name;
}

std::string NumberedFileName(std::string_view name, int n) {
    if (n <= 1) {
        return std::string(name);
    }
    const size_t dot = name.rfind('.');
    const size_t split = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
    return std::string(name.substr(0, split)) + " (" + std::to_string(n) + ")" +
           std::string(name.substr(split));
}

}  // namespace quor_host

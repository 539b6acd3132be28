#pragma once
// Which web a search or a download is made for. kClassic: the rules the library always had
// (plain http, no redirections followed, the markup and tags of their time); hosts and stored
// settings rely on them, so they stay the default. kCurrent: what today's sites need (https,
// redirections, browser-like markup and address resolution, ID3v2.4 and ID3v1, compressed
// pages, robots.txt).

#include <cstdint>

enum class WebRules : int32_t { kClassic = 0, kCurrent = 1 };

// The rules of a stored value: 0 classic, anything else current.
constexpr WebRules WebRulesOf(int32_t value) noexcept {
    return value == 0 ? WebRules::kClassic : WebRules::kCurrent;
}

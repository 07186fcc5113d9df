#pragma once
// Trimming typed and stored texts: control characters and spaces (codes 0 to 32) around a text
// never belong to it.
#include <string_view>

namespace norvik::filedeal {

/// The text without leading and trailing characters with codes 0 to 32.
[[nodiscard]] constexpr std::string_view TrimBlanks(std::string_view text) noexcept {
    const auto blank = [](char c) {
        return static_cast<unsigned char>(c) <= 0x20;
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace norvik::filedeal

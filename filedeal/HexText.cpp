#include "filedeal/HexText.h"

namespace norvik::filedeal {

namespace {

int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

std::string TextToHex(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.resize(text.size() * 2);
    std::size_t o = 0;
    for (unsigned char c : text) {
        hex[o++] = kDigits[c >> 4];
        hex[o++] = kDigits[c & 0x0F];
    }
    return hex;
}

bool IsValidHex(std::string_view hex) noexcept {
    for (char c : hex) {
        if (HexValue(c) < 0) {
            return false;
        }
    }
    return true;
}

std::string HexToText(std::string_view hex) {
    std::string text;
    text.reserve(hex.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return {};
        }
        text.push_back(static_cast<char>(high * 16 + low));
    }
    if (i < hex.size()) {
        // An odd last digit is a group of its own.
        const int value = HexValue(hex[i]);
        if (value < 0) {
            return {};
        }
        text.push_back(static_cast<char>(value));
    }
    return text;
}

} // namespace norvik::filedeal

// The hex form of rule files and the settings file: decoding arbitrary text never crashes, valid
// hex round-trips to its upper-case form, and any bytes round-trip through their hex form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "filedeal/HexText.h"

namespace {

int DigitValue(char c) {
    const std::string_view digits = "0123456789ABCDEF";
    const std::string_view lower = "0123456789abcdef";
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (c == digits[k] || c == lower[k]) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Pairs from the start, a lone last digit is a byte of its own; any bad digit empties the result.
std::string ReferenceHexToText(std::string_view hex) {
    std::string text;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (std::size_t k = i; k < i + 2 && k < hex.size(); ++k) {
            const int digit = DigitValue(hex[k]);
            if (digit < 0) {
                return {};
            }
            value = value * 16 + digit;
        }
        text.push_back(static_cast<char>(value));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input read as hex.
    bool valid = true;
    for (char c : input) {
        valid = valid && DigitValue(c) >= 0;
    }
    NORVIK_FUZZ_CHECK(IsValidHex(input) == valid);
    const std::string text = HexToText(input);
    NORVIK_FUZZ_CHECK(text == ReferenceHexToText(input));
    if (valid) {
        NORVIK_FUZZ_CHECK(text.size() == (input.size() + 1) / 2);
        // Upper-cased input; a lone last digit comes back with its high digit 0 written out.
        std::string expected;
        for (char c : input) {
            expected.push_back(Upper(c));
        }
        if (expected.size() % 2 == 1) {
            expected.insert(expected.size() - 1, 1, '0');
        }
        NORVIK_FUZZ_CHECK(TextToHex(text) == expected);
    } else {
        NORVIK_FUZZ_CHECK(text.empty());
    }

    // The input read as bytes.
    const std::string hex = TextToHex(input);
    NORVIK_FUZZ_CHECK(hex.size() == 2 * input.size());
    for (char c : hex) {
        NORVIK_FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    }
    NORVIK_FUZZ_CHECK(IsValidHex(hex));
    NORVIK_FUZZ_CHECK(HexToText(hex) == input);
    std::string lower = hex;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    NORVIK_FUZZ_CHECK(HexToText(lower) == input);
    return 0;
}

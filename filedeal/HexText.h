#pragma once
// The hex form in which rule files and the settings file store texts.
#include <string>
#include <string_view>

namespace norvik::filedeal {

/// Two upper-case hex digits per byte, high nibble first, no separator. Empty gives empty.
[[nodiscard]] std::string TextToHex(std::string_view text);

/// Decodes pairs of hex digits (either case); an odd last digit forms a byte of its own. Any pair
/// that is not hex makes the whole result empty.
[[nodiscard]] std::string HexToText(std::string_view hex);

/// True when HexToText would decode `hex` without failing (the empty text is valid).
[[nodiscard]] bool IsValidHex(std::string_view hex) noexcept;

} // namespace norvik::filedeal

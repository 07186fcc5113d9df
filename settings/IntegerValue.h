#pragma once
// How stored numbers and flags are read, and the texts of the two reading failures.
#include <optional>
#include <string>
#include <string_view>

namespace norvik::settings {

/// Reads a 32-bit signed integer: optional leading blanks (space, tab), an optional sign, then
/// decimal digits or hex digits introduced by "$", "x", "X", "0x" or "0X". Nothing may follow the
/// digits. The empty text, a prefix without digits, any other character and a value outside the
/// 32-bit signed range all give nullopt.
[[nodiscard]] std::optional<int> ReadInteger(std::string_view text) noexcept;

/// "'<text>' is not a valid integer value".
[[nodiscard]] std::string NotAnIntegerMessage(std::string_view text);

/// "List index out of bounds (<index>)".
[[nodiscard]] std::string ListIndexMessage(long long index);

} // namespace norvik::settings

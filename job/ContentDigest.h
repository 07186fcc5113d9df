#pragma once
// The SHA-256 digest of a byte string, written as 64 lowercase hex digits: the name under which the
// run history keeps a text, and the check that a file still holds what a run wrote.
#include <string>
#include <string_view>

namespace norvik::job {

/// SHA-256 of `bytes` (empty input included) in lowercase hex.
[[nodiscard]] std::string ContentDigest(std::string_view bytes);

/// True for 64 lowercase hex digits, the form ContentDigest gives.
[[nodiscard]] bool IsContentDigest(std::string_view text) noexcept;

} // namespace norvik::job

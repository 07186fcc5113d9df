#pragma once
// How to make a file's old bytes from its new ones: the form in which the run history keeps the old
// text of a file replaced in place. A run changes a few spans of a file and leaves the rest as it was,
// so the script is small, and making it costs a comparison instead of compressing the whole text.
// A restore applies it to the file as the run left it (checked by digest first).
//
// The script is a sequence of steps, each a tag byte and unsigned LEB128 numbers:
//   'C' offset length: copy `length` bytes of the new text from `offset`;
//   'A' length bytes:  add `length` bytes given here.
#include <optional>
#include <string>
#include <string_view>

namespace norvik::job {

/// The script that makes `before` from `after`. Any pair works; texts that differ in a few places give
/// a short one. Throws std::bad_alloc when memory runs out.
[[nodiscard]] std::string MakeByteDelta(std::string_view before, std::string_view after);

/// Applies a script to `after`; nullopt when the script is damaged (a step that cannot be read or
/// reaches outside `after`) or its result would not be `size` bytes long.
[[nodiscard]] std::optional<std::string> ApplyByteDelta(std::string_view script, std::string_view after,
                                                        std::size_t size);

} // namespace norvik::job

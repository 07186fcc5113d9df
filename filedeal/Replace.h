#pragma once
// The replace primitives every rule is made of.
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/CodePage.h"

namespace norvik::filedeal {

/// Replaces every occurrence of `find` in `text` by `replacement`, left to right, never searching
/// inserted text again and never matching the second byte of a double-byte character. With
/// `ignoreCase`, ASCII letters match in any case (double-byte characters are never folded); the
/// replacement is inserted as given. An empty `find` changes nothing. Zero bytes are ordinary bytes.
void ReplaceAll(std::string& text, std::string_view find, std::string_view replacement, bool ignoreCase);

/// ReplaceAll reading `text` and writing into `out`: true, with `out` holding the whole new text, when
/// at least one occurrence was replaced; false, with `out` untouched, when nothing was found.
[[nodiscard]] bool ReplaceAllTo(std::string_view text, std::string_view find, std::string_view replacement,
                                bool ignoreCase, std::string& out);

/// ReplaceAll matching case, in `text` itself, for a replacement no longer than `find` (else nothing
/// is done): no second copy of the text is made. Gives the number of occurrences replaced.
std::size_t ReplaceAllInPlace(std::string& text, std::string_view find, std::string_view replacement);

/// The in-place replace of a replacement no longer than what it replaces, from `start` on: `next(from)`
/// gives where the next occurrence (of `findSize` bytes) begins, npos when there is none, and `take(at)`
/// says whether the occurrence there counts. Gives the number replaced.
template <class Next, class Take>
std::size_t ReplaceShrinkingInPlace(std::string& text, std::size_t start, std::size_t findSize,
                                    std::string_view replacement, Next next, Take take) {
    char* const data = text.data();
    const std::size_t n = text.size();
    // The bytes from `read` on are the text as it was; those before `write` are the result so far.
    std::size_t write = start;
    std::size_t read = start;
    std::size_t from = start;
    std::size_t count = 0;
    for (;;) {
        const std::size_t at = next(from);
        if (at == std::string_view::npos) {
            break;
        }
        if (!take(at)) {
            from = at + 1;
            continue;
        }
        if (write != read) {
            std::memmove(data + write, data + read, at - read);
        }
        write += at - read;
        std::memcpy(data + write, replacement.data(), replacement.size());
        write += replacement.size();
        read = at + findSize;
        from = read;
        ++count;
    }
    if (count > 0) {
        std::memmove(data + write, data + read, n - read);
        text.resize(write + (n - read));
    }
    return count;
}

/// Where `find` first occurs in `text`, a search's way: at any byte, the second byte of a character
/// too, and case-sensitive; npos when nowhere (and for an empty `find`). In a text of the Unicode
/// set (`set`), an occurrence that begins inside a four-byte code does not count (a digit is never
/// found in an emoji); `find` is then taken to be whole characters, as a typed text is.
[[nodiscard]] std::size_t FindAnywhere(std::string_view text, std::string_view find, CharacterSet set);

/// Lists the spans of `text`: each runs from `start` to the first following `end`, both included.
/// Spans never nest or overlap. Plain byte comparison, but like a find text neither string ever
/// matches from the second byte of a double-byte character. An empty start or end gives no span.
void CollectSpans(std::string_view text, std::string_view start, std::string_view end, std::vector<std::string>& spans);

/// For each span in order: ReplaceAll(text, span, replacement, case-sensitive).
void ReplaceSpans(std::string& text, const std::vector<std::string>& spans, std::string_view replacement);

/// Span replacement of one rule: collects the spans of `start`..`end` in `text` and, for each in
/// order, does ReplaceAll(text, span, replacement, case-sensitive). `beforeSpan` (may be empty) runs
/// before each span, so a caller can answer its user during long work. Linear in the text for the
/// rules met in practice; a rule whose replacement could form new spans or whose spans hold their own
/// start string goes span by span.
void ReplaceSpanRule(std::string& text, std::string_view start, std::string_view end, std::string_view replacement,
                     const std::function<void()>& beforeSpan = {});

/// The linear way of ReplaceSpanRule alone: false, with `text` untouched and `beforeSpan` never
/// called, when the rule is not one that a single pass replaces exactly.
[[nodiscard]] bool ReplaceSpansInOnePass(std::string& text, std::string_view start, std::string_view end,
                                         std::string_view replacement, const std::function<void()>& beforeSpan);

/// Every span followed by CR LF; the empty text for no span.
[[nodiscard]] std::string ExtractSpans(const std::vector<std::string>& spans);

} // namespace norvik::filedeal

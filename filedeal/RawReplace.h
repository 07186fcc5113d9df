#pragma once
// Replacing in a Unicode file's own bytes, without decoding it, where that gives exactly the bytes
// that decoding, replacing in the working text and encoding again give.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/TextCodec.h"

namespace norvik::filedeal {

/// A list of case-sensitive plain rules (find, replacement: working texts), applied in order, each to
/// the previous rule's result, to the bytes of a UTF-8 or UTF-16LE file. This is exact because the
/// decoding of a file that survives its round trip is one character for one: a rule of whole
/// characters, each of which comes back from its Unicode form as the same bytes, matches the
/// encoded file where it matches the working text, character for character, left to right, and its
/// replacement encodes to the bytes the encoder would write. Anything that cannot be proved that
/// way is declined, and the caller takes the way through the working text.
class RawRuleReplacer {
public:
    struct Rule {
        std::string find;
        std::string replacement;
    };

    /// No rule: usable(), and every file is Unchanged.
    RawRuleReplacer() = default;
    /// `rules` in order; an empty find is left out (it finds nothing). Not usable when a text is not
    /// whole characters of the code page or does not come back from Unicode as the same bytes.
    explicit RawRuleReplacer(const std::vector<Rule>& rules);

    [[nodiscard]] bool usable() const noexcept { return m_usable; }

    enum class Outcome : std::uint8_t {
        Declined,  ///< not provably exact here (kind, odd length, a form that may not decode): decode
        Unchanged, ///< the rules leave the file as it is (nothing found, or put back as it was)
        Changed,   ///< `bytes` now hold the file's new bytes, which differ from the old ones
    };
    /// Applies the rules to the bytes of a whole file (its mark included) of `kind` as
    /// DetectEncodingOfBytes gave it. Only Utf8, Utf8Bom and Utf16Le are replaced; Ansi and Unopenable
    /// are Declined, and so is a UTF-8 body that does not decode or holds a form that is not the
    /// shortest, and a UTF-16 file of odd length. `bytes` change only when Changed; one rule whose
    /// replacement is no longer than its find is applied in place, without a second copy of the file.
    [[nodiscard]] Outcome apply(std::string& bytes, EncodingKind kind) const;

private:
    std::vector<Rule> m_utf8;  ///< the rules' texts in UTF-8
    std::vector<Rule> m_utf16; ///< and as UTF-16LE units
    bool m_usable = true;
};

/// True when `body` (UTF-8 without its mark) decodes into a working text that encodes back to the
/// same bytes: what DecodeUtf8ToWorkingText accepts with every form the shortest. The structure and
/// the bytes that may start a doubtful form are looked at in blocks (AVX2 or SSE2, chosen at run
/// time); only a body that holds such a byte is decoded to tell.
[[nodiscard]] bool Utf8RoundTrips(std::string_view body);

/// ReplaceAligned in `bytes` itself from `start` on (the offsets of `step` counted from there), for a
/// replacement no longer than the needle; gives the number of occurrences replaced.
std::size_t ReplaceAlignedInPlace(std::string& bytes, std::size_t start, std::string_view needle,
                                  std::string_view replacement, std::size_t step);

/// Replaces every occurrence of `needle` in `hay` that starts at a multiple of `step` (1 or 2), left
/// to right, never searching inserted bytes again: `out` becomes `prefix`, then the result. False,
/// with `out` untouched, when there is none. An empty needle finds nothing.
[[nodiscard]] bool ReplaceAligned(std::string_view prefix, std::string_view hay, std::string_view needle,
                                  std::string_view replacement, std::size_t step, std::string& out);

} // namespace norvik::filedeal

#pragma once
// Judging a file from its raw bytes: whether a text can occur in its working text, without decoding.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filedeal/TextCodec.h"

namespace norvik::filedeal {

/// What a file's bytes tell about its working text.
enum class RawVerdict : std::uint8_t {
    Unknown, ///< decode and look
    Lacks,   ///< none of the texts occurs in the working text
    Holds,   ///< the text occurs in the working text
};

/// Looks for texts in a file's bytes, each encoded in that file's encoding, so that most files can
/// be judged without decoding them. Only provable answers are given: a text is encoded per file kind
/// only when it converts exactly, and, for ANSI files, holds no CR or LF (their line breaks are
/// rewritten on reading). A UTF-8 file with a byte C0, C1 or E0 (which can start a form the decoder
/// reads but never writes), or one that may not decode at all (a byte F4 or above, or a marked file
/// that is not UTF-8 in structure), is not judged: decoding it tells its failure. Where a text is
/// looked for Anywhere, a place inside the four-byte code of a character beyond the code page does
/// not count (see FindAnywhere).
class RawTextFilter {
public:
    enum class Place : std::uint8_t {
        CharacterStart, ///< a text counts only where a character starts (as ReplaceAll finds it)
        Anywhere,       ///< a text counts at any byte, the second byte of a character too
    };

    /// `texts` are working texts; empty ones match nothing and are left out. `ignoreCase` matches
    /// ASCII letters in any case.
    RawTextFilter(const std::vector<std::string>& texts, Place place, bool ignoreCase);

    /// The verdict for the whole bytes of a file (marks included) of the kind DetectEncodingOfBytes
    /// gave them. Holds is given only for a single text looked for Anywhere without ignoring case.
    [[nodiscard]] RawVerdict judge(std::string_view bytes, EncodingKind kind) const;

private:
    struct Needles {
        bool usable = true;             ///< every text has its needles in this encoding
        std::vector<std::string> anyOf; ///< a text may occur only where one of these does
        std::string proof;              ///< found at a character start, it proves the text is there
        bool proves = false;
    };

    [[nodiscard]] bool find(std::string_view hay, std::string_view needle, std::size_t* at) const;

    std::array<Needles, 5> m_byKind; // indexed by EncodingKind
    bool m_ignoreCase;
    bool m_empty = true;
};

} // namespace norvik::filedeal

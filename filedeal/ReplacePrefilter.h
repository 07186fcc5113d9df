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
/// rewritten on reading). A UTF-8 file with a byte C0, C1 or E0, or F0 before 80-8F (which can start a form the decoder
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
    friend class RawJudgement;

    struct Needles {
        bool usable = true;             ///< every text has its needles in this encoding
        std::vector<std::string> anyOf; ///< a text may occur only where one of these does
        std::string proof;              ///< found at a character start, it proves the text is there
        bool proves = false;
    };

    std::array<Needles, 5> m_byKind; // indexed by EncodingKind
    bool m_ignoreCase;
    bool m_empty = true;
};

/// A RawTextFilter's verdict on a file whose bytes come piece by piece as they are read, and the
/// file's kind found on the way: however the bytes are split, finish() gives the kind
/// DetectEncodingOfBytes and the verdict judge() give the whole bytes. Until the kind is known (a
/// file without a mark is UTF-8 only if all of it is), the needles of both ANSI and UTF-8 are looked
/// for. Each piece is looked at once, the UTF-8 forms and the needles together, and no piece is
/// kept beyond the few bytes a needle may straddle. One object per file, on one thread; the filter
/// must outlive it.
class RawJudgement {
public:
    /// Finds the kind from the bytes: a mark, else whether they are UTF-8.
    explicit RawJudgement(const RawTextFilter& filter);
    /// Takes the bytes as `kind` (a mark counted as judge() counts it).
    RawJudgement(const RawTextFilter& filter, EncodingKind kind);

    /// The next bytes of the file.
    void feed(std::string_view bytes);
    /// After the last bytes: kind() and verdict() are then those of the whole file.
    void finish();

    /// True when the rest of the file cannot change the verdict: it is final and the kind is known,
    /// or it is Unknown whatever the kind (the file must be decoded to tell).
    [[nodiscard]] bool settled() const noexcept;
    /// The kind, once known; Unopenable before.
    [[nodiscard]] EncodingKind kind() const noexcept { return m_kindOpen ? EncodingKind::Unopenable : m_kind; }
    /// The verdict once settled or finished; Unknown before.
    [[nodiscard]] RawVerdict verdict() const noexcept;

private:
    // The needles of one encoding and what has been found of them.
    struct Look {
        EncodingKind kind = EncodingKind::Unopenable;
        const RawTextFilter::Needles* needles = nullptr;
        bool anyFound = false;   ///< one of the needles that any match needs
        bool proofFound = false; ///< the proof, where a character starts
        /// The proof is this many bytes and then the only needle: a search for the needle finds both.
        std::size_t proofLead = 0;
        [[nodiscard]] bool searching() const noexcept;
    };

    void start(EncodingKind kind);
    void take(std::string_view body);
    void search(std::string_view hay, std::uint64_t offset);
    void scanForms(std::string_view piece);
    [[nodiscard]] Look* lookFor(EncodingKind kind) noexcept;
    [[nodiscard]] const Look* lookFor(EncodingKind kind) const noexcept;
    [[nodiscard]] bool formsFail(EncodingKind kind) const noexcept;
    [[nodiscard]] bool verdictFinal(const Look& look, RawVerdict& verdict) const noexcept;
    [[nodiscard]] RawVerdict verdictAtEnd(const Look& look) const noexcept;

    const RawTextFilter& m_filter;
    const bool m_detect;     ///< the kind is found from the bytes
    EncodingKind m_kind;     ///< once known
    bool m_started = false;  ///< the mark is behind (or none)
    bool m_kindOpen = false; ///< no mark, and not yet known whether the file is UTF-8
    bool m_finished = false;
    std::string m_head;            ///< the first bytes while the mark is not decided
    std::size_t m_markLeft = 0;    ///< bytes of a given kind's mark still to pass
    std::array<Look, 2> m_looks{}; ///< ANSI and UTF-8 for a file without a mark; else one
    std::size_t m_lookCount = 0;
    bool m_sameNeedles = false; ///< both looks have the same needles: the second copies the first
    bool m_scanning = false;    ///< the UTF-8 forms (and structure) matter
    Utf8Scan m_scan;
    std::size_t m_overlap = 0;  ///< the longest needle less one: what a needle may straddle
    std::string m_tail;         ///< the last m_overlap bytes of the body seen
    std::uint64_t m_offset = 0; ///< bytes of the body taken
};

} // namespace norvik::filedeal

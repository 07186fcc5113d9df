#pragma once
// Line differences between two texts, for showing what a run would change: a unified diff for the
// command line and the runs of changed lines with the changed part of each line for the window.
//
// Lines keep their own line ends ("\r\n", "\n", or none for a last line without one), so a diff of
// texts with CR LF applies with `patch` to the same bytes. Zero bytes are ordinary content.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace norvik::job {

/// One line of a change: kept in both texts, removed from the old one, or added in the new one.
struct DiffLine {
    enum class Kind { Same, Removed, Added };
    Kind kind = Kind::Same;
    std::string_view text; ///< the line with its line end, a view into the text it came from
    /// The part of a removed or added line that differs from its counterpart (the line it replaces
    /// or is replaced by, paired in order within a block): [changedBegin, changedEnd). Both 0 and
    /// the whole line for a line without counterpart.
    std::size_t changedBegin = 0;
    std::size_t changedEnd = 0;
};

/// A run of changed lines with up to `context` kept lines around it; runs closer than twice the
/// context share one hunk.
struct DiffHunk {
    std::size_t oldStart = 0; ///< first old line of the hunk, counted from 1 (0: no old line)
    std::size_t oldCount = 0;
    std::size_t newStart = 0;
    std::size_t newCount = 0;
    std::vector<DiffLine> lines;
};

/// The line alignment of two texts, made once and then read as hunks or written as a unified diff.
///
/// Memory stays a small multiple of the texts: each line costs an offset and a hash (eight bytes
/// in all), each step of the edit one byte; hunks are made or written one at a time. Making the alignment is the only
/// part that needs memory in proportion to the texts: it throws std::bad_alloc (and nothing is
/// written) when that memory is not there. Views point into `before` and `after`, which must
/// outlive the object.
class TextDiff {
public:
    /// A shortest edit is found when the texts differ in at most a few hundred lines; beyond that
    /// lines are aligned by looking a few dozen lines ahead at each difference (linear time, exact).
    TextDiff(std::string_view before, std::string_view after);

    /// The texts are equal.
    [[nodiscard]] bool empty() const noexcept { return m_steps.empty() || m_changes == 0; }

    /// The hunks with `context` kept lines around each change, holding at most `maxLines` lines in
    /// all: the hunk that reaches the limit is cut there (its counts stay whole) and no hunk follows.
    [[nodiscard]] std::vector<DiffHunk> hunks(std::size_t context = 3,
                                              std::size_t maxLines = std::numeric_limits<std::size_t>::max()) const;

    /// Writes the unified diff under `---`/`+++` headers naming `path` (see DiffPathName), hunks
    /// with `context` lines of context, "\ No newline at end of file" after a last line without a
    /// line end. Writes nothing when the texts are equal.
    void writeUnified(std::ostream& out, std::string_view path, std::size_t context = 3) const;

private:
    enum class Step : std::uint8_t { Same, Removed, Added };
    /// Where each line of a text starts, then where the text ends (four bytes a line for texts
    /// under 4 GiB, eight beyond), and a hash of each line, which tells most unequal lines apart
    /// without reading them.
    struct Lines {
        std::string_view text;
        std::vector<std::uint32_t> shortStarts;
        std::vector<std::size_t> longStarts;
        std::vector<std::uint32_t> hashes;
        std::size_t count = 0;
        [[nodiscard]] std::size_t size() const noexcept { return count; }
        [[nodiscard]] std::size_t start(std::size_t i) const {
            return longStarts.empty() ? shortStarts[i] : longStarts[i];
        }
        [[nodiscard]] std::string_view line(std::size_t i) const {
            const std::size_t from = start(i);
            return text.substr(from, start(i + 1) - from);
        }
    };
    /// Where a hunk lies among the steps, and the lines before it.
    struct HunkSpan {
        std::size_t first = 0; ///< first step
        std::size_t end = 0;   ///< one past the last step
        std::size_t oldBefore = 0;
        std::size_t newBefore = 0;
        std::size_t oldCount = 0;
        std::size_t newCount = 0;
    };

    static void indexLines(std::string_view text, Lines& lines);
    [[nodiscard]] bool sameLine(std::size_t oldLine, std::size_t newLine) const;
    [[nodiscard]] bool shortestEdit(std::size_t begin, std::size_t endA, std::size_t endB);
    void lookAheadEdit(std::size_t begin, std::size_t endA, std::size_t endB);
    /// Calls `visit(const HunkSpan&)` for each hunk in order until it returns false.
    template <typename Visit> void forEachHunk(std::size_t context, Visit visit) const;

    Lines m_old;
    Lines m_new;
    std::vector<Step> m_steps;
    std::size_t m_changes = 0;
};

/// Splits a text into lines, each with its line end ("\n", "\r\n"; a lone "\r" does not end a line).
[[nodiscard]] std::vector<std::string_view> SplitLines(std::string_view text);

/// The hunks that turn `before` into `after`, with `context` kept lines around each change (see
/// TextDiff). Views point into `before` and `after`, which must outlive the result.
[[nodiscard]] std::vector<DiffHunk> DiffTexts(std::string_view before, std::string_view after, std::size_t context = 3);

/// The unified diff of two texts as one string (see TextDiff::writeUnified). Empty when the texts
/// are equal.
[[nodiscard]] std::string UnifiedDiff(std::string_view path, std::string_view before, std::string_view after,
                                      std::size_t context = 3);

/// A file name as a diff header gives it: as it is when it holds only printable ASCII other than
/// the space, `"` and `\`, and UTF-8; otherwise in double quotes with `\"`, `\\`, C escapes for
/// control characters (`\t`, `\n`, ...) and three-digit octal escapes for other control bytes and
/// bytes that are not UTF-8, so a name can never end its header line or forge another one, and
/// `patch` and `git apply` read back the very bytes. A name with a space is quoted so both tools
/// take it whole.
[[nodiscard]] std::string DiffPathName(std::string_view path);

} // namespace norvik::job

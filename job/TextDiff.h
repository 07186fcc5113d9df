#pragma once
// Line differences between two texts, for showing what a run would change: a unified diff for the
// command line and the runs of changed lines with the changed part of each line for the window.
//
// Lines keep their own line ends ("\r\n", "\n", or none for a last line without one), so a diff of
// texts with CR LF applies with `patch` to the same bytes. Zero bytes are ordinary content.
#include <cstddef>
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

/// Splits a text into lines, each with its line end ("\n", "\r\n"; a lone "\r" does not end a line).
[[nodiscard]] std::vector<std::string_view> SplitLines(std::string_view text);

/// The hunks that turn `before` into `after`, with `context` kept lines around each change. A
/// shortest edit is found when the texts differ in at most a few hundred lines; beyond that lines
/// are aligned by looking a few dozen lines ahead at each difference (linear time, still exact).
/// Views point into `before` and `after`, which must outlive the result.
[[nodiscard]] std::vector<DiffHunk> DiffTexts(std::string_view before, std::string_view after, std::size_t context = 3);

/// The unified diff of two texts under `---`/`+++` headers naming `path` (UTF-8), hunks with
/// `context` lines of context; "\ No newline at end of file" after a last line without a line end.
/// Empty when the texts are equal.
[[nodiscard]] std::string UnifiedDiff(std::string_view path, std::string_view before, std::string_view after,
                                      std::size_t context = 3);

} // namespace norvik::job

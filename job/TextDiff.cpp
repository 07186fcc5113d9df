#include "job/TextDiff.h"

#include <algorithm>
#include <unordered_map>

namespace norvik::job {

namespace {

// The shortest-edit search costs about the square of the edits; past this many steps the region is
// aligned by looking a little ahead at each difference instead, which is linear and still exact.
constexpr int kMaxEditSteps = 256;
// Regions longer than this (in lines of both texts) go straight to the look-ahead alignment.
constexpr std::size_t kMaxSearchedLines = 20000;
// How far ahead that alignment looks for the next common line, in each text.
constexpr std::size_t kLookAhead = 48;

struct Op {
    DiffLine::Kind kind;
    std::size_t oldLine; ///< index into the old lines (Same, Removed)
    std::size_t newLine; ///< index into the new lines (Same, Added)
};

/// Lines as small integers, equal lines equal numbers, so the search compares numbers.
void NumberLines(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b, std::vector<int>& na,
                 std::vector<int>& nb) {
    std::unordered_map<std::string_view, int> ids;
    ids.reserve(a.size() + b.size());
    const auto id = [&ids](std::string_view line) {
        return ids.emplace(line, static_cast<int>(ids.size())).first->second;
    };
    na.reserve(a.size());
    nb.reserve(b.size());
    for (std::string_view line : a) {
        na.push_back(id(line));
    }
    for (std::string_view line : b) {
        nb.push_back(id(line));
    }
}

/// The edit script of a[lo..hiA) against b[lo..hiB) by the greedy shortest-edit search; false when it
/// needs more than kMaxEditSteps steps.
bool ShortestEdit(const std::vector<int>& a, const std::vector<int>& b, std::size_t begin, std::size_t endA,
                  std::size_t endB, std::vector<Op>& ops) {
    const int n = static_cast<int>(endA - begin);
    const int m = static_cast<int>(endB - begin);
    const auto A = [&](int i) {
        return a[begin + static_cast<std::size_t>(i)];
    };
    const auto B = [&](int j) {
        return b[begin + static_cast<std::size_t>(j)];
    };
    // trace[d][k + d] is the furthest x on diagonal k after d steps.
    std::vector<std::vector<int>> trace;
    std::vector<int> previous;
    int found = -1;
    for (int d = 0; d <= std::min(n + m, kMaxEditSteps); ++d) {
        std::vector<int> row(static_cast<std::size_t>(2 * d + 1));
        for (int k = -d; k <= d; k += 2) {
            int x = 0;
            if (d == 0) {
                x = 0;
            } else if (k == -d || (k != d && previous[static_cast<std::size_t>(k - 1 + d - 1)] <
                                                 previous[static_cast<std::size_t>(k + 1 + d - 1)])) {
                x = previous[static_cast<std::size_t>(k + 1 + d - 1)];
            } else {
                x = previous[static_cast<std::size_t>(k - 1 + d - 1)] + 1;
            }
            int y = x - k;
            while (x < n && y < m && A(x) == B(y)) {
                ++x;
                ++y;
            }
            row[static_cast<std::size_t>(k + d)] = x;
            if (x >= n && y >= m) {
                found = d;
            }
        }
        trace.push_back(row);
        previous = std::move(row);
        if (found >= 0) {
            break;
        }
    }
    if (found < 0) {
        return false;
    }
    std::vector<Op> reversed;
    int x = n;
    int y = m;
    for (int d = found; d > 0; --d) {
        const std::vector<int>& before = trace[static_cast<std::size_t>(d - 1)];
        const int k = x - y;
        const bool down = k == -d || (k != d && before[static_cast<std::size_t>(k - 1 + d - 1)] <
                                                    before[static_cast<std::size_t>(k + 1 + d - 1)]);
        const int previousK = down ? k + 1 : k - 1;
        const int previousX = before[static_cast<std::size_t>(previousK + d - 1)];
        const int previousY = previousX - previousK;
        while (x > previousX && y > previousY) {
            --x;
            --y;
            reversed.push_back(
                {DiffLine::Kind::Same, begin + static_cast<std::size_t>(x), begin + static_cast<std::size_t>(y)});
        }
        if (down) {
            --y;
            reversed.push_back({DiffLine::Kind::Added, 0, begin + static_cast<std::size_t>(y)});
        } else {
            --x;
            reversed.push_back({DiffLine::Kind::Removed, begin + static_cast<std::size_t>(x), 0});
        }
    }
    while (x > 0 && y > 0) {
        --x;
        --y;
        reversed.push_back(
            {DiffLine::Kind::Same, begin + static_cast<std::size_t>(x), begin + static_cast<std::size_t>(y)});
    }
    ops.insert(ops.end(), reversed.rbegin(), reversed.rend());
    return true;
}

/// Aligns a[begin..endA) with b[begin..endB) line by line: equal lines are kept; at a difference
/// the nearest pair of equal lines within kLookAhead (fewest lines skipped in both) resumes the
/// alignment, the skipped lines being removed and added.
void LookAheadEdit(const std::vector<int>& a, const std::vector<int>& b, std::size_t begin, std::size_t endA,
                   std::size_t endB, std::vector<Op>& ops) {
    std::size_t x = begin;
    std::size_t y = begin;
    while (x < endA && y < endB) {
        if (a[x] == b[y]) {
            ops.push_back({DiffLine::Kind::Same, x++, y++});
            continue;
        }
        std::size_t skipA = 1;
        std::size_t skipB = 1;
        bool found = false;
        for (std::size_t sum = 1; sum <= 2 * kLookAhead && !found; ++sum) {
            for (std::size_t i = 0; i <= sum && !found; ++i) {
                const std::size_t j = sum - i;
                if (i <= kLookAhead && j <= kLookAhead && x + i < endA && y + j < endB && a[x + i] == b[y + j]) {
                    skipA = i;
                    skipB = j;
                    found = true;
                }
            }
        }
        for (std::size_t i = 0; i < skipA && x < endA; ++i) {
            ops.push_back({DiffLine::Kind::Removed, x++, 0});
        }
        for (std::size_t j = 0; j < skipB && y < endB; ++j) {
            ops.push_back({DiffLine::Kind::Added, 0, y++});
        }
    }
    while (x < endA) {
        ops.push_back({DiffLine::Kind::Removed, x++, 0});
    }
    while (y < endB) {
        ops.push_back({DiffLine::Kind::Added, 0, y++});
    }
}

/// The end of the first UTF-8 character boundary at or before `at`.
std::size_t BackToBoundary(std::string_view line, std::size_t at) {
    while (at > 0 && at < line.size() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) {
        --at;
    }
    return at;
}

/// Marks the part of a removed line and of the added line it became that differs.
void MarkChanged(DiffLine& removed, DiffLine& added) {
    const std::string_view a = removed.text;
    const std::string_view b = added.text;
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
        ++prefix;
    }
    prefix = std::min(BackToBoundary(a, prefix), BackToBoundary(b, prefix));
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
        ++suffix;
    }
    // The suffix starts on a character boundary in both lines.
    while (suffix > 0 && ((static_cast<unsigned char>(a[a.size() - suffix]) & 0xC0) == 0x80 ||
                          (static_cast<unsigned char>(b[b.size() - suffix]) & 0xC0) == 0x80)) {
        --suffix;
    }
    removed.changedBegin = prefix;
    removed.changedEnd = a.size() - suffix;
    added.changedBegin = prefix;
    added.changedEnd = b.size() - suffix;
}

/// Removed lines before added ones within each run of changes, each line marked.
std::vector<DiffLine> OrderedLines(const std::vector<Op>& ops, std::size_t from, std::size_t to,
                                   const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
    std::vector<DiffLine> lines;
    std::size_t i = from;
    while (i < to) {
        if (ops[i].kind == DiffLine::Kind::Same) {
            lines.push_back({DiffLine::Kind::Same, a[ops[i].oldLine], 0, 0});
            ++i;
            continue;
        }
        std::vector<DiffLine> removed;
        std::vector<DiffLine> added;
        for (; i < to && ops[i].kind != DiffLine::Kind::Same; ++i) {
            if (ops[i].kind == DiffLine::Kind::Removed) {
                const std::string_view text = a[ops[i].oldLine];
                removed.push_back({DiffLine::Kind::Removed, text, 0, text.size()});
            } else {
                const std::string_view text = b[ops[i].newLine];
                added.push_back({DiffLine::Kind::Added, text, 0, text.size()});
            }
        }
        for (std::size_t p = 0; p < std::min(removed.size(), added.size()); ++p) {
            MarkChanged(removed[p], added[p]);
        }
        lines.insert(lines.end(), removed.begin(), removed.end());
        lines.insert(lines.end(), added.begin(), added.end());
    }
    return lines;
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

std::vector<DiffHunk> DiffTexts(std::string_view before, std::string_view after, std::size_t context) {
    std::vector<DiffHunk> hunks;
    if (before == after) {
        return hunks;
    }
    const std::vector<std::string_view> a = SplitLines(before);
    const std::vector<std::string_view> b = SplitLines(after);
    std::vector<int> na;
    std::vector<int> nb;
    NumberLines(a, b, na, nb);

    // Common first and last lines are kept lines; the search runs on what lies between.
    std::size_t head = 0;
    while (head < na.size() && head < nb.size() && na[head] == nb[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < na.size() - head && tail < nb.size() - head && na[na.size() - 1 - tail] == nb[nb.size() - 1 - tail]) {
        ++tail;
    }
    std::vector<Op> ops;
    ops.reserve(a.size() + b.size());
    for (std::size_t i = 0; i < head; ++i) {
        ops.push_back({DiffLine::Kind::Same, i, i});
    }
    const std::size_t endA = na.size() - tail;
    const std::size_t endB = nb.size() - tail;
    const bool small = (endA - head) + (endB - head) <= kMaxSearchedLines;
    if (!small || !ShortestEdit(na, nb, head, endA, endB, ops)) {
        LookAheadEdit(na, nb, head, endA, endB, ops);
    }
    for (std::size_t t = 0; t < tail; ++t) {
        ops.push_back({DiffLine::Kind::Same, endA + t, endB + t});
    }

    // Hunks: each change with `context` kept lines around it, joined when their contexts meet.
    // Old and new line numbers are counted as the walk goes, up to each hunk's first line.
    std::size_t counted = 0;
    std::size_t oldLine = 0;
    std::size_t newLine = 0;
    std::size_t i = 0;
    while (i < ops.size()) {
        while (i < ops.size() && ops[i].kind == DiffLine::Kind::Same) {
            ++i;
        }
        if (i == ops.size()) {
            break;
        }
        const std::size_t first = std::max(counted, i >= context ? i - context : 0);
        std::size_t last = i; // one past the last change of the hunk
        std::size_t scan = i;
        while (scan < ops.size()) {
            if (ops[scan].kind != DiffLine::Kind::Same) {
                last = ++scan;
                continue;
            }
            std::size_t kept = 0;
            while (scan < ops.size() && ops[scan].kind == DiffLine::Kind::Same) {
                ++kept;
                ++scan;
            }
            if (scan == ops.size() || kept > 2 * context) {
                break;
            }
        }
        const std::size_t end = std::min(ops.size(), last + context);

        for (; counted < first; ++counted) {
            oldLine += ops[counted].kind != DiffLine::Kind::Added ? 1 : 0;
            newLine += ops[counted].kind != DiffLine::Kind::Removed ? 1 : 0;
        }
        DiffHunk hunk;
        for (std::size_t k = first; k < end; ++k) {
            hunk.oldCount += ops[k].kind != DiffLine::Kind::Added ? 1 : 0;
            hunk.newCount += ops[k].kind != DiffLine::Kind::Removed ? 1 : 0;
        }
        // A range without lines is named by the line before it, as diff tools do.
        hunk.oldStart = hunk.oldCount > 0 ? oldLine + 1 : oldLine;
        hunk.newStart = hunk.newCount > 0 ? newLine + 1 : newLine;
        hunk.lines = OrderedLines(ops, first, end, a, b);
        hunks.push_back(std::move(hunk));
        i = end;
    }
    return hunks;
}

std::string UnifiedDiff(std::string_view path, std::string_view before, std::string_view after, std::size_t context) {
    const std::vector<DiffHunk> hunks = DiffTexts(before, after, context);
    if (hunks.empty()) {
        return {};
    }
    std::string out;
    out.append("--- ").append(path).append("\n+++ ").append(path).append("\n");
    const auto range = [](std::size_t start, std::size_t count) {
        return count == 1 ? std::to_string(start) : std::to_string(start) + "," + std::to_string(count);
    };
    for (const DiffHunk& hunk : hunks) {
        out.append("@@ -")
            .append(range(hunk.oldStart, hunk.oldCount))
            .append(" +")
            .append(range(hunk.newStart, hunk.newCount))
            .append(" @@\n");
        for (const DiffLine& line : hunk.lines) {
            out.push_back(line.kind == DiffLine::Kind::Same ? ' ' : line.kind == DiffLine::Kind::Removed ? '-' : '+');
            out.append(line.text);
            if (line.text.empty() || line.text.back() != '\n') {
                out.append("\n\\ No newline at end of file\n");
            }
        }
    }
    return out;
}

} // namespace norvik::job

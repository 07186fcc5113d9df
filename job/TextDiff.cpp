#include "job/TextDiff.h"

#include <algorithm>
#include <functional>
#include <ostream>
#include <sstream>
#include <type_traits>

namespace norvik::job {

namespace {

// The shortest-edit search costs about the square of the edits; past this many steps the region is
// aligned by looking a little ahead at each difference instead, which is linear and still exact.
constexpr int kMaxEditSteps = 256;
// Regions longer than this (in lines of both texts) go straight to the look-ahead alignment.
constexpr std::size_t kMaxSearchedLines = 20000;
// How far ahead that alignment looks for the next common line, in each text.
constexpr std::size_t kLookAhead = 48;

/// The nearest UTF-8 character boundary at or before `at` (0 and the end of the line are boundaries).
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

/// The length of the well-formed UTF-8 sequence at `at` (no overlong forms, surrogates or code
/// points past U+10FFFF), or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&text](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

void WriteRange(std::ostream& out, std::size_t start, std::size_t count) {
    out << start;
    if (count != 1) {
        out << ',' << count;
    }
}

void WriteLine(std::ostream& out, char marker, std::string_view text) {
    out.put(marker);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (text.empty() || text.back() != '\n') {
        out << "\n\\ No newline at end of file\n";
    }
}

} // namespace

TextDiff::TextDiff(std::string_view before, std::string_view after) {
    if (before == after) {
        return;
    }
    indexLines(before, m_old);
    indexLines(after, m_new);
    const std::size_t n = m_old.size();
    const std::size_t m = m_new.size();

    // Common first and last lines are kept lines; the search runs on what lies between.
    std::size_t head = 0;
    while (head < n && head < m && sameLine(head, head)) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < n - head && tail < m - head && sameLine(n - 1 - tail, m - 1 - tail)) {
        ++tail;
    }
    m_steps.reserve(n + m - head - tail);
    m_steps.assign(head, Step::Same);
    const std::size_t endA = n - tail;
    const std::size_t endB = m - tail;
    const bool small = (endA - head) + (endB - head) <= kMaxSearchedLines;
    if (!small || !shortestEdit(head, endA, endB)) {
        lookAheadEdit(head, endA, endB);
    }
    m_steps.insert(m_steps.end(), tail, Step::Same);
    m_changes = static_cast<std::size_t>(
        std::count_if(m_steps.begin(), m_steps.end(), [](Step step) { return step != Step::Same; }));
}

void TextDiff::indexLines(std::string_view text, Lines& lines) {
    lines.text = text;
    lines.count = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n') {
        ++lines.count;
    }
    lines.hashes.reserve(lines.count);
    const auto fill = [text, &lines](auto& starts) {
        using Offset = typename std::decay_t<decltype(starts)>::value_type;
        const std::hash<std::string_view> hash;
        std::size_t start = 0;
        while (start < text.size()) {
            starts.push_back(static_cast<Offset>(start));
            const std::size_t found = text.find('\n', start);
            const std::size_t end = found == std::string_view::npos ? text.size() : found + 1;
            const std::size_t h = hash(text.substr(start, end - start));
            lines.hashes.push_back(static_cast<std::uint32_t>(h ^ (h >> 32)));
            start = end;
        }
        starts.push_back(static_cast<Offset>(text.size()));
    };
    if (text.size() <= std::numeric_limits<std::uint32_t>::max()) {
        lines.shortStarts.reserve(lines.count + 1);
        fill(lines.shortStarts);
    } else {
        lines.longStarts.reserve(lines.count + 1);
        fill(lines.longStarts);
    }
}

bool TextDiff::sameLine(std::size_t oldLine, std::size_t newLine) const {
    return m_old.hashes[oldLine] == m_new.hashes[newLine] && m_old.line(oldLine) == m_new.line(newLine);
}

/// The edit script of old[begin..endA) against new[begin..endB) by the greedy shortest-edit search;
/// false (nothing added) when it needs more than kMaxEditSteps steps.
bool TextDiff::shortestEdit(std::size_t begin, std::size_t endA, std::size_t endB) {
    const int n = static_cast<int>(endA - begin);
    const int m = static_cast<int>(endB - begin);
    const auto same = [this, begin](int x, int y) {
        return sameLine(begin + static_cast<std::size_t>(x), begin + static_cast<std::size_t>(y));
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
            while (x < n && y < m && same(x, y)) {
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
    std::vector<Step> reversed;
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
            reversed.push_back(Step::Same);
        }
        if (down) {
            --y;
            reversed.push_back(Step::Added);
        } else {
            --x;
            reversed.push_back(Step::Removed);
        }
    }
    reversed.insert(reversed.end(), static_cast<std::size_t>(std::min(x, y)), Step::Same);
    m_steps.insert(m_steps.end(), reversed.rbegin(), reversed.rend());
    return true;
}

/// Aligns old[begin..endA) with new[begin..endB) line by line: equal lines are kept; at a difference
/// the nearest pair of equal lines within kLookAhead (fewest lines skipped in both) resumes the
/// alignment, the skipped lines being removed and added.
void TextDiff::lookAheadEdit(std::size_t begin, std::size_t endA, std::size_t endB) {
    std::size_t x = begin;
    std::size_t y = begin;
    while (x < endA && y < endB) {
        if (sameLine(x, y)) {
            m_steps.push_back(Step::Same);
            ++x;
            ++y;
            continue;
        }
        std::size_t skipA = 1;
        std::size_t skipB = 1;
        bool found = false;
        for (std::size_t sum = 1; sum <= 2 * kLookAhead && !found; ++sum) {
            for (std::size_t i = 0; i <= sum && !found; ++i) {
                const std::size_t j = sum - i;
                if (i <= kLookAhead && j <= kLookAhead && x + i < endA && y + j < endB && sameLine(x + i, y + j)) {
                    skipA = i;
                    skipB = j;
                    found = true;
                }
            }
        }
        for (std::size_t i = 0; i < skipA && x < endA; ++i, ++x) {
            m_steps.push_back(Step::Removed);
        }
        for (std::size_t j = 0; j < skipB && y < endB; ++j, ++y) {
            m_steps.push_back(Step::Added);
        }
    }
    m_steps.insert(m_steps.end(), endA - x, Step::Removed);
    m_steps.insert(m_steps.end(), endB - y, Step::Added);
}

// Each change with `context` kept lines around it, joined when their contexts meet. Old and new
// line numbers are counted as the walk goes, up to each hunk's first line.
template <typename Visit> void TextDiff::forEachHunk(std::size_t context, Visit visit) const {
    const std::vector<Step>& steps = m_steps;
    std::size_t counted = 0;
    std::size_t oldLine = 0;
    std::size_t newLine = 0;
    std::size_t i = 0;
    while (i < steps.size()) {
        while (i < steps.size() && steps[i] == Step::Same) {
            ++i;
        }
        if (i == steps.size()) {
            break;
        }
        const std::size_t first = std::max(counted, i >= context ? i - context : 0);
        std::size_t last = i; // one past the last change of the hunk
        std::size_t scan = i;
        while (scan < steps.size()) {
            if (steps[scan] != Step::Same) {
                last = ++scan;
                continue;
            }
            std::size_t kept = 0;
            while (scan < steps.size() && steps[scan] == Step::Same) {
                ++kept;
                ++scan;
            }
            if (scan == steps.size() || kept > 2 * context) {
                break;
            }
        }
        HunkSpan span;
        span.first = first;
        span.end = std::min(steps.size(), last + context);
        for (; counted < first; ++counted) {
            oldLine += steps[counted] != Step::Added ? 1 : 0;
            newLine += steps[counted] != Step::Removed ? 1 : 0;
        }
        span.oldBefore = oldLine;
        span.newBefore = newLine;
        for (std::size_t k = span.first; k < span.end; ++k) {
            span.oldCount += steps[k] != Step::Added ? 1 : 0;
            span.newCount += steps[k] != Step::Removed ? 1 : 0;
        }
        if (!visit(span)) {
            return;
        }
        i = span.end;
    }
}

std::vector<DiffHunk> TextDiff::hunks(std::size_t context, std::size_t maxLines) const {
    std::vector<DiffHunk> result;
    if (empty()) {
        return result;
    }
    std::size_t room = maxLines;
    forEachHunk(context, [&](const HunkSpan& span) {
        if (room == 0) {
            return false;
        }
        DiffHunk hunk;
        hunk.oldCount = span.oldCount;
        hunk.newCount = span.newCount;
        // A range without lines is named by the line before it, as diff tools do.
        hunk.oldStart = span.oldCount > 0 ? span.oldBefore + 1 : span.oldBefore;
        hunk.newStart = span.newCount > 0 ? span.newBefore + 1 : span.newBefore;
        std::size_t oldLine = span.oldBefore;
        std::size_t newLine = span.newBefore;
        std::size_t k = span.first;
        while (k < span.end && hunk.lines.size() < room) {
            if (m_steps[k] == Step::Same) {
                hunk.lines.push_back({DiffLine::Kind::Same, m_old.line(oldLine), 0, 0});
                ++oldLine;
                ++newLine;
                ++k;
                continue;
            }
            // Removed lines before added ones within a run of changes, paired in order; only as
            // many as can still be shown are made.
            const std::size_t left = room - hunk.lines.size();
            std::vector<DiffLine> removed;
            std::vector<DiffLine> added;
            for (; k < span.end && m_steps[k] != Step::Same; ++k) {
                const bool isRemoved = m_steps[k] == Step::Removed;
                std::vector<DiffLine>& into = isRemoved ? removed : added;
                const std::string_view text = isRemoved ? m_old.line(oldLine++) : m_new.line(newLine++);
                if (into.size() < left) {
                    into.push_back({isRemoved ? DiffLine::Kind::Removed : DiffLine::Kind::Added, text, 0, text.size()});
                }
            }
            for (std::size_t p = 0; p < std::min(removed.size(), added.size()); ++p) {
                MarkChanged(removed[p], added[p]);
            }
            removed.insert(removed.end(), added.begin(), added.end());
            removed.resize(std::min(removed.size(), left));
            hunk.lines.insert(hunk.lines.end(), removed.begin(), removed.end());
        }
        room -= hunk.lines.size();
        result.push_back(std::move(hunk));
        return room > 0;
    });
    return result;
}

void TextDiff::writeUnified(std::ostream& out, std::string_view path, std::size_t context) const {
    if (empty()) {
        return;
    }
    const std::string name = DiffPathName(path);
    out << "--- " << name << "\n+++ " << name << "\n";
    forEachHunk(context, [&](const HunkSpan& span) {
        out << "@@ -";
        WriteRange(out, span.oldCount > 0 ? span.oldBefore + 1 : span.oldBefore, span.oldCount);
        out << " +";
        WriteRange(out, span.newCount > 0 ? span.newBefore + 1 : span.newBefore, span.newCount);
        out << " @@\n";
        std::size_t oldLine = span.oldBefore;
        std::size_t newLine = span.newBefore;
        std::size_t k = span.first;
        while (k < span.end) {
            if (m_steps[k] == Step::Same) {
                WriteLine(out, ' ', m_old.line(oldLine));
                ++oldLine;
                ++newLine;
                ++k;
                continue;
            }
            std::size_t runEnd = k;
            while (runEnd < span.end && m_steps[runEnd] != Step::Same) {
                ++runEnd;
            }
            for (std::size_t j = k; j < runEnd; ++j) {
                if (m_steps[j] == Step::Removed) {
                    WriteLine(out, '-', m_old.line(oldLine++));
                }
            }
            for (std::size_t j = k; j < runEnd; ++j) {
                if (m_steps[j] == Step::Added) {
                    WriteLine(out, '+', m_new.line(newLine++));
                }
            }
            k = runEnd;
        }
        return true;
    });
}

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
    return TextDiff(before, after).hunks(context);
}

std::string UnifiedDiff(std::string_view path, std::string_view before, std::string_view after, std::size_t context) {
    std::ostringstream out;
    TextDiff(before, after).writeUnified(out, path, context);
    return std::move(out).str();
}

std::string DiffPathName(std::string_view path) {
    std::string quoted = "\"";
    bool plain = true;
    std::size_t i = 0;
    while (i < path.size()) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c >= 0x80) {
            if (const std::size_t length = Utf8SequenceAt(path, i)) {
                quoted.append(path.substr(i, length));
                i += length;
                continue;
            }
        }
        ++i;
        static constexpr std::string_view kEscaped = "\a\b\t\n\v\f\r\"\\";
        static constexpr std::string_view kLetters = "abtnvfr\"\\";
        if (const std::size_t at = kEscaped.find(static_cast<char>(c)); at != std::string_view::npos) {
            quoted.push_back('\\');
            quoted.push_back(kLetters[at]);
            plain = false;
        } else if (c < 0x20 || c >= 0x7F) {
            quoted.push_back('\\');
            quoted.push_back(static_cast<char>('0' + (c >> 6)));
            quoted.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
            quoted.push_back(static_cast<char>('0' + (c & 7)));
            plain = false;
        } else {
            quoted.push_back(static_cast<char>(c));
            plain = plain && c != ' ';
        }
    }
    if (plain) {
        return std::string(path);
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace norvik::job

#include "filedeal/Replace.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "filedeal/CodePage.h"

namespace norvik::filedeal {

namespace {

// Finds `needle` in `hay` from `from`; npos when absent.
std::size_t FindBytes(std::string_view hay, std::string_view needle, std::size_t from) noexcept {
    if (from > hay.size() || hay.size() - from < needle.size()) {
        return std::string_view::npos;
    }
    // Dense matches often follow each other directly; test that before paying for a search call.
    if (std::memcmp(hay.data() + from, needle.data(), needle.size()) == 0) {
        return from;
    }
    const void* hit = ::memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
}

// Tells whether a position is the second byte of a double-byte character: the run of lead-range
// bytes directly before it has odd length. Candidates are asked in increasing order, so the run
// length is carried forward and every byte is looked at a bounded number of times (a text made
// only of lead-range bytes stays linear).
class TrailByteTest {
public:
    explicit TrailByteTest(std::string_view text) : m_text(text) {}

    bool isSecondByte(std::size_t pos) noexcept {
        std::size_t i = pos;
        while (i > m_knownPos && IsLeadByte(static_cast<unsigned char>(m_text[i - 1]))) {
            --i;
        }
        const std::size_t run = (i == m_knownPos) ? m_knownRun + (pos - i) : (pos - i);
        m_knownPos = pos;
        m_knownRun = run;
        return (run & 1U) != 0;
    }

    // Tells the test that the bytes from the last position asked (`pos`, where they start) were
    // `bytes`, so that it never looks back into them: a text replaced in place no longer holds them.
    void passedOver(std::size_t pos, std::string_view bytes) noexcept {
        std::size_t run = m_knownRun;
        for (const char c : bytes) {
            run = IsLeadByte(static_cast<unsigned char>(c)) ? run + 1 : 0;
        }
        m_knownPos = pos + bytes.size();
        m_knownRun = run;
    }

private:
    std::string_view m_text;
    std::size_t m_knownPos = 0;
    std::size_t m_knownRun = 0;
};

// One span of a text: where it begins and how long it is.
struct SpanPlace {
    std::size_t at;
    std::size_t size;
};

// Each span runs from a start string to the first end string after it; the next start is looked
// for after that end. Start and end are found as a find text is: never from the second byte of a
// character, so an end cannot cut a character in two. `startInside`, when given, tells whether the
// bytes of a start string begin inside a span (after its own start), on a character start or not.
std::vector<SpanPlace> FindSpans(std::string_view text, std::string_view start, std::string_view end,
                                 bool* startInside = nullptr) {
    std::vector<SpanPlace> places;
    if (startInside != nullptr) {
        *startInside = false;
    }
    if (start.empty() || end.empty()) {
        return places;
    }
    TrailByteTest trail(text); // asked in increasing order only
    const auto next = [&](std::string_view needle, std::size_t from) {
        for (;;) {
            const std::size_t at = FindBytes(text, needle, from);
            if (at == std::string_view::npos || !trail.isSecondByte(at)) {
                return at;
            }
            from = at + 1;
        }
    };
    std::size_t s = next(start, 0);
    while (s != std::string_view::npos) {
        const std::size_t e = next(end, s + start.size());
        if (e == std::string_view::npos) {
            break;
        }
        const std::size_t stop = e + end.size();
        places.push_back({s, stop - s});
        // The next start bytes after this start are usually the next span's start.
        const std::size_t bytes = FindBytes(text, start, s + 1);
        if (bytes == std::string_view::npos) {
            break;
        }
        if (bytes < stop) {
            if (startInside != nullptr) {
                *startInside = true;
            }
            s = next(start, stop);
        } else {
            s = trail.isSecondByte(bytes) ? next(start, bytes + 1) : bytes;
        }
    }
    return places;
}

// Parity of the run of lead-range bytes that ends a piece of text: after a piece with an odd run,
// the next byte is the second byte of a character (counting from an even run before the piece).
bool EndsInOddLeadRun(std::string_view piece) noexcept {
    std::size_t run = 0;
    while (run < piece.size() && IsLeadByte(static_cast<unsigned char>(piece[piece.size() - 1 - run]))) {
        ++run;
    }
    return (run & 1U) != 0;
}

// Replacing the spans one after another, each across the whole text, equals replacing each span in
// place in one pass when these hold:
//  - the start string begins on a character start only at span starts or after the last span, and
//    never inside a span, so every occurrence of a span text on a character start begins at a span
//    start, and the span there is that text (a span ends at the first end string after its start
//    that is on a character start, and a position keeps its parity within equal bytes after a
//    character start);
//  - no start string straddles the edges of a replacement, in whatever order the spans around it
//    are replaced, and a start string inside the replacement begins no span text, so replacing
//    never creates a new occurrence;
//  - a replacement ends in a lead-byte run of the same parity as the span it replaces, so every
//    position after it stays a character start or a second byte as before.
// Then the spans that start on a character start are replaced, and only they. `replaced` tells which.
class OnePassCheck {
public:
    OnePassCheck(std::string_view text, std::string_view start, const std::vector<SpanPlace>& places,
                 std::string_view replacement, const std::vector<bool>& replaced)
        : m_text(text), m_start(start), m_places(places), m_replacement(replacement), m_replaced(replaced),
          m_reach(start.size() - 1) {}

    // Whether no start string touches the replacement of span i, whatever its neighbours became.
    bool edgesAreClean(std::size_t i) {
        // Mostly the gaps around a span are long enough that the neighbours' forms do not matter.
        const std::size_t gapStart = i == 0 ? 0 : m_places[i - 1].at + m_places[i - 1].size;
        const std::size_t gapEnd = i + 1 == m_places.size() ? m_text.size() : m_places[i + 1].at;
        const std::size_t spanEnd = m_places[i].at + m_places[i].size;
        const bool leftFixed = i == 0 || m_places[i].at - gapStart >= m_reach;
        const bool rightFixed = i + 1 == m_places.size() || gapEnd - spanEnd >= m_reach;
        if (leftFixed && rightFixed) {
            const std::size_t leftSize = std::min(m_reach, m_places[i].at - gapStart);
            return joinsAreClean(m_text.substr(m_places[i].at - leftSize, leftSize),
                                 m_text.substr(spanEnd, std::min(m_reach, gapEnd - spanEnd)));
        }
        m_lefts.clear();
        m_rights.clear();
        if (!gatherLeft(i, std::string(), m_lefts) || !gatherRight(i, std::string(), m_rights)) {
            return false;
        }
        for (const auto& left : m_lefts) {
            for (const auto& right : m_rights) {
                if (!joinsAreClean(left, right)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    // Whether a start string straddles an edge of the replacement between `left` and `right`; for an
    // empty replacement, whether one spans the join. Those wholly inside the replacement are the
    // caller's to judge.
    bool joinsAreClean(std::string_view left, std::string_view right) {
        m_window.assign(left);
        m_window.append(m_replacement);
        m_window.append(right);
        const std::size_t from = left.size();
        const std::size_t to = from + m_replacement.size();
        const std::size_t length = m_start.size();
        const auto startsAt = [&](std::size_t at) {
            return at + length <= m_window.size() && m_window.compare(at, length, m_start) == 0;
        };
        for (std::size_t at = 0; at < from; ++at) {
            if (at + length > from && startsAt(at)) {
                return false;
            }
        }
        for (std::size_t at = std::max(from, to > m_reach ? to - m_reach : 0); at < to; ++at) {
            if (at + length > to && startsAt(at)) {
                return false;
            }
        }
        return true;
    }

    // The text a span leaves: itself when it is never replaced, either form when it may be.
    void forms(std::size_t j, std::vector<std::string_view>& out) const {
        out.clear();
        out.push_back(m_text.substr(m_places[j].at, m_places[j].size));
        if (m_replaced[j]) {
            out.push_back(m_replacement);
        }
    }

    // The bytes up to `m_reach` before span i's place, in every form the spans before it may take.
    bool gatherLeft(std::size_t i, std::string suffix, std::vector<std::string>& out) {
        // Walk left: the gap before span i, then span i-1 in its forms, and so on.
        std::size_t gapEnd = m_places[i].at;
        for (;;) {
            const std::size_t gapStart = i == 0 ? 0 : m_places[i - 1].at + m_places[i - 1].size;
            const std::string_view gap = m_text.substr(gapStart, gapEnd - gapStart);
            const std::size_t need = m_reach - suffix.size();
            if (gap.size() >= need || i == 0) {
                const std::size_t take = std::min(need, gap.size());
                suffix.insert(0, gap.substr(gap.size() - take));
                return push(out, std::move(suffix));
            }
            suffix.insert(0, gap);
            --i;
            std::vector<std::string_view> pieces;
            forms(i, pieces);
            if (pieces.size() == 2) {
                // Branch on span i's form; each branch goes on leftwards by itself.
                for (std::string_view piece : pieces) {
                    const std::size_t more = m_reach - suffix.size();
                    if (piece.size() >= more) {
                        if (!push(out, std::string(piece.substr(piece.size() - more)) + suffix)) {
                            return false;
                        }
                    } else if (!gatherLeft(i, std::string(piece) + suffix, out)) {
                        return false;
                    }
                }
                return true;
            }
            const std::string_view piece = pieces.front();
            const std::size_t more = m_reach - suffix.size();
            if (piece.size() >= more) {
                return push(out, std::string(piece.substr(piece.size() - more)) + suffix);
            }
            suffix.insert(0, piece);
            gapEnd = m_places[i].at;
        }
    }

    // The bytes up to `m_reach` after span i's place, in every form the spans after it may take.
    bool gatherRight(std::size_t i, std::string prefix, std::vector<std::string>& out) {
        for (;;) {
            const std::size_t gapStart = m_places[i].at + m_places[i].size;
            const bool last = i + 1 == m_places.size();
            const std::size_t gapEnd = last ? m_text.size() : m_places[i + 1].at;
            const std::string_view gap = m_text.substr(gapStart, gapEnd - gapStart);
            const std::size_t need = m_reach - prefix.size();
            if (gap.size() >= need || last) {
                prefix.append(gap.substr(0, need));
                return push(out, std::move(prefix));
            }
            prefix.append(gap);
            ++i;
            std::vector<std::string_view> pieces;
            forms(i, pieces);
            for (std::size_t k = 0; k + 1 < pieces.size(); ++k) {
                // Every form but the last is followed up in a branch of its own.
                const std::string_view piece = pieces[k];
                const std::size_t more = m_reach - prefix.size();
                if (piece.size() >= more) {
                    if (!push(out, prefix + std::string(piece.substr(0, more)))) {
                        return false;
                    }
                } else if (!gatherRight(i, prefix + std::string(piece), out)) {
                    return false;
                }
            }
            const std::string_view piece = pieces.back();
            const std::size_t more = m_reach - prefix.size();
            if (piece.size() >= more) {
                return push(out, prefix + std::string(piece.substr(0, more)));
            }
            prefix.append(piece);
        }
    }

    // Short replacements between short gaps could branch without end; past a few forms the
    // one-pass way is simply not taken.
    static bool push(std::vector<std::string>& out, std::string context) {
        constexpr std::size_t kMostForms = 16;
        if (out.size() >= kMostForms) {
            return false;
        }
        out.push_back(std::move(context));
        return true;
    }

    std::string_view m_text;
    std::string_view m_start;
    const std::vector<SpanPlace>& m_places;
    std::string_view m_replacement;
    const std::vector<bool>& m_replaced;
    std::size_t m_reach;
    std::vector<std::string> m_lefts;
    std::vector<std::string> m_rights;
    std::string m_window;
};

bool OnePassIsExact(std::string_view text, std::string_view start, std::string_view end,
                    const std::vector<SpanPlace>& places, std::string_view replacement, std::vector<bool>& replaced) {
    replaced.assign(places.size(), false);
    if (places.empty()) {
        return true;
    }
    // A start string inside the replacement begins a new occurrence of a span text when the text from
    // there to the first end string after it is one; allowed only when that end lies inside the
    // replacement too and the piece is no span text.
    if (FindBytes(replacement, start, 0) != std::string_view::npos) {
        std::unordered_set<std::string_view> spanTexts;
        for (const SpanPlace& place : places) {
            spanTexts.insert(text.substr(place.at, place.size));
        }
        for (std::size_t at = FindBytes(replacement, start, 0); at != std::string_view::npos;
             at = FindBytes(replacement, start, at + 1)) {
            const std::size_t e = FindBytes(replacement, end, at + start.size());
            if (e == std::string_view::npos || spanTexts.count(replacement.substr(at, e + end.size() - at)) != 0) {
                return false;
            }
        }
    }
    TrailByteTest trail(text);
    const bool replacementOdd = EndsInOddLeadRun(replacement);
    for (std::size_t i = 0; i < places.size(); ++i) {
        replaced[i] = !trail.isSecondByte(places[i].at);
        if (replaced[i] && EndsInOddLeadRun(text.substr(places[i].at, places[i].size)) != replacementOdd) {
            return false;
        }
    }
    OnePassCheck check(text, start, places, replacement, replaced);
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (replaced[i] && !check.edgesAreClean(i)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::size_t FindAnywhere(std::string_view text, std::string_view find, CharacterSet set) {
    if (find.empty()) {
        return std::string_view::npos;
    }
    std::size_t at = text.find(find);
    // Only a digit can be found inside a code, at its second or fourth byte: the second byte of a
    // unit there. (A whole character never begins with a lead byte followed by a digit, so the third
    // byte never begins one.)
    if (set == CharacterSet::CodePage || !IsCodeDigit(static_cast<unsigned char>(find[0]))) {
        return at;
    }
    TrailByteTest trail(text);
    while (at != std::string_view::npos && trail.isSecondByte(at)) {
        at = FindBytes(text, find, at + 1);
    }
    return at;
}

bool ReplaceAllTo(std::string_view text, std::string_view find, std::string_view replacement, bool ignoreCase,
                  std::string& out) {
    if (find.empty() || text.size() < find.size()) {
        return false;
    }
    std::string upperText;
    std::string upperFind;
    std::string_view hay = text;
    std::string_view needle = find;
    if (ignoreCase) {
        upperText = text;
        UpperCaseAscii(upperText);
        upperFind = find;
        UpperCaseAscii(upperFind);
        hay = upperText;
        needle = upperFind;
    }
    TrailByteTest trail(hay);
    bool replaced = false;
    std::size_t copied = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = FindBytes(hay, needle, from);
        if (at == std::string_view::npos) {
            break;
        }
        if (trail.isSecondByte(at)) {
            from = at + 1;
            continue;
        }
        if (!replaced) {
            out.clear();
            out.reserve(text.size());
            replaced = true;
        }
        if (at > copied) {
            out.append(text.data() + copied, at - copied);
        }
        out.append(replacement);
        copied = at + find.size();
        from = copied;
    }
    if (replaced) {
        out.append(text.data() + copied, text.size() - copied);
    }
    return replaced;
}

std::size_t ReplaceAllInPlace(std::string& text, std::string_view find, std::string_view replacement) {
    if (find.empty() || replacement.size() > find.size() || text.size() < find.size()) {
        return 0;
    }
    TrailByteTest trail(text);
    return ReplaceShrinkingInPlace(
        text, 0, find.size(), replacement,
        [&](std::size_t from) { return FindBytes(std::string_view(text.data(), text.size()), find, from); },
        [&](std::size_t at) {
            if (trail.isSecondByte(at)) {
                return false;
            }
            trail.passedOver(at, find); // the replacement may now stand where the find was
            return true;
        });
}

void ReplaceAll(std::string& text, std::string_view find, std::string_view replacement, bool ignoreCase) {
    std::string result;
    if (ReplaceAllTo(text, find, replacement, ignoreCase, result)) {
        text.swap(result);
    }
}

void CollectSpans(std::string_view text, std::string_view start, std::string_view end,
                  std::vector<std::string>& spans) {
    spans.clear();
    for (const SpanPlace& place : FindSpans(text, start, end)) {
        spans.emplace_back(text.substr(place.at, place.size));
    }
}

void ReplaceSpans(std::string& text, const std::vector<std::string>& spans, std::string_view replacement) {
    for (const auto& span : spans) {
        ReplaceAll(text, span, replacement, false);
    }
}

bool ReplaceSpansInOnePass(std::string& text, std::string_view start, std::string_view end,
                           std::string_view replacement, const std::function<void()>& beforeSpan) {
    bool startInside = false;
    const std::vector<SpanPlace> places = FindSpans(text, start, end, &startInside);
    std::vector<bool> replaced;
    // The start string must begin only at span starts and after the last span.
    if (startInside || !OnePassIsExact(text, start, end, places, replacement, replaced)) {
        return false;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (beforeSpan) {
            beforeSpan();
        }
        if (replaced[i]) {
            out.append(text, copied, places[i].at - copied);
            out.append(replacement);
            copied = places[i].at + places[i].size;
        }
    }
    if (copied != 0) {
        out.append(text, copied, std::string::npos);
        text.swap(out);
    }
    return true;
}

void ReplaceSpanRule(std::string& text, std::string_view start, std::string_view end, std::string_view replacement,
                     const std::function<void()>& beforeSpan) {
    if (ReplaceSpansInOnePass(text, start, end, replacement, beforeSpan)) {
        return;
    }
    std::vector<std::string> spans;
    CollectSpans(text, start, end, spans);
    for (const auto& span : spans) {
        if (beforeSpan) {
            beforeSpan();
        }
        ReplaceAll(text, span, replacement, false);
    }
}

std::string ExtractSpans(const std::vector<std::string>& spans) {
    std::size_t size = 0;
    for (const auto& span : spans) {
        size += span.size() + 2;
    }
    std::string out;
    out.reserve(size);
    for (const auto& span : spans) {
        out += span;
        out += "\r\n";
    }
    return out;
}

} // namespace norvik::filedeal

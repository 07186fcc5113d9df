#include "filedeal/Replace.h"

#include <cstring>

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

private:
    std::string_view m_text;
    std::size_t m_knownPos = 0;
    std::size_t m_knownRun = 0;
};

} // namespace

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

void ReplaceAll(std::string& text, std::string_view find, std::string_view replacement, bool ignoreCase) {
    std::string result;
    if (ReplaceAllTo(text, find, replacement, ignoreCase, result)) {
        text.swap(result);
    }
}

void CollectSpans(std::string_view text, std::string_view start, std::string_view end,
                  std::vector<std::string>& spans) {
    spans.clear();
    if (start.empty() || end.empty()) {
        return;
    }
    // Start and end are found as a find text is: never from the second byte of a character, so an
    // end cannot cut a character in two. Candidates are asked for in increasing order.
    TrailByteTest trail(text);
    const auto next = [&](std::string_view needle, std::size_t from) {
        for (;;) {
            const std::size_t at = FindBytes(text, needle, from);
            if (at == std::string_view::npos || !trail.isSecondByte(at)) {
                return at;
            }
            from = at + 1;
        }
    };
    std::size_t from = 0;
    for (;;) {
        const std::size_t s = next(start, from);
        if (s == std::string_view::npos) {
            return;
        }
        const std::size_t e = next(end, s + start.size());
        if (e == std::string_view::npos) {
            return;
        }
        const std::size_t stop = e + end.size();
        spans.emplace_back(text.substr(s, stop - s));
        from = stop;
    }
}

void ReplaceSpans(std::string& text, const std::vector<std::string>& spans, std::string_view replacement) {
    for (const auto& span : spans) {
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

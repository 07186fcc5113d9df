#include "filedeal/RawReplace.h"

#include <cstring>

#include "filedeal/CodePage.h"
#include "filedeal/Replace.h"

namespace norvik::filedeal {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kUtf16MarkSize = 2;

// The text in UTF-8 and UTF-16LE when it is whole characters and each comes back as the same bytes
// (a code page character that shares its Unicode character with another would not).
bool EncodeRuleText(const std::string& text, std::string& utf8, std::string& utf16) {
    if (!IsWholeCharacters(text)) {
        return false;
    }
    bool exact = true;
    utf8 = CodePageToUtf8(text, &exact);
    if (!exact) {
        return false;
    }
    bool back = true;
    if (Utf8ToCodePage(utf8, &back) != text || !back) {
        return false;
    }
    utf16 = CodePageToUtf16Le(text, &exact);
    return exact;
}

} // namespace

RawRuleReplacer::RawRuleReplacer(const std::vector<Rule>& rules) {
    for (const Rule& rule : rules) {
        if (rule.find.empty()) {
            continue;
        }
        Rule utf8;
        Rule utf16;
        if (!EncodeRuleText(rule.find, utf8.find, utf16.find) ||
            !EncodeRuleText(rule.replacement, utf8.replacement, utf16.replacement)) {
            m_usable = false;
            m_utf8.clear();
            m_utf16.clear();
            return;
        }
        m_utf8.push_back(std::move(utf8));
        m_utf16.push_back(std::move(utf16));
    }
}

bool Utf8RoundTrips(std::string_view body) {
    Utf8Scan scan(Utf8Scan::Watch::StructureAndForms);
    scan.feed(body);
    scan.finish();
    if (scan.broken()) {
        return false;
    }
    // Without the leads of forms that may be overlong (see maybeOverlong) and F4 and above (a value
    // past U+10FFFF, a longer form), a whole structure is the shortest forms of characters, and
    // surrogates come back as they were. Only a body with such a byte is decoded to tell.
    if (!scan.maybeOverlong() && !scan.mayNotDecode()) {
        return true;
    }
    std::string text;
    bool exact = false;
    return DecodeUtf8ToWorkingText(body, text, &exact) && exact;
}

bool ReplaceAligned(std::string_view prefix, std::string_view hay, std::string_view needle,
                    std::string_view replacement, std::size_t step, std::string& out) {
    if (needle.empty() || hay.size() < needle.size()) {
        return false;
    }
    bool replaced = false;
    std::size_t copied = 0;
    std::size_t from = 0;
    std::string result;
    while (hay.size() - from >= needle.size()) {
        const void* hit = ::memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
        if (hit == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
        if (at % step != 0) {
            from = at + 1; // the second byte of a unit: the next even place may still match
            continue;
        }
        if (!replaced) {
            result.reserve(prefix.size() + hay.size() + (replacement.size() > needle.size() ? 64 : 0));
            result.append(prefix);
            replaced = true;
        }
        result.append(hay.data() + copied, at - copied);
        result.append(replacement);
        copied = at + needle.size();
        from = copied;
    }
    if (!replaced) {
        return false;
    }
    result.append(hay.data() + copied, hay.size() - copied);
    out = std::move(result);
    return true;
}

std::size_t ReplaceAlignedInPlace(std::string& bytes, std::size_t start, std::string_view needle,
                                  std::string_view replacement, std::size_t step) {
    if (needle.empty() || replacement.size() > needle.size()) {
        return 0;
    }
    const char* const data = bytes.data();
    const std::size_t n = bytes.size();
    return ReplaceShrinkingInPlace(
        bytes, start, needle.size(), replacement,
        [&](std::size_t from) {
            const void* hit =
                n - from >= needle.size() ? ::memmem(data + from, n - from, needle.data(), needle.size()) : nullptr;
            return hit == nullptr ? std::string_view::npos
                                  : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        },
        [&](std::size_t at) { return (at - start) % step == 0; });
}

RawRuleReplacer::Outcome RawRuleReplacer::apply(std::string& bytes, EncodingKind kind) const {
    if (!m_usable) {
        return Outcome::Declined;
    }
    std::size_t markSize = 0;
    std::size_t step = 1;
    const std::string_view view = bytes;
    switch (kind) {
    case EncodingKind::Utf8Bom:
        if (!view.starts_with(kUtf8Mark)) {
            return Outcome::Declined;
        }
        markSize = kUtf8Mark.size();
        [[fallthrough]];
    case EncodingKind::Utf8:
        if (!Utf8RoundTrips(view.substr(markSize))) {
            return Outcome::Declined;
        }
        break;
    case EncodingKind::Utf16Le:
        // The mark is there (the kind says so); an odd last byte would not be written back.
        if (view.size() < kUtf16MarkSize || view.size() % 2 != 0) {
            return Outcome::Declined;
        }
        markSize = kUtf16MarkSize;
        step = 2;
        break;
    case EncodingKind::Ansi:
    case EncodingKind::Unopenable:
        return Outcome::Declined;
    }
    const std::vector<Rule>& rules = step == 2 ? m_utf16 : m_utf8;
    if (rules.size() == 1) {
        // One rule changes the file exactly when it finds something to replace by other bytes: the
        // bytes before its first place stay, and there the replacement differs from the find.
        const Rule& rule = rules.front();
        if (rule.find == rule.replacement) {
            return Outcome::Unchanged;
        }
        if (rule.replacement.size() <= rule.find.size()) {
            return ReplaceAlignedInPlace(bytes, markSize, rule.find, rule.replacement, step) > 0 ? Outcome::Changed
                                                                                                 : Outcome::Unchanged;
        }
    }
    // Rules that see each other's output, or a growing replacement: copies, compared at the end with
    // the bytes read (a later rule may put back what an earlier one replaced).
    const std::string_view mark = view.substr(0, markSize);
    bool replaced = false;
    std::string out;
    std::string next;
    for (const Rule& rule : rules) {
        const std::string_view body = std::string_view(replaced ? out : bytes).substr(markSize);
        if (ReplaceAligned(mark, body, rule.find, rule.replacement, step, next)) {
            out.swap(next);
            replaced = true;
        }
    }
    if (!replaced || out == bytes) {
        return Outcome::Unchanged;
    }
    bytes.swap(out);
    return Outcome::Changed;
}

} // namespace norvik::filedeal

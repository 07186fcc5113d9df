// The replace primitives against slow, obviously correct references on random texts.
// Input: a flags byte, the find length, the replacement length, then find, replacement and text.
// With the alphabet flag every byte is mapped onto a few letters, lead bytes and line breaks, so
// matches, case pairs and double-byte characters are dense.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "filedeal/Replace.h"
#include "rules/RuleApply.h"
#include "rules/RuleLine.h"

namespace {

bool IsLead(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x81 && u <= 0xFE;
}

// Walks from the start: a lead byte takes the next byte with it as one character, which is never
// folded; a single byte a-z becomes A-Z.
std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        if (IsLead(folded[i])) {
            ++i;
        } else if (folded[i] >= 'a' && folded[i] <= 'z') {
            folded[i] = static_cast<char>(folded[i] - 'a' + 'A');
        }
    }
    return folded;
}

// A position is the second byte of a double-byte character when the run of lead bytes directly
// before it has odd length.
bool IsSecondByte(std::string_view text, std::size_t pos) {
    std::size_t run = 0;
    while (run < pos && IsLead(text[pos - 1 - run])) {
        ++run;
    }
    return run % 2 == 1;
}

// Replaces left to right; a position is the second byte of a double-byte character when the run of
// lead bytes directly before it has odd length. The run is carried along byte by byte, matched bytes
// included, so the reference stays linear on texts made of lead bytes.
std::string ReferenceReplaceAll(std::string_view text, std::string_view find, std::string_view replacement,
                                bool ignoreCase) {
    if (find.empty()) {
        return std::string(text);
    }
    const std::string hay = ignoreCase ? FoldCase(text) : std::string(text);
    const std::string needle = ignoreCase ? FoldCase(find) : std::string(find);
    std::string result;
    std::size_t pos = 0;
    std::size_t leadRun = 0;
    const auto pass = [&](std::size_t count) {
        for (; count > 0; --count, ++pos) {
            leadRun = IsLead(hay[pos]) ? leadRun + 1 : 0;
        }
    };
    while (pos < text.size()) {
        if (leadRun % 2 == 0 && pos + needle.size() <= hay.size() && hay.compare(pos, needle.size(), needle) == 0) {
            result += replacement;
            pass(needle.size());
        } else {
            result += text[pos];
            pass(1);
        }
    }
    return result;
}

// The span rule step by step: the first start from the current position that does not begin on the
// second byte of a character, then the first such end after it; list start to end, go on after it.
std::vector<std::string> ReferenceSpans(std::string_view text, std::string_view start, std::string_view end) {
    std::vector<std::string> spans;
    if (start.empty() || end.empty()) {
        return spans;
    }
    const auto find = [&](std::string_view needle, std::size_t from) {
        for (std::size_t pos = from; pos + needle.size() <= text.size(); ++pos) {
            if (text.substr(pos, needle.size()) == needle && !IsSecondByte(text, pos)) {
                return pos;
            }
        }
        return std::string_view::npos;
    };
    std::size_t from = 0;
    for (;;) {
        const std::size_t s = find(start, from);
        if (s == std::string_view::npos) {
            break;
        }
        const std::size_t e = find(end, s + start.size());
        if (e == std::string_view::npos) {
            break;
        }
        spans.emplace_back(text.substr(s, e + end.size() - s));
        from = e + end.size();
    }
    return spans;
}

constexpr char kAlphabet[] = {'a', 'A', 'b', 'B', 'z', '\r', '\n', '\0', '\x81', '\xFE', '\x80', '\xFF', 'S', 'E'};

std::string Map(std::string_view bytes, bool useAlphabet) {
    std::string out(bytes);
    if (useAlphabet) {
        for (char& c : out) {
            c = kAlphabet[static_cast<unsigned char>(c) % sizeof kAlphabet];
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    using namespace norvik::rules;
    norvik::fuzz::InputCursor in(data, size);
    const unsigned char flags = in.takeByte();
    const bool useAlphabet = (flags & 1) != 0;
    const std::size_t findLength = in.takeByte() % 9;
    const std::size_t replacementLength = in.takeByte() % 9;
    const std::string find = Map(in.take(findLength), useAlphabet);
    const std::string replacement = Map(in.take(replacementLength), useAlphabet);
    const std::string text = Map(in.rest(), useAlphabet);

    for (bool ignoreCase : {false, true}) {
        std::string replaced = text;
        ReplaceAll(replaced, find, replacement, ignoreCase);
        NORVIK_FUZZ_CHECK(replaced == ReferenceReplaceAll(text, find, replacement, ignoreCase));
        // The same rule as a rule line, as a job applies it.
        std::string viaRule = text;
        ApplyNormalRules(viaRule, ParseNormalRules({MakeNormalRuleLine({find, replacement})}), ignoreCase);
        NORVIK_FUZZ_CHECK(viaRule == replaced);
    }

    // Spans: the find text is the start, the replacement the end; the rest of the input is the
    // replacement of the spans.
    std::vector<std::string> spans{"left over"};
    CollectSpans(text, find, replacement, spans);
    NORVIK_FUZZ_CHECK(spans == ReferenceSpans(text, find, replacement));
    for (const auto& span : spans) {
        NORVIK_FUZZ_CHECK(span.size() >= find.size() + replacement.size());
        NORVIK_FUZZ_CHECK(span.compare(0, find.size(), find) == 0);
        NORVIK_FUZZ_CHECK(span.compare(span.size() - replacement.size(), replacement.size(), replacement) == 0);
    }
    const std::string spanReplacement = (flags & 2) != 0 ? std::string() : find + "-" + replacement;
    // Each span is replaced across the whole text, inserted text included, so a replacement that
    // holds its own span grows the text at every step (a 250-byte input grew to about 1 GB). Span
    // replacement is checked only where the reference passes a bounded number of bytes.
    constexpr std::size_t kMostReferenceBytes = std::size_t{1} << 14;
    std::string expected = text;
    std::size_t referenceBytes = 0;
    for (const auto& span : spans) {
        referenceBytes += expected.size();
        if (referenceBytes > kMostReferenceBytes) {
            break;
        }
        expected = ReferenceReplaceAll(expected, span, spanReplacement, false);
    }
    const bool bounded = referenceBytes <= kMostReferenceBytes;
    if (bounded) {
        std::string replacedSpans = text;
        ReplaceSpans(replacedSpans, spans, spanReplacement);
        NORVIK_FUZZ_CHECK(replacedSpans == expected);
        std::string viaRule = text;
        ReplaceSpanRule(viaRule, find, replacement, spanReplacement);
        NORVIK_FUZZ_CHECK(viaRule == expected);
    }
    // The single pass, where it is taken, never grows a text beyond one replacement per span.
    std::string onePass = text;
    std::size_t beforeSpan = 0;
    if (ReplaceSpansInOnePass(onePass, find, replacement, spanReplacement, [&] { ++beforeSpan; })) {
        NORVIK_FUZZ_CHECK(beforeSpan == spans.size());
        NORVIK_FUZZ_CHECK(!bounded || onePass == expected);
    } else {
        NORVIK_FUZZ_CHECK(onePass == text && beforeSpan == 0);
    }

    std::string extracted;
    for (const auto& span : spans) {
        extracted += span + "\r\n";
    }
    NORVIK_FUZZ_CHECK(ExtractSpans(spans) == extracted);

    // The same as a feature rule line; a rule with an empty start or end is skipped.
    const bool applies = !find.empty() && !replacement.empty();
    const auto featureRule = ParseFeatureRules({MakeFeatureRuleLine({find, replacement, spanReplacement})});
    NORVIK_FUZZ_CHECK(featureRule.size() == (applies ? 1U : 0U));
    if (bounded) {
        std::string viaRule = text;
        ApplyFeatureRules(viaRule, featureRule, false);
        NORVIK_FUZZ_CHECK(viaRule == expected);
    }
    std::string viaExtraction = text;
    ApplyFeatureRules(viaExtraction, featureRule, true);
    NORVIK_FUZZ_CHECK(viaExtraction == (applies ? extracted : text));
    return 0;
}

// The replace primitives against slow, obviously correct references on random texts.
// Input: a flags byte, the find length, the replacement length, then find, replacement and text.
// With the alphabet flag every byte is mapped onto a few letters, lead bytes and line breaks, so
// matches, case pairs and double-byte characters are dense. The same input read as characters
// (emoji, Korean and symbols the code page lacks among them) checks editing in Unicode.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "filedeal/CodePage.h"
#include "filedeal/RawReplace.h"
#include "filedeal/Replace.h"
#include "filedeal/ReplacePrefilter.h"
#include "filedeal/TextCodec.h"
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

// Characters for the Unicode check: the first eleven are in the code page (rule texts are made of
// them: 乤 and 丄 are 81 61 and 81 41 there), the rest are not (U+1F600, U+1F601, U+D55C, U+2713, U+0080).
constexpr char32_t kCharacters[] = {U'a',          U'A',      U'b',      U'0',      U'1', U'2',
                                    U'\n',         U'\u4E64', U'\u4E04', U'\u554A', U' ', U'\U0001F600',
                                    U'\U0001F601', U'\uD55C', U'\u2713', U'\u0080'};
constexpr std::size_t kCodePageCharacters = 11;

std::u32string Characters(std::string_view bytes, std::size_t palette) {
    std::u32string out;
    for (char c : bytes) {
        out.push_back(kCharacters[static_cast<unsigned char>(c) % palette]);
    }
    return out;
}

std::string Utf8Of(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

std::string FileOf(std::u32string_view text, norvik::filedeal::EncodingKind kind) {
    using norvik::filedeal::EncodingKind;
    if (kind != EncodingKind::Utf16Le) {
        return (kind == EncodingKind::Utf8Bom ? "\xEF\xBB\xBF" : "") + Utf8Of(text);
    }
    std::string out = "\xFF\xFE";
    const auto unit = [&out](char32_t u) {
        out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    };
    for (char32_t c : text) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

char32_t FoldLetter(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - 32 : c;
}

// Replaces left to right, character by character: ASCII letters fold when case is ignored, nothing
// else ever does, and no character is ever cut.
std::u32string CharacterReplaceAll(std::u32string_view text, std::u32string_view find, std::u32string_view with,
                                   bool ignoreCase) {
    if (find.empty()) {
        return std::u32string(text);
    }
    const auto matches = [&](std::size_t at) {
        for (std::size_t k = 0; k < find.size(); ++k) {
            const char32_t a = text[at + k];
            const char32_t b = find[k];
            if (ignoreCase ? FoldLetter(a) != FoldLetter(b) : a != b) {
                return false;
            }
        }
        return true;
    };
    std::u32string out;
    std::size_t at = 0;
    while (at < text.size()) {
        if (at + find.size() <= text.size() && matches(at)) {
            out += with;
            at += find.size();
        } else {
            out.push_back(text[at++]);
        }
    }
    return out;
}

std::vector<std::u32string> CharacterSpans(std::u32string_view text, std::u32string_view start,
                                           std::u32string_view end) {
    std::vector<std::u32string> spans;
    if (start.empty() || end.empty()) {
        return spans;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t s = text.find(start, from);
        const std::size_t e = s == std::u32string_view::npos ? s : text.find(end, s + start.size());
        if (e == std::u32string_view::npos) {
            return spans;
        }
        spans.emplace_back(text.substr(s, e + end.size() - s));
        from = e + end.size();
    }
}

// Editing a Unicode file in Unicode (decode to the working text, apply, encode in the text's own
// set) against the same edit done character by character; and, when the text survives the code
// page, against the edit through the code page as it has always been made.
void CheckEditingInUnicode(std::string_view findBytes, std::string_view withBytes, std::string_view textBytes,
                           unsigned char flags) {
    using namespace norvik::filedeal;
    const EncodingKind kinds[] = {EncodingKind::Utf8, EncodingKind::Utf8Bom, EncodingKind::Utf16Le};
    const EncodingKind kind = kinds[(flags >> 2) % 3];
    const bool ignoreCase = (flags & 32) != 0;
    const std::u32string find = Characters(findBytes, kCodePageCharacters);
    const std::u32string with = Characters(withBytes, kCodePageCharacters);
    const std::u32string text = Characters(textBytes, std::size(kCharacters));
    const std::string findText = Utf8ToCodePage(Utf8Of(find));
    const std::string withText = Utf8ToCodePage(Utf8Of(with));
    NORVIK_FUZZ_CHECK(IsWholeCharacters(findText) && IsWholeCharacters(withText));

    TextFacts facts;
    const std::string working = DecodeText(FileOf(text, kind), kind, &facts);
    NORVIK_FUZZ_CHECK(facts.decodes && facts.exact);
    const auto written = [&](const std::string& edited) {
        EncodedText encoded = EncodeText(edited, kind, facts.set());
        NORVIK_FUZZ_CHECK(encoded.exact);
        return std::move(encoded.bytes);
    };
    // The search finds the text at any byte, as ever, but never from inside a code: walking the
    // working text character by character tells where codes are.
    std::vector<bool> insideCode(working.size(), false);
    for (std::size_t i = 0; i < working.size();) {
        const bool lead = IsLead(working[i]) && i + 1 < working.size();
        const bool code = lead && working[i + 1] >= '0' && working[i + 1] <= '9';
        for (std::size_t k = 1; code && k < 4; ++k) {
            insideCode[i + k] = true;
        }
        i += code ? 4 : lead ? 2 : 1;
    }
    bool found = false;
    for (std::size_t at = working.find(findText); !findText.empty() && at != std::string::npos && !found;
         at = working.find(findText, at + 1)) {
        found = !insideCode[at];
    }
    NORVIK_FUZZ_CHECK((FindAnywhere(working, findText, facts.set()) != std::string::npos) == found);
    if (!find.empty() && text.find(find) != std::u32string::npos) {
        NORVIK_FUZZ_CHECK(found);
    }

    std::string replaced = working;
    ReplaceAll(replaced, findText, withText, ignoreCase);
    const std::u32string expected = CharacterReplaceAll(text, find, with, ignoreCase);
    NORVIK_FUZZ_CHECK(written(replaced) == FileOf(expected, kind));

    // Spans from the find text to the replacement, replaced by the find text; and extracted.
    std::vector<std::string> spans;
    CollectSpans(working, findText, withText, spans);
    const std::vector<std::u32string> expectedSpans = CharacterSpans(text, find, with);
    NORVIK_FUZZ_CHECK(spans.size() == expectedSpans.size());
    std::u32string extracted;
    std::u32string spansReplaced = text;
    for (const std::u32string& span : expectedSpans) {
        extracted += span + U"\r\n";
        if (spansReplaced.size() < 4096) {
            spansReplaced = CharacterReplaceAll(spansReplaced, span, find, false);
        }
    }
    NORVIK_FUZZ_CHECK(written(ExtractSpans(spans)) == FileOf(extracted, kind));
    if (spansReplaced.size() < 4096) {
        std::string viaRule = working;
        ReplaceSpanRule(viaRule, findText, withText, findText);
        NORVIK_FUZZ_CHECK(written(viaRule) == FileOf(spansReplaced, kind));
    }

    // Nothing moves for a text the code page holds: the window's way through the code page agrees.
    if (!facts.beyondCodePage) {
        bool held = false;
        std::string viaCodePage = Utf8ToCodePage(Utf8Of(text), &held);
        NORVIK_FUZZ_CHECK(held && viaCodePage == working);
        ReplaceAll(viaCodePage, findText, withText, ignoreCase);
        NORVIK_FUZZ_CHECK(CodePageToUtf8(viaCodePage) == Utf8Of(expected));
    }
}

// The rules' filter, as a job judges a file while it is read: the text written in each encoding and
// fed in pieces (of one size the input picks, with a cut inside the first place the find text's bytes
// occur) gives the kind and verdict of the whole bytes, and a file it rules out has nothing to replace.
void CheckJudgedInPieces(const std::string& find, const std::string& replacement, const std::string& text,
                         unsigned char flags) {
    using namespace norvik::filedeal;
    const bool ignoreCase = (flags & 4) != 0;
    const RawTextFilter filter({find, replacement}, RawTextFilter::Place::CharacterStart, ignoreCase);
    const std::size_t piece = 1 + (flags >> 4) % 9;
    for (const EncodingKind written :
         {EncodingKind::Ansi, EncodingKind::Utf16Le, EncodingKind::Utf8Bom, EncodingKind::Utf8}) {
        const std::string bytes = EncodeText(text, written, CharacterSet::CodePage).bytes;
        const EncodingKind kind = DetectEncodingOfBytes(bytes);
        bool exact = true;
        const std::string encodedFind = written == EncodingKind::Utf16Le ? CodePageToUtf16Le(find, &exact)
                                        : written == EncodingKind::Ansi  ? find
                                                                         : CodePageToUtf8(find, &exact);
        const std::size_t cut = encodedFind.size() > 1 ? bytes.find(encodedFind) : std::string::npos;
        RawJudgement judgement(filter);
        std::string_view rest(bytes);
        if (cut != std::string::npos) {
            judgement.feed(rest.substr(0, cut + 1));
            rest.remove_prefix(cut + 1);
        }
        for (; !rest.empty(); rest.remove_prefix(std::min(piece, rest.size()))) {
            judgement.feed(rest.substr(0, piece));
        }
        judgement.finish();
        NORVIK_FUZZ_CHECK(judgement.kind() == kind);
        const RawVerdict verdict = filter.judge(bytes, kind);
        NORVIK_FUZZ_CHECK(judgement.verdict() == verdict);
        std::string out;
        NORVIK_FUZZ_CHECK(verdict != RawVerdict::Lacks ||
                          !ReplaceAllTo(DecodeText(bytes, kind), find, "", ignoreCase, out));
    }
}

// Replacing in a Unicode file's own bytes against the way through the working text: the file is the
// input's bytes (broken forms, odd lengths and surrogates included) behind a mark or none; the rules
// are the find text to the replacement and, seeing that rule's output, the replacement to the find
// text reversed. Declined exactly when that way could not write the file back as it read it.
void CheckReplacedInBytes(const std::string& find, const std::string& replacement, std::string_view body,
                          unsigned char flags) {
    using namespace norvik::filedeal;
    const std::string marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE"};
    const std::string bytes = marks[(flags >> 1) % 3] + std::string(body);
    const std::vector<norvik::rules::NormalRule> rules = {{find, replacement},
                                                          {replacement, std::string(find.rbegin(), find.rend())}};
    const RawRuleReplacer replacer = norvik::rules::RawReplacerForRules(rules);
    const EncodingKind kind = DetectEncodingOfBytes(bytes);
    std::string raw = bytes;
    const RawRuleReplacer::Outcome outcome = replacer.apply(raw, kind);
    TextFacts facts;
    const std::string text = DecodeText(bytes, kind, &facts);
    const bool canDecline = !replacer.usable() || kind == EncodingKind::Ansi || !facts.decodes || !facts.exact;
    NORVIK_FUZZ_CHECK((outcome == RawRuleReplacer::Outcome::Declined) == canDecline);
    if (outcome == RawRuleReplacer::Outcome::Declined) {
        NORVIK_FUZZ_CHECK(raw == bytes);
        return;
    }
    std::string viaText;
    const bool changed = norvik::rules::ApplyNormalRules(text, viaText, rules, false) && viaText != text;
    NORVIK_FUZZ_CHECK((outcome == RawRuleReplacer::Outcome::Changed) == changed);
    if (changed) {
        const EncodedText encoded = EncodeText(viaText, kind, facts.set());
        NORVIK_FUZZ_CHECK(encoded.exact && encoded.bytes == raw);
    } else {
        NORVIK_FUZZ_CHECK(raw == bytes);
    }
    // One rule alone, which is applied in place where its replacement is no longer than its find.
    const RawRuleReplacer single = norvik::rules::RawReplacerForRules({rules.front()});
    std::string alone = bytes;
    if (single.apply(alone, kind) == RawRuleReplacer::Outcome::Changed) {
        std::string once;
        NORVIK_FUZZ_CHECK(ReplaceAllTo(text, find, replacement, false, once));
        NORVIK_FUZZ_CHECK(EncodeText(once, kind, facts.set()).bytes == alone);
    } else {
        NORVIK_FUZZ_CHECK(alone == bytes);
    }
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
        if (!ignoreCase) {
            // In place, for the replacement cut to the find's length at most.
            const std::string_view shorter = std::string_view(replacement).substr(0, find.size());
            std::string inPlace = text;
            const std::size_t count = ReplaceAllInPlace(inPlace, find, shorter);
            std::string copied;
            NORVIK_FUZZ_CHECK((count > 0) == ReplaceAllTo(text, find, shorter, false, copied));
            NORVIK_FUZZ_CHECK(inPlace == (count > 0 ? copied : text));
        }
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

    CheckEditingInUnicode(find, replacement, text, flags);
    CheckJudgedInPieces(find, replacement, text, flags);
    CheckReplacedInBytes(find, replacement, in.rest(), flags);
    return 0;
}

#include "job/ChangePreview.h"

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "filedeal/Replace.h"
#include "job/LoadedFile.h"
#include "rules/RuleApply.h"

namespace norvik::job {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf16LeToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    const auto unit = [&bytes](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char16_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
    if (i < bytes.size()) {
        AppendUtf8(out, 0xFFFD); // an odd last byte
    }
    return out;
}

/// Applies the rules one at a time, counting what each rule replaces. The count of a normal rule
/// does not depend on its replacement (inserted text is never searched again), so it is the change
/// in length over the difference of the two lengths; a rule whose replacement is as long as its find
/// text is counted by how much shorter the text gets without its matches. Each pass writes one new
/// text and lets the old one go: a large file is held twice at most.
std::size_t ApplyCounting(std::string& text, const ParsedRuleLists& lists, settings::ReplaceMode mode,
                          bool ignoreCase) {
    std::size_t count = 0;
    if (mode == settings::ReplaceMode::Normal) {
        std::string next;
        for (const rules::NormalRule& rule : lists.normal) {
            const std::size_t length = text.size();
            const std::size_t findSize = rule.find.size();
            const std::size_t replacementSize = rule.replacement.size();
            const bool sameSize = findSize == replacementSize;
            if (filedeal::ReplaceAllTo(text, rule.find, sameSize ? std::string_view() : rule.replacement, ignoreCase,
                                       next)) {
                const std::size_t step = sameSize                     ? findSize
                                         : findSize > replacementSize ? findSize - replacementSize
                                                                      : replacementSize - findSize;
                count += (next.size() > length ? next.size() - length : length - next.size()) / step;
                if (sameSize) {
                    std::string().swap(next);
                    filedeal::ReplaceAll(text, rule.find, rule.replacement, ignoreCase);
                } else {
                    text.swap(next);
                }
            }
            std::string().swap(next);
        }
        return count;
    }
    const bool extract = mode == settings::ReplaceMode::Extract;
    std::vector<std::string> spans;
    for (const rules::FeatureRule& rule : extract ? lists.extract : lists.feature) {
        filedeal::CollectSpans(text, rule.start, rule.end, spans);
        // Extraction keeps what its last rule extracts; replacement adds up every rule's.
        count = extract ? spans.size() : count + spans.size();
        rules::ApplyFeatureRules(text, {rule}, extract);
    }
    return count;
}

/// FileBytesAsUtf8 that hands UTF-8 bytes on without a copy.
std::string BytesAsUtf8(std::string&& bytes, filedeal::EncodingKind kind) {
    if (kind == filedeal::EncodingKind::Ansi || kind == filedeal::EncodingKind::Utf16Le) {
        return FileBytesAsUtf8(bytes, kind);
    }
    return std::move(bytes);
}

} // namespace

std::string FileBytesAsUtf8(const std::string& bytes, filedeal::EncodingKind kind) {
    switch (kind) {
    case filedeal::EncodingKind::Ansi:
        return filedeal::CodePageToUtf8(bytes);
    case filedeal::EncodingKind::Utf16Le:
        return Utf16LeToUtf8(bytes);
    default:
        return bytes;
    }
}

FileChange PreviewFileChange(const std::string& path, const ParsedRuleLists& lists, settings::ReplaceMode mode,
                             bool ignoreCase) {
    FileChange change;
    std::string bytes;
    try {
        bytes = filedeal::ReadRegularFileBytes(path);
    } catch (const std::exception&) {
        return change;
    }
    change.readable = true;
    change.kind = filedeal::DetectEncodingOfBytes(bytes);
    change.binary = IsBinary(bytes, change.kind);
    filedeal::TextFacts facts;
    std::string next = filedeal::DecodeText(bytes, change.kind, &facts);
    if (!facts.decodes) {
        change.decodes = false;
        return change;
    }
    change.replacements = ApplyCounting(next, lists, mode, ignoreCase);
    const bool extract = mode == settings::ReplaceMode::Extract;
    // A large file's change is diffed next: the text is decoded again for the comparison rather than
    // kept beside the new one, and each copy is let go as soon as it has served, so no more than the
    // bytes and two texts are ever held.
    change.changed =
        extract ? !next.empty() : change.replacements > 0 && next != filedeal::DecodeText(bytes, change.kind);
    if (!change.changed) {
        std::string().swap(next);
        change.before = BytesAsUtf8(std::move(bytes), change.kind);
        change.after = change.before;
        return change;
    }
    auto [encoded, exact] = filedeal::EncodeText(next, change.kind, facts.set());
    std::string().swap(next);
    if (change.kind != filedeal::EncodingKind::Ansi) {
        // The run's decision: the text must give its bytes back, and one holding characters beyond
        // the code page is edited by rules of whole characters only.
        change.wholeCharacterRules = !facts.beyondCodePage || RulesAreWholeCharacters(lists, mode);
        change.representable = exact && facts.exact && change.wholeCharacterRules;
    }
    if (!extract) {
        change.before = BytesAsUtf8(std::move(bytes), change.kind);
    }
    std::string().swap(bytes);
    change.after = BytesAsUtf8(std::move(encoded), change.kind);
    return change;
}

} // namespace norvik::job

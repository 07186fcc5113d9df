#include "job/ChangePreview.h"

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "filedeal/PathNames.h"
#include "filedeal/Replace.h"
#include "job/ReadAhead.h"
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
/// does not depend on its replacement (inserted text is never searched again), so it is the growth
/// of the text when the rule inserts one byte more than it finds.
std::size_t ApplyCounting(std::string& text, const ParsedRuleLists& lists, settings::ReplaceMode mode,
                          bool ignoreCase) {
    std::size_t count = 0;
    if (mode == settings::ReplaceMode::Normal) {
        std::string probe;
        for (const rules::NormalRule& rule : lists.normal) {
            if (filedeal::ReplaceAllTo(text, rule.find, std::string(rule.find.size() + 1, 'x'), ignoreCase, probe)) {
                count += probe.size() - text.size();
            }
            filedeal::ReplaceAll(text, rule.find, rule.replacement, ignoreCase);
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
    const std::string text = filedeal::DecodeText(bytes, change.kind, &facts);
    if (!facts.decodes) {
        change.decodes = false;
        return change;
    }
    std::string next = text;
    change.replacements = ApplyCounting(next, lists, mode, ignoreCase);
    const bool extract = mode == settings::ReplaceMode::Extract;
    change.changed = extract ? !next.empty() : next != text;
    if (!change.changed) {
        change.before = change.after = FileBytesAsUtf8(bytes, change.kind);
        return change;
    }
    bool exact = true;
    const std::string encoded = filedeal::EncodeText(next, change.kind, &exact, facts.set());
    if (change.kind != filedeal::EncodingKind::Ansi) {
        // The run's decision: the text must give its bytes back, and one holding characters beyond
        // the code page is edited by rules of whole characters only.
        change.wholeCharacterRules = !facts.beyondCodePage || RulesAreWholeCharacters(lists, mode);
        change.representable = exact && facts.exact && change.wholeCharacterRules;
    }
    if (!extract) {
        change.before = FileBytesAsUtf8(bytes, change.kind);
    }
    change.after = FileBytesAsUtf8(encoded, change.kind);
    return change;
}

std::string ForeseenFailureText(const std::string& source, const std::string& target, const ParsedRuleLists& lists,
                                const settings::ReplaceOptions& options) {
    const FileChange change = PreviewFileChange(source, lists, options.mode, options.ignoreCase);
    if (!change.readable) {
        return "无法读取";
    }
    if (change.binary) {
        return "二进制文件，不会改写";
    }
    if (!change.representable) {
        return "新文本含有该文件编码无法保存的字符";
    }
    if (options.outputToFolder) {
        // The run makes one level of the output folder, so it fails only when the folder's parent is missing too.
        const std::string folder = filedeal::WithoutTrailingSlash(options.outputFolder);
        if (folder.empty() ||
            (!filedeal::FolderExists(folder) && !filedeal::FolderExists(filedeal::ParentFolderOf(folder)))) {
            return "无法创建输出目录";
        }
    }
    if (filedeal::FileExists(target) && filedeal::IsReadOnly(target)) {
        return "只读文件";
    }
    return "无法写入";
}

} // namespace norvik::job

#include "rules/RuleFile.h"

#include "filedeal/FileOps.h"

namespace norvik::rules {

RuleFileKind RuleFileKindOf(std::string_view fileName) noexcept {
    if (fileName.size() < 3) {
        return RuleFileKind::None;
    }
    const std::string_view tail = fileName.substr(fileName.size() - 3);
    if (tail == "nrr") {
        return RuleFileKind::Normal;
    }
    if (tail == "crr") {
        return RuleFileKind::Feature;
    }
    return RuleFileKind::None;
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(bytes.substr(start, i - start));
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) {
        lines.emplace_back(bytes.substr(start));
    }
    return lines;
}

RuleList ReadRuleLines(const std::filesystem::path& path) {
    return SplitTextLines(filedeal::ReadFileBytes(path));
}

std::vector<NormalRule> ReadNormalRuleFile(const std::filesystem::path& path) {
    std::vector<NormalRule> rules;
    for (const auto& line : ReadRuleLines(path)) {
        NormalRule rule;
        if (ParseNormalRuleLine(line, rule)) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

std::vector<FeatureRule> ReadFeatureRuleFile(const std::filesystem::path& path) {
    std::vector<FeatureRule> rules;
    for (const auto& line : ReadRuleLines(path)) {
        FeatureRule rule;
        if (ParseFeatureRuleLine(line, rule)) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

std::string RuleFileBytes(const RuleList& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

bool WriteNormalRuleFile(const std::filesystem::path& path, const std::vector<NormalRule>& rules) noexcept {
    try {
        RuleList lines;
        lines.reserve(rules.size());
        for (const auto& rule : rules) {
            lines.push_back(MakeNormalRuleLine(rule));
        }
        return filedeal::WriteFileAtomic(path, RuleFileBytes(lines));
    } catch (...) {
        return false;
    }
}

bool WriteFeatureRuleFile(const std::filesystem::path& path, const std::vector<FeatureRule>& rules) noexcept {
    try {
        RuleList lines;
        lines.reserve(rules.size());
        for (const auto& rule : rules) {
            lines.push_back(MakeFeatureRuleLine(rule));
        }
        return filedeal::WriteFileAtomic(path, RuleFileBytes(lines));
    } catch (...) {
        return false;
    }
}

} // namespace norvik::rules

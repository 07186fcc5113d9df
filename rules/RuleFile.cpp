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
    return SplitTextLines(filedeal::ReadSmallFileBytes(path));
}

namespace {

// Reads the rules of one kind; lines with too few fields for it are skipped.
template <typename Rule, typename Parse> std::vector<Rule> ReadRules(const std::filesystem::path& path, Parse parse) {
    std::vector<Rule> rules;
    for (const auto& line : ReadRuleLines(path)) {
        Rule rule;
        if (parse(line, rule)) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

template <typename Rule, typename Make>
bool WriteRules(const std::filesystem::path& path, const std::vector<Rule>& rules, Make make) noexcept {
    try {
        RuleList lines;
        lines.reserve(rules.size());
        for (const auto& rule : rules) {
            lines.push_back(make(rule));
        }
        return filedeal::WriteFileAtomic(path, RuleFileBytes(lines));
    } catch (...) {
        return false;
    }
}

} // namespace

std::vector<NormalRule> ReadNormalRuleFile(const std::filesystem::path& path) {
    return ReadRules<NormalRule>(
        path, [](std::string_view line, NormalRule& rule) { return ParseNormalRuleLine(line, rule); });
}

std::vector<FeatureRule> ReadFeatureRuleFile(const std::filesystem::path& path) {
    return ReadRules<FeatureRule>(
        path, [](std::string_view line, FeatureRule& rule) { return ParseFeatureRuleLine(line, rule); });
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
    return WriteRules(path, rules, [](const NormalRule& rule) { return MakeNormalRuleLine(rule); });
}

bool WriteFeatureRuleFile(const std::filesystem::path& path, const std::vector<FeatureRule>& rules) noexcept {
    return WriteRules(path, rules, [](const FeatureRule& rule) { return MakeFeatureRuleLine(rule); });
}

} // namespace norvik::rules

// Rule files on arbitrary bytes: line splitting against a reference, line parsing against the field
// split, and the writer's output reading back as the same rules (in memory and through a file).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "filedeal/FileOps.h"
#include "filedeal/HexText.h"
#include "rules/RuleApply.h"
#include "rules/RuleFile.h"
#include "rules/RuleLine.h"

namespace {

using norvik::rules::FeatureRule;
using norvik::rules::NormalRule;

// CR LF, a lone CR and a lone LF each end a line; a break at the very end starts no further line.
std::vector<std::string> ReferenceLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += c;
            open = true;
        }
    }
    if (open) {
        lines.push_back(line);
    }
    return lines;
}

std::string NormalBytes(const std::vector<NormalRule>& rules) {
    norvik::rules::RuleList lines;
    for (const auto& rule : rules) {
        lines.push_back(norvik::rules::MakeNormalRuleLine(rule));
    }
    return norvik::rules::RuleFileBytes(lines);
}

std::string FeatureBytes(const std::vector<FeatureRule>& rules) {
    norvik::rules::RuleList lines;
    for (const auto& rule : rules) {
        lines.push_back(norvik::rules::MakeFeatureRuleLine(rule));
    }
    return norvik::rules::RuleFileBytes(lines);
}

std::vector<NormalRule> ParseNormal(std::string_view bytes) {
    std::vector<NormalRule> rules;
    for (const auto& line : norvik::rules::SplitTextLines(bytes)) {
        NormalRule rule;
        if (norvik::rules::ParseNormalRuleLine(line, rule)) {
            rules.push_back(rule);
        }
    }
    return rules;
}

std::vector<FeatureRule> ParseFeature(std::string_view bytes) {
    std::vector<FeatureRule> rules;
    for (const auto& line : norvik::rules::SplitTextLines(bytes)) {
        FeatureRule rule;
        if (norvik::rules::ParseFeatureRuleLine(line, rule)) {
            rules.push_back(rule);
        }
    }
    return rules;
}

// Writes both kinds of rule file and reads them back through the file system.
void CheckThroughFiles(const std::vector<NormalRule>& normal, const std::vector<FeatureRule>& feature) {
    const auto folder = norvik::fuzz::ScratchFolder();
    const auto normalPath = folder / "rules.nrr";
    const auto featurePath = folder / "rules.crr";
    NORVIK_FUZZ_CHECK(norvik::rules::WriteNormalRuleFile(normalPath, normal));
    NORVIK_FUZZ_CHECK(norvik::rules::WriteFeatureRuleFile(featurePath, feature));
    NORVIK_FUZZ_CHECK(norvik::filedeal::ReadFileBytes(normalPath) == NormalBytes(normal));
    NORVIK_FUZZ_CHECK(norvik::rules::ReadNormalRuleFile(normalPath) == normal);
    NORVIK_FUZZ_CHECK(norvik::rules::ReadFeatureRuleFile(featurePath) == feature);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace norvik::filedeal;
    using namespace norvik::rules;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // 1. The input as a rule file as it lies on disk.
    const std::vector<std::string> lines = SplitTextLines(input);
    NORVIK_FUZZ_CHECK(lines == ReferenceLines(input));
    std::vector<NormalRule> normal;
    std::vector<FeatureRule> feature;
    for (const auto& line : lines) {
        const std::vector<std::string> fields = SplitRuleLine(line);
        NormalRule n{"untouched", "untouched"};
        const bool isNormal = ParseNormalRuleLine(line, n);
        NORVIK_FUZZ_CHECK(isNormal == (fields.size() >= 2));
        if (isNormal) {
            NORVIK_FUZZ_CHECK(n.find == HexToText(fields[0]) && n.replacement == HexToText(fields[1]));
            normal.push_back(n);
        } else {
            NORVIK_FUZZ_CHECK(n.find == "untouched" && n.replacement == "untouched");
        }
        FeatureRule f{"untouched", "untouched", "untouched"};
        const bool isFeature = ParseFeatureRuleLine(line, f);
        NORVIK_FUZZ_CHECK(isFeature == (fields.size() >= 3));
        if (isFeature) {
            NORVIK_FUZZ_CHECK(f.start == HexToText(fields[0]) && f.end == HexToText(fields[1]) &&
                              f.replacement == HexToText(fields[2]));
            feature.push_back(f);
        } else {
            NORVIK_FUZZ_CHECK(f.start == "untouched" && f.end == "untouched" && f.replacement == "untouched");
        }
    }
    // A run decodes the lines once and keeps exactly the rules that can apply: an empty find, start
    // or end (a field that is not hex decodes empty) never finds anything.
    std::vector<NormalRule> applicableNormal;
    for (const NormalRule& n : normal) {
        if (!n.find.empty()) {
            applicableNormal.push_back(n);
        }
    }
    std::vector<FeatureRule> applicableFeature;
    for (const FeatureRule& f : feature) {
        if (!f.start.empty() && !f.end.empty()) {
            applicableFeature.push_back(f);
        }
    }
    NORVIK_FUZZ_CHECK(ParseNormalRules(lines) == applicableNormal);
    NORVIK_FUZZ_CHECK(ParseFeatureRules(lines) == applicableFeature);
    // What the editor would save from those rules reads back as the same rules.
    NORVIK_FUZZ_CHECK(ParseNormal(NormalBytes(normal)) == normal);
    NORVIK_FUZZ_CHECK(ParseFeature(FeatureBytes(feature)) == feature);

    // 2. The input as rule texts: every byte 0xFF ends a text, so texts hold any other byte (line
    // breaks, ";", quotes, blanks, zeros, double-byte characters).
    std::vector<std::string> texts(1);
    for (char c : input) {
        if (static_cast<unsigned char>(c) == 0xFF) {
            texts.emplace_back();
        } else {
            texts.back() += c;
        }
    }
    std::vector<NormalRule> madeNormal;
    std::vector<FeatureRule> madeFeature;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        const std::string& next = texts[(k + 1) % texts.size()];
        const std::string& third = texts[(k + 2) % texts.size()];
        madeNormal.push_back({texts[k], next});
        madeFeature.push_back({texts[k], next, third});
        const RuleLine line = MakeNormalRuleLine(madeNormal.back());
        NORVIK_FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        NormalRule back;
        NORVIK_FUZZ_CHECK(ParseNormalRuleLine(line, back) && back == madeNormal.back());
        FeatureRule backFeature;
        NORVIK_FUZZ_CHECK(ParseFeatureRuleLine(MakeFeatureRuleLine(madeFeature.back()), backFeature) &&
                          backFeature == madeFeature.back());
    }
    NORVIK_FUZZ_CHECK(ParseNormal(NormalBytes(madeNormal)) == madeNormal);
    NORVIK_FUZZ_CHECK(ParseFeature(FeatureBytes(madeFeature)) == madeFeature);

    // 3. The same through real files, for a share of the inputs (the file system is slow next to
    // the parsers).
    if (size > 0 && data[0] % 8 == 0) {
        CheckThroughFiles(madeNormal, madeFeature);
        CheckThroughFiles(normal, feature);
    }
    return 0;
}

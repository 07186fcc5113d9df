#pragma once
// One rule as hex fields joined by ";", and the rule records behind them.
#include <string>
#include <string_view>
#include <vector>

namespace norvik::rules {

/// One rule line: hex fields joined by ";" (no line break).
using RuleLine = std::string;
/// The ordered rule lines a job applies.
using RuleList = std::vector<RuleLine>;

struct NormalRule {
    std::string find;
    std::string replacement;
    bool operator==(const NormalRule&) const = default;
};

struct FeatureRule {
    std::string start;
    std::string end;
    std::string replacement;
    bool operator==(const FeatureRule&) const = default;
};

/// The fields of a line (the list reading rule); an empty line has no field.
[[nodiscard]] std::vector<std::string> SplitRuleLine(std::string_view line);

/// "hex(find);hex(replacement)".
[[nodiscard]] RuleLine MakeNormalRuleLine(const NormalRule& rule);
/// "hex(start);hex(end);hex(replacement)".
[[nodiscard]] RuleLine MakeFeatureRuleLine(const FeatureRule& rule);

/// Decodes a normal line; false (rule untouched) when it has fewer than two fields.
[[nodiscard]] bool ParseNormalRuleLine(std::string_view line, NormalRule& rule);
/// Decodes a feature line; false (rule untouched) when it has fewer than three fields.
[[nodiscard]] bool ParseFeatureRuleLine(std::string_view line, FeatureRule& rule);

} // namespace norvik::rules

#include "rules/RuleLine.h"

#include "rules/HexText.h"
#include "rules/SemicolonList.h"

namespace norvik::rules {

std::vector<std::string> SplitRuleLine(std::string_view line) {
    return ReadSemicolonList(line);
}

RuleLine MakeNormalRuleLine(const NormalRule& rule) {
    return TextToHex(rule.find) + ";" + TextToHex(rule.replacement);
}

RuleLine MakeFeatureRuleLine(const FeatureRule& rule) {
    return TextToHex(rule.start) + ";" + TextToHex(rule.end) + ";" + TextToHex(rule.replacement);
}

bool ParseNormalRuleLine(std::string_view line, NormalRule& rule) {
    const auto fields = SplitRuleLine(line);
    if (fields.size() < 2) {
        return false;
    }
    rule.find = HexToText(fields[0]);
    rule.replacement = HexToText(fields[1]);
    return true;
}

bool ParseFeatureRuleLine(std::string_view line, FeatureRule& rule) {
    const auto fields = SplitRuleLine(line);
    if (fields.size() < 3) {
        return false;
    }
    rule.start = HexToText(fields[0]);
    rule.end = HexToText(fields[1]);
    rule.replacement = HexToText(fields[2]);
    return true;
}

} // namespace norvik::rules

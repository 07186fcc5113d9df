#include "rules/RuleLine.h"

#include "filedeal/HexText.h"
#include "filedeal/SemicolonList.h"

namespace norvik::rules {

std::vector<std::string> SplitRuleLine(std::string_view line) {
    return filedeal::ReadSemicolonList(line);
}

RuleLine MakeNormalRuleLine(const NormalRule& rule) {
    return filedeal::TextToHex(rule.find) + ";" + filedeal::TextToHex(rule.replacement);
}

RuleLine MakeFeatureRuleLine(const FeatureRule& rule) {
    return filedeal::TextToHex(rule.start) + ";" + filedeal::TextToHex(rule.end) + ";" +
           filedeal::TextToHex(rule.replacement);
}

bool ParseNormalRuleLine(std::string_view line, NormalRule& rule) {
    const auto fields = SplitRuleLine(line);
    if (fields.size() < 2) {
        return false;
    }
    rule.find = filedeal::HexToText(fields[0]);
    rule.replacement = filedeal::HexToText(fields[1]);
    return true;
}

bool ParseFeatureRuleLine(std::string_view line, FeatureRule& rule) {
    const auto fields = SplitRuleLine(line);
    if (fields.size() < 3) {
        return false;
    }
    rule.start = filedeal::HexToText(fields[0]);
    rule.end = filedeal::HexToText(fields[1]);
    rule.replacement = filedeal::HexToText(fields[2]);
    return true;
}

} // namespace norvik::rules

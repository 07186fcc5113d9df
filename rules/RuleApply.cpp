#include "rules/RuleApply.h"

#include <vector>

#include "filedeal/HexText.h"
#include "filedeal/Replace.h"

namespace norvik::rules {

void ApplyNormalRules(std::string& text, const RuleList& list, bool ignoreCase) {
    for (const auto& line : list) {
        const auto fields = SplitRuleLine(line);
        if (fields.size() < 2) {
            continue; // a hand-edited line without its replacement field is never applied
        }
        const std::string replacement = filedeal::HexToText(fields[1]);
        const std::string find = filedeal::HexToText(fields[0]);
        filedeal::ReplaceAll(text, find, replacement, ignoreCase);
    }
}

bool ApplyNormalRules(const std::string& text, std::string& out, const RuleList& list, bool ignoreCase) {
    bool replaced = false;
    std::string next;
    for (const auto& line : list) {
        const auto fields = SplitRuleLine(line);
        if (fields.size() < 2) {
            continue;
        }
        const std::string replacement = filedeal::HexToText(fields[1]);
        const std::string find = filedeal::HexToText(fields[0]);
        if (filedeal::ReplaceAllTo(replaced ? out : text, find, replacement, ignoreCase, next)) {
            out.swap(next);
            replaced = true;
        }
    }
    return replaced;
}

void ApplyFeatureRules(std::string& text, const RuleList& list, bool extract, const YieldFn& yield) {
    std::vector<std::string> spans;
    for (const auto& line : list) {
        if (yield) {
            yield();
        }
        const auto fields = SplitRuleLine(line);
        if (fields.size() < 3) {
            continue;
        }
        const std::string start = filedeal::HexToText(fields[0]);
        const std::string end = filedeal::HexToText(fields[1]);
        const std::string replacement = filedeal::HexToText(fields[2]);
        if (start.empty() || end.empty()) {
            continue;
        }
        if (extract) {
            filedeal::CollectSpans(text, start, end, spans);
            text = filedeal::ExtractSpans(spans);
            continue;
        }
        filedeal::ReplaceSpanRule(text, start, end, replacement, yield);
    }
}

filedeal::RawTextFilter FilterForRules(const RuleList& list, bool feature, bool ignoreCase) {
    // A rule whose text does not occur changes nothing, so the rules before a rule that finds
    // something leave the text as it was: a file none of the texts occurs in stays unchanged.
    std::vector<std::string> texts;
    for (const auto& line : list) {
        const auto fields = SplitRuleLine(line);
        if (fields.size() < (feature ? 3U : 2U)) {
            continue; // never applied
        }
        if (feature && filedeal::HexToText(fields[1]).empty()) {
            continue; // a rule without an end is skipped
        }
        texts.push_back(filedeal::HexToText(fields[0]));
    }
    return filedeal::RawTextFilter(
        texts, feature ? filedeal::RawTextFilter::Place::Anywhere : filedeal::RawTextFilter::Place::CharacterStart,
        feature ? false : ignoreCase);
}

} // namespace norvik::rules

#include "filedeal/RuleApply.h"

#include <vector>

#include "filedeal/Replace.h"
#include "rules/HexText.h"

namespace norvik::filedeal {

void ApplyNormalRules(std::string& text, const rules::RuleList& list, bool ignoreCase) {
    for (const auto& line : list) {
        const auto fields = rules::SplitRuleLine(line);
        if (fields.size() < 2) {
            continue; // a hand-edited line without its replacement field is never applied
        }
        const std::string replacement = rules::HexToText(fields[1]);
        const std::string find = rules::HexToText(fields[0]);
        ReplaceAll(text, find, replacement, ignoreCase);
    }
}

bool ApplyNormalRules(const std::string& text, std::string& out, const rules::RuleList& list, bool ignoreCase) {
    bool replaced = false;
    std::string next;
    for (const auto& line : list) {
        const auto fields = rules::SplitRuleLine(line);
        if (fields.size() < 2) {
            continue;
        }
        const std::string replacement = rules::HexToText(fields[1]);
        const std::string find = rules::HexToText(fields[0]);
        if (ReplaceAllTo(replaced ? out : text, find, replacement, ignoreCase, next)) {
            out.swap(next);
            replaced = true;
        }
    }
    return replaced;
}

void ApplyFeatureRules(std::string& text, const rules::RuleList& list, bool extract, const YieldFn& yield) {
    std::vector<std::string> spans;
    for (const auto& line : list) {
        if (yield) {
            yield();
        }
        const auto fields = rules::SplitRuleLine(line);
        if (fields.size() < 3) {
            continue;
        }
        const std::string start = rules::HexToText(fields[0]);
        const std::string end = rules::HexToText(fields[1]);
        const std::string replacement = rules::HexToText(fields[2]);
        if (start.empty() || end.empty()) {
            continue;
        }
        if (extract) {
            CollectSpans(text, start, end, spans);
            text = ExtractSpans(spans);
            continue;
        }
        ReplaceSpanRule(text, start, end, replacement, yield);
    }
}

RawTextFilter FilterForRules(const rules::RuleList& list, bool feature, bool ignoreCase) {
    // A rule whose text does not occur changes nothing, so the rules before a rule that finds
    // something leave the text as it was: a file none of the texts occurs in stays unchanged.
    std::vector<std::string> texts;
    for (const auto& line : list) {
        const auto fields = rules::SplitRuleLine(line);
        if (fields.size() < (feature ? 3U : 2U)) {
            continue; // never applied
        }
        if (feature && rules::HexToText(fields[1]).empty()) {
            continue; // a rule without an end is skipped
        }
        texts.push_back(rules::HexToText(fields[0]));
    }
    return RawTextFilter(texts, feature ? RawTextFilter::Place::Anywhere : RawTextFilter::Place::CharacterStart,
                         feature ? false : ignoreCase);
}

} // namespace norvik::filedeal

#include "rules/RuleApply.h"

#include "filedeal/Replace.h"

namespace norvik::rules {

std::vector<NormalRule> ParseNormalRules(const RuleList& list) {
    std::vector<NormalRule> rules;
    for (const RuleLine& line : list) {
        NormalRule rule;
        // A hand-edited line without its replacement field is never applied, and an empty find
        // finds nothing.
        if (ParseNormalRuleLine(line, rule) && !rule.find.empty()) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

std::vector<FeatureRule> ParseFeatureRules(const RuleList& list) {
    std::vector<FeatureRule> rules;
    for (const RuleLine& line : list) {
        FeatureRule rule;
        if (ParseFeatureRuleLine(line, rule) && !rule.start.empty() && !rule.end.empty()) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

void ApplyNormalRules(std::string& text, const std::vector<NormalRule>& rules, bool ignoreCase) {
    for (const NormalRule& rule : rules) {
        filedeal::ReplaceAll(text, rule.find, rule.replacement, ignoreCase);
    }
}

bool ApplyNormalRules(const std::string& text, std::string& out, const std::vector<NormalRule>& rules,
                      bool ignoreCase) {
    bool replaced = false;
    std::string next;
    for (const NormalRule& rule : rules) {
        if (filedeal::ReplaceAllTo(replaced ? out : text, rule.find, rule.replacement, ignoreCase, next)) {
            out.swap(next);
            replaced = true;
        }
    }
    return replaced;
}

void ApplyFeatureRules(std::string& text, const std::vector<FeatureRule>& rules, bool extract, const YieldFn& yield) {
    std::vector<std::string> spans;
    for (const FeatureRule& rule : rules) {
        if (yield) {
            yield();
        }
        if (extract) {
            filedeal::CollectSpans(text, rule.start, rule.end, spans);
            text = filedeal::ExtractSpans(spans);
            continue;
        }
        filedeal::ReplaceSpanRule(text, rule.start, rule.end, rule.replacement, yield);
    }
}

// A rule whose text does not occur changes nothing, so the rules before a rule that finds something
// leave the text as it was: a file none of the texts occurs in stays unchanged.
filedeal::RawTextFilter FilterForRules(const std::vector<NormalRule>& rules, bool ignoreCase) {
    std::vector<std::string> texts;
    texts.reserve(rules.size());
    for (const NormalRule& rule : rules) {
        texts.push_back(rule.find);
    }
    return filedeal::RawTextFilter(texts, filedeal::RawTextFilter::Place::CharacterStart, ignoreCase);
}

filedeal::RawTextFilter FilterForRules(const std::vector<FeatureRule>& rules) {
    std::vector<std::string> texts;
    texts.reserve(rules.size());
    for (const FeatureRule& rule : rules) {
        texts.push_back(rule.start);
    }
    return filedeal::RawTextFilter(texts, filedeal::RawTextFilter::Place::Anywhere, false);
}

filedeal::RawRuleReplacer RawReplacerForRules(const std::vector<NormalRule>& rules) {
    std::vector<filedeal::RawRuleReplacer::Rule> raw;
    raw.reserve(rules.size());
    for (const NormalRule& rule : rules) {
        raw.push_back({rule.find, rule.replacement});
    }
    return filedeal::RawRuleReplacer(raw);
}

} // namespace norvik::rules

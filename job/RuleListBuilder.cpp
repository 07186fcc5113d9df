#include "job/RuleListBuilder.h"

#include "rules/RuleApply.h"

#include <algorithm>

#include "filedeal/CodePage.h"
#include "filedeal/FileOps.h"
#include "job/JobTexts.h"
#include "rules/RuleFile.h"
#include "rules/RuleSets.h"

namespace norvik::job {

using settings::ReplaceMode;

const rules::RuleList& RuleLists::forMode(ReplaceMode mode) const noexcept {
    switch (mode) {
    case ReplaceMode::Normal:
        return normal;
    case ReplaceMode::Feature:
        return feature;
    case ReplaceMode::Extract:
        return extract;
    }
    return normal;
}

namespace {

rules::RuleList& ListOf(RuleLists& lists, ReplaceMode mode) {
    switch (mode) {
    case ReplaceMode::Feature:
        return lists.feature;
    case ReplaceMode::Extract:
        return lists.extract;
    case ReplaceMode::Normal:
        break;
    }
    return lists.normal;
}

RuleBuildResult ReadRuleSet(rules::RuleList& list, ReplaceMode mode, const RuleSource& source) {
    std::string path = source.ruleFile;
    if (path.empty()) {
        if (source.ruleSetName.empty()) {
            return {};
        }
        path = rules::RuleSetPath(source.ruleFolder, source.ruleSetName, mode);
    }
    try {
        list = rules::ReadRuleLines(path);
    } catch (const filedeal::FileOpenError&) {
        list.clear();
        return {false, RuleFileErrorText(path)};
    }
    return {};
}

} // namespace

RuleBuildResult BuildRuleList(RuleLists& lists, ReplaceMode mode, bool multiple, const RuleSource& source) {
    rules::RuleList& list = ListOf(lists, mode);
    list.clear();
    if (multiple) {
        return ReadRuleSet(list, mode, source);
    }
    const RuleTexts& t = source.texts;
    switch (mode) {
    case ReplaceMode::Normal:
        if (!t.find.empty() && t.find != t.replacement) {
            list.push_back(rules::MakeNormalRuleLine({t.find, t.replacement}));
        }
        break;
    case ReplaceMode::Feature:
        if (!t.featureStart.empty() && !t.featureEnd.empty()) {
            list.push_back(rules::MakeFeatureRuleLine({t.featureStart, t.featureEnd, t.featureReplacement}));
        }
        break;
    case ReplaceMode::Extract:
        if (!t.extractStart.empty() && !t.extractEnd.empty()) {
            list.push_back(rules::MakeFeatureRuleLine({t.extractStart, t.extractEnd, {}}));
        }
        break;
    }
    return {};
}

std::string NoRuleText(ReplaceMode mode, bool multiple, const RuleSource& source) {
    if (multiple) {
        return source.ruleSetName.empty() && source.ruleFile.empty() ? "没有选择规则集,没有可执行的替换" : "";
    }
    const RuleTexts& t = source.texts;
    switch (mode) {
    case ReplaceMode::Normal:
        if (t.find.empty()) {
            return "查找内容为空,没有可执行的替换";
        }
        return t.find == t.replacement ? "查找内容与替换内容相同,没有可执行的替换" : "";
    case ReplaceMode::Feature:
        return t.featureStart.empty() || t.featureEnd.empty() ? "起始或结束特征字符串为空,没有可执行的替换" : "";
    case ReplaceMode::Extract:
        return t.extractStart.empty() || t.extractEnd.empty() ? "起始或结束特征字符串为空,没有可执行的提取" : "";
    }
    return {};
}

ParsedRuleLists ParseRuleLists(const RuleLists& lists) {
    ParsedRuleLists parsed{rules::ParseNormalRules(lists.normal),
                           rules::ParseFeatureRules(lists.feature),
                           rules::ParseFeatureRules(lists.extract),
                           {}};
    parsed.rawNormal = rules::RawReplacerForRules(parsed.normal);
    return parsed;
}

bool RulesAreWholeCharacters(const ParsedRuleLists& lists, settings::ReplaceMode mode) {
    using filedeal::IsWholeCharacters;
    if (mode == settings::ReplaceMode::Normal) {
        return std::ranges::all_of(lists.normal, [](const rules::NormalRule& rule) {
            return IsWholeCharacters(rule.find) && IsWholeCharacters(rule.replacement);
        });
    }
    const bool extract = mode == settings::ReplaceMode::Extract; // extraction has no use for a replacement
    return std::ranges::all_of(extract ? lists.extract : lists.feature, [extract](const rules::FeatureRule& rule) {
        return IsWholeCharacters(rule.start) && IsWholeCharacters(rule.end) &&
               (extract || IsWholeCharacters(rule.replacement));
    });
}

} // namespace norvik::job
